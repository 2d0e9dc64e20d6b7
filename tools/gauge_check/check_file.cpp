#include "tools/gauge_check/check_file.h"

#include "tools/gauge_check/running_checks.h"
#include "tools/gauge_check/static_checks.h"

namespace gauge_check {
namespace {

bool StartsWith(const std::vector<uint8_t>& bytes, const char* magic, size_t size) {
  return bytes.size() >= size && std::equal(magic, magic + size, bytes.begin());
}

}  // namespace

Report CheckFile(const std::string& path, const Options& options) {
  Report report(path);
  std::vector<uint8_t> bytes;
  std::string why;
  if (!ReadWholeFile(path, &bytes, &why)) {
    report.Unreadable(why);
    return report;
  }
  if (StartsWith(bytes, "\x7F" "ELF", 4)) {
    CheckNativeModule(path, options, report);
    return report;
  }
  RecordFacts facts;
  CheckGauBytes(bytes, path, report, &facts);
  if (!options.run) return report;
  if (!facts.complete) {
    report.Note("running checks skipped: the records could not be read whole");
  } else if (!RunsHere(ModuleFormat::kWindows32)) {
    report.Note("running checks skipped: a 32-bit Windows library loads only into a 32-bit "
                "Windows process (gauge-check.exe of the 32-bit Windows build, under Windows "
                "or 32-bit Wine)");
  } else {
    RunChecks(path, facts, facts.linkage, options.updates, report);
  }
  return report;
}

int ExitStatus(const std::vector<Report>& reports) {
  bool failed = false;
  for (const Report& report : reports) {
    if (!report.unreadable().empty()) return 3;
    failed = failed || report.Count(Status::kFail) > 0;
  }
  return failed ? 1 : 0;
}

}  // namespace gauge_check
