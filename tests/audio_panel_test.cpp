// orlaaudio, the audio control panel: the eight push knobs with their key
// events and clicks, the lamps, the DME latches and the lit legends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"
#include "tests/record_checks.h"

namespace {

using namespace tables::audio;
using namespace testing_support;
using tables::kBus;
using tables::kClick;
using tables::kLighting;

// Variables the panel reads besides the bus and the lighting.
constexpr uint32_t kLampEnable = 0x305;
constexpr uint32_t kDmeLamps = 0x36f;

constexpr uint32_t kLegends = 0x1100;
constexpr uint32_t kDme1Lamp = 0x1600;
constexpr uint32_t kDme2Lamp = 0x1700;

// The lamps that show a variable of their own.
struct PlainLamp {
  const char* name;
  uint32_t var;
  uint32_t resource;
};
constexpr PlainLamp kPlainLamps[] = {
    {"COMM 1", 0x36a, 0x1200}, {"COMM 2", 0x36b, 0x1300}, {"NAV 1", 0x36d, 0x1400},
    {"NAV 2", 0x36e, 0x1500},  {"ADF 1", 0x370, 0x1800},  {"left knob", 0x371, 0x1900},
};

class AudioPanelTest : public testing_support::GaugeTest {
 public:
  AudioPanelTest() : GaugeTest("orlaaudio") {}

 protected:
  // Every variable that can light something reads "on".
  void AllOn(double bus = 28.0) {
    vars().Set(kBus, bus);
    vars().Set(kLighting, 1.0);
    vars().Set(kLampEnable, 1.0);
    vars().Set(kDmeLamps, 1.0);
    for (const PlainLamp& lamp : kPlainLamps) vars().Set(lamp.var, 1.0);
  }

  // Presses a knob through a click in the middle of its rectangle; returns
  // what the press sent.
  std::vector<std::string> Press(const Knob& knob, host::Gauge* on = nullptr) {
    host::Gauge& target = on != nullptr ? *on : gauge();
    host_.ClearLog();
    const MouseRect* area = target.HitTest(knob.x + knob.width / 2, knob.y + knob.height / 2);
    EXPECT_NE(area, nullptr) << knob.name << ": no mouse area under the middle of the knob";
    if (area == nullptr) return {};
    EXPECT_EQ(target.CallMouse(*area), 0) << knob.name;
    return LogLines(host_);
  }

  void PressBothDmes() {
    Press(kKnobs[kDme1]);
    Press(kKnobs[kDme2]);
  }

