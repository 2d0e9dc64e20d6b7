// Bytes as a PNG file (a golden picture, or one handed to picture-compare):
// either a picture of a size the bench draws, or a reason.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/drawing/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bench::Image image;
  std::string error;
  if (bench::DecodePng(data, size, &image, &error)) {
    if (image.empty() || image.width() > (1 << 14) || image.height() > (1 << 14)) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  return 0;
}
