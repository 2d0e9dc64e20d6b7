// The bench's simulated aircraft: what each key event does to the
// variables, the switches, the hydraulic pumps and the partner gauges.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/aircraft/aircraft.h"
#include "host/host.h"

namespace {

using bench::Aircraft;
namespace var = bench::var;

// Every variable the aircraft keeps, for checking what else a key event
// touched.
const std::vector<uint32_t> kAllVars = {
    var::kUpdateCounter, var::kPanelLights, var::kAdf, var::kAdfExtension, var::kCom1,
    var::kCom1Standby, var::kCom2, var::kCom2Standby, var::kNav1, var::kNav1Standby, var::kNav2,
    var::kNav2Standby, var::kTransponder, var::kHydraulics1, var::kHydraulics2, var::kMainBus,
    var::kAvionicsPower, var::kAudioLampEnable, var::kComm1Lamp, var::kComm2Lamp, var::kNav1Lamp,
    var::kNav2Lamp, var::kDmeLamps, var::kAdf1Lamp, var::kLeftKnobLamp,
};

class AircraftTest : public ::testing::Test {
 protected:
  host::Variables& vars() { return host_.vars(); }

  // The aircraft's key event by its bench name (fails the test if unknown).
  void Press(const std::string& name, int times = 1) {
    uint32_t id = 0;
    ASSERT_TRUE(Aircraft::KeyEventByName(name, &id)) << "no key event named \"" << name << "\"";
    for (int i = 0; i < times; ++i) aircraft_.OnKeyEvent(id, 0);
  }

  std::map<uint32_t, double> Snapshot() {
    std::map<uint32_t, double> values;
    for (uint32_t id : kAllVars) values[id] = vars().Get(id);
    return values;
  }

  // The variables that differ between two snapshots.
  static std::set<uint32_t> Changed(const std::map<uint32_t, double>& before,
                                    const std::map<uint32_t, double>& after) {
    std::set<uint32_t> changed;
    for (const auto& [id, value] : before) {
      if (after.at(id) != value) changed.insert(id);
    }
    return changed;
  }

  std::string Radio(uint32_t id) { return bench::RadioText(vars().GetInteger(id)); }

  host::Host host_;
  Aircraft aircraft_{host_};
};

// ---- COM and NAV radios ---------------------------------------------------------

struct RadioCase {
  const char* radio;  // "COM1" ...
  uint32_t active, standby;
  int low_mhz, high_mhz;
};

const RadioCase kRadios[] = {
    {"COM1", var::kCom1, var::kCom1Standby, 118, 136},
    {"COM2", var::kCom2, var::kCom2Standby, 118, 136},
    {"NAV1", var::kNav1, var::kNav1Standby, 108, 117},
    {"NAV2", var::kNav2, var::kNav2Standby, 108, 117},
};

TEST_F(AircraftTest, EachSwapExchangesItsOwnRadioAndNothingElse) {
  for (const RadioCase& radio : kRadios) {
    SCOPED_TRACE(radio.radio);
    vars().SetInteger(radio.active, 0x2297);
    vars().SetInteger(radio.standby, 0x1850);
    const auto before = Snapshot();
    Press(std::string(radio.radio) + " swap");
    EXPECT_EQ(vars().GetInteger(radio.active), 0x1850u);
    EXPECT_EQ(vars().GetInteger(radio.standby), 0x2297u);
    EXPECT_EQ(Changed(before, Snapshot()), (std::set<uint32_t>{radio.active, radio.standby}));
    EXPECT_TRUE(vars().IsInteger(radio.active)) << "a swapped radio stays a BCD integer";
  }
}

TEST_F(AircraftTest, WholeMegahertzStepsWrapWithinTheBandAndKeepTheFraction) {
  for (const RadioCase& radio : kRadios) {
    SCOPED_TRACE(radio.radio);
    const std::string up = std::string(radio.radio) + " standby MHz up";
    const std::string down = std::string(radio.radio) + " standby MHz down";
    vars().SetInteger(radio.standby, bench::EncodeRadio(radio.high_mhz - 1, 35));
    const auto before = Snapshot();
    Press(up);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.high_mhz, 35)));
    Press(up);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.low_mhz, 35)))
        << "up from the top of the band starts again at its bottom";
    Press(down);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.high_mhz, 35)))
        << "down from the bottom of the band goes to its top";
    Press(down);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.high_mhz - 1, 35)));
    EXPECT_EQ(Changed(before, Snapshot()), std::set<uint32_t>{})
        << "four steps round the band come back; only the standby was ever written";
    // A frequency outside the band goes to the band's end in the step's direction.
    vars().SetInteger(radio.standby, 0x0050);  // 100.50
    Press(up);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.low_mhz, 50)));
    vars().SetInteger(radio.standby, 0x9950);  // 199.50
    Press(down);
    EXPECT_EQ(Radio(radio.standby), bench::RadioText(bench::EncodeRadio(radio.high_mhz, 50)));
  }
}

