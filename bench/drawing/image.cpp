#include "bench/drawing/image.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include "bench/drawing/png_frames.h"
#include "bench/file_write.h"
#include "formats/file_read.h"

namespace bench {
namespace {

// stb_image_write takes its PNG settings (zlib level, row filter) from
// variables of the whole program: one encoding at a time sets and uses them.
std::mutex png_settings;

// The widest and tallest PNG read: no gauge panel comes near it.
constexpr uint32_t kLargestPngSide = 1 << 14;

// stb_image_write's deflate, done by zlib at `level`: smaller and faster
// than its own. The result is freed by stb_image_write (free()).
unsigned char* Deflate(unsigned char* data, int length, int* out_length, int level) {
  uLongf size = compressBound(static_cast<uLong>(length));
  auto* out = static_cast<unsigned char*>(std::malloc(size));
  if (out == nullptr) return nullptr;
  if (compress2(out, &size, data, static_cast<uLong>(length), level) != Z_OK) {
    std::free(out);
    return nullptr;
  }
  *out_length = static_cast<int>(size);
  return out;
}

unsigned PngCrc(const unsigned char* data, int length) {
  return static_cast<unsigned>(crc32(0, data, static_cast<uInt>(length)));
}

}  // namespace
}  // namespace bench

// The one build of each image library's implementation. Pictures go
// through memory only: files are read and written by our own code.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STBIW_ZLIB_COMPRESS bench::Deflate
#define STBIW_CRC32 bench::PngCrc
#include <stb/stb_image_write.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
// Refuse pictures no gauge panel has, rather than allocate without limit.
#define STBI_MAX_DIMENSIONS bench::kLargestPngSide
// For an empty IDAT chunk first, stb_image copies no bytes from a null
// pointer: harmless, but undefined to the letter, and the sanitizers' null
// check stops on it. Not for us to change in the library; told here.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((no_sanitize("nonnull-attribute"))), apply_to = function)
#endif
#include <stb/stb_image.h>
#if defined(__clang__)
#pragma clang attribute pop
#endif

namespace bench {

Image::Image(int width, int height, Rgba fill) { Reset(width, height, fill); }

bool Image::opaque() const {
  return std::all_of(pixels_.begin(), pixels_.end(), [](const Rgba& p) { return p.a == 255; });
}

void Image::Reset(int width, int height, Rgba fill) {
  if (width <= 0 || height <= 0) {
    width_ = height_ = 0;
    pixels_.clear();
    return;
  }
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
}

namespace {

// Far past the PNG of any picture the bench draws.
constexpr uint64_t kLargestPngFile = 256u << 20;

}  // namespace

bool WritePng(const Image& image, const std::filesystem::path& file, std::string* error) {
  std::string png, why;
  if (!EncodePng(image, PngSpeed::kSmall, &png, &why)) {
    if (error) *error = "cannot write " + file.string() + ": " + why;
    return false;
  }
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  return WriteFileReplacing(file, png, error != nullptr ? error : &why);
}

bool EncodePng(const Image& image, PngSpeed speed, std::string* out, std::string* error) {
  if (image.empty()) {
    if (error) *error = "the picture is empty";
    return false;
  }
  if (speed == PngSpeed::kFast) return PngFrames().Encode(image, out, error);
  static_assert(sizeof(Rgba) == 4);
  const std::lock_guard<std::mutex> lock(png_settings);
  // Opaque pictures (every gauge picture) are written without alpha.
  const auto* pixels = reinterpret_cast<const unsigned char*>(image.pixels().data());
  int channels = 4;
  std::vector<unsigned char> rgb;
  if (image.opaque()) {
    rgb.resize(image.pixels().size() * 3);
    unsigned char* to = rgb.data();
    for (const Rgba& p : image.pixels()) {
      to[0] = p.r;
      to[1] = p.g;
      to[2] = p.b;
      to += 3;
    }
    pixels = rgb.data();
    channels = 3;
  }
  // zlib's default level and the best filter for each row.
  stbi_write_png_compression_level = Z_DEFAULT_COMPRESSION;
  stbi_write_force_png_filter = -1;
  int size = 0;
  unsigned char* png =
      stbi_write_png_to_mem(pixels, 0, image.width(), image.height(), channels, &size);
  if (png == nullptr) {
    if (error) *error = "not enough memory to encode it";
    return false;
  }
  out->assign(reinterpret_cast<const char*>(png), static_cast<size_t>(size));
  std::free(png);
  return true;
}

namespace {

uint32_t Big32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

// What stb_image takes on trust, checked first: a PNG file's signature and
// header, a size the bench draws, each chunk lying within the file (it asks
// for memory by a chunk's length before reading it), and compressed rows
// that can hold the picture's size (it asks for memory by the size first).
// Deflate makes at most 1032 bytes of one, and a row holds at least its
// filter byte and a bit per pixel: so a file's cost stays in proportion to
// what it honestly holds.
bool CheckPngFile(const uint8_t* data, size_t size, std::string* why) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
    *why = "not a PNG picture (no PNG signature)";
    return false;
  }
  if (size < 8 + 8 + 13 || std::memcmp(data + 12, "IHDR", 4) != 0) {
    *why = "cut short, or broken: no header (IHDR) after the signature";
    return false;
  }
  const uint32_t width = Big32(data + 16), height = Big32(data + 20);
  // Refuse pictures no gauge panel has, rather than allocate without limit.
  if (width == 0 || height == 0 || width > kLargestPngSide || height > kLargestPngSide ||
      int64_t{width} * height > kLargestCanvasPixels) {
    *why = std::to_string(width) + " x " + std::to_string(height) +
           " pixels is not a size this bench draws";
    return false;
  }
  uint64_t compressed = 0;
  bool ended = false;
  for (size_t at = 8; at < size && !ended;) {
    if (size - at < 12) break;
    const uint32_t length = Big32(data + at);
    if (length > size - at - 12) break;
    if (std::memcmp(data + at + 4, "IDAT", 4) == 0) compressed += length;
    ended = std::memcmp(data + at + 4, "IEND", 4) == 0;
    at += 12 + size_t{length};
  }
  if (!ended) {
    *why = "cut short: the file ends inside a chunk, before the end chunk (IEND)";
    return false;
  }
  const uint64_t least = uint64_t{height} * (1 + (uint64_t{width} + 7) / 8);
  if (least > compressed * 1032 + 1024) {
    *why = std::to_string(width) + " x " + std::to_string(height) + " pixels in " +
           std::to_string(compressed) + " bytes of compressed rows: more than they can hold";
    return false;
  }
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Image* image, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (size > kLargestPngFile) return fail("larger than any picture this bench draws");
  if (std::string why; !CheckPngFile(data, size, &why)) return fail(why);
  int width = 0, height = 0, channels = 0;
  unsigned char* rgba =
      stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
  if (rgba == nullptr) return fail(std::string("a broken PNG (") + stbi_failure_reason() + ")");
  Image read(width, height);
  std::copy_n(rgba, read.pixels().size() * 4, reinterpret_cast<unsigned char*>(read.pixels().data()));
  stbi_image_free(rgba);
  *image = std::move(read);
  return true;
}

