// The bench's drawing of the gauges: pictures from the gauge files, the
// needle's geometry, icons and strings as the panel system shows them,
// lighting, the mouse overlay, and the picture files and comparison the
// golden tests rest on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "bench/drawing/render.h"
#include "bench/probe/area_probe.h"
#include "formats/limits.h"
#include "host/host.h"
#include "host/text_format.h"
#include "tests/drawn_gauge.h"
#include "tests/gauge_fixture.h"

namespace {

using bench::Ambient;
using bench::Image;
using bench::Picture;
using bench::RenderOptions;
using bench::Rgba;

constexpr double kDegree = std::numbers::pi / 180.0;

std::string Describe(const Rgba& p) { return host::Format("(%d, %d, %d, %d)", p.r, p.g, p.b, p.a); }

// A drawn gauge, with the ways these tests draw and take apart its drawings.
class GaugeBench : public testing_support::DrawnGauge {
 public:
  using DrawnGauge::DrawnGauge;
  host::Variables& vars() { return host.vars(); }
  Image Render(Ambient ambient = Ambient::kDay, int scale = 1) {
    return Render(gauge->last_drawing(), ambient, scale);
  }
  Image Render(const host::Drawing& drawing, Ambient ambient = Ambient::kDay, int scale = 1,
               bool overlay = false) {
    RenderOptions options;
    options.ambient = ambient;
    options.scale = scale;
    options.mouse_overlay = overlay;
    return bench::RenderDrawing(host, *gauge, drawing, pictures, fonts, options);
  }
  host::Drawing DrawingWithout(uint32_t kind) const {
    host::Drawing drawing = gauge->last_drawing();
    std::erase_if(drawing.elements, [&](const host::DrawnElement& e) { return e.kind == kind; });
    return drawing;
  }
  host::Drawing FaceOnly() const {
    host::Drawing drawing = gauge->last_drawing();
    drawing.elements.resize(std::min<size_t>(drawing.elements.size(), 1));
    return drawing;
  }
  host::DrawnElement* Find(host::Drawing& drawing, uint32_t resource_id) {
    for (host::DrawnElement& element : drawing.elements) {
      if (element.resource_id == resource_id) return &element;
    }
    ADD_FAILURE() << "no element with resource 0x" << std::hex << resource_id;
    return nullptr;
  }
  // The renderer's notes so far (the host's own, on variables it does not
  // simulate, left out).
  std::vector<std::string> DrawingNotes() const {
    std::vector<std::string> notes;
    for (const std::string& note : host.notes()) {
      if (note.rfind("variable ", 0) != 0) notes.push_back(note);
    }
    return notes;
  }
};

// Pixels where two pictures of one size differ.
int DifferingPixels(const Image& a, const Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return -1;
  int count = 0;
  for (size_t i = 0; i < a.pixels().size(); ++i) count += a.pixels()[i] == b.pixels()[i] ? 0 : 1;
  return count;
}

int DifferingPixelsIn(const Image& a, const Image& b, int x, int y, int width, int height) {
  int count = 0;
  for (int py = y; py < y + height; ++py) {
    for (int px = x; px < x + width; ++px) count += a.at(px, py) == b.at(px, py) ? 0 : 1;
  }
  return count;
}

struct Ink {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};
// Where `drawn` differs from `under`.
Ink InkOf(const Image& drawn, const Image& under) {
  Ink ink;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      if (drawn.at(x, y) == under.at(x, y)) continue;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
    }
  }
  return ink;
}

const NeedleElement& HydraulicsNeedle(host::Gauge& gauge) {
  for (ElementHead* element : gauge.Elements()) {
    if (element->element_kind == kNeedle) return *reinterpret_cast<NeedleElement*>(element);
  }
  ADD_FAILURE() << "orlahyd has no needle";
  static NeedleElement none{};
  return none;
}

// An angle brought into (-180°, 180°].
double Wrapped(double radians) {
  double a = std::fmod(radians, 2 * std::numbers::pi);
  if (a <= -std::numbers::pi) a += 2 * std::numbers::pi;
  if (a > std::numbers::pi) a -= 2 * std::numbers::pi;
  return a;
}

// ---- the needle ------------------------------------------------------------------

class NeedleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hyd.ok()); }
  GaugeBench hyd{"orlahyd"};
};

TEST_F(NeedleTest, PointsAtTheScalePointsAndTurnsClockwiseBetweenThem) {
  const NeedleElement& needle = HydraulicsNeedle(*hyd.gauge);
  const double at_zero = std::atan2(50 - 38, 218 - 240);    // towards (218, 50)
  const double at_1500 = std::atan2(24 - 38, 258 - 240);    // towards (258, 24)
  const double turn = 170.7 * kDegree;                        // clockwise, over the top
  EXPECT_NEAR(bench::NeedleAngle(needle, 0), at_zero, 1e-9);
  EXPECT_NEAR(Wrapped(bench::NeedleAngle(needle, 1500)), at_1500, 1e-9);
  EXPECT_NEAR(bench::NeedleAngle(needle, 1500) - bench::NeedleAngle(needle, 0), turn,
              0.05 * kDegree);
  EXPECT_NEAR(bench::NeedleAngle(needle, 750), at_zero + turn / 2, 0.05 * kDegree);
  // Beyond the last entry at the same rate: 2000 lies a third further on.
  EXPECT_NEAR(bench::NeedleAngle(needle, 2000), at_zero + turn * 4 / 3, 0.05 * kDegree);
  // 10 (1000 psi) is at the top of the dial: straight up is -90°.
  EXPECT_NEAR(Wrapped(bench::NeedleAngle(needle, 1000)), -90 * kDegree, 6 * kDegree);
}

