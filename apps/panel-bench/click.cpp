// `panel-bench click`: one click on a gauge of the panel, what it sent and
// changed, and the gauge after it.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "apps/panel-bench/full_bench.h"
#include "bench/drawing/panel_pictures.h"
#include "bench/print_drawing.h"
#include "host/text_format.h"

namespace panel_bench {
namespace click_command {

// What the line gave click's options.
struct Given {
  AircraftState state;
  int hold = 0;
};
Given given;

void AddOptions(CLI::App* command, std::vector<std::string>* words) {
  AddStateOptions(command, &given.state);
  command->add_option("where", *words);
  NumberOption(command, "--hold", &given.hold, 0, 10000);
}

// The variables the aircraft keeps, for showing what a click changed.
constexpr uint32_t kWatched[] = {
    bench::var::kCom1, bench::var::kCom1Standby, bench::var::kCom2, bench::var::kCom2Standby,
    bench::var::kNav1, bench::var::kNav1Standby, bench::var::kNav2, bench::var::kNav2Standby,
    bench::var::kAdf, bench::var::kAdfExtension, bench::var::kTransponder,
    bench::var::kComm1Lamp, bench::var::kComm2Lamp, bench::var::kNav1Lamp, bench::var::kNav2Lamp,
    bench::var::kDmeLamps, bench::var::kAdf1Lamp, bench::var::kLeftKnobLamp,
};

// The area a click at (x, y) hits, its number from 1, or 0.
size_t AreaAt(host::Gauge& gauge, int x, int y, uint32_t mouse_event) {
  const MouseRect* hit = gauge.HitTest(x, y, mouse_event);
  const std::vector<const MouseRect*> areas = gauge.MouseAreas();
  for (size_t i = 0; i < areas.size(); ++i) {
    if (areas[i] == hit) return i + 1;
  }
  return 0;
}

// What the click command compares before and after a click.
struct Readings {
  std::map<uint32_t, std::string> vars;  // as the click command prints them
  bench::PartnerValues named;
  int baro = 0;
};

Readings Capture(bench::Panel& panel) {
  Readings state;
  host::Variables& vars = panel.host().vars();
  for (uint32_t id : kWatched) {
    state.vars[id] =
        vars.IsInteger(id) ? host::Hex(vars.GetInteger(id)) : host::Number(vars.Get(id), 6);
  }
  state.named = bench::ReadPartners(vars);
  state.baro = panel.aircraft().baro_hundredths();
  return state;
}

void PrintSent(const host::Log& log, uint64_t from) {
  bool any = false;
  for (auto sent = log.From(from); sent != log.end(); ++sent) {
    const host::LogEntry& entry = *sent;
    if (entry.kind == host::LogKind::kKeyEvent) {
      const std::string name = bench::Aircraft::KeyEventName(entry.id);
      std::printf("  %-34s %s\n", entry.Describe().c_str(),
                  name.empty() ? "(not simulated)" : name.c_str());
      any = true;
    } else if (entry.kind == host::LogKind::kPlaySound) {
      std::printf("  %-34s %s\n", entry.Describe().c_str(),
                  entry.resolved.empty() ? "(no such file found)" : entry.resolved.c_str());
      any = true;
    } else if (entry.kind != host::LogKind::kLookup && entry.kind != host::LogKind::kNamedBind) {
      std::printf("  %s\n", entry.Describe().c_str());
      any = true;
    }
  }
  if (!any) std::printf("  nothing\n");
}

int Run(const Line& line) {
  if (line.words.size() != 3) {
    return UsageError("click needs a gauge and a point (or 'area <n>')", line.command);
  }
  std::string why;
  if (!bench::CheckGaugeName(line.words[0], &why)) return UsageError(why, line.command);
  const State state = given.state.state;
  const long updates = given.state.updates;
  int32_t numbers[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    const std::string& word = line.words[static_cast<size_t>(i) + 1];
    if (i == 0 && word == "area") continue;
    if (!bench::WholeWord(word, 10, &numbers[i])) {
      return UsageError("'" + word + "' is not a whole number from " + std::to_string(INT32_MIN) +
                            " to " + std::to_string(INT32_MAX),
                        line.command);
    }
  }
  bench::Panel panel;
  if (!OpenInState(panel, line, given.state)) return kExitCannot;
  host::Gauge* found = FindGauge(panel, line.words[0]);
  if (found == nullptr) return kExitCannot;
  host::Gauge& gauge = *found;
  int x = numbers[0], y = numbers[1];
  if (line.words[1] == "area") {
    const std::vector<const MouseRect*> areas = gauge.MouseAreas();
    if (numbers[1] < 1 || static_cast<size_t>(numbers[1]) > areas.size()) {
      std::fprintf(stderr, "panel-bench: %s has %zu mouse areas; there is no area %d\n",
                   gauge.name().c_str(), areas.size(), numbers[1]);
      return kExitUsage;
    }
    const host::Point centre = host::AreaCentre(*areas[static_cast<size_t>(numbers[1] - 1)]);
    x = centre.x;
    y = centre.y;
  }

  // A point off the gauge is a slip of the command line, not a click the
  // gauge ignores: say where the gauge ends (its face, when its pictures
  // can be drawn).
  if (line.words[1] != "area") {
    bench::PanelPictures pictures(panel);
    const bench::Image face = pictures.Render(gauge, bench::RenderOptions{});
    if (!face.empty() && (x < 0 || y < 0 || x >= face.width() || y >= face.height())) {
      return UsageError("(" + std::to_string(x) + ", " + std::to_string(y) + ") is off " +
                            gauge.name() + ", which is " + std::to_string(face.width()) + " x " +
                            std::to_string(face.height()) + " pixels: give x from 0 to " +
                            std::to_string(face.width() - 1) + " and y from 0 to " +
                            std::to_string(face.height() - 1),
                        line.command);
    }
  }
  const size_t area = AreaAt(gauge, x, y, kMousePress);
  std::printf("%s at (%d, %d), state %s after %ld updates: ", gauge.name().c_str(), x, y,
              kStateNames[static_cast<int>(state)], updates);
  if (area == 0) {
    std::printf("no mouse area here\n");
  } else {
    const MouseRect& rect = *gauge.MouseAreas()[area - 1];
    std::printf("area %zu (%d, %d, %d x %d, %s)\n", area, rect.x, rect.y, rect.width, rect.height,
                CursorName(rect.cursor));
  }
  const Readings before = Capture(panel);
  const uint64_t logged = panel.host().log().next();
  panel.Press(gauge, x, y, given.hold);
  std::printf("sent:\n");
  PrintSent(panel.host().log(), logged);
  const Readings after = Capture(panel);
  std::printf("changed:\n");
  bool any = false;
  for (uint32_t id : kWatched) {
    const std::string& was = before.vars.at(id);
    const std::string& now = after.vars.at(id);
    if (was == now) continue;
    std::printf("  variable %-6s %s -> %s\n", host::Hex(id).c_str(), was.c_str(), now.c_str());
    any = true;
  }
  for (const auto& [name, was] : before.named) {
    if (after.named.at(name) == was) continue;
    std::printf("  named \"%s\" %s -> %s\n", name.c_str(), NamedText(was).c_str(),
                NamedText(after.named.at(name)).c_str());
    any = true;
  }
  if (before.baro != after.baro) {
    std::printf("  altimeter setting %.2f -> %.2f inHg\n", before.baro / 100.0, after.baro / 100.0);
    any = true;
  }
  if (!any) std::printf("  nothing\n");
  panel.Update();
  std::printf("%s at the next update:\n", gauge.name().c_str());
  bench::PrintDrawing(stdout, panel.LastDrawing(gauge));
  PrintHostNotes(panel);
  return kExitOk;
}

}  // namespace click_command

extern const Command kClickCommand = {
    "click",
    "click a gauge at a point; print what the click sent and the page after",
    "usage: panel-bench click <gauge> <x> <y> [options]\n"
    "       panel-bench click <gauge> area <n> [options]\n"
    "\n"
    "Opens the panel, puts the aircraft in a state and runs updates, then clicks\n"
    "the gauge at the point (or the middle of its n-th mouse area, 1 the first),\n"
    "prints the area it hit, the key events and sounds it sent, what changed in\n"
    "the aircraft and the named variables, and the gauge as the next update\n"
    "shows it.\n"
    "\n"
    "  --hold N        hold the button: N repeat events after the press (split\n"
    "                  areas take them)\n"
    "  --state S       as for render (default day)\n"
    "  --updates N     updates before the click (default 100)\n",
    click_command::AddOptions, click_command::Run};

}  // namespace panel_bench