TEST_F(AircraftTest, FractionStepsByFiveHundredthsWithoutCarryingIntoTheMegahertz) {
  for (const RadioCase& radio : kRadios) {
    SCOPED_TRACE(radio.radio);
    const std::string up = std::string(radio.radio) + " standby fraction up";
    const std::string down = std::string(radio.radio) + " standby fraction down";
    vars().SetInteger(radio.standby, bench::EncodeRadio(radio.low_mhz + 2, 90));
    const uint32_t active = vars().GetInteger(radio.active);
    Press(up);
    EXPECT_EQ(vars().GetInteger(radio.standby), bench::EncodeRadio(radio.low_mhz + 2, 95));
    Press(up);
    EXPECT_EQ(vars().GetInteger(radio.standby), bench::EncodeRadio(radio.low_mhz + 2, 0))
        << ".95 up gives .00 in the same MHz";
    Press(down);
    EXPECT_EQ(vars().GetInteger(radio.standby), bench::EncodeRadio(radio.low_mhz + 2, 95))
        << ".00 down gives .95 in the same MHz";
    Press(up, 20);
    EXPECT_EQ(vars().GetInteger(radio.standby), bench::EncodeRadio(radio.low_mhz + 2, 95))
        << "twenty steps go once round the fractions";
    EXPECT_EQ(vars().GetInteger(radio.active), active) << "the active frequency is not touched";
  }
}

TEST_F(AircraftTest, FractionOffTheMarksGoesToTheNearestMarkInTheStepsDirection) {
  const struct {
    uint32_t from;
    const char* key;
    uint32_t to;
  } cases[] = {
      {0x2297, "COM1 standby fraction up", 0x2200},   // .97 up: past .95, wraps
      {0x2297, "COM1 standby fraction down", 0x2295},
      {0x2212, "COM1 standby fraction up", 0x2215},
      {0x2212, "COM1 standby fraction down", 0x2210},
      {0x22FF, "COM1 standby fraction down", 0x2295},  // digit groups above 9
  };
  for (const auto& c : cases) {
    vars().SetInteger(var::kCom1Standby, c.from);
    Press(c.key);
    EXPECT_EQ(vars().GetInteger(var::kCom1Standby), c.to)
        << c.key << " from 0x" << std::hex << c.from;
  }
}

TEST_F(AircraftTest, TuningKeepsTheBitsAboveTheFourDigitsAndTouchesOnlyItsStandby) {
  vars().SetInteger(var::kNav2Standby, 0xABCD1560);
  const auto before = Snapshot();
  Press("NAV2 standby MHz up");
  EXPECT_EQ(vars().GetInteger(var::kNav2Standby), 0xABCD1660u);
  EXPECT_EQ(Changed(before, Snapshot()), std::set<uint32_t>{var::kNav2Standby});
}

// ---- ADF ----------------------------------------------------------------------

// The ADF frequency as the radio display would read it, in tenths of a kHz.
int AdfTenths(host::Variables& vars) {
  const uint32_t adf = vars.GetInteger(var::kAdf), ext = vars.GetInteger(var::kAdfExtension);
  return static_cast<int>(((ext >> 8) & 0xF) * 10000 + ((adf >> 8) & 0xF) * 1000 +
                          ((adf >> 4) & 0xF) * 100 + (adf & 0xF) * 10 + (ext & 0xF));
}

