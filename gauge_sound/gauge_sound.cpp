// The sound library stand-in: the three entry points the modules bind, and
// the hooks the host sets. Every call is reported, in order, with the file
// it found for the name it was given; on Windows the file is also played.
#include "gauge_sound/gauge_sound.h"

#include <string>

#include "frame/sound_library.h"
#include "gauge_sound/resolve.h"

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#  include <mmsystem.h>
#endif

namespace {
GaugeSoundReporter reporter = nullptr;
void* reporterContext = nullptr;
std::filesystem::path simulatorRoot;
bool audible = true;

// Plays the file (Windows: asynchronously, returning while it plays) or
// stops whatever plays, and reports the call.
void Handle(GaugeSoundCall::Kind kind, const char* file, const char* alias, int32_t flags) {
  std::string resolved;
  if (file != nullptr) resolved = gauge_sound::ResolveSoundFile(simulatorRoot, file).string();
#if defined(_WIN32)
  if (kind == GaugeSoundCall::kPlay && audible && !resolved.empty()) {
    // The click plays on a thread of the system's sound library, which may
    // still run when the last gauge has freed this library. Pin that library
    // so its code stays mapped for the thread, whenever we are unloaded.
    static const bool pinned = [] {
      HMODULE winmm = nullptr;
      return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "winmm.dll", &winmm) != 0;
    }();
    (void)pinned;
    PlaySoundA(resolved.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
  } else if (kind != GaugeSoundCall::kPlay) {
    PlaySoundA(nullptr, nullptr, 0);
  }
#endif
  if (reporter == nullptr) return;
  const GaugeSoundCall call{kind, file, alias, flags, resolved.empty() ? nullptr : resolved.c_str()};
  reporter(reporterContext, &call);
}
}  // namespace

extern "C" {

GAUGE_EXPORT int32_t GAUGE_CALL GaugePlaySound(const char* file, const char* alias,
                                               int32_t flags) {
  Handle(GaugeSoundCall::kPlay, file, alias, flags);
  return 1;
}

GAUGE_EXPORT int32_t GAUGE_CALL GaugeStopSound(const char* file) {
  Handle(GaugeSoundCall::kStop, file, nullptr, 0);
  return 1;
}

GAUGE_EXPORT void GAUGE_CALL TerminateSounds(void) {
  Handle(GaugeSoundCall::kTerminate, nullptr, nullptr, 0);
}

GAUGE_EXPORT void GaugeSoundSetReporter(GaugeSoundReporter report, void* context) {
  reporter = report;
  reporterContext = context;
}

GAUGE_EXPORT void GaugeSoundSetRoot(const char* folder) {
  simulatorRoot = folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path();
}

GAUGE_EXPORT void GaugeSoundSetAudible(int32_t on) { audible = on != 0; }

}  // extern "C"

// The modules' view of the entry points and ours must agree.
[[maybe_unused]] constexpr GaugePlaySoundFn kPlayMatches = GaugePlaySound;
[[maybe_unused]] constexpr GaugeStopSoundFn kStopMatches = GaugeStopSound;
[[maybe_unused]] constexpr TerminateSoundsFn kTerminateMatches = TerminateSounds;
[[maybe_unused]] constexpr GaugeSoundSetReporterFn kSetReporterMatches = GaugeSoundSetReporter;
[[maybe_unused]] constexpr GaugeSoundSetRootFn kSetRootMatches = GaugeSoundSetRoot;
[[maybe_unused]] constexpr GaugeSoundSetAudibleFn kSetAudibleMatches = GaugeSoundSetAudible;
