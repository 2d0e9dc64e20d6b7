// Scenario scripts: the reader's errors, the runner's expectations, the
// shipped scenarios, and the radio display's keys clicked one by one on the
// bench's panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bench/panel.h"
#include "bench/scripts/scenario.h"

namespace {

using namespace std::string_view_literals;
using bench::ScenarioOptions;
using bench::ScenarioProblem;
using bench::ScenarioResult;

std::string Join(const std::vector<ScenarioProblem>& problems) {
  std::string text;
  for (const ScenarioProblem& problem : problems) text += "\n  " + problem.Describe();
  return text.empty() ? "\n  (none)" : text;
}

ScenarioOptions QuietOptions() {
  ScenarioOptions options;
  options.realtime = false;
  options.out = nullptr;
  options.out_dir = std::filesystem::temp_directory_path() / "scenario_test";
  return options;
}

ScenarioResult RunScript(const std::string& text) {
  return bench::RunScenarioText(text, "t.scn", QuietOptions());
}

// ---- reading scripts ----------------------------------------------------------

struct BadLine {
  std::string_view line;
  const char* says;  // part of the message
};

// Each bad line stands on line 3, after a comment and a load.
const BadLine kBadLines[] = {
    {"clik VORN_Kestrel_FMC 1 2", "unknown command 'clik' (did you mean 'click'?)"},
    {"fly to Paris", "unknown command 'fly'"},
    {"set 0x2f1", "too few words for 'set': write set <var-id> <number>"},
    {"set 0x2f1 28 29", "too many words for 'set'"},
    {"set volts 28", "'volts' is not a variable id"},
    {"set 0x2f1 lots", "'lots' is not a number"},
    {"set 0x366 0x2165", "BCD values go with set-bcd"},
    {"set-bcd 0x366 21G5", "'21G5' is not a BCD value"},
    {"set-bcd 0x366 123456789", "is not a BCD value"},
    {"set 0x1FFFFFFFF 1", "'0x1FFFFFFFF' is out of range for a variable id: ids run from 0x0 to 0xFFFFFFFF"},
    {"set 99999999999999999999999 1", "is out of range for a variable id"},
    {"named dhset 2.5", "'2.5' is not a 32-bit integer"},
    {"named dhset 3000000000", "is not a 32-bit integer"},
    {"power maybe", "'maybe': write on or off"},
    {"engine 3 on", "'3' is not an engine"},
    {"dimmer medium", "write bright or dim"},
    {"ambient noon", "'noon' is no ambient light"},
    {"partner radar absent", "'radar' is no partner gauge"},
    {"update 0", "'0' is not a count of updates"},
    {"update 10 slowly", "unexpected 'slowly'"},
    {"click orlahud 1 2", "unknown gauge 'orlahud'"},
    {"click orlahyd 1 2", "gauge orlahyd is not loaded: add it to the 'load' line (line 2)"},
    {"click VORN_Kestrel_FMC 1", "too few words for 'click'"},
    {"click VORN_Kestrel_FMC x 2", "'x' is not an x position"},
    {"click VORN_Kestrel_FMC 1 2 press 3", "unexpected 'press'"},
    {"click VORN_Kestrel_FMC 1 2 hold -1", "'-1' is not a number of repeats"},
    {"click VORN_Kestrel_FMC area 0", "'0' is not an area number"},
    {"load orlahyd", "the panel is already loaded on line 2"},
    {"key \"COM9 swap\"", "'COM9 swap' is no key event"},
    {"expect", "'expect' needs what to expect"},
    {"expect weather sunny", "cannot expect 'weather'"},
    {"expect key", "too few words for 'expect key'"},
    {"expect text VORN_Kestrel_FMC COM3 \"1\"", "'COM3' names no element"},
    {"expect text VORN_Kestrel_FMC 0 \"1\"", "'0' is not an element number"},
    {"expect lamp VORN_Kestrel_FMC 0x1200 bright", "write on or off"},
    {"expect needle VORN_Kestrel_FMC 10 about 2", "unexpected 'about'"},
    {"expect needle VORN_Kestrel_FMC 10 within -2", "a tolerance cannot be negative"},
    {"expect var 0x366 0x2165 within 1", "a hex value is compared exactly"},
    {"expect named dhset lots", "'lots' is not a 32-bit integer (or none)"},
    {"expect text VORN_Kestrel_FMC COM1 \"118.50", "has no closing quote"},
    {"expect text VORN_Kestrel_FMC COM1 \"118.50\"x", "a closing quote must be followed by a space"},
    {"snapshot panel.jpg", "a snapshot is a PNG file"},
    {"snapshot panel.png scale 9", "'9' is not a scale"},
    {"seed -4", "'-4' is not a seed"},
    {"seed 99999999999999999999", "is not a seed"},
    {"set 0x-1 1", "'0x-1' is not a variable id"},
    {"set 0x2f1 1e999", "'1e999' is out of the range of a number"},
    {"click VORN_Kestrel_FMC 4294967356 155", "'4294967356' is not an x position"},
    {"click VORN_Kestrel_FMC 99999999999999999999 155", "is not an x position"},
    {"expect needle VORN_Kestrel_FMC 10 within nan", "'nan' is not a tolerance"},
    {"expect baro nan", "'nan' is not an altimeter setting: write 28.00 to 31.00 inHg"},
    {"expect baro 1e300", "'1e300' is not an altimeter setting"},
    {"fly\0away \x1b[2J"sv, "unknown command 'fly\\x00away'"},
    {"echo \"a\x01", "the quoted text \"a\\x01 has no closing quote"},
    {"snapshot ../../tests/golden/x.png", "'../../tests/golden/x.png': a snapshot goes into the output folder"},
    {"snapshot /tmp/x.png", "give a name inside it, like x.png or gauges/x.png, without a leading '/'"},
    {"snapshot a/../a.png", "without '..'"},
};

TEST(ScenarioReading, EachKindOfBadLineIsReportedWithItsFileLineAndWhatToWrite) {
  for (const BadLine& bad : kBadLines) {
    const std::string text = "# a script\nload VORN_Kestrel_FMC\n" + std::string(bad.line) + "\n";
    const std::vector<ScenarioProblem> errors = bench::CheckScenarioText(text, "t.scn");
    ASSERT_EQ(errors.size(), 1u) << "line: " << bad.line << Join(errors);
    const std::string said = errors[0].Describe();
    EXPECT_EQ(said.rfind("t.scn:3: ", 0), 0u) << "line: " << bad.line << "\nsaid: " << said;
    EXPECT_NE(said.find(bad.says), std::string::npos)
        << "line: " << bad.line << "\nexpected it to say: " << bad.says << "\nsaid: " << said;
    EXPECT_EQ(bench::Visible(said), said) << "a control byte left in: " << bench::Visible(said);
  }
}

// Whole scripts: what the reader makes of them (no errors: "").
const struct {
  std::string_view text;
  const char* says;
} kScripts[] = {
    {"\xEF\xBB\xBFload orlahyd\nupdate\n", ""},  // a byte-order mark
    {"load orlahyd\r\nupdate 2\r\n", ""},
    {"", "t.scn: the script has no commands"},
    {"# only a comment\n\n   \n", "t.scn: the script has no commands"},
    {"\xEF\xBB\xBF", "t.scn: the script has no commands"},
    {"load\nsnapshot \"\xFF\x01.png\" orlahyd\n", ""},
    {"load\nexpect text orlahyd 1 \"\xC3\x28\"\n", ""},
};

TEST(ScenarioReading, WholeScriptsAreReadOrReportedAsTheTableSays) {
  for (const auto& script : kScripts) {
    const std::vector<ScenarioProblem> errors =
        bench::CheckScenarioText(std::string(script.text), "t.scn");
    const std::string said = errors.empty() ? "" : errors[0].Describe();
    if (*script.says == '\0') {
      EXPECT_TRUE(errors.empty()) << "script: " << bench::Visible(script.text) << Join(errors);
    } else {
      EXPECT_EQ(said.rfind(script.says, 0), 0u)
          << "script: " << bench::Visible(script.text) << "\nexpected: " << script.says
          << "\nsaid: " << said;
    }
  }
}

TEST(ScenarioReading, GaugesNamedBeforeTheLoadLineAndSnapshotsWithoutOneAreErrors) {
  const auto errors = bench::CheckScenarioText(
      "power on\nclick orlahyd 1 1\nsnapshot a.png\nload\nclick orlahyd 1 1\n", "early.scn");
  ASSERT_EQ(errors.size(), 2u) << Join(errors);
  EXPECT_EQ(errors[0].line, 2);
  EXPECT_NE(errors[0].message.find("before the panel is loaded"), std::string::npos)
      << errors[0].message;
  EXPECT_EQ(errors[1].line, 3);
  EXPECT_NE(errors[1].message.find("add a 'load' line"), std::string::npos) << errors[1].message;
}

TEST(ScenarioReading, EveryBadLineOfAScriptIsReportedAndNothingRuns) {
  const ScenarioResult result = RunScript("load orlahyd\nengine 1 on\nupdate 5\nset 0x2f1\nupdat 3\n");
  ASSERT_EQ(result.errors.size(), 2u) << Join(result.errors);
  EXPECT_EQ(result.errors[0].line, 4);
  EXPECT_EQ(result.errors[1].line, 5);
  EXPECT_EQ(result.updates, 0u) << "a script with errors runs nothing";
  EXPECT_STREQ(result.status(), "ERROR");
  EXPECT_NE(result.Summary().find("2 script errors (first: line 4)"), std::string::npos)
      << result.Summary();

  // Past the first hundred, errors and failed expectations are only counted.
  std::string bad = "load orlahyd\n", failing = "load orlahyd\n";
  for (int i = 0; i < 250; ++i) {
    bad += "updat\n";
    failing += "expect var 0x2f1 99\n";
  }
  const ScenarioResult many = RunScript(bad);
  EXPECT_EQ(many.errors.size(), bench::kListedProblems);
  EXPECT_EQ(many.error_count(), 250u);
  EXPECT_NE(many.Summary().find("250 script errors (first: line 2)"), std::string::npos)
      << many.Summary();
  EXPECT_EQ(many.MoreErrors(), "t.scn: ... and 150 more script errors (not listed)");
  const ScenarioResult failed = RunScript(failing);
  EXPECT_EQ(failed.failed, 250);
  EXPECT_EQ(failed.failures.size(), bench::kListedProblems);
  EXPECT_EQ(failed.MoreFailures(), "t.scn: ... and 150 more failed expectations (not listed)");
}

TEST(ScenarioReading, CommentsQuotesAndBlankLinesAreUnderstood) {
  const auto errors = bench::CheckScenarioText(
      "# comment\n\n   \t\nload VORN_Kestrel_FMC   # trailing comment\n"
      "expect text VORN_Kestrel_FMC 3 \"a \\\"quoted\\\" # not a comment\"\n"
      "expect key \"com2 SWAP\"\nexpect key 0x1038C\necho two words\n",
      "ok.scn");
  EXPECT_TRUE(errors.empty()) << Join(errors);
}

TEST(ScenarioReading, AMissingFileIsAnErrorNamingIt) {
  const ScenarioResult result =
      bench::RunScenarioFile("/nonexistent/folder/x.scn", QuietOptions());
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_EQ(result.errors[0].Describe(), "/nonexistent/folder/x.scn: no such file: check the name and folder");
}

// ---- running scripts ---------------------------------------------------------------

TEST(ScenarioRunning, FailedExpectationsSayWhatWasExpectedAndWhatWasSeen) {
  const ScenarioResult result = RunScript(
      "load VORN_Kestrel_FMC orlahyd orlapfdset\n"  // 1
      "power on\navionics on\nupdate\n"               // 2-4
      "click VORN_Kestrel_FMC 360 66\n"               // 5: R1
      "expect key \"COM1 swap\"\n"                    // 6
      "expect click \"sound\\orlaclick.wav\"\n"       // 7
      "echo -\n"                                      // 8
      "update\n"                                      // 9
      "expect text VORN_Kestrel_FMC COM2 \"124.35\"\n"  // 10
      "expect hidden VORN_Kestrel_FMC COM2\n"         // 11
      "expect needle orlahyd 20 within 5\n"           // 12
      "expect named dhset 3\n"                        // 13
      "expect var 0x366 0x2435\n"                     // 14
      "expect var 0x2f1 27 within 0.5\n"              // 15
      "expect picture VORN_Kestrel_FMC 0x1200 1\n"    // 16
      "expect lamp VORN_Kestrel_FMC 0x1200 on\n"      // 17
      "expect baro 29.95\n"                           // 18
      "expect note \"no such note\"\n"                // 19
      "expect lit orlahyd 0x1200 on\n"                // 20
      "expect text VORN_Kestrel_FMC COM2 \"119.10\"\n"  // 21: passes
      "expect named ratest none\n"                    // 22
  );
  EXPECT_TRUE(result.errors.empty()) << Join(result.errors);
  EXPECT_EQ(result.expectations, 15);
  const std::map<int, std::string> expected = {
      {6, "expected key event 0x10344 (COM1 swap), saw 0x1038C (COM2 swap) from the last click "
          "(VORN_Kestrel_FMC at (360, 66))"},
      {7, "expected the click \"sound\\orlaclick.wav\", saw \"sound\\vornqexclick.wav\""},
      {10, "expected VORN_Kestrel_FMC COM2 (element 7) to read \"124.35\", saw \"119.10\""},
      {11, "expected VORN_Kestrel_FMC COM2 (element 7) to be hidden, it is shown (\"119.10\")"},
      {12, "expected orlahyd's needle at 20 within 5, saw 0"},
      {13, "expected \"dhset\" to hold 3, saw 200"},
      {14, "expected variable 0x366 to hold 0x2435, saw 0x1910"},
      {15, "expected variable 0x2F1 to hold 27 within 0.5, saw 28"},
      {16, "expected VORN_Kestrel_FMC element 2 (0x1200) to show picture 1, saw 0"},
      {17, "expected VORN_Kestrel_FMC element 2 (0x1200) on, it is off (picture 0)"},
      {18, "expected the altimeter setting 29.95 inHg, saw 29.92"},
      {19, "expected a host note with \"no such note\", saw none"},
      {20, "expected orlahyd element 3 (0x1200) to be drawn lit, it is unlit"},
      {22, "expected \"ratest\" to be unregistered, it is registered with 0"},
  };
  EXPECT_EQ(result.failed, static_cast<int>(expected.size()));
  std::map<int, std::string> seen;
  for (const ScenarioProblem& failure : result.failures) seen[failure.line] = failure.message;
  for (const auto& [line, message] : expected) {
    ASSERT_TRUE(seen.count(line)) << "no failure on line " << line << Join(result.failures);
    EXPECT_NE(seen[line].find(message), std::string::npos)
        << "line " << line << "\nexpected it to say: " << message << "\nsaid: " << seen[line];
  }
  EXPECT_EQ(seen.size(), expected.size()) << Join(result.failures);
  EXPECT_STREQ(result.status(), "FAIL");
}

TEST(ScenarioRunning, ExpectationsAboutClicksLookAtTheLastClickInOrder) {
  const ScenarioResult result = RunScript(
      "load orlaaudio\n"
      "expect key 0x1039f\n"                      // 2: no click yet
      "click orlaaudio 2 2\n"                     // 3: no area here
      "expect click \"sound\\orlaclick.wav\"\n"   // 4
      "expect no-key\nexpect no-click\n"           // 5, 6: pass
      "click orlaaudio 61 78\n"                   // 7: COMM 1
      "expect no-key\n"                           // 8
      "expect no-click\n"                         // 9
      "click orlaaudio 61 78\n"                   // 10
      "expect key \"NAV 1 select\"\n"             // 11: a wrong one is taken all the same
      "expect no-key\n");                         // 12: passes
  ASSERT_EQ(result.failures.size(), 5u) << Join(result.failures);
  const std::pair<int, const char*> expected[] = {
      {2, "expected key event 0x1039F (COMM 1 select), but no click so far sent none"},
      {4, "expected the click \"sound\\orlaclick.wav\", but the last click (orlaaudio at (2, 2), "
          "where no mouse area took it) played none"},
      {8, "expected no more key events, saw 0x1039F (COMM 1 select) from the last click "
          "(orlaaudio at (61, 78))"},
      {9, "expected no more clicks, saw \"sound\\orlaclick.wav\""},
      {11, "expected key event 0x10132 (NAV 1 select), saw 0x1039F (COMM 1 select)"},
  };
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(result.failures[i].line, expected[i].first) << Join(result.failures);
    EXPECT_NE(result.failures[i].message.find(expected[i].second), std::string::npos)
        << "line " << expected[i].first << "\nexpected it to say: " << expected[i].second
        << "\nsaid: " << result.failures[i].message;
  }
}

