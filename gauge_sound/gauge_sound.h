// Our stand-in for the outside sound library "GaugeSound". The three entry
// points the modules call are declared with the modules' own types in
// frame/sound.h; this header adds the one hook of ours: where the library
// reports each call, so a host can log clicks in order with key events.
#pragma once

#include <cstdint>

#include "frame/abi.h"

struct GaugeSoundCall {
  enum Kind : int32_t { kPlay = 0, kStop = 1, kTerminate = 2 };
  Kind kind;
  const char* file;   // kPlay, kStop: as the module passed it; else null
  const char* alias;  // kPlay: the second argument; else null
  int32_t flags;      // kPlay: the third argument; else 0
};

// Called on the caller's thread, inside the module's call into the library.
using GaugeSoundReporter = void (*)(void* context, const GaugeSoundCall* call);

// Exported by the library under this name; the host looks it up after
// loading the library. A null reporter stops reporting.
using GaugeSoundSetReporterFn = void (*)(GaugeSoundReporter reporter, void* context);
inline constexpr char kGaugeSoundSetReporterName[] = "GaugeSoundSetReporter";
