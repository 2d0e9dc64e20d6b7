// Golden pictures: each gauge drawn in a handful of states (dark, powered
// by day, lit at night, after clicks, the hydraulic needle along its dial)
// and compared with the pictures committed in tests/golden.
//
// On a mismatch the actual picture and a difference picture (differing
// pixels red over a faded copy of the golden one) are written to
// golden-out/ in the build tree, and the failure says where.
//
// To make the golden pictures again after a deliberate change of the art,
// the drawing or a gauge, run with GOLDEN_UPDATE=1, look at every picture
// that changed, and commit them:
//   GOLDEN_UPDATE=1 build/native/bin/golden_test
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/drawing/render.h"
#include "host/host.h"
#include "tests/drawn_gauge.h"
#include "tests/gauge_tables.h"

namespace {

using bench::Ambient;
using bench::Image;
using bench::RenderOptions;

using bench::kChannelTolerance;
using bench::kPixelsAllowed;

const std::filesystem::path kGoldenDir = std::filesystem::path(SOURCE_DIR) / "tests" / "golden";

std::filesystem::path OutDir() { return host::DefaultGaugeDir().parent_path() / "golden-out"; }

bool Updating() {
  const char* update = std::getenv("GOLDEN_UPDATE");
  return update != nullptr && std::string(update) == "1";
}

// One gauge in its own host, its pictures taken from the gauge file that
// ships, and a minimal simulator answering the key events these states use.
struct Bench : testing_support::DrawnGauge {
  explicit Bench(const std::string& name) : DrawnGauge(name) {
    if (!ok()) return;
    host.OnKeyEvent([this](uint32_t id, uint32_t) {
      if (id == 0x1038C) {  // COM2 swap
        const uint32_t active = host.vars().GetInteger(0x366);
        host.vars().SetInteger(0x366, host.vars().GetInteger(0x367));
        host.vars().SetInteger(0x367, active);
      }
      if (id == 0x1012f || id == 0x10130) host.vars().Set(0x36f, 1.0);  // a DME on
    });
  }
  void Click(int x, int y) {
    EXPECT_TRUE(gauge->Click(x, y)) << "nothing to click at " << x << ", " << y;
  }
};

// ---- the aircraft's states ----------------------------------------------------

void Power(host::Variables& vars) {
  vars.Set(tables::kBus, 28.0);
  vars.Set(0x301, 1.0);
  vars.Set(0x305, 1.0);
}
void PanelLights(host::Variables& vars) { vars.Set(tables::kLighting, 1.0); }

void TuneRadios(host::Variables& vars) {
  vars.SetInteger(0x17, 0x2297);   // COM1 122.97
  vars.SetInteger(0x269, 0x1850);  // COM1 preset 118.50
  vars.SetInteger(0x366, 0x2530);  // COM2 125.30
  vars.SetInteger(0x367, 0x3320);  // COM2 preset 133.20
  vars.SetInteger(0x18, 0x1030);   // NAV1 110.30
  vars.SetInteger(0x368, 0x1150);  // NAV1 preset 111.50
  vars.SetInteger(0x1B, 0x0890);   // NAV2 108.90
  vars.SetInteger(0x369, 0x1740);  // NAV2 preset 117.40
  vars.SetInteger(0x10, 0x0350);   // ADF 350.5 with the tenths below
  vars.SetInteger(0x12, 0x0005);
  vars.SetInteger(0x26, 0x7000);   // transponder 7000
}

void PressurePsi(host::Variables& vars, double psi) { vars.Set(0x2dc, psi * 281.0); }

// ---- the states ----------------------------------------------------------------

struct State {
  const char* name;   // the golden picture's file name, without .png
  const char* gauge;
  std::function<void(Bench&)> reach;  // from a freshly created gauge
  Ambient ambient = Ambient::kDay;
  int scale = 1;
  bool mouse_overlay = false;
  // Which part of the picture is kept (in output pixels); all if empty.
  int crop_x = 0, crop_y = 0, crop_width = 0, crop_height = 0;
  // For a needle value the gauge itself never shows: the last drawing with
  // the needle's value replaced.
  double needle_value = -1.0;
};

void PrintTo(const State& state, std::ostream* out) { *out << state.name; }

Image Crop(const Image& image, int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return image;
  Image part(width, height);
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) {
      if (image.contains(x + px, y + py)) part.at(px, py) = image.at(x + px, y + py);
    }
  }
  return part;
}

Image Draw(Bench& bench, const State& state) {
  RenderOptions options;
  options.ambient = state.ambient;
  options.scale = state.scale;
  options.mouse_overlay = state.mouse_overlay;
  Image picture;
  if (state.needle_value >= 0.0) {
    host::Drawing drawing = bench.gauge->last_drawing();
    bool found = false;
    for (host::DrawnElement& element : drawing.elements) {
      if (element.kind == kNeedle) {
        element.value = state.needle_value;
        found = true;
      }
    }
    EXPECT_TRUE(found) << state.gauge << " drew no needle";
    picture = bench::RenderDrawing(bench.host, *bench.gauge, drawing, bench.pictures,
                                   bench.fonts, options);
  } else {
    picture = bench::RenderGauge(bench.host, *bench.gauge, bench.pictures, bench.fonts, options);
  }
  return Crop(picture, state.crop_x, state.crop_y, state.crop_width, state.crop_height);
}

