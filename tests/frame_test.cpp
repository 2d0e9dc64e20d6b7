// What every module shares: its exports, its linkage, the conversions of
// simulation values, the library loader layer and the click's binding to the
// sound library.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>

#include "frame/convert.h"
#include "frame/os_loader.h"
#include "tests/gauge_fixture.h"

namespace {

using testing_support::Copy;

using ::testing::ElementsAre;
using testing_support::LogLines;

constexpr const char* kGauges[] = {"VORN_Kestrel_FMC", "orlaaudio", "orlapfdset", "orlahyd"};

// The output of a command, one entry per line.
std::vector<std::string> CommandLines(const std::string& command) {
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    lines.push_back(text);
  }
  pclose(pipe);
  return lines;
}

TEST(ModuleFiles, ExportExactlyLinkageAndImportTableAsData) {
  for (const char* gauge : kGauges) {
    const auto file = host::GaugeFile(host::DefaultGaugeDir(), gauge);
    std::set<std::string> exported;
    for (const std::string& line : CommandLines("nm -D --defined-only " + file.string())) {
      // "<address> <type> <name>"
      const auto last = line.rfind(' ');
      const auto type = line.size() > 2 && last != std::string::npos ? line[last - 1] : '?';
      const std::string name = line.substr(last + 1);
      exported.insert(name + ":" + type);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"ImportTable:D", "Linkage:D"})) << file;
  }
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(ModuleFiles, NeedNothingButTheCLibrary) {
  for (const char* gauge : kGauges) {
    const auto file = host::GaugeFile(host::DefaultGaugeDir(), gauge);
    std::vector<std::string> needed;
    for (const std::string& line : CommandLines("readelf -d " + file.string())) {
      const auto open = line.find("Shared library: [");
      if (open != std::string::npos) needed.push_back(line.substr(open + 17, line.size() - open - 18));
    }
    EXPECT_THAT(needed, ElementsAre("libc.so.6")) << file;
  }
}
#endif

TEST(ModuleFiles, LinkageAndImportTableCarryTheFixedValues) {
  host::Host host;
  for (const char* gauge : kGauges) {
    std::string error;
    host::Module* module = host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), gauge), &error);
    ASSERT_NE(module, nullptr) << error;
    const ModuleLinkage& linkage = module->linkage();
    EXPECT_EQ(linkage.module_id, 0x13u) << gauge;
    EXPECT_NE(Copy(linkage.module_init), nullptr) << gauge;
    EXPECT_NE(Copy(linkage.module_deinit), nullptr) << gauge;
    EXPECT_EQ(linkage.reserved_1, 0u) << gauge;
    EXPECT_EQ(linkage.reserved_2, 0u) << gauge;
    EXPECT_EQ(linkage.module_version, 0x800u) << gauge;
    ASSERT_NE(Copy(linkage.gauge_headers[0]), nullptr) << gauge;
    EXPECT_EQ(Copy(linkage.gauge_headers[1]), nullptr) << gauge;
    EXPECT_STREQ(Copy(linkage.gauge_headers[0]->gauge_name), gauge);
    EXPECT_EQ(module->import_table()[0].service_id, 0x0Fu) << gauge;
    EXPECT_EQ(module->import_table()[1].service_id, 0u) << gauge;
    EXPECT_EQ(Copy(module->import_table()[1].service_table), nullptr) << gauge;
    // module_init and module_deinit do nothing, however often called.
    linkage.module_init();
    linkage.module_deinit();
    EXPECT_TRUE(host.log().empty()) << gauge;
  }
}

TEST(Conversions, TruncateTowardZeroAndSaturate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {0.0, 0},           {1.0, 1},           {1.7, 1},
      {1.999999, 1},      {2.0, 2},           {-0.5, 0},
      {-1.7, -1},         {190.5, 190},       {2147483647.0, INT32_MAX},
      {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX}, {1e300, INT32_MAX},
      {inf, INT32_MAX},   {-2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN},
      {-2147483649.0, INT32_MIN}, {-1e300, INT32_MIN}, {-inf, INT32_MIN},
      {nan, 0},           {-nan, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TruncateToInt32(c.value), c.expected) << "value " << c.value;
  }
}

TEST(Conversions, StepsStopAtTheEndsOfTheRange) {
  EXPECT_EQ(SaturatingAdd(0, 1), 1);
  EXPECT_EQ(SaturatingAdd(0, -1), -1);
  EXPECT_EQ(SaturatingAdd(INT32_MAX, 1), INT32_MAX);
  EXPECT_EQ(SaturatingAdd(INT32_MIN, -1), INT32_MIN);
  EXPECT_EQ(SaturatingAdd(INT32_MAX - 5, 20), INT32_MAX);
  EXPECT_EQ(SaturatingAdd(INT32_MIN + 5, -20), INT32_MIN);
}

