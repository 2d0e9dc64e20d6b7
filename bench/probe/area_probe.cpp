#include "bench/probe/area_probe.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <filesystem>
#include <map>
#include <random>
#include <system_error>

#include "host/text_format.h"


namespace bench {
namespace {

std::vector<std::string> ProbeMouseAreas(host::Gauge& gauge, size_t count) {
  std::vector<std::string> labels(count, "-");
  // The copy's name: random, so other processes' copies never meet it,
  // and made only where no file is (copy_file refuses an existing one).
  static std::atomic<unsigned> serial{0};
  static const unsigned run = std::random_device{}();
  const std::filesystem::path original = gauge.module().path();
  std::error_code ec;
  const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec);
  std::filesystem::path copy;
  bool copied = false;
  for (int attempt = 0; !ec && !copied && attempt < 100; ++attempt) {
    copy = temporary / ("panel-bench-area-probe-" + std::to_string(run) + "-" +
                        std::to_string(serial++) + "-" + original.filename().string());
    copied = std::filesystem::copy_file(original, copy, std::filesystem::copy_options::none, ec);
    if (ec == std::errc::file_exists) ec.clear();
  }
  if (!copied) {
    std::fill(labels.begin(), labels.end(), "?");
    return labels;
  }
  {
    host::Host probe;
    // Registered so that what a callback changes in them shows.
    for (const char* name : Aircraft::kPartnerNames) probe.vars().Register(name, 0);
    std::string error;
    host::Module* module = probe.LoadModule(copy, &error);
    if (module == nullptr) {
      std::fill(labels.begin(), labels.end(), "?");
    } else {
      host::Gauge* copy_gauge = probe.CreateGauge(*module);
      copy_gauge->Update();
      copy_gauge->Draw();
      const std::vector<const MouseRect*> areas = copy_gauge->MouseAreas();
      for (size_t i = 0; i < areas.size() && i < count; ++i) {
        // Two presses: the key events of the first; for a named variable, a
        // step that repeats ("dhset+1") or the value set ("temp=1").
        const AreaPress first = PressArea(probe, *copy_gauge, *areas[i]);
        const AreaPress second = PressArea(probe, *copy_gauge, *areas[i]);
        std::string label;
        for (const host::LogEntry& entry : first.sent) {
          if (entry.kind != host::LogKind::kKeyEvent) continue;
          label += (label.empty() ? "" : "/") + host::Format("%" PRIX32, entry.id);
        }
        for (const char* name : Aircraft::kPartnerNames) {
          if (!label.empty()) break;
          const int64_t was = first.before.at(name).value_or(0);
          const int64_t now = first.after.at(name).value_or(0);
          if (now == was) continue;
          const int64_t step = now - was;
          const bool repeats = second.after.at(name).value_or(0) - now == step;
          label = name + (repeats && step == 1    ? std::string("+1")
                          : repeats && step == -1 ? std::string("-1")
                                                  : "=" + std::to_string(now));
        }
        if (!label.empty()) labels[i] = label;
      }
      probe.UnloadModule(module);
    }
  }
  std::filesystem::remove(copy, ec);
  return labels;
}

}  // namespace

AreaPress PressArea(host::Host& host, host::Gauge& gauge, const MouseRect& area) {
  AreaPress press;
  press.before = ReadPartners(host.vars());
  const uint64_t logged = host.log().next();
  gauge.CallMouse(area, kMousePress);
  press.sent.assign(host.log().From(logged), host.log().end());
  press.after = ReadPartners(host.vars());
  return press;
}

std::vector<std::string> MouseAreaLabels(host::Gauge& gauge) {
  static std::map<std::string, std::vector<std::string>> cache;
  const size_t count = gauge.MouseAreas().size();
  const std::string key = gauge.module().path().string();
  auto found = cache.find(key);
  if (found == cache.end() || found->second.size() != count) {
    found = cache.insert_or_assign(key, ProbeMouseAreas(gauge, count)).first;
  }
  return found->second;
}

}  // namespace bench