TEST(ScenarioRunning, NamingWhatAGaugeDoesNotHaveStopsTheScriptWithAnError) {
  const ScenarioResult result = RunScript(
      "load orlahyd VORN_Kestrel_FMC\nupdate\n"
      "expect picture orlahyd 0x1300 1\n"
      "update 5\n");
  ASSERT_EQ(result.errors.size(), 1u) << Join(result.errors);
  EXPECT_EQ(result.errors[0].Describe(),
            "t.scn:3: orlahyd has no picture element with resource id 0x1300; it has 0x100 "
            "0x1100 0x1200");
  EXPECT_EQ(result.updates, 1u) << "the script stops at the error";

  const ScenarioResult more = RunScript(
      "load orlahyd VORN_Kestrel_FMC\n"
      "expect text VORN_Kestrel_FMC 40 \"x\"\n");
  ASSERT_EQ(more.errors.size(), 1u);
  EXPECT_NE(more.errors[0].message.find("VORN_Kestrel_FMC has 23 elements; there is no element 40"),
            std::string::npos)
      << more.errors[0].message;
  const ScenarioResult needle = RunScript("load orlaaudio\nexpect needle orlaaudio 0\n");
  ASSERT_EQ(needle.errors.size(), 1u);
  EXPECT_EQ(needle.errors[0].message, "orlaaudio has no needle");
  const ScenarioResult text = RunScript("load orlahyd\nexpect text orlahyd 2 \"x\"\n");
  ASSERT_EQ(text.errors.size(), 1u);
  EXPECT_EQ(text.errors[0].message, "orlahyd element 2 is not a text");
}