TEST_F(AircraftTest, AdfStepsOfEachSizeUpAndDown) {
  const struct {
    const char* key;
    int change;  // tenths of a kHz
  } steps[] = {
      {"ADF 100 kHz up", 1000}, {"ADF 100 kHz down", -1000}, {"ADF 10 kHz up", 100},
      {"ADF 10 kHz down", -100}, {"ADF 1 kHz up", 10},        {"ADF 1 kHz down", -10},
      {"ADF 0.1 kHz up", 1},     {"ADF 0.1 kHz down", -1},
  };
  for (const auto& step : steps) {
    vars().SetInteger(var::kAdf, 0x0555);
    vars().SetInteger(var::kAdfExtension, 0x0005);  // 555.5 kHz
    const auto before = Snapshot();
    Press(step.key);
    EXPECT_EQ(AdfTenths(vars()), 5555 + step.change) << step.key;
    std::set<uint32_t> allowed = {var::kAdf, var::kAdfExtension};
    for (uint32_t id : Changed(before, Snapshot())) {
      EXPECT_TRUE(allowed.count(id)) << step.key << " changed variable 0x" << std::hex << id;
    }
  }
}

TEST_F(AircraftTest, AdfCarriesAcrossDigitsAndWrapsWithin100To1799Point9) {
  const struct {
    uint32_t adf, ext;
    const char* key;
    int times;
    uint32_t adf_after, ext_after;
  } cases[] = {
      {0x0999, 0x0009, "ADF 0.1 kHz up", 1, 0x0000, 0x0100},   // 999.9 -> 1000.0
      {0x0000, 0x0100, "ADF 0.1 kHz down", 1, 0x0999, 0x0009}, // and back
      {0x0799, 0x0109, "ADF 0.1 kHz up", 1, 0x0100, 0x0000},   // 1799.9 -> 100.0
      {0x0100, 0x0000, "ADF 0.1 kHz down", 1, 0x0799, 0x0109}, // 100.0 -> 1799.9
      {0x0750, 0x0100, "ADF 100 kHz up", 1, 0x0150, 0x0000},   // 1750.0 -> 150.0
      {0x0150, 0x0000, "ADF 100 kHz down", 1, 0x0750, 0x0100}, // 150.0 -> 1750.0
      {0x0350, 0x0000, "ADF 1 kHz up", 1700, 0x0350, 0x0000},  // once round the band
  };
  for (const auto& c : cases) {
    vars().SetInteger(var::kAdf, c.adf);
    vars().SetInteger(var::kAdfExtension, c.ext);
    Press(c.key, c.times);
    EXPECT_EQ(vars().GetInteger(var::kAdf), c.adf_after)
        << c.key << " x" << c.times << " from " << std::hex << c.adf << "/" << c.ext;
    EXPECT_EQ(vars().GetInteger(var::kAdfExtension), c.ext_after)
        << c.key << " x" << c.times << " from " << std::hex << c.adf << "/" << c.ext;
  }
}

TEST_F(AircraftTest, AdfKeepsTheOtherBitsOfItsVariables) {
  vars().SetInteger(var::kAdf, 0x12340350);
  vars().SetInteger(var::kAdfExtension, 0xA0F0);
  Press("ADF 1 kHz up");
  EXPECT_EQ(vars().GetInteger(var::kAdf), 0x12340351u);
  EXPECT_EQ(vars().GetInteger(var::kAdfExtension), 0xA0F0u);
}

// ---- transponder -----------------------------------------------------------------

