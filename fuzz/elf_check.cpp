// The checks on a native module file before the system's loader sees it:
// any bytes give a yes or a reason, never a crash or a read past the end.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/elf_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so a read past the end is caught.
  const std::vector<uint8_t> file(data, data + size);
  std::string error;
  if (!formats::CheckElfImage(file.data(), file.size(), &error) && error.empty()) std::abort();
  return 0;
}
