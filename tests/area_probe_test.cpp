// The mouse-area probe: what each area's callback sends, found without the
// gauge, its host or any file noticing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/probe/area_probe.h"
#include "host/host.h"
#include "tests/drawn_gauge.h"
#include "tests/gauge_fixture.h"

namespace {

using testing_support::DrawnGauge;

TEST(MouseOverlay, LabelsEachAreaWithWhatItsCallbackSends) {
  DrawnGauge pfd("orlapfdset");
  ASSERT_TRUE(pfd.ok());
  const std::vector<std::string> labels = bench::MouseAreaLabels(*pfd.gauge);
  const std::vector<std::string> expected = {"1015B",     "1015C",   "millibars=1", "temp=1",
                                             "dhset+1",   "dhset-1", "ratest=1"};
  EXPECT_EQ(labels, expected);

  DrawnGauge radio("VORN_Kestrel_FMC");
  ASSERT_TRUE(radio.ok());
  const std::vector<std::string> keys = bench::MouseAreaLabels(*radio.gauge);
  ASSERT_EQ(keys.size(), 36u);
  EXPECT_EQ(keys[5], "1038C") << "R1, the COM2 swap";
  EXPECT_EQ(keys[35], "1039D") << "F5 lower half";

  DrawnGauge hyd("orlahyd");
  ASSERT_TRUE(hyd.ok());
  EXPECT_TRUE(bench::MouseAreaLabels(*hyd.gauge).empty());
}

TEST(MouseOverlay, ProbingLeavesTheGaugeItsHostAndNoFilesBehind) {
  // A module file of this test's own, so no earlier probe answers from the
  // labels kept per file.
  const std::filesystem::path own = std::filesystem::temp_directory_path() /
                                    ("area-probe-test-" + std::to_string(::getpid()) + "-pfd.so");
  std::filesystem::copy_file(host::GaugeFile(host::DefaultGaugeDir(), "orlapfdset"), own,
                             std::filesystem::copy_options::overwrite_existing);
  {
    host::Host host;
    std::string error;
    ASSERT_TRUE(host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) << error;
    int32_t* dhset = host.vars().Register("dhset", 5);
    host::Module* module = host.LoadModule(own, &error);
    ASSERT_NE(module, nullptr) << error;
    host::Gauge* gauge = host.CreateGauge(*module);
    gauge->Draw();
    gauge->Update();
    host.ClearLog();

    const std::vector<std::string> labels = bench::MouseAreaLabels(*gauge);
    ASSERT_EQ(labels.size(), 7u);
    EXPECT_EQ(labels[0], "1015B") << "the probe called the BARO knob";
    for (const host::LogEntry& entry : host.log()) {
      ADD_FAILURE() << "the probe reached the gauge's host: " << entry.Describe();
    }
    EXPECT_EQ(*dhset, 5);
    gauge->Draw();
    EXPECT_EQ(gauge->last_drawing().elements[1].value, 0.0) << "the BARO knob turned";
    EXPECT_EQ(gauge->last_drawing().elements[2].value, 0.0) << "the DH-SET knob turned";

    // The gauge's own clicks still work as before.
    EXPECT_TRUE(gauge->Click(34, 42));
    gauge->Draw();
    EXPECT_EQ(gauge->last_drawing().elements[1].value, 1.0);
    ASSERT_FALSE(host.log().empty());
    EXPECT_EQ(host.log().front().id, 0x1015Bu);
  }
  std::filesystem::remove(own);
  // The probe's copies are named after the file they copy.
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.rfind("panel-bench-area-probe-", 0) == 0 &&
                 name.ends_with("-" + own.filename().string()))
        << "left behind: " << entry.path();
  }
}

}  // namespace
