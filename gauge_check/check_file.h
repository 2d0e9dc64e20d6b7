// One file, whatever it is: a 32-bit Windows gauge file, a native module, or
// something else, which fails on the first check that shows what it is not.
#pragma once

#include <string>
#include <vector>

#include "gauge_check/report.h"

namespace gauge_check {

struct Options {
  bool run = true;           // the running checks, where this machine can load the file
  int updates = 300;         // update-and-draw rounds of the running checks
};

Report CheckFile(const std::string& path, const Options& options);

// 3 if a file could not be read, else 1 if a check failed, else 0.
int ExitStatus(const std::vector<Report>& reports);

}  // namespace gauge_check
