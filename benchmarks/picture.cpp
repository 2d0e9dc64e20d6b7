// The live panel's work for one picture, step by step: drawing each gauge
// with the bench's renderer at scale 1 and 2, then encoding the drawn
// picture as PNG, fast (the live panel's frames) and small (the bench's
// files); and the whole panel as `render` draws it. The gauges are powered
// and have run for two seconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/gauge_names.h"
#include "bench/drawing/image.h"
#include "bench/drawing/panel_pictures.h"
#include "bench/drawing/png_frames.h"
#include "bench/panel.h"

namespace {

bench::Panel* PoweredPanel() {
  static bench::Panel* const panel = [] {
    auto* opened = new bench::Panel;  // lives as long as the program
    std::string error;
    if (!opened->Open(bench::DefaultPanelOptions(), {}, &error)) {
      std::fprintf(stderr, "picture_benchmarks: %s\n", error.c_str());
      return static_cast<bench::Panel*>(nullptr);
    }
    opened->aircraft().SetBattery(true);
    opened->aircraft().SetAvionics(true);
    for (int i = 0; i < 36; ++i) opened->Update();
    return opened;
  }();
  return panel;
}

// The gauge drawn at `scale`, or an empty picture (the benchmark then says
// why it skipped).
bench::Image Drawn(benchmark::State& state, const char* gauge_name, int scale) {
  bench::Panel* panel = PoweredPanel();
  host::Gauge* gauge = panel != nullptr ? panel->Find(gauge_name) : nullptr;
  if (gauge == nullptr) {
    state.SkipWithError("the panel did not open (see above)");
    return {};
  }
  bench::RenderOptions options;
  options.scale = scale;
  bench::PanelPictures pictures(*panel);
  bench::Image image = pictures.Render(*gauge, options);
  if (image.empty()) state.SkipWithError(pictures.error().c_str());
  return image;
}

void Draw(benchmark::State& state, const char* gauge_name) {
  const int scale = static_cast<int>(state.range(0));
  if (Drawn(state, gauge_name, scale).empty()) return;
  bench::Panel& panel = *PoweredPanel();
  host::Gauge& gauge = *panel.Find(gauge_name);
  bench::RenderOptions options;
  options.scale = scale;
  bench::PanelPictures pictures(panel);
  for (auto _ : state) benchmark::DoNotOptimize(pictures.Render(gauge, options));
}

void Encode(benchmark::State& state, const char* gauge_name, bench::PngSpeed speed) {
  const bench::Image image = Drawn(state, gauge_name, static_cast<int>(state.range(0)));
  if (image.empty()) return;
  std::string png, error;
  for (auto _ : state) {
    if (!bench::EncodePng(image, speed, &png, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["bytes"] = static_cast<double>(png.size());
  state.counters["pixels"] = static_cast<double>(image.width()) * image.height();
}

// The live panel's frames of a gauge while a key is held: from one frame to
// the next, a line of text (12 rows of the face) changes.
void EncodeFrame(benchmark::State& state, const char* gauge_name) {
  const int scale = static_cast<int>(state.range(0));
  bench::Image image = Drawn(state, gauge_name, scale);
  if (image.empty()) return;
  bench::PngFrames frames;
  std::string png, error;
  const int top = image.height() / 2;
  const int bottom = std::min(image.height(), top + 12 * scale);
  int frame = 0;
  for (auto _ : state) {
    ++frame;
    for (int y = top; y < bottom; ++y) image.at(frame % image.width(), y).r ^= 0x10;
    if (!frames.Encode(image, &png, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["bytes"] = static_cast<double>(png.size());
}

// The whole panel, labelled, as `render` draws it (the pictures of each
// gauge are loaded before the loop).
void DrawPanel(benchmark::State& state) {
  bench::Panel* panel = PoweredPanel();
  if (panel == nullptr) {
    state.SkipWithError("the panel did not open (see above)");
    return;
  }
  bench::RenderOptions options;
  options.scale = static_cast<int>(state.range(0));
  bench::PanelPictures pictures(*panel);
  bench::Image image;  // drawn into again and again, as a caller that keeps it does
  if (!pictures.RenderPanel(options, &image)) {
    state.SkipWithError(pictures.error().c_str());
    return;
  }
  for (auto _ : state) {
    pictures.RenderPanel(options, &image);
    benchmark::DoNotOptimize(image.pixels().data());
  }
}
BENCHMARK(DrawPanel)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

const int kRegistered = [] {
  for (const char* name : bench::kGaugeNames) {
    benchmark::RegisterBenchmark((std::string("Draw/") + name).c_str(), Draw, name)
        ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("EncodeFast/") + name).c_str(), Encode, name,
                                 bench::PngSpeed::kFast)
        ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("EncodeFrame/") + name).c_str(), EncodeFrame, name)
        ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("EncodeSmall/") + name).c_str(), Encode, name,
                                 bench::PngSpeed::kSmall)
        ->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
