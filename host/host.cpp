#include "host/host.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <utility>

#include "frame/sound_library.h"
#include "gauge_sound/gauge_sound.h"
#include "formats/elf_check.h"
#include "formats/file_read.h"
#include "host/fp_state.h"
#include "host/text_format.h"

namespace host {

std::string LogEntry::Describe() const {
  switch (kind) {
    case LogKind::kKeyEvent: return "key " + Hex(id) + " value " + std::to_string(value);
    case LogKind::kPlaySound:
      return "play \"" + name + "\" \"" + alias + "\" " + std::to_string(flags);
    case LogKind::kStopSound: return "stop \"" + name + "\"";
    case LogKind::kTerminateSounds: return "terminate sounds";
    case LogKind::kTrappedSlot: return "unexpected service slot " + std::to_string(id);
    case LogKind::kNamedBind:
      return "bind \"" + name + "\" " + (value != 0 ? "bound" : "unbound");
    case LogKind::kLookup: return "lookup " + Hex(id);
    case LogKind::kFpStateChanged:
      return Format("floating-point state changed: x87 control 0x%04" PRIX32 ", MXCSR 0x%04" PRIX32,
                    id, value);
  }
  return "?";
}

void Log::Append(LogEntry entry) {
  if (entries_.size() == kCapacity) {
    entries_.pop_front();
    ++dropped_;
  }
  entries_.push_back(std::move(entry));
  ++next_;
}

void Variables::Set(uint32_t id, double value) { values_[id] = Value{false, value, 0}; }

void Variables::SetInteger(uint32_t id, uint32_t value) {
  values_[id] = Value{true, static_cast<double>(value), value};
}

bool Variables::Has(uint32_t id) const { return values_.count(id) != 0; }

bool Variables::IsInteger(uint32_t id) const {
  auto it = values_.find(id);
  return it != values_.end() && it->second.integer;
}

double Variables::Get(uint32_t id) const {
  auto it = values_.find(id);
  return it == values_.end() ? 0.0 : it->second.number;
}

uint32_t Variables::GetInteger(uint32_t id) const {
  auto it = values_.find(id);
  if (it == values_.end()) return 0;
  if (it->second.integer) return it->second.bits;
  const double number = it->second.number;
  return number >= 0.0 && number < 4294967296.0 ? static_cast<uint32_t>(number) : 0;
}

int32_t* Variables::Register(const std::string& name, int32_t initial) {
  NamedSlot& slot = named_[name];
  if (!slot.storage) slot.storage = std::make_unique<int32_t>(initial);
  if (!slot.registered) *slot.storage = initial;
  slot.registered = true;
  return slot.storage.get();
}

void Variables::Unregister(const std::string& name) {
  auto it = named_.find(name);
  if (it != named_.end()) it->second.registered = false;
}

int32_t* Variables::Named(const std::string& name) {
  auto it = named_.find(name);
  return it != named_.end() && it->second.registered ? it->second.storage.get() : nullptr;
}

bool Variables::IsRegistered(const std::string& name) const {
  auto it = named_.find(name);
  return it != named_.end() && it->second.registered;
}

bool Variables::Lookup(ModuleVar& var) const {
  auto it = values_.find(var.var_id);
  if (it == values_.end()) {
    var.value = 0.0;
    return false;
  }
  if (it->second.integer) {
    SetVarInteger(var, it->second.bits);
  } else {
    var.value = it->second.number;
  }
  return true;
}

namespace {

// The host and gauge being served by the call into a module that is running
// now. Services and sound reports arrive inside such a call.
struct Serving {
  Host* host = nullptr;
  Gauge* gauge = nullptr;
};
Serving serving;

// Also notes in the log when the call leaves the floating-point control
// state other than it found it.
class ServingScope {
 public:
  ServingScope(Host* host, Gauge* gauge) : saved_(serving), fp_(ReadFpState()) {
    serving = {host, gauge};
  }
  ~ServingScope();

 private:
  Serving saved_;
  FpState fp_;
};

}  // namespace

struct ServiceCalls {
  static void Append(LogEntry entry) {
    if (serving.host == nullptr) return;
    if (serving.gauge != nullptr) entry.gauge = serving.gauge->name();
    serving.host->log_.Append(std::move(entry));
  }

