// panel-bench: runs the gauge modules in our host core, without the simulator.
//
// Exit codes: 0 done (every scenario passed); 1 a scenario's expectation
// failed (run); 2 the command line is wrong; 3 the work could not be done (a
// file is missing, unreadable or refused, a script has errors, a picture, a
// report or the standard output cannot be written).
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "bench/commands.h"
#include "bench/text.h"
#include "host/host.h"
#include "host/text_format.h"

#if GAUGES_FULL_BENCH
#  include <unistd.h>

#  include <algorithm>
#  include <system_error>

#  include "bench/reports/file_write.h"
#  include "bench/panel.h"
#  include "bench/drawing/render.h"
#  include "bench/scripts/scenario.h"
#endif
#if GAUGES_LIVE_PANEL
#  include "viewer/serve.h"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannot = 3;

struct CommandHelp {
  const char* name;
  const char* summary;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"show", "load the four gauges with an example aircraft, click a few areas, print what "
             "each shows and sent",
     "usage: panel-bench show\n"
     "\n"
     "Loads the four gauges with an example aircraft (power and panel lights on,\n"
     "radios tuned, hydraulic pressure up, the partner gauges' named variables\n"
     "registered), runs 80 updates, clicks a few areas and prints what each gauge\n"
     "shows (texts, pictures, lamps, the needle) and what it sent (key events and\n"
     "clicks).\n"},
#if GAUGES_FULL_BENCH
    {"render", "draw the whole panel and/or single gauges into PNG files",
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
     "  --out DIR       where the files go (default build/pictures)\n"},
    {"run", "run scenario scripts and report their results",
     "usage: panel-bench run <file.scn | folder>... [options]\n"
     "\n"
     "Runs each script (a folder: every *.scn in it, by name) on a panel of its\n"
     "own and prints one summary line per script: PASS, FAIL (an expectation\n"
     "failed; each failure is printed as file:line: expected ..., saw ...) or\n"
     "ERROR (the script has errors or could not run). The language is in\n"
     "docs/scenarios.md.\n"
     "\n"
     "  --junit FILE    also write the results as JUnit XML\n"
     "  --json FILE     also write the results as JSON\n"
     "  --seed N        the seed of random clicks (default: a new one, printed)\n"
     "  --out DIR       where snapshots with relative names go (default\n"
     "                  build/pictures/scenarios)\n"
     "  --fast          run 'update ... realtime' at full speed\n"
     "  --quiet         print only the summary lines\n"
     "\n"
     "Exit code 0 if every script passed, 1 if an expectation failed, 3 if a\n"
     "script could not run.\n"},
    {"click", "click a gauge at a point; print what the click sent and the page after",
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
     "  --updates N     updates before the click (default 100)\n"},
    {"areas", "list a gauge's mouse areas and what each sends",
     "usage: panel-bench areas <gauge>\n"
     "\n"
     "Lists every mouse area of the gauge, in list order (the numbers that\n"
     "'click <gauge> area <n>' takes): its rectangle, its kind, the key events its\n"
     "press sends and the click it plays. Each area is tried on a fresh load of\n"
     "the module.\n"},
#endif
#if GAUGES_LIVE_PANEL
    {"serve", "run the panel live at 18 updates a second and serve it to a browser",
     "usage: panel-bench serve [options]\n"
     "\n"
     "Runs the four gauges on the bench's aircraft at the simulator's pace and\n"
     "serves them to a browser on this machine (docs/live-panel.md) until Ctrl-C.\n"
     "\n"
     "  --port N        the port (default 8018; 0 for any free one, printed)\n"
     "  --address A     the address to listen on (default 127.0.0.1)\n"
     "  --web DIR       the page's files (default: viewer/web of the source tree)\n"},
#endif
};