TEST_F(AircraftTest, TransponderDigitsStepThroughZeroToSevenWithoutCarrying) {
  const char* digits[] = {"thousands", "hundreds", "tens", "units"};
  for (int d = 0; d < 4; ++d) {
    SCOPED_TRACE(digits[d]);
    const int shift = 12 - 4 * d;
    const std::string up = std::string("XPDR ") + digits[d] + " up";
    const std::string down = std::string("XPDR ") + digits[d] + " down";
    vars().SetInteger(var::kTransponder, 0x4444);
    const uint32_t others = 0x4444u & ~(0xFu << shift);
    Press(up, 3);
    EXPECT_EQ(vars().GetInteger(var::kTransponder), others | 7u << shift);
    Press(up);
    EXPECT_EQ(vars().GetInteger(var::kTransponder), others | 0u << shift) << "7 up gives 0";
    Press(down);
    EXPECT_EQ(vars().GetInteger(var::kTransponder), others | 7u << shift) << "0 down gives 7";
    vars().SetInteger(var::kTransponder, others | 9u << shift);
    Press(up);
    EXPECT_EQ(vars().GetInteger(var::kTransponder), others) << "a digit above 7 goes up to 0";
    vars().SetInteger(var::kTransponder, others | 9u << shift);
    Press(down);
    EXPECT_EQ(vars().GetInteger(var::kTransponder), others | 7u << shift)
        << "a digit above 7 goes down to 7";
  }
}

// ---- audio panel -----------------------------------------------------------------

TEST_F(AircraftTest, AudioSelectionsToggleTheirOwnLamp) {
  const struct {
    const char* key;
    uint32_t lamp;
  } selections[] = {
      {"COMM 1 select", var::kComm1Lamp}, {"COMM 2 select", var::kComm2Lamp},
      {"NAV 1 select", var::kNav1Lamp},   {"NAV 2 select", var::kNav2Lamp},
      {"ADF 1 select", var::kAdf1Lamp},   {"left knob select", var::kLeftKnobLamp},
  };
  for (const auto& s : selections) {
    const auto before = Snapshot();
    Press(s.key);
    EXPECT_EQ(vars().Get(s.lamp), 1.0) << s.key;
    EXPECT_EQ(Changed(before, Snapshot()), std::set<uint32_t>{s.lamp}) << s.key;
    Press(s.key);
    EXPECT_EQ(vars().Get(s.lamp), 0.0) << s.key << " again";
    vars().Set(s.lamp, 0.5);
    Press(s.key);
    EXPECT_EQ(vars().Get(s.lamp), 1.0) << s.key << " from 0.5: anything but 1.0 counts as off";
  }
}

TEST_F(AircraftTest, DmeLampVariableIsOnWhileEitherReceiverIs) {
  EXPECT_EQ(vars().Get(var::kDmeLamps), 0.0);
  Press("DME 1 on");
  EXPECT_EQ(vars().Get(var::kDmeLamps), 1.0);
  Press("DME 2 on");
  Press("DME 1 off");
  EXPECT_EQ(vars().Get(var::kDmeLamps), 1.0) << "DME 2 is still on";
  EXPECT_FALSE(aircraft_.dme(1));
  EXPECT_TRUE(aircraft_.dme(2));
  Press("DME 2 off");
  EXPECT_EQ(vars().Get(var::kDmeLamps), 0.0);
  Press("DME 2 off");
  EXPECT_EQ(vars().Get(var::kDmeLamps), 0.0) << "off twice stays off";
}

// ---- power, lights, altimeter, counter ----------------------------------------------

TEST_F(AircraftTest, BusAvionicsAndLightsFollowTheirSwitches) {
  EXPECT_EQ(vars().Get(var::kMainBus), 0.0);
  aircraft_.SetAvionics(true);
  EXPECT_EQ(vars().Get(var::kAvionicsPower), 0.0) << "avionics without the bus stay dark";
  EXPECT_EQ(vars().Get(var::kAudioLampEnable), 0.0);
  aircraft_.SetBattery(true);
  EXPECT_EQ(vars().Get(var::kMainBus), 28.0);
  EXPECT_EQ(vars().Get(var::kAvionicsPower), 1.0);
  EXPECT_EQ(vars().Get(var::kAudioLampEnable), 1.0);
  aircraft_.SetAvionics(false);
  EXPECT_EQ(vars().Get(var::kAvionicsPower), 0.0);
  EXPECT_EQ(vars().Get(var::kMainBus), 28.0);
  EXPECT_EQ(vars().Get(var::kPanelLights), 0.0);
  aircraft_.SetPanelLights(true);
  EXPECT_EQ(vars().Get(var::kPanelLights), 1.0);
  aircraft_.SetBattery(false);
  EXPECT_EQ(vars().Get(var::kMainBus), 0.0);
  EXPECT_EQ(vars().Get(var::kPanelLights), 1.0) << "the lights switch is its own";
}

