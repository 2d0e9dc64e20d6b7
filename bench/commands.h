// The panel bench's sub-commands.
#pragma once

#include <filesystem>

#include "bench/gauge_names.h"

namespace bench {

struct Options {
  std::filesystem::path gauge_dir;
  std::filesystem::path sound_library;
};

int Show(const Options& options);

}  // namespace bench
