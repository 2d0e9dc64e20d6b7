#include "bench/drawing/image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <cstdlib>
#include <system_error>

#include "bench/file_write.h"

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

// The picture as libpng's simplified interface takes it: opaque pictures
// (every gauge picture) without alpha.
std::vector<uint8_t> PngRows(const Image& image, png_image* png) {
  std::vector<uint8_t> bytes;
  if (Opaque(image)) {
    png->format = PNG_FORMAT_RGB;
    bytes.reserve(image.pixels().size() * 3);
    for (const Rgba& p : image.pixels()) bytes.insert(bytes.end(), {p.r, p.g, p.b});
  } else {
    png->format = PNG_FORMAT_RGBA;
    bytes.reserve(image.pixels().size() * 4);
    for (const Rgba& p : image.pixels()) bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
  }
  return bytes;
}

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

namespace {

struct MemoryOut {
  char* data;
  size_t capacity;
  size_t size;
};

void WriteToMemory(png_structp png, png_bytep bytes, png_size_t length) {
  auto* out = static_cast<MemoryOut*>(png_get_io_ptr(png));
  if (length > out->capacity - out->size) png_error(png, "the PNG outgrew its bound");
  std::memcpy(out->data + out->size, bytes, length);
  out->size += length;
}

void FlushNothing(png_structp) {}

// libpng's own interface with the speed settings its simplified one lacks:
// no row filters and zlib level 1. The rows go in as they are (RGBA; the
// alpha byte dropped by libpng for an opaque picture). Only plain data
// here: libpng returns through longjmp on an error.
bool WriteFastPng(const uint8_t* rows, int width, int height, bool opaque, MemoryOut* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, WriteToMemory, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);
  const size_t stride = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(rows + stride * static_cast<size_t>(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool EncodePng(const Image& image, PngSpeed speed, std::string* out, std::string* error) {
  if (image.empty()) {
    if (error) *error = "the picture is empty";
    return false;
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width());
  png.height = static_cast<png_uint_32>(image.height());
  if (speed == PngSpeed::kFast) {
    const bool opaque = Opaque(image);
    png.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    out->resize(PNG_IMAGE_PNG_SIZE_MAX(png));  // room for the largest it can make
    MemoryOut memory{out->data(), out->size(), 0};
    static_assert(sizeof(Rgba) == 4);
    if (!WriteFastPng(reinterpret_cast<const uint8_t*>(image.pixels().data()), image.width(),
                      image.height(), opaque, &memory)) {
      if (error) *error = "libpng could not encode it";
      return false;
    }
    out->resize(memory.size);
    return true;
  }
  const std::vector<uint8_t> bytes = PngRows(image, &png);
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
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot read " + file.string() + ": " + why;
    png_image_free(&png);
    return false;
  };
  if (!png_image_begin_read_from_file(&png, file.string().c_str())) return fail(png.message);
  // Refuse pictures no gauge panel has, rather than allocate without limit.
  constexpr png_uint_32 kLargest = 1u << 14;
  if (png.width == 0 || png.height == 0 || png.width > kLargest || png.height > kLargest) {
    return fail(std::to_string(png.width) + " x " + std::to_string(png.height) +
                " pixels is not a size this bench draws");
  }
  png.format = PNG_FORMAT_RGBA;
  Image read(static_cast<int>(png.width), static_cast<int>(png.height));
  static_assert(sizeof(Rgba) == 4);
  if (!png_image_finish_read(&png, nullptr, read.pixels().data(), 0, nullptr)) {
    return fail(png.message);
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
