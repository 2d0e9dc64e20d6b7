// The bench's fonts: the faces it draws the panel system's font names with,
// and text that cannot be drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>

#include "bench/drawing/render.h"

namespace {

using bench::Image;

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
  EXPECT_EQ(canvas.pixels(), blank.pixels());
}

// Across, each glyph is shifted by the fraction of a pixel that draws it
// sharpest: an upright stem lands on one column, covered from its top to
// the baseline (at least 90 %: a narrow label's stem is a little under a
// pixel wide), at the sizes the radio page draws (13-pixel labels,
// 19.5-pixel read-outs), wherever the pen stands; and the text advances as
// before.
TEST(Fonts, StemsLandOnOneColumn) {
  bench::Fonts fonts;
  std::string error;
  ASSERT_TRUE(fonts.Init(&error)) << error;
  for (const char* font : {"Arial Narrow", "Arial"}) {
    for (double size : {13.0, 19.5}) {
      for (const char* letter : {"l", "I", "F", "E"}) {
        for (int x : {4, 5}) {
          SCOPED_TRACE(std::string(font) + " " + std::to_string(size) + " " + letter + " at " +
                       std::to_string(x));
          Image canvas(40, 40, {0, 0, 0, 255});
          const int advance = fonts.DrawText(&canvas, font, 500, size, x, 30, letter,
                                             {255, 255, 255, 255}, {0, 0, 40, 40});
          EXPECT_EQ(advance, fonts.TextWidth(font, 500, size, letter));
          int inked_rows = 0, best_column = 0;
          for (int y = 0; y < 40; ++y) {
            bool inked = false;
            for (int column = 0; column < 40; ++column) inked |= canvas.at(column, y).r != 0;
            inked_rows += inked;
          }
          for (int column = 0; column < 40; ++column) {
            int full = 0;
            for (int y = 0; y < 40; ++y) full += canvas.at(column, y).r >= 230;
            best_column = std::max(best_column, full);
          }
          EXPECT_EQ(best_column, inked_rows);
        }
      }
    }
  }
}

}  // namespace
