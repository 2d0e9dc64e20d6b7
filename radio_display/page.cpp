// VORN_Kestrel_FMC: the radio tuning page. The screen of the control display
// unit shows one fixed page, "TUNE": COM1, COM2, NAV1, NAV2 with their
// presets, ADF and ATC, decoded from BCD variables, shown only while the
// display has power; the key legends light with the panel lights.
#include <bit>
#include <cstdint>

#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/gauge_events.h"
#include "radio_display/radio_display.h"

namespace radio_display {
namespace {

// Looked up on every update, in this order.
enum : int { kAdfExtension, kDisplayPower, kPanelLighting, kVarCount };
constinit ModuleVar vars[kVarCount] = {
    SimVar(0x12),   // ADF: bits 8-11 leading digit, bits 0-3 tenths
    SimVar(0x301),  // display power: text shown while exactly 1.0
    SimVar(0x0a),   // panel lighting
};

// Kept as every module keeps it, the common first-draw latch; the page has no state to reset.
int32_t firstDrawDone = 0;

// ---- text ------------------------------------------------------------------

// Bit 0x4 always; hidden unless the display power reads exactly 1.0.
void ApplyDisplayPower(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  SetFlag(element, kFlagHidden, !(vars[kDisplayPower].value == 1.0));
}

StringElement* AsString(ElementHead* element) { return reinterpret_cast<StringElement*>(element); }

// Copies `text` into the element's buffer, cut to its capacity.
void WriteText(ElementHead* element, const char* text, const char* end) {
  char* buffer = AsString(element)->text_buffer;
  int length = 0;
  for (; text + length != end && length < kStringTextCapacity - 1; ++length) {
    buffer[length] = text[length];
  }
  buffer[length] = '\0';
}

template <const char* Label>
double GAUGE_CALL LabelText(ElementHead* element) {
  ApplyDisplayPower(element);
  const char* end = Label;
  while (*end != '\0') ++end;
  WriteText(element, Label, end);
  return 0.0;
}

constexpr char kTune[] = "TUNE";
constexpr char kCom1[] = "COM1";
constexpr char kCom2[] = "COM2";
constexpr char kPreset[] = "PRESET";
constexpr char kNav1[] = "NAV1";
constexpr char kNav2[] = "NAV2";
constexpr char kAdf[] = "ADF";
constexpr char kAtc[] = "ATC";

// A scratch text built from 4-bit digit groups. Each group is written as a
// decimal number, so a group above 9 takes two characters; nothing is
// validated. At most 11 characters and the NUL.
class Scratch {
 public:
  Scratch& Group(uint32_t value, int shift) {
    const uint32_t group = (value >> shift) & 0xF;
    if (group >= 10) text_[length_++] = '1';
    text_[length_++] = static_cast<char>('0' + group % 10);
    text_[length_] = '\0';
    return *this;
  }
  Scratch& Char(char c) {
    text_[length_++] = c;
    text_[length_] = '\0';
    return *this;
  }
  const char* text() const { return text_; }
  const char* end() const { return text_ + length_; }

 private:
  char text_[16] = {};
  int length_ = 0;
};

// The scratch text read as a number: digits with at most one point, exactly
// as atof reads it in the "C" locale. The digits form an integer below 2^53
// (at most 10 of them), so every step of the sum is exact, and one division
// by an exact power of ten (at most 10^4) rounds once, to the nearest double.
// In the 32-bit build this is SSE2 arithmetic, whatever the x87 precision.
double ReadScratch(const Scratch& scratch) {
  constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0};
  double digits = 0.0;
  int decimals = -1;  // digits after the point; -1 before it
  for (const char* c = scratch.text(); c != scratch.end(); ++c) {
    if (*c == '.') {
      decimals = 0;
      continue;
    }
    digits = digits * 10.0 + (*c - '0');
    if (decimals >= 0) ++decimals;
  }
  return decimals > 0 ? digits / kPowersOfTen[decimals] : digits;
}

// `number` with `decimals` digits after the point (0 to 2), rounded to
// nearest with ties to even on its exact binary value: what "%.*f" prints in
// the "C" locale. Worked out in integers from the float's bits, so neither
// the C locale (the host process may have set a decimal comma) nor the x87
// unit (the host may have lowered its precision) has a say. The scratch
// holds at most 10 digits, so the number is below 2^34 and every step fits
// in 64 bits.
void WriteFixed(ElementHead* element, float number, int decimals) {
  const uint32_t bits = std::bit_cast<uint32_t>(number);  // never negative here
  const int exponent = static_cast<int>((bits >> 23) & 0xFF);
  uint64_t scaled = (bits & 0x7FFFFF) | (exponent != 0 ? 0x800000u : 0u);
  for (int i = 0; i < decimals; ++i) scaled *= 10;
  const int shift = (exponent != 0 ? exponent : 1) - 150;  // number = mantissa * 2^shift
  if (shift >= 0) {
    scaled <<= shift;
  } else if (shift > -64) {
    const uint64_t rest = scaled & ((uint64_t{1} << -shift) - 1);
    const uint64_t half = uint64_t{1} << (-shift - 1);
    scaled >>= -shift;
    if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
  } else {
    scaled = 0;
  }
  // The digits, least significant first, at least one before the point.
  char reversed[24];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + scaled % 10);
    scaled /= 10;
  } while (scaled != 0 || count <= decimals);
  char text[26];
  int length = 0;
  while (count > 0) {
    if (count == decimals) text[length++] = '.';
    text[length++] = reversed[--count];
  }
  WriteText(element, text, text + length);
}

