// The committed bitmaps and click sounds are what their sources make: a
// changed SVG, pictures.txt or sound recipe without the outputs made again
// fails here, so a new machine can build without the art tools.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tools/art/art_files.h"
#include "tools/sound/clicks.h"

namespace {

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ArtDirectory : public ::testing::TestWithParam<const char*> {};

TEST_P(ArtDirectory, BitmapsAreUpToDateWithTheirSources) {
  const std::filesystem::path dir = std::filesystem::path(SOURCE_DIR) / GetParam() / "art";
  std::vector<art::PictureLine> lines;
  std::string error;
  ASSERT_TRUE(art::ReadPictures(dir / "pictures.txt", &lines, &error)) << error;
  EXPECT_EQ(art::Manifest(dir, lines), ReadText(dir / "manifest.txt"))
      << dir.string() << ": a source or a bitmap changed since the bitmaps were made; "
      << "run tools/make-art.sh " << GetParam() << " and commit what it writes";
}

INSTANTIATE_TEST_SUITE_P(Modules, ArtDirectory,
                         ::testing::Values("radio_display", "audio_panel", "pfd_settings",
                                           "hydraulics"));

TEST(ArtDirectory, PictureListErrorsNameTheLine) {
  const auto file = std::filesystem::temp_directory_path() / "pictures-bad.txt";
  const std::pair<const char*, const char*> cases[] = {
      {"0x100 380x495 face.svg\n", ":1: expected"},
      {"# fine\nzz 1x1 a.svg face\n", ":2: bad resource id 'zz'"},
      {"0x100 380 face.svg face\n", ":1: bad size '380'"},
      {"0x100 1x1 face.svg under\n", ":1: unknown placement 'under'"},
      {"0x100 1x1 face.svg over\n", ":1: 'over' needs a position"},
      {"0x100 1x1 - face\n", ":1: a black picture"},
      {"0x100 1x1 face.svg black\n", ":1: a black picture"},
      {"0x100 1x1 face.svg face extra\n", ":1: unexpected 'extra'"},
  };
  for (const auto& [text, message] : cases) {
    std::ofstream(file) << text;
    std::vector<art::PictureLine> lines;
    std::string error;
    EXPECT_FALSE(art::ReadPictures(file, &lines, &error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << "error: " << error << "\nfor: " << text;
  }
}

TEST(ClickSounds, AreWhatTheToolMakes) {
  for (const clicks::Click& click : clicks::kClicks) {
    const std::vector<uint8_t> made = click.make();
    const std::string committed =
        ReadText(std::filesystem::path(SOURCE_DIR) / "sound" / click.file);
    EXPECT_EQ(std::string(made.begin(), made.end()), committed)
        << "sound/" << click.file << " differs from what make-clicks makes: run "
        << "build/native/bin/make-clicks sound";
  }
}

TEST(ClickSounds, AreShortMonoPcm) {
  for (const clicks::Click& click : clicks::kClicks) {
    const std::vector<uint8_t> wav = click.make();
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 12), "WAVE");
    EXPECT_EQ(wav[20], 1) << "PCM";
    EXPECT_EQ(wav[22], 1) << "mono";
    const uint32_t rate = wav[24] | wav[25] << 8 | wav[26] << 16;
    const double seconds = static_cast<double>(wav.size() - 44) / 2.0 / rate;
    EXPECT_GT(seconds, 0.01) << click.file;
    EXPECT_LT(seconds, 0.1) << click.file << ": a click is short";
  }
}

}  // namespace
