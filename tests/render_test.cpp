// The bench's drawing of the gauges: the needle's geometry, icons and
// strings as the panel system shows them, lighting, the whole gauge, the
// mouse areas' outlines and the panel of gauges side by side.
// One file of more than 600 lines because every test here is of the one
// drawing of a gauge (bench/drawing/render.cpp), taken apart by the same
// GaugeBench and pixel helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "bench/drawing/render.h"
#include "host/host.h"
#include "host/text_format.h"
#include "tests/drawn_gauge.h"
#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"

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
    audio.vars().Set(tables::kBus, 28.0);
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
  hyd.vars().Set(tables::kBus, 28.0);
  hyd.vars().Set(tables::kLighting, 1.0);
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
    radio.vars().Set(tables::kBus, 28.0);
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
  radio.vars().Set(tables::kLighting, 1.0);
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
  hyd.vars().Set(tables::kBus, 28.0);
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
  hyd.vars().Set(tables::kLighting, 1.0);
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
  audio.vars().Set(tables::kBus, 28.0);
  audio.vars().Set(0x305, 1.0);
  audio.vars().Set(tables::kLighting, 1.0);
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

}  // namespace
