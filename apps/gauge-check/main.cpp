// gauge-check FILE...: proves gauge module files against the frame's
// contract before a simulator loads them (docs/gauge-check.md).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/text_format.h"
#include "gauge_check/check_file.h"
#include "gauge_check/checks.h"
#include "gauge_check/report.h"

namespace {

constexpr char kUsage[] =
    "usage: gauge-check [--json] [--static-only] FILE...\n"
    "       gauge-check --list-checks [--json]\n"
    "       gauge-check --version\n"
    "\n"
    "Checks gauge module files against the frame's contract: 32-bit Windows\n"
    "gauge files (.gau) from the file alone, native modules (.so) through the\n"
    "host core; then, where this machine can load the file, runs the gauge.\n"
    "One line per check, as FILE: pass|warn|fail ID: ..., a fault's line\n"
    "saying what was expected, what was found and where; a check with no\n"
    "fault passes in one line (docs/gauge-check.md lists every id).\n"
    "\n"
    "  --json         one JSON document instead of lines of text\n"
    "  --static-only  no running checks, and no code of the file runs at all\n"
    "  --list-checks  every check, one a line: its id, what it protects against\n"
    "                 and its rule, separated by tabs\n"
    "  --version      this program's version\n"
    "\n"
    "Exit status: 0 every check passed (warnings allowed), 1 a check failed,\n"
    "2 a wrong command line, 3 a file cannot be read at all, 4 the results\n"
    "could not be written.\n";

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  bool list_checks = false;
  gauge_check::Options options;
  std::vector<std::string> files;
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (only_files || arg.empty() || arg[0] != '-') {
      files.push_back(arg);
    } else if (arg == "--") {
      only_files = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--static-only") {
      options.run = false;
    } else if (arg == "--list-checks") {
      list_checks = true;
    } else if (arg == "--version") {
      std::printf("gauge-check %s\n", GAUGES_VERSION);
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "gauge-check: unknown option %s\n\n%s", host::Visible(arg).c_str(),
                   kUsage);
      return 2;
    }
  }
  if (list_checks && !files.empty()) {
    std::fprintf(stderr, "gauge-check: --list-checks takes no file\n\n%s", kUsage);
    return 2;
  }
  if (!list_checks && files.empty()) {
    std::fprintf(stderr, "gauge-check: no file to check\n\n%s", kUsage);
    return 2;
  }
  std::vector<gauge_check::Report> reports;
  std::string out;
  if (list_checks) {
    out = json ? gauge_check::ChecksJson() : gauge_check::ChecksText();
  } else {
    for (const std::string& file : files) reports.push_back(gauge_check::CheckFile(file, options));
    out = json ? gauge_check::Json(reports) : gauge_check::Text(reports);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  // Results that never arrived (a full disk, a closed pipe) are no pass.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr,
                 "gauge-check: the results could not be written to standard output (%s): check "
                 "the disk or the command it goes to, and run it again\n",
                 std::strerror(errno));
    return 4;
  }
  return list_checks ? 0 : gauge_check::ExitStatus(reports);
}