TEST(NeedleAngle, ChoosesTheClockwiseTurnAndTheSegmentOfTheValue) {
  NeedleScalePoint table[3] = {{11, 10, 0.0, 0}, {10, 11, 10.0, 0}, {9, 10, 20.0, 0}};
  NeedleElement needle{};
  needle.head.position_x = 10;
  needle.head.position_y = 10;
  needle.scale_table = table;
  needle.scale_point_count = 3;
  // Right, down, left: a quarter turn clockwise per ten.
  EXPECT_NEAR(bench::NeedleAngle(needle, 5), 45 * kDegree, 1e-9);
  EXPECT_NEAR(bench::NeedleAngle(needle, 15), 135 * kDegree, 1e-9);
  EXPECT_NEAR(bench::NeedleAngle(needle, -10), -90 * kDegree, 1e-9);  // the first rate, before
  EXPECT_NEAR(bench::NeedleAngle(needle, 30), 270 * kDegree, 1e-9);   // the last rate, beyond

  // From right to up is three quarters clockwise, never a quarter back.
  NeedleScalePoint up[2] = {{11, 10, 0.0, 0}, {10, 9, 30.0, 0}};
  needle.scale_table = up;
  needle.scale_point_count = 2;
  EXPECT_NEAR(bench::NeedleAngle(needle, 10), 90 * kDegree, 1e-9);
  EXPECT_NEAR(bench::NeedleAngle(needle, 30), 270 * kDegree, 1e-9);

  // One entry: always towards it; none: along +x.
  needle.scale_point_count = 1;
  EXPECT_NEAR(bench::NeedleAngle(needle, 123), 0.0, 1e-9);
  needle.scale_point_count = 0;
  EXPECT_EQ(bench::NeedleAngle(needle, 5), 0.0);
}

// The drawn needle's far end, from the pixels a needle changes, lies in
// the direction NeedleAngle gives, at the needle's length from the pivot.
TEST_F(NeedleTest, DrawnNeedleTipPointsWhereTheAngleSays) {
  const NeedleElement& needle = HydraulicsNeedle(*hyd.gauge);
  const Picture* bitmap = hyd.pictures.Find(0x1200);
  ASSERT_NE(bitmap, nullptr);
  // From the pivot to the far end of the bitmap's pointer.
  const double length = bitmap->width - (needle.head.offset_x + 0.5);
  constexpr int kScale = 4;
  const Image bare = hyd.Render(hyd.DrawingWithout(kNeedle), Ambient::kDay, kScale);
  for (double value : {0.0, 750.0, 1000.0, 1500.0, 2000.0}) {
    SCOPED_TRACE("needle value " + std::to_string(value));
    host::Drawing drawing = hyd.gauge->last_drawing();
    host::DrawnElement* drawn = hyd.Find(drawing, 0x1200);
    ASSERT_NE(drawn, nullptr);
    drawn->value = value;
    const Image picture = hyd.Render(drawing, Ambient::kDay, kScale);
    const double pivot_x = (240 + 0.5) * kScale;
    const double pivot_y = (38 + 0.5) * kScale;
    double far = 0, tip_x = 0, tip_y = 0;
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) {
        if (picture.at(x, y) == bare.at(x, y)) continue;
        const double distance = std::hypot(x + 0.5 - pivot_x, y + 0.5 - pivot_y);
        if (distance > far) {
          far = distance;
          tip_x = x + 0.5;
          tip_y = y + 0.5;
        }
      }
    }
    ASSERT_GT(far, 0) << "no needle drawn";
    const double seen = std::atan2(tip_y - pivot_y, tip_x - pivot_x);
    EXPECT_NEAR(Wrapped(seen - bench::NeedleAngle(needle, value)), 0.0, 2 * kDegree)
        << "tip seen at " << seen / kDegree << "°, expected "
        << Wrapped(bench::NeedleAngle(needle, value)) / kDegree << "°";
    EXPECT_NEAR(far / kScale, length, 1.5) << "tip at (" << tip_x / kScale << ", "
                                           << tip_y / kScale << ") on the face";
    if (value == 1000.0) {
      EXPECT_LT(tip_y / kScale, 38 - 15) << "10 is at the top of the dial";
    }
  }
}

TEST_F(NeedleTest, NotFiniteValueDrawsNoNeedleAndIsNoted) {
  host::Drawing drawing = hyd.gauge->last_drawing();
  host::DrawnElement* drawn = hyd.Find(drawing, 0x1200);
  ASSERT_NE(drawn, nullptr);
  drawn->value = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(DifferingPixels(hyd.Render(drawing), hyd.Render(hyd.DrawingWithout(kNeedle))), 0);
  ASSERT_EQ(hyd.DrawingNotes().size(), 1u);
  EXPECT_NE(hyd.DrawingNotes()[0].find("0x1200"), std::string::npos) << hyd.DrawingNotes()[0];
}

// ---- icons -------------------------------------------------------------------------

// The COMM 1 lamp (icon 0x1200, two pictures at 55, 79) passes the value
// of 0x36a on as its picture index while the panel has power.
class IconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(audio.ok());
    audio.vars().Set(0x2f1, 28.0);
    audio.vars().Set(0x305, 1.0);
  }
  Image WithComm1(double value) {
    audio.vars().Set(0x36a, value);
    audio.Cycle();
    return audio.Render();
  }
  GaugeBench audio{"orlaaudio"};
};

TEST_F(IconTest, ResultChoosesThePicture) {
  const Image dark = WithComm1(0.0);
  const Image lit = WithComm1(1.0);
  EXPECT_GT(DifferingPixelsIn(dark, lit, 55, 79, 8, 8), 0) << "picture 1 (lit) shows";
  EXPECT_EQ(DifferingPixels(dark, lit), DifferingPixelsIn(dark, lit, 55, 79, 8, 8))
      << "the lamp changes nothing outside its picture";
  EXPECT_TRUE(audio.DrawingNotes().empty());
}

