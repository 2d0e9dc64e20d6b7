// Loads the built gauge modules through the host core, exactly as they ship,
// with the sound library stand-in loaded so clicks land in the host's log.
#pragma once

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/host.h"

namespace testing_support {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A record field read by value. The records are packed to 4 bytes, so in a
// 64-bit build a pointer field may sit where a reference to it would be
// misaligned; the assertion macros take their arguments by reference.
template <typename T>
T Copy(T value) {
  return value;
}

// The log as one line per entry ("key 0x1038C value 0",
// "play sound\vornqexclick.wav", ...), for comparing sequences.
std::vector<std::string> LogLines(const host::Host& host, bool keys_and_sounds_only = true);

// Loads the built module `gauge_name` into `host`; if it cannot, fails the
// test with the reason and returns null.
host::Module* LoadGauge(host::Host& host, const std::string& gauge_name);

// A host with the sound library loaded and one gauge of `gauge_name`
// created (event 4 sent). Each test gets a fresh host and a fresh load of
// the module, so module state starts from load.
class GaugeTest : public ::testing::Test {
 protected:
  explicit GaugeTest(std::string gauge_name) : gauge_name_(std::move(gauge_name)) {}
  void SetUp() override;
  void TearDown() override;

  host::Module& module() { return *module_; }
  host::Gauge& gauge() { return *gauge_; }
  host::Variables& vars() { return host_.vars(); }

  // The element update callbacks' view after one draw (event 10 included).
  const host::Drawing& Draw() { return gauge_->Draw(); }
  // The drawn element with this resource id (icons, needle), or fails.
  const host::DrawnElement& Drawn(uint32_t resource_id);
  // Kills the gauge and creates a new one of the same loaded module (its
  // module state carries over, as in the simulator).
  host::Gauge& Recreate() {
    gauge_->Kill();
    gauge_ = host_.CreateGauge(*module_);
    return *gauge_;
  }
  const host::Drawing& Cycle() {
    gauge_->Update();
    return gauge_->Draw();
  }

  host::Host host_;
  std::string gauge_name_;
  host::Module* module_ = nullptr;
  host::Gauge* gauge_ = nullptr;
};

}  // namespace testing_support
