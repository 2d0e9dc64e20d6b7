// One real gauge module in a host of its own, with the partner gauges'
// named variables registered, its pictures taken from the gauge file that
// ships, and drawn once before any update as the panel system does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "bench/drawing/render.h"
#include "host/host.h"

namespace testing_support {

class DrawnGauge {
 public:
  explicit DrawnGauge(const std::string& name) {
    std::string error;
    host::Module* module = host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), name), &error);
    if (module == nullptr) {
      ADD_FAILURE() << error;
      return;
    }
    for (const char* partner : {"temp", "millibars", "dhset", "ratest"}) {
      host.vars().Register(partner);
    }
    *host.vars().Register("dimbrtb") = 1;
    gauge = host.CreateGauge(*module);
    const std::string gau = std::string(SOURCE_DIR) + "/build/win32/gauges/" + name + ".gau";
    if (!pictures.LoadFile(gau, &error)) {
      ADD_FAILURE() << error << " (build the gauge files: bash tools/build-win32.sh)";
      gauge = nullptr;
      return;
    }
    if (!fonts.Init(&error)) {
      ADD_FAILURE() << error;
      gauge = nullptr;
      return;
    }
    gauge->Draw();
  }

  bool ok() const { return gauge != nullptr; }

  void Cycle(int updates = 1) {
    for (int i = 0; i < updates; ++i) {
      gauge->Update();
      gauge->Draw();
    }
  }

  host::Host host;
  host::Gauge* gauge = nullptr;
  bench::GaugePictures pictures;
  bench::Fonts fonts;
};

}  // namespace testing_support
