// The gauge files' reader and the bitmaps in them: bytes that start with
// "MZ" are read as a gauge file, every bitmap resource found is decoded and
// every version resource read;
// anything else is decoded as one bitmap resource. Either way the answer is
// a picture or a reason, never a crash, a hang or unbounded memory; every
// pixel of a picture the decoder takes is read, so one that lies past the
// bytes shows.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bitmap.h"
#include "formats/pe_image.h"
#include "formats/version_info.h"

namespace {

// The number of black pixels, which makes every pixel and palette entry read.
size_t Decode(const std::vector<uint8_t>& bytes) {
  formats::Bitmap bitmap;
  if (formats::ReadBitmap(bytes, &bitmap) != formats::BitmapFault::kNone) return 0;
  size_t black = 0;
  for (int32_t y = 0; y < bitmap.height(); ++y) {
    const uint8_t* row = bitmap.Row(y);
    for (int32_t x = 0; x < bitmap.width(); ++x) black += bitmap.Black(row[x]);
  }
  return black;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::string error;
  if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
    if (Decode(bytes) > size) std::abort();
    return 0;
  }
  formats::PeImage image;
  if (!formats::ParsePeImage(bytes, &image, &error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  uint64_t total = 0;
  for (const formats::PeResource& resource : image.resources) total += resource.bytes.size();
  if (total > size) std::abort();  // never more than the file holds
  for (const formats::PeResource& resource : image.resources) {
    error.clear();
    if (resource.type == formats::kResourceTypeVersion) {
      formats::VersionInfo info;
      if (!formats::ParseVersionInfo(resource.bytes, &info, &error) && error.empty()) std::abort();
    }
    if (resource.type != formats::kResourceTypeBitmap) continue;
    if (Decode(resource.bytes) > resource.bytes.size()) std::abort();
  }
  return 0;
}
