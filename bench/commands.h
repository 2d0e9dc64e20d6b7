// The panel bench's sub-commands.
#pragma once

#include <filesystem>

namespace bench {

inline constexpr const char* kGaugeNames[] = {"VORN_Kestrel_FMC", "orlaaudio", "orlapfdset",
                                              "orlahyd"};

struct Options {
  std::filesystem::path gauge_dir;
  std::filesystem::path sound_library;
};

int Show(const Options& options);

}  // namespace bench
