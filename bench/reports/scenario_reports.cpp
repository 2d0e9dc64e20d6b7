#include "bench/reports/scenario_reports.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "bench/scripts/scenario.h"
#include "bench/scripts/script.h"

namespace bench {
namespace {

// Text as XML character data: valid UTF-8, the five special characters as
// entities, and the control characters XML 1.0 cannot hold written out.
std::string XmlEscape(std::string_view raw) {
  const std::string text = Visible(ValidUtf8(raw), true);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // U+FFFE and U+FFFF are no XML characters either.
        if (text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
          out += "\xEF\xBF\xBD";
          i += 2;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Seconds(double seconds) {
  return host::Format("%.3f", std::isfinite(seconds) ? seconds : 0.0);
}

}  // namespace

std::string JunitReport(const std::vector<ScenarioResult>& results) {
  int failures = 0, errors = 0;
  double seconds = 0.0;
  for (const ScenarioResult& result : results) {
    failures += result.errors.empty() && result.failed != 0 ? 1 : 0;
    errors += result.errors.empty() ? 0 : 1;
    seconds += result.seconds;
  }
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const std::string counts = "tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
                             std::to_string(failures) + "\" errors=\"" + std::to_string(errors);
  xml += "<testsuites name=\"panel-bench\" " + counts + "\" time=\"" + Seconds(seconds) + "\">\n";
  xml += "  <testsuite name=\"scenarios\" " + counts + "\" skipped=\"0\" time=\"" + Seconds(seconds) +
         "\">\n";
  for (const ScenarioResult& result : results) {
    xml += "    <testcase classname=\"scenarios\" name=\"" + XmlEscape(result.name) + "\" file=\"" +
           XmlEscape(result.file) + "\" time=\"" + Seconds(result.seconds) + "\"";
    std::string body;
    if (!result.errors.empty()) {
      std::string detail;
      for (const ScenarioProblem& error : result.errors) detail += error.Describe() + "\n";
      if (result.more_errors != 0) detail += result.MoreErrors() + "\n";
      body += "      <error type=\"script\" message=\"" + XmlEscape(result.errors.front().Describe()) +
              "\">" + XmlEscape(detail) + "</error>\n";
    }
    if (!result.failures.empty()) {
      std::string detail;
      for (const ScenarioProblem& failure : result.failures) detail += failure.Describe() + "\n";
      if (result.more_failures() != 0) detail += result.MoreFailures() + "\n";
      body += "      <failure type=\"expectation\" message=\"" +
              XmlEscape(std::to_string(result.failed) + " of " + std::to_string(result.expectations) +
                        " expectations failed") +
              "\">" + XmlEscape(detail) + "</failure>\n";
    }
    std::string out = result.Summary() + "\n";
    if (result.random) out += "seed " + std::to_string(result.seed) + "\n";
    for (const std::string& snapshot : result.snapshots) out += "snapshot " + snapshot + "\n";
    body += "      <system-out>" + XmlEscape(out) + "</system-out>\n";
    xml += ">\n" + body + "    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  return xml;
}

std::string JsonReport(const std::vector<ScenarioResult>& results) {
  using Json = nlohmann::ordered_json;
  bool passed = true;
  Json scenarios = Json::array();
  for (const ScenarioResult& r : results) {
    passed = passed && r.passed();
    auto problems = [](const std::vector<ScenarioProblem>& list) {
      Json array = Json::array();
      for (const ScenarioProblem& problem : list) {
        array.push_back({{"line", problem.line}, {"message", problem.message}});
      }
      return array;
    };
    scenarios.push_back({
        {"name", r.name},
        {"file", r.file},
        {"result", script::Lower(r.status())},
        {"expectations", r.expectations},
        {"failed", r.failed},
        {"updates", r.updates},
        {"seconds", std::isfinite(r.seconds) ? std::round(r.seconds * 1000.0) / 1000.0 : 0.0},
        {"seed", r.random ? Json(r.seed) : Json(nullptr)},
        {"errors", problems(r.errors)},
        {"more_errors", r.more_errors},  // past the listed ones: counted only
        {"failures", problems(r.failures)},
        {"more_failures", r.more_failures()},
        {"snapshots", r.snapshots},
    });
  }
  const Json report = {{"passed", passed}, {"scenarios", std::move(scenarios)}};
  // Bytes that are not UTF-8 (a script or file name may hold any) become U+FFFD.
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ValidUtf8(std::string_view text) {
  using Json = nlohmann::json;
  return Json::parse(Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace))
      .get<std::string>();
}

}  // namespace bench
