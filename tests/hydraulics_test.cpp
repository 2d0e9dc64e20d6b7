// orlahyd, the hydraulics panel: its records, the HYD PRESS needle ramp, the
// dial lighting chosen by "dimbrtb", and a panel that takes no clicks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"

namespace {

using testing_support::LogLines;

// The records are packed to 4 bytes, so in a 64-bit build a pointer field may
// sit off its natural alignment: copy it out before a check takes a reference.
template <typename T>
T Field(T value) {
  return value;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char line[200];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

template <size_t N>
uint32_t AnyBits(const uint32_t (&words)[N]) {
  uint32_t any = 0;
  for (uint32_t word : words) any |= word;
  return any;
}

// One line per record, with every field that the host reads from it.
std::string Describe(const ElementHead& head) {
  std::string line = Format("kind %u resource 0x%X at %d,%d pivot %d,%d flags 0x%X",
                            head.element_kind, head.resource_id, head.position_x,
                            head.position_y, head.offset_x, head.offset_y, head.image_flags);
  if (head.element_kind == kIcon) {
    const auto& icon = reinterpret_cast<const IconElement&>(head);
    line += Format(" source %u mode %u pictures %u", icon.source_var.var_id, icon.icon_mode,
                   icon.picture_count);
  } else if (head.element_kind == kNeedle) {
    const auto& needle = reinterpret_cast<const NeedleElement&>(head);
    line += Format(" source %u scale points %u", needle.source_var.var_id,
                   needle.scale_point_count);
  }
  return line;
}

std::string Describe(const MouseRect& rect) {
  return Format("kind %u box %d,%d %dx%d cursor 0x%X help %u mask 0x%X key %u data %u %s",
                rect.rect_kind, rect.x, rect.y, rect.width, rect.height, rect.cursor,
                rect.help_id, rect.event_mask, rect.key_event, rect.callback_data,
                Field(rect.mouse_callback) != nullptr ? "callback" : "no callback");
}

const std::string kFaceLine = "kind 0 resource 0x100 at 0,0 pivot 0,0 flags 0x83";

std::string IconLine(uint32_t resource, int32_t x, int32_t y, uint32_t pictures) {
  return Format("kind 4 resource 0x%X at %d,%d pivot 0,0 flags 0x83 source 0 mode 3 pictures %u",
                resource, x, y, pictures);
}

std::string MarkerLine(uint32_t kind) {
  return Format("kind %u box 0,0 0x0 cursor 0xFFFFFFFF help 0 mask 0x0 key 0 data 0 no callback",
                kind);
}

// Walks the chain from the root and describes each element, checking on the
// way what every element shares: at most one child, the owning header, an
// empty failure list of its own, zero in every reserved word, a callback.
std::vector<std::string> DescribeChain(GaugeHeader& header) {
  std::vector<std::string> lines;
  std::set<const FailureRecord*> failure_lists;
  for (ElementHead* e = *header.element_list; e != nullptr && lines.size() < 20;
       e = e->children != nullptr ? e->children[0] : nullptr) {
    lines.push_back(Describe(*e));
    SCOPED_TRACE(lines.back());
    if (e->children != nullptr) {
      EXPECT_EQ(e->children[1], nullptr) << "a second child";
    }
    EXPECT_EQ(Field(e->gauge_header), &header);
    EXPECT_EQ(AnyBits(e->reserved), 0u);
    const FailureRecord* failures = Field(e->failure_list);
    EXPECT_TRUE(failures != nullptr && AnyBits(failures->words) == 0u) << "no empty failure list";
    EXPECT_TRUE(failure_lists.insert(failures).second) << "failure list of an earlier element";
    if (e->element_kind == kIcon) {
      const auto& icon = reinterpret_cast<const IconElement&>(*e);
      EXPECT_NE(Field(icon.update_callback), nullptr);
      EXPECT_EQ(icon.reserved_1 | icon.reserved_4 | AnyBits(icon.reserved_2) |
                    AnyBits(icon.reserved_3),
                0u);
    } else if (e->element_kind == kNeedle) {
      const auto& needle = reinterpret_cast<const NeedleElement&>(*e);
      EXPECT_NE(Field(needle.update_callback), nullptr);
      EXPECT_EQ(AnyBits(needle.reserved_1) | AnyBits(needle.reserved_2) |
                    AnyBits(needle.reserved_3),
                0u);
    }
  }
  return lines;
}

std::vector<std::string> DescribeMouseList(const GaugeHeader& header) {
  std::vector<std::string> lines;
  const MouseRect* rects = Field(header.mouse_rects);
  for (size_t i = 0; rects != nullptr && i < 50; ++i) {
    lines.push_back(Describe(rects[i]));
    if (rects[i].rect_kind == 0) break;
  }
  return lines;
}

// Linkage, ImportTable and the gauge header: the fixed values, and zero in
// every word that the module leaves to the host.
void ExpectModuleRecords(host::Module& module, const char* gauge_name) {
  const ModuleLinkage& linkage = module.linkage();
  EXPECT_EQ(linkage.module_id, 0x13u);
  EXPECT_EQ(linkage.module_version, 0x800u);
  EXPECT_EQ(linkage.reserved_1 | linkage.reserved_2, 0u);
  EXPECT_NE(Field(linkage.module_init), nullptr);
  EXPECT_NE(Field(linkage.module_deinit), nullptr);
  EXPECT_EQ(Field(linkage.gauge_headers[1]), nullptr) << "more than one gauge";
  EXPECT_EQ(module.import_table()[0].service_id, 0x0Fu);
  EXPECT_EQ(module.import_table()[1].service_id, 0u);
  EXPECT_EQ(Field(module.import_table()[1].service_table), nullptr);

  const GaugeHeader& header = module.header();
  EXPECT_EQ(header.header_version, 0x320u);
  EXPECT_STREQ(Field(header.gauge_name), gauge_name);
  EXPECT_EQ(header.default_size, 100u);
  EXPECT_NE(Field(header.element_list), nullptr);
  EXPECT_NE(Field(header.mouse_rects), nullptr);
  EXPECT_NE(Field(header.gauge_callback), nullptr);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Field(header.reserved_pointers[i]), nullptr) << "pointer slot " << i;
  }
  EXPECT_EQ(AnyBits(header.reserved_words), 0u);
  EXPECT_EQ(AnyBits(header.host_fields), 0u) << "host run-time fields";
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr uint32_t kBus = 0x2f1;
constexpr uint32_t kLighting = 0x0a;
constexpr uint32_t kPressureB = 0x2de;
constexpr uint32_t kPressureA = 0x2dc;

constexpr uint32_t kOverlay = 0x1100;
constexpr uint32_t kNeedle = 0x1200;

// One unit of needle value per 281.0 of pressure.
constexpr double Pressure(double units) { return units * 281.0; }

// A panel with nothing registered under "dimbrtb".
class HydraulicsTestBase : public testing_support::GaugeTest {
 public:
  HydraulicsTestBase() : GaugeTest("orlahyd") {}

