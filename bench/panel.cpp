#include "bench/panel.h"

#include <system_error>
#include <utility>

namespace bench {

PanelOptions DefaultPanelOptions() {
  const std::filesystem::path source = SOURCE_DIR;
  PanelOptions options;
  options.gauge_dir = host::DefaultGaugeDir();
  options.sound_library = host::DefaultSoundLibrary();
  options.picture_dir = source / "build" / "win32" / "gauges";
  std::error_code ec;
  options.sound_root =
      std::filesystem::is_directory(source / "dist" / "sound", ec) ? source / "dist" : source;
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

Panel::Panel() {
  aircraft_ = std::make_unique<Aircraft>(host_);
  host_.OnKeyEvent([this](uint32_t id, uint32_t value) { aircraft_->OnKeyEvent(id, value); });
  aircraft_->OnPartnerChange([this](const std::string& name) { Recreate(name); });
}

Panel::~Panel() {
  // Kill the gauges while the aircraft that answers their key events lives.
  for (host::Gauge* gauge : gauges_) host_.DestroyGauge(gauge);
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
    if (!LoadSoundLibrary(host_, options.sound_library, options.sound_root, &why)) {
      return fail(why);
    }
  }
  for (const std::string& name : names) {
    std::string why;
    host::Module* module = LoadGauge(host_, options.gauge_dir, name, &why);
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
  const uint64_t logged = host_.log().next();
  host::Gauge* gauge = host_.CreateGauge(*slot.module);
  slot.binds.clear();
  const host::Log& log = host_.log();
  for (auto entry = log.From(logged); entry != log.end(); ++entry) {
    if (entry->kind == host::LogKind::kNamedBind) slot.binds.insert(entry->name);
  }
  slot.drawn = false;
  gauges_[index] = gauge;
}

void Panel::Recreate(const std::string& name) {
  for (size_t index = 0; index < gauges_.size(); ++index) {
    if (slots_[index]->binds.count(name) == 0) continue;
    host_.DestroyGauge(gauges_[index]);
    Create(index);
  }
}

host::Gauge* Panel::Find(const std::string& name) {
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

const host::Drawing& Panel::LastDrawing(host::Gauge& gauge) {
  const size_t index = IndexOf(gauge);
  if (index < slots_.size() && !slots_[index]->drawn) {
    gauge.Draw();
    slots_[index]->drawn = true;
  }
  return gauge.last_drawing();
}

void Panel::SetNamed(const std::string& name, int32_t value) {
  host::Variables& vars = host_.vars();
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
  if (!host_.vars().IsRegistered(name)) return;
  host_.vars().Unregister(name);
  Recreate(name);
}

bool Panel::PrepareRender(size_t index) {
  render_error_.clear();
  if (!fonts_ready_) {
    if (!fonts_.Init(&render_error_)) return false;
    fonts_ready_ = true;
  }
  if (index >= slots_.size()) {
    render_error_ = "that gauge is not on this panel";
    return false;
  }
  Slot& slot = *slots_[index];
  if (!slot.pictures_loaded) {
    const std::filesystem::path file =
        options_.picture_dir / (gauges_[index]->name() + ".gau");
    std::string why;
    if (!slot.pictures.LoadFile(file, &why)) {
      render_error_ = why +
                      " (build the Windows gauge files with tools/build-win32.sh, or give their "
                      "folder with --pictures DIR)";
      return false;
    }
    slot.pictures_loaded = true;
  }
  return true;
}

Image Panel::Render(host::Gauge& gauge, const RenderOptions& options) {
  const size_t index = IndexOf(gauge);
  if (!PrepareRender(index)) return Image();
  LastDrawing(gauge);
  return RenderGauge(host_, gauge, slots_[index]->pictures, fonts_, options, &render_error_);
}

Image Panel::RenderPanel(const RenderOptions& options) {
  std::vector<std::pair<std::string, Image>> pictures;
  for (host::Gauge* gauge : gauges_) {
    Image image = Render(*gauge, options);
    if (image.empty()) return Image();
    pictures.emplace_back(gauge->name(), std::move(image));
  }
  if (pictures.empty()) {
    render_error_ = "no gauges are loaded";
    return Image();
  }
  return ComposePanel(pictures, fonts_, options.scale, &render_error_);
}

}  // namespace bench
