// orlapfdset: the PFD settings panel. Its controls write four named variables
// of the primary flight display gauge ("temp", "millibars", "dhset",
// "ratest"), send the BARO key events, animate two knobs and time the
// altimeter test.
#include "frame/convert.h"
#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/mouse_rect.h"
#include "frame/gauge_events.h"
#include "frame/sound_binding.h"

namespace {

// Looked up on every update, in this order.
enum : int { kTestCounter, kPanelLighting, kBusVoltage, kVarCount };
constinit ModuleVar vars[kVarCount] = {
    SimVar(0x01),   // counter that times the ALT-TEST
    SimVar(0x0a),   // legend lighting
    SimVar(0x2f1),  // power: powered while above 10.0
};

// The PFD gauge's variables, bound at initialise in this order. A name that
// nobody registered leaves its record without storage: a press then still
// turns its knob and clicks, and writes nothing.
enum : int { kTemp, kMillibars, kDhSet, kRaTest, kNamedCount };
constexpr const char* kNamedVarNames[kNamedCount] = {"temp", "millibars", "dhset", "ratest"};
constinit ModuleVar namedVars[kNamedCount] = {};

constexpr char kClick[] = "sound\\orlaclick.wav";
constexpr double kAltTestLength = 90.0;

int32_t firstDrawDone = 0;
int32_t powered = 0;
int32_t baroKnobFrame = 0;
int32_t dhKnobFrame = 0;
int32_t altTestEndMark = 0;

int32_t* Named(int which) { return namedVars[which].value_ptr; }

void Flip(int which) {
  if (int32_t* value = Named(which)) *value = *value == 0 ? 1 : 0;
}

void Step(int which, int32_t step) {
  if (int32_t* value = Named(which)) *value = SaturatingAdd(*value, step);
}

void Set(int which, int32_t to) {
  if (int32_t* value = Named(which)) *value = to;
}

int32_t NextFrame(int32_t frame) { return frame + 1 == 4 ? 0 : frame + 1; }
int32_t PreviousFrame(int32_t frame) { return frame - 1 == -1 ? 3 : frame - 1; }

// ---- buttons and knobs -----------------------------------------------------

int32_t GAUGE_CALL BaroKnobRight(uint32_t, uint32_t) {
  TriggerKeyEvent(0x1015b);
  PlayClick(kClick);
  baroKnobFrame = NextFrame(baroKnobFrame);
  return 0;
}

int32_t GAUGE_CALL BaroKnobLeft(uint32_t, uint32_t) {
  PlayClick(kClick);
  TriggerKeyEvent(0x1015c);
  baroKnobFrame = PreviousFrame(baroKnobFrame);
  return 0;
}

int32_t GAUGE_CALL InMbSelPress(uint32_t, uint32_t) {
  Flip(kMillibars);
  PlayClick(kClick);
  return 0;
}

int32_t GAUGE_CALL TempPress(uint32_t, uint32_t) {
  Flip(kTemp);
  PlayClick(kClick);
  return 0;
}

int32_t GAUGE_CALL DhSetRight(uint32_t, uint32_t) {
  Step(kDhSet, +1);
  PlayClick(kClick);
  dhKnobFrame = NextFrame(dhKnobFrame);
  return 0;
}

int32_t GAUGE_CALL DhSetLeft(uint32_t, uint32_t) {
  Step(kDhSet, -1);
  PlayClick(kClick);
  dhKnobFrame = PreviousFrame(dhKnobFrame);
  return 0;
}

int32_t GAUGE_CALL AltTestPress(uint32_t, uint32_t) {
  Set(kRaTest, 1);
  altTestEndMark = TruncateToInt32(kAltTestLength + vars[kTestCounter].value);
  PlayClick(kClick);
  return 0;
}

// ---- pictures --------------------------------------------------------------

double GAUGE_CALL BaroKnobPicture(ElementHead*) { return baroKnobFrame; }

double GAUGE_CALL DhKnobPicture(ElementHead*) { return dhKnobFrame; }

double GAUGE_CALL LegendLightPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return powered == 1 && vars[kPanelLighting].value == 1.0 ? 1.0 : 0.0;
}

// ---- panel service events --------------------------------------------------

struct PfdSettingsSteps : GaugeSteps {
  static void BindNamedVariables() {
    for (int which = 0; which < kNamedCount; ++which) {
      InitializeVarByName(namedVars[which], kNamedVarNames[which]);
    }
  }
  static void Derive() {
    const double counter = vars[kTestCounter].value;
    if (counter == 0.0 || counter == altTestEndMark) {
      Set(kRaTest, 0);
      altTestEndMark = 0;
    }
    powered = PoweredFrom(vars[kBusVoltage].value);
  }
  static void FirstDrawReset() { altTestEndMark = baroKnobFrame = dhKnobFrame = powered = 0; }
};

// ---- records ---------------------------------------------------------------

extern StaticImageElement face;
extern IconElement baroKnob;
extern IconElement dhKnob;
extern IconElement legends;
extern MouseRect mouseRects[];

constinit ElementHead* rootSlot[1] = {&face.head};
constinit GaugeHeader gaugeHeader =
    MakeGaugeHeader("orlapfdset", rootSlot, mouseRects,
                    GaugeEvents<PfdSettingsSteps, vars, firstDrawDone>);

constinit FailureRecord failures[4] = {};

constinit ElementHead* faceChildren[2] = {&baroKnob.head, nullptr};
constinit ElementHead* baroChildren[2] = {&dhKnob.head, nullptr};
constinit ElementHead* dhChildren[2] = {&legends.head, nullptr};

constinit StaticImageElement face = MakeFace(&gaugeHeader, faceChildren, &failures[0]);
// BARO knob in four turned positions, 15 x 15.
constinit IconElement baroKnob = MakeIcon(
    MakeHead(kIcon, 0x1100, 19, 36, &gaugeHeader, baroChildren, &failures[1]), 4,
    BaroKnobPicture);
// DH-SET knob in four turned positions, 13 x 13.
constinit IconElement dhKnob = MakeIcon(
    MakeHead(kIcon, 0x1200, 19, 115, &gaugeHeader, dhChildren, &failures[2]), 4,
    DhKnobPicture);
// Lit legends over the whole 64 x 263 face; picture 0 is all black.
constinit IconElement legends = MakeIcon(
    MakeHead(kIcon, 0x1300, 0, 0, &gaugeHeader, nullptr, &failures[3]), 2,
    LegendLightPicture);

constinit MouseRect mouseRects[] = {
    MakeMouseMarker(kRectParent),
    //              x    y  width height cursor       callback         control
    MakeMouseChild(28,  32,  13,   20,  kCursorUp,   BaroKnobRight),  // BARO, right half
    MakeMouseChild(14,  31,  13,   20,  kCursorDown, BaroKnobLeft),   // BARO, left half
    MakeMouseChild(22,  63,  17,   11,  kCursorHand, InMbSelPress),   // IN/MB SEL
    MakeMouseChild(15,  86,  31,   10,  kCursorHand, TempPress),      // TEMP
    MakeMouseChild(27, 112,  14,   18,  kCursorUp,   DhSetRight),     // DH-SET, right half
    MakeMouseChild(13, 111,  14,   19,  kCursorDown, DhSetLeft),      // DH-SET, left half
    MakeMouseChild(15, 140,  30,   11,  kCursorHand, AltTestPress),   // ALT-TEST
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

}  // namespace

GAUGE_MODULE_LINKAGE(gaugeHeader)