bool ReadPng(const std::filesystem::path& file, Image* image, std::string* error) {
  std::vector<uint8_t> bytes;
  formats::FileReadError not_read;
  std::string why;
  if (!formats::ReadRegularFile(file, kLargestPngFile, "PNG file", &bytes, &not_read)) {
    why = not_read.message;
  } else if (DecodePng(bytes.data(), bytes.size(), image, &why)) {
    return true;
  }
  if (error) *error = "cannot read " + file.string() + ": " + why;
  return false;
}
Image Enlarge(const Image& image, int factor) {
  if (factor <= 1 || image.empty()) return image;
  Image large(image.width() * factor, image.height() * factor);
  for (int y = 0; y < large.height(); ++y) {
    const int from_y = y / factor;
    for (int x = 0; x < large.width(); ++x) large.at(x, y) = image.at(x / factor, from_y);
  }
  return large;
}

Difference Compare(const Image& expected, const Image& actual, int tolerance) {
  Difference difference;
  if (expected.width() != actual.width() || expected.height() != actual.height()) {
    difference.same_size = false;
    difference.pixels = std::max(expected.width() * expected.height(),
                                 actual.width() * actual.height());
    difference.largest = 255;
    return difference;
  }
  difference.picture = Image(expected.width(), expected.height());
  for (size_t i = 0; i < expected.pixels().size(); ++i) {
    const Rgba& e = expected.pixels()[i];
    const Rgba& a = actual.pixels()[i];
    const int delta = std::max({std::abs(e.r - a.r), std::abs(e.g - a.g), std::abs(e.b - a.b),
                                std::abs(e.a - a.a)});
    difference.largest = std::max(difference.largest, delta);
    Rgba& shown = difference.picture.pixels()[i];
    if (delta > tolerance) {
      ++difference.pixels;
      shown = {255, 0, 0, 255};
    } else {
      // A faded grey copy of what was expected, so the red stands out and
      // the reader still sees where on the gauge it is.
      const int luma = (e.r * 77 + e.g * 150 + e.b * 29) >> 8;
      const auto grey = static_cast<uint8_t>(96 + luma * 3 / 8);
      shown = {grey, grey, grey, 255};
    }
  }
  return difference;
}

}  // namespace bench
