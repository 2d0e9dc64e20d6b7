#include "bench/scenario.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "bench/script.h"
#include "host/file_read.h"

namespace bench {

std::string ScenarioProblem::Describe() const {
  const std::string where = Visible(file);
  return line > 0 ? where + ":" + std::to_string(line) + ": " + message : where + ": " + message;
}

std::string ScenarioResult::Summary() const {
  const std::string text =
      host::Format("%d expectation%s, %d failed, %" PRIu64 " update%s, %.2f s", expectations,
                   expectations == 1 ? "" : "s", failed, updates, updates == 1 ? "" : "s", seconds);
  std::string line = status();
  line.resize(5, ' ');
  line += "  " + Visible(file) + "  ";
  if (!errors.empty()) {
    line += std::to_string(errors.size()) + " script error" + (errors.size() == 1 ? "" : "s");
    if (errors.front().line > 0) line += " (first: line " + std::to_string(errors.front().line) + ")";
    line += "; ";
  }
  line += text;
  if (random) line += ", seed " + std::to_string(seed);
  return line;
}

ScenarioResult RunScenarioText(const std::string& text, const std::string& file,
                               const ScenarioOptions& options) {
  ScenarioResult result;
  result.file = file;
  result.name = std::filesystem::path(file).stem().string();
  const auto start = std::chrono::steady_clock::now();
  std::vector<script::Command> commands;
  script::Reader(file, &result.errors).Read(text, &commands);
  if (result.errors.empty()) {
    script::Runner(options, &result).Run(commands);
  } else if (options.out != nullptr) {
    for (const ScenarioProblem& error : result.errors) {
      std::fprintf(options.out, "%s\n", error.Describe().c_str());
    }
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

namespace {

// The text of a script file; false with the reason for anything that is not
// a readable regular file of a script's size.
bool ReadScript(const std::filesystem::path& file, std::string* text, std::string* why) {
  host::FileReadError error;
  if (host::ReadRegularFile(file, kLargestScript, "script", text, &error)) return true;
  *why = error.message;
  std::error_code ec;
  if (error.kind == host::FileReadError::Kind::kNotRegular &&
      std::filesystem::is_directory(file, ec)) {
    *why += ": give a .scn file, or a folder of them without '.scn' in its name";
  }
  return false;
}

}  // namespace

ScenarioResult RunScenarioFile(const std::filesystem::path& file, const ScenarioOptions& options) {
  std::string text, why;
  if (!ReadScript(file, &text, &why)) {
    ScenarioResult result;
    result.file = file.string();
    result.name = file.stem().string();
    result.errors.push_back({file.string(), 0, why});
    if (options.out != nullptr) {
      std::fprintf(options.out, "%s\n", result.errors.back().Describe().c_str());
    }
    return result;
  }
  return RunScenarioText(text, file.string(), options);
}

}  // namespace bench
