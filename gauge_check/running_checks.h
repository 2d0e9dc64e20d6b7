// The running checks: load the module through the host core and drive its
// gauge (create, a few hundred updates and draws with varied variables,
// named variables present and absent, the sound library present and absent,
// every mouse area clicked, kill, unload, twice), watching the contract after
// every call. Where the system can fork, they run in a child process, so a
// module that crashes or hangs gives a fail line instead of taking the tool
// down.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauge_check/records.h"
#include "gauge_check/report.h"

namespace gauge_check {

enum class ModuleFormat { kNative, kWindows32 };

// Whether this program can load a module of that format.
bool RunsHere(ModuleFormat format);

// A native module (.so): loaded through the host core, its records checked
// in memory, then (with `run`) driven. All in a child process, whose
// standard output and error go to /dev/null: what the module prints never
// mixes with the report.
struct Options;
void CheckNativeModule(const std::string& path, const Options& options, Report& report);

// What can be known of a native module without running any of its code
// (loading it runs its initialisers): the checks the host core makes on the
// file before the system's loader maps it. The records are read only from a
// loaded module, so a note says they were left out.
void CheckNativeForm(const std::vector<uint8_t>& bytes, Report& report);

// The running checks of a module whose records were read from its file
// (`facts`, at the addresses of `linkage_at`; they are moved to where the
// module is loaded).
void RunChecks(const std::string& path, const RecordFacts& facts, uint64_t linkage_at,
               int updates, Report& report);

}  // namespace gauge_check
