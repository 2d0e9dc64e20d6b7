// `panel-bench render`: the whole panel and single gauges into PNG files.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "apps/panel-bench/full_bench.h"
#include "bench/drawing/image.h"
#include "bench/drawing/panel_pictures.h"
#include "bench/drawing/render.h"

namespace panel_bench {
namespace render_command {

// What the line gave render's options.
struct Given {
  AircraftState state;
  int scale = 1;
  std::string ambient;  // "": the state's
  bool overlay = false;
  std::string out;  // "": build/pictures of the working folder
};
Given given;

void AddOptions(CLI::App* command, std::vector<std::string>* words) {
  AddStateOptions(command, &given.state);
  command->add_option("what", *words);
  command->add_option("--ambient", given.ambient)->check(OneOf({"day", "dusk", "night"}));
  NumberOption(command, "--scale", &given.scale, 1, 8);
  command->add_flag("--overlay", given.overlay);
  command->add_option("--out", given.out)->check(kName);
}

bench::Ambient StateAmbient(State state) {
  switch (state) {
    case State::kDusk: return bench::Ambient::kDusk;
    case State::kNight: return bench::Ambient::kNight;
    default: return bench::Ambient::kDay;
  }
}

int Run(const Line& line) {
  const State state = given.state.state;
  const int scale = given.scale;
  bench::Ambient ambient = StateAmbient(state);
  if (!given.ambient.empty()) bench::ParseAmbient(given.ambient, &ambient);
  bool whole_panel = line.words.empty();
  std::vector<std::string> singles;
  for (const std::string& word : line.words) {
    if (word == "panel") {
      whole_panel = true;
      continue;
    }
    std::string why;
    if (!bench::CheckGaugeName(word, &why)) return UsageError(why, line.command);
    singles.push_back(word);
  }
  // Relative to the working folder, as a reader of the command expects;
  // each file is printed in full.
  std::error_code absolute_error;
  const std::filesystem::path out = std::filesystem::absolute(
      !given.out.empty() ? std::filesystem::path(given.out)
                         : std::filesystem::path("build") / "pictures",
      absolute_error);
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    return Cannot("cannot make the folder " + out.string() + ": " + ec.message() +
                  " (give another with --out)");
  }

  bench::Panel panel;
  if (!OpenInState(panel, line, given.state)) return kExitCannot;
  bench::PanelPictures pictures(panel);
  const bench::RenderOptions options{ambient, scale, given.overlay};
  std::string suffix = std::string("-") + kStateNames[static_cast<int>(state)];
  if (ambient != StateAmbient(state)) suffix += std::string("-") + bench::AmbientName(ambient);
  if (scale > 1) suffix += "-" + std::to_string(scale) + "x";
  if (options.mouse_overlay) suffix += "-areas";

  auto write = [&](const std::string& what, const bench::Image& image) {
    if (image.empty()) return Complain("cannot draw " + what + ": " + pictures.error());
    const std::filesystem::path file = out / (what + suffix + ".png");
    std::string why;
    if (!bench::WritePng(image, file, &why)) {
      return Complain(why + " (give another folder with --out)");
    }
    std::printf("%s  (%d x %d)\n", bench::Visible(file.string()).c_str(), image.width(),
                image.height());
    return true;
  };
  if (whole_panel && !write("panel", pictures.RenderPanel(options))) return kExitCannot;
  for (const std::string& name : singles) {
    host::Gauge* gauge = FindGauge(panel, name);
    if (gauge == nullptr) return kExitCannot;
    if (!write(name, pictures.Render(*gauge, options))) return kExitCannot;
  }
  PrintHostNotes(panel);
  return kExitOk;
}

}  // namespace render_command

extern const Command kRenderCommand = {
    "render",
    "draw the whole panel and/or single gauges into PNG files",
    "usage: panel-bench render [panel] [gauge...] [options]\n"
    "\n"
    "Opens the panel, puts the aircraft in a state, runs updates, and draws the\n"
    "whole panel (with no names, or with the word panel) and each named gauge.\n"
    "Files: <out>/<panel|gauge>-<state>[-<ambient>][-<scale>x][-areas].png; the\n"
    "ambient part appears only when --ambient differs from the state's own.\n"
    "\n"
    "  --state dark|day|dusk|night  the aircraft (default day):\n"
    "        dark   cold and dark: no power, no lights, engines stopped (seen by day)\n"
    "        day    battery, avionics and both engines on; COMM 1, NAV 1 and\n"
    "               DME 1 selected; panel lights off (seen by day)\n"
    "        dusk   day, with the panel lights on, dimmer bright (seen at dusk)\n"
    "        night  day, with the panel lights on, dimmer bright (seen at night)\n"
    "  --updates N     updates to run before drawing (default 100: the hydraulic\n"
    "                  needle settles)\n"
    "  --ambient day|dusk|night  the light the panel is seen in (default: the state's)\n"
    "  --scale N       1 to 8 (default 1)\n"
    "  --overlay       outline every mouse area with its key event\n"
    "  --out DIR       where the files go (default build/pictures in the\n"
    "                  working folder)\n",
    render_command::AddOptions, render_command::Run};

}  // namespace panel_bench
