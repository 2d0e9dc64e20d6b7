// Finding a sound file the way the simulator's file system would: names are
// relative to the simulator's folder, either separator may be used, and
// letter case does not matter. A name that would leave the folder is refused.
#pragma once

#include <filesystem>
#include <string>

namespace gauge_sound {

// The file `name` names under `root`, or an empty path when there is none
// or the name is refused (absolute, a drive, "..").
std::filesystem::path ResolveSoundFile(const std::filesystem::path& root, const std::string& name);

}  // namespace gauge_sound
