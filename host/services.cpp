#include "host/services.h"

#include <utility>

#include "host/host.h"
#include "host/text_format.h"

namespace host {
namespace {

// The host and gauge being served by the call into a module that is running
// now. Services and sound reports arrive inside such a call.
struct Serving {
  Host* host = nullptr;
  Gauge* gauge = nullptr;
};
Serving serving;

}  // namespace

ServingScope::ServingScope(Host* host, Gauge* gauge)
    : saved_host_(serving.host), saved_gauge_(serving.gauge), fp_(ReadFpState()) {
  serving = {host, gauge};
}

ServingScope::~ServingScope() {
  const FpState now = ReadFpState();
  if (!(now == fp_)) ServiceCalls::FpStateChanged(now);
  serving = {saved_host_, saved_gauge_};
}

void ServiceCalls::Append(LogEntry entry) {
  if (serving.host == nullptr) return;
  if (serving.gauge != nullptr) entry.gauge = serving.gauge->name();
  serving.host->log_.Append(std::move(entry));
}

void ServiceCalls::FpStateChanged(const FpState& now) {
  if (serving.host != nullptr) ++serving.host->fp_state_changes_;
  Append({.kind = LogKind::kFpStateChanged, .id = now.x87_control, .value = now.mxcsr_control});
}

int32_t GAUGE_CALL ServiceCalls::TriggerKeyEvent(uint32_t event_id, uint32_t value) {
  Append({.kind = LogKind::kKeyEvent, .id = event_id, .value = value});
  if (serving.host != nullptr && serving.host->key_handler_) {
    serving.host->key_handler_(event_id, value);
  }
  return 1;
}

int32_t GAUGE_CALL ServiceCalls::InitializeVarByName(ModuleVar* var, const char* name) {
  if (var == nullptr || name == nullptr || serving.host == nullptr) return 0;
  var->value_ptr = serving.host->vars_.Named(name);
  Append({.kind = LogKind::kNamedBind, .value = var->value_ptr != nullptr ? 1u : 0u,
          .name = name});
  return var->value_ptr != nullptr ? 1 : 0;
}

int32_t GAUGE_CALL ServiceCalls::LookupVar(ModuleVar* var) {
  if (var == nullptr || serving.host == nullptr) return 0;
  Host& host = *serving.host;
  if (host.trace_lookups_) Append({.kind = LogKind::kLookup, .id = var->var_id});
  if (!host.vars_.Lookup(*var) && !host.NotedUnknown(var->var_id)) {
    host.Note("variable " + Hex(var->var_id) + " is not simulated; it reads 0");
  }
  return 1;
}

template <int Slot>
void GAUGE_CALL ServiceCalls::Trap() {
  Append({.kind = LogKind::kTrappedSlot, .id = Slot});
}

void ServiceCalls::Report(void*, const GaugeSoundCall* call) {
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

namespace {

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

}  // namespace host
