// What the commands that open a bench::Panel share: the panel's files
// (--pictures and --sound-root, options of every command), the aircraft's
// state that render and click start from, and how click and areas name what
// they found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "apps/panel-bench/command.h"
#include "bench/panel.h"

namespace panel_bench {

enum class State { kDark, kDay, kDusk, kNight };
inline constexpr const char* kStateNames[] = {"dark", "day", "dusk", "night"};

// --state and --updates.
struct AircraftState {
  State state = State::kDay;
  int updates = 100;
};
void AddStateOptions(CLI::App* command, AircraftState* state);

// The panel's files: the line's, else the defaults.
bench::PanelOptions PanelOptionsFrom(const Line& line);

// Opens the panel of the line's files and puts the aircraft in the state:
// switches first, the audio selections through their key events and the
// DME 1 knob through a click, then the updates (at least one when the state
// is not dark). False after saying why.
bool OpenInState(bench::Panel& panel, const Line& line, const AircraftState& state);
// The panel's gauge of that name, or null after saying the panel has none.
host::Gauge* FindGauge(bench::Panel& panel, const std::string& name);
// What the host noted while the command ran (a gauge that misbehaved), after
// the command's own output.
void PrintHostNotes(bench::Panel& panel);

// A mouse area's kind by its cursor, as click and areas print it.
const char* CursorName(uint32_t cursor);

// A named variable's value as the click and areas commands show it.
std::string NamedText(std::optional<int32_t> value);

}  // namespace panel_bench