TEST(ScenarioRunning, AGaugeFileThatIsMissingIsAnErrorSayingWhatToDo) {
  ScenarioOptions options = QuietOptions();
  options.panel.gauge_dir = "/nonexistent/gauges";
  const ScenarioResult result = bench::RunScenarioText("load orlahyd\nupdate\n", "t.scn", options);
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_NE(result.errors[0].Describe().find("t.scn:1: cannot load gauge module "
                                             "/nonexistent/gauges/orlahyd"),
            std::string::npos)
      << result.errors[0].Describe();
  EXPECT_NE(result.errors[0].message.find("--gauges DIR"), std::string::npos);
}

TEST(ScenarioRunning, RandomClicksRepeatWithTheirSeedAndReportIt) {
  const std::string script =
      "load VORN_Kestrel_FMC\npower on\navionics on\nupdate\n"
      "click-random VORN_Kestrel_FMC 200\nupdate\nshow VORN_Kestrel_FMC\n";
  ScenarioOptions options = QuietOptions();
  options.seed_given = true;
  options.seed = 1234;
  char* first_text = nullptr;
  size_t first_size = 0;
  char* second_text = nullptr;
  size_t second_size = 0;
  {
    options.out = open_memstream(&first_text, &first_size);
    const ScenarioResult first = bench::RunScenarioText(script, "r.scn", options);
    std::fclose(options.out);
    EXPECT_TRUE(first.passed()) << Join(first.errors);
    EXPECT_TRUE(first.random);
    EXPECT_EQ(first.seed, 1234u);
    EXPECT_NE(first.Summary().find(", seed 1234"), std::string::npos) << first.Summary();
  }
  {
    options.out = open_memstream(&second_text, &second_size);
    bench::RunScenarioText(script, "r.scn", options);
    std::fclose(options.out);
  }
  const std::string first(first_text, first_size), second(second_text, second_size);
  std::free(first_text);
  std::free(second_text);
  EXPECT_NE(first.find("200 random clicks on VORN_Kestrel_FMC with seed 1234"), std::string::npos)
      << first;
  EXPECT_EQ(first, second) << "the same seed gives the same page";

  const ScenarioResult seeded =
      RunScript("load orlaaudio\nseed 99\nclick-random orlaaudio 5\n");
  EXPECT_EQ(seeded.seed, 99u) << "the script's seed wins";
  const ScenarioResult none = RunScript("load orlahyd\nclick-random orlahyd 5\n");
  ASSERT_EQ(none.errors.size(), 1u);
  EXPECT_EQ(none.errors[0].message, "orlahyd has no mouse areas to click");
}

