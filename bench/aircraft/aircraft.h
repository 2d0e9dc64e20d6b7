// The small simulated aircraft the bench runs the gauges against: the host's
// side of the variables and key events. Every id and what the bench makes of
// it is listed in docs/aircraft.md.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace bench {

// Variable ids the aircraft keeps.
namespace var {
inline constexpr uint32_t kUpdateCounter = 0x01;
inline constexpr uint32_t kPanelLights = 0x0a;
inline constexpr uint32_t kAdf = 0x10;           // BCD hundreds, tens, units
inline constexpr uint32_t kAdfExtension = 0x12;  // bits 8-11 thousands, 0-3 tenths
inline constexpr uint32_t kCom1 = 0x17, kCom1Standby = 0x269;
inline constexpr uint32_t kCom2 = 0x366, kCom2Standby = 0x367;
inline constexpr uint32_t kNav1 = 0x18, kNav1Standby = 0x368;
inline constexpr uint32_t kNav2 = 0x1B, kNav2Standby = 0x369;
inline constexpr uint32_t kTransponder = 0x26;
inline constexpr uint32_t kHydraulics1 = 0x2dc, kHydraulics2 = 0x2de;  // 1/281 psi
inline constexpr uint32_t kMainBus = 0x2f1;
inline constexpr uint32_t kAvionicsPower = 0x301, kAudioLampEnable = 0x305;
inline constexpr uint32_t kComm1Lamp = 0x36a, kComm2Lamp = 0x36b, kNav1Lamp = 0x36d,
                          kNav2Lamp = 0x36e, kDmeLamps = 0x36f, kAdf1Lamp = 0x370,
                          kLeftKnobLamp = 0x371;
}  // namespace var

// The panel lighting's dimmer, as the named variable "dimbrtb" holds it.
enum class Dimmer : int32_t { kBright = 1, kDim = 2 };

class Aircraft {
 public:
  // Radio bands (whole MHz; the fraction runs .00 to .95) and steps.
  static constexpr int kComLowMhz = 118, kComHighMhz = 136;
  static constexpr int kNavLowMhz = 108, kNavHighMhz = 117;
  static constexpr int kFractionStep = 5;           // hundredths of a MHz
  static constexpr int kAdfLowTenths = 1000;        // 100.0 kHz
  static constexpr int kAdfHighTenths = 17999;      // 1799.9 kHz
  static constexpr int kBaroLowHundredths = 2800;   // 28.00 inHg
  static constexpr int kBaroHighHundredths = 3100;  // 31.00 inHg
  // Hydraulics: what the variables' unit is, where the pressure settles
  // while an engine runs, and how fast it builds up and bleeds down.
  static constexpr double kHydraulicUnit = 281.0;   // variable units per psi
  static constexpr double kHydraulicFullPsi = 1500.0;
  static constexpr double kHydraulicBuildPsi = 25.0;  // per update (450 psi/s)
  static constexpr double kHydraulicBleedPsi = 10.0;  // per update (180 psi/s)
  static constexpr double kBusVolts = 28.0;

  explicit Aircraft(host::Host& host);

  // Sets every variable to the aircraft's state (cold and dark, radios at
  // their start frequencies, both partner gauges present) and releases
  // every held variable.
  void Reset();

  // The simulator's side of a key event the gauges sent; an unknown one is
  // noted in the host's notes and otherwise ignored.
  void OnKeyEvent(uint32_t id, uint32_t value);
  // The bench's name of a key event ("COM2 swap"), or "" if it knows none.
  static std::string KeyEventName(uint32_t id);
  // The key event with this bench name (letter case ignored); false if none.
  static bool KeyEventByName(std::string_view name, uint32_t* id);
  // Every key event the aircraft acts on, in the order of docs/aircraft.md.
  static std::vector<uint32_t> KeyEvents();

  // One simulator update (1/18 s): the update counter 0x01 steps by one,
  // the hydraulic pressures build up or bleed down.
  void Tick();

