// orlaaudio: the audio control panel. Eight push knobs that send key events
// and click, each with a green lamp; two DME latches kept by the panel; the
// lit legends.
#include "frame/convert.h"
#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/key_press.h"
#include "frame/mouse_rect.h"
#include "frame/gauge_events.h"
#include "frame/sound_binding.h"

namespace {

// Looked up on every update, in this order.
enum : int {
  kBusVoltage, kPanelLighting, kLampEnable,
  kComm1Lamp, kComm2Lamp, kNav1Lamp, kNav2Lamp, kDmeLamps, kAdf1Lamp, kLeftKnobLamp,
  kVarCount,
};
constinit ModuleVar vars[kVarCount] = {
    SimVar(0x2f1),  // power: powered while above 10.0
    SimVar(0x0a),   // legend lighting
    SimVar(0x305),  // lamp enable, truncated
    SimVar(0x36a),  // COMM 1 lamp
    SimVar(0x36b),  // COMM 2 lamp
    SimVar(0x36d),  // NAV 1 lamp
    SimVar(0x36e),  // NAV 2 lamp
    SimVar(0x36f),  // both DME lamps; 0.0 clears both latches
    SimVar(0x370),  // ADF 1 lamp
    SimVar(0x371),  // left knob lamp
};

constexpr char kClick[] = "sound\\orlaclick.wav";

int32_t firstDrawDone = 0;
int32_t powered = 0;
int32_t lampEnable = 0;
int32_t dme1Latch = 0;
int32_t dme2Latch = 0;

// ---- pictures --------------------------------------------------------------

bool LampsOn() { return powered == 1 && lampEnable == 1; }

double GAUGE_CALL LegendLightPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return powered == 1 && vars[kPanelLighting].value == 1.0 ? 1.0 : 0.0;
}

// A lamp that shows its variable's value as the picture index, unchanged.
template <int Var>
double GAUGE_CALL LampPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return LampsOn() ? vars[Var].value : 0.0;
}

template <const int32_t& Latch>
double GAUGE_CALL DmeLampPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return LampsOn() && vars[kDmeLamps].value == 1.0 && Latch == 1 ? 1.0 : 0.0;
}

constexpr auto Comm1LampPicture = LampPicture<kComm1Lamp>;
constexpr auto Comm2LampPicture = LampPicture<kComm2Lamp>;
constexpr auto Nav1LampPicture = LampPicture<kNav1Lamp>;
constexpr auto Nav2LampPicture = LampPicture<kNav2Lamp>;
constexpr auto Adf1LampPicture = LampPicture<kAdf1Lamp>;
constexpr auto LeftKnobLampPicture = LampPicture<kLeftKnobLamp>;
constexpr auto Dme1LampPicture = DmeLampPicture<dme1Latch>;
constexpr auto Dme2LampPicture = DmeLampPicture<dme2Latch>;

// ---- buttons ---------------------------------------------------------------

constexpr auto Comm1Press = KeyThenClick<0x1039f, kClick>;
constexpr auto Comm2Press = ClickThenKey<0x103a0, kClick>;
constexpr auto Nav1Press = KeyThenClick<0x10132, kClick>;
constexpr auto Nav2Press = ClickThenKey<0x10133, kClick>;
constexpr auto Adf1Press = KeyThenClick<0x10136, kClick>;
constexpr auto LeftKnobPress = KeyThenClick<0x103ad, kClick>;

int32_t GAUGE_CALL Dme1Press(uint32_t, uint32_t) {
  if (dme1Latch == 0) {
    TriggerKeyEvent(0x1012f);
    PlayClick(kClick);
    dme1Latch = 1;
  } else {
    dme1Latch = 0;
    TriggerKeyEvent(0x1012a);
    PlayClick(kClick);
  }
  return 0;
}

int32_t GAUGE_CALL Dme2Press(uint32_t, uint32_t) {
  if (dme2Latch == 0) {
    dme2Latch = 1;
    TriggerKeyEvent(0x10130);
    PlayClick(kClick);
  } else {
    dme2Latch = 0;
    TriggerKeyEvent(0x1012b);
    PlayClick(kClick);
  }
  return 0;
}