TEST(ScenarioRunning, SnapshotsAreWrittenWhereTheOptionsSay) {
  ScenarioOptions options = QuietOptions();
  std::filesystem::remove_all(options.out_dir);
  const ScenarioResult result = bench::RunScenarioText(
      "load orlahyd\nupdate\nsnapshot deep/hyd.png orlahyd scale 2\nsnapshot panel.png\n", "s.scn",
      options);
  ASSERT_TRUE(result.passed()) << Join(result.errors);
  ASSERT_EQ(result.snapshots.size(), 2u);
  bench::Image image;
  std::string why;
  ASSERT_TRUE(bench::ReadPng(options.out_dir / "deep" / "hyd.png", &image, &why)) << why;
  EXPECT_EQ(image.width(), 287 * 2);
  EXPECT_EQ(image.height(), 112 * 2);

  // A symbolic link inside the output folder does not lead a snapshot out of it.
  const std::filesystem::path outside = options.out_dir.string() + "-outside";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directory_symlink(outside, options.out_dir / "out");
  const ScenarioResult out = bench::RunScenarioText(
      "load orlahyd\nupdate\nsnapshot out/hyd.png orlahyd\n", "s.scn", options);
  ASSERT_EQ(out.errors.size(), 1u) << Join(out.errors);
  EXPECT_NE(out.errors[0].message.find("would be written outside the output folder"),
            std::string::npos)
      << out.errors[0].message;
  EXPECT_FALSE(std::filesystem::exists(outside / "hyd.png"));
  std::filesystem::remove_all(outside);

  // A snapshot that cannot take its name leaves no temporary file behind.
  std::filesystem::create_directories(options.out_dir / "taken.png");
  const ScenarioResult taken = bench::RunScenarioText(
      "load orlahyd\nupdate\nsnapshot taken.png orlahyd\n", "s.scn", options);
  ASSERT_EQ(taken.errors.size(), 1u) << Join(taken.errors);
  EXPECT_NE(taken.errors[0].message.find("it is a folder"), std::string::npos)
      << taken.errors[0].message;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(options.out_dir)) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "left " << entry.path();
  }
}