 protected:
  void SetPressures(double a, double b) {
    vars().Set(kPressureA, a);
    vars().Set(kPressureB, b);
  }
  void Light(double bus = 28.0, double lighting = 1.0) {
    vars().Set(kBus, bus);
    vars().Set(kLighting, lighting);
  }
  // Runs `updates` updates, then draws; returns the needle's value.
  double NeedleAfter(int updates) {
    for (int i = 0; i < updates; ++i) gauge().Update();
    Draw();
    return Drawn(kNeedle).value;
  }
  double Needle() { return NeedleAfter(0); }
  // Takes the needle back to 0 with both pressures at 0.
  void Rest() {
    SetPressures(0.0, 0.0);
    for (int i = 0; i < 400 && Needle() != 0.0; ++i) gauge().Update();
    ASSERT_EQ(Needle(), 0.0) << "the needle does not come back to 0";
  }
  host::Gauge& Recreate() {
    gauge().Kill();
    gauge_ = host_.CreateGauge(module());
    return gauge();
  }
};

// The dimmer gauge is loaded and has "dimbrtb" at 1 (bright).
class HydraulicsTest : public HydraulicsTestBase {
 public:
  HydraulicsTest() : dimbrtb_(*vars().Register("dimbrtb", 1)) {}

 protected:
  int32_t& dimbrtb_;
};

using HydraulicsUnboundTest = HydraulicsTestBase;

// ---- records -----------------------------------------------------------------

TEST_F(HydraulicsTest, LinkageAndHeaderHoldTheirFixedValues) {
  ExpectModuleRecords(module(), "orlahyd");
}

TEST_F(HydraulicsTest, ElementChainIsTheFaceTheDialLightingAndTheNeedle) {
  EXPECT_EQ(DescribeChain(module().header()),
            (std::vector<std::string>{
                kFaceLine,
                IconLine(0x1100, 0, 0, 3),
                "kind 1 resource 0x1200 at 240,38 pivot 7,7 flags 0x83 source 0 scale points 2",
            }));

  const auto& needle = reinterpret_cast<const NeedleElement&>(*gauge().Elements().at(2));
  const NeedleScalePoint* scale = Field(needle.scale_table);
  ASSERT_NE(scale, nullptr);
  const NeedleScalePoint want[] = {{218, 50, 0.0, 0.0}, {258, 24, 1500.0, 0.0}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Format("(%d, %d) %g angle %g", scale[i].x, scale[i].y, scale[i].value, scale[i].angle),
              Format("(%d, %d) %g angle %g", want[i].x, want[i].y, want[i].value, want[i].angle))
        << "scale point " << i;
  }
}

