// A small gauge module for the tests of gauge-check's running checks: its
// records keep the contract, and it breaks the contract at run time in the
// one way that GAUGE_MISBEHAVE names: "slot" calls a service slot no module
// may call, "text" writes a text too long for the host's buffer, "flags"
// sets an image_flags bit of the host's, "records" changes a record field,
// "fp" leaves the SSE rounding mode changed, "crash" dies on a draw, "leak"
// keeps the sound library loaded after its kill, "create-crash" dies when the
// gauge is created, "hang" never returns from an update, "load-crash" dies
// and "load-hang" never returns in its initialiser, while the system's loader
// loads it (as a module or in place of the sound library), "loud" prints to
// standard output and error while it loads and creates the file that
// GAUGE_MARKER names. Anything else: it behaves.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <xmmintrin.h>

#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/mouse_rect.h"

namespace {

char misbehaviour[16] = {};

bool Is(const char* what) { return std::strcmp(misbehaviour, what) == 0; }

extern GaugeHeader gaugeHeader;
extern StaticImageElement face;
extern StringElement label;
extern IconElement lamp;

double GAUGE_CALL LabelText(ElementHead* element) {
  auto* text = reinterpret_cast<StringElement*>(element);
  const char* shown = Is("text") ? "A TEXT FAR TOO LONG FOR ITS BUFFER" : "OK";
  std::strcpy(text->text_buffer, shown);
  SetFlag(element, kFlagLit, true);
  if (Is("flags")) element->image_flags |= 0x8;
  return 0.0;
}

double GAUGE_CALL LampPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  if (Is("records")) lamp.icon_mode = 4;
  if (Is("crash")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  return 1.0;
}

int32_t GAUGE_CALL LampPress(uint32_t, uint32_t) {
  if (Is("slot")) ImportTable[0].service_table->slots_0_to_35[3]();
  if (Is("fp")) _mm_setcsr((_mm_getcsr() & ~0x6000u) | 0x2000u);  // round down
  return 0;
}

void GAUGE_CALL Callback(GaugeHeader*, PanelServiceEvent event, uint32_t) {
  if (event == kPanelUpdate && Is("hang")) {
    for (volatile bool forever = true; forever;) {
    }
  }
  if (event != kPanelInitialise) return;
  const char* chosen = std::getenv("GAUGE_MISBEHAVE");
  std::strncpy(misbehaviour, chosen != nullptr ? chosen : "", sizeof misbehaviour - 1);
  if (Is("leak")) dlopen("libGaugeSound.so", RTLD_NOW | RTLD_LOCAL);
  if (Is("create-crash")) {
    // A wild write, as through a damaged pointer (not a null one, which the
    // sanitizers would report before the crash).
    volatile uintptr_t nowhere = 16;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
  }
}

// The one initialiser, run by the system's loader before anything of the
// host sees the file.
[[gnu::constructor]] void WhileLoaded() {
  const char* chosen = std::getenv("GAUGE_MISBEHAVE");
  if (chosen == nullptr) return;
  if (std::strcmp(chosen, "load-crash") == 0) {
    volatile uintptr_t nowhere = 16;  // a wild write, as in create-crash
    *reinterpret_cast<volatile int*>(nowhere) = 1;
  }
  if (std::strcmp(chosen, "load-hang") == 0) {
    for (volatile bool forever = true; forever;) {
    }
  }
  if (std::strcmp(chosen, "loud") == 0) {
    std::printf("a module talking on standard output\n");
    std::fprintf(stderr, "a module talking on standard error\n");
    std::fflush(nullptr);
    if (const char* marker = std::getenv("GAUGE_MARKER")) {
      if (FILE* file = std::fopen(marker, "w")) std::fclose(file);
    }
  }
}

constinit FailureRecord failures[3] = {};
constinit ElementHead* rootSlot[1] = {&face.head};
constinit ElementHead* faceChildren[2] = {&label.head, nullptr};
constinit ElementHead* labelChildren[2] = {&lamp.head, nullptr};

constinit StaticImageElement face = MakeFace(&gaugeHeader, faceChildren, &failures[0]);

constexpr StringElement MakeLabel() {
  StringElement text{};
  text.head = MakeHead(kString, kNoResource, 4, 4, &gaugeHeader, labelChildren, &failures[1]);
  text.box_width = 40;
  text.box_height = 12;
  text.text_colour = 0x00FFFFFF;
  for (int i = 0; i < 5; ++i) text.font_name[i] = "Arial"[i];
  text.font_weight = 500;
  text.font_charset = 1;
  text.string_style = kStringStyle;
  text.update_callback = LabelText;
  return text;
}
constinit StringElement label = MakeLabel();

constinit IconElement lamp =
    MakeIcon(MakeHead(kIcon, 0x1100, 10, 20, &gaugeHeader, nullptr, &failures[2]), 2, LampPicture);

constinit MouseRect mouseRects[] = {
    MakeMouseMarker(kRectParent),
    MakeMouseChild(10, 20, 8, 8, kCursorHand, LampPress),
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

constinit GaugeHeader gaugeHeader = MakeGaugeHeader("misbehaving", rootSlot, mouseRects, Callback);

}  // namespace

extern "C" {
GAUGE_EXPORT constinit ModuleLinkage Linkage = MakeLinkage(&gaugeHeader);
}