// ---- the shipped scenarios ---------------------------------------------------------

TEST(ShippedScenarios, EveryScriptInScenariosPasses) {
  const std::filesystem::path folder = std::filesystem::path(SOURCE_DIR) / "scenarios";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".scn") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.stem().string());
  for (const char* needed :
       {"audio_panel", "hydraulics", "pfd_settings", "radio_display", "whole_panel"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), needed), names.end())
        << "scenarios/" << needed << ".scn is missing";
  }
  for (const auto& file : files) {
    const ScenarioResult result = bench::RunScenarioFile(file, QuietOptions());
    EXPECT_TRUE(result.passed()) << result.Summary() << Join(result.errors)
                                 << Join(result.failures);
    EXPECT_GT(result.expectations, 10) << file << " checks next to nothing";
  }
}

// ---- the radio display's keys, one by one -------------------------------------------

// The read-outs of the radio display, by the bench's names.
std::map<std::string, std::string> Page(bench::Panel& panel) {
  std::map<std::string, std::string> page;
  host::Gauge& gauge = *panel.Find("VORN_Kestrel_FMC");
  for (const host::DrawnElement& drawn : panel.LastDrawing(gauge).elements) {
    if (drawn.kind != kString) continue;
    const uint32_t var_id =
        reinterpret_cast<const StringElement*>(drawn.record)->source_vars[0].var_id;
    for (const char* name : {"COM1", "COM1-PRESET", "COM2", "COM2-PRESET", "NAV1", "NAV1-PRESET",
                             "NAV2", "NAV2-PRESET", "ADF", "ATC"}) {
      uint32_t id = 0;
      if (bench::ReadoutVariable(name, &id) && id == var_id && var_id != 0) {
        page[name] = std::string(drawn.text) + (drawn.hidden() ? " (hidden)" : "");
      }
    }
  }
  return page;
}

