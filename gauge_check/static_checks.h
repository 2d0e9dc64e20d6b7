// The checks that need nothing but the file: for a 32-bit Windows gauge file
// (.gau), the library's form, its exports and imports, its base relocations,
// every record and every picture, without running any of its code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauge_check/records.h"
#include "gauge_check/report.h"

namespace gauge_check {

// Checks the bytes of a .gau file named `file_name` (the name only matters
// for the export name when the records give no gauge name). `facts`, when
// given, receives the records as read (for the running checks).
void CheckGauBytes(const std::vector<uint8_t>& bytes, const std::string& file_name,
                   Report& report, RecordFacts* facts = nullptr);

}  // namespace gauge_check
