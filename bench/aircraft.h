// The small simulated aircraft the bench runs the gauges against: the host's
// side of the variables and key events. Every id and what the bench makes of
// it is listed in docs/aircraft.md.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace bench {

class Aircraft {
 public:
  explicit Aircraft(host::Host& host);

  // Sets every variable to the aircraft's state (cold and dark, radios at
  // their start frequencies, both partner gauges present).
  void Reset();

  // The simulator's side of a key event the gauges sent; an unknown one is
  // noted in the host's notes and otherwise ignored.
  void OnKeyEvent(uint32_t id, uint32_t value);
  // The bench's name of a key event ("COM2 swap"), or "" if it knows none.
  static std::string KeyEventName(uint32_t id);

  // One simulator update (1/18 s): the update counter 0x01 steps by one,
  // the hydraulic pressures build up or bleed down.
  void Tick();

  // Switches a pilot can work.
  void SetBattery(bool on);       // main bus 0x2f1: 28.0 V or 0
  void SetAvionics(bool on);      // 0x301 and 0x305: 1.0 while on (and the bus is up)
  void SetPanelLights(bool on);   // 0x0a: 1.0 while on
  void SetEngine(int engine, bool running);  // 1 or 2
  void SetDimmer(int level);      // "dimbrtb": 1 bright, 2 dim
  // The partner gauges: present means their named variables are registered.
  void SetPfdPresent(bool present);
  void SetDimmerPresent(bool present);

  bool battery() const { return battery_; }
  bool avionics() const { return avionics_; }
  bool panel_lights() const { return panel_lights_; }
  bool engine(int engine) const { return engine == 1 ? engine1_ : engine2_; }
  double baro_inhg() const { return baro_inhg_; }

 private:
  void Apply();  // writes the derived variables
  host::Host* host_;
  bool battery_ = false;
  bool avionics_ = false;
  bool panel_lights_ = false;
  bool engine1_ = false;
  bool engine2_ = false;
  double baro_inhg_ = 29.92;
};

}  // namespace bench
