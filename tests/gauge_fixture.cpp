#include "tests/gauge_fixture.h"

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

void GaugeTest::SetUp() {
  std::string error;
  ASSERT_TRUE(host_.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
  module_ = host_.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), gauge_name_), &error);
  ASSERT_NE(module_, nullptr) << error;
  gauge_ = host_.CreateGauge(*module_);
  ASSERT_NE(gauge_, nullptr);
}

void GaugeTest::TearDown() {}

const host::DrawnElement& GaugeTest::Drawn(uint32_t resource_id) {
  for (const host::DrawnElement& element : gauge_->last_frame().elements) {
    if (element.resource_id == resource_id) return element;
  }
  ADD_FAILURE() << "no drawn element with resource 0x" << std::hex << resource_id;
  static const host::DrawnElement none{};
  return none;
}

}  // namespace testing_support
