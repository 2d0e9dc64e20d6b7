// `HostServices`: the host's table of service functions, reached through
// `ImportTable` entry 0. Modules use three slots; the rest are the host's.
#pragma once

#include "frame/linkage.h"
#include "frame/module_var.h"

#pragma pack(push, 4)

// [service] Hand a key event to the simulator. Every call here passes value 0.
using TriggerKeyEventFn = int32_t(GAUGE_CALL*)(uint32_t event_id, uint32_t value);
// [service] Bind `var` to the named variable `name` that another gauge
// registered; the host fills `var->value_ptr` (null if nobody registered it).
using InitializeVarByNameFn = int32_t(GAUGE_CALL*)(ModuleVar* var, const char* name);
// [service] Refresh `var->value` from the variable numbered `var->var_id`.
using LookupVarFn = int32_t(GAUGE_CALL*)(ModuleVar* var);
// A slot no module of ours calls; its signature is the host's business.
using HostServiceSlot = void(GAUGE_CALL*)(void);

inline constexpr int kTriggerKeyEventSlot = 36;
inline constexpr int kInitializeVarByNameSlot = 39;
inline constexpr int kLookupVarSlot = 40;
inline constexpr int kHostServiceSlots = 41;

// Host-owned; modules only read it, and only through `ImportTable`.
struct HostServices {
  HostServiceSlot slots_0_to_35[36];            // host's
  TriggerKeyEventFn trigger_key_event;          // slot 36
  HostServiceSlot slots_37_and_38[2];           // host's
  InitializeVarByNameFn initialize_var_by_name; // slot 39
  LookupVarFn lookup_var;                       // slot 40
};
GAUGE_ASSERT_LAYOUT(HostServices);
static_assert(offsetof(HostServices, trigger_key_event) == kTriggerKeyEventSlot * sizeof(void*));
static_assert(offsetof(HostServices, initialize_var_by_name) ==
              kInitializeVarByNameSlot * sizeof(void*));
static_assert(offsetof(HostServices, lookup_var) == kLookupVarSlot * sizeof(void*));

#pragma pack(pop)

// The module's calls into the host. Each reads the table pointer from
// `ImportTable` entry 0 afresh; nothing keeps a copy of it.
void TriggerKeyEvent(uint32_t event_id);
void InitializeVarByName(ModuleVar& var, const char* name);
void LookupVar(ModuleVar& var);
void LookupVars(ModuleVar* vars, int count);

// The exported table, one per module (defined in frame/services.cpp).
extern "C" GAUGE_EXPORT ImportEntry ImportTable[2];
