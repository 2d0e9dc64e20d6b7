// `panel-bench show`: the four gauges in the host core with an example
// aircraft (power and panel lights on, radios tuned, both hydraulic sources
// pressurised, the partner gauges' named variables registered), a few
// clicks, and what each gauge then shows and sends.
#include <cstdio>
#include <iterator>
#include <string>

#include "apps/panel-bench/full_bench.h"
#include "bench/aircraft/aircraft.h"
#include "bench/panel.h"
#include "bench/print_drawing.h"
#include "host/host.h"

namespace panel_bench {
namespace show_command {

using bench::Aircraft;
namespace var = bench::var;

struct ExampleClick {
  const char* gauge;
  const char* what;
  int32_t x, y;
};

// Updates (1/18 s each) before the clicks; one more follows them.
constexpr int kUpdatesBeforeClicks = 80;

constexpr ExampleClick kClicks[] = {
    {"VORN_Kestrel_FMC", "R1 (COM2 swap)", 360, 66},
    {"VORN_Kestrel_FMC", "F2 upper half (ADF +100 kHz)", 55, 305},
    {"orlaaudio", "COMM 2", 94, 79},
    {"orlaaudio", "DME 1", 60, 155},
    {"orlapfdset", "BARO knob, right half", 34, 42},
    {"orlapfdset", "DH-SET knob, right half", 34, 120},
    {"orlapfdset", "ALT-TEST", 30, 145},
};

// The example aircraft: switched on, and every variable the example shows
// pinned (Aircraft::Hold), so the clicks' key events leave the read-outs as
// they were set and only the update counter moves.
void ExampleAircraft(bench::Aircraft& aircraft) {
  aircraft.SetBattery(true);
  aircraft.SetAvionics(true);
  aircraft.SetPanelLights(true);
  aircraft.SetDimmer(bench::Dimmer::kBright);
  // kDmeLamps: a DME receiver on.
  for (uint32_t id : {var::kMainBus, var::kAvionicsPower, var::kAudioLampEnable,
                      var::kPanelLights, var::kComm1Lamp, var::kNav1Lamp, var::kDmeLamps}) {
    aircraft.Hold(id, id == var::kMainBus ? Aircraft::kBusVolts : 1.0);
  }
  for (uint32_t id : {var::kComm2Lamp, var::kNav2Lamp, var::kAdf1Lamp, var::kLeftKnobLamp}) {
    aircraft.Hold(id, 0.0);
  }
  aircraft.Hold(var::kHydraulics1, 1500.0 * Aircraft::kHydraulicUnit);  // engine-driven pumps
  aircraft.Hold(var::kHydraulics2, 1480.0 * Aircraft::kHydraulicUnit);
  const uint32_t radios[][2] = {
      {var::kCom1, 0x1850},  {var::kCom1Standby, 0x2297}, {var::kCom2, 0x2165},
      {var::kCom2Standby, 0x1900}, {var::kNav1, 0x1030},  {var::kNav1Standby, 0x1110},
      {var::kNav2, 0x1175},  {var::kNav2Standby, 0x0990}, {var::kAdf, 0x0350},
      {var::kAdfExtension, 0x0000}, {var::kTransponder, 0x7700}};
  for (const auto& radio : radios) aircraft.HoldInteger(radio[0], radio[1]);
}

// False, with the reason, if the gauges or the sound library cannot be
// loaded.
bool Show(const Line& line, std::string* error) {
  bench::Panel panel;
  // Set before the gauges are created: what they find at their creation.
  // The partner gauges' named variables are registered at their defaults.
  ExampleAircraft(panel.aircraft());
  if (!panel.Open(PanelOptionsFrom(line), {}, error)) return false;
  host::Host& host = panel.host();

  // The first draw resets each gauge's own state; then a few seconds of
  // updates.
  for (host::Gauge* gauge : panel.gauges()) panel.LastDrawing(*gauge);
  for (int update = 0; update < kUpdatesBeforeClicks; ++update) panel.Update();

  std::printf("Clicks:\n");
  for (const ExampleClick& click : kClicks) {
    host::Gauge* gauge = panel.Find(click.gauge);
    if (gauge == nullptr) continue;
    const bool taken = panel.Click(*gauge, click.x, click.y);
    std::printf("  %-16s (%3d, %3d) %-30s %s\n", click.gauge, click.x, click.y, click.what,
                taken ? "" : "(no area here)");
  }
  panel.Update();

  for (host::Gauge* gauge : panel.gauges()) {
    std::printf("\n%s  (%s)\n  shows:\n", gauge->name().c_str(),
                gauge->module().path().string().c_str());
    bench::PrintDrawing(stdout, panel.LastDrawing(*gauge));
    std::printf("  sent:\n");
    bool any = false;
    for (const host::LogEntry& entry : host.log()) {
      if (entry.gauge != gauge->name()) continue;
      if (entry.kind == host::LogKind::kNamedBind || entry.kind == host::LogKind::kLookup) continue;
      std::printf("    %s\n", entry.Describe().c_str());
      any = true;
    }
    if (!any) std::printf("    nothing\n");
  }
  std::printf("\nNamed variables:");
  for (size_t i = 0; i < std::size(Aircraft::kPartnerNames); ++i) {
    const char* name = Aircraft::kPartnerNames[i];
    std::printf("%s %s %d", i == 0 ? "" : ",", name, *host.vars().Named(name));
  }
  std::printf("\n");
  PrintHostNotes(panel);
  return true;
}

int Run(const Line& line) {
  if (!line.words.empty()) return UsageError("show takes no arguments", line.command);
  std::string error;
  if (Show(line, &error)) return kExitOk;
  Complain(error);
  return kExitCannot;
}

}  // namespace show_command

extern const Command kShowCommand = {
    "show",
    "load the four gauges with an example aircraft, click a few areas, print what each shows and "
    "sent",
    "usage: panel-bench show\n"
    "\n"
    "Loads the four gauges with an example aircraft (power and panel lights on,\n"
    "radios tuned, hydraulic pressure up, the partner gauges' named variables\n"
    "registered), runs 80 updates, clicks a few areas and prints what each gauge\n"
    "shows (texts, pictures, lamps, the needle) and what it sent (key events and\n"
    "clicks).\n",
    nullptr, show_command::Run};

}  // namespace panel_bench
