// orlapfdset, the PFD settings panel: the four named variables of the PFD
// gauge, the BARO key events, the knob animations, the altimeter test timing
// and the lit legends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"
#include "tests/record_checks.h"

namespace {

using namespace tables::pfd;
using namespace testing_support;
using tables::kBus;
using tables::kClick;
using tables::kLighting;

constexpr uint32_t kCounter = 0x01;

constexpr uint32_t kBaroKnob = 0x1100;
constexpr uint32_t kDhKnob = 0x1200;
constexpr uint32_t kLegends = 0x1300;

// A panel with nothing registered under the PFD gauge's names.
class PfdSettingsTestBase : public testing_support::GaugeTest {
 public:
  PfdSettingsTestBase() : GaugeTest("orlapfdset") {}

 protected:
  std::vector<std::string> Press(ControlIndex which, host::Gauge* on = nullptr) {
    const Control& control = kControls[which];
    host::Gauge& target = on != nullptr ? *on : gauge();
    host_.ClearLog();
    const MouseRect* area =
        target.HitTest(control.x + control.width / 2, control.y + control.height / 2);
    EXPECT_NE(area, nullptr) << control.name << ": no mouse area under its middle";
    if (area == nullptr) return {};
    EXPECT_EQ(target.CallMouse(*area), 0) << control.name;
    return LogLines(host_);
  }

  // The two knob pictures of a fresh draw.
  std::pair<double, double> Knobs() {
    Draw();
    return {Drawn(kBaroKnob).value, Drawn(kDhKnob).value};
  }

  void UpdateWithCounter(double counter) {
    vars().Set(kCounter, counter);
    gauge().Update();
  }
};

// The PFD gauge is loaded: all four names are registered before the panel's
// gauge is created.
class PfdSettingsTest : public PfdSettingsTestBase {
 public:
  PfdSettingsTest()
      : temp_(*vars().Register("temp", 0)),
        millibars_(*vars().Register("millibars", 0)),
        dhset_(*vars().Register("dhset", 0)),
        ratest_(*vars().Register("ratest", 0)) {}

 protected:
  int32_t& temp_;
  int32_t& millibars_;
  int32_t& dhset_;
  int32_t& ratest_;
};

using PfdSettingsUnboundTest = PfdSettingsTestBase;

// ---- controls ---------------------------------------------------------------

TEST_F(PfdSettingsTest, EachControlSendsItsKeyEventsAndClickInOrder) {
  vars().Set(kCounter, 5.0);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Press(static_cast<ControlIndex>(i)), kControls[i].press) << kControls[i].name;
  }
}

TEST_F(PfdSettingsTest, BaroKnobTurnsItsPictureAndSendsOneKeyEventPerCall) {
  Draw();
  const double right[] = {1, 2, 3, 0, 1};
  for (double frame : right) {
    EXPECT_EQ(Press(kBaroRight), (std::vector<std::string>{Key(0x1015b), kClick}));
    EXPECT_EQ(Knobs(), std::make_pair(frame, 0.0)) << "BARO right half";
  }
  const double left[] = {0, 3, 2, 1, 0, 3};
  for (double frame : left) {
    EXPECT_EQ(Press(kBaroLeft), (std::vector<std::string>{kClick, Key(0x1015c)}));
    EXPECT_EQ(Knobs(), std::make_pair(frame, 0.0)) << "BARO left half";
  }
  EXPECT_EQ(dhset_, 0) << "the BARO knob writes no named variable";
  EXPECT_EQ(millibars_, 0);
}

TEST_F(PfdSettingsTest, DhSetKnobStepsDhsetAndTurnsItsPicture) {
  Draw();
  const std::pair<int32_t, double> left[] = {{-1, 3}, {-2, 2}, {-3, 1}, {-4, 0}, {-5, 3}};
  for (auto [dhset, frame] : left) {
    EXPECT_EQ(Press(kDhLeft), std::vector<std::string>{kClick});
    EXPECT_EQ(dhset_, dhset) << "DH-SET left half";
    EXPECT_EQ(Knobs(), std::make_pair(0.0, frame)) << "DH-SET left half";
  }
  const std::pair<int32_t, double> right[] = {{-4, 0}, {-3, 1}, {-2, 2}, {-1, 3}, {0, 0}, {1, 1}};
  for (auto [dhset, frame] : right) {
    EXPECT_EQ(Press(kDhRight), std::vector<std::string>{kClick});
    EXPECT_EQ(dhset_, dhset) << "DH-SET right half";
    EXPECT_EQ(Knobs(), std::make_pair(0.0, frame)) << "DH-SET right half";
  }
}