TEST_F(HydraulicsTest, MouseListHasNoChildAndTheFaceTakesNoClick) {
  EXPECT_EQ(DescribeMouseList(module().header()),
            (std::vector<std::string>{MarkerLine(1), MarkerLine(3), MarkerLine(0)}));
  EXPECT_THAT(gauge().MouseAreas(), ::testing::IsEmpty());
  for (int32_t x = 0; x < 287; x += 7) {
    for (int32_t y = 0; y < 112; y += 7) {
      EXPECT_FALSE(gauge().Click(x, y)) << "(" << x << ", " << y << ")";
      EXPECT_FALSE(gauge().Click(x, y, 0x20200000)) << "(" << x << ", " << y << ")";
    }
  }
}

// ---- lookups and binding ---------------------------------------------------------

TEST_F(HydraulicsTest, UpdateLooksUpPowerLightingAndBothPressuresInOrder) {
  host_.TraceLookups(true);
  host_.ClearLog();
  gauge().Update();
  gauge().Update();
  Draw();
  std::vector<uint32_t> looked_up;
  for (const host::LogEntry& entry : host_.log()) {
    if (entry.kind == host::LogKind::kLookup) looked_up.push_back(entry.id);
  }
  EXPECT_EQ(looked_up, (std::vector<uint32_t>{0x2f1, 0x0a, 0x2de, 0x2dc, 0x2f1, 0x0a, 0x2de, 0x2dc}))
      << "once each per update, none while drawing";
}

TEST_F(HydraulicsTest, InitialiseBindsDimbrtbOnly) {
  std::vector<std::string> binds;
  for (const host::LogEntry& entry : host_.log()) {
    if (entry.kind == host::LogKind::kNamedBind) binds.push_back(entry.Describe());
  }
  EXPECT_EQ(binds, std::vector<std::string>{R"(bind "dimbrtb" bound)"});
}

TEST_F(HydraulicsTest, SendsNoKeyEventAndPlaysNoSound) {
  Light();
  SetPressures(Pressure(100), 0.0);
  Draw();
  NeedleAfter(10);
  Recreate();
  NeedleAfter(3);
  EXPECT_THAT(LogLines(host_), ::testing::IsEmpty());
  EXPECT_EQ(dimbrtb_, 1) << "\"dimbrtb\" is only read";
}

// ---- the needle -------------------------------------------------------------------

TEST_F(HydraulicsTest, NeedleSettlesOnTheMultipleOfTwentyBelowTheGreaterPressure) {
  struct Case {
    double a, b;
    int updates;
    double needle;
  };
  const Case cases[] = {
      {0.0, 0.0, 10, 0},                       // nothing to show
      {5339.0, 0.0, 10, 0},                    // 19: not enough for a step
      {5620.0, 0.0, 1, 20},                    // 20: one step
      {Pressure(35), 0.0, 1, 20},              // 35: one step ...
      {Pressure(35), 0.0, 50, 20},             // ... and no further
      {Pressure(100), Pressure(20), 10, 100},  // the greater wins
      {Pressure(20), Pressure(100), 10, 100},  // whichever source it is
      {28100.0, 28381.0, 10, 100},             // 100 and 101: settles at 100
      {28380.0, 0.0, 10, 100},                 // 100.996 truncates to 100
      {0.0, 28380.0, 10, 100},
      {Pressure(39.99), 0.0, 10, 20},
      {-5339.0, -5339.0, 10, -20},             // -19: the multiple below is -20
      {-5339.0, 0.0, 10, 0},                   // the greater is 0
      {Pressure(-45), Pressure(-50), 10, -60},
  };
  Draw();
  for (const Case& c : cases) {
    Rest();
    SetPressures(c.a, c.b);
    EXPECT_EQ(NeedleAfter(c.updates), c.needle)
        << "pressures " << c.a << " and " << c.b << " after " << c.updates << " updates";
  }
}

