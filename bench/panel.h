// The bench's panel: the host core, the simulated aircraft and the gauges it
// loaded, driven as the simulator drives them. Their pictures are a layer
// above (bench/drawing/panel_pictures.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/aircraft/aircraft.h"
#include "bench/gauge_names.h"
#include "bench/loading.h"
#include "host/host.h"

namespace bench {

struct PanelOptions {
  std::filesystem::path gauge_dir;      // the modules the host loads
  std::filesystem::path picture_dir;    // the .gau files whose bitmaps are drawn
  std::filesystem::path sound_library;  // the sound library stand-in ("" for none)
  std::filesystem::path sound_root;     // the folder holding sound/ (the simulator's)
  // The clicks played aloud by the sound library where it can (Windows), or
  // only reported (the live panel: its page plays them, or keeps them muted).
  bool sounds_aloud = true;
};

// Defaults, each beside the program when it is there (the tools as they
// ship: Gauges/, GaugeSound.dll, sound/), else the build tree's: the modules
// and sound library of the program's own tree (build/<tree>/gauges,
// build/<tree>/lib); the pictures from the modules themselves where they are
// .gau files (Windows), else from the source tree's build/win32/gauges; and
// dist/ as the simulator folder (the source tree itself, which also holds
// sound/, until dist/ is laid out).
PanelOptions DefaultPanelOptions();

// True if `name` is one of the four gauges; else says which they are.
bool CheckGaugeName(const std::string& name, std::string* error);

class Panel {
 public:
  // The host and the aircraft (in its reset state, partners registered);
  // no gauges yet. Switches and named variables set before Open are what
  // the gauges find when they are created.
  Panel();
  ~Panel();
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  // Loads the sound library, then the named gauges (all four if `gauges` is
  // empty), each through the bench's one way (bench/loading.h), and creates
  // them (event 4). False with a reason (what, where,
  // what to do) if anything is missing; once only.
  bool Open(const PanelOptions& options, const std::vector<std::string>& gauges,
            std::string* error);

  // The host and the aircraft the panel drives. What a const panel fixes is
  // which gauges it holds and where their files are; the host, the aircraft
  // and the gauges stay what the simulator drives (as gauges() gives them).
  host::Host& host() const { return *host_; }
  Aircraft& aircraft() const { return *aircraft_; }
  // What Open was given: where the modules, the pictures and the sounds are.
  const PanelOptions& options() const { return options_; }
  // The gauges in the order they were named, and one of them by name (null
  // if none). [each gauge lives until Recreate replaces it, that is until a
  // named variable it binds is registered or unregistered (SetNamed,
  // UnregisterNamed, the aircraft's partner switches), or the panel's end;
  // ask again after any of these]
  const std::vector<host::Gauge*>& gauges() const { return gauges_; }
  host::Gauge* Find(const std::string& name) const;

  // One simulator update: the aircraft ticks, then each gauge is updated
  // and drawn (event 6, event 10 and its element callbacks).
  void Update();
  uint64_t updates() const { return updates_; }
  // A click on a gauge at a point, applied between updates. False if no
  // area there takes the mouse event.
  bool Click(host::Gauge& gauge, int x, int y, uint32_t mouse_event = kMousePress);
  // A press held down: the press, then `repeats` repeat events (taken only
  // by split areas). Returns how many of these calls an area took.
  int Press(host::Gauge& gauge, int x, int y, int repeats);

  // What the gauge showed at its last draw. A gauge never drawn is drawn
  // now: its first draw, before any update. [lives until the gauge's next
  // draw or its re-creation]
  const host::Drawing& LastDrawing(host::Gauge& gauge) const;

  // Named variables of the partner gauges. Registering or unregistering a
  // name (here, or by the aircraft's partner switches) re-creates every
  // gauge that binds it (event 12, then a new gauge and event 4), as when
  // the simulator reloads the panel, so the gauge binds it afresh; the
  // module stays loaded and keeps its state.
  void SetNamed(const std::string& name, int32_t value);
  void UnregisterNamed(const std::string& name);
  // The names a gauge tried to bind when it was created.
  std::set<std::string> BoundNames(const host::Gauge& gauge) const;


 private:
  struct Slot {
    host::Module* module = nullptr;
    std::set<std::string> binds;
    bool drawn = false;
  };
  size_t IndexOf(const host::Gauge& gauge) const;
  void Create(size_t index);
  // Destroys and creates anew every gauge that binds `name`; what gauges()
  // and Find() gave out for them before no longer points at a gauge.
  void Recreate(const std::string& name);

  std::unique_ptr<host::Host> host_;
  std::unique_ptr<Aircraft> aircraft_;
  PanelOptions options_;
  bool open_ = false;
  uint64_t updates_ = 0;
  std::vector<host::Gauge*> gauges_;
  std::vector<std::unique_ptr<Slot>> slots_;  // one per gauge, same order
};

}  // namespace bench
