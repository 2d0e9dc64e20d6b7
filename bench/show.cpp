// `panel-bench show`: the four gauges in the host core with an example
// aircraft (power and panel lights on, radios tuned, both hydraulic sources
// pressurised, the partner gauges' named variables registered), a few
// clicks, and what each gauge then shows and sends.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/commands.h"
#include "host/host.h"

namespace bench {
namespace {

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
  vars.Set(0x2f1, 28.0);  // main bus
  vars.Set(0x301, 1.0);   // avionics display power
  vars.Set(0x305, 1.0);   // audio lamp enable
  vars.Set(0x0a, 1.0);    // panel lights
  vars.Set(0x01, 1.0);    // update counter
  vars.Set(0x36a, 1.0);   // COMM 1 selected
  vars.Set(0x36d, 1.0);   // NAV 1 selected
  vars.Set(0x36f, 1.0);   // a DME receiver on
  for (uint32_t id : {0x36b, 0x36e, 0x370, 0x371}) vars.Set(id, 0.0);  // not selected
  vars.Set(0x2dc, 1500.0 * 281.0);  // engine-driven pumps, in 1/281 psi
  vars.Set(0x2de, 1480.0 * 281.0);
  const uint32_t radios[][2] = {{0x17, 0x1850}, {0x269, 0x2297}, {0x366, 0x2165},
                                {0x367, 0x1900}, {0x18, 0x1030},  {0x368, 0x1110},
                                {0x1B, 0x1175},  {0x369, 0x0990}, {0x10, 0x0350},
                                {0x12, 0x0000},  {0x26, 0x7700}};
  for (const auto& radio : radios) vars.SetInteger(radio[0], radio[1]);
  vars.Register("temp", 0);
  vars.Register("millibars", 0);
  vars.Register("dhset", 200);
  vars.Register("ratest", 0);
  vars.Register("dimbrtb", 1);
}

const char* KindName(uint32_t kind) {
  switch (kind) {
    case kStaticImage: return "face";
    case kIcon: return "picture";
    case kNeedle: return "needle";
    case kString: return "text";
    default: return "element";
  }
}

}  // namespace

void PrintFrame(FILE* out, const host::Frame& frame) {
  int number = 0;
  for (const host::DrawnElement& drawn : frame.elements) {
    std::fprintf(out, "    %2d %-7s ", ++number, KindName(drawn.kind));
    switch (drawn.kind) {
      case kIcon:
        std::fprintf(out, "0x%04" PRIX32 " + %g at (%d, %d)", drawn.resource_id, drawn.value,
                     drawn.x, drawn.y);
        break;
      case kNeedle:
        std::fprintf(out, "0x%04" PRIX32 " at %g", drawn.resource_id, drawn.value);
        break;
      case kString:
        std::fprintf(out, "%-10.*s at (%d, %d)", static_cast<int>(drawn.text.size()),
                     drawn.text.data(), drawn.x, drawn.y);
        break;
      default:
        std::fprintf(out, "0x%04" PRIX32, drawn.resource_id);
        break;
    }
    std::fprintf(out, "%s%s\n", drawn.lit() ? "  lit" : "", drawn.hidden() ? "  hidden" : "");
  }
}

int Show(const Options& options) {
  host::Host host;
  std::string error;
  if (!host.LoadSoundLibrary(options.sound_library, &error)) {
    std::fprintf(stderr, "panel-bench: %s\n", error.c_str());
    return 1;
  }
  ExampleAircraft(host.vars());

  std::vector<host::Gauge*> gauges;
  for (const char* name : kGaugeNames) {
    host::Module* module =
        host.LoadModule(host::GaugeFile(options.gauge_dir, name), name, &error);
    if (module == nullptr) {
      std::fprintf(stderr, "panel-bench: %s\n", error.c_str());
      return 1;
    }
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
    PrintFrame(stdout, gauge->last_frame());
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
  std::printf("\nNamed variables: temp %d, millibars %d, dhset %d, ratest %d, dimbrtb %d\n",
              *host.vars().Named("temp"), *host.vars().Named("millibars"),
              *host.vars().Named("dhset"), *host.vars().Named("ratest"),
              *host.vars().Named("dimbrtb"));
  for (const std::string& note : host.notes()) std::printf("host: %s\n", note.c_str());
  return 0;
}

}  // namespace bench