void Usage(FILE* out) {
  std::fprintf(out, "usage: panel-bench [options] <command> [command options]\n\ncommands:\n");
  for (const CommandHelp& command : kCommands) {
    std::fprintf(out, "  %-7s %s\n", command.name, command.summary);
  }
  std::fprintf(out, "  %-7s %s\n", "help", "help on a command: panel-bench help <command>");
  std::fprintf(out,
               "\noptions of every command:\n"
               "  --gauges DIR          where the gauge modules are (default: %s)\n"
               "  --sound-library FILE  the sound library to load (default: %s)\n",
               host::DefaultGaugeDir().string().c_str(),
               host::DefaultSoundLibrary().string().c_str());
#if GAUGES_FULL_BENCH
  const bench::PanelOptions defaults = bench::DefaultPanelOptions();
  std::fprintf(out,
               "  --pictures DIR        the gauge files whose bitmaps are drawn (default: %s)\n"
               "  --sound-root DIR      the simulator folder holding sound/ (default: %s)\n",
               defaults.picture_dir.string().c_str(), defaults.sound_root.string().c_str());
#endif
  std::fprintf(out,
               "  --help                this text; after a command, that command's help\n"
               "  --version             this program's version\n"
               "\nexit codes: 0 done, 1 a scenario failed, 2 wrong command line, 3 the work\n"
               "could not be done (missing files, script errors, unwritable output)\n");
}

// ---- the command line -------------------------------------------------------------

enum class State { kDark, kDay, kDusk, kNight };
constexpr const char* kStateNames[] = {"dark", "day", "dusk", "night"};

// What the command line asks for; each command reads its own part.
struct Arguments {
  std::string command;              // "" when none was given
  std::vector<std::string> words;   // the command's words, in order
  bool help = false;
  bool version = false;
  // Every command's options ("" or unset: the default).
  std::string gauges, sound_library, pictures, sound_root;
  // render, click
  State state = State::kDay;
  int updates = 100;
  // render
  int scale = 1;
  std::string ambient;
  bool overlay = false;
  std::string out;
  // run
  std::string junit, json;
  std::optional<uint64_t> seed;
  bool fast = false, quiet = false;
  // click
  int hold = 0;
  // serve
  int port = -1;
  std::string address, web;
};

// A message on stderr, any control byte in it (a file name may hold one)
// written out. False, for the callers that fail with it.
bool Complain(const std::string& message) {
  std::fprintf(stderr, "panel-bench: %s\n", bench::Visible(message).c_str());
  return false;
}

int UsageError(const std::string& message, const std::string& command) {
  Complain(message + " (see panel-bench help" + (command.empty() ? "" : " " + command) + ")");
  return kExitUsage;
}

// A whole number written in decimal digits (CLI11 alone would read "010"
// as octal and let a 64-bit number saturate); for --seed, whose range is
// all 64-bit numbers.
const CLI::Validator kDecimal(
    [](std::string& text) -> std::string {
      uint64_t value = 0;
      if (!bench::WholeWord(text, 10, &value) || text[0] == '+') {
        return "'" + text + "' is not a whole number from 0 to " + std::to_string(UINT64_MAX);
      }
      text = std::to_string(value);  // no leading zeros
      return "";
    },
    "", "decimal");

// A whole number in decimal digits from `low` to `high`, the message giving
// that range.
template <typename T>
CLI::Option* NumberOption(CLI::App* app, const char* name, T* value, T low, T high) {
  const CLI::Validator range(
      [low, high](std::string& text) -> std::string {
        int64_t number = 0;
        if (!bench::WholeWord(text, 10, &number) || text[0] == '+' || number < low ||
            number > high) {
          return "'" + text + "' is not a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high);
        }
        text = std::to_string(number);  // no leading zeros
        return "";
      },
      "", "range");
  return app->add_option(name, *value)->check(range);
}

// A file or folder named on the command line: an empty name would quietly
// mean the current folder, or no report at all.
const CLI::Validator kName(
    [](std::string& text) -> std::string {
      return text.empty() ? "an empty name: give a file or folder, or leave the option out" : "";
    },
    "", "name");

// Parses the whole line; returns -1 if fine, else the exit code.
int Parse(int argc, char** argv, Arguments* args) {
  CLI::App app("runs the gauge modules in the host core, without the simulator", "panel-bench");
  app.set_help_flag();  // the help texts are our own (kCommands)
  app.fallthrough();    // every command takes the options of every command
  app.add_flag("-h,--help", args->help);
  app.add_flag("--version", args->version);
  app.add_option("--gauges", args->gauges);
  app.add_option("--sound-library", args->sound_library);
#if GAUGES_FULL_BENCH
  app.add_option("--pictures", args->pictures);
  app.add_option("--sound-root", args->sound_root);
#endif
  std::vector<std::string> stray;  // words no command took
  app.add_option("stray", stray);

  std::map<std::string, CLI::App*> commands;
  for (const CommandHelp& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.name);
    sub->add_flag("-h,--help", args->help);
    commands[command.name] = sub;
  }
  CLI::App* help = app.add_subcommand("help");
  std::vector<std::string> topic;
  help->add_option("command", topic);

