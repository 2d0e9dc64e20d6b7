// The four gauges (native modules) driven through the host core by any
// sequence of host interactions: panel service events in any order,
// simulation variables of any value (NaN, infinities, any BCD), named
// variables registered and not, clicks anywhere with any mouse event, kill
// and re-create, the sound library present, absent or without its entry
// points. After every call the contract must hold (ContractWatch): text
// inside its buffer, only the allowed flag bits changed, no other record
// byte changed, no trapped service slot, no floating-point state change,
// key events only from the module's own table.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "gauge_check/contract_watch.h"

namespace {

struct Kind {
  const char* gauge;
  std::set<uint32_t> keys;
};

const Kind kKinds[] = {
    {"VORN_Kestrel_FMC",
     {0x10064, 0x10065, 0x10066, 0x10067, 0x10068, 0x10069, 0x1006A, 0x1006B, 0x1006C,
      0x1006D, 0x1006E, 0x1006F, 0x10070, 0x10071, 0x10072, 0x10073, 0x10074, 0x10075,
      0x10076, 0x10082, 0x10083, 0x10084, 0x10344, 0x10384, 0x10385, 0x10386, 0x10388,
      0x1038C, 0x10390, 0x10394, 0x10397, 0x10398, 0x10399, 0x1039A, 0x1039D, 0x1039E}},
    {"orlaaudio",
     {0x1012A, 0x1012B, 0x1012F, 0x10130, 0x10132, 0x10133, 0x10136, 0x1039F, 0x103A0,
      0x103AD}},
    {"orlapfdset", {0x1015B, 0x1015C}},
    {"orlahyd", {}},
};

const char* const kNames[] = {"dimbrtb", "temp", "millibars", "dhset", "ratest"};
const uint32_t kMouseEvents[] = {0x20000000, 0x20200000, 0x00200000, 0x00000001, 0xFFFFFFFF};

struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool empty() const { return at >= size; }
  template <typename T>
  T Take() {
    T value{};
    uint8_t raw[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T) && at < size; ++i) raw[i] = data[at++];
    std::memcpy(&value, raw, sizeof(T));
    return value;
  }
};

struct Loaded {
  host::Module* module = nullptr;
  host::Gauge* gauge = nullptr;
  std::unique_ptr<gauge_check::ContractWatch> watch;
};

struct Bench {
  host::Host host;
  Loaded loaded[4];
  std::vector<uint32_t> var_ids;
  void* sound = nullptr;  // the library this driver holds open, or null
  int sound_mode = 1;     // 0 present, 1 absent, 2 without entry points

  Bench() {
    host.TraceLookups(true);
    for (int i = 0; i < 4; ++i) {
      std::string error;
      const std::string path = std::string(GAUGES_DIR) + "/" + kKinds[i].gauge + ".so";
      host::Module* module = host.LoadModule(path, &error);
      if (module == nullptr) {
        std::fprintf(stderr, "gauge_driver: %s\n", error.c_str());
        std::abort();
      }
      gauge_check::LoadedMemory memory;
      gauge_check::Report report;
      gauge_check::RecordFacts facts;
      if (!memory.Find(&module->linkage(), &error)) std::abort();
      gauge_check::CheckRecords(memory, reinterpret_cast<uintptr_t>(&module->linkage()),
                                reinterpret_cast<uintptr_t>(module->import_table()), report,
                                &facts);
      if (!facts.complete || report.Count(gauge_check::Status::kFail) != 0) {
        std::fprintf(stderr, "gauge_driver: the records of %s do not check\n", kKinds[i].gauge);
        std::abort();
      }
      loaded[i].module = module;
      loaded[i].watch = std::make_unique<gauge_check::ContractWatch>(facts.spans, 0);
      loaded[i].watch->AllowKeys(kKinds[i].keys);
      loaded[i].gauge = host.CreateGauge(*module);
      loaded[i].gauge->Update();
    }
    for (Loaded& l : loaded) l.gauge->Draw();
    std::set<uint32_t> ids;
    for (const host::LogEntry& entry : host.log()) {
      if (entry.kind == host::LogKind::kLookup) ids.insert(entry.id);
    }
    var_ids.assign(ids.begin(), ids.end());
    host.TraceLookups(false);
    host.ClearLog();
  }

  // Each unload of the real library leaves glibc one more exit-handler
  // slot to scan at every later unload (its static destructor), so a long
  // run would slow to a crawl: past this many changes the library stays.
  static constexpr int kMaxSoundChanges = 500;
  int sound_changes = 0;

  void SetSound(int mode) {
    if (mode == sound_mode || sound_changes >= kMaxSoundChanges) return;
    ++sound_changes;
    if (sound != nullptr) dlclose(sound);
    sound = nullptr;
    if (mode == 0) {
      sound = dlopen((std::string(GAUGES_DIR) + "/../lib/libGaugeSound.so").c_str(), RTLD_NOW);
    } else if (mode == 2) {
      sound = dlopen((std::string(GAUGES_DIR) + "/../silent/libGaugeSound.so").c_str(), RTLD_NOW);
    }
    sound_mode = mode;
  }