// ---- panel service events --------------------------------------------------

struct AudioPanelSteps : GaugeSteps {
  static void Derive() {
    powered = PoweredFrom(vars[kBusVoltage].value);
    lampEnable = TruncateToInt32(vars[kLampEnable].value);
    if (vars[kDmeLamps].value == 0.0) {
      dme1Latch = 0;
      dme2Latch = 0;
    }
  }
  static void FirstDrawReset() { powered = lampEnable = dme1Latch = dme2Latch = 0; }
};

// ---- records ---------------------------------------------------------------

extern StaticImageElement face;
extern IconElement icons[9];
extern MouseRect mouseRects[];

constinit ElementHead* rootSlot[1] = {&face.head};
constinit GaugeHeader gaugeHeader =
    MakeGaugeHeader("orlaaudio", rootSlot, mouseRects,
                    GaugeEvents<AudioPanelSteps, vars, firstDrawDone>);

constexpr int kElementCount = 10;
constinit FailureRecord failures[kElementCount] = {};

// The chain: face, lit legends, then the eight lamps.
constinit ElementHead* children[kElementCount - 1][2] = {
    {&icons[0].head, nullptr}, {&icons[1].head, nullptr}, {&icons[2].head, nullptr},
    {&icons[3].head, nullptr}, {&icons[4].head, nullptr}, {&icons[5].head, nullptr},
    {&icons[6].head, nullptr}, {&icons[7].head, nullptr}, {&icons[8].head, nullptr},
};

constinit StaticImageElement face = MakeFace(&gaugeHeader, children[0], &failures[0]);

constexpr IconElement Icon(int order, uint32_t resource, int32_t x, int32_t y,
                           ElementUpdateCallback callback) {
  ElementHead** next = order + 1 < kElementCount ? children[order] : nullptr;
  return MakeIcon(MakeHead(kIcon, resource, x, y, &gaugeHeader, next, &failures[order]), 2,
                  callback);
}

constinit IconElement icons[9] = {
    //  order  resource   x    y   update callback         picture size
    Icon(1,    0x1100,    0,   0,  LegendLightPicture),    // 140 x 247
    Icon(2,    0x1200,   55,  79,  Comm1LampPicture),      //   8 x 8
    Icon(3,    0x1300,   87,  77,  Comm2LampPicture),      //  10 x 8
    Icon(4,    0x1400,   55, 118,  Nav1LampPicture),       //   7 x 8
    Icon(5,    0x1500,   88, 117,  Nav2LampPicture),       //   5 x 9
    Icon(6,    0x1600,   56, 154,  Dme1LampPicture),       //   5 x 8
    Icon(7,    0x1700,   88, 155,  Dme2LampPicture),       //   5 x 8
    Icon(8,    0x1800,   57, 226,  Adf1LampPicture),       //   5 x 7
    Icon(9,    0x1900,   19,  77,  LeftKnobLampPicture),   //   6 x 5
};

constinit MouseRect mouseRects[] = {
    MakeMouseMarker(kRectParent),
    //              x    y  width height cursor       callback        knob
    MakeMouseChild(53,  67,  16,   22,  kCursorHand, Comm1Press),    // COMM 1
    MakeMouseChild(86,  71,  17,   17,  kCursorHand, Comm2Press),    // COMM 2
    MakeMouseChild(53, 108,  17,   19,  kCursorHand, Nav1Press),     // NAV 1
    MakeMouseChild(85, 108,  18,   18,  kCursorHand, Nav2Press),     // NAV 2
    MakeMouseChild(53, 147,  14,   17,  kCursorHand, Dme1Press),     // DME 1
    MakeMouseChild(83, 146,  17,   18,  kCursorHand, Dme2Press),     // DME 2
    MakeMouseChild(54, 215,  16,   20,  kCursorHand, Adf1Press),     // ADF 1
    MakeMouseChild(16,  70,  18,   17,  kCursorHand, LeftKnobPress), // left knob
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

}  // namespace

GAUGE_MODULE_LINKAGE(gaugeHeader)