#if GAUGES_FULL_BENCH
  for (const char* name : {"render", "click"}) {
    CLI::App* sub = commands[name];
    sub->add_option("--state")
        ->check(CLI::IsMember({"dark", "day", "dusk", "night"}))
        ->each([args](const std::string& name) {
          for (int i = 0; i < 4; ++i) {
            if (name == kStateNames[i]) args->state = static_cast<State>(i);
          }
        });
    NumberOption(sub, "--updates", &args->updates, 0, 1000000);
  }
  CLI::App* render = commands["render"];
  render->add_option("what", args->words);
  render->add_option("--ambient", args->ambient)->check(CLI::IsMember({"day", "dusk", "night"}));
  NumberOption(render, "--scale", &args->scale, 1, 8);
  render->add_flag("--overlay", args->overlay);
  render->add_option("--out", args->out)->check(kName);

  CLI::App* run = commands["run"];
  run->add_option("scripts", args->words);
  run->add_option("--junit", args->junit)->check(kName);
  run->add_option("--json", args->json)->check(kName);
  run->add_option("--seed", args->seed)->check(kDecimal);
  run->add_option("--out", args->out)->check(kName);
  run->add_flag("--fast", args->fast);
  run->add_flag("--quiet", args->quiet);

  CLI::App* click = commands["click"];
  click->add_option("where", args->words);
  NumberOption(click, "--hold", &args->hold, 0, 10000);

  commands["areas"]->add_option("gauge", args->words);
#endif
#if GAUGES_LIVE_PANEL
  CLI::App* serve = commands["serve"];
  NumberOption(serve, "--port", &args->port, 0, 65535);
  serve->add_option("--address", args->address);
  serve->add_option("--web", args->web);
#endif

  std::optional<std::string> wrong;  // what is wrong with the line
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    wrong = error.what();
  }
  for (const auto& [name, sub] : commands) {
    if (sub->parsed()) args->command = name;
  }
  if (wrong) return UsageError(*wrong, args->command);
  if (help->parsed()) {
    args->help = true;
    if (topic.size() > 1) return UsageError("help takes one command", "");
    if (!topic.empty() && topic[0] != "help") {
      if (commands.count(topic[0]) == 0) return UsageError("unknown command '" + topic[0] + "'", "");
      args->command = topic[0];
    }
  }
  if (!stray.empty()) {
    if (args->command.empty()) return UsageError("unknown command '" + stray[0] + "'", "");
    return UsageError(args->command + " takes no words, not '" + stray[0] + "'", args->command);
  }
  return -1;
}

#if GAUGES_FULL_BENCH

// ---- shared by the full bench's commands -----------------------------------------

int Cannot(const std::string& message) {
  Complain(message);
  return kExitCannot;
}

bench::PanelOptions PanelOptionsFrom(const Arguments& args) {
  bench::PanelOptions options = bench::DefaultPanelOptions();
  if (!args.gauges.empty()) options.gauge_dir = args.gauges;
  if (!args.pictures.empty()) options.picture_dir = args.pictures;
  if (!args.sound_library.empty()) options.sound_library = args.sound_library;
  if (!args.sound_root.empty()) options.sound_root = args.sound_root;
  return options;
}

bench::Ambient StateAmbient(State state) {
  switch (state) {
    case State::kDusk: return bench::Ambient::kDusk;
    case State::kNight: return bench::Ambient::kNight;
    default: return bench::Ambient::kDay;
  }
}

