#include "host/host.h"

#include <algorithm>

#include "gauge_sound/gauge_sound.h"

namespace host {

Host::Host() = default;

Host::~Host() {
  while (!modules_.empty()) UnloadModule(modules_.back().get());
  if (sound_library_.is_open()) {
    if (auto set = reinterpret_cast<GaugeSoundSetReporterFn>(
            sound_library_.Symbol(kGaugeSoundSetReporterName))) {
      set(nullptr, nullptr);
    }
    SetSoundRoot({});
  }
}

bool Host::NotedUnknown(uint32_t var_id) {
  if (std::find(unknown_vars_.begin(), unknown_vars_.end(), var_id) != unknown_vars_.end()) {
    return true;
  }
  unknown_vars_.push_back(var_id);
  return false;
}

void Host::Note(const std::string& note) {
  if (std::find(notes_.begin(), notes_.end(), note) == notes_.end()) notes_.push_back(note);
}

Gauge* Host::CreateGauge(Module& module) {
  gauges_.push_back(std::unique_ptr<Gauge>(new Gauge(*this, module)));
  Gauge* gauge = gauges_.back().get();
  gauge->alive_ = true;
  gauge->SendEvent(kPanelInitialise);
  return gauge;
}

void Host::DestroyGauge(Gauge* gauge) {
  const auto it = std::find_if(gauges_.begin(), gauges_.end(),
                               [&](const auto& held) { return held.get() == gauge; });
  if (it == gauges_.end()) return;
  const auto index = it - gauges_.begin();  // the kill may reach a handler that creates more
  if (gauge->alive()) gauge->Kill();
  gauges_.erase(gauges_.begin() + index);
}

}  // namespace host
