// A gauge module that misbehaves on purpose, for trying modules in a child
// process: built as misbehaving_crash.so, whose gauge writes where nothing
// is mapped when it is created, and misbehaving_hang.so, whose gauge never
// returns from an update. Both pass every check the host makes on a file.
#include <cstdint>

#include "frame/elements.h"
#include "frame/linkage.h"
#include "frame/mouse_rect.h"

namespace {

void GAUGE_CALL Callback(GaugeHeader*, PanelServiceEvent event, uint32_t) {
#if defined(MISBEHAVE_CRASH)
  // A wild write, as through a damaged pointer (not a null one, which the
  // sanitizers would report before the crash).
  volatile uintptr_t nowhere = 16;
  if (event == kPanelInitialise) *reinterpret_cast<volatile int*>(nowhere) = 1;
#else
  if (event == kPanelUpdate) {
    for (volatile bool forever = true; forever;) {
    }
  }
#endif
}

extern GaugeHeader gaugeHeader;
constinit FailureRecord failures[1] = {};
constinit StaticImageElement face = MakeFace(&gaugeHeader, nullptr, &failures[0]);
constinit ElementHead* rootSlot[1] = {&face.head};
constinit MouseRect mouseRects[] = {
    MakeMouseMarker(kRectParent),
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};
constinit GaugeHeader gaugeHeader = MakeGaugeHeader("misbehaving", rootSlot, mouseRects, Callback);

}  // namespace

extern "C" {
GAUGE_EXPORT constinit ModuleLinkage Linkage = MakeLinkage(&gaugeHeader);
}
