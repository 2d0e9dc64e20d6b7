// One gauge created from a module's header: the panel service events the
// host sends it, its drawing, and the clicks on its mouse areas.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/elements.h"
#include "frame/linkage.h"
#include "frame/mouse_rect.h"
#include "host/drawing.h"
#include "host/modules.h"

namespace host {

class Host;

// A point in a gauge's face pixels.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
};
// The middle of a mouse area: where a click meant for the area lands.
inline Point AreaCentre(const MouseRect& area) {
  return {area.x + area.width / 2, area.y + area.height / 2};
}

class Gauge {
 public:
  const std::string& name() const { return name_; }
  Module& module() { return *module_; }
  GaugeHeader& header() { return *header_; }
  bool alive() const { return alive_; }

  // Panel service events. Any number can be sent; the named ones are the
  // host's usual work.
  void SendEvent(PanelServiceEvent event, uint32_t extra = 0);
  void Update() { SendEvent(kPanelUpdate); }
  void Kill();  // event 12; the gauge is then no longer alive

  // Event 10, then every element's update callback in chain order. Before a
  // string's callback the host refreshes its first source variable and
  // supplies its text buffer. The drawing stays valid until the next Draw.
  const Drawing& Draw();
  const Drawing& last_drawing() const { return drawing_; }

  // The elements of the chain in drawing order, and the children of the
  // mouse list in list order. [the records live in the module: until it is
  // unloaded]
  std::vector<ElementHead*> Elements() const;
  std::vector<const MouseRect*> MouseAreas() const;

  // The child under (x, y) that takes `mouse_event`, or null. A rectangle
  // covers x to x + width - 1 and y to y + height - 1.
  const MouseRect* HitTest(int32_t x, int32_t y, uint32_t mouse_event = kMousePress) const;
  // Calls the callback of the child under (x, y); false if none takes it.
  bool Click(int32_t x, int32_t y, uint32_t mouse_event = kMousePress);
  // Calls a child's callback directly, as a click inside it would.
  int32_t CallMouse(const MouseRect& area, uint32_t mouse_event = kMousePress);

 private:
  friend class Host;
  Gauge(Host& host, Module& module);
  static std::vector<ElementHead*> WalkChain(ElementHead* root);
  Host* host_;
  Module* module_;
  GaugeHeader* header_;
  std::string name_;
  bool alive_ = false;
  std::vector<ElementHead*> elements_;  // the chain, walked once at creation
  Drawing drawing_;
  // One text buffer per element of the chain (used by strings only).
  std::vector<std::array<char, kTextBufferSize>> text_buffers_;
};

}  // namespace host