  // Picture index of each icon of the last drawing, in drawing order.
  std::vector<double> Pictures() {
    std::vector<double> pictures;
    for (const IconRecord& icon : kIcons) pictures.push_back(Drawn(icon.resource).value);
    return pictures;
  }
};

std::vector<double> AllPictures(double value) { return std::vector<double>(9, value); }

// ---- presses ----------------------------------------------------------------

TEST_F(AudioPanelTest, EachKnobSendsItsKeyEventAndClicksInItsOwnOrder) {
  for (const Knob& knob : kKnobs) {
    EXPECT_EQ(Press(knob), knob.press) << knob.name;
  }
}

TEST_F(AudioPanelTest, PressesDoNotDependOnPowerOrLampEnable) {
  const double buses[] = {0.0, 10.0, 28.0, kNaN};
  for (double bus : buses) {
    vars().Set(kBus, bus);
    vars().Set(kLampEnable, bus == 28.0 ? 1.0 : 0.0);
    Cycle();
    for (const Knob& knob : kKnobs) {
      if (&knob == &kKnobs[kDme1] || &knob == &kKnobs[kDme2]) continue;  // latching
      EXPECT_EQ(Press(knob), knob.press) << knob.name << " with bus " << bus;
    }
  }
}

TEST_F(AudioPanelTest, ClicksOutsideEveryKnobCallNothing) {
  const std::pair<int32_t, int32_t> outside[] = {
      {0, 0}, {139, 246}, {70, 30}, {52, 67}, {69, 67}, {53, 89}, {35, 75}, {100, 200}};
  host_.ClearLog();
  for (auto [x, y] : outside) {
    EXPECT_FALSE(gauge().Click(x, y)) << "(" << x << ", " << y << ")";
  }
  EXPECT_THAT(LogLines(host_), ::testing::IsEmpty());
}

// ---- DME latches ----------------------------------------------------------------

struct DmeCase {
  int knob;
  uint32_t lamp, other_lamp;
  uint32_t on_key, off_key;
};
constexpr DmeCase kDmeCases[] = {
    {kDme1, kDme1Lamp, kDme2Lamp, 0x1012f, 0x1012a},
    {kDme2, kDme2Lamp, kDme1Lamp, 0x10130, 0x1012b},
};

TEST_F(AudioPanelTest, DmeKnobLatchesOnAndOffWithItsTwoKeyEvents) {
  AllOn();
  Draw();
  for (const DmeCase& dme : kDmeCases) {
    const Knob& knob = kKnobs[dme.knob];
    SCOPED_TRACE(knob.name);
    Cycle();
    EXPECT_EQ(Drawn(dme.lamp).value, 0.0) << "dark before the first press";

    EXPECT_EQ(Press(knob), (std::vector<std::string>{Key(dme.on_key), kClick}));
    Cycle();
    EXPECT_EQ(Drawn(dme.lamp).value, 1.0) << "lit once latched";
    EXPECT_EQ(Drawn(dme.other_lamp).value, 0.0) << "the other DME lamp has its own latch";

    EXPECT_EQ(Press(knob), (std::vector<std::string>{Key(dme.off_key), kClick}));
    Draw();
    EXPECT_EQ(Drawn(dme.lamp).value, 0.0) << "the latch drops at once, without an update";

    EXPECT_EQ(Press(knob), (std::vector<std::string>{Key(dme.on_key), kClick}));
    EXPECT_EQ(Press(knob), (std::vector<std::string>{Key(dme.off_key), kClick}));
  }
}

TEST_F(AudioPanelTest, DmeLatchFlipsWithoutPower) {
  Draw();
  vars().Set(kBus, 0.0);
  gauge().Update();
  EXPECT_EQ(Press(kKnobs[kDme1]), (std::vector<std::string>{Key(0x1012f), kClick}));
  EXPECT_EQ(Press(kKnobs[kDme1]), (std::vector<std::string>{Key(0x1012a), kClick}));
}

TEST_F(AudioPanelTest, OnlyAnExactZeroOnTheDmeVariableClearsBothLatches) {
  struct Case {
    double value;
    bool clears;
  };
  const Case cases[] = {{0.0, true}, {-0.0, true},  {1.0, false},  {2.0, false},
                        {kNaN, false}, {1e-300, false}, {-1.0, false}, {kInf, false}};
  AllOn();
  Draw();
  for (const Case& c : cases) {
    SCOPED_TRACE("0x36f = " + std::to_string(c.value));
    vars().Set(kDmeLamps, 1.0);
    gauge().Update();
    PressBothDmes();

    vars().Set(kDmeLamps, c.value);
    gauge().Update();
    const bool on_again = c.clears;
    EXPECT_EQ(Press(kKnobs[kDme1]).front(), Key(on_again ? 0x1012f : 0x1012a));
    EXPECT_EQ(Press(kKnobs[kDme2]).front(), Key(on_again ? 0x10130 : 0x1012b));
    // Leave both latches off for the next case.
    if (on_again) PressBothDmes();
  }
}

TEST_F(AudioPanelTest, DmeLampsNeedExactlyOneOnTheirVariable) {
  AllOn();
  Draw();
  PressBothDmes();
  const std::pair<double, double> cases[] = {
      {1.0, 1.0}, {2.0, 0.0}, {0.999, 0.0}, {kNaN, 0.0}, {1.0, 1.0}};
  for (auto [value, picture] : cases) {
    vars().Set(kDmeLamps, value);
    Cycle();
    EXPECT_EQ(Drawn(kDme1Lamp).value, picture) << "0x36f = " << value;
    EXPECT_EQ(Drawn(kDme2Lamp).value, picture) << "0x36f = " << value;
  }
}

TEST_F(AudioPanelTest, FirstDrawClearsLatchesSetBeforeIt) {
  EXPECT_EQ(Press(kKnobs[kDme1]).front(), Key(0x1012f));
  EXPECT_EQ(Press(kKnobs[kDme2]).front(), Key(0x10130));
  Draw();
  EXPECT_EQ(Press(kKnobs[kDme1]).front(), Key(0x1012f)) << "the first draw reset the latch";
  EXPECT_EQ(Press(kKnobs[kDme2]).front(), Key(0x10130)) << "the first draw reset the latch";
  Draw();
  EXPECT_EQ(Press(kKnobs[kDme1]).front(), Key(0x1012a)) << "a later draw resets nothing";
}

// ---- lamps and legends --------------------------------------------------------

TEST_F(AudioPanelTest, EachLampShowsItsOwnVariable) {
  vars().Set(kBus, 28.0);
  vars().Set(kLampEnable, 1.0);
  vars().Set(kLighting, 0.0);
  Draw();
  for (const PlainLamp& lit : kPlainLamps) {
    for (const PlainLamp& lamp : kPlainLamps) vars().Set(lamp.var, lamp.var == lit.var ? 1.0 : 0.0);
    Cycle();
    for (const PlainLamp& lamp : kPlainLamps) {
      EXPECT_EQ(Drawn(lamp.resource).value, lamp.var == lit.var ? 1.0 : 0.0)
          << lamp.name << " lamp while only the " << lit.name << " variable reads 1.0";
    }
    EXPECT_EQ(Drawn(kLegends).value, 0.0) << "lamps do not light the legends";
  }
}

TEST_F(AudioPanelTest, LampHandsBackItsVariableUnchanged) {
  vars().Set(kBus, 28.0);
  vars().Set(kLampEnable, 1.0);
  Draw();
  const double values[] = {0.0, 1.0, 0.5, 3.0, -2.0, 1e9};
  for (const PlainLamp& lamp : kPlainLamps) {
    for (double value : values) {
      vars().Set(lamp.var, value);
      Cycle();
      EXPECT_EQ(Drawn(lamp.resource).value, value) << lamp.name;
    }
    vars().Set(lamp.var, kNaN);
    Cycle();
    EXPECT_TRUE(std::isnan(Drawn(lamp.resource).value))
        << lamp.name << " gave " << Drawn(lamp.resource).value << " for NaN";
  }
}

TEST_F(AudioPanelTest, LampEnableIsTruncatedTowardZeroAndMustBeOne) {
  struct Case {
    double value;
    bool lamps;
  };
  const Case cases[] = {{1.0, true},   {1.7, true},  {1.999, true}, {2.0, false},
                        {0.999, false}, {0.0, false}, {-0.5, false}, {-1.0, false},
                        {1.0, true},   {3.0, false}};
  AllOn();
  Draw();
  PressBothDmes();
  for (const Case& c : cases) {
    vars().Set(kLampEnable, c.value);
    Cycle();
    std::vector<double> want = AllPictures(c.lamps ? 1.0 : 0.0);
    want[0] = 1.0;  // the legends do not look at the lamp enable
    EXPECT_EQ(Pictures(), want) << "0x305 = " << c.value;
  }
}

TEST_F(AudioPanelTest, OutOfRangeLampEnableConvertsWithoutOverflow) {
  AllOn();
  Draw();
  const double extremes[] = {1e300, -1e300, kNaN, kInf, -kInf, 2147483648.0, -2147483649.0,
                             4294967297.0};
  for (double value : extremes) {
    vars().Set(kLampEnable, value);
    Cycle();
    for (const PlainLamp& lamp : kPlainLamps) {
      EXPECT_EQ(Drawn(lamp.resource).value, 0.0) << lamp.name << " with 0x305 = " << value;
    }
    vars().Set(kLampEnable, 1.0);
    Cycle();
    EXPECT_EQ(Drawn(0x1200).value, 1.0) << "COMM 1 back on after 0x305 = " << value;
  }
}

TEST_F(AudioPanelTest, PowerNeedsTheBusStrictlyAboveTen) {
  struct Case {
    double bus;
    bool powered;
  };
  const Case cases[] = {{10.0, false}, {10.5, true},  {10.000001, true}, {9.99, false},
                        {0.0, false},  {kNaN, false}, {kInf, true},      {-kInf, false},
                        {28.0, true}};
  AllOn();
  Draw();
  PressBothDmes();
  for (const Case& c : cases) {
    vars().Set(kBus, c.bus);
    Cycle();
    EXPECT_EQ(Pictures(), AllPictures(c.powered ? 1.0 : 0.0)) << "0x2f1 = " << c.bus;
  }
}

TEST_F(AudioPanelTest, LegendsFollowLightingAndLampsDoNot) {
  Draw();
  struct Case {
    double lighting, lamp_enable, comm2;
    double legends, comm2_lamp;
  };
  const Case cases[] = {
      {1.0, 0.0, 1.0, 1.0, 0.0},  // legends lit, every lamp dark
      {0.0, 1.0, 1.0, 0.0, 1.0},  // legends unlit, COMM 2 lit
      {0.999, 1.0, 1.0, 0.0, 1.0},
      {2.0, 1.0, 0.0, 0.0, 0.0},
      {kNaN, 1.0, 1.0, 0.0, 1.0},
  };
  vars().Set(kBus, 10.5);
  for (const Case& c : cases) {
    vars().Set(kLighting, c.lighting);
    vars().Set(kLampEnable, c.lamp_enable);
    vars().Set(0x36b, c.comm2);
    Cycle();
    EXPECT_EQ(Drawn(kLegends).value, c.legends) << "0x0a = " << c.lighting;
    EXPECT_EQ(Drawn(0x1300).value, c.comm2_lamp) << "0x0a = " << c.lighting;
  }
}

TEST_F(AudioPanelTest, EveryIconSetsItsLitBitEvenWhenDark) {
  const host::Drawing& drawing = Draw();
  ASSERT_EQ(drawing.elements.size(), 10u);
  EXPECT_EQ(drawing.elements[0].flags, 0x83u) << "the face is not touched";
  for (size_t i = 1; i < drawing.elements.size(); ++i) {
    EXPECT_EQ(drawing.elements[i].value, 0.0) << kIcons[i - 1].name;
    EXPECT_EQ(drawing.elements[i].flags, 0x87u) << kIcons[i - 1].name;
  }
  AllOn();
  Cycle();
  for (size_t i = 1; i < drawing.elements.size(); ++i) {
    EXPECT_EQ(Drawn(kIcons[i - 1].resource).flags, 0x87u) << kIcons[i - 1].name << " lit";
  }
}

// ---- lifecycle ------------------------------------------------------------------

TEST_F(AudioPanelTest, FirstDrawResetsStateOncePerLoad) {
  AllOn();
  gauge().Update();
  Draw();
  EXPECT_EQ(Pictures()[0], 0.0) << "the first draw drops the power read before it";
  Draw();
  EXPECT_EQ(Pictures()[0], 0.0) << "nothing until the next update";
  Cycle();
  EXPECT_EQ(Pictures()[0], 1.0);
  Draw();
  EXPECT_EQ(Pictures()[0], 1.0) << "a second draw resets nothing";

  Press(kKnobs[kDme1]);
  Recreate();
  Draw();
  EXPECT_EQ(Drawn(kLegends).value, 1.0) << "a new gauge of the loaded module resets nothing";
  EXPECT_EQ(Drawn(kDme1Lamp).value, 1.0) << "the DME 1 latch outlived the killed gauge";
  EXPECT_EQ(Press(kKnobs[kDme1]).front(), Key(0x1012a));
}

TEST_F(AudioPanelTest, KilledGaugeClicksNoMoreButStillSendsItsKeyEvent) {
  const MouseRect* comm1 = gauge().MouseAreas().at(0);
  gauge().Kill();
  host_.ClearLog();
  EXPECT_EQ(gauge().CallMouse(*comm1), 0);
  EXPECT_EQ(LogLines(host_), std::vector<std::string>{Key(0x1039f)});

  host::Gauge& again = *host_.CreateGauge(module());
  EXPECT_EQ(Press(kKnobs[0], &again), kKnobs[0].press) << "a new gauge binds the sound again";
}

TEST_F(AudioPanelTest, GaugesOfOneModuleShareTheirState) {
  host::Gauge& second = *host_.CreateGauge(module());
  AllOn();
  Draw();
  second.Update();
  Press(kKnobs[kDme2], &second);
  Draw();
  EXPECT_EQ(Pictures(), (std::vector<double>{1, 1, 1, 1, 1, 0, 1, 1, 1}))
      << "power and the DME 2 latch set through the other gauge";
}

}  // namespace
