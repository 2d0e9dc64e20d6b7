// Where the bench loads native code: the gauge modules and the sound
// library, for every command (show, render, click, areas, run, serve). A
// file from the build's own folders (host::DefaultGaugeDir,
// host::DefaultSoundLibrary) is loaded in the bench's process; any other is
// first tried in a child process (host/trial.h), so a damaged or hostile one
// is refused with a reason instead of crashing or hanging the bench. On
// Windows, which has no such child, every file is loaded in the process, as
// the simulator does.
#pragma once

#include <filesystem>
#include <string>

#include "host/host.h"

namespace bench {

// Loads the sound library at `path` into `host` and gives it `sound_root`
// (the folder holding sound/; "" for the current folder). False with a
// reason that says what to do.
bool LoadSoundLibrary(host::Host& host, const std::filesystem::path& path,
                      const std::filesystem::path& sound_root, std::string* error);

// Loads the module of gauge `name` from `dir` into `host`, refusing a file
// that holds another gauge. On failure null, with a reason that says what to
// do. [lives until the host unloads it or ends]
host::Module* LoadGauge(host::Host& host, const std::filesystem::path& dir,
                        const std::string& name, std::string* error);

}  // namespace bench
