// orlahyd: the hydraulics panel. A HYD PRESS needle that ramps in steps of 20
// towards the greater of two hydraulic pressures, and dial lighting at the
// level that the dimmer gauge's "dimbrtb" selects. Nothing to click.
#include "frame/convert.h"
#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/mouse_rect.h"
#include "frame/gauge_events.h"

namespace {

// Looked up on every update, in this order.
enum : int { kBusVoltage, kPanelLighting, kPressureB, kPressureA, kVarCount };
constinit ModuleVar vars[kVarCount] = {
    SimVar(0x2f1),  // power: powered while above 10.0
    SimVar(0x0a),   // panel lighting: lit while exactly 1.0
    SimVar(0x2de),  // second source, in 1/281 psi
    SimVar(0x2dc),  // first source, in 1/281 psi
};
constinit ModuleVar dimmerVar = {};  // "dimbrtb": 1 bright, 2 dim

constexpr double kPressureDivisor = 281.0;
constexpr int32_t kNeedleStep = 20;

int32_t firstDrawDone = 0;
int32_t powered = 0;
int32_t dimSelection = 0;
int32_t pressureA = 0;
int32_t pressureB = 0;
int32_t needlePressure = 0;

bool Lit() { return powered == 1 && vars[kPanelLighting].value == 1.0; }

// One step of 20 towards the greater pressure, settling on the greatest
// multiple of 20 that does not exceed it. A step that would leave the 32-bit
// range is not taken.
void RampNeedle() {
  if ((pressureA > needlePressure || pressureB > needlePressure) &&
      needlePressure <= INT32_MAX - kNeedleStep) {
    needlePressure += kNeedleStep;
  }
  if (pressureA < needlePressure && pressureB < needlePressure &&
      needlePressure >= INT32_MIN + kNeedleStep) {
    needlePressure -= kNeedleStep;
  }
}

double GAUGE_CALL LegendLightPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return Lit() ? dimSelection : 0.0;
}

double GAUGE_CALL HydPressNeedleValue(ElementHead* element) {
  SetFlag(element, kFlagLit, Lit());
  return needlePressure;
}

struct HydraulicsSteps : GaugeSteps {
  // Bound though nothing here clicks: every module's initialise and kill bind and release it.
  using Sound = PerGaugeSoundBinding;
  static void BindNamedVariables() { InitializeVarByName(dimmerVar, "dimbrtb"); }
  static void Derive() {
    if (dimmerVar.value_ptr != nullptr) dimSelection = *dimmerVar.value_ptr;
    powered = PoweredFrom(vars[kBusVoltage].value);
    pressureA = TruncateToInt32(vars[kPressureA].value / kPressureDivisor);
    pressureB = TruncateToInt32(vars[kPressureB].value / kPressureDivisor);
    RampNeedle();
  }
  static void FirstDrawReset() {
    dimSelection = 2;
    powered = needlePressure = pressureA = pressureB = 0;
  }
};

// ---- records -------------------------------------------------------------

extern StaticImageElement face;
extern IconElement dialLighting;
extern NeedleElement hydPressNeedle;
extern MouseRect mouseRects[];

constinit ElementHead* rootSlot[1] = {&face.head};
constinit GaugeHeader gaugeHeader =
    MakeGaugeHeader("orlahyd", rootSlot, mouseRects,
                    GaugeEvents<HydraulicsSteps, vars, firstDrawDone>);

constinit FailureRecord failures[3] = {};

constinit NeedleScalePoint needleScale[2] = {
    {218, 50, 0.0, 0.0},     // 0 at the lower left
    {258, 24, 1500.0, 0.0},  // 15 at the upper right
};

constinit ElementHead* faceChildren[2] = {&dialLighting.head, nullptr};
constinit ElementHead* lightingChildren[2] = {&hydPressNeedle.head, nullptr};

constinit StaticImageElement face = MakeFace(&gaugeHeader, faceChildren, &failures[0]);

constinit IconElement dialLighting = MakeIcon(
    MakeHead(kIcon, 0x1100, 0, 0, &gaugeHeader, lightingChildren, &failures[1]), 3,
    LegendLightPicture);

constexpr NeedleElement MakeHydPressNeedle() {
  NeedleElement needle{};
  needle.head = MakeHead(kNeedle, 0x1200, 240, 38, &gaugeHeader, nullptr, &failures[2]);
  needle.head.offset_x = 7;
  needle.head.offset_y = 7;
  needle.scale_table = needleScale;
  needle.scale_point_count = 2;
  needle.update_callback = HydPressNeedleValue;
  return needle;
}
constinit NeedleElement hydPressNeedle = MakeHydPressNeedle();

constinit MouseRect mouseRects[] = {
    MakeMouseMarker(kRectParent),
    MakeMouseMarker(kRectParentEnd),
    MakeMouseMarker(kRectEnd),
};

}  // namespace

GAUGE_MODULE_LINKAGE(gaugeHeader)
