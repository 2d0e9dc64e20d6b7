// What every gauge module owes the host, checked on each of the four gauges
// from a table of what differs between them: the records, the variables
// looked up and the named variables bound, a draw before any update, panel
// service events the gauge does not know, and two gauges of one module.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"
#include "tests/record_checks.h"

namespace {

using host::LogEntry;
using host::LogKind;
using namespace testing_support;
using tables::kClick;

// A simulation variable: a float, or a BCD-coded one in its low 32 bits.
struct Input {
  uint32_t var;
  double value;
  bool bcd = false;
};

struct Named {
  const char* name;
  int32_t value;
};

// A drawn element, found by its resource id.
struct Shown {
  uint32_t resource;
  double value;
  uint32_t flags;
};

// What a press of a mouse area sends and plays.
struct PressLog {
  size_t area;  // in mouse list order
  std::vector<std::string> log;
};

struct Contract {
  const char* gauge;
  std::vector<std::string> chain = {};     // DescribeChain of the element list
  std::vector<std::string> children = {};  // Describe of each child of the mouse list
  // Named variables of partner gauges, registered with these values before
  // the gauge is created; initialise binds them in this order.
  std::vector<Named> partners = {};
  std::vector<uint32_t> lookups = {};  // by one update, in order
  // By a draw: the host refreshing each string's own variable, in chain order.
  std::vector<uint32_t> draw_lookups = {};

  // Inputs that light or move everything there is. Drawn before any update
  // they show `first_draw`, and after one update `first_update`.
  std::vector<Input> inputs = {};
  std::vector<Shown> first_draw = {};
  std::vector<Shown> first_update = {};

  // A state worth keeping: `inputs`, a draw, an update, these areas pressed,
  // these named variables written, an update, a draw; it shows `kept`.
  std::vector<size_t> presses = {};
  std::vector<Named> writes = {};
  std::vector<Shown> kept = {};
  // Then inputs that an update or a reset would show; what the named
  // variables hold and presses give after the unknown events.
  std::vector<Input> changed = {};
  std::vector<Named> changed_named = {};
  std::vector<Named> named_after = {};
  std::vector<PressLog> presses_after = {};

