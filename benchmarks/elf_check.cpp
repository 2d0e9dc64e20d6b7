// The ELF form check (formats/elf_check.h) on a built module and on crafted
// files of 16 MB in each of the shapes that cost it the most for their size
// (tests/crafted_elf.h): every walk of the check is linear or n log n in the
// file, so each row stays far under a second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/elf_check.h"
#include "formats/file_read.h"
#include "tests/crafted_elf.h"

namespace {

void Check(benchmark::State& state, const std::vector<uint8_t>& file, bool accepted) {
  std::string error;
  for (auto _ : state) {
    const bool passed = formats::CheckElfImage(file.data(), file.size(), &error);
    if (passed != accepted) {
      state.SkipWithError(("unexpected verdict: " + (passed ? "accepted" : error)).c_str());
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(file.size()));
}

void Crafted(benchmark::State& state, crafted_elf::Shape shape) {
  const std::vector<uint8_t> file = crafted_elf::Make(shape, size_t{16} << 20);
  Check(state, file, true);
}

void Built(benchmark::State& state) {
  std::vector<uint8_t> file;
  formats::FileReadError error;
  if (!formats::ReadRegularFile(GAUGES_DIR "/orlahyd.so", formats::kMaxModuleFileBytes,
                                "gauge module", &file, &error)) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  Check(state, file, true);
}

BENCHMARK(Built)->Name("ElfCheck/orlahyd.so")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Crafted, names_16MB, crafted_elf::Shape::kNames)
    ->Name("ElfCheck/names_16MB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Crafted, segments_16MB, crafted_elf::Shape::kSegments)
    ->Name("ElfCheck/segments_16MB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Crafted, tags_16MB, crafted_elf::Shape::kTags)
    ->Name("ElfCheck/tags_16MB")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