TEST_F(IconTest, ResultThatNamesNoPictureDrawsNothingAndIsNotedOncePerKind) {
  const Image unlit = WithComm1(0.0);
  const struct {
    double value;
    const char* kind;
  } bad[] = {{0.5, "not a whole number"},
             {-1.0, "negative"},
             {std::numeric_limits<double>::quiet_NaN(), "not a number"},
             {2.0, "beyond its last picture"}};
  size_t notes = 0;
  for (const auto& [value, kind] : bad) {
    SCOPED_TRACE(std::string("result ") + std::to_string(value));
    EXPECT_EQ(DifferingPixels(WithComm1(value), unlit), 0) << "something was drawn";
    const std::vector<std::string> seen = audio.DrawingNotes();
    ASSERT_EQ(seen.size(), notes + 1) << "one note for a new kind of result";
    const std::string& note = seen.back();
    for (const char* part : {"orlaaudio", "0x1200", kind}) {
      EXPECT_NE(note.find(part), std::string::npos) << "note lacks \"" << part << "\": " << note;
    }
    ++notes;
  }
  // Again, and others of the same kinds: nothing new.
  for (double value : {0.5, 0.25, -3.0, 7.0, std::numeric_limits<double>::infinity()}) {
    WithComm1(value);
  }
  EXPECT_EQ(audio.DrawingNotes().size(), notes);
}

// The hydraulics overlay has three pictures; "dimbrtb" goes to it unchanged.
TEST(IconRange, ThreePictureOverlayTakesTwoAndRefusesThree) {
  GaugeBench hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
  hyd.vars().Set(0x2f1, 28.0);
  hyd.vars().Set(0x0a, 1.0);
  *hyd.vars().Named("dimbrtb") = 2;
  hyd.Cycle();
  EXPECT_GT(DifferingPixels(hyd.Render(hyd.DrawingWithout(kNeedle)), hyd.Render(hyd.FaceOnly())),
            1000)
      << "picture 2 (dim lighting) shows";
  *hyd.vars().Named("dimbrtb") = 3;
  hyd.Cycle();
  EXPECT_EQ(DifferingPixels(hyd.Render(hyd.DrawingWithout(kNeedle)), hyd.Render(hyd.FaceOnly())),
            0);
  ASSERT_EQ(hyd.DrawingNotes().size(), 1u);
  EXPECT_NE(hyd.DrawingNotes()[0].find("beyond its last picture"), std::string::npos)
      << hyd.DrawingNotes()[0];
}

// ---- overlays that draw nothing ----------------------------------------------------

// Every full-face overlay's picture 0 is black all over: drawn over the
// face it changes nothing.
TEST(BlackPictures, LeaveTheFaceUnchanged) {
  const struct {
    const char* gauge;
    uint32_t black;
  } overlays[] = {{"VORN_Kestrel_FMC", 0x1200}, {"orlaaudio", 0x1100},
                  {"orlapfdset", 0x1300}, {"orlahyd", 0x1100}};
  for (const auto& [name, black] : overlays) {
    SCOPED_TRACE(name);
    GaugeBench bench(name);
    ASSERT_TRUE(bench.ok());
    const Picture* picture = bench.pictures.Find(black);
    ASSERT_NE(picture, nullptr);
    for (const Rgba& pixel : picture->pixels) ASSERT_EQ(pixel.a, 0) << "a pixel is drawn";
    // Before any update the overlay shows picture 0.
    host::Drawing drawing = bench.FaceOnly();
    host::Drawing drawn = bench.gauge->last_drawing();
    drawing.elements.push_back(*bench.Find(drawn, black));
    EXPECT_EQ(drawing.elements.back().value, 0.0);
    for (Ambient ambient : {Ambient::kDay, Ambient::kNight}) {
      EXPECT_EQ(DifferingPixels(bench.Render(drawing, ambient),
                                bench.Render(bench.FaceOnly(), ambient)),
                0);
    }
  }
}

// ---- strings ---------------------------------------------------------------------------

class RadioPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(radio.ok());
    radio.vars().Set(0x2f1, 28.0);
    radio.vars().SetInteger(0x17, 0x2297);
    radio.vars().SetInteger(0x269, 0x1850);
  }
  // The COM1 read-out's box: 52, 65, 330 x 30.
  int InkInCom1Box(const Image& picture, const Image& face) {
    return DifferingPixelsIn(picture, face, 52, 65, 330, 30);
  }
  GaugeBench radio{"VORN_Kestrel_FMC"};
};

TEST_F(RadioPageTest, HiddenStringsAreNotDrawnAndShowAtOnceWhenTheBitClears) {
  radio.vars().Set(0x301, 0.0);
  radio.Cycle();
  const Image face = radio.Render(radio.FaceOnly());
  host::Drawing drawing = radio.gauge->last_drawing();
  int strings = 0;
  for (const host::DrawnElement& element : drawing.elements) {
    if (element.kind != kString) continue;
    ++strings;
    EXPECT_TRUE(element.hidden());
    EXPECT_FALSE(element.text.empty()) << "the text is written while hidden";
  }
  EXPECT_EQ(strings, 21);
  EXPECT_EQ(DifferingPixels(radio.Render(drawing), face), 0) << "hidden text was drawn";

  // The same drawing with the bits cleared: the texts already there show.
  for (host::DrawnElement& element : drawing.elements) element.flags &= ~kFlagHidden;
  const Image shown = radio.Render(drawing);
  EXPECT_GT(InkInCom1Box(shown, face), 20);

  // And through the gauge: display power on, the next draw shows them.
  radio.vars().Set(0x301, 1.0);
  radio.Cycle();
  EXPECT_EQ(DifferingPixels(radio.Render(), shown), 0);
}