// Opens the panel and puts the aircraft in the state: switches first, the
// audio selections through their key events and the DME 1 knob through a
// click, then the updates (at least one when the state is not dark).
bool OpenInState(bench::Panel& panel, const bench::PanelOptions& options,
                 const std::vector<std::string>& gauges, State state, long updates) {
  std::string error;
  if (!panel.Open(options, gauges, &error)) return Complain(error);
  bench::Aircraft& aircraft = panel.aircraft();
  if (state != State::kDark) {
    aircraft.SetBattery(true);
    aircraft.SetAvionics(true);
    aircraft.SetEngine(1, true);
    aircraft.SetEngine(2, true);
    aircraft.SetPanelLights(state == State::kDusk || state == State::kNight);
    aircraft.SetDimmer(bench::Dimmer::kBright);
    for (uint32_t select : {0x1039fu, 0x10132u}) aircraft.OnKeyEvent(select, 0);  // COMM 1, NAV 1
    // The knob's latch is the panel's own: press it after the first draw,
    // which resets the panel.
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

int Render(const Arguments& args) {
  const State state = args.state;
  const int scale = args.scale;
  bench::Ambient ambient = StateAmbient(state);
  if (!args.ambient.empty()) bench::ParseAmbient(args.ambient, &ambient);
  bool whole_panel = args.words.empty();
  std::vector<std::string> singles;
  for (const std::string& word : args.words) {
    if (word == "panel") {
      whole_panel = true;
      continue;
    }
    std::string why;
    if (!bench::CheckGaugeName(word, &why)) return UsageError(why, args.command);
    singles.push_back(word);
  }
  const std::filesystem::path out =
      !args.out.empty() ? std::filesystem::path(args.out)
                        : std::filesystem::path(SOURCE_DIR) / "build" / "pictures";
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    return Cannot("cannot make the folder " + out.string() + ": " + ec.message() +
                  " (give another with --out)");
  }

  bench::Panel panel;
  if (!OpenInState(panel, PanelOptionsFrom(args), {}, state, args.updates)) return kExitCannot;
  const bench::RenderOptions options{ambient, scale, args.overlay};
  std::string suffix = std::string("-") + kStateNames[static_cast<int>(state)];
  if (ambient != StateAmbient(state)) suffix += std::string("-") + bench::AmbientName(ambient);
  if (scale > 1) suffix += "-" + std::to_string(scale) + "x";
  if (options.mouse_overlay) suffix += "-areas";

  auto write = [&](const std::string& what, const bench::Image& image) {
    if (image.empty()) return Complain("cannot draw " + what + ": " + panel.render_error());
    const std::filesystem::path file = out / (what + suffix + ".png");
    std::string why;
    if (!bench::WritePng(image, file, &why)) {
      return Complain(why + " (give another folder with --out)");
    }
    std::printf("%s  (%d x %d)\n", bench::Visible(file.string()).c_str(), image.width(),
                image.height());
    return true;
  };
  if (whole_panel && !write("panel", panel.RenderPanel(options))) return kExitCannot;
  for (const std::string& name : singles) {
    host::Gauge* gauge = panel.Find(name);
    if (gauge == nullptr) return Cannot("the panel has no gauge '" + name + "'");
    if (!write(name, panel.Render(*gauge, options))) return kExitCannot;
  }
  for (const std::string& note : panel.host().notes()) std::printf("host: %s\n", note.c_str());
  return kExitOk;
}

// Whether two names lead to one file: the same file on disk (through a
// link, or another spelling), or, for a file not made yet, the same place.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  const std::filesystem::path first =
      std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
  if (ec) return false;
  const std::filesystem::path second =
      std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
  return !ec && first == second;
}