  // Switches a pilot can work.
  void SetBattery(bool on);       // main bus 0x2f1: 28.0 V or 0
  void SetAvionics(bool on);      // 0x301 and 0x305: 1.0 while on (and the bus is up)
  void SetPanelLights(bool on);   // 0x0a: 1.0 while on
  void SetEngine(int engine, bool running);  // 1 or 2
  void SetDimmer(Dimmer level);
  // The partner gauges: present means their named variables are registered.
  // A gauge binds them when it is created (event 4); see Panel for what a
  // change does to gauges already created.
  void SetPfdPresent(bool present);
  void SetDimmerPresent(bool present);
  // The partner gauges' named variables: the PFD settings gauge's four,
  // then the dimmer's.
  static constexpr const char* kTempName = "temp";
  static constexpr const char* kMillibarsName = "millibars";
  static constexpr const char* kDhSetName = "dhset";
  static constexpr const char* kRateTestName = "ratest";
  static constexpr const char* kDimmerName = "dimbrtb";
  static constexpr const char* kPfdNames[] = {kTempName, kMillibarsName, kDhSetName,
                                              kRateTestName};
  static constexpr const char* kPartnerNames[] = {kTempName, kMillibarsName, kDhSetName,
                                                  kRateTestName, kDimmerName};
  // Where the PFD settings gauge starts its decision height.
  static constexpr int32_t kDhSetStart = 200;
  // Told the name of each named variable whose registration changed (the
  // panel re-creates the gauges that bind it).
  void OnPartnerChange(std::function<void(const std::string& name)> listener) {
    partner_listener_ = std::move(listener);
  }

  // Pins a variable at a value: the aircraft no longer writes it (switches,
  // key events and updates leave it alone) until it is released.
  void Hold(uint32_t id, double value);
  void HoldInteger(uint32_t id, uint32_t value);
  void Release(uint32_t id);
  bool held(uint32_t id) const { return held_.count(id) != 0; }

  bool battery() const { return battery_; }
  bool avionics() const { return avionics_; }
  bool panel_lights() const { return panel_lights_; }
  bool engine(int engine) const { return engine == 1 ? engine1_ : engine2_; }
  bool dme(int receiver) const { return receiver == 1 ? dme1_ : dme2_; }
  Dimmer dimmer() const { return dimmer_; }
  bool pfd_present() const { return pfd_present_; }
  bool dimmer_present() const { return dimmer_present_; }
  double baro_inhg() const { return baro_hundredths_ / 100.0; }
  int baro_hundredths() const { return baro_hundredths_; }
  // A hydraulic source's pressure in psi (1 or 2), as its variable holds it.
  double hydraulic_psi(int source) const;
  uint64_t updates() const { return updates_; }

 private:
  void Apply();  // writes the derived variables
  void Write(uint32_t id, double value);
  void WriteInteger(uint32_t id, uint32_t value);
  void Toggle(uint32_t lamp);
  host::Host* host_;
  bool battery_ = false;
  bool avionics_ = false;
  bool panel_lights_ = false;
  bool engine1_ = false;
  bool engine2_ = false;
  bool dme1_ = false;
  bool dme2_ = false;
  Dimmer dimmer_ = Dimmer::kBright;
  bool pfd_present_ = false;
  bool dimmer_present_ = false;
  int baro_hundredths_ = 2992;
  uint64_t updates_ = 0;
  std::set<uint32_t> held_;
  std::function<void(const std::string&)> partner_listener_;
};

// The partner gauges' named variables by name, unset while one is not
// registered.
using PartnerValues = std::map<std::string, std::optional<int32_t>>;
PartnerValues ReadPartners(host::Variables& vars);

// BCD helpers for the radios, shared with the scripts and tests.
// A COM or NAV variable holds the four digits after the leading 1:
// 122.95 MHz is 0x2295.
uint32_t EncodeRadio(int mhz, int hundredths);
void DecodeRadio(uint32_t bcd, int* mhz, int* hundredths);
// "122.95" for 0x2295 (digit groups above 9 print as two digits).
std::string RadioText(uint32_t bcd);

}  // namespace bench