// The placement rule makes the page read as label lines over read-out
// lines: every text inside its box, no label's ink touching a read-out's,
// read-outs taller than labels, all left-aligned near their box's edge.
TEST_F(RadioPageTest, LabelsAndReadOutsDoNotOverlapAndStayInTheirBoxes) {
  radio.vars().Set(0x301, 1.0);
  radio.vars().SetInteger(0x366, 0x3697);  // 136.97: tall digits everywhere
  radio.vars().SetInteger(0x367, 0x3697);
  radio.vars().SetInteger(0x18, 0x1797);
  radio.vars().SetInteger(0x1B, 0x1797);
  radio.vars().SetInteger(0x368, 0x1797);
  radio.vars().SetInteger(0x369, 0x1797);
  radio.vars().SetInteger(0x10, 0x0999);
  radio.vars().SetInteger(0x12, 0x0109);
  radio.vars().SetInteger(0x26, 0x7777);
  radio.Cycle();
  const Image face = radio.Render(radio.FaceOnly());
  struct Drawn {
    Ink ink;
    bool label;
    std::string text;
  };
  std::vector<Drawn> texts;
  const host::Drawing& all = radio.gauge->last_drawing();
  for (size_t i = 0; i < all.elements.size(); ++i) {
    if (all.elements[i].kind != kString) continue;
    host::Drawing one = radio.FaceOnly();
    one.elements.push_back(all.elements[i]);
    const auto& record = *reinterpret_cast<const StringElement*>(all.elements[i].record);
    const Ink ink = InkOf(radio.Render(one), face);
    const std::string text(all.elements[i].text);
    SCOPED_TRACE(text);
    ASSERT_FALSE(ink.empty());
    const int x = all.elements[i].x, y = all.elements[i].y;
    EXPECT_GE(ink.left, x);
    EXPECT_LE(ink.left, x + 3) << "left-aligned";
    EXPECT_GE(ink.top, y);
    EXPECT_LT(ink.right, x + record.box_width);
    EXPECT_LT(ink.bottom, y + record.box_height);
    texts.push_back({ink, record.box_height == 20, text});
  }
  ASSERT_EQ(texts.size(), 21u);
  int label_height = 0, read_out_height = 0;
  for (const Drawn& a : texts) {
    (a.label ? label_height : read_out_height) =
        std::max(a.label ? label_height : read_out_height, a.ink.bottom - a.ink.top + 1);
    for (const Drawn& b : texts) {
      if (&a == &b) continue;
      const bool apart = a.ink.right < b.ink.left || b.ink.right < a.ink.left ||
                         a.ink.bottom < b.ink.top || b.ink.bottom < a.ink.top;
      EXPECT_TRUE(apart) << "\"" << a.text << "\" rows " << a.ink.top << "-" << a.ink.bottom
                         << " touches \"" << b.text << "\" rows " << b.ink.top << "-"
                         << b.ink.bottom;
    }
  }
  EXPECT_GE(read_out_height, label_height + 3) << "read-outs are the large type";
}

TEST_F(RadioPageTest, TextIsClippedToItsBox) {
  Image canvas(200, 100, {0, 0, 0, 255});
  radio.fonts.DrawString(&canvas, {10, 10, 25, 30}, 1, "Arial Narrow", 500, {255, 255, 255, 255},
                         "88888888888888");
  const Ink ink = InkOf(canvas, Image(200, 100, {0, 0, 0, 255}));
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.left, 10);
  EXPECT_EQ(ink.right, 34) << "the text runs on to the box's right edge and stops there";
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 39);
}

// ---- lighting -------------------------------------------------------------------------

// At night the unlit face is darkened; the lit legends and the page's text
// are light sources, drawn in their own colours as by day.
TEST_F(RadioPageTest, LitElementsKeepFullBrightnessAtNightAndTheFaceDarkens) {
  radio.vars().Set(0x301, 1.0);
  radio.vars().Set(0x0a, 1.0);
  radio.Cycle();
  const Image day = radio.Render(Ambient::kDay);
  const Image night = radio.Render(Ambient::kNight);
  const Image dusk = radio.Render(Ambient::kDusk);
  const Image face_day = radio.Render(radio.FaceOnly(), Ambient::kDay);
  const Picture* legends = radio.pictures.Find(0x1201);
  ASSERT_NE(legends, nullptr);

  // The page's colours: white, green, yellow, blue.
  const Rgba text_colours[] = {{255, 255, 255, 255}, {0, 255, 64, 255}, {255, 255, 0, 255},
                               {0, 128, 255, 255}};
  const Image text_only = radio.Render(radio.DrawingWithout(kIcon), Ambient::kDay);
  int legend_pixels = 0, text_pixels = 0, face_pixels = 0;
  for (int y = 0; y < day.height(); ++y) {
    for (int x = 0; x < day.width(); ++x) {
      const Rgba& legend = legends->pixels[static_cast<size_t>(y) * legends->width + x];
      const bool text = !(text_only.at(x, y) == face_day.at(x, y));
      if (legend.a != 0 && !text) {
        ++legend_pixels;
        ASSERT_EQ(night.at(x, y), legend) << "lit legend at " << x << ", " << y << " is "
                                          << Describe(night.at(x, y));
      } else if (text) {
        // Where a glyph covers the pixel wholly, its colour as by day; its
        // anti-aliased edges blend with the darker face.
        if (std::find(std::begin(text_colours), std::end(text_colours), day.at(x, y)) !=
            std::end(text_colours)) {
          ++text_pixels;
          ASSERT_EQ(night.at(x, y), day.at(x, y)) << "text at " << x << ", " << y << " is "
                                                  << Describe(night.at(x, y));
        }
      } else {
        ++face_pixels;
        const Rgba& lit = day.at(x, y);
        const Rgba& dark = night.at(x, y);
        ASSERT_NEAR(dark.g, lit.g * 0.25, 0.51) << "face at " << x << ", " << y;
        ASSERT_NEAR(dusk.at(x, y).g, lit.g * 0.55, 0.51) << "face at dusk, " << x << ", " << y;
      }
    }
  }
  EXPECT_GT(legend_pixels, 1000);
  EXPECT_GT(text_pixels, 200);
  EXPECT_GT(face_pixels, 100000);
  EXPECT_EQ(std::string(bench::AmbientName(Ambient::kNight)), "night");
}