struct KeyCase {
  int area;          // 1-based, in the gauge's list order
  const char* key;   // the bench's name of the key event it sends
  std::map<std::string, std::string> changes;  // read-outs that change, and to what
};

// From the start page: COM1 118.50 / 121.50, COM2 124.35 / 119.10,
// NAV1 110.30 / 113.90, NAV2 108.20 / 115.60, ADF 350.0, ATC 1200.
const KeyCase kKeys[] = {
    {1, "COM1 standby MHz up", {{"COM1-PRESET", "122.50"}}},
    {2, "COM1 swap", {{"COM1", "121.50"}, {"COM1-PRESET", "118.50"}}},
    {3, "COM1 standby MHz down", {{"COM1-PRESET", "120.50"}}},
    {4, "COM1 standby fraction up", {{"COM1-PRESET", "121.55"}}},
    {5, "COM1 standby fraction down", {{"COM1-PRESET", "121.45"}}},
    {6, "COM2 swap", {{"COM2", "119.10"}, {"COM2-PRESET", "124.35"}}},
    {7, "COM2 standby MHz up", {{"COM2-PRESET", "120.10"}}},
    {8, "COM2 standby MHz down", {{"COM2-PRESET", "118.10"}}},
    {9, "COM2 standby fraction up", {{"COM2-PRESET", "119.15"}}},
    {10, "COM2 standby fraction down", {{"COM2-PRESET", "119.05"}}},
    {11, "NAV1 swap", {{"NAV1", "113.90"}, {"NAV1-PRESET", "110.30"}}},
    {12, "NAV2 swap", {{"NAV2", "115.60"}, {"NAV2-PRESET", "108.20"}}},
    {13, "NAV1 standby MHz up", {{"NAV1-PRESET", "114.90"}}},
    {14, "NAV1 standby MHz down", {{"NAV1-PRESET", "112.90"}}},
    {15, "NAV1 standby fraction up", {{"NAV1-PRESET", "113.95"}}},
    {16, "NAV1 standby fraction down", {{"NAV1-PRESET", "113.85"}}},
    {17, "NAV2 standby MHz up", {{"NAV2-PRESET", "116.60"}}},
    {18, "NAV2 standby MHz down", {{"NAV2-PRESET", "114.60"}}},
    {19, "NAV2 standby fraction up", {{"NAV2-PRESET", "115.65"}}},
    {20, "NAV2 standby fraction down", {{"NAV2-PRESET", "115.55"}}},
    {21, "ADF 100 kHz up", {{"ADF", "450.0"}}},
    {22, "ADF 10 kHz up", {{"ADF", "360.0"}}},
    {23, "ADF 1 kHz up", {{"ADF", "351.0"}}},
    {24, "ADF 0.1 kHz up", {{"ADF", "350.1"}}},
    {25, "XPDR thousands up", {{"ATC", "2200"}}},
    {26, "XPDR hundreds up", {{"ATC", "1300"}}},
    {27, "XPDR tens up", {{"ATC", "1210"}}},
    {28, "XPDR units up", {{"ATC", "1201"}}},
    {29, "XPDR thousands down", {{"ATC", "200"}}},
    {30, "XPDR hundreds down", {{"ATC", "1100"}}},
    {31, "XPDR tens down", {{"ATC", "1270"}}},
    {32, "XPDR units down", {{"ATC", "1207"}}},
    {33, "ADF 100 kHz down", {{"ADF", "250.0"}}},
    {34, "ADF 10 kHz down", {{"ADF", "340.0"}}},
    {35, "ADF 1 kHz down", {{"ADF", "349.0"}}},
    {36, "ADF 0.1 kHz down", {{"ADF", "349.9"}}},
};

