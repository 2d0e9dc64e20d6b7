// `panel-bench run`: scenario scripts, their results and reports.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "apps/panel-bench/full_bench.h"
#include "bench/file_write.h"
#include "bench/reports/scenario_reports.h"
#include "bench/scripts/scenario.h"

namespace panel_bench {
namespace run_command {

// What the line gave run's options ("" or unset: the default).
struct Given {
  std::string junit, json;
  std::optional<uint64_t> seed;
  std::string out;
  bool fast = false, quiet = false;
};
Given given;

void AddOptions(CLI::App* command, std::vector<std::string>* words) {
  command->add_option("scripts", *words);
  command->add_option("--junit", given.junit)->check(kName);
  command->add_option("--json", given.json)->check(kName);
  command->add_option("--seed", given.seed)->check(kDecimal);
  command->add_option("--out", given.out)->check(kName);
  command->add_flag("--fast", given.fast);
  command->add_flag("--quiet", given.quiet);
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

int Run(const Line& line) {
  if (line.words.empty()) {
    return UsageError("run needs scenario files or folders, e.g. panel-bench run scenarios",
                      line.command);
  }
  bench::ScenarioOptions options;
  options.panel = PanelOptionsFrom(line);
  // Relative to the working folder, as a reader of the command expects;
  // said in full below, where the pictures went.
  std::error_code absolute_error;
  options.out_dir = std::filesystem::absolute(
      !given.out.empty() ? std::filesystem::path(given.out)
                         : std::filesystem::path("build") / "pictures" / "scenarios",
      absolute_error);
  options.realtime = !given.fast;
  options.out = given.quiet ? nullptr : stdout;
  options.progress = stderr;
  options.progress_is_terminal = isatty(2) != 0;
  if (given.seed) {
    options.seed = *given.seed;
    options.seed_given = true;
  }

  std::vector<std::filesystem::path> files;
  for (const std::string& word : line.words) {
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
  const std::pair<const char*, const std::string*> reports[] = {{"--junit", &given.junit},
                                                                  {"--json", &given.json}};
  for (const auto& [option, report] : reports) {
    if (report->empty()) continue;
    for (const std::filesystem::path& file : files) {
      if (SameFile(*report, file)) {
        return UsageError(std::string(option) + " " + *report + " names the script " +
                              file.string() + ": give the report another file name",
                          line.command);
      }
    }
  }
  if (!given.junit.empty() && !given.json.empty() && SameFile(given.junit, given.json)) {
    return UsageError("--junit and --json name the same file " + given.json +
                          ": give each report its own",
                      line.command);
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
  size_t snapshots = 0;
  for (const bench::ScenarioResult& result : results) snapshots += result.snapshots.size();
  if (snapshots > 0) {
    std::printf("%zu snapshot%s in %s\n", snapshots, snapshots == 1 ? "" : "s",
                bench::Visible(options.out_dir.string()).c_str());
  }

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
  const bool junit_written = write_report("--junit", given.junit, bench::JunitReport(results));
  const bool json_written = write_report("--json", given.json, bench::JsonReport(results));
  if (errors != 0 || !junit_written || !json_written) return kExitCannot;
  return failed != 0 ? kExitFailed : kExitOk;
}

}  // namespace run_command

extern const Command kRunCommand = {
    "run",
    "run scenario scripts and report their results",
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
    "                  build/pictures/scenarios in the working folder)\n"
    "  --fast          run 'update ... realtime' at full speed\n"
    "  --quiet         print only the summary lines\n"
    "\n"
    "Reports and snapshots are written whole (a temporary file beside each,\n"
    "then a rename; Ctrl-C leaves none). A replaced report keeps its\n"
    "permissions, and a report name that is a symbolic link updates the file\n"
    "it leads to (docs/scenarios.md).\n"
    "\n"
    "Exit code 0 if every script passed, 1 if an expectation failed, 2 for a\n"
    "wrong command line (a report named as one of the scripts among them), 3\n"
    "if a script could not run or a report could not be written.\n",
    run_command::AddOptions, run_command::Run};

}  // namespace panel_bench
