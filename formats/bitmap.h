// The gauges' pictures as their files hold them: a bitmap resource with a
// 40-byte header, one plane of 8 bits a pixel, no compression, a 256-entry
// palette and rows stored bottom-up. The one decoder of them; the bench
// turns what it finds into pixels to draw, gauge-check into faults, each in
// its own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace formats {

// The header's fields, as far as the decoder read them before it stopped.
struct BitmapHeader {
  uint32_t header_size = 0;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top-down
  uint16_t planes = 0;
  uint16_t bits = 0;  // per pixel
  uint32_t compression = 0;
  uint32_t colours_used = 0;  // palette entries; 0 means all 256
};

// The first thing wrong with a bitmap, in the order the header holds it.
enum class BitmapFault {
  kNone,
  kShorterThanHeader,  // fewer than 40 bytes
  kHeaderSize,         // another header than the 40-byte one
  kPlanes,             // not one plane
  kBits,               // not 8 bits a pixel
  kCompressed,
  kTopDown,            // a negative height
  kSize,               // a side of 0, negative or past kLargestBitmapSide (formats/limits.h)
  kPalette,            // a palette of other than 256 entries
  kTooFewBytes,        // the file holds fewer bytes than the palette and pixels take
};

struct Bitmap {
  BitmapHeader header;
  size_t size = 0;    // the resource's bytes
  size_t needed = 0;  // what its header asks for (kTooFewBytes and after)

  int32_t width() const { return header.width; }
  int32_t height() const { return header.height; }
  // The palette indices of row `y`, 0 being the top row: `width()` of them.
  const uint8_t* Row(int32_t y) const;
  // Palette entry `index`: blue, green, red and a byte unused.
  const uint8_t* Entry(uint8_t index) const { return palette_ + 4 * size_t{index}; }
  bool Black(uint8_t index) const {
    const uint8_t* entry = Entry(index);
    return entry[0] == 0 && entry[1] == 0 && entry[2] == 0;
  }

 private:
  friend BitmapFault ReadBitmap(const std::vector<uint8_t>& bytes, Bitmap* bitmap);
  // Into the resource's bytes: a Bitmap lives no longer than they do.
  const uint8_t* palette_ = nullptr;
  const uint8_t* rows_ = nullptr;
  size_t stride_ = 0;
};

// Reads the bitmap resource `bytes`. On kNone every pixel lies inside
// `bytes`; on a fault, `bitmap` holds the header as far as it was read, and
// its pixels are not to be looked at.
BitmapFault ReadBitmap(const std::vector<uint8_t>& bytes, Bitmap* bitmap);

}  // namespace formats
