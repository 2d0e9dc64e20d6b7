// Bytes as a scenario script, through the script reader only (nothing runs):
// every line is either read or reported, whatever it holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/scripts/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<bench::ScenarioProblem> problems = bench::CheckScenarioText(text, "fuzz.scn");
  // However many lines are bad, only so many are listed.
  if (problems.size() > bench::kListedProblems) __builtin_trap();
  for (const bench::ScenarioProblem& problem : problems) {
    // Every message names its place and says something.
    if (problem.message.empty() || problem.line < 0) __builtin_trap();
    if (problem.message.find('\0') != std::string::npos) __builtin_trap();
  }
  return 0;
}