TEST_F(AircraftTest, AltimeterStepsByHundredthsWithinItsRange) {
  EXPECT_EQ(aircraft_.baro_hundredths(), 2992);
  Press("altimeter setting up", 3);
  EXPECT_EQ(aircraft_.baro_hundredths(), 2995);
  Press("altimeter setting down");
  EXPECT_EQ(aircraft_.baro_hundredths(), 2994);
  Press("altimeter setting up", 200);
  EXPECT_EQ(aircraft_.baro_hundredths(), Aircraft::kBaroHighHundredths);
  Press("altimeter setting down", 400);
  EXPECT_EQ(aircraft_.baro_hundredths(), Aircraft::kBaroLowHundredths);
}

TEST_F(AircraftTest, EachTickAdvancesTheCounterByOne) {
  for (int i = 1; i <= 90; ++i) aircraft_.Tick();
  EXPECT_EQ(vars().Get(var::kUpdateCounter), 90.0);
  EXPECT_EQ(aircraft_.updates(), 90u);
}

// ---- hydraulics -----------------------------------------------------------------------

TEST_F(AircraftTest, HydraulicPressureBuildsWhileItsEngineRunsAndBleedsWhenItStops) {
  aircraft_.SetEngine(1, true);
  aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), Aircraft::kHydraulicBuildPsi);
  EXPECT_EQ(aircraft_.hydraulic_psi(2), 0.0) << "engine 2 is stopped";
  for (int i = 1; i < 59; ++i) aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 1475.0) << "59 updates";
  aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 1500.0) << "60 updates";
  EXPECT_EQ(vars().Get(var::kHydraulics1), 1500.0 * 281.0) << "the variable is in 1/281 psi";
  for (int i = 0; i < 100; ++i) aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 1500.0) << "it settles at 1500";

  aircraft_.SetEngine(1, false);
  aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 1500.0 - Aircraft::kHydraulicBleedPsi);
  for (int i = 1; i < 150; ++i) aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 0.0) << "150 updates bleed it all";
  aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 0.0) << "and it stays at 0";
}

TEST_F(AircraftTest, HydraulicSourcesAreIndependentAndPressureAboveFullBleedsToIt) {
  aircraft_.SetEngine(2, true);
  for (int i = 0; i < 4; ++i) aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(2), 100.0);
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 0.0);
  vars().Set(var::kHydraulics2, 1600.0 * 281.0);
  aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(2), 1590.0) << "above full pressure, the running pump bleeds";
  for (int i = 0; i < 20; ++i) aircraft_.Tick();
  EXPECT_EQ(aircraft_.hydraulic_psi(2), 1500.0);
}

// ---- held variables, unknown events, names -------------------------------------------

TEST_F(AircraftTest, HeldVariablesAreLeftAloneUntilReleased) {
  aircraft_.Hold(var::kMainBus, 10.0);
  aircraft_.HoldInteger(var::kCom2Standby, 0x2165);
  aircraft_.Hold(var::kHydraulics1, 281000.0);
  aircraft_.SetBattery(true);
  aircraft_.SetEngine(1, true);
  Press("COM2 standby MHz up");
  aircraft_.Tick();
  EXPECT_EQ(vars().Get(var::kMainBus), 10.0);
  EXPECT_EQ(vars().GetInteger(var::kCom2Standby), 0x2165u);
  EXPECT_EQ(vars().Get(var::kHydraulics1), 281000.0);
  aircraft_.Release(var::kMainBus);
  aircraft_.Release(var::kHydraulics1);
  EXPECT_EQ(vars().Get(var::kMainBus), 10.0) << "released, it waits for the next write";
  aircraft_.SetBattery(true);
  aircraft_.Tick();
  EXPECT_EQ(vars().Get(var::kMainBus), 28.0);
  EXPECT_EQ(aircraft_.hydraulic_psi(1), 1025.0);
}