int Run(const Arguments& args) {
  if (args.words.empty()) {
    return UsageError("run needs scenario files or folders, e.g. panel-bench run scenarios",
                      args.command);
  }
  bench::ScenarioOptions options;
  options.panel = PanelOptionsFrom(args);
  options.out_dir = !args.out.empty()
                        ? std::filesystem::path(args.out)
                        : std::filesystem::path(SOURCE_DIR) / "build" / "pictures" / "scenarios";
  options.realtime = !args.fast;
  options.out = args.quiet ? nullptr : stdout;
  options.progress = stderr;
  options.progress_is_terminal = isatty(2) != 0;
  if (args.seed) {
    options.seed = *args.seed;
    options.seed_given = true;
  }

  std::vector<std::filesystem::path> files;
  for (const std::string& word : args.words) {
    std::error_code ec;
    if (std::filesystem::is_directory(word, ec)) {
      std::vector<std::filesystem::path> found;
      for (const auto& entry : std::filesystem::directory_iterator(word, ec)) {
        if (entry.path().extension() == ".scn") found.push_back(entry.path());
      }
      std::sort(found.begin(), found.end());
      if (found.empty()) return Cannot("the folder " + word + " holds no .scn scripts");
      files.insert(files.end(), found.begin(), found.end());
    } else {
      files.emplace_back(word);
    }
  }

  // A report never takes the place of a script, or of the other report.
  const std::pair<const char*, const std::string*> reports[] = {{"--junit", &args.junit},
                                                                  {"--json", &args.json}};
  for (const auto& [option, report] : reports) {
    if (report->empty()) continue;
    for (const std::filesystem::path& file : files) {
      if (SameFile(*report, file)) {
        return UsageError(std::string(option) + " " + *report + " names the script " +
                              file.string() + ": give the report another file name",
                          args.command);
      }
    }
  }
  if (!args.junit.empty() && !args.json.empty() && SameFile(args.junit, args.json)) {
    return UsageError("--junit and --json name the same file " + args.json +
                          ": give each report its own",
                      args.command);
  }

  std::vector<bench::ScenarioResult> results;
  int passed = 0, failed = 0, errors = 0;
  for (const std::filesystem::path& file : files) {
    const bench::ScenarioResult& result =
        results.emplace_back(bench::RunScenarioFile(file, options));
    std::printf("%s\n", result.Summary().c_str());
    std::fflush(stdout);
    passed += result.passed() ? 1 : 0;
    failed += result.errors.empty() && result.failed != 0 ? 1 : 0;
    errors += result.errors.empty() ? 0 : 1;
  }
  std::printf("%zu scenario%s: %d passed, %d failed, %d could not run\n", results.size(),
              results.size() == 1 ? "" : "s", passed, failed, errors);

  auto write_report = [&](const char* option, const std::string& file, const std::string& text) {
    if (file.empty()) return true;
    const std::filesystem::path path(file);
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::string why;
    if (!bench::WriteFileReplacing(path, text, &why)) return Complain(std::string(option) + ": " + why);
    std::printf("results written to %s\n", bench::Visible(file).c_str());
    return true;
  };
  // Both reports are written even when the first one fails.
  const bool junit_written = write_report("--junit", args.junit, bench::JunitReport(results));
  const bool json_written = write_report("--json", args.json, bench::JsonReport(results));
  if (errors != 0 || !junit_written || !json_written) return kExitCannot;
  return failed != 0 ? kExitFailed : kExitOk;
}

// ---- click -----------------------------------------------------------------------

// The variables the aircraft keeps, for showing what a click changed.
constexpr uint32_t kWatched[] = {
    bench::var::kCom1, bench::var::kCom1Standby, bench::var::kCom2, bench::var::kCom2Standby,
    bench::var::kNav1, bench::var::kNav1Standby, bench::var::kNav2, bench::var::kNav2Standby,
    bench::var::kAdf, bench::var::kAdfExtension, bench::var::kTransponder,
    bench::var::kComm1Lamp, bench::var::kComm2Lamp, bench::var::kNav1Lamp, bench::var::kNav2Lamp,
    bench::var::kDmeLamps, bench::var::kAdf1Lamp, bench::var::kLeftKnobLamp,
};

const char* CursorName(uint32_t cursor) {
  switch (cursor) {
    case kCursorUp: return "step up (cursor 1)";
    case kCursorDown: return "step down (cursor 2)";
    case kCursorHand: return "push (cursor 5)";
    default: return "area";
  }
}

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

// A named variable's value as the click and areas commands show it.
std::string NamedText(std::optional<int32_t> value) {
  return value ? std::to_string(*value) : "(not registered)";
}

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