TEST_F(HydraulicsTest, NeedleRampsTwentyPerUpdateUpAndDown) {
  Draw();
  SetPressures(Pressure(1500), 0.0);
  for (int step = 1; step <= 75; ++step) {
    ASSERT_EQ(NeedleAfter(1), 20.0 * step) << "update " << step << " on the way up";
  }
  EXPECT_EQ(NeedleAfter(20), 1500.0) << "holds at the target";
  SetPressures(0.0, 0.0);
  for (int step = 1; step <= 75; ++step) {
    ASSERT_EQ(NeedleAfter(1), 1500.0 - 20.0 * step) << "update " << step << " on the way down";
  }
  EXPECT_EQ(NeedleAfter(20), 0.0);
}

TEST_F(HydraulicsTest, NeedleMovesWithoutPowerButIsLitOnlyWithPowerAndLighting) {
  struct Case {
    double bus, lighting;
    bool lit;
  };
  const Case cases[] = {
      {28.0, 1.0, true},  {10.0, 1.0, false},  {10.01, 1.0, true}, {28.0, 0.999, false},
      {28.0, 2.0, false}, {kNaN, 1.0, false},  {28.0, kNaN, false}, {0.0, 0.0, false},
      {28.0, 1.0, true},
  };
  Draw();
  SetPressures(Pressure(1000), 0.0);
  double expected = 0.0;
  for (const Case& c : cases) {
    Light(c.bus, c.lighting);
    expected += 20.0;
    EXPECT_EQ(NeedleAfter(1), expected) << "0x2f1 = " << c.bus << ", 0x0a = " << c.lighting;
    EXPECT_EQ(Drawn(kNeedle).flags, c.lit ? 0x87u : 0x83u)
        << "needle lit bit with 0x2f1 = " << c.bus << ", 0x0a = " << c.lighting;
    EXPECT_EQ(Drawn(kOverlay).value, c.lit ? 1.0 : 0.0)
        << "overlay with 0x2f1 = " << c.bus << ", 0x0a = " << c.lighting;
    EXPECT_EQ(Drawn(kOverlay).flags, 0x87u) << "the overlay always sets its lit bit";
  }
}

TEST_F(HydraulicsTest, OutOfRangePressuresConvertWithoutOverflow) {
  Draw();
  struct Case {
    double a, b;
    double step;  // needle change per update
  };
  const Case cases[] = {
      {1e300, 0.0, 20},     {kInf, 0.0, 20},         {0.0, 1e300, 20},
      {-1e300, -1e300, -20}, {-kInf, -1e300, -20},    {kNaN, kNaN, 0},
      {kNaN, -1e300, 0},    {Pressure(2147483648.0), 0.0, 20},
  };
  for (const Case& c : cases) {
    Rest();
    SetPressures(c.a, c.b);
    for (int step = 1; step <= 3; ++step) {
      EXPECT_EQ(NeedleAfter(1), c.step * step)
          << "pressures " << c.a << " and " << c.b << ", update " << step;
    }
  }
}

TEST_F(HydraulicsTest, NeedleRampTowardsTheIntegerLimitsStaysOnMultiplesOfTwenty) {
  Draw();
  for (double pressure : {1e300, -1e300}) {
    Rest();
    SetPressures(pressure, pressure);
    double previous = 0.0;
    for (int update = 1; update <= 300; ++update) {
      const double needle = NeedleAfter(1);
      ASSERT_EQ(needle - previous, pressure > 0 ? 20.0 : -20.0)
          << "update " << update << " towards " << pressure;
      ASSERT_EQ(std::fmod(needle, 20.0), 0.0) << needle;
      previous = needle;
    }
  }
}

// ---- dial lighting -------------------------------------------------------------

TEST_F(HydraulicsTest, OverlayShowsTheDimbrtbValueWhileLit) {
  Light();
  Draw();
  const int32_t values[] = {1, 2, 0, 7, -3, INT32_MAX, INT32_MIN, 1};
  for (int32_t value : values) {
    dimbrtb_ = value;
    Cycle();
    EXPECT_EQ(Drawn(kOverlay).value, static_cast<double>(value)) << "\"dimbrtb\" = " << value;
  }
  dimbrtb_ = 2;
  Draw();
  EXPECT_EQ(Drawn(kOverlay).value, 1.0) << "read at the update, not while drawing";
  Light(28.0, 0.0);
  Cycle();
  EXPECT_EQ(Drawn(kOverlay).value, 0.0) << "unlit whatever \"dimbrtb\" holds";
}

