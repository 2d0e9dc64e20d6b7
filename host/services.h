// The services a module calls (the table the host writes into its
// ImportTable, and the sound library's reports of what it played), and the
// scope of one call into a module, which tells them whom they serve. The
// host core's own: nothing outside host/ includes this.
#pragma once

#include <cstdint>

#include "frame/abi.h"
#include "frame/module_var.h"
#include "gauge_sound/gauge_sound.h"
#include "host/fp_state.h"
#include "host/log.h"

namespace host {

class Host;
class Gauge;

// Made around every call into a module: the services and sound reports that
// arrive inside it serve `host` and log under `gauge` (null for a module's
// own init and deinit). At its end the one it replaced is in force again, and
// the log notes a floating-point control state left other than found.
class ServingScope {
 public:
  ServingScope(Host* host, Gauge* gauge);
  ~ServingScope();
  ServingScope(const ServingScope&) = delete;
  ServingScope& operator=(const ServingScope&) = delete;

 private:
  Host* saved_host_;
  Gauge* saved_gauge_;
  FpState fp_;
};

// What the service table's entries and the sound library's reporter do. A
// call outside every ServingScope serves no host: nothing is logged, bound
// or looked up.
struct ServiceCalls {
  static void Append(LogEntry entry);
  static void FpStateChanged(const FpState& now);

  // The module calls these through its ImportTable.
  static int32_t GAUGE_CALL TriggerKeyEvent(uint32_t event_id, uint32_t value);
  static int32_t GAUGE_CALL InitializeVarByName(ModuleVar* var, const char* name);
  static int32_t GAUGE_CALL LookupVar(ModuleVar* var);
  // Every other slot of the table.
  template <int Slot>
  static void GAUGE_CALL Trap();

  // The sound library calls this inside each of the module's calls into it.
  static void Report(void*, const GaugeSoundCall* call);
};

}  // namespace host