int Click(const Arguments& args) {
  if (args.words.size() != 3) {
    return UsageError("click needs a gauge and a point (or 'area <n>')", args.command);
  }
  std::string why;
  if (!bench::CheckGaugeName(args.words[0], &why)) return UsageError(why, args.command);
  const State state = args.state;
  const long updates = args.updates;
  int32_t numbers[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    const std::string& word = args.words[static_cast<size_t>(i) + 1];
    if (i == 0 && word == "area") continue;
    if (!bench::WholeWord(word, 10, &numbers[i])) {
      return UsageError("'" + word + "' is not a whole number from " + std::to_string(INT32_MIN) +
                            " to " + std::to_string(INT32_MAX),
                        args.command);
    }
  }
  bench::Panel panel;
  if (!OpenInState(panel, PanelOptionsFrom(args), {}, state, updates)) return kExitCannot;
  host::Gauge* found = panel.Find(args.words[0]);
  if (found == nullptr) return Cannot("the panel has no gauge '" + args.words[0] + "'");
  host::Gauge& gauge = *found;
  int x = numbers[0], y = numbers[1];
  if (args.words[1] == "area") {
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
  panel.Press(gauge, x, y, args.hold);
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
  bench::PrintFrame(stdout, panel.LastFrame(gauge));
  for (const std::string& note : panel.host().notes()) std::printf("host: %s\n", note.c_str());
  return kExitOk;
}

int Areas(const Arguments& args) {
  if (args.words.size() != 1) return UsageError("areas needs one gauge", args.command);
  std::string why;
  if (!bench::CheckGaugeName(args.words[0], &why)) return UsageError(why, args.command);
  const bench::PanelOptions options = PanelOptionsFrom(args);
  // A fresh load of the module for the count and for each area, so no press
  // sees another's state.
  auto open = [&](bench::Panel& panel) {
    return panel.Open(options, {args.words[0]}, &why) || Complain(why);
  };
  size_t count = 0;
  {
    bench::Panel panel;
    if (!open(panel)) return kExitCannot;
    count = panel.gauges()[0]->MouseAreas().size();
  }
  std::printf("%s: %zu mouse area%s\n", args.words[0].c_str(), count, count == 1 ? "" : "s");
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

#endif  // GAUGES_FULL_BENCH

#if GAUGES_LIVE_PANEL
int Serve(const Arguments& args) {
  if (!args.words.empty()) return UsageError("serve takes no arguments", args.command);
  viewer::ServerOptions options;
  if (args.port >= 0) options.port = args.port;
  if (!args.address.empty()) options.address = args.address;
  if (!args.web.empty()) options.web_dir = args.web;
  const int code = viewer::Serve(PanelOptionsFrom(args), options);
  return code == 0 ? kExitOk : kExitCannot;
}
#endif

int Command(const Arguments& args) {
  if (args.command == "show") {
    if (!args.words.empty()) return UsageError("show takes no arguments", args.command);
    bench::Options options{host::DefaultGaugeDir(), host::DefaultSoundLibrary()};
    if (!args.gauges.empty()) options.gauge_dir = args.gauges;
    if (!args.sound_library.empty()) options.sound_library = args.sound_library;
    std::string error;
    if (bench::Show(options, &error)) return kExitOk;
    Complain(error);
    return kExitCannot;
  }
#if GAUGES_FULL_BENCH
  if (args.command == "render") return Render(args);
  if (args.command == "run") return Run(args);
  if (args.command == "click") return Click(args);
  if (args.command == "areas") return Areas(args);
#endif
#if GAUGES_LIVE_PANEL
  if (args.command == "serve") return Serve(args);
#endif
  return UsageError("unknown command '" + args.command + "'", "");
}

// What a command printed must have reached its reader: output that could
// not be written (a full disk) fails the command, whatever it did.
int CheckOutput(int code) {
  const bool flushed = std::fflush(stdout) == 0;
  const int cause = errno;
  if (flushed && std::ferror(stdout) == 0) return code;
  std::fprintf(stderr, "panel-bench: cannot write the output%s%s: what it printed is incomplete\n",
               flushed ? "" : ": ", flushed ? "" : std::strerror(cause));
  return code == kExitUsage ? code : kExitCannot;
}

int Main(int argc, char** argv) {
  Arguments args;
  try {
    if (const int code = Parse(argc, argv, &args); code >= 0) return code;
    if (args.version) {
      std::printf("panel-bench %s\n", GAUGES_VERSION);
      return kExitOk;
    }
    if (args.help) {
      if (args.command.empty()) {
        Usage(stdout);
      } else {
        for (const CommandHelp& command : kCommands) {
          if (args.command == command.name) std::fputs(command.text, stdout);
        }
        std::printf("\n(and the options of every command: see panel-bench --help)\n");
      }
      return kExitOk;
    }
    if (args.command.empty()) {
      Usage(stderr);
      return kExitUsage;
    }
    return Command(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "panel-bench%s%s: out of memory: the work asked for more memory than "
                         "this machine gives (a smaller --scale or fewer gauges need less)\n",
                 args.command.empty() ? "" : " ", args.command.c_str());
    return kExitCannot;
  }
}

}  // namespace

int main(int argc, char** argv) { return CheckOutput(Main(argc, argv)); }
