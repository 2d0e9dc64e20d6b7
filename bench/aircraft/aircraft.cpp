#include "bench/aircraft/aircraft.h"

#include <algorithm>

#include "bench/text.h"
#include "host/text_format.h"

namespace bench {
namespace {

uint32_t Nibble(uint32_t bits, int shift) { return (bits >> shift) & 0xF; }

// ---- radios -------------------------------------------------------------------

struct Radio {
  uint32_t active;
  uint32_t standby;
  int low_mhz;
  int high_mhz;
};

constexpr Radio kCom1{var::kCom1, var::kCom1Standby, Aircraft::kComLowMhz, Aircraft::kComHighMhz};
constexpr Radio kCom2{var::kCom2, var::kCom2Standby, Aircraft::kComLowMhz, Aircraft::kComHighMhz};
constexpr Radio kNav1{var::kNav1, var::kNav1Standby, Aircraft::kNavLowMhz, Aircraft::kNavHighMhz};
constexpr Radio kNav2{var::kNav2, var::kNav2Standby, Aircraft::kNavLowMhz, Aircraft::kNavHighMhz};

// Whole MHz up or down within the band; a value outside the band goes to
// the band's first (up) or last (down) MHz.
int StepMhz(int mhz, int direction, const Radio& radio) {
  if (direction > 0) return mhz < radio.low_mhz || mhz >= radio.high_mhz ? radio.low_mhz : mhz + 1;
  return mhz <= radio.low_mhz || mhz > radio.high_mhz ? radio.high_mhz : mhz - 1;
}

// The fraction to the next 0.05 MHz mark up or down, .95 and .00 wrapping
// into each other without touching the whole MHz. A fraction off the marks
// goes to the nearest mark in the direction of the step.
int StepFraction(int hundredths, int direction) {
  constexpr int kStep = Aircraft::kFractionStep;
  constexpr int kLast = 100 - kStep;
  if (direction > 0) {
    const int next = (hundredths / kStep + 1) * kStep;
    return next > kLast ? 0 : next;
  }
  if (hundredths <= 0) return kLast;
  const int previous = hundredths % kStep != 0 ? hundredths - hundredths % kStep : hundredths - kStep;
  return std::min(previous, kLast);
}

// The ADF frequency in tenths of a kHz, from its two variables.
int AdfTenths(uint32_t adf, uint32_t extension) {
  return static_cast<int>(Nibble(extension, 8) * 10000 + Nibble(adf, 8) * 1000 +
                          Nibble(adf, 4) * 100 + Nibble(adf, 0) * 10 + Nibble(extension, 0));
}

// ---- the key events -----------------------------------------------------------

enum class Action {
  kSwap, kMhzUp, kMhzDown, kFractionUp, kFractionDown,
  kAdf, kTransponderUp, kTransponderDown,
  kToggle, kDme1On, kDme1Off, kDme2On, kDme2Off,
  kBaroUp, kBaroDown,
};

struct KeyEvent {
  uint32_t id;
  const char* name;
  Action action;
  const Radio* radio = nullptr;
  int amount = 0;         // ADF: tenths of a kHz; transponder: digit shift
  uint32_t lamp = 0;      // toggles: the lamp variable
};

const KeyEvent kKeyEvents[] = {
    {0x10344, "COM1 swap", Action::kSwap, &kCom1},
    {0x10065, "COM1 standby MHz up", Action::kMhzUp, &kCom1},
    {0x10064, "COM1 standby MHz down", Action::kMhzDown, &kCom1},
    {0x10067, "COM1 standby fraction up", Action::kFractionUp, &kCom1},
    {0x10066, "COM1 standby fraction down", Action::kFractionDown, &kCom1},
    {0x1038C, "COM2 swap", Action::kSwap, &kCom2},
    {0x10385, "COM2 standby MHz up", Action::kMhzUp, &kCom2},
    {0x10384, "COM2 standby MHz down", Action::kMhzDown, &kCom2},
    {0x10388, "COM2 standby fraction up", Action::kFractionUp, &kCom2},
    {0x10386, "COM2 standby fraction down", Action::kFractionDown, &kCom2},
    {0x10390, "NAV1 swap", Action::kSwap, &kNav1},
    {0x10069, "NAV1 standby MHz up", Action::kMhzUp, &kNav1},
    {0x10068, "NAV1 standby MHz down", Action::kMhzDown, &kNav1},
    {0x1006B, "NAV1 standby fraction up", Action::kFractionUp, &kNav1},
    {0x1006A, "NAV1 standby fraction down", Action::kFractionDown, &kNav1},
    {0x10394, "NAV2 swap", Action::kSwap, &kNav2},
    {0x1006D, "NAV2 standby MHz up", Action::kMhzUp, &kNav2},
    {0x1006C, "NAV2 standby MHz down", Action::kMhzDown, &kNav2},
    {0x1006F, "NAV2 standby fraction up", Action::kFractionUp, &kNav2},
    {0x1006E, "NAV2 standby fraction down", Action::kFractionDown, &kNav2},
    {0x10070, "ADF 100 kHz up", Action::kAdf, nullptr, 1000},
    {0x10082, "ADF 100 kHz down", Action::kAdf, nullptr, -1000},
    {0x10071, "ADF 10 kHz up", Action::kAdf, nullptr, 100},
    {0x10083, "ADF 10 kHz down", Action::kAdf, nullptr, -100},
    {0x10072, "ADF 1 kHz up", Action::kAdf, nullptr, 10},
    {0x10084, "ADF 1 kHz down", Action::kAdf, nullptr, -10},
    {0x1039E, "ADF 0.1 kHz up", Action::kAdf, nullptr, 1},
    {0x1039D, "ADF 0.1 kHz down", Action::kAdf, nullptr, -1},
    {0x10073, "XPDR thousands up", Action::kTransponderUp, nullptr, 12},
    {0x10397, "XPDR thousands down", Action::kTransponderDown, nullptr, 12},
    {0x10074, "XPDR hundreds up", Action::kTransponderUp, nullptr, 8},
    {0x10398, "XPDR hundreds down", Action::kTransponderDown, nullptr, 8},
    {0x10075, "XPDR tens up", Action::kTransponderUp, nullptr, 4},
    {0x10399, "XPDR tens down", Action::kTransponderDown, nullptr, 4},
    {0x10076, "XPDR units up", Action::kTransponderUp, nullptr, 0},
    {0x1039A, "XPDR units down", Action::kTransponderDown, nullptr, 0},
    {0x1039f, "COMM 1 select", Action::kToggle, nullptr, 0, var::kComm1Lamp},
    {0x103a0, "COMM 2 select", Action::kToggle, nullptr, 0, var::kComm2Lamp},
    {0x10132, "NAV 1 select", Action::kToggle, nullptr, 0, var::kNav1Lamp},
    {0x10133, "NAV 2 select", Action::kToggle, nullptr, 0, var::kNav2Lamp},
    {0x10136, "ADF 1 select", Action::kToggle, nullptr, 0, var::kAdf1Lamp},
    {0x103ad, "left knob select", Action::kToggle, nullptr, 0, var::kLeftKnobLamp},
    {0x1012f, "DME 1 on", Action::kDme1On},
    {0x1012a, "DME 1 off", Action::kDme1Off},
    {0x10130, "DME 2 on", Action::kDme2On},
    {0x1012b, "DME 2 off", Action::kDme2Off},
    {0x1015b, "altimeter setting up", Action::kBaroUp},
    {0x1015c, "altimeter setting down", Action::kBaroDown},
};

const KeyEvent* FindKeyEvent(uint32_t id) {
  for (const KeyEvent& event : kKeyEvents) {
    if (event.id == id) return &event;
  }
  return nullptr;
}

}  // namespace

uint32_t EncodeRadio(int mhz, int hundredths) {
  const int digits = mhz - 100;
  return static_cast<uint32_t>((digits / 10 % 10) << 12 | (digits % 10) << 8 |
                               (hundredths / 10 % 10) << 4 | hundredths % 10);
}

void DecodeRadio(uint32_t bcd, int* mhz, int* hundredths) {
  *mhz = 100 + static_cast<int>(Nibble(bcd, 12) * 10 + Nibble(bcd, 8));
  *hundredths = static_cast<int>(Nibble(bcd, 4) * 10 + Nibble(bcd, 0));
}

std::string RadioText(uint32_t bcd) {
  return host::Format("1%u%u.%u%u", Nibble(bcd, 12), Nibble(bcd, 8), Nibble(bcd, 4),
                      Nibble(bcd, 0));
}

// ---- the aircraft ----------------------------------------------------------------

Aircraft::Aircraft(host::Host& host) : host_(&host) { Reset(); }

void Aircraft::Reset() {
  held_.clear();
  battery_ = avionics_ = panel_lights_ = engine1_ = engine2_ = dme1_ = dme2_ = false;
  dimmer_ = Dimmer::kBright;
  baro_hundredths_ = 2992;
  updates_ = 0;
  host::Variables& vars = host_->vars();
  const uint32_t radios[][2] = {
      {var::kCom1, 0x1850}, {var::kCom1Standby, 0x2150},  // 118.50, 121.50
      {var::kCom2, 0x2435}, {var::kCom2Standby, 0x1910},  // 124.35, 119.10
      {var::kNav1, 0x1030}, {var::kNav1Standby, 0x1390},  // 110.30, 113.90
      {var::kNav2, 0x0820}, {var::kNav2Standby, 0x1560},  // 108.20, 115.60
      {var::kAdf, 0x0350},  {var::kAdfExtension, 0x0000},  // 350.0 kHz
      {var::kTransponder, 0x1200},
  };
  for (const auto& radio : radios) vars.SetInteger(radio[0], radio[1]);
  for (uint32_t lamp : {var::kComm1Lamp, var::kComm2Lamp, var::kNav1Lamp, var::kNav2Lamp,
                        var::kAdf1Lamp, var::kLeftKnobLamp}) {
    vars.Set(lamp, 0.0);
  }
  vars.Set(var::kUpdateCounter, 0.0);
  vars.Set(var::kHydraulics1, 0.0);
  vars.Set(var::kHydraulics2, 0.0);
  // The partners start from their own defaults: inches, no temperature
  // page, a decision height of 200, no test running, bright lighting.
  SetPfdPresent(false);
  SetDimmerPresent(false);
  SetPfdPresent(true);
  SetDimmerPresent(true);
  Apply();
}

void Aircraft::Write(uint32_t id, double value) {
  if (!held(id)) host_->vars().Set(id, value);
}

void Aircraft::WriteInteger(uint32_t id, uint32_t value) {
  if (!held(id)) host_->vars().SetInteger(id, value);
}

void Aircraft::Apply() {
  const bool bus = battery_;
  Write(var::kMainBus, bus ? kBusVolts : 0.0);
  Write(var::kAvionicsPower, bus && avionics_ ? 1.0 : 0.0);
  Write(var::kAudioLampEnable, bus && avionics_ ? 1.0 : 0.0);
  Write(var::kPanelLights, panel_lights_ ? 1.0 : 0.0);
  Write(var::kDmeLamps, dme1_ || dme2_ ? 1.0 : 0.0);
}

void Aircraft::SetBattery(bool on) {
  battery_ = on;
  Apply();
}

void Aircraft::SetAvionics(bool on) {
  avionics_ = on;
  Apply();
}

void Aircraft::SetPanelLights(bool on) {
  panel_lights_ = on;
  Apply();
}

void Aircraft::SetEngine(int engine, bool running) {
  (engine == 1 ? engine1_ : engine2_) = running;
}

void Aircraft::SetDimmer(Dimmer level) {
  dimmer_ = level;
  if (int32_t* storage = host_->vars().Named(kDimmerName)) *storage = static_cast<int32_t>(level);
}

void Aircraft::SetPfdPresent(bool present) {
  host::Variables& vars = host_->vars();
  for (const std::string name : kPfdNames) {
    if (vars.IsRegistered(name) == present) continue;
    if (present) {
      vars.Register(name, name == kDhSetName ? kDhSetStart : 0);
    } else {
      vars.Unregister(name);
    }
    if (partner_listener_) partner_listener_(name);
  }
  pfd_present_ = present;
}

void Aircraft::SetDimmerPresent(bool present) {
  host::Variables& vars = host_->vars();
  dimmer_present_ = present;
  if (vars.IsRegistered(kDimmerName) == present) return;
  if (present) {
    *vars.Register(kDimmerName, static_cast<int32_t>(dimmer_)) = static_cast<int32_t>(dimmer_);
  } else {
    vars.Unregister(kDimmerName);
  }
  if (partner_listener_) partner_listener_(kDimmerName);
}

void Aircraft::Hold(uint32_t id, double value) {
  host_->vars().Set(id, value);
  held_.insert(id);
}

void Aircraft::HoldInteger(uint32_t id, uint32_t value) {
  host_->vars().SetInteger(id, value);
  held_.insert(id);
}

void Aircraft::Release(uint32_t id) { held_.erase(id); }

double Aircraft::hydraulic_psi(int source) const {
  return host_->vars().Get(source == 1 ? var::kHydraulics1 : var::kHydraulics2) / kHydraulicUnit;
}

void Aircraft::Tick() {
  ++updates_;
  host::Variables& vars = host_->vars();
  Write(var::kUpdateCounter, vars.Get(var::kUpdateCounter) + 1.0);
  const struct {
    uint32_t id;
    bool running;
  } sources[] = {{var::kHydraulics1, engine1_}, {var::kHydraulics2, engine2_}};
  for (const auto& source : sources) {
    double psi = vars.Get(source.id) / kHydraulicUnit;
    if (source.running && psi < kHydraulicFullPsi) {
      psi = std::min(kHydraulicFullPsi, psi + kHydraulicBuildPsi);
    } else if (source.running) {
      psi = std::max(kHydraulicFullPsi, psi - kHydraulicBleedPsi);
    } else {
      psi = std::max(0.0, psi - kHydraulicBleedPsi);
    }
    Write(source.id, psi * kHydraulicUnit);
  }
}

void Aircraft::Toggle(uint32_t lamp) {
  Write(lamp, host_->vars().Get(lamp) == 1.0 ? 0.0 : 1.0);
}

void Aircraft::OnKeyEvent(uint32_t id, uint32_t /*value*/) {
  const KeyEvent* event = FindKeyEvent(id);
  if (event == nullptr) {
    host_->Note("key event " + host::Hex(id) + " is not simulated by the bench; ignored");
    return;
  }
  host::Variables& vars = host_->vars();
  switch (event->action) {
    case Action::kSwap: {
      const uint32_t active = vars.GetInteger(event->radio->active);
      WriteInteger(event->radio->active, vars.GetInteger(event->radio->standby));
      WriteInteger(event->radio->standby, active);
      break;
    }
    case Action::kMhzUp:
    case Action::kMhzDown:
    case Action::kFractionUp:
    case Action::kFractionDown: {
      const uint32_t bits = vars.GetInteger(event->radio->standby);
      int mhz = 0, hundredths = 0;
      DecodeRadio(bits, &mhz, &hundredths);
      switch (event->action) {
        case Action::kMhzUp: mhz = StepMhz(mhz, +1, *event->radio); break;
        case Action::kMhzDown: mhz = StepMhz(mhz, -1, *event->radio); break;
        case Action::kFractionUp: hundredths = StepFraction(hundredths, +1); break;
        default: hundredths = StepFraction(hundredths, -1); break;
      }
      WriteInteger(event->radio->standby, (bits & 0xFFFF0000u) | EncodeRadio(mhz, hundredths));
      break;
    }
    case Action::kAdf: {
      const uint32_t adf = vars.GetInteger(var::kAdf);
      const uint32_t extension = vars.GetInteger(var::kAdfExtension);
      constexpr int kSpan = kAdfHighTenths - kAdfLowTenths + 1;
      int tenths = AdfTenths(adf, extension) - kAdfLowTenths + event->amount;
      tenths = ((tenths % kSpan) + kSpan) % kSpan + kAdfLowTenths;
      const uint32_t digits = static_cast<uint32_t>(tenths);
      WriteInteger(var::kAdf, (adf & ~0xFFFu) | (digits / 1000 % 10) << 8 |
                                  (digits / 100 % 10) << 4 | digits / 10 % 10);
      WriteInteger(var::kAdfExtension,
                   (extension & ~0xF0Fu) | (digits / 10000) << 8 | digits % 10);
      break;
    }
    case Action::kTransponderUp:
    case Action::kTransponderDown: {
      const uint32_t code = vars.GetInteger(var::kTransponder);
      uint32_t digit = Nibble(code, event->amount);
      if (event->action == Action::kTransponderUp) {
        digit = digit >= 7 ? 0 : digit + 1;
      } else {
        digit = digit == 0 || digit > 7 ? 7 : digit - 1;
      }
      WriteInteger(var::kTransponder,
                   (code & ~(0xFu << event->amount)) | digit << event->amount);
      break;
    }
    case Action::kToggle: Toggle(event->lamp); break;
    case Action::kDme1On: dme1_ = true; Apply(); break;
    case Action::kDme1Off: dme1_ = false; Apply(); break;
    case Action::kDme2On: dme2_ = true; Apply(); break;
    case Action::kDme2Off: dme2_ = false; Apply(); break;
    case Action::kBaroUp:
      baro_hundredths_ = std::min(kBaroHighHundredths, baro_hundredths_ + 1);
      break;
    case Action::kBaroDown:
      baro_hundredths_ = std::max(kBaroLowHundredths, baro_hundredths_ - 1);
      break;
  }
}

std::string Aircraft::KeyEventName(uint32_t id) {
  const KeyEvent* event = FindKeyEvent(id);
  return event != nullptr ? event->name : "";
}

bool Aircraft::KeyEventByName(std::string_view name, uint32_t* id) {
  for (const KeyEvent& event : kKeyEvents) {
    if (SameIgnoringCase(name, event.name)) {
      *id = event.id;
      return true;
    }
  }
  return false;
}

std::vector<uint32_t> Aircraft::KeyEvents() {
  std::vector<uint32_t> ids;
  for (const KeyEvent& event : kKeyEvents) ids.push_back(event.id);
  return ids;
}

PartnerValues ReadPartners(host::Variables& vars) {
  PartnerValues values;
  for (const char* name : Aircraft::kPartnerNames) {
    const int32_t* value = vars.Named(name);
    values[name] = value != nullptr ? std::optional<int32_t>(*value) : std::nullopt;
  }
  return values;
}

}  // namespace bench
