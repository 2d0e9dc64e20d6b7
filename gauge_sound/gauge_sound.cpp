// The sound library stand-in: the three entry points the modules bind, and
// the reporting hook the host sets. Every call is reported, in order.
#include "gauge_sound/gauge_sound.h"

#include "frame/sound.h"

namespace {
GaugeSoundReporter reporter = nullptr;
void* reporterContext = nullptr;

void Report(GaugeSoundCall::Kind kind, const char* file, const char* alias, int32_t flags) {
  if (reporter == nullptr) return;
  const GaugeSoundCall call{kind, file, alias, flags};
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

}  // extern "C"

// The modules' view of the entry points and ours must agree.
static_assert(sizeof(&GaugePlaySound) == sizeof(GaugePlaySoundFn));
[[maybe_unused]] constexpr GaugePlaySoundFn kPlayMatches = GaugePlaySound;
[[maybe_unused]] constexpr GaugeStopSoundFn kStopMatches = GaugeStopSound;
[[maybe_unused]] constexpr TerminateSoundsFn kTerminateMatches = TerminateSounds;
[[maybe_unused]] constexpr GaugeSoundSetReporterFn kSetReporterMatches = GaugeSoundSetReporter;