TEST_F(AircraftTest, UnknownKeyEventIsNotedAndChangesNothing) {
  const auto before = Snapshot();
  aircraft_.OnKeyEvent(0x12345, 0);
  aircraft_.OnKeyEvent(0x12345, 0);
  EXPECT_EQ(Changed(before, Snapshot()), std::set<uint32_t>{});
  ASSERT_EQ(host_.notes().size(), 1u) << "noted once";
  EXPECT_NE(host_.notes()[0].find("0x12345"), std::string::npos) << host_.notes()[0];
  EXPECT_EQ(Aircraft::KeyEventName(0x12345), "");
}

TEST_F(AircraftTest, EveryKeyEventHasItsOwnNameThatFindsItAgain) {
  const std::vector<uint32_t> events = Aircraft::KeyEvents();
  EXPECT_EQ(events.size(), 48u);
  std::set<std::string> names;
  for (uint32_t id : events) {
    const std::string name = Aircraft::KeyEventName(id);
    ASSERT_FALSE(name.empty()) << std::hex << id;
    EXPECT_TRUE(names.insert(name).second) << "two key events are named " << name;
    uint32_t found = 0;
    std::string shouted = name;
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(Aircraft::KeyEventByName(shouted, &found)) << shouted;
    EXPECT_EQ(found, id) << name;
  }
  EXPECT_EQ(Aircraft::KeyEventName(0x1038C), "COM2 swap");
  EXPECT_EQ(Aircraft::KeyEventName(0x1006C), "NAV2 standby MHz down");
}

// ---- partner gauges -------------------------------------------------------------------

TEST_F(AircraftTest, PartnersStartRegisteredAndTellWhenARegistrationChanges) {
  for (const char* name : {"temp", "millibars", "dhset", "ratest", "dimbrtb"}) {
    ASSERT_NE(vars().Named(name), nullptr) << name;
  }
  EXPECT_EQ(*vars().Named("dhset"), 200);
  EXPECT_EQ(*vars().Named("dimbrtb"), 1);

  std::vector<std::string> told;
  aircraft_.OnPartnerChange([&](const std::string& name) { told.push_back(name); });
  aircraft_.SetPfdPresent(true);
  EXPECT_TRUE(told.empty()) << "present already: nothing changes";
  aircraft_.SetPfdPresent(false);
  EXPECT_EQ(told, (std::vector<std::string>{"temp", "millibars", "dhset", "ratest"}));
  EXPECT_EQ(vars().Named("temp"), nullptr);
  *vars().Register("dhset") = 0;  // registered by someone else meanwhile
  told.clear();
  aircraft_.SetPfdPresent(true);
  EXPECT_EQ(told, (std::vector<std::string>{"temp", "millibars", "ratest"}));

  aircraft_.SetDimmer(bench::Dimmer::kDim);
  EXPECT_EQ(*vars().Named("dimbrtb"), 2);
  told.clear();
  aircraft_.SetDimmerPresent(false);
  EXPECT_EQ(told, std::vector<std::string>{"dimbrtb"});
  aircraft_.SetDimmer(bench::Dimmer::kBright);
  EXPECT_EQ(vars().Named("dimbrtb"), nullptr);
  aircraft_.SetDimmerPresent(true);
  EXPECT_EQ(*vars().Named("dimbrtb"), 1) << "the dimmer comes back at the level it was set to";
}

TEST_F(AircraftTest, ResetReturnsToColdAndDark) {
  aircraft_.SetBattery(true);
  aircraft_.SetEngine(1, true);
  aircraft_.Hold(var::kPanelLights, 1.0);
  Press("COM2 swap");
  aircraft_.SetPfdPresent(false);
  aircraft_.Tick();
  aircraft_.Reset();
  EXPECT_EQ(vars().Get(var::kMainBus), 0.0);
  EXPECT_EQ(vars().Get(var::kPanelLights), 0.0) << "reset releases held variables";
  EXPECT_EQ(vars().GetInteger(var::kCom2), 0x2435u);
  EXPECT_EQ(vars().Get(var::kUpdateCounter), 0.0);
  EXPECT_FALSE(aircraft_.engine(1));
  EXPECT_NE(vars().Named("ratest"), nullptr);
}

}  // namespace
