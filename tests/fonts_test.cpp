// The bench's fonts: the faces it draws the panel system's font names with,
// and text that cannot be drawn.
#include <gtest/gtest.h>

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

}  // namespace