TEST(RadioDisplayKeys, EachAreaClickedInItsMiddleChangesThePageAtTheNextUpdate) {
  for (const KeyCase& key : kKeys) {
    SCOPED_TRACE("area " + std::to_string(key.area) + " (" + key.key + ")");
    bench::Panel panel;
    std::string why;
    ASSERT_TRUE(panel.Open(bench::DefaultPanelOptions(), {"VORN_Kestrel_FMC"}, &why)) << why;
    panel.aircraft().SetBattery(true);
    panel.aircraft().SetAvionics(true);
    panel.Update();
    host::Gauge& gauge = *panel.Find("VORN_Kestrel_FMC");
    const std::vector<const MouseRect*> areas = gauge.MouseAreas();
    ASSERT_EQ(areas.size(), 36u);
    const MouseRect& area = *areas[static_cast<size_t>(key.area - 1)];
    const std::map<std::string, std::string> before = Page(panel);

    const uint64_t logged = panel.host().log().next();
    ASSERT_TRUE(panel.Click(gauge, area.x + area.width / 2, area.y + area.height / 2))
        << "no area took a click in the middle of area " << key.area;
    std::vector<std::string> keys;
    for (auto sent = panel.host().log().From(logged); sent != panel.host().log().end(); ++sent) {
      const host::LogEntry& entry = *sent;
      if (entry.kind == host::LogKind::kKeyEvent) {
        keys.push_back(bench::Aircraft::KeyEventName(entry.id));
      }
    }
    EXPECT_EQ(keys, std::vector<std::string>{key.key});
    EXPECT_EQ(Page(panel), before) << "the page changes only at the next update";

    panel.Update();
    std::map<std::string, std::string> expected = before;
    for (const auto& [readout, text] : key.changes) expected[readout] = text;
    EXPECT_EQ(Page(panel), expected);
    EXPECT_TRUE(panel.host().notes().empty()) << panel.host().notes().front();
  }
}

