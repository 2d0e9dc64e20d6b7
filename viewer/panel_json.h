// What the live panel tells its page, as JSON: the gauges with their mouse
// areas, the state (the aircraft's controls, the partner gauges' variables,
// what each gauge shows), and what the gauges sent; and the controls the
// page works. Each reads or changes the panel: call with the panel's lock
// held (viewer/picture_cache.h).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/drawing/panel_pictures.h"
#include "bench/panel.h"

namespace viewer {

using json = nlohmann::json;

// JSON text of anything, with bytes that are not UTF-8 (in what a request
// sent, or in a gauge's text) shown as U+FFFD rather than refused.
std::string Dump(const json& value);

// GET /api/panel: each gauge's name, size and mouse areas, and the rate of
// the updates.
json PanelJson(bench::Panel& panel, bench::PanelPictures& drawing, double updates_per_second);

// GET /api/state: the switches, the dimmer, the light the page sees the
// panel in, the partner gauges' variables (null while not registered), the
// updates so far and what each gauge shows.
json StateJson(bench::Panel& panel, bench::Ambient ambient, uint64_t updates);

// What the gauges sent after entry `since` (entries count from 1, for the
// whole life of the server), at most a thousand entries; "next" is where to
// go on from, "dropped" how many entries after `since` the log, which keeps
// only the most recent, no longer holds.
json LogJson(const host::Log& log, uint64_t since);

// POST /api/control: sets the switch, the dimmer or the page's light
// (`ambient`) named `name` to `value`. False with the reason if there is no
// such control or it does not take `value`.
bool SetControl(bench::Panel& panel, bench::Ambient* ambient, const std::string& name,
                const json& value, std::string* error);

}  // namespace viewer
