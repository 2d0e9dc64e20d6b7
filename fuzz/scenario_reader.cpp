// Bytes as a scenario script, through the script reader only (nothing runs):
// every line is either read or reported, whatever it holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const bench::ScenarioProblem& problem : bench::CheckScenarioText(text, "fuzz.scn")) {
    // Every message names its place and says something.
    if (problem.message.empty() || problem.line < 0) __builtin_trap();
    if (problem.message.find('\0') != std::string::npos) __builtin_trap();
  }
  return 0;
}
