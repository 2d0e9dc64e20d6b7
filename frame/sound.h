// The click sound, played through the outside sound library "GaugeSound" that
// each module loads by name at run time.
#pragma once

#include "frame/abi.h"

// The library's entry points, looked up by these names.
inline constexpr char kPlaySoundName[] = "GaugePlaySound";
inline constexpr char kStopSoundName[] = "GaugeStopSound";
inline constexpr char kTerminateSoundsName[] = "TerminateSounds";
inline constexpr char kSoundLibraryName[] = "GaugeSound";

// [sound] Starts the sound of `file` (a path relative to the simulator) and
// returns while it plays. Modules pass "" and 0 for the other two.
using GaugePlaySoundFn = int32_t(GAUGE_CALL*)(const char* file, const char* alias, int32_t flags);
// [sound] Stops the sound of `file`. Bound, never called by a module.
using GaugeStopSoundFn = int32_t(GAUGE_CALL*)(const char* file);
// [sound] Stops every sound; called before the library is released.
using TerminateSoundsFn = void(GAUGE_CALL*)(void);

// The binding, one per module and shared by all its gauges.
//
// The library stays loaded while any gauge of the module that bound it still
// lives: each successful load is one reference, given back at kill, and the
// handle and entry points are cleared when the last reference goes, so
// nothing is ever called through a released library.

// [lifecycle 4] Load the library and bind play and stop.
void BindSoundLibrary();
// [lifecycle 12] Give back one reference.
void ReleaseSoundLibrary();

// The radio display binds all three entry points and re-binds at every update.
// [lifecycle 4] Load the library if no binding is held; bind all three.
void BindSoundLibraryOnce();
// [lifecycle 6] Take the already loaded library (or load it); bind all three.
void RebindSoundLibrary();
// [lifecycle 12] Re-bind, stop every sound; the last gauge releases the library.
void TerminateAndReleaseSoundLibrary();

// [mouse] The click step of a mouse callback: GaugePlaySound(file, "", 0), or
// nothing when the library or the entry point is missing.
void PlayClick(const char* file);