TEST_F(HydraulicsTest, DrawBeforeAnyUpdateShowsUnlitDialsAndNeedleAtZero) {
  Light();
  SetPressures(Pressure(100), 0.0);
  Draw();
  EXPECT_EQ(Drawn(kOverlay).value, 0.0);
  EXPECT_EQ(Drawn(kOverlay).flags, 0x87u);
  EXPECT_EQ(Drawn(kNeedle).value, 0.0);
  EXPECT_EQ(Drawn(kNeedle).flags, 0x83u);

  Cycle();
  EXPECT_EQ(Drawn(kOverlay).value, 1.0) << "the first update brings power and level";
  EXPECT_EQ(Drawn(kNeedle).value, 20.0) << "and the first step";
  EXPECT_EQ(Drawn(kNeedle).flags, 0x87u);
}

// ---- lifecycle ----------------------------------------------------------------

TEST_F(HydraulicsTest, FirstDrawPutsTheNeedleBackOncePerLoad) {
  Light();
  SetPressures(Pressure(100), 0.0);
  for (int i = 0; i < 3; ++i) gauge().Update();
  EXPECT_EQ(Needle(), 0.0) << "the first draw undid the three steps before it";
  EXPECT_EQ(Drawn(kOverlay).value, 0.0) << "and dropped the power";
  EXPECT_EQ(NeedleAfter(1), 20.0);
  EXPECT_EQ(NeedleAfter(1), 40.0) << "a later draw resets nothing";

  Recreate();
  EXPECT_EQ(Needle(), 40.0) << "a new gauge of the loaded module starts where the last one left";
  EXPECT_EQ(Drawn(kOverlay).value, 1.0);
  EXPECT_EQ(NeedleAfter(1), 60.0);
}

TEST_F(HydraulicsTest, UnknownEventsChangeNothing) {
  Light();
  SetPressures(Pressure(100), 0.0);
  Draw();
  EXPECT_EQ(NeedleAfter(2), 40.0);
  ASSERT_EQ(Drawn(kOverlay).value, 1.0);

  Light(0.0, 0.0);
  dimbrtb_ = 2;
  host_.TraceLookups(true);
  host_.ClearLog();
  const PanelServiceEvent events[] = {0, 1, 2, 3, 5, 7, 8, 9, 11, 13, -1, INT32_MAX, INT32_MIN};
  for (PanelServiceEvent event : events) gauge().SendEvent(event);
  EXPECT_THAT(LogLines(host_, false), ::testing::IsEmpty());
  EXPECT_EQ(Needle(), 40.0);
  EXPECT_EQ(Drawn(kOverlay).value, 1.0);
  EXPECT_EQ(Drawn(kNeedle).flags, 0x87u);
}

TEST_F(HydraulicsTest, KillLeavesDimbrtbAndStateAlone) {
  Light();
  SetPressures(Pressure(100), 0.0);
  Draw();
  dimbrtb_ = 7;
  NeedleAfter(3);
  gauge().Kill();
  EXPECT_EQ(dimbrtb_, 7);
  gauge_ = host_.CreateGauge(module());
  EXPECT_EQ(Needle(), 60.0);
  EXPECT_EQ(Drawn(kOverlay).value, 7.0);
}

TEST_F(HydraulicsTest, LostDimbrtbKeepsTheLastLevel) {
  Light();
  Draw();
  dimbrtb_ = 5;
  Cycle();
  ASSERT_EQ(Drawn(kOverlay).value, 5.0);
  // The dimmer gauge goes away; a new gauge of the panel binds nothing.
  vars().Unregister("dimbrtb");
  dimbrtb_ = 9;  // what is left of its storage is no longer ours to read
  host_.CreateGauge(module());
  Cycle();
  EXPECT_EQ(Drawn(kOverlay).value, 5.0);
}

// ---- nothing registered under "dimbrtb" -----------------------------------------

TEST_F(HydraulicsUnboundTest, UnboundDimbrtbKeepsTheFirstDrawLevel) {
  Light();
  Draw();
  EXPECT_EQ(Drawn(kOverlay).value, 0.0);
  Cycle();
  EXPECT_EQ(Drawn(kOverlay).value, 2.0) << "the dimmer level that the first draw chose";
  SetPressures(Pressure(100), 0.0);
  EXPECT_EQ(NeedleAfter(1), 20.0) << "the needle does not care";
}

}  // namespace