class Golden : public ::testing::TestWithParam<State> {};

TEST_P(Golden, MatchesCommittedPicture) {
  const State& state = GetParam();
  Bench bench(state.gauge);
  ASSERT_NE(bench.gauge, nullptr);
  if (state.reach) state.reach(bench);
  const size_t notes_before = bench.host.notes().size();
  const Image actual = Draw(bench, state);
  // The renderer notes what it cannot draw; none of these states has any.
  for (size_t i = notes_before; i < bench.host.notes().size(); ++i) {
    const std::string& note = bench.host.notes()[i];
    EXPECT_EQ(note.rfind("variable ", 0), 0u) << "drawing " << state.name << " noted: " << note;
  }

  const std::filesystem::path golden = kGoldenDir / (std::string(state.name) + ".png");
  std::string error;
  if (Updating()) {
    ASSERT_TRUE(bench::WritePng(actual, golden, &error)) << error;
    std::printf("wrote %s\n", golden.string().c_str());
    return;
  }
  const std::filesystem::path actual_file = OutDir() / (std::string(state.name) + ".actual.png");
  const std::filesystem::path diff_file = OutDir() / (std::string(state.name) + ".diff.png");
  std::filesystem::remove(actual_file);
  std::filesystem::remove(diff_file);
  Image expected;
  if (!bench::ReadPng(golden, &expected, &error)) {
    bench::WritePng(actual, actual_file, nullptr);
    FAIL() << "no golden picture for " << state.name << ": " << error
           << "\n  actual picture: " << actual_file.string()
           << "\n  to make it: GOLDEN_UPDATE=1 golden_test, then look at it and commit it";
  }
  const bench::Difference difference = bench::Compare(expected, actual, kChannelTolerance);
  if (bench::SameWithinTolerance(difference)) return;

  ASSERT_TRUE(bench::WritePng(actual, actual_file, &error)) << error;
  if (!difference.same_size) {
    FAIL() << state.name << ": expected a picture of " << expected.width() << " x "
           << expected.height() << ", drew " << actual.width() << " x " << actual.height()
           << "\n  golden: " << golden.string() << "\n  actual: " << actual_file.string();
  }
  ASSERT_TRUE(bench::WritePng(difference.picture, diff_file, &error)) << error;
  FAIL() << state.name << ": " << difference.pixels << " pixels differ from the golden picture by "
         << "more than " << kChannelTolerance << " (at most " << kPixelsAllowed
         << " may; the largest channel difference is " << difference.largest << ")"
         << "\n  golden:     " << golden.string() << "\n  actual:     " << actual_file.string()
         << "\n  difference: " << diff_file.string() << " (differing pixels red)";
}

