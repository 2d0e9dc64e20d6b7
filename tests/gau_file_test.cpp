// The four files the simulator loads, read as files: 32-bit Windows
// libraries named after their gauges, exporting only the two records as
// data, importing only the system's own libraries, and carrying exactly their
// bitmaps in the form the simulator draws and their version. Every Windows
// file we ship carries the project's version where a pilot sees it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "formats/pe_image.h"
#include "formats/version_info.h"
#include "gauge_check/pictures.h"

namespace {

using ::testing::UnorderedElementsAre;

// How a picture shows: a face shows every pixel; a black picture draws
// nothing; a picture on black shows some pixels and leaves the rest black.
enum class Role { kFace, kBlack, kOnBlack };

struct Picture {
  uint32_t id;
  int width;
  int height;
  Role role;
};

struct GaugeFile {
  const char* gauge;
  std::vector<Picture> pictures;
};

const std::vector<GaugeFile>& Files() {
  using enum Role;
  static const std::vector<GaugeFile> files = {
      {"VORN_Kestrel_FMC",
       {{0x100, 380, 495, kFace}, {0x1200, 380, 495, kBlack}, {0x1201, 380, 495, kOnBlack}}},
      {"orlaaudio",
       {{0x100, 140, 247, kFace},  {0x1100, 140, 247, kBlack}, {0x1101, 140, 247, kOnBlack},
        {0x1200, 8, 8, kBlack},    {0x1201, 8, 8, kOnBlack},   {0x1300, 10, 8, kBlack},
        {0x1301, 10, 8, kOnBlack}, {0x1400, 7, 8, kBlack},     {0x1401, 7, 8, kOnBlack},
        {0x1500, 5, 9, kBlack},    {0x1501, 5, 9, kOnBlack},   {0x1600, 5, 8, kBlack},
        {0x1601, 5, 8, kOnBlack},  {0x1700, 5, 8, kBlack},     {0x1701, 5, 8, kOnBlack},
        {0x1800, 5, 7, kBlack},    {0x1801, 5, 7, kOnBlack},   {0x1900, 6, 5, kBlack},
        {0x1901, 6, 5, kOnBlack}}},
      {"orlapfdset",
       {{0x100, 64, 263, kFace},   {0x1100, 15, 15, kOnBlack}, {0x1101, 15, 15, kOnBlack},
        {0x1102, 15, 15, kOnBlack}, {0x1103, 15, 15, kOnBlack}, {0x1200, 13, 13, kOnBlack},
        {0x1201, 13, 13, kOnBlack}, {0x1202, 13, 13, kOnBlack}, {0x1203, 13, 13, kOnBlack},
        {0x1300, 64, 263, kBlack},  {0x1301, 64, 263, kOnBlack}}},
      {"orlahyd",
       {{0x100, 287, 112, kFace}, {0x1100, 287, 112, kBlack}, {0x1101, 287, 112, kOnBlack},
        {0x1102, 287, 112, kOnBlack}, {0x1200, 28, 13, kOnBlack}}},
  };
  return files;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class GauFile : public ::testing::TestWithParam<GaugeFile> {
 protected:
  void SetUp() override {
    const std::string path = std::string(WIN32_GAUGES_DIR) + "/" + GetParam().gauge + ".gau";
    std::string error;
    ASSERT_TRUE(formats::ReadPeImage(path, &image_, &error))
        << error << " (build the Windows tree first: tools/build-win32.sh)";
  }
  formats::PeImage image_;
};

TEST_P(GauFile, IsA32BitWindowsLibraryNamedAfterItsGauge) {
  EXPECT_EQ(image_.machine, formats::kMachineI386);
  EXPECT_TRUE(image_.pe32);
  EXPECT_NE(image_.characteristics & formats::kCharacteristicDll, 0) << "not a DLL";
  EXPECT_EQ(image_.export_name, std::string(GetParam().gauge) + ".gau");
}

TEST_P(GauFile, ExportsOnlyTheTwoRecordsAsData) {
  std::vector<std::string> names;
  for (const formats::PeExport& e : image_.exports) {
    names.push_back(e.name);
    EXPECT_EQ(e.section_characteristics & formats::kSectionExecutable, 0u)
        << e.name << " lies in code: exported as a function, not data";
  }
  EXPECT_THAT(names, UnorderedElementsAre("Linkage", "ImportTable"));
}

TEST_P(GauFile, ImportsOnlyTheSystemsOwnLibraries) {
  std::set<std::string> imports;
  for (const std::string& name : image_.imports) imports.insert(Lower(name));
  EXPECT_FALSE(imports.empty());
  for (const std::string& name : imports) {
    EXPECT_TRUE(name == "kernel32.dll" || name == "msvcrt.dll")
        << "imports " << name << ": a user would need it beside the simulator";
  }
}

TEST_P(GauFile, CarriesExactlyItsBitmapsAndItsVersionInU_S_English) {
  EXPECT_EQ(image_.named_resources, 0);
  std::set<uint32_t> ids;
  size_t bitmaps = 0;
  for (const formats::PeResource& r : image_.resources) {
    EXPECT_EQ(r.language, 1033u) << "resource 0x" << std::hex << r.id;
    if (r.type == formats::kResourceTypeVersion) continue;  // checked with every shipped file
    EXPECT_EQ(r.type, formats::kResourceTypeBitmap) << "resource 0x" << std::hex << r.id;
    ids.insert(r.id);
    ++bitmaps;
  }
  std::set<uint32_t> expected;
  for (const Picture& p : GetParam().pictures) expected.insert(p.id);
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(bitmaps, expected.size()) << "a bitmap is there twice";
  EXPECT_EQ(image_.resources.size(), bitmaps + 1) << "not exactly one version resource";
}

TEST_P(GauFile, EveryBitmapHasItsSizeAndKeepsTheBlackRule) {
  for (const Picture& p : GetParam().pictures) {
    SCOPED_TRACE(::testing::Message() << GetParam().gauge << " bitmap 0x" << std::hex << p.id);
    const formats::PeResource* resource = image_.Find(formats::kResourceTypeBitmap, p.id);
    ASSERT_NE(resource, nullptr);
    // The resource as the simulator reads it: a 40-byte header, 8 bits per
    // pixel, no compression, a 256-entry palette, rows bottom-up.
    gauge_check::Dib dib;
    std::string why;
    ASSERT_TRUE(gauge_check::ReadDib(resource->bytes, &dib, &why)) << why;
    EXPECT_EQ(dib.width, p.width);
    EXPECT_EQ(dib.height, p.height);
    const size_t black = dib.black;
    switch (p.role) {
      case Role::kFace:
        EXPECT_EQ(black, 0u) << "pure black pixels on a face would not be drawn";
        break;
      case Role::kBlack:
        EXPECT_EQ(black, dib.pixels) << "must draw nothing: black all over";
        break;
      case Role::kOnBlack:
        EXPECT_GT(black, 0u) << "must sit on black";
        EXPECT_LT(black, dib.pixels) << "shows nothing";
        break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Gauges, GauFile, ::testing::ValuesIn(Files()),
                         [](const auto& info) { return std::string(info.param.gauge); });

// Every Windows file we ship: one version resource (id 1, U.S. English)
// naming the project's version and product, and the file itself.
struct ShippedFile {
  std::string path;
  std::string file_name;
  uint32_t file_type;  // 1 an application, 2 a library
  const char* build;   // what makes it
};
void PrintTo(const ShippedFile& file, std::ostream* out) { *out << file.path; }

std::vector<ShippedFile> ShippedFiles() {
  const std::string gauges = WIN32_GAUGES_DIR, bin = WIN32_BIN_DIR;
  const char* windows = "tools/build-win32.sh";
  std::vector<ShippedFile> files;
  for (const GaugeFile& gauge : Files()) {
    const std::string name = std::string(gauge.gauge) + ".gau";
    files.push_back({gauges + "/" + name, name, 2, windows});
  }
  files.push_back({bin + "/GaugeSound.dll", "GaugeSound.dll", 2, windows});
  files.push_back({bin + "/panel-bench.exe", "panel-bench.exe", 1, windows});
  files.push_back({bin + "/gauge-check.exe", "gauge-check.exe", 1, windows});
  const std::string setup = "business-jet-gauges-" GAUGES_VERSION "-setup.exe";
  files.push_back({std::string(RELEASE_DIR) + "/" + setup, setup, 1, "tools/release.sh"});
  return files;
}

class Shipped : public ::testing::TestWithParam<ShippedFile> {};

TEST_P(Shipped, CarriesTheProjectsVersion) {
  const ShippedFile& file = GetParam();
  formats::PeImage image;
  std::string error;
  ASSERT_TRUE(formats::ReadPeImage(file.path, &image, &error))
      << error << " (made by " << file.build << ")";
  std::vector<const formats::PeResource*> versions;
  for (const formats::PeResource& r : image.resources) {
    if (r.type == formats::kResourceTypeVersion) versions.push_back(&r);
  }
  ASSERT_EQ(versions.size(), 1u) << file.path << ": not exactly one version resource";
  EXPECT_EQ(versions[0]->id, 1u);
  EXPECT_EQ(versions[0]->language, 1033u);
  formats::VersionInfo info;
  ASSERT_TRUE(formats::ParseVersionInfo(versions[0]->bytes, &info, &error))
      << file.path << ": " << error;
  const std::string version = GAUGES_VERSION;
  EXPECT_EQ(formats::DottedVersion(info.file_version), version + ".0");
  EXPECT_EQ(formats::DottedVersion(info.product_version), version + ".0");
  EXPECT_EQ(info.file_type, file.file_type);
  auto text = [&](const char* key) {
    const std::string* value = info.Text(key);
    return value != nullptr ? *value : std::string("(none)");
  };
  EXPECT_EQ(text("FileVersion"), version);
  EXPECT_EQ(text("ProductVersion"), version);
  EXPECT_EQ(text("ProductName"), GAUGES_PRODUCT);
  EXPECT_NE(text("FileDescription"), "(none)");
  EXPECT_EQ(text("OriginalFilename"), file.file_name);
  ASSERT_EQ(info.tables.size(), 1u);
  EXPECT_EQ(Lower(info.tables[0].name), "040904b0") << "U.S. English, UTF-16";
  EXPECT_THAT(info.translations, ::testing::ElementsAre(0x040904B0u));
}

INSTANTIATE_TEST_SUITE_P(Windows, Shipped, ::testing::ValuesIn(ShippedFiles()),
                         [](const auto& info) {
                           std::string name = std::filesystem::path(info.param.path).stem().string();
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

// The version reader never trusts a resource: every cut and a spread of
// damage gives an answer, never a crash.
TEST(VersionReader, RefusesDamagedResourcesWithAReason) {
  formats::PeImage image;
  std::string error;
  ASSERT_TRUE(formats::ReadPeImage(std::string(WIN32_GAUGES_DIR) + "/orlahyd.gau", &image, &error))
      << error;
  const formats::PeResource* resource = image.Find(formats::kResourceTypeVersion, 1);
  ASSERT_NE(resource, nullptr);
  const std::vector<uint8_t>& good = resource->bytes;
  formats::VersionInfo info;
  EXPECT_FALSE(formats::ParseVersionInfo({}, &info, &error));
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    error.clear();
    // A cut one leaves the root block's length pointing past the bytes.
    EXPECT_FALSE(formats::ParseVersionInfo(cut, &info, &error)) << size;
    EXPECT_FALSE(error.empty()) << size;
  }
  for (size_t at = 0; at < good.size(); ++at) {
    std::vector<uint8_t> damaged = good;
    damaged[at] ^= 0xFF;
    formats::ParseVersionInfo(damaged, &info, &error);
  }
}

// The reader itself must never trust a file: damaged ones give an error.
TEST(PeReader, RefusesDamagedFilesWithAReason) {
  formats::PeImage image;
  std::string error;
  const std::string path = std::string(WIN32_GAUGES_DIR) + "/orlahyd.gau";
  ASSERT_TRUE(formats::ReadPeImage(path, &image, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> good((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  EXPECT_FALSE(formats::ParsePeImage({}, &image, &error));
  EXPECT_FALSE(formats::ParsePeImage({'M', 'Z'}, &image, &error));
  // Every truncation and a spread of single-byte damage: an answer, never a crash.
  for (size_t size = 0; size < good.size(); size += 97) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    error.clear();
    if (!formats::ParsePeImage(cut, &image, &error)) {
      EXPECT_FALSE(error.empty()) << size;
    }
  }
  for (size_t at = 0; at < std::min<size_t>(good.size(), 4096); ++at) {
    std::vector<uint8_t> damaged = good;
    damaged[at] ^= 0xFF;
    formats::ParsePeImage(damaged, &image, &error);
  }
}

}  // namespace
