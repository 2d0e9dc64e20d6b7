// orlahyd, the hydraulics panel: the HYD PRESS needle ramp, the dial lighting
// chosen by "dimbrtb", and a panel that takes no clicks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"

namespace {

using namespace testing_support;
using tables::kBus;
using tables::kLighting;

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
};

// The dimmer gauge is loaded and has "dimbrtb" at 1 (bright).
class HydraulicsTest : public HydraulicsTestBase {
 public:
  HydraulicsTest() : dimbrtb_(*vars().Register("dimbrtb", 1)) {}

 protected:
  int32_t& dimbrtb_;
};

using HydraulicsUnboundTest = HydraulicsTestBase;

// ---- no clicks, no key events, no sounds -----------------------------------------

TEST_F(HydraulicsTest, TheFaceTakesNoClick) {
  for (int32_t x = 0; x < 287; x += 7) {
    for (int32_t y = 0; y < 112; y += 7) {
      EXPECT_FALSE(gauge().Click(x, y)) << "(" << x << ", " << y << ")";
      EXPECT_FALSE(gauge().Click(x, y, 0x20200000)) << "(" << x << ", " << y << ")";
    }
  }
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
