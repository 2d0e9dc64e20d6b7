// The gauges' pictures, decoded from their bitmap resources: the same
// bytes the simulator's panel system draws.
#include "bench/drawing/render.h"
#include "formats/bitmap.h"
#include "formats/limits.h"
#include "formats/pe_image.h"
#include "host/text_format.h"

namespace bench {
namespace {

// False, with `why` in *error when the caller asks for it.
bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// The decoder's fault in the bench's words.
std::string Why(formats::BitmapFault fault, const formats::Bitmap& bitmap) {
  const formats::BitmapHeader& h = bitmap.header;
  using Fault = formats::BitmapFault;
  switch (fault) {
    case Fault::kNone: break;
    case Fault::kShorterThanHeader:
      return "bitmap of " + std::to_string(bitmap.size) +
             " bytes is shorter than its 40-byte header";
    case Fault::kHeaderSize:
      return "bitmap header is " + std::to_string(h.header_size) +
             " bytes; only the 40-byte header is read";
    case Fault::kPlanes: return "bitmap has " + std::to_string(h.planes) + " planes, not 1";
    case Fault::kBits:
      return "bitmap has " + std::to_string(h.bits) + " bits per pixel; only 8 are read";
    case Fault::kCompressed:
      return "bitmap is compressed (method " + std::to_string(h.compression) +
             "); only uncompressed bitmaps are read";
    case Fault::kTopDown: return "bitmap is stored top-down; only bottom-up bitmaps are read";
    case Fault::kSize:
      return "bitmap size " + std::to_string(h.width) + " x " + std::to_string(h.height) +
             " is out of range (1 to " + std::to_string(formats::kLargestBitmapSide) +
             " each way)";
    case Fault::kPalette:
      return "bitmap palette has " + std::to_string(h.colours_used) +
             " entries; only a 256-entry palette is read";
    case Fault::kTooFewBytes:
      return "bitmap of " + std::to_string(h.width) + " x " + std::to_string(h.height) +
             " needs " + std::to_string(bitmap.needed) + " bytes, has " +
             std::to_string(bitmap.size);
  }
  return "";
}

}  // namespace

bool DecodeBitmap(const std::vector<uint8_t>& dib, Picture* picture, std::string* error) {
  formats::Bitmap bitmap;
  const formats::BitmapFault fault = formats::ReadBitmap(dib, &bitmap);
  if (fault != formats::BitmapFault::kNone) return Fail(error, Why(fault, bitmap));
  Rgba palette[256];
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t* entry = bitmap.Entry(static_cast<uint8_t>(i));  // blue, green, red
    // Pure black is not drawn.
    palette[i] = bitmap.Black(static_cast<uint8_t>(i)) ? Rgba{0, 0, 0, 0}
                                                        : Rgba{entry[2], entry[1], entry[0], 255};
  }
  const int32_t width = bitmap.width(), height = bitmap.height();
  Picture decoded;
  decoded.width = width;
  decoded.height = height;
  decoded.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bitmap.Row(y);
    Rgba* out = &decoded.pixels[static_cast<size_t>(y) * static_cast<size_t>(width)];
    for (int32_t x = 0; x < width; ++x) out[x] = palette[row[x]];
  }
  *picture = std::move(decoded);
  return true;
}

bool GaugePictures::LoadFile(const std::filesystem::path& gau_file, std::string* error) {
  formats::PeImage image;
  std::string why;
  if (!formats::ReadPeImage(gau_file, &image, &why)) {
    return Fail(error, "cannot take pictures from " + why);  // why names the file
  }
  std::map<uint32_t, Picture> pictures;
  for (const formats::PeResource& resource : image.resources) {
    if (resource.type != formats::kResourceTypeBitmap) continue;
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
    if (!module.Resource(formats::kResourceTypeBitmap, id, &bytes)) return 0;
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
    // The system's loader gives a module's resources only on Windows.
    return Fail(error, module.path().string() +
                           " gives no bitmap resources through the system's loader (a loaded "
                           "module's pictures are read only on Windows; elsewhere read them "
                           "from its .gau file)");
  }
  pictures_ = std::move(pictures);
  return true;
}

const Picture* GaugePictures::Find(uint32_t id) const {
  auto found = pictures_.find(id);
  return found != pictures_.end() ? &found->second : nullptr;
}

}  // namespace bench
