// `panel-bench show`: the four gauges in the host core with an example
// aircraft (power and panel lights on, radios tuned, both hydraulic sources
// pressurised, the partner gauges' named variables registered), a few
// clicks, and what each gauge then shows and sends.
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "apps/panel-bench/command.h"
#include "bench/aircraft/aircraft.h"
#include "bench/gauge_names.h"
#include "bench/loading.h"
#include "bench/print_drawing.h"
#include "host/host.h"

namespace panel_bench {
namespace {

using bench::Aircraft;
namespace var = bench::var;

struct ExampleClick {
  const char* gauge;
  const char* what;
  int32_t x, y;
};

constexpr ExampleClick kClicks[] = {
    {"VORN_Kestrel_FMC", "R1 (COM2 swap)", 360, 66},
    {"VORN_Kestrel_FMC", "F2 upper half (ADF +100 kHz)", 55, 305},
    {"orlaaudio", "COMM 2", 94, 79},
    {"orlaaudio", "DME 1", 60, 155},
    {"orlapfdset", "BARO knob, right half", 34, 42},
    {"orlapfdset", "DH-SET knob, right half", 34, 120},
    {"orlapfdset", "ALT-TEST", 30, 145},
};

void ExampleAircraft(host::Variables& vars) {
  vars.Set(var::kMainBus, Aircraft::kBusVolts);
  // kDmeLamps: a DME receiver on.
  for (uint32_t id : {var::kAvionicsPower, var::kAudioLampEnable, var::kPanelLights,
                      var::kUpdateCounter, var::kComm1Lamp, var::kNav1Lamp, var::kDmeLamps}) {
    vars.Set(id, 1.0);
  }
  for (uint32_t id : {var::kComm2Lamp, var::kNav2Lamp, var::kAdf1Lamp, var::kLeftKnobLamp}) {
    vars.Set(id, 0.0);
  }
  vars.Set(var::kHydraulics1, 1500.0 * Aircraft::kHydraulicUnit);  // engine-driven pumps
  vars.Set(var::kHydraulics2, 1480.0 * Aircraft::kHydraulicUnit);
  const uint32_t radios[][2] = {
      {var::kCom1, 0x1850},  {var::kCom1Standby, 0x2297}, {var::kCom2, 0x2165},
      {var::kCom2Standby, 0x1900}, {var::kNav1, 0x1030},  {var::kNav1Standby, 0x1110},
      {var::kNav2, 0x1175},  {var::kNav2Standby, 0x0990}, {var::kAdf, 0x0350},
      {var::kAdfExtension, 0x0000}, {var::kTransponder, 0x7700}};
  for (const auto& radio : radios) vars.SetInteger(radio[0], radio[1]);
  for (const char* name : Aircraft::kPfdNames) {
    vars.Register(name, std::string_view(name) == Aircraft::kDhSetName ? Aircraft::kDhSetStart : 0);
  }
  vars.Register(Aircraft::kDimmerName, 1);
}

// False, with the reason, if the gauges or the sound library cannot be
// loaded.
bool Show(const std::filesystem::path& gauge_dir, const std::filesystem::path& sound_library,
          std::string* error) {
  host::Host host;
  if (!bench::LoadSoundLibrary(host, sound_library, {}, error)) return false;
  ExampleAircraft(host.vars());

  std::vector<host::Gauge*> gauges;
  for (const char* name : bench::kGaugeNames) {
    host::Module* module = bench::LoadGauge(host, gauge_dir, name, error);
    if (module == nullptr) return false;
    gauges.push_back(host.CreateGauge(*module));
  }
  // The first draw resets each panel; then a few seconds of updates.
  for (host::Gauge* gauge : gauges) gauge->Draw();
  for (int tick = 0; tick < 80; ++tick) {
    host.vars().Set(0x01, host.vars().Get(0x01) + 1.0);
    for (host::Gauge* gauge : gauges) {
      gauge->Update();
      gauge->Draw();
    }
  }

  std::printf("Clicks:\n");
  for (const ExampleClick& click : kClicks) {
    for (host::Gauge* gauge : gauges) {
      if (gauge->name() != click.gauge) continue;
      const bool taken = gauge->Click(click.x, click.y);
      std::printf("  %-16s (%3d, %3d) %-30s %s\n", click.gauge, click.x, click.y, click.what,
                  taken ? "" : "(no area here)");
    }
  }
  for (host::Gauge* gauge : gauges) {
    gauge->Update();
    gauge->Draw();
  }

  for (host::Gauge* gauge : gauges) {
    std::printf("\n%s  (%s)\n  shows:\n", gauge->name().c_str(),
                gauge->module().path().string().c_str());
    bench::PrintDrawing(stdout, gauge->last_drawing());
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
  for (const std::string& note : host.notes()) std::printf("host: %s\n", note.c_str());
  return true;
}

int Run(const Line& line) {
  if (!line.words.empty()) return UsageError("show takes no arguments", line.command);
  std::filesystem::path gauge_dir = host::DefaultGaugeDir();
  std::filesystem::path sound_library = host::DefaultSoundLibrary();
  if (!line.gauges.empty()) gauge_dir = line.gauges;
  if (!line.sound_library.empty()) sound_library = line.sound_library;
  std::string error;
  if (Show(gauge_dir, sound_library, &error)) return kExitOk;
  Complain(error);
  return kExitCannot;
}

}  // namespace

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
    nullptr, Run};

}  // namespace panel_bench
