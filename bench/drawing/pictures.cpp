// The gauges' pictures, decoded from their bitmap resources: the same
// bytes the simulator's panel system draws.
#include "bench/drawing/render.h"
#include "formats/pe_image.h"
#include "host/text_format.h"

namespace bench {
namespace {

uint32_t Word32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t Word16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

constexpr size_t kHeaderSize = 40;
constexpr size_t kPaletteEntries = 256;
constexpr size_t kPaletteSize = kPaletteEntries * 4;
// Larger than any gauge face; a bound that keeps a damaged header from
// asking for gigabytes. The largest picture decodes into 64 MB.
constexpr int32_t kLargestSide = host::kLargestBitmapSide;

// False, with `why` in *error when the caller asks for it.
bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool DecodeBitmap(const std::vector<uint8_t>& dib, Picture* picture, std::string* error) {
  if (dib.size() < kHeaderSize) {
    return Fail(error, "bitmap of " + std::to_string(dib.size()) +
                       " bytes is shorter than its 40-byte header");
  }
  const uint32_t header_size = Word32(dib, 0);
  if (header_size != kHeaderSize) {
    return Fail(error, "bitmap header is " + std::to_string(header_size) +
                       " bytes; only the 40-byte header is read");
  }
  const auto width = static_cast<int32_t>(Word32(dib, 4));
  const auto height = static_cast<int32_t>(Word32(dib, 8));
  const uint16_t planes = Word16(dib, 12);
  const uint16_t bits = Word16(dib, 14);
  const uint32_t compression = Word32(dib, 16);
  const uint32_t colours_used = Word32(dib, 32);
  if (planes != 1) return Fail(error, "bitmap has " + std::to_string(planes) + " planes, not 1");
  if (bits != 8) {
    return Fail(error, "bitmap has " + std::to_string(bits) + " bits per pixel; only 8 are read");
  }
  if (compression != 0) {
    return Fail(error, "bitmap is compressed (method " + std::to_string(compression) +
                       "); only uncompressed bitmaps are read");
  }
  if (height < 0) return Fail(error, "bitmap is stored top-down; only bottom-up bitmaps are read");
  if (width <= 0 || height == 0 || width > kLargestSide || height > kLargestSide) {
    return Fail(error, "bitmap size " + std::to_string(width) + " x " + std::to_string(height) +
                       " is out of range (1 to " + std::to_string(kLargestSide) + " each way)");
  }
  if (colours_used != 0 && colours_used != kPaletteEntries) {
    return Fail(error, "bitmap palette has " + std::to_string(colours_used) +
                       " entries; only a 256-entry palette is read");
  }
  const size_t stride = (static_cast<size_t>(width) + 3) / 4 * 4;
  const size_t pixel_bytes = stride * static_cast<size_t>(height);
  const size_t needed = kHeaderSize + kPaletteSize + pixel_bytes;
  if (dib.size() < needed) {
    return Fail(error, "bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                       " needs " + std::to_string(needed) + " bytes, has " +
                       std::to_string(dib.size()));
  }

  Rgba palette[kPaletteEntries];
  for (size_t i = 0; i < kPaletteEntries; ++i) {
    const size_t at = kHeaderSize + i * 4;  // blue, green, red, unused
    const Rgba colour{dib[at + 2], dib[at + 1], dib[at], 255};
    // Pure black is not drawn.
    palette[i] = colour.r == 0 && colour.g == 0 && colour.b == 0 ? Rgba{0, 0, 0, 0} : colour;
  }
  Picture decoded;
  decoded.width = width;
  decoded.height = height;
  decoded.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  const size_t rows_at = kHeaderSize + kPaletteSize;
  for (int32_t y = 0; y < height; ++y) {
    // Rows are stored bottom-up.
    const size_t row = rows_at + static_cast<size_t>(height - 1 - y) * stride;
    Rgba* out = &decoded.pixels[static_cast<size_t>(y) * static_cast<size_t>(width)];
    for (int32_t x = 0; x < width; ++x) out[x] = palette[dib[row + static_cast<size_t>(x)]];
  }
  *picture = std::move(decoded);
  return true;
}

bool GaugePictures::LoadFile(const std::filesystem::path& gau_file, std::string* error) {
  host::PeImage image;
  std::string why;
  if (!host::ReadPeImage(gau_file, &image, &why)) {
    return Fail(error, "cannot take pictures from " + why);  // why names the file
  }
  std::map<uint32_t, Picture> pictures;
  for (const host::PeResource& resource : image.resources) {
    if (resource.type != host::kResourceTypeBitmap) continue;
    Picture picture;
    if (!DecodeBitmap(resource.bytes, &picture, &why)) {
      return Fail(error, gau_file.string() + ": bitmap " + host::Hex(resource.id) +
                             " cannot be drawn: " + why);
    }
    pictures.emplace(resource.id, std::move(picture));
  }
  if (pictures.empty()) return Fail(error, gau_file.string() + " holds no bitmap resources");
  pictures_ = std::move(pictures);
  return true;
}

bool GaugePictures::LoadModule(const host::Module& module, std::string* error) {
  // The numbering every gauge keeps: the face 0x100, then blocks of 256 ids
  // from 0x1100 whose pictures run from the block's first id.
  std::map<uint32_t, Picture> pictures;
  std::string why;
  auto take = [&](uint32_t id) -> int {  // 1 taken, 0 absent, -1 bad
    std::vector<uint8_t> bytes;
    if (!module.Resource(host::kResourceTypeBitmap, id, &bytes)) return 0;
    Picture picture;
    if (!DecodeBitmap(bytes, &picture, &why)) {
      why = "bitmap " + host::Hex(id) + " cannot be drawn: " + why;
      return -1;
    }
    pictures.emplace(id, std::move(picture));
    return 1;
  };
  if (take(0x100) < 0) return Fail(error, module.path().string() + ": " + why);
  for (uint32_t block = 0x1100; block <= 0xFF00; block += 0x100) {
    for (uint32_t id = block; id < block + 0x100; ++id) {
      const int taken = take(id);
      if (taken < 0) return Fail(error, module.path().string() + ": " + why);
      if (taken == 0) break;
    }
  }
  if (pictures.empty()) {
#if defined(_WIN32)
    return Fail(error, module.path().string() + " holds no bitmap resources");
#else
    return Fail(error, "the pictures of a loaded module (" + module.path().string() +
                           ") are read only on Windows; here read them from the .gau file");
#endif
  }
  pictures_ = std::move(pictures);
  return true;
}

const Picture* GaugePictures::Find(uint32_t id) const {
  auto found = pictures_.find(id);
  return found != pictures_.end() ? &found->second : nullptr;
}

}  // namespace bench
