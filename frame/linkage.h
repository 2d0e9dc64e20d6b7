// How a host finds a module's gauge and hands the module its services:
// the exported `Linkage` and `ImportTable` records and the `GaugeHeader`.
#pragma once

#include "frame/abi.h"

#pragma pack(push, 4)

struct GaugeHeader;
struct ElementHead;
struct MouseRect;
struct HostServices;

// Panel service events, the second argument of `GaugeCallback`. The modules
// act on these four; every other number (negative ones included) is ignored.
using PanelServiceEvent = int32_t;
inline constexpr PanelServiceEvent kPanelInitialise = 4;
inline constexpr PanelServiceEvent kPanelUpdate = 6;
inline constexpr PanelServiceEvent kPanelDraw = 10;
inline constexpr PanelServiceEvent kPanelKill = 12;

// [init] [deinit] The host calls these right after loading and right before
// unloading a module. They do nothing in any module of ours.
using ModuleEntryFn = void(GAUGE_CALL*)(void);

// [lifecycle] The host serves one gauge: initialise, update, draw, kill.
// `extra` is passed by the host and never read.
using GaugeCallback = void(GAUGE_CALL*)(GaugeHeader* gauge, PanelServiceEvent event,
                                        uint32_t extra);

inline constexpr uint32_t kModuleId = 0x13;
inline constexpr uint32_t kModuleVersion = 0x800;
inline constexpr uint32_t kHeaderVersion = 0x320;
inline constexpr uint32_t kDefaultSize = 100;
inline constexpr uint32_t kHostServicesId = 0x0F;

// Exported as `Linkage`. Module-owned, read by the host; never written.
struct ModuleLinkage {
  uint32_t module_id;               // module: 0x13
  ModuleEntryFn module_init;        // module: does nothing
  ModuleEntryFn module_deinit;      // module: does nothing
  uint32_t reserved_1;              // 0
  uint32_t reserved_2;              // 0
  uint32_t module_version;          // module: 0x800
  GaugeHeader* gauge_headers[2];    // module: its only gauge, then null
};
GAUGE_ASSERT_LAYOUT(ModuleLinkage);

// One entry of the exported `ImportTable` (two entries).
struct ImportEntry {
  uint32_t service_id;              // module: 0x0F in entry 0, 0 in entry 1
  HostServices* service_table;      // host writes entry 0 before any call in
};
GAUGE_ASSERT_LAYOUT(ImportEntry);

// One gauge of a module. Module-owned data; the host owns `host_fields`.
struct GaugeHeader {
  uint32_t header_version;          // module: 0x320
  const char* gauge_name;           // module: NUL-terminated, same as module
  ElementHead** element_list;       // module: slot holding the root element
  void* reserved_pointers[8];       // null
  uint32_t default_size;            // module: 100
  uint32_t reserved_words[8];       // 0
  MouseRect* mouse_rects;           // module: the gauge's mouse list
  GaugeCallback gauge_callback;     // module: [lifecycle]
  uint32_t host_fields[27];         // host: run-time fields, 0 at load
};
GAUGE_ASSERT_LAYOUT(GaugeHeader);

#pragma pack(pop)

// The two no-op entry points, compiled into every module.
void GAUGE_CALL ModuleInit(void);
void GAUGE_CALL ModuleDeinit(void);

constexpr ModuleLinkage MakeLinkage(GaugeHeader* header) {
  return {kModuleId, ModuleInit, ModuleDeinit, 0, 0, kModuleVersion, {header, nullptr}};
}

// Defines the exported `Linkage` of a module whose one gauge is `header`.
// Written once per module, outside every namespace.
#define GAUGE_MODULE_LINKAGE(header)                                      \
  extern "C" {                                                            \
  GAUGE_EXPORT constinit ModuleLinkage Linkage = MakeLinkage(&(header));  \
  }

constexpr GaugeHeader MakeGaugeHeader(const char* name, ElementHead** element_list,
                                      MouseRect* mouse_rects, GaugeCallback callback) {
  GaugeHeader header{};
  header.header_version = kHeaderVersion;
  header.gauge_name = name;
  header.element_list = element_list;
  header.default_size = kDefaultSize;
  header.mouse_rects = mouse_rects;
  header.gauge_callback = callback;
  return header;
}
