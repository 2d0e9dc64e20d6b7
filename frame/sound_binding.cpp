#include "frame/sound_binding.h"

#include <cstring>

#include "frame/os_loader.h"
#include "frame/sound_library.h"

namespace {

os::LibraryHandle soundLibrary = nullptr;
GaugePlaySoundFn playSoundEntry = nullptr;
GaugeStopSoundFn stopSoundEntry = nullptr;
TerminateSoundsFn terminateSoundsEntry = nullptr;

// Loads of the library this module holds, each given back by one
// FreeLibrary; the binding is cleared when none is left.
int32_t heldLoads = 0;
// RebindingSoundBinding only: gauges created and not yet killed.
int32_t liveGauges = 0;

template <typename Fn>
Fn Entry(const char* name) {
  Fn entry = nullptr;
  if (soundLibrary == nullptr) return entry;
  auto address = os::GetProcAddress(soundLibrary, name);
  static_assert(sizeof address == sizeof entry);
  std::memcpy(&entry, &address, sizeof entry);
  return entry;
}

void BindEntries(bool with_terminate) {
  playSoundEntry = Entry<GaugePlaySoundFn>(kPlaySoundName);
  stopSoundEntry = Entry<GaugeStopSoundFn>(kStopSoundName);
  if (with_terminate) terminateSoundsEntry = Entry<TerminateSoundsFn>(kTerminateSoundsName);
}

void Load() {
  if (os::LibraryHandle library = os::LoadLibraryA(kSoundLibraryName)) {
    soundLibrary = library;
    ++heldLoads;
  }
}

void Clear() {
  soundLibrary = nullptr;
  playSoundEntry = nullptr;
  stopSoundEntry = nullptr;
  terminateSoundsEntry = nullptr;
}

}  // namespace

void PerGaugeSoundBinding::Initialise() {
  Load();
  BindEntries(false);
}

void PerGaugeSoundBinding::Kill() {
  if (heldLoads == 0) return;
  os::FreeLibrary(soundLibrary);
  if (--heldLoads == 0) Clear();
}

void RebindingSoundBinding::Initialise() {
  ++liveGauges;
  if (soundLibrary == nullptr) Load();
  BindEntries(true);
}

void RebindingSoundBinding::Update() {
  if (os::LibraryHandle library = os::GetModuleHandleA(kSoundLibraryName)) {
    soundLibrary = library;
  } else {
    soundLibrary = nullptr;
    heldLoads = 0;  // whatever we held is gone
    Load();
  }
  BindEntries(true);
}

void RebindingSoundBinding::Kill() {
  Update();
  if (terminateSoundsEntry != nullptr) terminateSoundsEntry();
  if (liveGauges > 0) --liveGauges;
  if (liveGauges > 0) return;  // another gauge of this module still clicks
  for (; heldLoads > 0; --heldLoads) os::FreeLibrary(soundLibrary);
  Clear();
}

void PlayClick(const char* file) {
  if (playSoundEntry != nullptr) playSoundEntry(file, "", 0);
}