TEST(Conversions, PoweredOnlyStrictlyAboveTenVolts) {
  EXPECT_EQ(PoweredFrom(10.0), 0);
  EXPECT_EQ(PoweredFrom(10.000001), 1);
  EXPECT_EQ(PoweredFrom(9.99), 0);
  EXPECT_EQ(PoweredFrom(28.0), 1);
  EXPECT_EQ(PoweredFrom(-28.0), 0);
  EXPECT_EQ(PoweredFrom(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(PoweredFrom(std::numeric_limits<double>::infinity()), 1);
}

// The loader layer takes the place of the operating system's calls.
TEST(LibraryLoader, FindsTheSoundLibraryOnlyByTheLoadersNormalSearch) {
  // Not loaded and not on the search path: nothing to find or load.
  EXPECT_EQ(os::GetModuleHandleA("GaugeSound"), nullptr);
  EXPECT_EQ(os::LoadLibraryA("GaugeSound"), nullptr);
  EXPECT_EQ(os::GetProcAddress(nullptr, "GaugePlaySound"), nullptr);
  EXPECT_EQ(os::FreeLibrary(nullptr), 0);
}

TEST(LibraryLoader, ModuleHandleTakesNoReference) {
  const std::string path = host::DefaultSoundLibrary().string();
  void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(loaded, nullptr) << dlerror();
  // Loaded once: found by name, as often as asked.
  os::LibraryHandle found = os::GetModuleHandleA("GaugeSound");
  EXPECT_EQ(found, loaded);
  EXPECT_EQ(os::GetModuleHandleA("GaugeSound"), loaded);
  EXPECT_NE(os::GetProcAddress(found, "GaugePlaySound"), nullptr);
  EXPECT_EQ(os::GetProcAddress(found, "NoSuchEntry"), nullptr);
  // A load by name takes a reference of its own, given back by FreeLibrary.
  os::LibraryHandle again = os::LoadLibraryA("GaugeSound");
  EXPECT_EQ(again, loaded);
  EXPECT_EQ(os::FreeLibrary(again), 1);
  dlclose(loaded);
  // Had GetModuleHandleA kept a reference, the library would still be here.
  EXPECT_EQ(os::GetModuleHandleA("GaugeSound"), nullptr);
}

// Without the sound library the clicks fall silent and nothing else changes.
TEST(Click, AMissingSoundLibrarySilencesOnlyTheClick) {
  struct Press {
    const char* gauge;
    int32_t x, y;
    const char* key;
  };
  const Press presses[] = {
      {"VORN_Kestrel_FMC", 360, 66, "key 0x1038C value 0"},
      {"orlaaudio", 60, 75, "key 0x1039F value 0"},
      {"orlapfdset", 35, 40, "key 0x1015B value 0"},
  };
  for (const Press& press : presses) {
    host::Host host;  // no sound library loaded
    std::string error;
    host::Module* module =
        host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), press.gauge), &error);
    ASSERT_NE(module, nullptr) << error;
    host::Gauge* gauge = host.CreateGauge(*module);
    gauge->Update();
    gauge->Draw();
    EXPECT_TRUE(gauge->Click(press.x, press.y));
    gauge->Kill();
    EXPECT_THAT(LogLines(host), ElementsAre(press.key)) << press.gauge;
  }
}

// Killing one gauge must not take the sound library from another gauge of
// the same module; after the last kill nothing is called through it.
TEST(Click, SoundBindingFollowsTheLivingGauges) {
  struct Press {
    const char* gauge;
    int32_t x, y;
    const char* play;
  };
  const Press presses[] = {
      {"VORN_Kestrel_FMC", 360, 66, "play \"sound\\vornqexclick.wav\" \"\" 0"},
      {"orlaaudio", 60, 75, "play \"sound\\orlaclick.wav\" \"\" 0"},
      {"orlapfdset", 30, 90, "play \"sound\\orlaclick.wav\" \"\" 0"},
  };
  for (const Press& press : presses) {
    SCOPED_TRACE(press.gauge);
    host::Host host;
    std::string error;
    ASSERT_TRUE(host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
    host::Module* module =
        host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), press.gauge), &error);
    ASSERT_NE(module, nullptr) << error;
    auto plays = [&] {
      int count = 0;
      for (const host::LogEntry& entry : host.log()) count += entry.Describe() == press.play;
      host.ClearLog();
      return count;
    };
    host::Gauge* first = host.CreateGauge(*module);
    host::Gauge* second = host.CreateGauge(*module);
    first->Kill();
    second->Click(press.x, press.y);
    EXPECT_EQ(plays(), 1) << "the living gauge keeps its click";
    second->Kill();
    second->Click(press.x, press.y);
    first->Click(press.x, press.y);
    EXPECT_EQ(plays(), 0) << "after the last kill nothing is played";
    host::Gauge* third = host.CreateGauge(*module);
    third->Update();
    third->Click(press.x, press.y);
    EXPECT_EQ(plays(), 1) << "a new gauge binds the library again";
  }
}

}  // namespace
