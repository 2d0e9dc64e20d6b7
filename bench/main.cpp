// panel-bench: runs the gauge modules in our host core, without the simulator.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/commands.h"
#include "host/host.h"

namespace {

constexpr char kUsage[] =
    "usage: panel-bench <command> [options]\n"
    "\n"
    "commands:\n"
    "  show     load the four gauges with an example aircraft, click a few\n"
    "           areas, print what each gauge shows and what it sent\n"
    "\n"
    "options:\n"
    "  --gauges DIR          where the gauge modules are (default: %s)\n"
    "  --sound-library FILE  the sound library to load (default: %s)\n"
    "  --help                this text\n";

void Usage(FILE* out) {
  std::fprintf(out, kUsage, host::DefaultGaugeDir().string().c_str(),
               host::DefaultSoundLibrary().string().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bench::Options options{host::DefaultGaugeDir(), host::DefaultSoundLibrary()};
  std::string command;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (arg == "--gauges" || arg == "--sound-library") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "panel-bench: %s needs a value\n", arg.c_str());
        return 2;
      }
      (arg == "--gauges" ? options.gauge_dir : options.sound_library) = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "panel-bench: unknown option %s (try --help)\n", arg.c_str());
      return 2;
    } else if (command.empty()) {
      command = arg;
    } else {
      std::fprintf(stderr, "panel-bench: unexpected argument %s (try --help)\n", arg.c_str());
      return 2;
    }
  }
  if (command == "show") return bench::Show(options);
  if (command.empty()) {
    Usage(stderr);
    return 2;
  }
  std::fprintf(stderr, "panel-bench: unknown command '%s' (try --help)\n", command.c_str());
  return 2;
}
