// The sound library stand-in: the three entry points the modules bind, and
// the hooks the host sets. Every call is reported, in order, with the file
// it found for the name it was given.
#include "gauge_sound/gauge_sound.h"

#include <string>

#include "frame/sound.h"
#include "gauge_sound/resolve.h"

namespace {
GaugeSoundReporter reporter = nullptr;
void* reporterContext = nullptr;
std::filesystem::path simulatorRoot;

void Report(GaugeSoundCall::Kind kind, const char* file, const char* alias, int32_t flags) {
  if (reporter == nullptr) return;
  std::string resolved;
  if (file != nullptr) resolved = gauge_sound::ResolveSoundFile(simulatorRoot, file).string();
  const GaugeSoundCall call{kind, file, alias, flags, resolved.empty() ? nullptr : resolved.c_str()};
  reporter(reporterContext, &call);
}
}  // namespace

extern "C" {

GAUGE_EXPORT int32_t GAUGE_CALL GaugePlaySound(const char* file, const char* alias,
                                               int32_t flags) {
  Report(GaugeSoundCall::kPlay, file, alias, flags);
  return 1;
}

GAUGE_EXPORT int32_t GAUGE_CALL GaugeStopSound(const char* file) {
  Report(GaugeSoundCall::kStop, file, nullptr, 0);
  return 1;
}

GAUGE_EXPORT void GAUGE_CALL TerminateSounds(void) {
  Report(GaugeSoundCall::kTerminate, nullptr, nullptr, 0);
}

GAUGE_EXPORT void GaugeSoundSetReporter(GaugeSoundReporter report, void* context) {
  reporter = report;
  reporterContext = context;
}

GAUGE_EXPORT void GaugeSoundSetRoot(const char* folder) {
  simulatorRoot = folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path();
}

}  // extern "C"

// The modules' view of the entry points and ours must agree.
[[maybe_unused]] constexpr GaugePlaySoundFn kPlayMatches = GaugePlaySound;
[[maybe_unused]] constexpr GaugeStopSoundFn kStopMatches = GaugeStopSound;
[[maybe_unused]] constexpr TerminateSoundsFn kTerminateMatches = TerminateSounds;
[[maybe_unused]] constexpr GaugeSoundSetReporterFn kSetReporterMatches = GaugeSoundSetReporter;
[[maybe_unused]] constexpr GaugeSoundSetRootFn kSetRootMatches = GaugeSoundSetRoot;
