#include "bench/scenario.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>

#include "bench/script.h"

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
  auto fail = [why](const std::string& reason) {
    *why = reason;
    return false;
  };
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    return fail("no such file: check the name and folder");
  }
  if (ec) return fail("cannot read the file: " + ec.message());
  if (std::filesystem::is_directory(status)) {
    return fail("a folder, not a script: give a .scn file, or a folder of them without '.scn' in "
                "its name");
  }
  if (!std::filesystem::is_regular_file(status)) {
    return fail("not a regular file (a device, pipe or socket): a script is a text file");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return fail("cannot read the file: check its permissions");
  // Read in pieces up to the limit, whatever size the file claims.
  std::string content;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    content.append(chunk, static_cast<size_t>(in.gcount()));
    if (content.size() > kLargestScript) {
      return fail("larger than " + std::to_string(kLargestScript >> 20) +
                  " MiB; a script is a short text file");
    }
  }
  if (in.bad()) return fail("cannot read the file: the read failed part way");
  *text = std::move(content);
  return true;
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
