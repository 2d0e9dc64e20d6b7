// Under a Windows loader: each module's bitmaps, found in the loaded module
// by the system's own resource calls, are the committed bitmaps.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/gauge_fixture.h"
#include "tools/art/art_files.h"

namespace {

struct Module {
  const char* gauge;
  const char* dir;
};

class LoadedModule : public ::testing::TestWithParam<Module> {};

TEST_P(LoadedModule, CarriesItsBitmapsAsTheResourceScriptLists) {
  host::Host host;
  std::string error;
  host::Module* module =
      host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), GetParam().gauge), &error);
  ASSERT_NE(module, nullptr) << error;
  const std::filesystem::path art = std::filesystem::path(SOURCE_DIR) / GetParam().dir / "art";
  std::vector<art::PictureLine> lines;
  ASSERT_TRUE(art::ReadPictures(art / "pictures.txt", &lines, &error)) << error;
  ASSERT_FALSE(lines.empty());
  for (const art::PictureLine& line : lines) {
    std::ifstream in(art / art::BitmapName(line), std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 14u) << art::BitmapName(line);
    std::vector<uint8_t> resource;
    ASSERT_TRUE(module->Resource(2, line.id, &resource)) << "bitmap 0x" << std::hex << line.id;
    // The resource is the bitmap file without its 14-byte file header.
    EXPECT_TRUE(std::equal(file.begin() + 14, file.end(), resource.begin(), resource.end()))
        << "bitmap 0x" << std::hex << line.id;
  }
}

INSTANTIATE_TEST_SUITE_P(Gauges, LoadedModule,
                         ::testing::Values(Module{"VORN_Kestrel_FMC", "radio_display"},
                                           Module{"orlaaudio", "audio_panel"},
                                           Module{"orlapfdset", "pfd_settings"},
                                           Module{"orlahyd", "hydraulics"}),
                         [](const auto& info) { return std::string(info.param.gauge); });

}  // namespace
