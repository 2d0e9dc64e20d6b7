#include "apps/panel-bench/command.h"

namespace panel_bench {

bool Complain(const std::string& message) {
  std::fprintf(stderr, "panel-bench: %s\n", bench::Visible(message).c_str());
  return false;
}

int UsageError(const std::string& message, const std::string& command) {
  Complain(message + " (see panel-bench help" + (command.empty() ? "" : " " + command) + ")");
  return kExitUsage;
}

int Cannot(const std::string& message) {
  Complain(message);
  return kExitCannot;
}

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

CLI::Validator OneOf(std::vector<std::string> names) {
  return CLI::Validator(
      [names](std::string& text) -> std::string {
        for (const std::string& name : names) {
          if (text == name) return "";
        }
        std::string listed;
        for (const std::string& name : names) listed += (listed.empty() ? "" : ", ") + name;
        return "'" + text + "' is not one of " + listed;
      },
      "", "one of");
}

const CLI::Validator kName(
    [](std::string& text) -> std::string {
      return text.empty() ? "an empty name: give a file or folder, or leave the option out" : "";
    },
    "", "name");

}  // namespace panel_bench
