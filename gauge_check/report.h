// What gauge-check found in one file: one line per check, with a stable id,
// pass, warn or fail, what was expected and found, and where. A check that
// ran and found nothing wrong gives one pass line; every fault its own line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gauge_check/checks.h"
#include "host/text_format.h"

namespace gauge_check {

enum class Status { kPass, kWarn, kFail };
const char* StatusName(Status status);

struct Line {
  std::string id;        // the check's id as printed (checks.h)
  Status status = Status::kPass;
  std::string where;     // record, offset, address; or "" for the whole file
  std::string expected;  // for a pass: what was checked
  std::string found;
};

class Report {
 public:
  explicit Report(std::string file = {}) : file_(std::move(file)) {}

  const std::string& file() const { return file_; }

  // A check ran; unless it also fails or warns, it passes with `summary`.
  void Ran(CheckId id, const std::string& summary);
  void Fail(CheckId id, const std::string& where, const std::string& expected,
            const std::string& found) { Add(Status::kFail, id, where, expected, found); }
  void Warn(CheckId id, const std::string& where, const std::string& expected,
            const std::string& found) { Add(Status::kWarn, id, where, expected, found); }
  // Something left out, and why (running checks where the file cannot run).
  void Note(const std::string& note) { notes_.push_back(note); }
  // The file could not be read at all.
  void Unreadable(const std::string& why) { unreadable_ = why; }

  // One line per check that ran, in the order the checks first reported.
  std::vector<Line> Lines() const;
  const std::vector<std::string>& notes() const { return notes_; }
  const std::string& unreadable() const { return unreadable_; }
  bool Failed(CheckId id) const;
  int Count(Status status) const;

  // Appends the lines of another report (the running checks' child).
  void Merge(const Report& other);

 private:
  struct Check {
    CheckId id;
    std::string summary;
    std::vector<Line> faults;
    size_t left_off = 0;
  };
  Check& Find(CheckId id);
  void Add(Status status, CheckId id, const std::string& where,
           const std::string& expected, const std::string& found);

  std::string file_;
  std::vector<Check> checks_;
  std::vector<std::string> notes_;
  std::string unreadable_;
};

// The reports as text (one line per check, a summary per file and for all)
// or as one JSON document.
std::string Text(const std::vector<Report>& reports);
std::string Json(const std::vector<Report>& reports);

using host::Format;
using host::Hex;

}  // namespace gauge_check
