// panel-bench: runs the gauge modules in our host core, without the simulator.
// This file holds what every command shares (the options of every command,
// the help, the parse, the exit codes, the check of the output); each
// command is a row of its own file (command.h).
//
// Exit codes: 0 done (every scenario passed); 1 a scenario's expectation
// failed (run); 2 the command line is wrong; 3 the work could not be done (a
// file is missing, unreadable or refused, a script has errors, a picture, a
// report or the standard output cannot be written).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "apps/panel-bench/command.h"
#include "host/host.h"

namespace panel_bench {
namespace {

void Usage(FILE* out) {
  std::fprintf(out, "usage: panel-bench [options] <command> [command options]\n\ncommands:\n");
  for (const Command* command : kCommands) {
    std::fprintf(out, "  %-7s %s\n", command->name, command->summary);
  }
  std::fprintf(out, "  %-7s %s\n", "help", "help on a command: panel-bench help <command>");
  std::fprintf(out,
               "\noptions of every command:\n"
               "  --gauges DIR          where the gauge modules are (default: %s)\n"
               "  --sound-library FILE  the sound library to load (default: %s)\n",
               host::DefaultGaugeDir().string().c_str(),
               host::DefaultSoundLibrary().string().c_str());
  for (const CommonOptions* options : kCommonOptions) options->usage(out);
  std::fprintf(out,
               "  --help                this text; after a command, that command's help\n"
               "  --version             this program's version\n"
               "\nexit codes: 0 done, 1 a scenario failed, 2 wrong command line, 3 the work\n"
               "could not be done (missing files, script errors, unwritable output)\n");
}

// What the command line asks for besides the command's own options (which
// its file keeps).
struct Arguments {
  Line line;
  bool help = false;
  bool version = false;
};

// Parses the whole line; returns -1 if fine, else the exit code.
int Parse(int argc, char** argv, Arguments* args) {
  CLI::App app("runs the gauge modules in the host core, without the simulator", "panel-bench");
  app.set_help_flag();  // the help texts are our own (each command's row)
  app.fallthrough();    // every command takes the options of every command
  app.add_flag("-h,--help", args->help);
  app.add_flag("--version", args->version);
  app.add_option("--gauges", args->line.gauges);
  app.add_option("--sound-library", args->line.sound_library);
  for (const CommonOptions* options : kCommonOptions) options->add_options(&app);
  std::vector<std::string> stray;  // words no command took
  app.add_option("stray", stray);

  std::map<std::string, CLI::App*> commands;
  for (const Command* command : kCommands) {
    CLI::App* sub = app.add_subcommand(command->name);
    sub->add_flag("-h,--help", args->help);
    commands[command->name] = sub;
  }
  CLI::App* help = app.add_subcommand("help");
  std::vector<std::string> topic;
  help->add_option("command", topic);
  for (const Command* command : kCommands) {
    if (command->add_options != nullptr) {
      command->add_options(commands[command->name], &args->line.words);
    }
  }

  std::optional<std::string> wrong;  // what is wrong with the line
  try {
    app.parse(argc, argv);
  } catch (const CLI::ExtrasError& error) {
    // CLI11 says "The following argument was not expected: --bogus".
    const std::string said = error.what();
    const size_t colon = said.find(": ");
    wrong = "unknown option or word '" + (colon == std::string::npos ? said : said.substr(colon + 2)) +
            "'";
  } catch (const CLI::ArgumentMismatch& error) {
    // CLI11 says "--scale: 1 required INT missing".
    const std::string said = error.what();
    const size_t colon = said.find(": ");
    wrong = said.find("missing") != std::string::npos && colon != std::string::npos
                ? said.substr(0, colon) + " needs a value"
                : said;
  } catch (const CLI::ParseError& error) {
    wrong = error.what();
  }
  std::string& command = args->line.command;
  for (const auto& [name, sub] : commands) {
    if (sub->parsed()) command = name;
  }
  if (wrong) return UsageError(*wrong, command);
  if (help->parsed()) {
    args->help = true;
    if (topic.size() > 1) return UsageError("help takes one command", "");
    if (!topic.empty() && topic[0] != "help") {
      if (commands.count(topic[0]) == 0) return UsageError("unknown command '" + topic[0] + "'", "");
      command = topic[0];
    }
  }
  if (!stray.empty()) {
    if (command.empty()) return UsageError("unknown command '" + stray[0] + "'", "");
    return UsageError(command + " takes no words, not '" + stray[0] + "'", command);
  }
  return -1;
}

const Command* Find(const std::string& name) {
  for (const Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
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
  const std::string& name = args.line.command;
  try {
    if (const int code = Parse(argc, argv, &args); code >= 0) return code;
    if (args.version) {
      std::printf("panel-bench %s\n", GAUGES_VERSION);
      return kExitOk;
    }
    if (args.help) {
      if (name.empty()) {
        Usage(stdout);
      } else {
        if (const Command* command = Find(name)) std::fputs(command->help, stdout);
        std::printf("\n(and the options of every command: see panel-bench --help)\n");
      }
      return kExitOk;
    }
    if (name.empty()) {
      Usage(stderr);
      return kExitUsage;
    }
    const Command* command = Find(name);
    if (command == nullptr) return UsageError("unknown command '" + name + "'", "");
    return command->run(args.line);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "panel-bench%s%s: out of memory: the work asked for more memory than "
                         "this machine gives (a smaller --scale or fewer gauges need less)\n",
                 name.empty() ? "" : " ", name.c_str());
    return kExitCannot;
  }
}

}  // namespace
}  // namespace panel_bench

int main(int argc, char** argv) { return panel_bench::CheckOutput(panel_bench::Main(argc, argv)); }