std::string StateName(const ::testing::TestParamInfo<State>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// A panel's state `Day` with the panel lights on.
template <void (*Day)(Bench&)>
void Lit(Bench& bench) {
  PanelLights(bench.host.vars());
  Day(bench);
}

// The state `from`, then a click at each point in turn, then one update.
std::function<void(Bench&)> ThenClicked(void (*from)(Bench&),
                                        std::vector<std::pair<int, int>> points) {
  return [=](Bench& bench) {
    from(bench);
    for (const auto& [x, y] : points) bench.Click(x, y);
    bench.Cycle();
  };
}

// ---- the radio tuning display --------------------------------------------------

void RadioDay(Bench& bench) {
  Power(bench.host.vars());
  TuneRadios(bench.host.vars());
  bench.Cycle();
}

const State kRadioStates[] = {
    // The first draw, before any update, with no power: the face alone.
    {.name = "radio-dark", .gauge = "VORN_Kestrel_FMC", .reach = nullptr},
    {.name = "radio-day", .gauge = "VORN_Kestrel_FMC", .reach = RadioDay},
    {.name = "radio-night", .gauge = "VORN_Kestrel_FMC", .reach = Lit<RadioDay>,
     .ambient = Ambient::kNight},
    // Lights on but no display power: the page and the legends stay dark.
    {.name = "radio-night-unpowered", .gauge = "VORN_Kestrel_FMC",
     .reach = [](Bench& bench) {
       PanelLights(bench.host.vars());
       TuneRadios(bench.host.vars());
       bench.host.vars().Set(tables::kBus, 28.0);
       bench.Cycle();
     },
     .ambient = Ambient::kNight},
    // R1 swaps COM2 with its preset.
    {.name = "radio-com2-swapped", .gauge = "VORN_Kestrel_FMC",
     .reach = ThenClicked(RadioDay, {{360, 66}})},
    // The screen at twice the size, text drawn at that size.
    {.name = "radio-screen-2x", .gauge = "VORN_Kestrel_FMC", .reach = Lit<RadioDay>,
     .ambient = Ambient::kNight, .scale = 2, .crop_x = 76, .crop_y = 40, .crop_width = 612,
     .crop_height = 458},
    {.name = "radio-mouse-areas", .gauge = "VORN_Kestrel_FMC", .reach = RadioDay,
     .mouse_overlay = true},
};
INSTANTIATE_TEST_SUITE_P(Radio, Golden, ::testing::ValuesIn(kRadioStates), StateName);

// ---- the audio panel ---------------------------------------------------------------

void AudioDay(Bench& bench) {
  Power(bench.host.vars());
  bench.host.vars().Set(0x36a, 1.0);  // COMM 1 selected
  bench.host.vars().Set(0x36d, 1.0);  // NAV 1 selected
  bench.Cycle();
}

const State kAudioStates[] = {
    {.name = "audio-dark", .gauge = "orlaaudio", .reach = nullptr},
    {.name = "audio-day", .gauge = "orlaaudio", .reach = AudioDay},
    {.name = "audio-night", .gauge = "orlaaudio", .reach = Lit<AudioDay>,
     .ambient = Ambient::kNight},
    {.name = "audio-dusk", .gauge = "orlaaudio", .reach = Lit<AudioDay>, .ambient = Ambient::kDusk},
    // DME 1 pressed: its latch and the receiver on, its lamp lit.
    {.name = "audio-dme1-on", .gauge = "orlaaudio", .reach = ThenClicked(AudioDay, {{60, 155}})},
    {.name = "audio-mouse-areas-2x", .gauge = "orlaaudio", .reach = AudioDay, .scale = 2,
     .mouse_overlay = true},
};
INSTANTIATE_TEST_SUITE_P(Audio, Golden, ::testing::ValuesIn(kAudioStates), StateName);

// ---- the PFD settings panel -------------------------------------------------------

void PfdDay(Bench& bench) {
  Power(bench.host.vars());
  bench.Cycle();
}

const State kPfdStates[] = {
    {.name = "pfdset-dark", .gauge = "orlapfdset", .reach = nullptr},
    // By day with the panel lights on: the legends lit over the face.
    {.name = "pfdset-day-lit", .gauge = "orlapfdset", .reach = Lit<PfdDay>},
    {.name = "pfdset-night", .gauge = "orlapfdset", .reach = Lit<PfdDay>,
     .ambient = Ambient::kNight},
    // BARO right half twice (picture 2), DH-SET left half once (picture 3).
    {.name = "pfdset-knobs-turned", .gauge = "orlapfdset",
     .reach = ThenClicked(PfdDay, {{34, 42}, {34, 42}, {18, 120}}), .scale = 2},
    {.name = "pfdset-mouse-areas-2x", .gauge = "orlapfdset", .reach = PfdDay, .scale = 2,
     .mouse_overlay = true},
};
INSTANTIATE_TEST_SUITE_P(PfdSettings, Golden, ::testing::ValuesIn(kPfdStates), StateName);

// ---- the hydraulics panel ------------------------------------------------------------

// Updates with the first source at `psi` until the needle has ramped
// there (20 per update).
std::function<void(Bench&)> HydraulicsAt(double psi, bool lit, int dimmer = 1) {
  return [=](Bench& bench) {
    host::Variables& vars = bench.host.vars();
    *vars.Named("dimbrtb") = dimmer;
    vars.Set(tables::kBus, 28.0);
    if (lit) PanelLights(vars);
    PressurePsi(vars, psi);
    bench.Cycle(static_cast<int>(psi / 20) + 1);
  };
}

const State kHydraulicsStates[] = {
    {.name = "hyd-dark", .gauge = "orlahyd", .reach = nullptr},
    {.name = "hyd-0-lit", .gauge = "orlahyd", .reach = HydraulicsAt(0, true)},
    {.name = "hyd-750", .gauge = "orlahyd", .reach = HydraulicsAt(0, false),
     .needle_value = 750},
    {.name = "hyd-1500", .gauge = "orlahyd", .reach = HydraulicsAt(1500, false)},
    {.name = "hyd-2000", .gauge = "orlahyd", .reach = HydraulicsAt(2000, false)},
    {.name = "hyd-1500-2x", .gauge = "orlahyd", .reach = HydraulicsAt(1500, false), .scale = 2},
    {.name = "hyd-night-bright", .gauge = "orlahyd", .reach = HydraulicsAt(1000, true, 1),
     .ambient = Ambient::kNight},
    {.name = "hyd-night-dim", .gauge = "orlahyd", .reach = HydraulicsAt(1000, true, 2),
     .ambient = Ambient::kNight},
    // Power but the panel lights off at night: the dials and needle unlit.
    {.name = "hyd-night-unlit", .gauge = "orlahyd", .reach = HydraulicsAt(1000, false),
     .ambient = Ambient::kNight},
};
INSTANTIATE_TEST_SUITE_P(Hydraulics, Golden, ::testing::ValuesIn(kHydraulicsStates), StateName);

}  // namespace
