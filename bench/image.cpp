#include "bench/image.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace bench {

Image::Image(int width, int height, Rgba fill) {
  if (width <= 0 || height <= 0) return;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
}

namespace {

bool Opaque(const Image& image) {
  return std::all_of(image.pixels().begin(), image.pixels().end(),
                     [](const Rgba& p) { return p.a == 255; });
}

}  // namespace

namespace {

// The picture as libpng's simplified interface takes it: opaque pictures
// (every gauge picture) without alpha.
std::vector<uint8_t> PngRows(const Image& image, png_image* png) {
  std::vector<uint8_t> bytes;
  if (Opaque(image)) {
    png->format = PNG_FORMAT_RGB;
    bytes.reserve(image.pixels().size() * 3);
    for (const Rgba& p : image.pixels()) {
      bytes.push_back(p.r);
      bytes.push_back(p.g);
      bytes.push_back(p.b);
    }
  } else {
    png->format = PNG_FORMAT_RGBA;
    bytes.reserve(image.pixels().size() * 4);
    for (const Rgba& p : image.pixels()) {
      bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
    }
  }
  return bytes;
}

}  // namespace

bool WritePng(const Image& image, const std::filesystem::path& file, std::string* error) {
  if (image.empty()) {
    if (error) *error = "cannot write " + file.string() + ": the picture is empty";
    return false;
  }
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width());
  png.height = static_cast<png_uint_32>(image.height());
  const std::vector<uint8_t> bytes = PngRows(image, &png);
  if (!png_image_write_to_file(&png, file.string().c_str(), 0, bytes.data(), 0, nullptr)) {
    if (error) *error = "cannot write " + file.string() + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool EncodePng(const Image& image, PngSpeed speed, std::string* out, std::string* error) {
  if (image.empty()) {
    if (error) *error = "the picture is empty";
    return false;
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width());
  png.height = static_cast<png_uint_32>(image.height());
  // Fast: no row filters and a light zlib level (libpng's own choice for
  // pictures that are written once and soon replaced).
  if (speed == PngSpeed::kFast) png.flags |= PNG_IMAGE_FLAG_FAST;
  const std::vector<uint8_t> bytes = PngRows(image, &png);
  // Room for the largest PNG the picture can make, so it is encoded once.
  png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
  out->resize(size);
  if (!png_image_write_to_memory(&png, out->data(), &size, 0, bytes.data(), 0, nullptr)) {
    if (error) *error = png.message;
    png_image_free(&png);
    return false;
  }
  out->resize(size);
  return true;
}

bool ReadPng(const std::filesystem::path& file, Image* image, std::string* error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, file.string().c_str())) {
    if (error) *error = "cannot read " + file.string() + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  // Refuse pictures no gauge panel has, rather than allocate without limit.
  constexpr png_uint_32 kLargest = 1u << 14;
  if (png.width == 0 || png.height == 0 || png.width > kLargest || png.height > kLargest) {
    if (error) {
      *error = "cannot read " + file.string() + ": " + std::to_string(png.width) + " x " +
               std::to_string(png.height) + " pixels is not a size this bench draws";
    }
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGBA;
  Image read(static_cast<int>(png.width), static_cast<int>(png.height));
  static_assert(sizeof(Rgba) == 4);
  if (!png_image_finish_read(&png, nullptr, read.pixels().data(), 0, nullptr)) {
    if (error) *error = "cannot read " + file.string() + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  *image = std::move(read);
  return true;
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