  // Two gauges of the module, the first killed: what the kill logs, what a
  // press on the second gives, and what once it is killed too (gauges that
  // take clicks only).
  std::vector<std::string> kill_log = {};
  PressLog press_on_second = {};
  std::vector<std::string> press_after_both_killed = {};
};

// ---- the four gauges ----------------------------------------------------------

std::vector<std::string> RadioChain() {
  std::vector<std::string> lines = {kFaceLine, IconLine(0x1200, 0, 0, 2)};
  for (const tables::radio::TextField& f : tables::radio::kFields) {
    lines.push_back(StringLine(f.x, f.y, f.width, f.height, f.font, f.weight, f.colour, f.var));
  }
  return lines;
}

std::vector<uint32_t> RadioReadOuts() {
  std::vector<uint32_t> vars;
  for (const tables::radio::TextField& f : tables::radio::kFields) {
    if (f.var != 0) vars.push_back(f.var);
  }
  return vars;
}

std::vector<std::string> RadioKeys() {
  std::vector<std::string> lines;
  for (const tables::radio::KeyArea& k : tables::radio::kKeys) {
    lines.push_back(ChildLine(k.x, k.y, k.width, k.height, k.cursor,
                              k.cursor == 5 ? 0x20000000 : 0x20200000));
  }
  return lines;
}

std::vector<std::string> AudioChain() {
  std::vector<std::string> lines = {kFaceLine};
  for (const tables::audio::IconRecord& icon : tables::audio::kIcons) {
    lines.push_back(IconLine(icon.resource, icon.x, icon.y, 2));
  }
  return lines;
}

std::vector<std::string> AudioKnobs() {
  std::vector<std::string> lines;
  for (const tables::audio::Knob& knob : tables::audio::kKnobs) {
    lines.push_back(ChildLine(knob.x, knob.y, knob.width, knob.height, 5, 0x20000000));
  }
  return lines;
}

// Every icon of the audio panel showing `pictures[i]`, its lit bit set.
std::vector<Shown> AudioIcons(const std::vector<double>& pictures) {
  std::vector<Shown> shown;
  for (size_t i = 0; i < pictures.size(); ++i) {
    shown.push_back({tables::audio::kIcons[i].resource, pictures[i], 0x87});
  }
  return shown;
}

std::vector<std::string> PfdControls() {
  std::vector<std::string> lines;
  for (const tables::pfd::Control& c : tables::pfd::kControls) {
    lines.push_back(ChildLine(c.x, c.y, c.width, c.height, c.cursor, c.event_mask));
  }
  return lines;
}

// One unit of the hydraulics needle per 281.0 of pressure.
constexpr double kHydraulicPressure100 = 100 * 281.0;

const Contract kRadioDisplay = {
    .gauge = "VORN_Kestrel_FMC",
    .chain = RadioChain(),
    .children = RadioKeys(),
    .lookups = {0x12, 0x301, 0x0a},
    .draw_lookups = RadioReadOuts(),
    .inputs = {{0x301, 1.0}, {0x0a, 1.0}, {0x12, 0x0105, true}, {0x10, 0x0234, true},
               {0x17, 0x2297, true}},
    .first_draw = {{0x1200, 0.0, 0x87}},
    .first_update = {{0x1200, 1.0, 0x87}},
    .kept = {{0x1200, 1.0, 0x87}},
    .changed = {{0x301, 0.0}, {0x0a, 0.0}, {0x12, 0, true}},
    .kill_log = {"terminate sounds"},
    .press_on_second = {1, {Key(0x10344), R"(play "sound\VORNQEXCLICK.WAV" "" 0)"}},
    .press_after_both_killed = {Key(0x10344)},
};

const Contract kAudioPanel = {
    .gauge = "orlaaudio",
    .chain = AudioChain(),
    .children = AudioKnobs(),
    .lookups = {0x2f1, 0x0a, 0x305, 0x36a, 0x36b, 0x36d, 0x36e, 0x36f, 0x370, 0x371},
    .inputs = {{0x2f1, 28.0}, {0x0a, 1.0}, {0x305, 1.0}, {0x36f, 1.0}, {0x36a, 1.0},
               {0x36b, 1.0}, {0x36d, 1.0}, {0x36e, 1.0}, {0x370, 1.0}, {0x371, 1.0}},
    .first_draw = AudioIcons({0, 0, 0, 0, 0, 0, 0, 0, 0}),
    .first_update = AudioIcons({1, 1, 1, 1, 1, 0, 0, 1, 1}),
    .presses = {tables::audio::kDme1},
    .kept = AudioIcons({1, 1, 1, 1, 1, 1, 0, 1, 1}),
    .changed = {{0x2f1, 0.0}, {0x36f, 0.0}},
    // The DME 1 latch survived: the next press turns it off.
    .presses_after = {{tables::audio::kDme1, {Key(0x1012a), kClick}}},
    .press_on_second = {1, tables::audio::kKnobs[1].press},
    .press_after_both_killed = {Key(0x103a0)},
};

const Contract kPfdSettings = {
    .gauge = "orlapfdset",
    .chain = {kFaceLine,
              IconLine(0x1100, 19, 36, 4),   // BARO knob, 15 x 15
              IconLine(0x1200, 19, 115, 4),  // DH-SET knob, 13 x 13
              IconLine(0x1300, 0, 0, 2)},    // legends, the whole face
    .children = PfdControls(),
    .partners = {{"temp", 0}, {"millibars", 0}, {"dhset", 0}, {"ratest", 0}},
    .lookups = {0x01, 0x0a, 0x2f1},
    .inputs = {{0x2f1, 28.0}, {0x0a, 1.0}, {0x01, 10.0}},
    .first_draw = {{0x1100, 0.0, 0x83}, {0x1200, 0.0, 0x83}, {0x1300, 0.0, 0x87}},
    .first_update = {{0x1100, 0.0, 0x83}, {0x1200, 0.0, 0x83}, {0x1300, 1.0, 0x87}},
    // ALT-TEST sets the mark at 100.
    .presses = {tables::pfd::kBaroRight, tables::pfd::kDhLeft, tables::pfd::kAltTest},
    .writes = {{"temp", 3}, {"millibars", 4}},
    .kept = {{0x1100, 1.0, 0x83}, {0x1200, 3.0, 0x83}, {0x1300, 1.0, 0x87}},
    // With the counter at 0 an update would end the test.
    .changed = {{0x2f1, 0.0}, {0x01, 0.0}},
    .named_after = {{"temp", 3}, {"millibars", 4}, {"dhset", -1}, {"ratest", 1}},
    .press_on_second = {tables::pfd::kTemp, {kClick}},
};

const Contract kHydraulics = {
    .gauge = "orlahyd",
    .chain = {kFaceLine, IconLine(0x1100, 0, 0, 3),
              "kind 1 resource 0x1200 at 240,38 pivot 7,7 flags 0x83 source 0 scale points 2"
              " (218, 50) 0 angle 0 (258, 24) 1500 angle 0"},
    .partners = {{"dimbrtb", 1}},
    .lookups = {0x2f1, 0x0a, 0x2de, 0x2dc},
    .inputs = {{0x2f1, 28.0}, {0x0a, 1.0}, {0x2dc, kHydraulicPressure100}, {0x2de, 0.0}},
    .first_draw = {{0x1100, 0.0, 0x87}, {0x1200, 0.0, 0x83}},
    .first_update = {{0x1100, 1.0, 0x87}, {0x1200, 20.0, 0x87}},
    .kept = {{0x1100, 1.0, 0x87}, {0x1200, 40.0, 0x87}},
    .changed = {{0x2f1, 0.0}, {0x0a, 0.0}},
    .changed_named = {{"dimbrtb", 2}},
    .named_after = {{"dimbrtb", 2}},
};

const Contract* const kGauges[] = {&kRadioDisplay, &kAudioPanel, &kPfdSettings, &kHydraulics};

std::string GaugeName(const ::testing::TestParamInfo<const Contract*>& info) {
  return info.param->gauge;
}

// ---- the fixture ------------------------------------------------------------------

// One gauge of the module; `register_partners` says whether the partner
// gauges' named variables exist when it is created.
class ContractTest : public testing_support::GaugeTest,
                     public ::testing::WithParamInterface<const Contract*> {
 protected:
  explicit ContractTest(bool register_partners) : GaugeTest(GetParam()->gauge) {
    if (!register_partners) return;
    for (const Named& partner : GetParam()->partners) {
      vars().Register(partner.name, partner.value);
    }
  }

  const Contract& contract() const { return *GetParam(); }

  void Set(const std::vector<Input>& inputs) {
    for (const Input& input : inputs) {
      if (input.bcd) {
        vars().SetInteger(input.var, static_cast<uint32_t>(input.value));
      } else {
        vars().Set(input.var, input.value);
      }
    }
  }

  void Write(const std::vector<Named>& named) {
    for (const Named& n : named) *vars().Register(n.name) = n.value;
  }

  // Clicks the middle of the gauge's mouse area `area`; returns what that
  // sent and played.
  std::vector<std::string> Press(size_t area, host::Gauge* on = nullptr) {
    host::Gauge& target = on != nullptr ? *on : gauge();
    const MouseRect& rect = *target.MouseAreas().at(area);
    host_.ClearLog();
    const MouseRect* hit = target.HitTest(rect.x + rect.width / 2, rect.y + rect.height / 2);
    EXPECT_EQ(hit, &rect) << "area " << area << " is not under its own middle";
    if (hit == nullptr) return {};
    EXPECT_EQ(target.CallMouse(*hit), 0) << "area " << area;
    return LogLines(host_);
  }

  // The last drawing against `want`, each as "0x1100 value 1 flags 0x87".
  void ExpectShown(const std::vector<Shown>& want, const char* when) {
    std::vector<std::string> got_lines, want_lines;
    for (const Shown& s : want) {
      const host::DrawnElement& e = Drawn(s.resource);
      got_lines.push_back(Format("0x%X value %.17g flags 0x%X", s.resource, e.value, e.flags));
      want_lines.push_back(Format("0x%X value %.17g flags 0x%X", s.resource, s.value, s.flags));
    }
    EXPECT_EQ(got_lines, want_lines) << when;
  }
};

class ModuleContract : public ContractTest {
 protected:
  ModuleContract() : ContractTest(true) {}
};

// No partner gauge loaded.
class ModuleContractAlone : public ContractTest {
 protected:
  ModuleContractAlone() : ContractTest(false) {}
};

class ClickingGauge : public ModuleContract {};

// One line per drawn element, for comparing whole draws.
std::vector<std::string> Describe(const host::Drawing& drawing) {
  std::vector<std::string> lines;
  for (const host::DrawnElement& e : drawing.elements) {
    lines.push_back(Format("%u 0x%X flags 0x%X value %.17g text \"", e.kind, e.resource_id,
                           e.flags, e.value) +
                    std::string(e.text) + "\"");
  }
  return lines;
}

// ---- records -----------------------------------------------------------------

TEST_P(ModuleContract, LinkageHeaderAndImportTableHoldTheirFixedValues) {
  ExpectModuleRecords(module(), contract().gauge);
  EXPECT_EQ(Copy(module().linkage().gauge_headers[0]), &gauge().header());
}

TEST_P(ModuleContract, ElementChainIsThePanelsOwn) {
  EXPECT_EQ(DescribeChain(module().header()), contract().chain);
}

TEST_P(ModuleContract, MouseListIsAParentThePanelsAreasAndTheEndRecords) {
  const GaugeHeader& header = module().header();
  std::vector<std::string> want = {MarkerLine(1)};
  want.insert(want.end(), contract().children.begin(), contract().children.end());
  want.push_back(MarkerLine(3));
  want.push_back(MarkerLine(0));
  EXPECT_EQ(DescribeMouseList(header), want);
  const std::vector<const MouseRect*> areas = gauge().MouseAreas();
  ASSERT_EQ(areas.size(), contract().children.size());
  for (size_t i = 0; i < areas.size(); ++i) {
    EXPECT_EQ(areas[i], &Copy(header.mouse_rects)[1 + i]) << "area " << i;
  }
}

// ---- lookups and binding ---------------------------------------------------------

TEST_P(ModuleContract, InitialiseBindsThePartnersNamedVariablesInOrder) {
  std::vector<std::string> want;
  for (const Named& partner : contract().partners) {
    want.push_back(Format(R"(bind "%s" bound)", partner.name));
  }
  EXPECT_EQ(NamedBinds(host_), want);
  for (const LogEntry& entry : host_.log()) {
    EXPECT_NE(entry.kind, LogKind::kTrappedSlot) << entry.Describe();
  }
}

TEST_P(ModuleContractAlone, InitialiseStillAsksForEveryNameWhenNoneIsRegistered) {
  std::vector<std::string> want;
  for (const Named& partner : contract().partners) {
    want.push_back(Format(R"(bind "%s" unbound)", partner.name));
  }
  EXPECT_EQ(NamedBinds(host_), want);
}

TEST_P(ModuleContract, UpdateLooksUpItsVariablesOnceEachInOrder) {
  host_.TraceLookups(true);
  host_.ClearLog();
  gauge().Update();
  gauge().Update();
  for (const LogEntry& entry : host_.log()) {
    EXPECT_EQ(entry.kind, LogKind::kLookup) << entry.Describe();
  }
  std::vector<uint32_t> twice = contract().lookups;
  twice.insert(twice.end(), contract().lookups.begin(), contract().lookups.end());
  EXPECT_EQ(LookedUp(host_), twice);

  host_.ClearLog();
  Draw();
  EXPECT_EQ(LookedUp(host_), contract().draw_lookups) << "drawing reads the last update";
  for (size_t area = 0; area < gauge().MouseAreas().size(); ++area) {
    Press(area);
    EXPECT_THAT(LookedUp(host_), ::testing::IsEmpty()) << "a press of area " << area;
  }
}

// ---- the first draw ----------------------------------------------------------------

TEST_P(ModuleContract, DrawBeforeAnyUpdateShowsTheInputsOnlyAfterTheFirstUpdate) {
  Set(contract().inputs);
  Draw();
  ExpectShown(contract().first_draw, "the first draw, before any update");
  Cycle();
  ExpectShown(contract().first_update, "after the first update");
}

// ---- unknown events ------------------------------------------------------------

TEST_P(ModuleContract, OtherEventNumbersChangeNothing) {
  Set(contract().inputs);
  Draw();
  gauge().Update();
  for (size_t area : contract().presses) Press(area);
  Write(contract().writes);
  gauge().Update();
  const std::vector<std::string> before = Describe(Draw());
  ExpectShown(contract().kept, "before the events");

  // Were any of these taken for an update or a reset, the next draw would
  // show it.
  Set(contract().changed);
  Write(contract().changed_named);
  host_.TraceLookups(true);
  for (int32_t event : {0, 1, 2, 3, 5, 7, 8, 9, 11, 13, -1, INT32_MAX, INT32_MIN}) {
    host_.ClearLog();
    gauge().SendEvent(event);
    EXPECT_THAT(LogLines(host_, false), ::testing::IsEmpty()) << "event " << event;
    EXPECT_EQ(Describe(Draw()), before) << "after event " << event;
  }
  ExpectShown(contract().kept, "after the events");
  for (const Named& n : contract().named_after) {
    EXPECT_EQ(*vars().Register(n.name), n.value) << '"' << n.name << '"';
  }
  for (const PressLog& press : contract().presses_after) {
    EXPECT_EQ(Press(press.area), press.log) << "area " << press.area;
  }
}

// ---- two gauges of one module --------------------------------------------------------

TEST_P(ClickingGauge, KillingOneOfTwoGaugesLeavesTheOtherClicking) {
  host::Gauge& second = *host_.CreateGauge(module());
  host_.ClearLog();
  gauge().Kill();
  EXPECT_EQ(LogLines(host_), contract().kill_log);
  second.Update();
  const PressLog& press = contract().press_on_second;
  EXPECT_EQ(Press(press.area, &second), press.log) << "area " << press.area;
  second.Kill();
  EXPECT_EQ(Press(press.area, &second), contract().press_after_both_killed)
      << "area " << press.area << " once both are killed";
}

INSTANTIATE_TEST_SUITE_P(Gauges, ModuleContract, ::testing::ValuesIn(kGauges), GaugeName);
INSTANTIATE_TEST_SUITE_P(Gauges, ModuleContractAlone, ::testing::ValuesIn(kGauges), GaugeName);
INSTANTIATE_TEST_SUITE_P(Gauges, ClickingGauge,
                         ::testing::Values(&kRadioDisplay, &kAudioPanel, &kPfdSettings),
                         GaugeName);

}  // namespace
