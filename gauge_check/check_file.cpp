#include "gauge_check/check_file.h"

#include <algorithm>

#include "formats/file_read.h"
#include "formats/limits.h"

#include "gauge_check/running_checks.h"
#include "gauge_check/static_checks.h"

namespace gauge_check {

Report CheckFile(const std::string& path, const Options& options) {
  Report report(path);
  std::vector<uint8_t> bytes;
  formats::FileReadError error;
  if (!formats::ReadRegularFile(path, formats::kMaxGaugeFileBytes, "gauge file", &bytes, &error)) {
    report.Unreadable(error.message);
    return report;
  }
  const char elf[] = "\x7F" "ELF";
  if (bytes.size() >= 4 && std::equal(elf, elf + 4, bytes.begin())) {
    if (options.run || !RunsHere(ModuleFormat::kNative)) {
      CheckNativeModule(path, options, report);
    } else {
      CheckNativeForm(bytes, report);
    }
    return report;
  }
  RecordFacts facts;
  CheckGauBytes(bytes, path, report, &facts);
  if (!options.run || facts.not_a_gauge) return report;
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