// The scratch text read as a number, narrowed to single precision, printed
// with `decimals` digits after the point.
void WriteNumber(ElementHead* element, const Scratch& scratch, int decimals) {
  WriteFixed(element, static_cast<float>(ReadScratch(scratch)), decimals);
}

uint32_t OwnValue(ElementHead* element) { return VarInteger(AsString(element)->source_vars[0]); }

// "1%d%d.%d%d" of the four groups, with two decimals.
double GAUGE_CALL RadioFrequencyText(ElementHead* element) {
  ApplyDisplayPower(element);
  const uint32_t v = OwnValue(element);
  Scratch scratch;
  scratch.Char('1').Group(v, 12).Group(v, 8).Char('.').Group(v, 4).Group(v, 0);
  WriteNumber(element, scratch, 2);
  return 0.0;
}

// "%d%d%d%d.%d": the extension's bits 8-11, three groups of the variable,
// the extension's bits 0-3; with one decimal.
double GAUGE_CALL AdfFrequencyText(ElementHead* element) {
  ApplyDisplayPower(element);
  const uint32_t v = OwnValue(element);
  const uint32_t a = VarInteger(vars[kAdfExtension]);
  Scratch scratch;
  scratch.Group(a, 8).Group(v, 8).Group(v, 4).Group(v, 0).Char('.').Group(a, 0);
  WriteNumber(element, scratch, 1);
  return 0.0;
}

// "%d%d%d%d" of the four groups, with no decimals.
double GAUGE_CALL TransponderCodeText(ElementHead* element) {
  ApplyDisplayPower(element);
  const uint32_t v = OwnValue(element);
  Scratch scratch;
  scratch.Group(v, 12).Group(v, 8).Group(v, 4).Group(v, 0);
  WriteNumber(element, scratch, 0);
  return 0.0;
}

// Lighting is tested first, then display power; NaN counts as not equal.
double GAUGE_CALL LegendLightPicture(ElementHead* element) {
  SetFlag(element, kFlagLit, true);
  return vars[kPanelLighting].value == 1.0 && vars[kDisplayPower].value == 1.0 ? 1.0 : 0.0;
}

// ---- panel service events --------------------------------------------------

// No named variables, nothing derived, nothing to reset: only the sound
// binding differs from the panels'.
struct RadioDisplaySteps : GaugeSteps {
  using Sound = RebindingSoundBinding;
};

// ---- records ---------------------------------------------------------------

extern StaticImageElement face;
extern IconElement legends;

constexpr int kStringCount = 21;
extern StringElement strings[kStringCount];

constinit FailureRecord failures[2 + kStringCount] = {};

constinit ElementHead* rootSlot[1] = {&face.head};
constinit GaugeHeader gaugeHeader =
    MakeGaugeHeader("VORN_Kestrel_FMC", rootSlot, keyAreas,
                    GaugeEvents<RadioDisplaySteps, vars, firstDrawDone>);

// The chain: face, lit legends, then the strings in table order.
constinit ElementHead* faceChildren[2] = {&legends.head, nullptr};
constinit ElementHead* legendsChildren[2] = {&strings[0].head, nullptr};
constinit ElementHead* stringChildren[kStringCount - 1][2] = {
    {&strings[1].head, nullptr},  {&strings[2].head, nullptr},  {&strings[3].head, nullptr},
    {&strings[4].head, nullptr},  {&strings[5].head, nullptr},  {&strings[6].head, nullptr},
    {&strings[7].head, nullptr},  {&strings[8].head, nullptr},  {&strings[9].head, nullptr},
    {&strings[10].head, nullptr}, {&strings[11].head, nullptr}, {&strings[12].head, nullptr},
    {&strings[13].head, nullptr}, {&strings[14].head, nullptr}, {&strings[15].head, nullptr},
    {&strings[16].head, nullptr}, {&strings[17].head, nullptr}, {&strings[18].head, nullptr},
    {&strings[19].head, nullptr}, {&strings[20].head, nullptr},
};

