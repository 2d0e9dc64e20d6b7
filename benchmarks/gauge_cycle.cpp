// One full cycle per gauge, as the simulator runs it 18 times a second:
// update (event 6), draw (event 10) and every element update callback,
// through the host core. Each benchmark also reports the heap allocations a
// cycle makes, counted by the allocator below; it must be 0.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

namespace {
long allocations = 0;
}

extern "C" {
void* malloc(size_t size) {
  ++allocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  ++allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  ++allocations;
  return __libc_realloc(block, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  ++allocations;
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  ++allocations;
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) {
  ++allocations;
  *block = __libc_memalign(alignment, size);
  return *block != nullptr ? 0 : 12;  // ENOMEM
}
}

namespace {

// A powered, lit aircraft with the radios tuned and pressure on both
// hydraulic sources, and the partner gauges' named variables registered.
void ExampleAircraft(host::Variables& vars) {
  vars.Set(0x2f1, 28.0);
  vars.Set(0x0a, 1.0);
  vars.Set(0x301, 1.0);
  vars.Set(0x305, 1.0);
  for (uint32_t lamp : {0x36a, 0x36b, 0x36d, 0x36e, 0x36f, 0x370, 0x371}) vars.Set(lamp, 1.0);
  vars.Set(0x01, 1.0);
  vars.Set(0x2dc, 1500.0 * 281.0);
  vars.Set(0x2de, 1200.0 * 281.0);
  const uint32_t radios[][2] = {{0x17, 0x1850}, {0x269, 0x2297}, {0x366, 0x2165}, {0x367, 0x1900},
                                {0x18, 0x1030}, {0x368, 0x1110}, {0x1B, 0x1175}, {0x369, 0x0990},
                                {0x10, 0x0350}, {0x12, 0x0105}, {0x26, 0x7700}};
  for (const auto& radio : radios) vars.SetInteger(radio[0], radio[1]);
  for (const char* name : {"temp", "millibars", "dhset", "ratest"}) vars.Register(name);
  vars.Register("dimbrtb", 1);
}

void Cycle(benchmark::State& state, const char* gauge_name) {
  host::Host host;
  std::string error;
  if (!host.LoadSoundLibrary(host::DefaultSoundLibrary(), &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  ExampleAircraft(host.vars());
  host::Module* module = host.LoadModule(host::GaugeFile(host::DefaultGaugeDir(), gauge_name),
                                         &error);
  if (module == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  host::Gauge* gauge = host.CreateGauge(*module);
  gauge->Update();
  gauge->Draw();  // first draw: buffers and the drawing take their size

  const long before = allocations;
  for (auto _ : state) {
    gauge->Update();
    benchmark::DoNotOptimize(gauge->Draw().elements.data());
  }
  const long made = allocations - before;
  state.counters["allocs_per_cycle"] =
      benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
  if (made != 0) {
    std::fprintf(stderr, "%s: %ld heap allocations in %lld cycles (expected 0)\n", gauge_name, made,
                 static_cast<long long>(state.iterations()));
    std::exit(1);
  }
}

BENCHMARK_CAPTURE(Cycle, VORN_Kestrel_FMC, "VORN_Kestrel_FMC");
BENCHMARK_CAPTURE(Cycle, orlaaudio, "orlaaudio");
BENCHMARK_CAPTURE(Cycle, orlapfdset, "orlapfdset");
BENCHMARK_CAPTURE(Cycle, orlahyd, "orlahyd");

}  // namespace

BENCHMARK_MAIN();
