// The module's binding of the sound library (frame/sound_library.h) and its
// click. One binding per module, shared by all its gauges.
//
// The binding's fields are module-level data of frame/sound_binding.cpp,
// written only by the functions below: the library handle, the entry points
// found in it, and the count of loads this module holds. A null field means
// "not bound". All are null when the module is loaded, and the entry points
// are cleared together with the handle when the module gives back its last
// load, so nothing is ever called through a released library. A library or
// entry point that is missing silences the click and nothing else.
#pragma once

// The panels' way (orlaaudio, orlapfdset, orlahyd): each gauge's initialise
// makes one load of its own, and its kill gives that load back.
struct PerGaugeSoundBinding {
  // [lifecycle 4] Load the library and bind play and stop (stop is bound,
  // never called).
  static void Initialise();
  static void Update() {}
  // [lifecycle 12] Give back one load.
  static void Kill();
};

// The radio display's way: one load for all its gauges, bound afresh on every
// update, every sound stopped at each kill, released when the last gauge goes.
struct RebindingSoundBinding {
  // [lifecycle 4] Load the library if no binding is held; bind all three.
  static void Initialise();
  // [lifecycle 6] Take the already loaded library (or load it); bind all three.
  static void Update();
  // [lifecycle 12] As Update, then stop every sound; the last gauge gives
  // back every load.
  static void Kill();
};

// [mouse] The click step of a mouse callback: GaugePlaySound(file, "", 0), or
// nothing when the library or the entry point is missing. `file` is one of
// the module's string constants.
void PlayClick(const char* file);
