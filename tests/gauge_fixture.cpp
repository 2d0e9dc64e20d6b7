#include "tests/gauge_fixture.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "host/fp_state.h"

namespace testing_support {

std::vector<std::string> LogLines(const host::Host& host, bool keys_and_sounds_only) {
  std::vector<std::string> lines;
  for (const host::LogEntry& entry : host.log()) {
    const bool key_or_sound = entry.kind == host::LogKind::kKeyEvent ||
                              entry.kind == host::LogKind::kPlaySound ||
                              entry.kind == host::LogKind::kStopSound ||
                              entry.kind == host::LogKind::kTerminateSounds;
    if (keys_and_sounds_only && !key_or_sound) continue;
    lines.push_back(entry.Describe());
  }
  return lines;
}

host::Module* LoadGauge(host::Host& host, const std::string& gauge_name) {
  std::string error;
  host::Module* module =
      host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), gauge_name), &error);
  EXPECT_NE(module, nullptr) << error;
  return module;
}

void GaugeTest::SetUp() {
  std::string error;
  ASSERT_TRUE(host_.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
  module_ = LoadGauge(host_, gauge_name_);
  ASSERT_NE(module_, nullptr);
  gauge_ = host_.CreateGauge(*module_);
  ASSERT_NE(gauge_, nullptr);
}

void GaugeTest::TearDown() {
  EXPECT_EQ(host_.fp_state_changes(), 0u)
      << "a call into " << gauge_name_ << " left the floating-point control state changed";
}

namespace {

// The process state that a host process may leave behind, set before any
// gauge loads, for running the suites as the gauges meet it in the
// simulator:
//   GAUGES_TEST_LOCALE=<name>      the C locale, e.g. de_DE.UTF-8 or, on
//                                  Windows, German_Germany.1252
//   GAUGES_TEST_X87_PRECISION=24   the x87 precision control (24, 53 or 64)
// Each is checked to have taken effect, so a run never passes by proving
// nothing.
class HostProcessState : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* locale = std::getenv("GAUGES_TEST_LOCALE")) {
      ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr)
          << "cannot set the C locale \"" << locale << "\" (tools/setup.sh installs it)";
      ASSERT_STREQ(std::localeconv()->decimal_point, ",")
          << "the C locale \"" << locale << "\" has no decimal comma";
      std::printf("C locale: %s\n", locale);
    }
    if (const char* precision = std::getenv("GAUGES_TEST_X87_PRECISION")) {
      const int bits = std::atoi(precision);
      ASSERT_TRUE(bits == 24 || bits == 53 || bits == 64)
          << "GAUGES_TEST_X87_PRECISION is " << precision << ", expected 24, 53 or 64";
      ASSERT_TRUE(host::SetX87Precision(bits)) << "this machine has no x87 unit";
      const uint16_t field = host::ReadFpState().x87_control & 0x300;
      ASSERT_EQ(field, bits == 24 ? 0x000 : bits == 53 ? 0x200 : 0x300)
          << "the x87 precision control did not take";
      std::printf("x87 precision: %d bits\n", bits);
    }
  }
};

[[maybe_unused]] ::testing::Environment* const process_state =
    ::testing::AddGlobalTestEnvironment(new HostProcessState);

}  // namespace

const host::DrawnElement& GaugeTest::Drawn(uint32_t resource_id) {
  for (const host::DrawnElement& element : gauge_->last_drawing().elements) {
    if (element.resource_id == resource_id) return element;
  }
  ADD_FAILURE() << "no drawn element with resource 0x" << std::hex << resource_id;
  static const host::DrawnElement none{};
  return none;
}

}  // namespace testing_support