  static void FpStateChanged(const FpState& now) {
    if (serving.host != nullptr) ++serving.host->fp_state_changes_;
    Append({.kind = LogKind::kFpStateChanged, .id = now.x87_control, .value = now.mxcsr_control});
  }

  static int32_t GAUGE_CALL TriggerKeyEvent(uint32_t event_id, uint32_t value) {
    Append({.kind = LogKind::kKeyEvent, .id = event_id, .value = value});
    if (serving.host != nullptr && serving.host->key_handler_) {
      serving.host->key_handler_(event_id, value);
    }
    return 1;
  }

  static int32_t GAUGE_CALL InitializeVarByName(ModuleVar* var, const char* name) {
    if (var == nullptr || name == nullptr || serving.host == nullptr) return 0;
    var->value_ptr = serving.host->vars_.Named(name);
    Append({.kind = LogKind::kNamedBind, .value = var->value_ptr != nullptr ? 1u : 0u,
            .name = name});
    return var->value_ptr != nullptr ? 1 : 0;
  }

  static int32_t GAUGE_CALL LookupVar(ModuleVar* var) {
    if (var == nullptr || serving.host == nullptr) return 0;
    Host& host = *serving.host;
    if (host.trace_lookups_) Append({.kind = LogKind::kLookup, .id = var->var_id});
    if (!host.vars_.Lookup(*var) && !host.NotedUnknown(var->var_id)) {
      host.Note("variable " + Hex(var->var_id) + " is not simulated; it reads 0");
    }
    return 1;
  }

  template <int Slot>
  static void GAUGE_CALL Trap() {
    Append({.kind = LogKind::kTrappedSlot, .id = Slot});
  }

  static void Report(void*, const GaugeSoundCall* call) {
    if (call == nullptr) return;
    LogEntry entry{};
    switch (call->kind) {
      case GaugeSoundCall::kPlay: entry.kind = LogKind::kPlaySound; break;
      case GaugeSoundCall::kStop: entry.kind = LogKind::kStopSound; break;
      case GaugeSoundCall::kTerminate: entry.kind = LogKind::kTerminateSounds; break;
    }
    entry.name = call->file != nullptr ? call->file : "";
    entry.alias = call->alias != nullptr ? call->alias : "";
    entry.flags = call->flags;
    entry.resolved = call->resolved != nullptr ? call->resolved : "";
    Append(std::move(entry));
  }
};

namespace {
ServingScope::~ServingScope() {
  const FpState now = ReadFpState();
  if (!(now == fp_)) ServiceCalls::FpStateChanged(now);
  serving = saved_;
}

template <size_t... Slots>
HostServices MakeServiceTable(std::index_sequence<Slots...>) {
  HostServiceSlot traps[] = {&ServiceCalls::Trap<static_cast<int>(Slots)>...};
  HostServices table{};
  for (int slot = 0; slot < 36; ++slot) table.slots_0_to_35[slot] = traps[slot];
  table.trigger_key_event = &ServiceCalls::TriggerKeyEvent;
  table.slots_37_and_38[0] = traps[37];
  table.slots_37_and_38[1] = traps[38];
  table.initialize_var_by_name = &ServiceCalls::InitializeVarByName;
  table.lookup_var = &ServiceCalls::LookupVar;
  return table;
}

}  // namespace

HostServices* Host::ServiceTable() {
  static HostServices table = MakeServiceTable(std::make_index_sequence<kHostServiceSlots>());
  return &table;
}

Module::~Module() = default;

std::string Module::name() const {
  const char* name = linkage_->gauge_headers[0]->gauge_name;
  return name != nullptr ? name : "";
}

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

bool Host::LoadSoundLibrary(const std::filesystem::path& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    sound_library_.Close();
    if (error) *error = "cannot load sound library " + path.string() + ": " + why;
    return false;
  };
  // As for a module: a regular file only (a pipe would block the loader for
  // ever), and on ELF systems the checks that keep the loader inside the
  // file (a partial copy would end the process with SIGBUS).
  formats::FileReadError not_a_file;
  if (!formats::CheckRegularFile(path, formats::kMaxModuleFileBytes, "sound library",
                                 &not_a_file)) {
    return fail(not_a_file.message);
  }
  std::string why;
#if !defined(_WIN32)
  if (!formats::CheckElfFile(path, &why)) return fail(why);
#endif
  if (!sound_library_.Open(path, &why)) {
    return fail("not a loadable shared library (" + why + ")");
  }
  // The host's hook first, then what the modules bind.
  for (const char* name :
       {kGaugeSoundSetReporterName, kPlaySoundName, kStopSoundName, kTerminateSoundsName}) {
    if (sound_library_.Symbol(name) == nullptr) {
      return fail(std::string("it is not the bench's sound library: it has no ") + name);
    }
  }
  auto set = reinterpret_cast<GaugeSoundSetReporterFn>(
      sound_library_.Symbol(kGaugeSoundSetReporterName));
  set(&ServiceCalls::Report, this);
  return true;
}

