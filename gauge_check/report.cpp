#include "gauge_check/report.h"

#include <nlohmann/json.hpp>

namespace gauge_check {
namespace {

// Faults kept per check: past these, one line says how many more there were.
constexpr size_t kMaxFaultsPerCheck = 20;

// A JSON string: valid UTF-8 as it is (a name "café" stays so), control
// characters escaped, and each byte that is not part of a UTF-8 character
// U+FFFD, as panel-bench's reports do.
std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Describe(const Line& line) {
  std::string text = line.id + ": ";
  if (line.status == Status::kPass) return text + line.expected;
  text += "expected " + line.expected + ", found " + line.found;
  if (!line.where.empty()) text += " (" + line.where + ")";
  return text;
}

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
    case Status::kPass: return "pass";
    case Status::kWarn: return "warn";
    case Status::kFail: return "fail";
  }
  return "?";
}

Report::Check& Report::Find(CheckId id) {
  for (Check& check : checks_) {
    if (check.id == id) return check;
  }
  checks_.push_back(Check{id, {}, {}, 0});
  return checks_.back();
}

void Report::Ran(CheckId id, const std::string& summary) {
  Check& check = Find(id);
  if (check.summary.empty()) check.summary = summary;
}

void Report::Add(Status status, CheckId id, const std::string& where, const std::string& expected,
                 const std::string& found) {
  Check& check = Find(id);
  if (check.faults.size() >= kMaxFaultsPerCheck) {
    ++check.left_off;
    return;
  }
  check.faults.push_back(Line{Id(id), status, where, expected, found});
}

std::vector<Line> Report::Lines() const {
  std::vector<Line> lines;
  for (const Check& check : checks_) {
    if (check.faults.empty()) {
      lines.push_back(Line{Id(check.id), Status::kPass, "", check.summary, ""});
      continue;
    }
    lines.insert(lines.end(), check.faults.begin(), check.faults.end());
    if (check.left_off > 0) {
      Line more = check.faults.back();
      more.where = Format("and %zu more like it", check.left_off);
      lines.push_back(more);
    }
  }
  return lines;
}

bool Report::Failed(CheckId id) const {
  for (const Check& check : checks_) {
    for (const Line& line : check.faults) {
      if (check.id == id && line.status == Status::kFail) return true;
    }
  }
  return false;
}

int Report::Count(Status status) const {
  int count = 0;
  for (const Line& line : Lines()) count += line.status == status;
  return count;
}

void Report::Merge(const Report& other) {
  for (const Check& check : other.checks_) {
    Check& mine = Find(check.id);
    if (mine.summary.empty()) mine.summary = check.summary;
    for (const Line& line : check.faults) {
      Add(line.status, check.id, line.where, line.expected, line.found);
    }
    mine.left_off += check.left_off;
  }
  notes_.insert(notes_.end(), other.notes_.begin(), other.notes_.end());
}

std::string Text(const std::vector<Report>& reports) {
  // A file name or a text read from a module may hold a line break or a
  // terminal escape: written out, it cannot forge a line of its own.
  using host::Visible;
  std::string out;
  int passed = 0, failed = 0, warned = 0;
  for (const Report& report : reports) {
    if (!report.unreadable().empty()) {
      out += Visible(report.file() + ": cannot be read: " + report.unreadable()) + "\n";
      ++failed;
      continue;
    }
    for (const Line& line : report.Lines()) {
      out += Visible(report.file() + ": " + StatusName(line.status) + " " + Describe(line)) + "\n";
    }
    for (const std::string& note : report.notes()) {
      out += Visible(report.file() + ": note: " + note) + "\n";
    }
    const int p = report.Count(Status::kPass), f = report.Count(Status::kFail),
              w = report.Count(Status::kWarn);
    out += Format("%s: %d passed, %d failed, %d warnings\n", Visible(report.file()).c_str(), p,
                  f, w);
    passed += p;
    failed += f;
    warned += w;
  }
  if (reports.size() > 1) {
    out += Format("%d passed, %d failed, %d warnings in %zu files\n", passed, failed, warned,
                  reports.size());
  }
  return out;
}

std::string Json(const std::vector<Report>& reports) {
  std::string out = "{\"files\": [";
  int passed = 0, failed = 0, warned = 0;
  for (size_t r = 0; r < reports.size(); ++r) {
    const Report& report = reports[r];
    out += r == 0 ? "\n" : ",\n";
    out += "  {\"file\": " + JsonString(report.file());
    if (!report.unreadable().empty()) {
      out += ", \"unreadable\": " + JsonString(report.unreadable()) + "}";
      ++failed;
      continue;
    }
    out += ", \"checks\": [";
    const std::vector<Line> lines = report.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      const Line& line = lines[i];
      out += i == 0 ? "\n" : ",\n";
      out += "    {\"id\": " + JsonString(line.id) + ", \"status\": \"" +
             StatusName(line.status) + "\", \"expected\": " + JsonString(line.expected) +
             ", \"found\": " + JsonString(line.found) + ", \"where\": " + JsonString(line.where) +
             "}";
    }
    out += "],\n   \"notes\": [";
    for (size_t i = 0; i < report.notes().size(); ++i) {
      out += (i == 0 ? "" : ", ") + JsonString(report.notes()[i]);
    }
    const int p = report.Count(Status::kPass), f = report.Count(Status::kFail),
              w = report.Count(Status::kWarn);
    out += Format("],\n   \"passed\": %d, \"failed\": %d, \"warnings\": %d}", p, f, w);
    passed += p;
    failed += f;
    warned += w;
  }
  out += Format("],\n \"passed\": %d, \"failed\": %d, \"warnings\": %d}\n", passed, failed, warned);
  return out;
}

}  // namespace gauge_check
