#include "frame/host_services.h"

extern "C" {
GAUGE_EXPORT constinit ImportEntry ImportTable[2] = {
    {kHostServicesId, nullptr},
    {0, nullptr},
};
}

namespace {
HostServices& Services() { return *ImportTable[0].service_table; }
}  // namespace

void TriggerKeyEvent(uint32_t event_id) { Services().trigger_key_event(event_id, 0); }

void InitializeVarByName(ModuleVar& var, const char* name) {
  Services().initialize_var_by_name(&var, name);
}

void LookupVar(ModuleVar& var) { Services().lookup_var(&var); }

void LookupVars(ModuleVar* vars, int count) {
  for (int i = 0; i < count; ++i) LookupVar(vars[i]);
}

void GAUGE_CALL ModuleInit(void) {}
void GAUGE_CALL ModuleDeinit(void) {}