void Host::SetSoundRoot(const std::filesystem::path& folder) {
  if (auto set = reinterpret_cast<GaugeSoundSetRootFn>(
          sound_library_.Symbol(kGaugeSoundSetRootName))) {
    set(folder.string().c_str());
  }
}

Module* Host::LoadModule(const std::filesystem::path& path, std::string* error) {
  return LoadModule(path, {}, error);
}

Module* Host::LoadModule(const std::filesystem::path& path, std::string_view gauge,
                         std::string* error) {
  auto fail = [&](const std::string& why) -> Module* {
    if (error) *error = "cannot load gauge module " + path.string() + ": " + why;
    return nullptr;
  };
  formats::FileReadError not_a_file;
  if (!formats::CheckRegularFile(path, formats::kMaxModuleFileBytes, "gauge module",
                                 &not_a_file)) {
    return fail(not_a_file.message);
  }
  std::error_code ec;

  std::unique_ptr<Module> module(new Module);
  module->path_ = std::filesystem::absolute(path, ec);
  std::string why;
#if !defined(_WIN32)
  if (!formats::CheckElfFile(module->path_, &why)) return fail(why);
#endif
  if (!module->library_.Open(module->path_, &why)) {
    return fail("not a loadable shared library (" + why + ")");
  }
  module->linkage_ = static_cast<ModuleLinkage*>(module->library_.Symbol("Linkage"));
  module->import_table_ = static_cast<ImportEntry*>(module->library_.Symbol("ImportTable"));
  if (module->linkage_ == nullptr) return fail("it exports no Linkage: not a gauge module");
  if (module->import_table_ == nullptr) {
    return fail("it exports no ImportTable: not a gauge module");
  }
  if (module->linkage_->module_id != kModuleId) {
    return fail("module_id is " + Hex(module->linkage_->module_id) +
                ", expected 0x13: not a gauge module of this kind");
  }
  GaugeHeader* header = module->linkage_->gauge_headers[0];
  if (header == nullptr) return fail("its gauge header list is empty");
  if (header->gauge_callback == nullptr) return fail("its gauge header has no gauge callback");
  if (header->element_list == nullptr || *header->element_list == nullptr) {
    return fail("its gauge header has no elements");
  }
  if (const std::string found = module->name(); !gauge.empty() && found != gauge) {
    return fail("it holds the gauge '" + found + "', not '" + std::string(gauge) +
                "' (a copy of another gauge's file under this name?)");
  }

  module->import_table_[0].service_table = ServiceTable();
  {
    ServingScope scope(this, nullptr);
    if (module->linkage_->module_init != nullptr) module->linkage_->module_init();
  }
  modules_.push_back(std::move(module));
  return modules_.back().get();
}

