#include "apps/panel-bench/full_bench.h"

#include <cstdio>
#include <vector>

namespace panel_bench {
namespace {

// --pictures and --sound-root ("": the default).
std::string pictures, sound_root;

void AddPanelFileOptions(CLI::App* app) {
  app->add_option("--pictures", pictures);
  app->add_option("--sound-root", sound_root);
}

void PanelFileUsage(FILE* out) {
  const bench::PanelOptions defaults = bench::DefaultPanelOptions();
  std::fprintf(out,
               "  --pictures DIR        the gauge files whose bitmaps are drawn (default: %s)\n"
               "  --sound-root DIR      the simulator folder holding sound/ (default: %s)\n",
               defaults.picture_dir.string().c_str(), defaults.sound_root.string().c_str());
}

}  // namespace

extern const CommonOptions kPanelFileOptions = {AddPanelFileOptions, PanelFileUsage};

void AddStateOptions(CLI::App* command, AircraftState* state) {
  command->add_option("--state")
      ->check(OneOf({"dark", "day", "dusk", "night"}))
      ->each([state](const std::string& name) {
        for (int i = 0; i < 4; ++i) {
          if (name == kStateNames[i]) state->state = static_cast<State>(i);
        }
      });
  NumberOption(command, "--updates", &state->updates, 0, 1000000);
}

bench::PanelOptions PanelOptionsFrom(const Line& line) {
  bench::PanelOptions options = bench::DefaultPanelOptions();
  if (!line.gauges.empty()) options.gauge_dir = line.gauges;
  if (!pictures.empty()) options.picture_dir = pictures;
  if (!line.sound_library.empty()) options.sound_library = line.sound_library;
  if (!sound_root.empty()) options.sound_root = sound_root;
  return options;
}

bool OpenInState(bench::Panel& panel, const Line& line, const AircraftState& given) {
  const State state = given.state;
  long updates = given.updates;
  std::string error;
  if (!panel.Open(PanelOptionsFrom(line), {}, &error)) return Complain(error);
  bench::Aircraft& aircraft = panel.aircraft();
  if (state != State::kDark) {
    aircraft.SetBattery(true);
    aircraft.SetAvionics(true);
    aircraft.SetEngine(1, true);
    aircraft.SetEngine(2, true);
    aircraft.SetPanelLights(state == State::kDusk || state == State::kNight);
    aircraft.SetDimmer(bench::Dimmer::kBright);
    for (uint32_t select : {0x1039fu, 0x10132u}) aircraft.OnKeyEvent(select, 0);  // COMM 1, NAV 1
    // The knob's latch is the audio selector gauge's own: press it after
    // the gauge's first draw, which resets it.
    panel.Update();
    --updates;
    if (host::Gauge* audio = panel.Find("orlaaudio")) {
      const std::vector<const MouseRect*> areas = audio->MouseAreas();
      if (areas.size() > 4) {  // the DME 1 knob
        const host::Point knob = host::AreaCentre(*areas[4]);
        panel.Click(*audio, knob.x, knob.y);
      }
    }
  }
  for (long i = 0; i < updates; ++i) panel.Update();
  return true;
}

host::Gauge* FindGauge(bench::Panel& panel, const std::string& name) {
  host::Gauge* gauge = panel.Find(name);
  if (gauge == nullptr) Complain("the panel has no gauge '" + name + "'");
  return gauge;
}

void PrintHostNotes(bench::Panel& panel) {
  for (const std::string& note : panel.host().notes()) std::printf("host: %s\n", note.c_str());
}

const char* CursorName(uint32_t cursor) {
  switch (cursor) {
    case kCursorUp: return "step up (cursor 1)";
    case kCursorDown: return "step down (cursor 2)";
    case kCursorHand: return "push (cursor 5)";
    default: return "area";
  }
}

std::string NamedText(std::optional<int32_t> value) {
  return value ? std::to_string(*value) : "(not registered)";
}

}  // namespace panel_bench
