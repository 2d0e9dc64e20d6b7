// The gauges' pictures: the 8-bit palette bitmaps as the bench decodes
// them, and every bitmap of a gauge file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "bench/drawing/render.h"
#include "formats/limits.h"
#include "tests/drawn_gauge.h"

namespace {

using bench::Picture;
using bench::Rgba;

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

  testing_support::DrawnGauge hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
#if !defined(_WIN32)
  error.clear();
  EXPECT_FALSE(pictures.LoadModule(hyd.gauge->module(), &error));
  EXPECT_NE(error.find(".gau"), std::string::npos) << error;
#endif
}

}  // namespace
