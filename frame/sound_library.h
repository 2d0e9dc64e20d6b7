// The outside sound library "GaugeSound" as it presents itself to a module:
// the name it is loaded by and its three exported entry points, found by
// name. gauge_sound/ is our stand-in that exports exactly these; how a module
// holds and uses them is frame/sound_binding.h.
#pragma once

#include "frame/abi.h"

inline constexpr char kSoundLibraryName[] = "GaugeSound";

inline constexpr char kPlaySoundName[] = "GaugePlaySound";
inline constexpr char kStopSoundName[] = "GaugeStopSound";
inline constexpr char kTerminateSoundsName[] = "TerminateSounds";

// An address that GetProcAddress gives for these names is good while the
// library stays loaded in the process: until FreeLibrary gives back the last
// load of it, whoever made that load.

// [sound] Starts the sound of `file` (a path relative to the simulator) and
// returns while it plays. Modules pass "" and 0 for the other two.
using GaugePlaySoundFn = int32_t(GAUGE_CALL*)(const char* file, const char* alias, int32_t flags);
// [sound] Stops the sound of `file`.
using GaugeStopSoundFn = int32_t(GAUGE_CALL*)(const char* file);
// [sound] Stops every sound.
using TerminateSoundsFn = void(GAUGE_CALL*)(void);