// The hydraulics needle is lit only while the panel is powered and the
// panel lights are on; unlit, it darkens with the face.
TEST(Lighting, NeedleLitAtFullBrightnessUnlitDarkened) {
  GaugeBench hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
  hyd.vars().Set(0x2f1, 28.0);
  hyd.Cycle();
  ASSERT_FALSE(hyd.gauge->last_drawing().elements.back().lit());
  // The brightest needle pixel: the needle drawn over a black face.
  host::Drawing needle_alone = hyd.gauge->last_drawing();
  std::erase_if(needle_alone.elements,
                [](const host::DrawnElement& e) { return e.kind != kNeedle; });
  auto brightest = [&](const host::Drawing& drawing, Ambient ambient) {
    int best = 0;
    const Image picture = hyd.Render(drawing, ambient);
    for (const Rgba& p : picture.pixels()) best = std::max(best, int{p.g});
    return best;
  };
  const int day = brightest(needle_alone, Ambient::kDay);
  EXPECT_GT(day, 150);
  EXPECT_NEAR(brightest(needle_alone, Ambient::kNight), day * 0.25, 1.0);
  hyd.vars().Set(0x0a, 1.0);
  hyd.Cycle();
  needle_alone.elements[0].flags = hyd.gauge->last_drawing().elements.back().flags;
  ASSERT_TRUE(needle_alone.elements[0].lit());
  EXPECT_EQ(brightest(needle_alone, Ambient::kNight), day);
}

TEST(Lighting, AmbientNamesReadBack) {
  for (Ambient ambient : {Ambient::kDay, Ambient::kDusk, Ambient::kNight}) {
    Ambient read = Ambient::kDay;
    EXPECT_TRUE(bench::ParseAmbient(bench::AmbientName(ambient), &read));
    EXPECT_EQ(read, ambient);
  }
  Ambient untouched = Ambient::kDusk;
  for (const char* wrong : {"", "noon", "Night ", "DAYLIGHT"}) {
    EXPECT_FALSE(bench::ParseAmbient(wrong, &untouched)) << wrong;
  }
  EXPECT_EQ(untouched, Ambient::kDusk);
  EXPECT_GT(bench::AmbientBrightness(Ambient::kDay), bench::AmbientBrightness(Ambient::kDusk));
  EXPECT_GT(bench::AmbientBrightness(Ambient::kDusk), bench::AmbientBrightness(Ambient::kNight));
}

// ---- the whole gauge ------------------------------------------------------------------

TEST(RenderGauge, DrawsAGaugeNeverDrawnAsItsFirstDraw) {
  host::Host host;
  host::Module* module = testing_support::LoadGauge(host, "orlapfdset");
  ASSERT_NE(module, nullptr);
  host::Gauge* gauge = host.CreateGauge(*module);
  bench::GaugePictures pictures;
  std::string error;
  ASSERT_TRUE(pictures.LoadFile(std::string(SOURCE_DIR) + "/build/win32/gauges/orlapfdset.gau",
                                &error))
      << error;
  bench::Fonts fonts;
  const Image picture = bench::RenderGauge(host, *gauge, pictures, fonts, {});
  EXPECT_EQ(gauge->last_drawing().elements.size(), 4u);
  ASSERT_EQ(picture.width(), 64);
  ASSERT_EQ(picture.height(), 263);
  // Knobs at picture 0, legends unlit: the face, knobs painted over it.
  const Picture* face = pictures.Find(0x100);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(picture.at(5, 250), face->pixels[250 * 64 + 5]);
}

// Pictures are enlarged pixel for pixel; a gauge of pictures only drawn at
// 3x is its 1x picture enlarged.
TEST(RenderGauge, ScaleEnlargesThePictures) {
  GaugeBench audio("orlaaudio");
  ASSERT_TRUE(audio.ok());
  audio.vars().Set(0x2f1, 28.0);
  audio.vars().Set(0x305, 1.0);
  audio.vars().Set(0x0a, 1.0);
  audio.vars().Set(0x36b, 1.0);
  audio.Cycle();
  const Image once = audio.Render(Ambient::kDusk, 1);
  const Image thrice = audio.Render(Ambient::kDusk, 3);
  EXPECT_EQ(thrice.width(), 3 * 140);
  EXPECT_EQ(DifferingPixels(thrice, bench::Enlarge(once, 3)), 0);
}

TEST(RenderGauge, MissingPicturesAreNotedNotDrawn) {
  GaugeBench audio("orlaaudio");
  ASSERT_TRUE(audio.ok());
  bench::GaugePictures none;  // nothing loaded
  const Image picture = bench::RenderGauge(audio.host, *audio.gauge, none, audio.fonts, {});
  EXPECT_FALSE(picture.empty());
  const std::vector<std::string> notes = audio.DrawingNotes();
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(notes[0].find("0x100"), std::string::npos) << notes[0];
}

TEST(CanvasFits, TheLargestFaceFitsOnceAndNothingLargerIsDrawn) {
  const struct {
    int64_t width, height;
    int scale;
    bool fits;
  } kRows[] = {
      {8192, 8192, 1, true},  {8192, 8192, 2, false}, {8192, 8192, 8, false},
      {975, 543, 8, true},    {1, 67108865, 1, false}, {INT32_MAX, INT32_MAX, 64, false},
      {-1, 10, 1, false},     {10, 10, 0, false},
  };
  for (const auto& row : kRows) {
    std::string why;
    EXPECT_EQ(bench::CanvasFits(row.width, row.height, row.scale, &why), row.fits)
        << row.width << " x " << row.height << " at scale " << row.scale << ": " << why;
    if (!row.fits) {
      EXPECT_NE(why.find("larger than the 67 million pixels"), std::string::npos) << why;
    }
  }
}

// ---- the mouse overlay ------------------------------------------------------------------

TEST(MouseOverlay, LabelsEachAreaWithWhatItsCallbackSends) {
  GaugeBench pfd("orlapfdset");
  ASSERT_TRUE(pfd.ok());
  const std::vector<std::string> labels = bench::MouseAreaLabels(*pfd.gauge);
  const std::vector<std::string> expected = {"1015B",     "1015C",   "millibars=1", "temp=1",
                                             "dhset+1",   "dhset-1", "ratest=1"};
  EXPECT_EQ(labels, expected);

  GaugeBench radio("VORN_Kestrel_FMC");
  ASSERT_TRUE(radio.ok());
  const std::vector<std::string> keys = bench::MouseAreaLabels(*radio.gauge);
  ASSERT_EQ(keys.size(), 36u);
  EXPECT_EQ(keys[5], "1038C") << "R1, the COM2 swap";
  EXPECT_EQ(keys[35], "1039D") << "F5 lower half";

  GaugeBench hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
  EXPECT_TRUE(bench::MouseAreaLabels(*hyd.gauge).empty());
}

