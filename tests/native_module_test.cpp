// The native module files as shared objects: what they export and need, the
// library loader layer that stands in for the operating system's, and the
// gauges without any sound library to load.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "bench/gauge_names.h"
#include "frame/os_loader.h"
#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"
#include "tests/run_program.h"

namespace {

using ::testing::ElementsAre;
using namespace testing_support;

TEST(ModuleFiles, ExportExactlyLinkageAndImportTableAsData) {
  for (const char* gauge : bench::kGaugeNames) {
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
  for (const char* gauge : bench::kGaugeNames) {
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
  for (const tables::ClickingPress& press : tables::kClickingPresses) {
    host::Host host;  // no sound library loaded
    host::Module* module = LoadGauge(host, press.gauge);
    ASSERT_NE(module, nullptr);
    host::Gauge* gauge = host.CreateGauge(*module);
    gauge->Update();
    gauge->Draw();
    EXPECT_TRUE(gauge->Click(press.x, press.y));
    gauge->Kill();
    EXPECT_THAT(LogLines(host), ElementsAre(press.key)) << press.gauge;
  }
}

}  // namespace
