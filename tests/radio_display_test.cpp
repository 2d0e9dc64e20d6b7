// The radio tuning display: its records, the 36 key areas, the TUNE page's
// read-outs and lighting, and its life through the panel service events.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/record_checks.h"

namespace {

using host::DrawnElement;
using host::Frame;
using testing_support::AnyBits;
using testing_support::Copy;
using testing_support::Format;
using testing_support::Key;
using testing_support::LogLines;

class RadioDisplayTest : public testing_support::GaugeTest {
 public:
  RadioDisplayTest() : GaugeTest("VORN_Kestrel_FMC") {}
};

constexpr uint32_t kAdfExtensionVar = 0x12;
constexpr uint32_t kDisplayPowerVar = 0x301;
constexpr uint32_t kLightingVar = 0x0a;
constexpr uint32_t kGreen = 0x0040FF00, kYellow = 0x0000FFFF, kWhite = 0x00FFFFFF,
                   kBlue = 0x00FF8000;
constexpr char kNarrow[] = "Arial Narrow";

// ---- the page ---------------------------------------------------------------

enum class Shows { kLabel, kRadio, kAdf, kAtc };

struct TextField {
  int32_t x, y, width, height;
  const char* font;
  uint32_t weight, colour, var;
  Shows shows;
  const char* label;  // the fixed text of a label, else what the read-out is
};

// The 21 text fields in chain order, after the face and the legends icon.
const TextField kFields[21] = {
    {148, 28, 234, 30, "Arial", 500, kBlue, 0, Shows::kLabel, "TUNE"},
    {60, 52, 322, 20, kNarrow, 100, kWhite, 0, Shows::kLabel, "COM1"},
    {250, 52, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "COM2"},
    {52, 65, 330, 30, kNarrow, 500, kGreen, 0x17, Shows::kRadio, "COM1 frequency"},
    {240, 65, 142, 30, kNarrow, 500, kGreen, 0x366, Shows::kRadio, "COM2 frequency"},
    {60, 86, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {250, 86, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {52, 100, 330, 30, kNarrow, 500, kYellow, 0x269, Shows::kRadio, "COM1 preset"},
    {241, 100, 141, 30, kNarrow, 500, kYellow, 0x367, Shows::kRadio, "COM2 preset"},
    {60, 118, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "NAV1"},
    {250, 118, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "NAV2"},
    {52, 130, 330, 30, kNarrow, 500, kGreen, 0x18, Shows::kRadio, "NAV1 frequency"},
    {240, 130, 142, 30, kNarrow, 500, kGreen, 0x1B, Shows::kRadio, "NAV2 frequency"},
    {60, 153, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {250, 153, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "PRESET"},
    {52, 166, 330, 30, kNarrow, 500, kYellow, 0x368, Shows::kRadio, "NAV1 preset"},
    {240, 166, 142, 30, kNarrow, 500, kYellow, 0x369, Shows::kRadio, "NAV2 preset"},
    {52, 196, 330, 30, kNarrow, 500, kGreen, 0x10, Shows::kAdf, "ADF frequency"},
    {240, 196, 142, 30, kNarrow, 500, kWhite, 0x26, Shows::kAtc, "ATC code"},
    {60, 186, 322, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "ADF"},
    {250, 186, 132, 20, kNarrow, 500, kWhite, 0, Shows::kLabel, "ATC"},
};
constexpr size_t kFirstField = 2;  // face, legends, then the fields

// What the read-outs should show, worked out from the digit groups: each
// group joins the number as its decimal value (a group above 9 adds two
// digits), the number goes through single precision, then gets the
// read-out's count of decimals.
uint32_t Group(uint32_t bits, int shift) { return (bits >> shift) & 0xF; }
uint64_t Append(uint64_t number, uint32_t group) { return number * (group > 9 ? 100 : 10) + group; }
double Scale(uint32_t group) { return group > 9 ? 100.0 : 10.0; }

std::string Fixed(float number, int decimals) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, double{number}, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

std::string ExpectedRadio(uint32_t v) {
  uint64_t number = 1;
  for (int shift : {12, 8, 4, 0}) number = Append(number, Group(v, shift));
  const double hundredths = Scale(Group(v, 4)) * Scale(Group(v, 0));
  return Fixed(static_cast<float>(static_cast<double>(number) / hundredths), 2);
}

std::string ExpectedAdf(uint32_t v, uint32_t extension) {
  uint64_t number = Group(extension, 8);
  for (int shift : {8, 4, 0}) number = Append(number, Group(v, shift));
  number = Append(number, Group(extension, 0));
  return Fixed(static_cast<float>(static_cast<double>(number) / Scale(Group(extension, 0))), 1);
}

std::string ExpectedAtc(uint32_t v) {
  uint64_t number = 0;
  for (int shift : {12, 8, 4, 0}) number = Append(number, Group(v, shift));
  return std::to_string(number);  // at most 15151515: exact in single precision
}

std::string Hex(uint32_t value) { return Format("0x%X", value); }

// One line per drawn element, for comparing whole draws.
std::vector<std::string> Describe(const Frame& frame) {
  std::vector<std::string> lines;
  for (const DrawnElement& e : frame.elements) {
    lines.push_back(std::to_string(e.kind) + " " + Hex(e.resource_id) + " flags " + Hex(e.flags) +
                    " value " + std::to_string(e.value) + " text \"" + std::string(e.text) + "\"");
  }
  return lines;
}

// ---- the keys ---------------------------------------------------------------

constexpr char U[] = "sound\\VORNQEXCLICK.WAV";
constexpr char l[] = "sound\\vornqexclick.wav";

struct KeyArea {
  int32_t x, y, width, height;
  uint32_t cursor, key_event;
  const char* click;
  const char* name;
};

const KeyArea kKeys[36] = {
    {0, 92, 10, 7, 1, 0x10065, U, "L2 upper-left"},
    {0, 62, 24, 16, 5, 0x10344, U, "L1"},
    {0, 103, 10, 8, 2, 0x10064, U, "L2 lower-left"},
    {13, 93, 14, 7, 1, 0x10067, l, "L2 upper-right"},
    {13, 103, 12, 7, 2, 0x10066, l, "L2 lower-right"},
    {349, 60, 23, 13, 5, 0x1038C, l, "R1"},
    {350, 90, 12, 7, 1, 0x10385, l, "R2 upper-left"},
    {349, 98, 12, 7, 2, 0x10384, l, "R2 lower-left"},
    {364, 87, 12, 8, 1, 0x10388, l, "R2 upper-right"},
    {365, 99, 11, 10, 2, 0x10386, l, "R2 lower-right"},
    {1, 125, 24, 15, 5, 0x10390, U, "L3"},
    {348, 120, 28, 18, 5, 0x10394, U, "R3"},
    {0, 155, 12, 11, 1, 0x10069, U, "L4 upper-left"},
    {1, 168, 11, 10, 2, 0x10068, U, "L4 lower-left"},
    {14, 155, 14, 9, 1, 0x1006B, U, "L4 upper-right"},
    {15, 165, 11, 9, 2, 0x1006A, U, "L4 lower-right"},
    {347, 151, 15, 11, 1, 0x1006D, U, "R4 upper-left"},
    {349, 164, 12, 10, 2, 0x1006C, U, "R4 lower-left"},
    {365, 149, 12, 12, 1, 0x1006F, U, "R4 upper-right"},
    {364, 163, 12, 9, 2, 0x1006E, U, "R4 lower-right"},
    {43, 300, 26, 16, 1, 0x10070, U, "F2 upper"},
    {81, 300, 27, 14, 1, 0x10071, U, "F3 upper"},
    {119, 299, 26, 13, 1, 0x10072, U, "F4 upper"},
    {155, 299, 26, 14, 1, 0x1039E, l, "F5 upper"},
    {194, 300, 26, 14, 1, 0x10073, l, "F6 upper"},
    {232, 299, 27, 15, 1, 0x10074, l, "F7 upper"},
    {271, 300, 26, 14, 1, 0x10075, l, "F8 upper"},
    {311, 300, 27, 14, 1, 0x10076, l, "F9 upper"},
    {192, 317, 27, 13, 2, 0x10397, l, "F6 lower"},
    {231, 317, 27, 14, 2, 0x10398, l, "F7 lower"},
    {272, 318, 25, 13, 2, 0x10399, l, "F8 lower"},
    {310, 317, 26, 13, 2, 0x1039A, l, "F9 lower"},
    {41, 316, 28, 14, 2, 0x10082, l, "F2 lower"},
    {80, 316, 26, 13, 2, 0x10083, l, "F3 lower"},
    {119, 316, 25, 13, 2, 0x10084, l, "F4 lower"},
    {155, 316, 27, 13, 2, 0x1039D, l, "F5 lower"},
};

std::vector<std::string> Press(const KeyArea& key) {
  return {Key(key.key_event), Format(R"(play "%s" "" 0)", key.click)};
}

bool Inside(const KeyArea& key, int32_t x, int32_t y) {
  return x >= key.x && x < key.x + key.width && y >= key.y && y < key.y + key.height;
}

std::string Area(size_t index) { return "area " + std::to_string(index + 1) + " (" + kKeys[index].name + ")"; }

// ---- records ------------------------------------------------------------------

TEST_F(RadioDisplayTest, HeaderAndLinkageListTheOneGauge) {
  const GaugeHeader& header = gauge().header();
  EXPECT_EQ(Copy(module().linkage().gauge_headers[0]), &header);
  EXPECT_EQ(Copy(module().linkage().gauge_headers[1]), nullptr);
  EXPECT_EQ(header.header_version, 0x320u);
  EXPECT_STREQ(header.gauge_name, "VORN_Kestrel_FMC");
  EXPECT_EQ(header.default_size, 100u);
  ASSERT_NE(Copy(header.element_list), nullptr);
  EXPECT_NE(Copy(header.mouse_rects), nullptr);
  EXPECT_NE(Copy(header.gauge_callback), nullptr);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Copy(header.reserved_pointers[i]), nullptr) << "pointer slot " << i;
    EXPECT_EQ(header.reserved_words[i], 0u) << "word " << i;
  }
  for (int i = 0; i < 27; ++i) EXPECT_EQ(header.host_fields[i], 0u) << "run-time word " << i;
}

TEST_F(RadioDisplayTest, ElementChainIsFaceLegendsAndTheTwentyOneFields) {
  GaugeHeader& header = gauge().header();
  const std::vector<ElementHead*> chain = gauge().Elements();
  ASSERT_EQ(chain.size(), 23u);
  ASSERT_EQ(Copy(header.element_list)[0], chain[0]);
  std::set<const FailureRecord*> failure_lists;
  for (size_t i = 0; i < chain.size(); ++i) {
    const ElementHead& head = *chain[i];
    SCOPED_TRACE("element " + std::to_string(i));
    EXPECT_EQ(Copy(head.gauge_header), &header);
    EXPECT_EQ(head.image_flags, 0x83u);
    EXPECT_EQ(head.offset_x, 0);
    EXPECT_EQ(head.offset_y, 0);
    EXPECT_EQ(head.reserved[0] | head.reserved[1], 0u);
    if (i + 1 < chain.size()) {
      ASSERT_NE(Copy(head.children), nullptr);
      EXPECT_EQ(Copy(head.children)[0], chain[i + 1]);
      EXPECT_EQ(Copy(head.children)[1], nullptr);
    } else {
      EXPECT_EQ(Copy(head.children), nullptr);
    }
    ASSERT_NE(Copy(head.failure_list), nullptr);
    const FailureRecord zero{};
    EXPECT_EQ(std::memcmp(Copy(head.failure_list), &zero, sizeof zero), 0);
    EXPECT_TRUE(failure_lists.insert(Copy(head.failure_list)).second) << "failure list shared";
  }

  const auto& face = *reinterpret_cast<const StaticImageElement*>(chain[0]);
  EXPECT_EQ(face.head.element_kind, 0u);
  EXPECT_EQ(face.head.resource_id, 0x100u);
  EXPECT_EQ(face.head.position_x, 0);
  EXPECT_EQ(face.head.position_y, 0);
  for (uint32_t word : face.reserved) EXPECT_EQ(word, 0u);

  const auto& icon = *reinterpret_cast<const IconElement*>(chain[1]);
  EXPECT_EQ(icon.head.element_kind, 4u);
  EXPECT_EQ(icon.head.resource_id, 0x1200u);
  EXPECT_EQ(icon.head.position_x, 0);
  EXPECT_EQ(icon.head.position_y, 0);
  EXPECT_EQ(icon.source_var.var_id, 0u);
  EXPECT_EQ(icon.icon_mode, 3u);
  EXPECT_EQ(icon.picture_count, 2u);
  EXPECT_NE(Copy(icon.update_callback), nullptr);
  EXPECT_EQ(icon.reserved_1 | icon.reserved_4, 0u);
  for (uint32_t word : icon.reserved_2) EXPECT_EQ(word, 0u);
  for (uint32_t word : icon.reserved_3) EXPECT_EQ(word, 0u);
}

TEST_F(RadioDisplayTest, TextFieldRecordsCarryThePageLayout) {
  const std::vector<ElementHead*> chain = gauge().Elements();
  ASSERT_EQ(chain.size(), kFirstField + 21);
  for (size_t i = 0; i < 21; ++i) {
    const TextField& want = kFields[i];
    const auto& s = *reinterpret_cast<const StringElement*>(chain[kFirstField + i]);
    SCOPED_TRACE("text field " + std::to_string(i + 1) + " (" + want.label + ")");
    EXPECT_EQ(s.head.element_kind, 2u);
    EXPECT_EQ(s.head.resource_id, 0xFFFFFFFFu);
    EXPECT_EQ(s.head.position_x, want.x);
    EXPECT_EQ(s.head.position_y, want.y);
    EXPECT_EQ(s.box_width, want.width);
    EXPECT_EQ(s.box_height, want.height);
    EXPECT_STREQ(s.font_name, want.font);
    EXPECT_EQ(s.font_weight, want.weight);
    EXPECT_EQ(s.font_charset, 1u);
    EXPECT_EQ(s.text_colour, want.colour) << Hex(s.text_colour);
    EXPECT_EQ(s.background_colour, 0u);
    EXPECT_EQ(s.highlight_colour, 0u);
    EXPECT_EQ(s.string_style, 0x4240u);
    EXPECT_EQ(s.source_vars[0].var_id, want.var) << Hex(s.source_vars[0].var_id);
    EXPECT_EQ(s.source_vars[1].var_id, 0u);
    EXPECT_EQ(s.source_vars[2].var_id, 0u);
    EXPECT_EQ(Copy(s.text_buffer), nullptr);
    EXPECT_NE(Copy(s.update_callback), nullptr);
    EXPECT_EQ(s.reserved_2 | s.reserved_5 | AnyBits(s.reserved_1) | AnyBits(s.reserved_3) |
                  AnyBits(s.reserved_4) | AnyBits(s.reserved_6) | AnyBits(s.reserved_7),
              0u);
  }
}

TEST_F(RadioDisplayTest, MouseListHoldsTheThirtySixKeyAreas) {
  const MouseRect* list = gauge().header().mouse_rects;
  ASSERT_NE(list, nullptr);
  const auto expect_marker = [](const MouseRect& r, uint32_t kind) {
    EXPECT_EQ(r.rect_kind, kind);
    EXPECT_EQ(r.x | r.y | r.width | r.height, 0);
    EXPECT_EQ(r.cursor, 0xFFFFFFFFu);
    EXPECT_EQ(r.help_id | r.event_mask | r.key_event | r.callback_data, 0u);
    EXPECT_EQ(Copy(r.mouse_callback), nullptr);
  };
  expect_marker(list[0], 1);
  expect_marker(list[37], 3);
  expect_marker(list[38], 0);

  const std::vector<const MouseRect*> areas = gauge().MouseAreas();
  ASSERT_EQ(areas.size(), 36u);
  for (size_t i = 0; i < 36; ++i) {
    const KeyArea& want = kKeys[i];
    const MouseRect& r = list[1 + i];
    SCOPED_TRACE(Area(i));
    EXPECT_EQ(areas[i], &r);
    EXPECT_EQ(r.rect_kind, 2u);
    EXPECT_EQ(r.x, want.x);
    EXPECT_EQ(r.y, want.y);
    EXPECT_EQ(r.width, want.width);
    EXPECT_EQ(r.height, want.height);
    EXPECT_EQ(r.cursor, want.cursor);
    EXPECT_EQ(r.event_mask, want.cursor == 5 ? 0x20000000u : 0x20200000u) << Hex(r.event_mask);
    EXPECT_EQ(r.help_id | r.key_event | r.callback_data, 0u);
    EXPECT_NE(Copy(r.mouse_callback), nullptr);
  }
}

// ---- keys ---------------------------------------------------------------------

TEST_F(RadioDisplayTest, EveryAreaSendsItsKeyEventThenClicks) {
  const std::vector<const MouseRect*> areas = gauge().MouseAreas();
  ASSERT_EQ(areas.size(), 36u);
  for (size_t i = 0; i < 36; ++i) {
    host_.ClearLog();
    EXPECT_EQ(gauge().CallMouse(*areas[i]), 0) << Area(i);
    EXPECT_EQ(LogLines(host_), Press(kKeys[i])) << Area(i);
  }
  // Arrow areas take the held-button event as well, with the same effect.
  for (size_t i = 0; i < 36; ++i) {
    if (kKeys[i].cursor == 5) continue;
    host_.ClearLog();
    EXPECT_EQ(gauge().CallMouse(*areas[i], kMouseRepeat), 0) << Area(i);
    EXPECT_EQ(LogLines(host_), Press(kKeys[i])) << Area(i) << " held";
  }
}

TEST_F(RadioDisplayTest, KeysWorkWithTheDisplayDark) {
  vars().Set(kDisplayPowerVar, 0.0);
  vars().Set(kLightingVar, 0.0);
  gauge().Update();
  Draw();
  for (size_t i = 0; i < 36; ++i) {
    const KeyArea& key = kKeys[i];
    host_.ClearLog();
    EXPECT_TRUE(gauge().Click(key.x + key.width / 2, key.y + key.height / 2)) << Area(i);
    EXPECT_EQ(LogLines(host_), Press(key)) << Area(i) << " clicked at its centre";
  }
}

TEST_F(RadioDisplayTest, EveryPixelOfTheFaceHitsTheAreaOfTheKeyTable) {
  const std::vector<const MouseRect*> areas = gauge().MouseAreas();
  ASSERT_EQ(areas.size(), 36u);
  int mismatches = 0;
  for (int32_t y = 0; y < 495; ++y) {
    for (int32_t x = 0; x < 380; ++x) {
      std::vector<size_t> owners;
      for (size_t i = 0; i < 36; ++i) {
        if (Inside(kKeys[i], x, y)) owners.push_back(i);
      }
      EXPECT_LE(owners.size(), 1u) << "areas overlap at (" << x << ", " << y << ")";
      const MouseRect* want = owners.empty() ? nullptr : areas[owners[0]];
      const MouseRect* got = gauge().HitTest(x, y);
      if (got != want && ++mismatches <= 5) {
        ADD_FAILURE() << "hit at (" << x << ", " << y << "): expected "
                      << (want ? Area(owners[0]) : std::string("nothing")) << ", got "
                      << (got ? Area(static_cast<size_t>(got - areas[0])) : std::string("nothing"));
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(RadioDisplayTest, ClicksOutsideEveryAreaCallNothing) {
  const struct {
    int32_t x, y;
    const char* where;
  } misses[] = {{5, 80, "L1 below its area"},  {190, 420, "alphanumeric keypad"},
                {0, 0, "top-left corner"},      {24, 70, "just right of L1"},
                {69, 305, "between F2 and F3"}, {100, 250, "screen"},
                {379, 494, "bottom-right corner"}};
  for (const auto& miss : misses) {
    host_.ClearLog();
    EXPECT_FALSE(gauge().Click(miss.x, miss.y)) << miss.where;
    EXPECT_TRUE(host_.log().empty()) << miss.where;
  }
}

// ---- read-outs --------------------------------------------------------------

TEST_F(RadioDisplayTest, ReadOutsSpotChecks) {
  vars().Set(kDisplayPowerVar, 1.0);
  const struct {
    uint32_t var, value, extension;
    const char* text;
  } cases[] = {
      {0x17, 0x1850, 0, "118.50"},      {0x366, 0x2297, 0, "122.97"},
      {0x269, 0x0000, 0, "100.00"},     {0x1B, 0xFFFF, 0, "11515.15"},
      {0x367, 0x1A00, 0, "1110.00"},    {0x17, 0xFFFF1850, 0, "118.50"},
      {0x10, 0x0350, 0, "350.0"},       {0x10, 0x0234, 0x0105, "1234.5"},
      {0x10, 0xFFFF, 0x0F0F, "15151515.0"}, {0x10, 0xF350, 0xFFFFF0F0, "350.0"},
      {0x26, 0x7700, 0, "7700"},        {0x26, 0x1200, 0, "1200"},
      {0x26, 0x0012, 0, "12"},          {0x26, 0x0000, 0, "0"},
      {0x26, 0x00017700, 0, "7700"},
  };
  for (const auto& c : cases) {
    const size_t field = static_cast<size_t>(
        std::find_if(kFields, kFields + 21, [&](const TextField& f) { return f.var == c.var; }) -
        kFields);
    vars().SetInteger(c.var, c.value);
    vars().SetInteger(kAdfExtensionVar, c.extension);
    gauge().Update();
    EXPECT_EQ(Draw().elements.at(kFirstField + field).text, c.text)
        << kFields[field].label << " var " << Hex(c.var) << " = " << Hex(c.value) << ", 0x12 = "
        << Hex(c.extension);
  }
}

// Every 16-bit value in every read-out at once, for a few ADF extensions.
TEST_F(RadioDisplayTest, ReadOutsDecodeEverySixteenBitValue) {
  vars().Set(kDisplayPowerVar, 1.0);
  for (uint32_t extension : {0x0000u, 0x0105u, 0x0F0Fu, 0x0900u}) {
    vars().SetInteger(kAdfExtensionVar, extension);
    gauge().Update();
    int mismatches = 0;
    for (uint32_t v = 0; v <= 0xFFFF; ++v) {
      for (const TextField& f : kFields) {
        if (f.var != 0) vars().SetInteger(f.var, v);
      }
      const Frame& frame = Draw();
      for (size_t i = 0; i < 21; ++i) {
        const TextField& f = kFields[i];
        std::string want;
        switch (f.shows) {
          case Shows::kLabel: continue;
          case Shows::kRadio: want = ExpectedRadio(v); break;
          case Shows::kAdf: want = ExpectedAdf(v, extension); break;
          case Shows::kAtc: want = ExpectedAtc(v); break;
        }
        const std::string_view got = frame.elements[kFirstField + i].text;
        if (got != want && ++mismatches <= 10) {
          EXPECT_EQ(got, want) << f.label << " var " << Hex(f.var) << " = " << Hex(v)
                               << ", 0x12 = " << Hex(extension);
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << "read-outs wrong with 0x12 = " << Hex(extension);
  }
}

TEST_F(RadioDisplayTest, AdfExtensionIsTakenAtUpdateOnly) {
  vars().Set(kDisplayPowerVar, 1.0);
  vars().SetInteger(0x10, 0x0234);
  gauge().Update();
  EXPECT_EQ(Draw().elements[kFirstField + 17].text, "234.0");
  vars().SetInteger(kAdfExtensionVar, 0x0105);
  EXPECT_EQ(Draw().elements[kFirstField + 17].text, "234.0") << "0x12 read before an update";
  gauge().Update();
  EXPECT_EQ(Draw().elements[kFirstField + 17].text, "1234.5");
}

// ---- display power and lit legends ------------------------------------------

TEST_F(RadioDisplayTest, TextShowsOnlyWithDisplayPowerExactlyOne) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double powers[] = {1.0, 0.0, 0.999, 2.0, nan, -1.0, std::nextafter(1.0, 2.0), 1.0, 0.0};
  uint32_t v = 0x1850;
  for (double power : powers) {
    vars().Set(kDisplayPowerVar, power);
    gauge().Update();
    // A new value each round: the text is written whether shown or not.
    v = v == 0x1850 ? 0x2297 : 0x1850;
    for (const TextField& f : kFields) {
      if (f.var != 0 && f.var != 0x10) vars().SetInteger(f.var, v);
    }
    // The callbacks set their bits afresh at every call.
    for (size_t i = 0; i < 21; ++i) {
      gauge().Elements()[kFirstField + i]->image_flags = power == 1.0 ? 0x40000083u : 0x83u;
    }
    const Frame& frame = Draw();
    const uint32_t want_flags = power == 1.0 ? 0x87u : 0x40000087u;
    for (size_t i = 0; i < 21; ++i) {
      const TextField& f = kFields[i];
      const DrawnElement& e = frame.elements[kFirstField + i];
      EXPECT_EQ(e.flags, want_flags) << f.label << " with power " << power;
      if (f.shows == Shows::kLabel) {
        EXPECT_EQ(e.text, f.label) << "label with power " << power;
      } else if (f.shows == Shows::kRadio) {
        EXPECT_EQ(e.text, v == 0x1850 ? "118.50" : "122.97") << f.label << " with power " << power;
      } else if (f.shows == Shows::kAtc) {
        EXPECT_EQ(e.text, v == 0x1850 ? "1850" : "2297") << f.label << " with power " << power;
      }
    }
  }
  vars().Set(kDisplayPowerVar, 1.0);
  const Frame& stale = Draw();
  EXPECT_TRUE(stale.elements[kFirstField].hidden()) << "display power read before an update";
}

TEST_F(RadioDisplayTest, LegendsLightOnlyWithLightingAndPowerBothOne) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {1.0, 0.0, 0.999, 2.0, nan};
  for (double lighting : values) {
    for (double power : values) {
      vars().Set(kLightingVar, lighting);
      vars().Set(kDisplayPowerVar, power);
      gauge().Update();
      gauge().Elements()[1]->image_flags = 0x83;
      const DrawnElement& icon = Draw().elements.at(1);
      const double want = lighting == 1.0 && power == 1.0 ? 1.0 : 0.0;
      EXPECT_EQ(icon.value, want) << "lighting " << lighting << ", power " << power;
      EXPECT_EQ(icon.flags, 0x87u) << "lighting " << lighting << ", power " << power;
    }
  }
  vars().Set(kLightingVar, 1.0);
  vars().Set(kDisplayPowerVar, 1.0);
  gauge().Update();
  EXPECT_EQ(Draw().elements.at(1).value, 1.0);
  vars().Set(kLightingVar, 0.0);
  EXPECT_EQ(Draw().elements.at(1).value, 1.0) << "lighting read before an update";
}

// ---- life of the gauge --------------------------------------------------------

TEST_F(RadioDisplayTest, UpdateLooksUpItsThreeVariablesInOrder) {
  for (const host::LogEntry& entry : host_.log()) {
    EXPECT_NE(entry.kind, host::LogKind::kNamedBind) << entry.Describe();
    EXPECT_NE(entry.kind, host::LogKind::kTrappedSlot) << entry.Describe();
  }
  host_.TraceLookups(true);
  host_.ClearLog();
  gauge().Update();
  std::vector<uint32_t> looked_up;
  for (const host::LogEntry& entry : host_.log()) {
    EXPECT_EQ(entry.kind, host::LogKind::kLookup) << entry.Describe();
    looked_up.push_back(entry.id);
  }
  EXPECT_EQ(looked_up, (std::vector<uint32_t>{0x12, 0x301, 0x0a}));
}

TEST_F(RadioDisplayTest, OtherEventNumbersChangeNothing) {
  vars().Set(kDisplayPowerVar, 1.0);
  vars().Set(kLightingVar, 1.0);
  vars().SetInteger(kAdfExtensionVar, 0x0105);
  vars().SetInteger(0x10, 0x0234);
  vars().SetInteger(0x17, 0x2297);
  gauge().Update();
  const std::vector<std::string> before = Describe(Draw());
  // Were any of these taken for an update, the next draw would show it.
  vars().Set(kDisplayPowerVar, 0.0);
  vars().Set(kLightingVar, 0.0);
  vars().SetInteger(kAdfExtensionVar, 0);
  host_.TraceLookups(true);
  for (int32_t event : {0, 1, 2, 3, 5, 7, 8, 9, 11, 13, -1, std::numeric_limits<int32_t>::max(),
                        std::numeric_limits<int32_t>::min()}) {
    host_.ClearLog();
    gauge().SendEvent(event);
    EXPECT_EQ(LogLines(host_, false), std::vector<std::string>{}) << "event " << event;
    EXPECT_EQ(Describe(Draw()), before) << "after event " << event;
  }
}

TEST_F(RadioDisplayTest, KillStopsSoundsAndAfterwardsNothingClicks) {
  const MouseRect* r1 = gauge().MouseAreas().at(5);
  host_.ClearLog();
  gauge().Kill();
  EXPECT_EQ(LogLines(host_), std::vector<std::string>{"terminate sounds"});
  host_.ClearLog();
  gauge().CallMouse(*r1);
  for (const std::string& line : LogLines(host_)) {
    EXPECT_EQ(line.rfind("play", 0), std::string::npos) << "click after kill: " << line;
  }
}

TEST_F(RadioDisplayTest, GaugeCreatedAgainClicksAgain) {
  gauge().Kill();
  host::Gauge* again = host_.CreateGauge(module());
  ASSERT_NE(again, nullptr);
  again->Update();
  again->Draw();
  host_.ClearLog();
  EXPECT_EQ(again->CallMouse(*again->MouseAreas().at(5)), 0);
  EXPECT_EQ(LogLines(host_), Press(kKeys[5]));
}

TEST_F(RadioDisplayTest, KillingOneOfTwoGaugesLeavesTheOtherClicking) {
  host::Gauge* second = host_.CreateGauge(module());
  ASSERT_NE(second, nullptr);
  host_.ClearLog();
  gauge().Kill();
  EXPECT_EQ(LogLines(host_), std::vector<std::string>{"terminate sounds"});
  second->Update();
  host_.ClearLog();
  EXPECT_TRUE(second->Click(5, 70));  // L1
  EXPECT_EQ(LogLines(host_), Press(kKeys[1]));
}

}  // namespace