TEST(MouseOverlay, ProbingLeavesTheGaugeItsHostAndNoFilesBehind) {
  // A module file of this test's own, so no earlier probe answers from the
  // labels kept per file.
  const std::filesystem::path own = std::filesystem::temp_directory_path() /
                                    ("render-test-" + std::to_string(::getpid()) + "-pfd.so");
  std::filesystem::copy_file(host::GaugeFile(host::DefaultGaugeDir(), "orlapfdset"), own,
                             std::filesystem::copy_options::overwrite_existing);
  {
    host::Host host;
    std::string error;
    ASSERT_TRUE(host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
    int32_t* dhset = host.vars().Register("dhset", 5);
    host::Module* module = host.LoadModule(own, &error);
    ASSERT_NE(module, nullptr) << error;
    host::Gauge* gauge = host.CreateGauge(*module);
    gauge->Draw();
    gauge->Update();
    host.ClearLog();

    const std::vector<std::string> labels = bench::MouseAreaLabels(*gauge);
    ASSERT_EQ(labels.size(), 7u);
    EXPECT_EQ(labels[0], "1015B") << "the probe called the BARO knob";
    for (const host::LogEntry& entry : host.log()) {
      ADD_FAILURE() << "the probe reached the gauge's host: " << entry.Describe();
    }
    EXPECT_EQ(*dhset, 5);
    gauge->Draw();
    EXPECT_EQ(gauge->last_drawing().elements[1].value, 0.0) << "the BARO knob turned";
    EXPECT_EQ(gauge->last_drawing().elements[2].value, 0.0) << "the DH-SET knob turned";

    // The gauge's own clicks still work as before.
    EXPECT_TRUE(gauge->Click(34, 42));
    gauge->Draw();
    EXPECT_EQ(gauge->last_drawing().elements[1].value, 1.0);
    ASSERT_FALSE(host.log().empty());
    EXPECT_EQ(host.log().front().id, 0x1015Bu);
  }
  std::filesystem::remove(own);
  const std::string probe_files = "panel-bench-probe-" + std::to_string(::getpid()) + "-";
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    EXPECT_NE(entry.path().filename().string().rfind(probe_files, 0), 0u)
        << "left behind: " << entry.path();
  }
}

TEST(MouseOverlay, OutlinesEveryAreaOnItsEdgePixels) {
  GaugeBench audio("orlaaudio");
  ASSERT_TRUE(audio.ok());
  for (int scale : {1, 2}) {
    SCOPED_TRACE("scale " + std::to_string(scale));
    const Image plain = audio.Render(audio.gauge->last_drawing(), Ambient::kDay, scale, false);
    const Image outlined = audio.Render(audio.gauge->last_drawing(), Ambient::kDay, scale, true);
    for (const MouseRect* area : audio.gauge->MouseAreas()) {
      const int right = (area->x + area->width) * scale - 1;
      const int bottom = (area->y + area->height) * scale - 1;
      const Rgba magenta{255, 40, 255, 255};
      EXPECT_EQ(outlined.at(right, bottom), magenta) << "bottom right of " << area->x << ", " << area->y;
      EXPECT_EQ(outlined.at(area->x * scale, bottom), magenta);
      EXPECT_EQ(outlined.at(right + 1, bottom + 1), plain.at(right + 1, bottom + 1))
          << "the area ends at x + width - 1";
      EXPECT_EQ(outlined.at(right - 1, bottom - 1), plain.at(right - 1, bottom - 1))
          << "the outline is one pixel wide";
    }
  }
}

// ---- the panel ------------------------------------------------------------------------

TEST(ComposePanel, GaugesSideBySideTopAlignedAndLabelled) {
  bench::Fonts fonts;
  std::string error;
  ASSERT_TRUE(fonts.Init(&error)) << error;
  const Image red(30, 50, {200, 0, 0, 255});
  const Image blue(20, 10, {0, 0, 200, 255});
  const Image panel = bench::ComposePanel({{"red", red}, {"blue", blue}}, fonts, 1);
  ASSERT_FALSE(panel.empty());
  // Both at the same top; the second after the first and a gap.
  EXPECT_EQ(panel.at(16, 16), (Rgba{200, 0, 0, 255}));
  EXPECT_EQ(panel.at(16 + 29, 16 + 49), (Rgba{200, 0, 0, 255}));
  int blue_left = -1;
  for (int x = 16 + 30; x < panel.width() && blue_left < 0; ++x) {
    if (panel.at(x, 16) == (Rgba{0, 0, 200, 255})) blue_left = x;
  }
  ASSERT_GT(blue_left, 16 + 30) << "a gap between the gauges";
  EXPECT_FALSE(panel.at(blue_left, 16 + 10) == (Rgba{0, 0, 200, 255})) << "the blue ends at 10";
  // A white label under each, below the tallest gauge.
  auto white_below = [&](int left, int width) {
    int count = 0;
    for (int y = 16 + 50; y < panel.height(); ++y) {
      for (int x = std::max(left - 10, 0); x < std::min(left + width + 10, panel.width()); ++x) {
        count += panel.at(x, y).r > 200 && panel.at(x, y).g > 200 ? 1 : 0;
      }
    }
    return count;
  };
  EXPECT_GT(white_below(16, 30), 5);
  EXPECT_GT(white_below(blue_left, 20), 5);
}

// ---- fonts ----------------------------------------------------------------------------

