// gauge-check's static reader on any bytes as a .gau file: the PE layout,
// the base relocations, the records at their virtual addresses and the
// bitmaps. Whatever the bytes, an answer, never a crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gauge_check/static_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  gauge_check::Report report("fuzz.gau");
  gauge_check::RecordFacts facts;
  gauge_check::CheckGauBytes(bytes, "fuzz.gau", report, &facts);
  (void)report.Lines();
  return 0;
}
