// Our stand-in for the outside sound library "GaugeSound". The three entry
// points the modules call are declared with the modules' own types in
// frame/sound_library.h. This header adds the hooks of ours: where the library
// reports each call (so a host can log clicks in order with key events), and
// the simulator folder that the modules' relative file names start from, and
// whether the clicks are played aloud.
#pragma once

#include <cstdint>

#include "frame/abi.h"

struct GaugeSoundCall {
  enum Kind : int32_t { kPlay = 0, kStop = 1, kTerminate = 2 };
  Kind kind;
  const char* file;      // kPlay, kStop: as the module passed it; else null
  const char* alias;     // kPlay: the second argument; else null
  int32_t flags;         // kPlay: the third argument; else 0
  const char* resolved;  // kPlay, kStop: the file found for it, or null
};

// Called on the caller's thread, inside the module's call into the library.
using GaugeSoundReporter = void (*)(void* context, const GaugeSoundCall* call);

// Exported by the library under these names; the host looks them up after
// loading the library. A null reporter stops reporting.
using GaugeSoundSetReporterFn = void (*)(GaugeSoundReporter reporter, void* context);
inline constexpr char kGaugeSoundSetReporterName[] = "GaugeSoundSetReporter";

// The folder that the modules' file names ("sound\orlaclick.wav") are
// relative to: the simulator's own folder. Null or "" means the current
// directory.
using GaugeSoundSetRootFn = void (*)(const char* folder);
inline constexpr char kGaugeSoundSetRootName[] = "GaugeSoundSetRoot";

// Whether a kPlay call also plays its file aloud (on Windows; the default)
// or is only reported: for a host whose user hears the clicks another way,
// such as the live panel, whose page plays them.
using GaugeSoundSetAudibleFn = void (*)(int32_t audible);
inline constexpr char kGaugeSoundSetAudibleName[] = "GaugeSoundSetAudible";
