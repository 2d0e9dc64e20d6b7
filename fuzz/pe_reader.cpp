// The gauge files' reader and the bitmaps in them: bytes that start with
// "MZ" are read as a gauge file, every bitmap resource found is decoded and
// every version resource read;
// anything else is decoded as one bitmap resource. Either way the answer is
// a picture or a reason, never a crash, a hang or unbounded memory.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/drawing/render.h"
#include "formats/pe_image.h"
#include "formats/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::string error;
  bench::Picture picture;
  if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
    if (!bench::DecodeBitmap(bytes, &picture, &error) && error.empty()) std::abort();
    return 0;
  }
  host::PeImage image;
  if (!host::ParsePeImage(bytes, &image, &error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  uint64_t total = 0;
  for (const host::PeResource& resource : image.resources) total += resource.bytes.size();
  if (total > size) std::abort();  // never more than the file holds
  for (const host::PeResource& resource : image.resources) {
    error.clear();
    if (resource.type == host::kResourceTypeVersion) {
      host::VersionInfo info;
      if (!host::ParseVersionInfo(resource.bytes, &info, &error) && error.empty()) std::abort();
    }
    if (resource.type != host::kResourceTypeBitmap) continue;
    if (!bench::DecodeBitmap(resource.bytes, &picture, &error) && error.empty()) std::abort();
  }
  return 0;
}