TEST(Fonts, ResolveToTheLiberationFacesByWeight) {
  bench::Fonts fonts;
  std::string error;
  ASSERT_TRUE(fonts.Init(&error)) << error;
  auto file = [&](const char* name, uint32_t weight) {
    return std::filesystem::path(fonts.FileFor(name, weight)).filename().string();
  };
  EXPECT_EQ(file("Arial Narrow", 100), "LiberationSansNarrow-Regular.ttf");
  EXPECT_EQ(file("Arial Narrow", 500), "LiberationSansNarrow-Regular.ttf");
  EXPECT_EQ(file("arial narrow", 599), "LiberationSansNarrow-Regular.ttf");
  EXPECT_EQ(file("Arial Narrow", 600), "LiberationSansNarrow-Bold.ttf");
  EXPECT_EQ(file("Arial", 500), "LiberationSans-Regular.ttf");
  EXPECT_EQ(file("Arial", 700), "LiberationSans-Bold.ttf");
  EXPECT_EQ(fonts.FileFor("Helvetica", 500), "");
  EXPECT_TRUE(bench::Fonts::Knows("ARIAL"));
  EXPECT_FALSE(bench::Fonts::Knows("Arial Black"));
}

TEST(Fonts, DrawNothingBeforeInitOrAtAnImpossibleSize) {
  bench::Fonts fonts;
  Image canvas(50, 50, {0, 0, 0, 255});
  const Image blank = canvas;
  EXPECT_EQ(fonts.DrawText(&canvas, "Arial", 500, 12, 0, 20, "TEXT", {255, 255, 255, 255},
                           {0, 0, 50, 50}),
            0);
  std::string error;
  ASSERT_TRUE(fonts.Init(&error)) << error;
  for (double size : {0.0, -4.0, std::numeric_limits<double>::quiet_NaN(), 1e9}) {
    fonts.DrawText(&canvas, "Arial", 500, size, 0, 20, "TEXT", {255, 255, 255, 255},
                   {0, 0, 50, 50});
  }
  fonts.DrawText(&canvas, "Arial", 500, 12, -1000, 2000, "TEXT", {255, 255, 255, 255},
                 {-10, -10, 100000, 100000});
  EXPECT_EQ(DifferingPixels(canvas, blank), 0);
}

// ---- bitmaps ----------------------------------------------------------------------------

// A 3 x 2 bitmap: palette 0 black, 1 red, 2 white; bottom row 1 0 2, top row 2 1 0.
std::vector<uint8_t> SmallBitmap() {
  std::vector<uint8_t> dib(40 + 1024 + 2 * 4, 0);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(0, 40);
  put32(4, 3);
  put32(8, 2);
  dib[12] = 1;
  dib[14] = 8;
  put32(32, 256);
  dib[40 + 4 * 1 + 2] = 255;  // red (blue, green, red, 0)
  dib[40 + 4 * 2 + 0] = dib[40 + 4 * 2 + 1] = dib[40 + 4 * 2 + 2] = 255;
  const uint8_t rows[] = {1, 0, 2, 0, 2, 1, 0, 0};  // bottom row first, 4-byte rows
  std::copy(std::begin(rows), std::end(rows), dib.begin() + 40 + 1024);
  return dib;
}

TEST(DecodeBitmap, ReadsRowsBottomUpAndLeavesBlackUndrawn) {
  Picture picture;
  std::string error;
  ASSERT_TRUE(bench::DecodeBitmap(SmallBitmap(), &picture, &error)) << error;
  ASSERT_EQ(picture.width, 3);
  ASSERT_EQ(picture.height, 2);
  const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255}, none{0, 0, 0, 0};
  const std::vector<Rgba> expected = {white, red, none, red, none, white};
  EXPECT_EQ(picture.pixels, expected);
}

