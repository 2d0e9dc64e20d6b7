// Pictures as PNG files, enlarged, and compared: what the golden tests rest on.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/drawing/image.h"
#include "bench/drawing/png_frames.h"
#include "bench/file_write.h"

namespace {

using bench::Image;
using bench::Rgba;

// A picture of runs of colour, as on a gauge face (so that zlib finds
// matches), the same for the same seed; not opaque, its alpha varies too.
Image Noise(int width, int height, uint32_t seed, bool opaque = true) {
  Image image(width, height);
  for (Rgba& p : image.pixels()) {
    seed = seed * 1664525u + 1013904223u;
    const auto v = static_cast<uint8_t>((seed >> 28) * 17);
    p = {v, static_cast<uint8_t>(v / 2), static_cast<uint8_t>(255 - v),
         opaque ? uint8_t{255} : static_cast<uint8_t>(seed)};
  }
  return image;
}

void PutBig32(std::string* out, uint32_t value) {
  for (int shift : {24, 16, 8, 0}) *out += static_cast<char>(value >> shift);
}

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

// Pictures encoded one after another (the small encoder's settings are the
// whole program's, the fast one starts anew): what came before, larger or
// smaller, opaque or not, must not show.
TEST(Image, EachPngDependsOnlyOnItsPicture) {
  struct Case {
    const char* what;
    Image image;
    bench::PngSpeed speed;
  };
  const Case cases[] = {
      {"large opaque, fast", Noise(700, 500, 1), bench::PngSpeed::kFast},
      {"small, fast", Image(3, 2, {10, 20, 30, 255}), bench::PngSpeed::kFast},
      {"larger with alpha, small", Noise(900, 600, 2, false), bench::PngSpeed::kSmall},
      {"medium opaque, small", Noise(300, 200, 3), bench::PngSpeed::kSmall},
      {"large opaque again, fast", Noise(700, 500, 1), bench::PngSpeed::kFast},
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

// A PNG read as strictly as the format allows: every chunk's checksum, and
// the zlib stream's (which lenient readers skip). Returns the rows as
// stored, or says what is wrong.
std::string StrictRows(const std::string& png, std::string* wrong) {
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(png[at + 3]));
  };
  std::string idat;
  uint32_t width = 0, height = 0, channels = 0;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = u32(at);
    const std::string type = png.substr(at + 4, 4);
    if (at + 12 + length > png.size()) return *wrong = type + " runs past the end", "";
    const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + at + 4);
    if (crc32(0, bytes, length + 4) != u32(at + 8 + length)) return *wrong = type + " checksum", "";
    if (type == "IHDR") {
      width = u32(at + 8);
      height = u32(at + 12);
      channels = png[at + 17] == 6 ? 4 : 3;
    }
    if (type == "IDAT") idat += png.substr(at + 8, length);
    at += 12 + length;
  }
  std::string rows(static_cast<size_t>(height) * (1 + width * channels), '\0');
  uLongf size = rows.size();
  const int result = uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                                reinterpret_cast<const Bytef*>(idat.data()), idat.size());
  if (result != Z_OK || size != rows.size()) {
    *wrong = "zlib stream: " + std::to_string(result) + ", " + std::to_string(size) + " bytes";
    return "";
  }
  return rows;
}