void Host::UnloadModule(Module* module) {
  for (size_t i = gauges_.size(); i-- > 0;) {
    if (&gauges_[i]->module() == module) DestroyGauge(gauges_[i].get());
  }
  const auto it = std::find_if(modules_.begin(), modules_.end(),
                               [&](const auto& held) { return held.get() == module; });
  if (it == modules_.end()) return;
  const auto index = it - modules_.begin();  // module_deinit may reach a handler that loads more
  {
    ServingScope scope(this, nullptr);
    if (module->linkage_->module_deinit != nullptr) module->linkage_->module_deinit();
  }
  modules_.erase(modules_.begin() + index);
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

namespace {
// Guards against records that loop or never end.
constexpr size_t kMaxElements = 4096;
constexpr size_t kMaxMouseRects = 4096;
}  // namespace

Gauge::Gauge(Host& host, Module& module)
    : host_(&host), module_(&module), header_(&module.header()), name_(module.name()) {
  elements_ = WalkChain(*header_->element_list);
  text_buffers_.assign(elements_.size(), {});
}

void Gauge::SendEvent(PanelServiceEvent event, uint32_t extra) {
  ServingScope scope(host_, this);
  header_->gauge_callback(header_, event, extra);
}

void Gauge::Kill() {
  SendEvent(kPanelKill);
  alive_ = false;
}

std::vector<ElementHead*> Gauge::Elements() const { return elements_; }

std::vector<ElementHead*> Gauge::WalkChain(ElementHead* root) {
  std::vector<ElementHead*> order;
  // Depth first, each element before its children, children in list order.
  std::vector<ElementHead*> pending{root};
  while (!pending.empty() && order.size() < kMaxElements) {
    ElementHead* element = pending.back();
    pending.pop_back();
    order.push_back(element);
    if (element->children == nullptr) continue;
    size_t count = 0;
    while (count < kMaxElements && element->children[count] != nullptr) ++count;
    for (size_t i = count; i-- > 0;) pending.push_back(element->children[i]);
  }
  return order;
}

const Frame& Gauge::Draw() {
  SendEvent(kPanelDraw);
  ServingScope scope(host_, this);
  frame_.elements.clear();
  for (size_t index = 0; index < elements_.size(); ++index) {
    ElementHead* element = elements_[index];
    DrawnElement drawn;
    drawn.record = element;
    drawn.kind = element->element_kind;
    drawn.resource_id = element->resource_id;
    drawn.x = element->position_x;
    drawn.y = element->position_y;
    ElementUpdateCallback callback = nullptr;
    switch (element->element_kind) {
      case kIcon:
        callback = reinterpret_cast<IconElement*>(element)->update_callback;
        break;
      case kNeedle:
        callback = reinterpret_cast<NeedleElement*>(element)->update_callback;
        break;
      case kString: {
        auto* text = reinterpret_cast<StringElement*>(element);
        if (text->source_vars[0].var_id != 0) {
          ServiceCalls::LookupVar(&text->source_vars[0]);
        }
        text->text_buffer = text_buffers_[index].data();
        callback = text->update_callback;
        break;
      }
      default:
        break;
    }
    if (callback != nullptr) drawn.value = callback(element);
    if (element->element_kind == kString) {
      auto& buffer = text_buffers_[index];
      buffer.back() = '\0';
      drawn.text = std::string_view(buffer.data(), std::strlen(buffer.data()));
    }
    drawn.flags = element->image_flags;
    frame_.elements.push_back(drawn);
  }
  return frame_;
}

std::vector<const MouseRect*> Gauge::MouseAreas() const {
  std::vector<const MouseRect*> areas;
  const MouseRect* rect = header_->mouse_rects;
  for (size_t i = 0; rect != nullptr && i < kMaxMouseRects && rect[i].rect_kind != kRectEnd;
       ++i) {
    if (rect[i].rect_kind == kRectChild) areas.push_back(&rect[i]);
  }
  return areas;
}

const MouseRect* Gauge::HitTest(int32_t x, int32_t y, uint32_t mouse_event) const {
  for (const MouseRect* area : MouseAreas()) {
    const bool inside = x >= area->x && y >= area->y &&
                        static_cast<int64_t>(x) < static_cast<int64_t>(area->x) + area->width &&
                        static_cast<int64_t>(y) < static_cast<int64_t>(area->y) + area->height;
    if (inside && (area->event_mask & mouse_event) == mouse_event &&
        area->mouse_callback != nullptr) {
      return area;
    }
  }
  return nullptr;
}

bool Gauge::Click(int32_t x, int32_t y, uint32_t mouse_event) {
  const MouseRect* area = HitTest(x, y, mouse_event);
  if (area == nullptr) return false;
  CallMouse(*area, mouse_event);
  return true;
}

int32_t Gauge::CallMouse(const MouseRect& area, uint32_t mouse_event) {
  if (area.mouse_callback == nullptr) return 0;
  ServingScope scope(host_, this);
  return area.mouse_callback(0, mouse_event);
}

}  // namespace host