// ---- partners coming and going ---------------------------------------------------------

TEST(PanelPartners, ChangingARegistrationRecreatesOnlyTheGaugesThatBindIt) {
  bench::Panel panel;
  std::string why;
  ASSERT_TRUE(panel.Open(bench::DefaultPanelOptions(), {}, &why)) << why;
  std::map<std::string, std::set<std::string>> binds;
  for (host::Gauge* gauge : panel.gauges()) binds[gauge->name()] = panel.BoundNames(*gauge);
  EXPECT_EQ(binds["orlapfdset"], (std::set<std::string>{"temp", "millibars", "dhset", "ratest"}));
  EXPECT_EQ(binds["orlahyd"], std::set<std::string>{"dimbrtb"});
  EXPECT_TRUE(binds["VORN_Kestrel_FMC"].empty());
  EXPECT_TRUE(binds["orlaaudio"].empty());

  host::Gauge* radio = panel.Find("VORN_Kestrel_FMC");
  host::Gauge* hydraulics = panel.Find("orlahyd");
  panel.aircraft().SetPfdPresent(false);
  EXPECT_EQ(panel.Find("VORN_Kestrel_FMC"), radio) << "a gauge that binds nothing stays";
  EXPECT_EQ(panel.Find("orlahyd"), hydraulics);
  host::Gauge& pfd = *panel.Find("orlapfdset");
  panel.Update();
  // The TEMP button: with no PFD the press clicks and writes nothing.
  const uint64_t logged = panel.host().log().next();
  ASSERT_TRUE(panel.Click(pfd, 30, 91));
  EXPECT_EQ(panel.host().vars().Named("temp"), nullptr);
  bool clicked = false;
  for (auto sent = panel.host().log().From(logged); sent != panel.host().log().end(); ++sent) {
    clicked = clicked || sent->kind == host::LogKind::kPlaySound;
  }
  EXPECT_TRUE(clicked);

  panel.SetNamed("temp", 0);
  ASSERT_TRUE(panel.Click(*panel.Find("orlapfdset"), 30, 91));
  ASSERT_NE(panel.host().vars().Named("temp"), nullptr);
  EXPECT_EQ(*panel.host().vars().Named("temp"), 1) << "registered again, the button writes it";
}

}  // namespace