TEST_F(PfdSettingsTest, DhsetStopsAtTheEndsOfItsRangeInsteadOfOverflowing) {
  Draw();
  dhset_ = INT32_MAX - 1;
  Press(kDhRight);
  EXPECT_EQ(dhset_, INT32_MAX);
  EXPECT_EQ(Press(kDhRight), std::vector<std::string>{kClick});
  EXPECT_EQ(dhset_, INT32_MAX) << "no wrap at the top";
  EXPECT_EQ(Knobs().second, 2.0) << "the knob still turns";
  Press(kDhLeft);
  EXPECT_EQ(dhset_, INT32_MAX - 1) << "and steps back down";

  dhset_ = INT32_MIN + 1;
  Press(kDhLeft);
  EXPECT_EQ(dhset_, INT32_MIN);
  EXPECT_EQ(Press(kDhLeft), std::vector<std::string>{kClick});
  EXPECT_EQ(dhset_, INT32_MIN) << "no wrap at the bottom";
  Press(kDhRight);
  EXPECT_EQ(dhset_, INT32_MIN + 1);
}

TEST_F(PfdSettingsTest, InMbSelAndTempFlipOnlyTheirOwnVariable) {
  struct Case {
    ControlIndex control;
    int32_t& flipped;
    int32_t& untouched;
  };
  const Case cases[] = {{kInMbSel, millibars_, temp_}, {kTemp, temp_, millibars_}};
  for (const Case& c : cases) {
    SCOPED_TRACE(kControls[c.control].name);
    const std::pair<int32_t, int32_t> flips[] = {
        {7, 0}, {0, 1}, {1, 0}, {-1, 0}, {INT32_MIN, 0}, {INT32_MAX, 0}, {2, 0}};
    c.untouched = 42;
    for (auto [before, after] : flips) {
      c.flipped = before;
      EXPECT_EQ(Press(c.control), std::vector<std::string>{kClick});
      EXPECT_EQ(c.flipped, after) << "from " << before;
    }
    EXPECT_EQ(c.untouched, 42);
    EXPECT_EQ(dhset_, 0);
    EXPECT_EQ(ratest_, 0);
    c.untouched = 0;
  }
}

// ---- ALT-TEST ------------------------------------------------------------------

TEST_F(PfdSettingsTest, AltTestRunsUntilTheCounterLandsOnTheMark) {
  Draw();
  UpdateWithCounter(100.5);
  Press(kAltTest);
  EXPECT_EQ(ratest_, 1);
  const std::pair<double, int32_t> readings[] = {
      {150.0, 1}, {189.0, 1}, {190.5, 1}, {191.0, 1}, {190.0, 0}};
  for (auto [counter, ratest] : readings) {
    UpdateWithCounter(counter);
    EXPECT_EQ(ratest_, ratest) << "counter " << counter << ", mark 190";
  }
  // The mark went back to 0 with the end of the test.
  ratest_ = 1;
  UpdateWithCounter(190.0);
  EXPECT_EQ(ratest_, 1) << "a test that ended has no mark left";
}

