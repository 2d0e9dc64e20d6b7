#include "formats/bitmap.h"

#include "formats/limits.h"

namespace formats {
namespace {

constexpr size_t kHeaderSize = 40;
constexpr size_t kPaletteEntries = 256;
constexpr size_t kPaletteSize = kPaletteEntries * 4;

uint32_t Word32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t Word16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

const uint8_t* Bitmap::Row(int32_t y) const {
  return rows_ + static_cast<size_t>(header.height - 1 - y) * stride_;
}

BitmapFault ReadBitmap(const std::vector<uint8_t>& bytes, Bitmap* bitmap) {
  *bitmap = Bitmap{};
  bitmap->size = bytes.size();
  if (bytes.size() < kHeaderSize) return BitmapFault::kShorterThanHeader;
  BitmapHeader& h = bitmap->header;
  h.header_size = Word32(bytes, 0);
  if (h.header_size != kHeaderSize) return BitmapFault::kHeaderSize;
  h.width = static_cast<int32_t>(Word32(bytes, 4));
  h.height = static_cast<int32_t>(Word32(bytes, 8));
  h.planes = Word16(bytes, 12);
  h.bits = Word16(bytes, 14);
  h.compression = Word32(bytes, 16);
  h.colours_used = Word32(bytes, 32);
  if (h.planes != 1) return BitmapFault::kPlanes;
  if (h.bits != 8) return BitmapFault::kBits;
  if (h.compression != 0) return BitmapFault::kCompressed;
  if (h.height < 0) return BitmapFault::kTopDown;
  if (h.width <= 0 || h.height == 0 || h.width > kLargestBitmapSide ||
      h.height > kLargestBitmapSide) {
    return BitmapFault::kSize;
  }
  if (h.colours_used != 0 && h.colours_used != kPaletteEntries) return BitmapFault::kPalette;
  // Rows are padded to whole 4-byte words.
  const size_t stride = (static_cast<size_t>(h.width) + 3) / 4 * 4;
  bitmap->needed = kHeaderSize + kPaletteSize + stride * static_cast<size_t>(h.height);
  if (bytes.size() < bitmap->needed) return BitmapFault::kTooFewBytes;
  bitmap->palette_ = bytes.data() + kHeaderSize;
  bitmap->rows_ = bytes.data() + kHeaderSize + kPaletteSize;
  bitmap->stride_ = stride;
  return BitmapFault::kNone;
}

}  // namespace formats
