// The machine-readable reports of a run: JUnit XML and JSON, valid
// whatever bytes a script or a file name held.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "bench/scripts/scenario.h"

namespace bench {

std::string JunitReport(const std::vector<ScenarioResult>& results);
std::string JsonReport(const std::vector<ScenarioResult>& results);

// Text as valid UTF-8: each byte that is not part of a UTF-8 character
// becomes U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace bench
