#include "bench/scripts/scenario.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "bench/scripts/script.h"
#include "formats/file_read.h"

namespace bench {

std::string ScenarioProblem::Describe() const {
  const std::string where = Visible(file);
  return line > 0 ? where + ":" + std::to_string(line) + ": " + message : where + ": " + message;
}

namespace {

void Add(std::vector<ScenarioProblem>* list, uint64_t* more, const std::string& file, int line,
         std::string_view message) {
  if (list->size() < kListedProblems) {
    list->push_back({file, line, std::string(message)});
  } else if (more != nullptr) {
    ++*more;
  }
}

std::string More(const std::string& file, uint64_t count, const char* what) {
  if (count == 0) return "";
  return Visible(file) + ": ... and " + std::to_string(count) + " more " + what + " (not listed)";
}

}  // namespace

void ScenarioResult::AddError(int line, std::string_view message) {
  Add(&errors, &more_errors, file, line, message);
}

void ScenarioResult::AddFailure(int line, std::string_view message) {
  Add(&failures, nullptr, file, line, message);
}

std::string ScenarioResult::MoreErrors() const {
  return More(file, more_errors, more_errors == 1 ? "script error" : "script errors");
}

std::string ScenarioResult::MoreFailures() const {
  const uint64_t more = more_failures();
  return More(file, more, more == 1 ? "failed expectation" : "failed expectations");
}

std::string ScenarioResult::Summary() const {
  const std::string text =
      host::Format("%d expectation%s, %d failed, %" PRIu64 " update%s, %.2f s", expectations,
                   expectations == 1 ? "" : "s", failed, updates, updates == 1 ? "" : "s", seconds);
  std::string line = status();
  line.resize(5, ' ');
  line += "  " + Visible(file) + "  ";
  if (!errors.empty()) {
    line += std::to_string(error_count()) + " script error" + (error_count() == 1 ? "" : "s");
    if (errors.front().line > 0) line += " (first: line " + std::to_string(errors.front().line) + ")";
    line += "; ";
  }
  line += text;
  if (random) line += ", seed " + std::to_string(seed);
  return line;
}

namespace {

using Clock = std::chrono::steady_clock;

// Reads the script twice: once for its errors, and when there are none, again
// running each command as it is read, so no more than one command is held at
// a time whatever the script's length.
ScenarioResult RunText(const std::string& text, const std::string& file,
                       const ScenarioOptions& options, Clock::time_point start) {
  ScenarioResult result;
  result.file = file;
  result.name = std::filesystem::path(file).stem().string();
  script::Reader(&result).Read(text);
  if (result.errors.empty()) {
    script::Runner runner(options, &result);
    script::Reader(&result).Read(text, [&runner](const script::Command& command) {
      return runner.Step(command);
    });
    runner.Finish();
  } else if (options.out != nullptr) {
    for (const ScenarioProblem& error : result.errors) {
      std::fprintf(options.out, "%s\n", error.Describe().c_str());
    }
    if (result.more_errors != 0) std::fprintf(options.out, "%s\n", result.MoreErrors().c_str());
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

}  // namespace

ScenarioResult RunScenarioText(const std::string& text, const std::string& file,
                               const ScenarioOptions& options) {
  return RunText(text, file, options, Clock::now());
}

namespace {

// The text of a script file; false with the reason for anything that is not
// a readable regular file of a script's size.
bool ReadScript(const std::filesystem::path& file, std::string* text, std::string* why) {
  formats::FileReadError error;
  if (formats::ReadRegularFile(file, kLargestScript, "script", text, &error)) return true;
  *why = error.message;
  std::error_code ec;
  if (error.kind == formats::FileReadError::Kind::kNotRegular &&
      std::filesystem::is_directory(file, ec)) {
    *why += ": give a .scn file, or a folder of them without '.scn' in its name";
  }
  return false;
}

}  // namespace

ScenarioResult RunScenarioFile(const std::filesystem::path& file, const ScenarioOptions& options) {
  const Clock::time_point start = Clock::now();
  std::string text, why;
  if (!ReadScript(file, &text, &why)) {
    ScenarioResult result;
    result.file = file.string();
    result.name = file.stem().string();
    result.AddError(0, why);
    if (options.out != nullptr) {
      std::fprintf(options.out, "%s\n", result.errors.back().Describe().c_str());
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  }
  return RunText(text, file.string(), options, start);
}

}  // namespace bench
