// panel-bench's commands: one row each, in a file of its own (show.cpp, render.cpp, ...), and
// what several of them share. Which rows a build has is the build's choice
// (CMakeLists.txt), which writes the table of them in help order.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "bench/text.h"

namespace panel_bench {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannot = 3;

// What the command line gives every command.
struct Line {
  std::string command;             // "" when none was given
  std::vector<std::string> words;  // the command's words, in order
  // --gauges and --sound-library ("": the default)
  std::string gauges, sound_library;
};

struct Command {
  const char* name;
  const char* summary;  // its line in panel-bench --help
  const char* help;     // panel-bench help <name>
  // Adds the command's options and its words (into `words`) to its
  // sub-command, before the line is parsed; null for a command with
  // neither. The options' values are kept in the command's own file.
  void (*add_options)(CLI::App* command, std::vector<std::string>* words);
  // Does the work once the line is parsed; returns the exit code.
  int (*run)(const Line& line);
};

// Options that every command takes besides --gauges and --sound-library,
// from a part of the bench of their own (full_bench.cpp).
struct CommonOptions {
  void (*add_options)(CLI::App* app);  // before the line is parsed
  void (*usage)(FILE* out);            // their lines in panel-bench --help
};

// The build's commands in help order and its common options (a table the
// build writes).
extern const std::span<const Command* const> kCommands;
extern const std::span<const CommonOptions* const> kCommonOptions;

// A message on stderr, any control byte in it (a file name may hold one)
// written out. False, for the callers that fail with it.
bool Complain(const std::string& message);
// A wrong command line: the message, where to read more, and the exit code.
int UsageError(const std::string& message, const std::string& command);
// Work that could not be done: the message and the exit code.
int Cannot(const std::string& message);

// A whole number written in decimal digits (CLI11 alone would read "010"
// as octal and let a 64-bit number saturate); for --seed, whose range is
// all 64-bit numbers.
extern const CLI::Validator kDecimal;

// One of `names`, the message naming them all ("'noon' is not one of dark,
// day, dusk, night").
CLI::Validator OneOf(std::vector<std::string> names);

// A file or folder named on the command line: an empty name would quietly
// mean the current folder, or no report at all.
extern const CLI::Validator kName;

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

}  // namespace panel_bench
