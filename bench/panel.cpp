#include "bench/panel.h"

#include "host/shared_library.h"

#include <system_error>
#include <utility>

namespace bench {

PanelOptions DefaultPanelOptions() {
  const std::filesystem::path source = host::SourceDir();
  PanelOptions options;
  options.gauge_dir = host::DefaultGaugeDir();
  options.sound_library = host::DefaultSoundLibrary();
  // Where the modules are .gau files they hold their own pictures; else the
  // pictures are the 32-bit .gau files we ship.
  options.picture_dir = host::LoadsGauFiles()
                            ? options.gauge_dir
                            : host::BesideProgramElse("Gauges", source / "build" / "win32" / "gauges");
  std::error_code ec;
  const std::filesystem::path build_root =
      std::filesystem::is_directory(source / "dist" / "sound", ec) ? source / "dist" : source;
  options.sound_root = host::BesideProgramElse("sound", build_root / "sound").parent_path();
  return options;
}

bool CheckGaugeName(const std::string& name, std::string* error) {
  for (const char* known : kGaugeNames) {
    if (name == known) return true;
  }
  if (error != nullptr) {
    *error = "unknown gauge '" + name + "': the gauges are";
    for (const char* known : kGaugeNames) *error += std::string(" ") + known;
  }
  return false;
}

Panel::Panel() : host_(std::make_unique<host::Host>()) {
  aircraft_ = std::make_unique<Aircraft>(*host_);
  host_->OnKeyEvent([this](uint32_t id, uint32_t value) { aircraft_->OnKeyEvent(id, value); });
  aircraft_->OnPartnerChange([this](const std::string& name) { Recreate(name); });
}

Panel::~Panel() {
  // Kill the gauges while the aircraft that answers their key events lives.
  for (host::Gauge* gauge : gauges_) host_->DestroyGauge(gauge);
  gauges_.clear();
}

bool Panel::Open(const PanelOptions& options, const std::vector<std::string>& gauges,
                 std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (open_) return fail("the panel is already open: its gauges are loaded once");
  std::vector<std::string> names = gauges;
  if (names.empty()) names.assign(std::begin(kGaugeNames), std::end(kGaugeNames));
  for (size_t i = 0; i < names.size(); ++i) {
    std::string why;
    if (!CheckGaugeName(names[i], &why)) return fail(why);
    for (size_t j = 0; j < i; ++j) {
      if (names[j] == names[i]) return fail("gauge " + names[i] + " is listed twice");
    }
  }
  options_ = options;
  if (!options.sound_library.empty()) {
    std::string why;
    if (!LoadSoundLibrary(*host_, options.sound_library, options.sound_root, &why)) {
      return fail(why);
    }
    host_->SetSoundAudible(options.sounds_aloud);
  }
  for (const std::string& name : names) {
    std::string why;
    host::Module* module = LoadGauge(*host_, options.gauge_dir, name, &why);
    if (module == nullptr) return fail(why);
    auto slot = std::make_unique<Slot>();
    slot->module = module;
    slots_.push_back(std::move(slot));
    gauges_.push_back(nullptr);
    Create(gauges_.size() - 1);
  }
  open_ = true;
  return true;
}

void Panel::Create(size_t index) {
  Slot& slot = *slots_[index];
  const uint64_t logged = host_->log().next();
  host::Gauge* gauge = host_->CreateGauge(*slot.module);
  slot.binds.clear();
  const host::Log& log = host_->log();
  for (auto entry = log.From(logged); entry != log.end(); ++entry) {
    if (entry->kind == host::LogKind::kNamedBind) slot.binds.insert(entry->name);
  }
  slot.drawn = false;
  gauges_[index] = gauge;
}

void Panel::Recreate(const std::string& name) {
  for (size_t index = 0; index < gauges_.size(); ++index) {
    if (slots_[index]->binds.count(name) == 0) continue;
    host_->DestroyGauge(gauges_[index]);
    Create(index);
  }
}

host::Gauge* Panel::Find(const std::string& name) const {
  for (host::Gauge* gauge : gauges_) {
    if (gauge->name() == name) return gauge;
  }
  return nullptr;
}

size_t Panel::IndexOf(const host::Gauge& gauge) const {
  for (size_t index = 0; index < gauges_.size(); ++index) {
    if (gauges_[index] == &gauge) return index;
  }
  return gauges_.size();
}

std::set<std::string> Panel::BoundNames(const host::Gauge& gauge) const {
  const size_t index = IndexOf(gauge);
  return index < slots_.size() ? slots_[index]->binds : std::set<std::string>{};
}

void Panel::Update() {
  aircraft_->Tick();
  ++updates_;
  for (size_t index = 0; index < gauges_.size(); ++index) {
    gauges_[index]->Update();
    gauges_[index]->Draw();
    slots_[index]->drawn = true;
  }
}

bool Panel::Click(host::Gauge& gauge, int x, int y, uint32_t mouse_event) {
  return gauge.Click(x, y, mouse_event);
}

int Panel::Press(host::Gauge& gauge, int x, int y, int repeats) {
  int taken = Click(gauge, x, y, kMousePress) ? 1 : 0;
  for (int i = 0; i < repeats; ++i) taken += Click(gauge, x, y, kMouseRepeat) ? 1 : 0;
  return taken;
}

const host::Drawing& Panel::LastDrawing(host::Gauge& gauge) const {
  const size_t index = IndexOf(gauge);
  if (index < slots_.size() && !slots_[index]->drawn) {
    gauge.Draw();
    slots_[index]->drawn = true;
  }
  return gauge.last_drawing();
}

void Panel::SetNamed(const std::string& name, int32_t value) {
  host::Variables& vars = host_->vars();
  if (int32_t* storage = vars.Named(name)) {
    *storage = value;
    if (name == Aircraft::kDimmerName) aircraft_->SetDimmer(static_cast<Dimmer>(value));
    return;
  }
  vars.Register(name, value);
  if (name == Aircraft::kDimmerName) aircraft_->SetDimmer(static_cast<Dimmer>(value));
  Recreate(name);
}

void Panel::UnregisterNamed(const std::string& name) {
  if (!host_->vars().IsRegistered(name)) return;
  host_->vars().Unregister(name);
  Recreate(name);
}

}  // namespace bench
