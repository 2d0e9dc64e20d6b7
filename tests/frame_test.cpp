// What every module shares: its linkage, the conversions of simulation
// values, and the click's binding to the sound library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "bench/gauge_names.h"
#include "frame/convert.h"
#include "tests/gauge_fixture.h"
#include "tests/gauge_tables.h"

namespace {

using ::testing::ElementsAre;
using namespace testing_support;

TEST(ModuleFiles, LinkageAndImportTableCarryTheFixedValues) {
  host::Host host;
  for (const char* gauge : bench::kGaugeNames) {
    host::Module* module = LoadGauge(host, gauge);
    ASSERT_NE(module, nullptr);
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
  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {0.0, 0},           {1.0, 1},           {1.7, 1},
      {1.999999, 1},      {2.0, 2},           {-0.5, 0},
      {-1.7, -1},         {190.5, 190},       {2147483647.0, INT32_MAX},
      {2147483647.9, INT32_MAX}, {2147483648.0, INT32_MAX}, {1e300, INT32_MAX},
      {kInf, INT32_MAX},   {-2147483648.0, INT32_MIN}, {-2147483648.9, INT32_MIN},
      {-2147483649.0, INT32_MIN}, {-1e300, INT32_MIN}, {-kInf, INT32_MIN},
      {kNaN, 0},          {-kNaN, 0},
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
  EXPECT_EQ(PoweredFrom(kNaN), 0);
  EXPECT_EQ(PoweredFrom(kInf), 1);
}

// Killing one gauge must not take the sound library from another gauge of
// the same module; after the last kill nothing is called through it.
TEST(Click, SoundBindingFollowsTheLivingGauges) {
  for (const tables::ClickingPress& press : tables::kClickingPresses) {
    SCOPED_TRACE(press.gauge);
    host::Host host;
    std::string error;
    ASSERT_TRUE(host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
    host::Module* module = LoadGauge(host, press.gauge);
    ASSERT_NE(module, nullptr);
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