TEST(DecodeBitmap, RefusesWhatIsNotAn8BitBottomUpPaletteBitmap) {
  using Dib = std::vector<uint8_t>;
  auto set = [](Dib& dib, size_t at, int64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) dib[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  const struct {
    const char* what;
    std::function<void(Dib&)> spoil;
    const char* why;  // in the error
  } cases[] = {
      {"empty", [](Dib& dib) { dib.clear(); }, "shorter than"},
      {"header cut short", [](Dib& dib) { dib.resize(39); }, "shorter than"},
      {"a 12-byte header", [&](Dib& dib) { set(dib, 0, 12, 4); }, "header"},
      {"a 124-byte header", [&](Dib& dib) { set(dib, 0, 124, 4); }, "header"},
      {"two planes", [&](Dib& dib) { set(dib, 12, 2, 2); }, "planes"},
      {"24 bits per pixel", [&](Dib& dib) { set(dib, 14, 24, 2); }, "bits per pixel"},
      {"4 bits per pixel", [&](Dib& dib) { set(dib, 14, 4, 2); }, "bits per pixel"},
      {"run-length compressed", [&](Dib& dib) { set(dib, 16, 1, 4); }, "compressed"},
      {"top-down", [&](Dib& dib) { set(dib, 8, -2, 4); }, "top-down"},
      {"no width", [&](Dib& dib) { set(dib, 4, 0, 4); }, "size"},
      {"negative width", [&](Dib& dib) { set(dib, 4, -3, 4); }, "size"},
      {"far too wide", [&](Dib& dib) { set(dib, 4, 1 << 20, 4); }, "size"},
      {"one row taller than the largest picture",
       [&](Dib& dib) { set(dib, 8, formats::kLargestBitmapSide + 1, 4); }, "size"},
      {"no height", [&](Dib& dib) { set(dib, 8, 0, 4); }, "size"},
      {"a 16-entry palette", [&](Dib& dib) { set(dib, 32, 16, 4); }, "palette"},
      {"palette cut short", [](Dib& dib) { dib.resize(40 + 512); }, "needs"},
      {"pixels cut short", [](Dib& dib) { dib.resize(40 + 1024 + 5); }, "needs"},
      {"taller than its pixels", [&](Dib& dib) { set(dib, 8, 3, 4); }, "needs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Dib dib = SmallBitmap();
    c.spoil(dib);
    Picture picture;
    picture.width = 99;
    std::string error;
    EXPECT_FALSE(bench::DecodeBitmap(dib, &picture, &error));
    EXPECT_NE(error.find(c.why), std::string::npos) << "error: " << error;
    EXPECT_EQ(picture.width, 99) << "the picture is untouched";
  }
  // Every shorter cut of a good bitmap is refused, never read past.
  const std::vector<uint8_t> good = SmallBitmap();
  for (size_t size = 0; size < good.size(); ++size) {
    Picture picture;
    EXPECT_FALSE(bench::DecodeBitmap(std::vector<uint8_t>(good.begin(), good.begin() + size),
                                     &picture, nullptr))
        << size << " bytes";
  }
}

TEST(GaugePictures, TakesEveryBitmapFromTheGaugeFile) {
  const struct {
    const char* gauge;
    int width, height;
    std::vector<uint32_t> ids;
  } gauges[] = {
      {"VORN_Kestrel_FMC", 380, 495, {0x100, 0x1200, 0x1201}},
      {"orlaaudio", 140, 247, {0x100, 0x1100, 0x1101, 0x1200, 0x1201, 0x1901}},
      {"orlapfdset", 64, 263, {0x100, 0x1100, 0x1103, 0x1203, 0x1301}},
      {"orlahyd", 287, 112, {0x100, 0x1100, 0x1101, 0x1102, 0x1200}},
  };
  for (const auto& g : gauges) {
    SCOPED_TRACE(g.gauge);
    bench::GaugePictures pictures;
    std::string error;
    ASSERT_TRUE(pictures.LoadFile(
        std::string(SOURCE_DIR) + "/build/win32/gauges/" + g.gauge + ".gau", &error))
        << error;
    for (uint32_t id : g.ids) EXPECT_NE(pictures.Find(id), nullptr) << std::hex << id;
    const Picture* face = pictures.Find(0x100);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->width, g.width);
    EXPECT_EQ(face->height, g.height);
    EXPECT_EQ(pictures.Find(0x1000), nullptr);
  }
}

TEST(GaugePictures, SaysWhyAFileOrModuleGivesNone) {
  bench::GaugePictures pictures;
  std::string error;
  EXPECT_FALSE(pictures.LoadFile(std::string(SOURCE_DIR) + "/no/such.gau", &error));
  EXPECT_NE(error.find("no/such.gau"), std::string::npos) << error;
  error.clear();
  // A file that is not a Windows library.
  EXPECT_FALSE(pictures.LoadFile(std::string(SOURCE_DIR) + "/CMakeLists.txt", &error));
  EXPECT_FALSE(error.empty());

  GaugeBench hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
#if !defined(_WIN32)
  error.clear();
  EXPECT_FALSE(pictures.LoadModule(hyd.gauge->module(), &error));
  EXPECT_NE(error.find(".gau"), std::string::npos) << error;
#endif
}

// ---- pictures as files, and comparing them -------------------------------------------------

TEST(Image, PngKeepsEveryPixel) {
  Image image(3, 2, {10, 20, 30, 255});
  image.at(2, 1) = {255, 0, 128, 255};
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("render-test-" + std::to_string(::getpid()) + ".png");
  std::string error;
  ASSERT_TRUE(bench::WritePng(image, file, &error)) << error;
  Image read;
  ASSERT_TRUE(bench::ReadPng(file, &read, &error)) << error;
  EXPECT_EQ(read.width(), 3);
  EXPECT_EQ(read.pixels(), image.pixels());
  // With transparency too.
  image.at(0, 0).a = 0;
  ASSERT_TRUE(bench::WritePng(image, file, &error)) << error;
  ASSERT_TRUE(bench::ReadPng(file, &read, &error)) << error;
  EXPECT_EQ(read.at(0, 0).a, 0);
  std::filesystem::remove(file);

  EXPECT_FALSE(bench::ReadPng(std::string(SOURCE_DIR) + "/CMakeLists.txt", &read, &error));
  EXPECT_NE(error.find("CMakeLists.txt"), std::string::npos) << error;
  EXPECT_FALSE(bench::WritePng(Image(), file, &error));
  EXPECT_FALSE(bench::WritePng(image, "/proc/no-such-dir/x.png", &error));
}

TEST(Image, EnlargeRepeatsEachPixel) {
  Image image(2, 1);
  image.at(0, 0) = {1, 2, 3, 255};
  image.at(1, 0) = {4, 5, 6, 255};
  const Image large = bench::Enlarge(image, 2);
  ASSERT_EQ(large.width(), 4);
  ASSERT_EQ(large.height(), 2);
  EXPECT_EQ(large.at(1, 1), image.at(0, 0));
  EXPECT_EQ(large.at(2, 0), image.at(1, 0));
  EXPECT_EQ(bench::Enlarge(image, 1).pixels(), image.pixels());
}

TEST(Image, CompareCountsPixelsBeyondTheToleranceAndMarksThemRed) {
  Image expected(4, 4, {100, 100, 100, 255});
  Image actual = expected;
  actual.at(1, 2).g = 102;  // within 2
  bench::Difference same = bench::Compare(expected, actual, 2);
  EXPECT_TRUE(same.same_size);
  EXPECT_EQ(same.pixels, 0);
  EXPECT_EQ(same.largest, 2);

  actual.at(3, 0).b = 97;  // 3 off
  const bench::Difference one = bench::Compare(expected, actual, 2);
  EXPECT_EQ(one.pixels, 1);
  EXPECT_EQ(one.largest, 3);
  EXPECT_EQ(one.picture.at(3, 0), (Rgba{255, 0, 0, 255}));
  const Rgba faded = one.picture.at(0, 0);
  EXPECT_EQ(faded.r, faded.g);
  EXPECT_EQ(faded.g, faded.b);
  EXPECT_NE(faded.r, 255);

  const bench::Difference sizes = bench::Compare(expected, Image(4, 5), 2);
  EXPECT_FALSE(sizes.same_size);
  EXPECT_GT(sizes.pixels, 0);
}

}  // namespace
