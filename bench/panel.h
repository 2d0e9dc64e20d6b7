// The bench's panel: the host core, the simulated aircraft, the gauges it
// loaded and their pictures, driven as the simulator drives them.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/aircraft.h"
#include "bench/gauge_names.h"
#include "bench/render.h"
#include "host/host.h"

namespace bench {

struct PanelOptions {
  std::filesystem::path gauge_dir;      // the modules the host loads
  std::filesystem::path picture_dir;    // the .gau files whose bitmaps are drawn
  std::filesystem::path sound_library;  // the sound library stand-in
  std::filesystem::path sound_root;     // the folder holding sound/ (the simulator's)
};

// Defaults for a build tree: build/native's modules and sound library,
// build/win32's gauge files, dist/ as the simulator folder.
PanelOptions DefaultPanelOptions();

class Panel {
 public:
  Panel();
  ~Panel();

  // Loads the named gauges (all four if `gauges` is empty) and creates them.
  bool Open(const PanelOptions& options, const std::vector<std::string>& gauges,
            std::string* error);

  host::Host& host() { return host_; }
  Aircraft& aircraft() { return *aircraft_; }
  std::vector<host::Gauge*>& gauges() { return gauges_; }
  host::Gauge* Find(const std::string& name);

  // One simulator update: the aircraft ticks, then each gauge is updated
  // and drawn (event 6, event 10 and its element callbacks).
  void Update();
  // A click on a gauge at a point, applied between updates.
  bool Click(host::Gauge& gauge, int x, int y, uint32_t mouse_event = kMousePress);

  Image Render(host::Gauge& gauge, const RenderOptions& options);
  // All gauges side by side, labelled.
  Image RenderPanel(const RenderOptions& options);

 private:
  host::Host host_;
  std::unique_ptr<Aircraft> aircraft_;
  Fonts fonts_;
  bool fonts_ready_ = false;
  std::vector<host::Gauge*> gauges_;
  std::vector<GaugePictures> pictures_;
};

}  // namespace bench