constinit StaticImageElement face = MakeFace(&gaugeHeader, faceChildren, &failures[0]);

// Picture 0 (0x1200) all black; picture 1 (0x1201) the key legends lit.
constinit IconElement legends = MakeIcon(
    MakeHead(kIcon, 0x1200, 0, 0, &gaugeHeader, legendsChildren, &failures[1]), 2,
    LegendLightPicture);

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kGreen = 0x0040FF00;
constexpr uint32_t kYellow = 0x0000FFFF;
constexpr uint32_t kBlue = 0x00FF8000;
constexpr char kArial[] = "Arial";
constexpr char kNarrow[] = "Arial Narrow";

// Row `index` of the page table (0 for the title).
constexpr StringElement Text(int index, int32_t x, int32_t y, int32_t width, int32_t height,
                             const char* font, uint32_t weight, uint32_t colour, uint32_t var_id,
                             ElementUpdateCallback callback) {
  StringElement text{};
  ElementHead** next = index + 1 < kStringCount ? stringChildren[index] : nullptr;
  text.head = MakeHead(kString, kNoResource, x, y, &gaugeHeader, next, &failures[2 + index]);
  text.source_vars[0] = SimVar(var_id);
  text.box_width = width;
  text.box_height = height;
  text.text_colour = colour;
  for (int i = 0; font[i] != '\0'; ++i) text.font_name[i] = font[i];
  text.font_weight = weight;
  text.font_charset = 1;
  text.string_style = kStringStyle;
  text.update_callback = callback;
  return text;
}

constinit StringElement strings[kStringCount] = {
    //       x    y   width height font     weight colour   var    callback
    Text(0,  148,  28, 234, 30, kArial,  500, kBlue,   0,     LabelText<kTune>),
    Text(1,   60,  52, 322, 20, kNarrow, 100, kWhite,  0,     LabelText<kCom1>),
    Text(2,  250,  52, 132, 20, kNarrow, 500, kWhite,  0,     LabelText<kCom2>),
    Text(3,   52,  65, 330, 30, kNarrow, 500, kGreen,  0x17,  RadioFrequencyText),   // COM1
    Text(4,  240,  65, 142, 30, kNarrow, 500, kGreen,  0x366, RadioFrequencyText),   // COM2
    Text(5,   60,  86, 322, 20, kNarrow, 500, kWhite,  0,     LabelText<kPreset>),
    Text(6,  250,  86, 132, 20, kNarrow, 500, kWhite,  0,     LabelText<kPreset>),
    Text(7,   52, 100, 330, 30, kNarrow, 500, kYellow, 0x269, RadioFrequencyText),   // COM1 preset
    Text(8,  241, 100, 141, 30, kNarrow, 500, kYellow, 0x367, RadioFrequencyText),   // COM2 preset
    Text(9,   60, 118, 322, 20, kNarrow, 500, kWhite,  0,     LabelText<kNav1>),
    Text(10, 250, 118, 132, 20, kNarrow, 500, kWhite,  0,     LabelText<kNav2>),
    Text(11,  52, 130, 330, 30, kNarrow, 500, kGreen,  0x18,  RadioFrequencyText),   // NAV1
    Text(12, 240, 130, 142, 30, kNarrow, 500, kGreen,  0x1B,  RadioFrequencyText),   // NAV2
    Text(13,  60, 153, 322, 20, kNarrow, 500, kWhite,  0,     LabelText<kPreset>),
    Text(14, 250, 153, 132, 20, kNarrow, 500, kWhite,  0,     LabelText<kPreset>),
    Text(15,  52, 166, 330, 30, kNarrow, 500, kYellow, 0x368, RadioFrequencyText),   // NAV1 preset
    Text(16, 240, 166, 142, 30, kNarrow, 500, kYellow, 0x369, RadioFrequencyText),   // NAV2 preset
    Text(17,  52, 196, 330, 30, kNarrow, 500, kGreen,  0x10,  AdfFrequencyText),     // ADF
    Text(18, 240, 196, 142, 30, kNarrow, 500, kWhite,  0x26,  TransponderCodeText),  // ATC
    Text(19,  60, 186, 322, 20, kNarrow, 500, kWhite,  0,     LabelText<kAdf>),
    Text(20, 250, 186, 132, 20, kNarrow, 500, kWhite,  0,     LabelText<kAtc>),
};

}  // namespace
}  // namespace radio_display

GAUGE_MODULE_LINKAGE(radio_display::gaugeHeader)
