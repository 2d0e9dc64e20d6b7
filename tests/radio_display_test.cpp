// The radio tuning display: the 36 key areas, the TUNE page's read-outs and
// lighting, and its clicks through a kill.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"
#include "tests/record_checks.h"

namespace {

using host::DrawnElement;
using host::Drawing;
using host::Hex;
using namespace tables::radio;
using namespace testing_support;

class RadioDisplayTest : public testing_support::GaugeTest {
 public:
  RadioDisplayTest() : GaugeTest("VORN_Kestrel_FMC") {}
};

constexpr uint32_t kAdfExtensionVar = 0x12;
constexpr uint32_t kDisplayPowerVar = 0x301;

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

std::vector<std::string> Press(const KeyArea& key) {
  return {Key(key.key_event), Format(R"(play "%s" "" 0)", key.click)};
}

bool Inside(const KeyArea& key, int32_t x, int32_t y) {
  return x >= key.x && x < key.x + key.width && y >= key.y && y < key.y + key.height;
}

std::string Area(size_t index) {
  return "area " + std::to_string(index + 1) + " (" + kKeys[index].name + ")";
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
  vars().Set(tables::kLighting, 0.0);
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
      const Drawing& drawing = Draw();
      for (size_t i = 0; i < 21; ++i) {
        const TextField& f = kFields[i];
        std::string want;
        switch (f.shows) {
          case Shows::kLabel: continue;
          case Shows::kRadio: want = ExpectedRadio(v); break;
          case Shows::kAdf: want = ExpectedAdf(v, extension); break;
          case Shows::kAtc: want = ExpectedAtc(v); break;
        }
        const std::string_view got = drawing.elements[kFirstField + i].text;
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
  const double powers[] = {1.0, 0.0, 0.999, 2.0, kNaN, -1.0, std::nextafter(1.0, 2.0), 1.0, 0.0};
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
    const Drawing& drawing = Draw();
    const uint32_t want_flags = power == 1.0 ? 0x87u : 0x40000087u;
    for (size_t i = 0; i < 21; ++i) {
      const TextField& f = kFields[i];
      const DrawnElement& e = drawing.elements[kFirstField + i];
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
  const Drawing& stale = Draw();
  EXPECT_TRUE(stale.elements[kFirstField].hidden()) << "display power read before an update";
}

TEST_F(RadioDisplayTest, LegendsLightOnlyWithLightingAndPowerBothOne) {
  const double values[] = {1.0, 0.0, 0.999, 2.0, kNaN};
  for (double lighting : values) {
    for (double power : values) {
      vars().Set(tables::kLighting, lighting);
      vars().Set(kDisplayPowerVar, power);
      gauge().Update();
      gauge().Elements()[1]->image_flags = 0x83;
      const DrawnElement& icon = Draw().elements.at(1);
      const double want = lighting == 1.0 && power == 1.0 ? 1.0 : 0.0;
      EXPECT_EQ(icon.value, want) << "lighting " << lighting << ", power " << power;
      EXPECT_EQ(icon.flags, 0x87u) << "lighting " << lighting << ", power " << power;
    }
  }
  vars().Set(tables::kLighting, 1.0);
  vars().Set(kDisplayPowerVar, 1.0);
  gauge().Update();
  EXPECT_EQ(Draw().elements.at(1).value, 1.0);
  vars().Set(tables::kLighting, 0.0);
  EXPECT_EQ(Draw().elements.at(1).value, 1.0) << "lighting read before an update";
}

// ---- life of the gauge --------------------------------------------------------

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

}  // namespace
