// Finding out what a gauge's mouse areas do by pressing them: for the
// labels of the mouse overlay (bench/drawing), on a copy of the module so
// the gauge itself is not touched, and for the areas command, one press on
// a gauge it loaded for that press.
#pragma once

#include <string>
#include <vector>

#include "bench/aircraft/aircraft.h"
#include "host/host.h"

namespace bench {

// The label the mouse overlay gives each of the gauge's mouse areas, in the
// order of Gauge::MouseAreas: the key events its callback sends ("1038C"),
// else what else it changes ("dhset+1"), else "-". Found by calling each
// callback in a separate copy of the module (the gauge's own state is not
// touched), once per module file.
std::vector<std::string> MouseAreaLabels(host::Gauge& gauge);

// What one press of a mouse area did: what the gauge sent meanwhile (key
// events, clicks played, in order), and the partner gauges' named variables
// (Aircraft::kPartnerNames) before and after it, unset while not registered.
struct AreaPress {
  std::vector<host::LogEntry> sent;
  PartnerValues before, after;
};
AreaPress PressArea(host::Host& host, host::Gauge& gauge, const MouseRect& area);

}  // namespace bench
