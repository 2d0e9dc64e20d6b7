// The reports of a run of scenario scripts, JUnit XML and JSON: each result
// with its text escaped, whatever bytes a script held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/reports/scenario_reports.h"
#include "bench/scripts/scenario.h"

namespace {

using bench::ScenarioResult;

TEST(ScenarioReports, JunitAndJsonCarryEachResultWithItsTextEscaped) {
  ScenarioResult pass;
  pass.file = "scenarios/a.scn";
  pass.name = "a";
  pass.expectations = 3;
  ScenarioResult fail;
  fail.file = "scenarios/b&c.scn";
  fail.name = "b&c";
  fail.expectations = 2;
  fail.failed = 1;
  fail.failures.push_back({fail.file, 7, "expected <x> to read \"1\", saw \"2\"\tnow"});
  ScenarioResult error;
  error.file = "e.scn";
  error.name = "e";
  error.errors.push_back({error.file, 2, "unknown command 'x\\y'"});
  error.more_errors = 3;
  error.random = true;
  error.seed = 42;
  ScenarioResult odd;  // bytes a script may hold: not UTF-8, control bytes
  odd.file = "odd\xFF\x01.scn";
  odd.name = "odd\xFF";
  odd.errors.push_back({odd.file, 1, "unknown command '\xC3\x28\x1b'"});
  const std::vector<ScenarioResult> results = {pass, fail, error, odd};

  const std::string xml = bench::JunitReport(results);
  EXPECT_NE(xml.find("<testsuites name=\"panel-bench\" tests=\"4\" failures=\"1\" errors=\"2\""),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("name=\"b&amp;c\" file=\"scenarios/b&amp;c.scn\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<failure type=\"expectation\" message=\"1 of 2 expectations failed\">"
                     "scenarios/b&amp;c.scn:7: expected &lt;x&gt; to read &quot;1&quot;, saw "
                     "&quot;2&quot;\tnow\n</failure>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<error type=\"script\" message=\"e.scn:2: unknown command &apos;x\\y&apos;\">"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("e.scn: ... and 3 more script errors (not listed)\n</error>"), std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("<x>"), std::string::npos) << "nothing unescaped";

  EXPECT_NE(xml.find("name=\"odd\xEF\xBF\xBD\" file=\"odd\xEF\xBF\xBD\\x01.scn\""), std::string::npos)
      << xml;
  for (const char c : xml) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\n' || c == '\t') << "control byte " << int{byte} << " in the XML";
  }
  EXPECT_EQ(bench::ValidUtf8(xml), xml) << "the XML is not UTF-8";

  const std::string text = bench::JsonReport(results);
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << "not JSON:\n" << text;
  EXPECT_EQ(json["passed"], false);
  ASSERT_EQ(json["scenarios"].size(), 4u) << text;
  const nlohmann::json& a = json["scenarios"][0];
  EXPECT_EQ(a["name"], "a");
  EXPECT_EQ(a["file"], "scenarios/a.scn");
  EXPECT_EQ(a["result"], "pass");
  EXPECT_EQ(a["expectations"], 3);
  EXPECT_EQ(a["failed"], 0);
  EXPECT_TRUE(a["seed"].is_null());
  EXPECT_EQ(json["scenarios"][1]["failures"],
            nlohmann::json::parse(R"([{"line": 7, "message": "expected <x> to read \"1\", saw \"2\"\tnow"}])"));
  EXPECT_EQ(json["scenarios"][2]["result"], "error");
  EXPECT_EQ(json["scenarios"][2]["seed"], 42);
  EXPECT_EQ(json["scenarios"][2]["errors"][0]["message"], "unknown command 'x\\y'");
  EXPECT_EQ(json["scenarios"][2]["more_errors"], 3);
  EXPECT_EQ(json["scenarios"][1]["more_failures"], 0);
  EXPECT_EQ(json["scenarios"][3]["file"], "odd\xEF\xBF\xBD\x01.scn");
  EXPECT_EQ(json["scenarios"][3]["errors"][0]["message"], "unknown command '\xEF\xBF\xBD(\x1b'");
  EXPECT_EQ(nlohmann::json::parse(bench::JsonReport({})),
            nlohmann::json::parse(R"({"passed": true, "scenarios": []})"));
}

}  // namespace
