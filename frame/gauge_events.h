// The one shape of a gauge's `GaugeCallback`: the frame's steps on the four
// panel service events, with the module's own steps in their places.
#pragma once

#include "frame/host_services.h"
#include "frame/linkage.h"
#include "frame/sound_binding.h"

// A module's own steps. A module derives from this and hides the steps it
// has; the ones it does not have do nothing.
struct GaugeSteps {
  // How the module holds the sound library (frame/sound_binding.h).
  using Sound = PerGaugeSoundBinding;
  // Initialise, after the sound binding: bind the named variables, in order.
  static void BindNamedVariables() {}
  // Update, after every module variable is looked up: the derived state.
  static void Derive() {}
  // The first draw after the module is loaded: the start values.
  static void FirstDrawReset() {}
};

// [lifecycle] The callback of a gauge whose module looks up `vars` on every
// update, in order, and keeps its first-draw latch in `firstDrawDone`.
// Module state, the latch included, is per loaded module: kill resets none
// of it, so a gauge created again keeps what the last one left.
template <typename Steps, auto& vars, int32_t& firstDrawDone>
void GAUGE_CALL GaugeEvents(GaugeHeader*, PanelServiceEvent event, uint32_t) {
  switch (event) {
    case kPanelInitialise:
      Steps::Sound::Initialise();
      Steps::BindNamedVariables();
      break;
    case kPanelUpdate:
      Steps::Sound::Update();
      LookupVars(vars, static_cast<int>(sizeof vars / sizeof vars[0]));
      Steps::Derive();
      break;
    case kPanelDraw:
      if (firstDrawDone == 0) {
        firstDrawDone = 1;
        Steps::FirstDrawReset();
      }
      break;
    case kPanelKill:
      Steps::Sound::Kill();
      break;
    default:
      break;
  }
}