TEST_F(PfdSettingsTest, AltTestMarkIsTheSumTruncatedTowardZero) {
  Draw();
  struct Case {
    double at_press;
    double near_miss;  // a whole-number reading next to the mark, that does not end it
    double mark;       // the first reading that ends it
  };
  const Case cases[] = {
      {100.5, 191.0, 190.0}, {-0.5, 90.0, 89.0}, {-100.7, -11.0, -10.0},
      {0.9, 91.0, 90.0},     {-90.5, -1.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("counter at press " + std::to_string(c.at_press));
    UpdateWithCounter(c.at_press);
    Press(kAltTest);
    UpdateWithCounter(c.near_miss);
    EXPECT_EQ(ratest_, 1);
    UpdateWithCounter(c.mark);
    EXPECT_EQ(ratest_, 0) << "reading " << c.mark;
  }
}

TEST_F(PfdSettingsTest, AltTestPassedOverEndsOnlyOnZero) {
  Draw();
  UpdateWithCounter(100.0);
  Press(kAltTest);
  for (double counter : {189.5, 190.5, 250.0, 1000.0, -5.0}) {
    UpdateWithCounter(counter);
    EXPECT_EQ(ratest_, 1) << "counter " << counter;
  }
  UpdateWithCounter(0.0);
  EXPECT_EQ(ratest_, 0);
  UpdateWithCounter(-0.0);
  EXPECT_EQ(ratest_, 0);
}

TEST_F(PfdSettingsTest, AltTestMarkComesFromTheLastUpdateNotTheLiveValue) {
  Draw();
  UpdateWithCounter(10.0);
  vars().Set(kCounter, 50.0);  // not looked up yet
  Press(kAltTest);
  UpdateWithCounter(140.0);
  EXPECT_EQ(ratest_, 1) << "the mark is 100, not 140";
  UpdateWithCounter(100.0);
  EXPECT_EQ(ratest_, 0);
}

TEST_F(PfdSettingsTest, SecondPressRestartsTheTestWithANewMark) {
  Draw();
  UpdateWithCounter(10.0);
  Press(kAltTest);
  UpdateWithCounter(50.0);
  ratest_ = 5;
  Press(kAltTest);
  EXPECT_EQ(ratest_, 1);
  UpdateWithCounter(100.0);
  EXPECT_EQ(ratest_, 1) << "the first mark no longer counts";
  UpdateWithCounter(140.0);
  EXPECT_EQ(ratest_, 0);
}

TEST_F(PfdSettingsTest, CounterAtZeroClearsRatestWhoeverSetIt) {
  Draw();
  ratest_ = 1;
  UpdateWithCounter(5.0);
  EXPECT_EQ(ratest_, 1);
  UpdateWithCounter(0.0);
  EXPECT_EQ(ratest_, 0);
  ratest_ = 9;
  UpdateWithCounter(kNaN);
  EXPECT_EQ(ratest_, 9) << "NaN equals neither 0.0 nor the mark";
}

TEST_F(PfdSettingsTest, OutOfRangeCounterSaturatesTheMark) {
  Draw();
  struct Case {
    double at_press;
    double passes;  // does not end the test
    double ends;
  };
  const Case cases[] = {
      {1e300, 1e300, 2147483647.0},
      {kInf, 2147483648.0, 2147483647.0},
      {2147483600.0, 2147483690.0, 2147483647.0},
      {-1e300, -2147483649.0, -2147483648.0},
      {-kInf, -1e300, -2147483648.0},
      {kNaN, kNaN, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("counter at press " + std::to_string(c.at_press));
    UpdateWithCounter(c.at_press);
    Press(kAltTest);
    EXPECT_EQ(ratest_, 1);
    UpdateWithCounter(c.passes);
    EXPECT_EQ(ratest_, 1) << "reading " << c.passes;
    UpdateWithCounter(c.ends);
    EXPECT_EQ(ratest_, 0) << "reading " << c.ends;
  }
}

// ---- legends ------------------------------------------------------------------

TEST_F(PfdSettingsTest, LegendsLightWithPowerAboveTenAndLightingExactlyOne) {
  Draw();
  struct Case {
    double bus, lighting, legends;
  };
  const Case cases[] = {
      {10.0, 1.0, 0.0},  {10.01, 1.0, 1.0},   {10.01, 0.5, 0.0}, {28.0, 0.999, 0.0},
      {28.0, 2.0, 0.0},  {kNaN, 1.0, 0.0},    {28.0, kNaN, 0.0}, {kInf, 1.0, 1.0},
      {-28.0, 1.0, 0.0}, {10.000001, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    vars().Set(kBus, c.bus);
    vars().Set(kLighting, c.lighting);
    Cycle();
    EXPECT_EQ(Drawn(kLegends).value, c.legends) << "0x2f1 = " << c.bus << ", 0x0a = " << c.lighting;
    EXPECT_EQ(Drawn(kLegends).flags, 0x87u) << "lit bit set whatever the picture";
    EXPECT_EQ(Drawn(kBaroKnob).flags, 0x83u) << "knob pictures leave their element alone";
    EXPECT_EQ(Drawn(kDhKnob).flags, 0x83u) << "knob pictures leave their element alone";
  }
}

// ---- lifecycle ----------------------------------------------------------------

TEST_F(PfdSettingsTest, FirstDrawResetsKnobsMarkAndPowerOncePerLoad) {
  vars().Set(kBus, 28.0);
  vars().Set(kLighting, 1.0);
  UpdateWithCounter(10.0);
  Press(kBaroRight);
  Press(kBaroRight);
  Press(kDhLeft);
  Press(kAltTest);  // mark 100
  EXPECT_EQ(Knobs(), std::make_pair(0.0, 0.0)) << "the first draw put both knobs back";
  EXPECT_EQ(Drawn(kLegends).value, 0.0) << "and dropped the power";
  EXPECT_EQ(dhset_, -1) << "named variables are not reset";
  EXPECT_EQ(ratest_, 1) << "named variables are not reset";
  UpdateWithCounter(100.0);
  EXPECT_EQ(ratest_, 1) << "the first draw cleared the mark";

  Press(kBaroRight);
  Press(kDhRight);
  Cycle();
  EXPECT_EQ(Knobs(), std::make_pair(1.0, 1.0)) << "later draws reset nothing";
  EXPECT_EQ(Drawn(kLegends).value, 1.0);

  UpdateWithCounter(20.0);
  Press(kAltTest);  // mark 110
  Recreate();
  EXPECT_EQ(Knobs(), std::make_pair(1.0, 1.0)) << "a new gauge of the loaded module resets nothing";
  EXPECT_EQ(Drawn(kLegends).value, 1.0);
  UpdateWithCounter(110.0);
  EXPECT_EQ(ratest_, 0) << "the test started before the kill ends on its mark";
}

TEST_F(PfdSettingsTest, KillLeavesNamedVariablesAndStateAlone) {
  Draw();
  UpdateWithCounter(10.0);
  Press(kTemp);
  Press(kInMbSel);
  Press(kDhRight);
  Press(kAltTest);
  gauge().Kill();
  EXPECT_EQ(std::vector<int32_t>({temp_, millibars_, dhset_, ratest_}),
            std::vector<int32_t>({1, 1, 1, 1}));
  host::Gauge& again = *host_.CreateGauge(module());
  gauge_ = &again;
  EXPECT_EQ(Knobs(), std::make_pair(0.0, 1.0));
  EXPECT_EQ(std::vector<int32_t>({temp_, millibars_, dhset_, ratest_}),
            std::vector<int32_t>({1, 1, 1, 1}))
      << "a second initialise binds again but writes nothing";
}

TEST_F(PfdSettingsTest, KilledGaugeClicksNoMoreButStillActs) {
  Draw();
  gauge().Kill();
  EXPECT_EQ(Press(kBaroRight), std::vector<std::string>{Key(0x1015b)});
  EXPECT_THAT(Press(kTemp), ::testing::IsEmpty());
  EXPECT_EQ(temp_, 1) << "the press still flips its variable";

  host::Gauge& again = *host_.CreateGauge(module());
  EXPECT_EQ(Press(kBaroLeft, &again), (std::vector<std::string>{kClick, Key(0x1015c)}));
}

// ---- nothing registered under the PFD gauge's names -----------------------------

TEST_F(PfdSettingsUnboundTest, PressesWithoutNamedVariablesStillTurnKnobsAndClick) {
  Draw();
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Press(static_cast<ControlIndex>(i)), kControls[i].press) << kControls[i].name;
  }
  EXPECT_EQ(Knobs(), std::make_pair(0.0, 0.0)) << "each knob went one way and back";
  Press(kDhLeft);
  Press(kBaroRight);
  EXPECT_EQ(Knobs(), std::make_pair(1.0, 3.0));
  for (double counter : {0.0, 50.0, 100.0}) UpdateWithCounter(counter);  // no ratest to write
  EXPECT_EQ(Knobs(), std::make_pair(1.0, 3.0));
}

TEST_F(PfdSettingsUnboundTest, AltTestTimingRunsWithoutRatest) {
  Draw();
  UpdateWithCounter(10.0);
  EXPECT_EQ(Press(kAltTest), std::vector<std::string>{kClick});  // mark 100, nothing written

  // The PFD gauge turns up during the test; a new gauge of the panel binds it.
  int32_t& ratest = *vars().Register("ratest", 1);
  host_.CreateGauge(module());
  UpdateWithCounter(50.0);
  EXPECT_EQ(ratest, 1);
  UpdateWithCounter(100.0);
  EXPECT_EQ(ratest, 0) << "the mark set while unbound ends the test";
}

}  // namespace