  void Check(Loaded& l, const char* when) {
    gauge_check::Report report;
    l.watch->Check(host, l.gauge, when, report);
    if (report.Count(gauge_check::Status::kFail) == 0) return;
    for (const gauge_check::Line& line : report.Lines()) {
      if (line.status == gauge_check::Status::kFail) {
        std::fprintf(stderr, "gauge_driver: %s: expected %s, found %s (%s)\n", line.id.c_str(),
                     line.expected.c_str(), line.found.c_str(), line.where.c_str());
      }
    }
    std::abort();
  }
};

Bench& TheBench() {
  static Bench* bench = new Bench;  // lives for the whole run
  return *bench;
}

}  // namespace

// The host and its gauges live across inputs (a panel runs for hours), so
// what one input allocates may rightly be freed by a later one: libFuzzer's
// per-input leak check would only measure that. The check at exit stays.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static std::vector<char*> args(*argv, *argv + *argc);
  static char no_leak_check[] = "-detect_leaks=0";
  args.insert(args.begin() + 1, no_leak_check);
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size()) - 1;
  *argv = args.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bench& bench = TheBench();
  Bytes in{data, size};
  for (int steps = 0; !in.empty() && steps < 32; ++steps) {
    const uint8_t op = in.Take<uint8_t>();
    Loaded& l = bench.loaded[(op >> 4) % 4];
    switch (op % 9) {
      case 0: {  // a simulation variable, as a float
        const uint8_t pick = in.Take<uint8_t>();
        const uint32_t id = pick < 240 && !bench.var_ids.empty()
                                ? bench.var_ids[pick % bench.var_ids.size()]
                                : in.Take<uint32_t>() % 1024;  // any id, a bounded set
        bench.host.vars().Set(id, in.Take<double>());
        break;
      }
      case 1: {  // as a 32-bit integer (any BCD)
        const uint8_t pick = in.Take<uint8_t>();
        if (!bench.var_ids.empty()) {
          bench.host.vars().SetInteger(bench.var_ids[pick % bench.var_ids.size()],
                                       in.Take<uint32_t>());
        }
        break;
      }
      case 2: {  // a named variable: registered with a value, or not
        const uint8_t pick = in.Take<uint8_t>();
        const char* name = kNames[pick % 5];
        if (pick & 0x80) {
          bench.host.vars().Unregister(name);
        } else {
          *bench.host.vars().Register(name) = in.Take<int32_t>();
        }
        break;
      }
      case 3:
        if (l.gauge != nullptr) {
          l.gauge->Update();
          bench.Check(l, "update");
        }
        break;
      case 4:
        if (l.gauge != nullptr) {
          l.gauge->Draw();
          bench.Check(l, "draw");
        }
        break;
      case 5: {  // a click anywhere, with any mouse event
        const int16_t x = in.Take<int16_t>(), y = in.Take<int16_t>();
        const uint8_t e = in.Take<uint8_t>();
        const uint32_t event = e < 250 ? kMouseEvents[e % 5] : in.Take<uint32_t>();
        if (l.gauge != nullptr) {
          l.gauge->Click(x % 512, y % 512, event);
          bench.Check(l, "click");
        }
        break;
      }
      case 6: {  // any panel service event
        const int32_t event = in.Take<int32_t>();
        if (l.gauge != nullptr && event != kPanelKill) {
          l.gauge->SendEvent(event);
          bench.Check(l, "event");
        }
        break;
      }
      case 7:  // kill, and create again
        if (l.gauge != nullptr) {
          bench.host.DestroyGauge(l.gauge);
          l.gauge = nullptr;
          bench.Check(l, "kill");
        } else {
          l.gauge = bench.host.CreateGauge(*l.module);
          bench.Check(l, "create");
        }
        break;
      case 8: {  // the sound library changes: between gauge lives, as an installation does
        const int mode = in.Take<uint8_t>() % 3;
        if (mode == bench.sound_mode) break;
        // The radio display binds a library that someone else loaded without
        // a reference of its own (GetModuleHandleA on update): taking the
        // library away under a live gauge leaves it a dangling entry point.
        std::vector<int> alive;
        for (int i = 0; i < 4; ++i) {
          if (bench.loaded[i].gauge == nullptr) continue;
          bench.host.DestroyGauge(bench.loaded[i].gauge);
          bench.loaded[i].gauge = nullptr;
          bench.Check(bench.loaded[i], "kill");
          alive.push_back(i);
        }
        bench.SetSound(mode);
        for (int i : alive) {
          bench.loaded[i].gauge = bench.host.CreateGauge(*bench.loaded[i].module);
          bench.Check(bench.loaded[i], "create");
        }
        break;
      }
    }
  }
  return 0;
}
