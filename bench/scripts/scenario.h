// Scenarios: small line-based scripts that drive the panel (load gauges,
// work the aircraft's switches, run updates, click) and check what the
// gauges show and send. The language is described in docs/scenarios.md.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench/panel.h"
#include "bench/drawing/render.h"
#include "bench/text.h"

namespace bench {

struct ScenarioOptions {
  PanelOptions panel = DefaultPanelOptions();
  // Where snapshots with a relative file name go.
  std::filesystem::path out_dir = ".";
  // False: `update N realtime` runs at full speed (tests, quick checks).
  bool realtime = true;
  // The seed of anything random, unless the script sets one with `seed`.
  bool seed_given = false;
  uint64_t seed = 0;
  // Where failures, `show` output and seeds are printed as the script runs;
  // null for silence.
  FILE* out = nullptr;
  // Where the progress of real-time updates goes (null: nowhere); a
  // terminal gets one line that is rewritten in place, anything else one
  // line per run of updates.
  FILE* progress = nullptr;
  bool progress_is_terminal = false;
};

// One problem found while reading or running a script: a script error (the
// line cannot be run), or an expectation that failed.
struct ScenarioProblem {
  std::string file;
  int line = 0;
  std::string message;
  std::string Describe() const;  // "file:line: message"
};

// How many script errors, and how many failed expectations, a result lists;
// the rest are only counted ("... and 2,000 more"), so a script of a million
// bad lines costs no more to report than one of a hundred.
inline constexpr size_t kListedProblems = 100;

struct ScenarioResult {
  std::string file;  // as given
  std::string name;  // the file's name without its folder and extension
  int expectations = 0;
  int failed = 0;
  uint64_t updates = 0;
  double seconds = 0.0;
  bool random = false;  // something random ran: `seed` says how to repeat it
  uint64_t seed = 0;
  std::vector<ScenarioProblem> errors;    // the script could not be read or run
  std::vector<ScenarioProblem> failures;  // expectations that failed
  uint64_t more_errors = 0;               // script errors past the listed ones
  std::vector<std::string> snapshots;     // PNG files written

  // Each lists the problem while fewer than kListedProblems of its kind are
  // listed, else only counts it.
  void AddError(int line, std::string_view message);
  void AddFailure(int line, std::string_view message);
  uint64_t error_count() const { return errors.size() + more_errors; }
  uint64_t more_failures() const {  // `failed` counts every one
    return static_cast<uint64_t>(failed) > failures.size() ? static_cast<uint64_t>(failed) - failures.size()
                                                          : 0;
  }
  // "file: ... and 2400 more script errors (not listed)"; "" if none.
  std::string MoreErrors() const;
  std::string MoreFailures() const;

  bool passed() const { return errors.empty() && failed == 0; }
  const char* status() const { return !errors.empty() ? "ERROR" : failed != 0 ? "FAIL" : "PASS"; }
  // "PASS  scenarios/hydraulics.scn  12 expectations, 0 failed, 400 updates, 0.08 s"
  std::string Summary() const;
};

// Reads and runs one script; `file` names it in messages. Every line is
// read before anything runs, so a script with errors runs nothing. The
// result's seconds cover the reading (of the file, too) and the run.
ScenarioResult RunScenarioText(const std::string& text, const std::string& file,
                               const ScenarioOptions& options);
ScenarioResult RunScenarioFile(const std::filesystem::path& file, const ScenarioOptions& options);

// Only reads a script: its listed errors (at most kListedProblems; `more`,
// if given, gets the count of the rest), none if it would run.
std::vector<ScenarioProblem> CheckScenarioText(const std::string& text, const std::string& file,
                                               uint64_t* more = nullptr);

// The largest script file read (bytes); a real one is a few kilobytes.
inline constexpr size_t kLargestScript = size_t{16} << 20;

// The names by which scripts refer to the radio display's read-outs
// ("COM2", "COM2-PRESET", ...) and the variable each shows; false if none.
bool ReadoutVariable(const std::string& name, uint32_t* var_id);

}  // namespace bench