// The live panel's frames: each the PNG of its own picture, whether its
// bands are compressed anew or taken from the frame before.
TEST(PngFrames, EachFrameIsThePngOfItsPictureWhateverCameBefore) {
  const Image base = Noise(300, 400, 1);  // 72 rows a band: 6 bands
  auto changed = [&](int from_row, int rows) {
    Image image = base;
    for (int y = from_row; y < from_row + rows; ++y) image.at(7, y) = {1, 2, 3, 255};
    return image;
  };
  Image with_alpha = base;
  with_alpha.at(5, 5).a = 0;
  // As wide as a picture may be, with alpha: a row is more than a band.
  Image widest = Noise(1 << 14, 3, 3);
  widest.at(0, 0).a = 254;
  const struct {
    const char* what;
    Image image;
  } frames[] = {
      {"first", base},
      {"unchanged", base},
      {"a line of text changed", changed(100, 12)},
      {"back as it was", base},
      {"the last row changed", changed(399, 1)},
      {"rows across two bands changed", changed(60, 30)},
      {"a pixel not opaque", with_alpha},
      {"another size", Noise(50, 20, 2)},
      {"a row wider than a band", widest},
      {"the first again", base},
  };
  bench::PngFrames running;
  for (const auto& frame : frames) {
    SCOPED_TRACE(frame.what);
    std::string png, fresh, error;
    ASSERT_TRUE(running.Encode(frame.image, &png, &error)) << error;
    ASSERT_TRUE(bench::PngFrames().Encode(frame.image, &fresh, &error)) << error;
    EXPECT_TRUE(png == fresh) << "differs from the same picture encoded on its own";
    std::string wrong;
    const std::string rows = StrictRows(png, &wrong);
    EXPECT_EQ(wrong, "");
    Image read;
    ASSERT_TRUE(bench::DecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &read,
                                 &error))
        << error;
    EXPECT_TRUE(read.pixels() == frame.image.pixels()) << "pixels changed";
  }
  std::string png, error;
  EXPECT_FALSE(running.Encode(Image(), &png, &error));
  EXPECT_EQ(error, "the picture is empty");
}

// PNG files as a careless or hostile hand may make them: each is read, or
// refused with a reason, and none makes the reader ask for memory out of
// proportion to what it holds.
TEST(Image, DecodePngReadsWhatItCanAndSaysWhyNot) {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out;
    PutBig32(&out, static_cast<uint32_t>(data.size()));
    out += type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + 4), 4 + data.size());
    PutBig32(&out, static_cast<uint32_t>(crc));
    return out;
  };
  auto header = [&](uint32_t width, uint32_t height) {
    std::string data;
    PutBig32(&data, width);
    PutBig32(&data, height);
    data += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", data);
  };
  auto deflated = [](const std::string& rows) {
    std::string out(compressBound(rows.size()), '\0');
    uLongf size = out.size();
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(rows.data()), rows.size());
    return out.substr(0, size);
  };
  const std::string two_by_one = std::string("\0", 1) + "\x10\x20\x30\x40\x50\x60";
  const std::string good = header(2, 1) + chunk("IDAT", deflated(two_by_one)) + chunk("IEND", "");
  std::string lying_length = good;
  lying_length[33 + 3] = '\x7f';  // the IDAT chunk's length, now far past the end
  const struct {
    const char* what;
    std::string bytes;
    const char* error;  // "" for read
  } cases[] = {
      {"a good picture", good, ""},
      {"not a PNG", "GIF89a", "not a PNG picture"},
      {"only the signature", good.substr(0, 8), "no header (IHDR)"},
      {"cut short", good.substr(0, 40), "cut short"},
      {"without its end", good.substr(0, good.size() - 12), "cut short"},
      {"a chunk longer than the file", lying_length, "cut short"},
      {"a large size in a few bytes",
       header(8000, 8000) + chunk("IDAT", deflated(std::string(1000, '\0'))) + chunk("IEND", ""),
       "more than they can hold"},
      {"too large to draw", header(20000, 10) + chunk("IEND", ""), "not a size this bench draws"},
  };
  for (const auto& c : cases) {
    Image image;
    std::string error;
    const bool read = bench::DecodePng(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                       c.bytes.size(), &image, &error);
    if (*c.error == '\0') {
      EXPECT_TRUE(read) << c.what << ": " << error;
      EXPECT_EQ(image.width(), 2) << c.what;
      EXPECT_TRUE(image.at(1, 0) == (Rgba{0x40, 0x50, 0x60, 255})) << c.what;
    } else {
      EXPECT_FALSE(read) << c.what;
      EXPECT_NE(error.find(c.error), std::string::npos)
          << c.what << ": expected the reason to say \"" << c.error << "\", got \"" << error
          << "\"";
    }
  }
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
