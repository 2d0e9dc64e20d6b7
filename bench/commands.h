// The panel bench's sub-commands.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/gauge_names.h"
#include "host/host.h"

namespace bench {

struct Options {
  std::filesystem::path gauge_dir;
  std::filesystem::path sound_library;
};

// False, with the reason, if the gauges or the sound library cannot be
// loaded.
bool Show(const Options& options, std::string* error);

// One gauge's frame as text, one numbered line per element in chain order
// (the numbers scripts use to name elements).
void PrintFrame(FILE* out, const host::Frame& frame);

}  // namespace bench
