// `panel-bench areas`: a gauge's mouse areas and what a press of each sends.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "apps/panel-bench/full_bench.h"
#include "bench/probe/area_probe.h"
#include "host/text_format.h"

namespace panel_bench {
namespace areas_command {

void AddOptions(CLI::App* command, std::vector<std::string>* words) {
  command->add_option("gauge", *words);
}

int Run(const Line& line) {
  if (line.words.size() != 1) return UsageError("areas needs one gauge", line.command);
  std::string why;
  if (!bench::CheckGaugeName(line.words[0], &why)) return UsageError(why, line.command);
  const bench::PanelOptions options = PanelOptionsFrom(line);
  // A fresh load of the module for the count and for each area, so no press
  // sees another's state.
  auto open = [&](bench::Panel& panel) {
    return panel.Open(options, {line.words[0]}, &why) || Complain(why);
  };
  size_t count = 0;
  {
    bench::Panel panel;
    if (!open(panel)) return kExitCannot;
    count = panel.gauges()[0]->MouseAreas().size();
  }
  std::printf("%s: %zu mouse area%s\n", line.words[0].c_str(), count, count == 1 ? "" : "s");
  for (size_t i = 0; i < count; ++i) {
    bench::Panel panel;
    if (!open(panel)) return kExitCannot;
    host::Gauge& gauge = *panel.gauges()[0];
    const MouseRect& area = *gauge.MouseAreas()[i];
    const bench::AreaPress press = bench::PressArea(panel.host(), gauge, area);
    std::string sends;
    for (const host::LogEntry& entry : press.sent) {
      if (entry.kind == host::LogKind::kKeyEvent) {
        const std::string name = bench::Aircraft::KeyEventName(entry.id);
        sends += "  " + host::Hex(entry.id) + (name.empty() ? "" : " " + name);
      } else if (entry.kind == host::LogKind::kPlaySound) {
        sends += "  click " + entry.name;
      }
    }
    for (const auto& [name, was] : press.before) {
      const std::optional<int32_t>& now = press.after.at(name);
      if (now != was) sends += "  \"" + name + "\" " + NamedText(was) + " -> " + NamedText(now);
    }
    std::printf("  %2zu  (%3d, %3d) %2d x %2d  %-20s%s\n", i + 1, area.x, area.y, area.width,
                area.height, CursorName(area.cursor), sends.c_str());
  }
  return kExitOk;
}

}  // namespace areas_command

extern const Command kAreasCommand = {
    "areas",
    "list a gauge's mouse areas and what each sends",
    "usage: panel-bench areas <gauge>\n"
    "\n"
    "Lists every mouse area of the gauge, in list order (the numbers that\n"
    "'click <gauge> area <n>' takes): its rectangle, its kind, the key events its\n"
    "press sends and the click it plays. Each area is tried on a fresh load of\n"
    "the module.\n",
    areas_command::AddOptions, areas_command::Run};

}  // namespace panel_bench
