// Pictures as PNG files, enlarged, and compared: what the golden tests rest on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/drawing/image.h"
#include "bench/file_write.h"

namespace {

using bench::Image;
using bench::Rgba;

TEST(Image, PngKeepsEveryPixel) {
  Image image(3, 2, {10, 20, 30, 255});
  image.at(2, 1) = {255, 0, 128, 255};
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("image-test-" + std::to_string(::getpid()) + ".png");
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

// The encoder keeps its large working memory from one picture to the next:
// what it encoded before, larger or smaller, opaque or not, must not show.
TEST(Image, EachPngDependsOnlyOnItsPicture) {
  auto noise = [](int width, int height, bool opaque, uint32_t seed) {
    Image image(width, height);
    for (Rgba& p : image.pixels()) {
      seed = seed * 1664525u + 1013904223u;
      p = {static_cast<uint8_t>(seed >> 24), static_cast<uint8_t>(seed >> 16),
           static_cast<uint8_t>(seed >> 8), opaque ? uint8_t{255} : static_cast<uint8_t>(seed)};
    }
    return image;
  };
  struct Case {
    const char* what;
    Image image;
    bench::PngSpeed speed;
  };
  const Case cases[] = {
      {"large opaque, fast", noise(700, 500, true, 1), bench::PngSpeed::kFast},
      {"small, fast", Image(3, 2, {10, 20, 30, 255}), bench::PngSpeed::kFast},
      {"larger with alpha, small", noise(900, 600, false, 2), bench::PngSpeed::kSmall},
      {"medium opaque, small", noise(300, 200, true, 3), bench::PngSpeed::kSmall},
      {"large opaque again, fast", noise(700, 500, true, 1), bench::PngSpeed::kFast},
  };
  std::vector<std::string> first;
  for (const Case& c : cases) {
    std::string png, error;
    ASSERT_TRUE(bench::EncodePng(c.image, c.speed, &png, &error)) << c.what << ": " << error;
    first.push_back(png);
  }
  EXPECT_EQ(first[0], first[4]) << "the same picture encoded twice differs";
  // Again, in the other order: the same bytes.
  for (size_t i = std::size(cases); i-- > 0;) {
    std::string png, error;
    ASSERT_TRUE(bench::EncodePng(cases[i].image, cases[i].speed, &png, &error)) << error;
    EXPECT_EQ(png, first[i]) << cases[i].what << ": differs when encoded after other pictures";
  }
  // And each reads back as its pixels.
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("image-test-each-" + std::to_string(::getpid()) + ".png");
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::string error;
    ASSERT_TRUE(bench::WriteFileReplacing(file, first[i], &error)) << error;
    Image read;
    ASSERT_TRUE(bench::ReadPng(file, &read, &error)) << cases[i].what << ": " << error;
    EXPECT_TRUE(read.pixels() == cases[i].image.pixels()) << cases[i].what << ": pixels changed";
  }
  std::filesystem::remove(file);
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
