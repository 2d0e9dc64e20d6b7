// Pictures in memory, and as PNG files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// The largest picture the bench draws or reads, in pixels (a gauge or the
// whole panel, at its scale): 8192 x 8192, 256 MiB, the largest face a
// gauge file can hold (formats::kLargestBitmapSide each way) drawn at
// scale 2.
inline constexpr int64_t kLargestCanvasPixels = int64_t{8192} * 8192;

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  bool operator==(const Rgba&) const = default;
};

class Image {
 public:
  Image() = default;
  Image(int width, int height, Rgba fill = {0, 0, 0, 255});
  // The picture made anew at that size, every pixel `fill`, in the memory it
  // already holds where that is enough: drawing again and again into one
  // image then asks the system for no new memory (which, for a large
  // picture, costs more than the drawing on some systems).
  void Reset(int width, int height, Rgba fill = {0, 0, 0, 255});
  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  Rgba& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  const Rgba& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Every pixel fully opaque (as every gauge picture is): written without
  // alpha.
  bool opaque() const;
  std::vector<Rgba>& pixels() { return pixels_; }
  const std::vector<Rgba>& pixels() const { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Rgba> pixels_;
};

bool WritePng(const Image& image, const std::filesystem::path& file, std::string* error);
// The picture as PNG in memory. kFast trades size for speed: for pictures
// sent once and soon replaced, such as the live panel's frames (which
// bench/drawing/png_frames.h encodes one after another).
enum class PngSpeed { kSmall, kFast };
bool EncodePng(const Image& image, PngSpeed speed, std::string* out, std::string* error);
bool ReadPng(const std::filesystem::path& file, Image* image, std::string* error);
// The same from memory: false (and `error` says why) for anything but a
// PNG picture of a size the bench draws.
bool DecodePng(const uint8_t* data, size_t size, Image* image, std::string* error);

// Each pixel repeated `factor` times across and down.
Image Enlarge(const Image& image, int factor);

// How two pictures of the same size differ: pixels whose channels differ
// by more than `tolerance`, and a picture of where (differing pixels red,
// the rest a faded copy of `expected`).
struct Difference {
  bool same_size = true;
  int pixels = 0;
  int largest = 0;  // the largest channel difference
  Image picture;
};
Difference Compare(const Image& expected, const Image& actual, int tolerance);

// How far a picture may stray from its reference (a golden picture, or the
// native bench's picture of the same state) and still count as the same: a
// channel may differ by kChannelTolerance (rounding), and kPixelsAllowed
// pixels by more (a C library's sin or cos a last bit apart moving an edge).
inline constexpr int kChannelTolerance = 2;
inline constexpr int kPixelsAllowed = 4;
inline bool SameWithinTolerance(const Difference& difference) {
  return difference.same_size && difference.pixels <= kPixelsAllowed;
}

}  // namespace bench
