// The host core: our stand-in for the simulator's panel system. It loads
// gauge modules, offers them the host services, keeps the simulation and
// named variables, drives each gauge through its panel service events,
// draws its element chain into a frame of values, and delivers clicks to
// its mouse rectangles. Everything a module sends out lands in one ordered
// log. One thread; one call into a module at a time.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "frame/elements.h"
#include "frame/host_services.h"
#include "frame/linkage.h"
#include "frame/module_var.h"
#include "frame/mouse_rect.h"
#include "host/shared_library.h"

namespace host {

// ---- the log ----------------------------------------------------------------

enum class LogKind {
  kKeyEvent,         // TriggerKeyEvent(id, value)
  kPlaySound,        // GaugePlaySound(file, alias, flags)
  kStopSound,        // GaugeStopSound(file)
  kTerminateSounds,  // TerminateSounds()
  kTrappedSlot,      // a service slot no module should call; id = slot
  kNamedBind,        // InitializeVarByName(record, name); value = 1 if bound
  kLookup,           // LookupVar(id); only while lookups are traced
  kFpStateChanged,   // a call into the module left the floating-point control
                     // state changed; id = x87 control word, value = MXCSR
                     // control bits, both as the call left them
};

struct LogEntry {
  LogKind kind = LogKind::kKeyEvent;
  std::string gauge = {};   // the gauge being served when it happened, or ""
  uint32_t id = 0;       // key event id, trapped slot, looked-up variable
  uint32_t value = 0;    // key event value; 1 for a bound named variable
  std::string name = {};  // the sound's file name, or the named variable's name
  std::string alias = {}; // GaugePlaySound's second argument
  std::string resolved = {};  // the sound file found for `file`, or ""
  int32_t flags = 0;     // GaugePlaySound's third argument

  std::string Describe() const;  // one line, e.g. "key 0x1038C value 0"
};

// The log: the most recent kCapacity entries, each known by its sequence
// number (how many entries were logged before it), and a count of the
// older ones dropped to keep to that bound. A gauge clicked for ever (a
// script's click-random, a flood of the live panel's clicks) thus holds
// bounded memory, while what anyone checks, what the last few calls sent,
// is far inside the bound: one click or update sends a handful.
class Log {
 public:
  static constexpr size_t kCapacity = 4096;
  using const_iterator = std::deque<LogEntry>::const_iterator;

  size_t size() const { return entries_.size(); }  // entries kept
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const LogEntry& front() const { return entries_.front(); }
  const LogEntry& back() const { return entries_.back(); }

  // The sequence number of the oldest entry kept, and the one the next
  // entry will get. Keep next() to find later what was sent after it.
  uint64_t first() const { return next_ - entries_.size(); }
  uint64_t next() const { return next_; }
  // Entries dropped from the front to keep the bound (not those cleared).
  uint64_t dropped() const { return dropped_; }
  // The kept entries from sequence number `seq` on (all that are kept when
  // `seq` was dropped or cleared).
  const_iterator From(uint64_t seq) const {
    if (seq <= first()) return begin();
    if (seq >= next_) return end();
    return begin() + static_cast<std::ptrdiff_t>(seq - first());
  }

  void Append(LogEntry entry);
  // Forgets the kept entries; sequence numbers go on from where they were.
  void Clear() { entries_.clear(); }

 private:
  std::deque<LogEntry> entries_;
  uint64_t next_ = 0;
  uint64_t dropped_ = 0;
};

// ---- variables ----------------------------------------------------------------

// The simulation variables by id (each either a 64-bit float or a 32-bit
// integer such as a BCD frequency) and the named variables that gauges
// outside this system register. A named variable's storage lives as long as
// this object, even after it is unregistered, so a module's pointer into it
// never dangles.
class Variables {
 public:
  void Set(uint32_t id, double value);
  void SetInteger(uint32_t id, uint32_t value);
  bool Has(uint32_t id) const;
  bool IsInteger(uint32_t id) const;
  double Get(uint32_t id) const;          // 0.0 if unknown; an integer as its value
  uint32_t GetInteger(uint32_t id) const; // 0 if unknown; a float truncated

  // Registers `name` with storage owned here (the value is kept if it was
  // registered before); returns the storage.
  int32_t* Register(const std::string& name, int32_t initial = 0);
  void Unregister(const std::string& name);
  int32_t* Named(const std::string& name);  // null while not registered
  bool IsRegistered(const std::string& name) const;

  // LookupVar's work: fills `var.value`. Returns false for an unknown id
  // (the value is then 0.0).
  bool Lookup(ModuleVar& var) const;

 private:
  struct Value {
    bool integer = false;
    double number = 0.0;
    uint32_t bits = 0;
  };
  struct NamedSlot {
    std::unique_ptr<int32_t> storage;
    bool registered = false;
  };
  std::unordered_map<uint32_t, Value> values_;
  std::map<std::string, NamedSlot, std::less<>> named_;
};

// ---- modules ----------------------------------------------------------------

class Host;

// One loaded gauge module file.
class Module {
 public:
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string name() const;  // the gauge name of its header
  ModuleLinkage& linkage() { return *linkage_; }
  ImportEntry* import_table() { return import_table_; }
  GaugeHeader& header() { return *linkage_->gauge_headers[0]; }
  // A resource of the loaded module, as the system's loader finds it
  // (Windows only; elsewhere false).
  bool Resource(uint32_t type, uint32_t id, std::vector<uint8_t>* bytes) const {
    return library_.Resource(type, id, bytes);
  }

 private:
  friend class Host;
  Module() = default;
  std::filesystem::path path_;
  SharedLibrary library_;
  ModuleLinkage* linkage_ = nullptr;
  ImportEntry* import_table_ = nullptr;
};

// ---- drawing ----------------------------------------------------------------

// One element as the host drew it: the record's values after its update
// callback ran.
struct DrawnElement {
  const ElementHead* record = nullptr;
  uint32_t kind = 0;            // ElementKind
  uint32_t resource_id = 0;
  int32_t x = 0;                // position (needle: pivot)
  int32_t y = 0;
  uint32_t flags = 0;           // image_flags after the callback
  double value = 0.0;           // icon: picture index; needle: value; string: result
  std::string_view text;        // string: the text written into the buffer

  bool hidden() const { return (flags & kFlagHidden) != 0; }
  bool lit() const { return (flags & kFlagLit) != 0; }
};

struct Frame {
  std::vector<DrawnElement> elements;  // chain order, face first
};

// A point in a gauge's face pixels.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
};
// The middle of a mouse area: where a click meant for the area lands.
inline Point AreaCentre(const MouseRect& area) {
  return {area.x + area.width / 2, area.y + area.height / 2};
}

// Text buffer the host supplies to each string element.
inline constexpr size_t kTextBufferSize = 64;

// One gauge created from a module's header.
class Gauge {
 public:
  const std::string& name() const { return name_; }
  Module& module() { return *module_; }
  GaugeHeader& header() { return *header_; }
  bool alive() const { return alive_; }

  // Panel service events. Any number can be sent; the named ones are the
  // host's usual work.
  void SendEvent(PanelServiceEvent event, uint32_t extra = 0);
  void Update() { SendEvent(kPanelUpdate); }
  void Kill();  // event 12; the gauge is then no longer alive

  // Event 10, then every element's update callback in chain order. Before a
  // string's callback the host refreshes its first source variable and
  // supplies its text buffer. The frame stays valid until the next Draw.
  const Frame& Draw();
  const Frame& last_frame() const { return frame_; }

  // The elements of the chain in drawing order, and the children of the
  // mouse list in list order. [the records live in the module: until it is
  // unloaded]
  std::vector<ElementHead*> Elements() const;
  std::vector<const MouseRect*> MouseAreas() const;

  // The child under (x, y) that takes `mouse_event`, or null. A rectangle
  // covers x to x + width - 1 and y to y + height - 1.
  const MouseRect* HitTest(int32_t x, int32_t y, uint32_t mouse_event = kMousePress) const;
  // Calls the callback of the child under (x, y); false if none takes it.
  bool Click(int32_t x, int32_t y, uint32_t mouse_event = kMousePress);
  // Calls a child's callback directly, as a click inside it would.
  int32_t CallMouse(const MouseRect& area, uint32_t mouse_event = kMousePress);

 private:
  friend class Host;
  Gauge(Host& host, Module& module);
  static std::vector<ElementHead*> WalkChain(ElementHead* root);
  Host* host_;
  Module* module_;
  GaugeHeader* header_;
  std::string name_;
  bool alive_ = false;
  std::vector<ElementHead*> elements_;  // the chain, walked once at creation
  Frame frame_;
  // One text buffer per element of the chain (used by strings only).
  std::vector<std::array<char, kTextBufferSize>> text_buffers_;
};

// ---- the host ---------------------------------------------------------------

class Host {
 public:
  Host();
  ~Host();  // kills live gauges, unloads modules, releases the sound library
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  Variables& vars() { return vars_; }

  // What the modules sent out, in order (the most recent Log::kCapacity).
  const Log& log() const { return log_; }
  void ClearLog() { log_.Clear(); }
  // How many calls into a module left the floating-point control state
  // changed since this host was made (each is also in the log).
  size_t fp_state_changes() const { return fp_state_changes_; }
  // The host's own notes: unknown variables, icon results it could not
  // show, and the like. Each distinct note once.
  const std::vector<std::string>& notes() const { return notes_; }
  void Note(const std::string& note);
  // Also log every LookupVar (off by default: it is most of the traffic).
  void TraceLookups(bool on) { trace_lookups_ = on; }

  // Called for every key event after it is logged: the simulator's side.
  void OnKeyEvent(std::function<void(uint32_t id, uint32_t value)> handler) {
    key_handler_ = std::move(handler);
  }

  // Loads the sound library stand-in from `path` and routes its reports
  // into this host's log. The modules then find it already loaded by name.
  // The file is first checked as a module is (a regular file; elsewhere
  // than on Windows an ELF shared object whose tables lie inside it), and
  // must export the module's three entry points and the reporter hook. Its
  // initialisers run in this process: try a library this program did not
  // build in a child first (host/probe.h).
  bool LoadSoundLibrary(const std::filesystem::path& path, std::string* error);
  // The simulator folder that the modules' sound file names start from
  // (default: the current directory). Needs the library loaded.
  void SetSoundRoot(const std::filesystem::path& folder);

  // Loads a gauge module, writes the service table into its ImportTable,
  // calls module_init. On failure returns null and says why in `error`.
  // Elsewhere than on Windows the file is first checked as an ELF shared
  // object (formats/elf_check.h), so a file cut short or damaged is refused
  // before the system's loader sees it.
  // [lives until UnloadModule(module) or the host's end]
  Module* LoadModule(const std::filesystem::path& path, std::string* error);
  // The same, and refuses a module whose header names another gauge than
  // `gauge` (a file copied under another gauge's name).
  Module* LoadModule(const std::filesystem::path& path, std::string_view gauge,
                     std::string* error);
  // Kills the module's live gauges, calls module_deinit, unloads it.
  void UnloadModule(Module* module);

  // Creates a gauge from the module's header and sends event 4.
  // [lives until DestroyGauge(gauge), UnloadModule of its module, or the
  // host's end]
  Gauge* CreateGauge(Module& module);
  // Kills the gauge if it lives and forgets it.
  void DestroyGauge(Gauge* gauge);

  // The service table this host writes into every module.
  static HostServices* ServiceTable();

 private:
  friend class Gauge;
  friend struct ServiceCalls;
  bool NotedUnknown(uint32_t var_id);
  Variables vars_;
  Log log_;
  std::vector<std::string> notes_;
  std::vector<uint32_t> unknown_vars_;  // noted once each
  bool trace_lookups_ = false;
  size_t fp_state_changes_ = 0;
  std::function<void(uint32_t, uint32_t)> key_handler_;
  SharedLibrary sound_library_;
  std::vector<std::unique_ptr<Module>> modules_;
  std::vector<std::unique_ptr<Gauge>> gauges_;
};

// Where the built modules and the sound library are, relative to the
// running program (bin/ beside gauges/ and lib/ in a build tree). The
// environment variable GAUGES_DIR, when set, names the gauge folder instead
// (the 32-bit test programs load the files we ship that way).
std::filesystem::path DefaultGaugeDir();
std::filesystem::path DefaultSoundLibrary();

// "orlahyd" -> <dir>/orlahyd.so (or .gau on Windows).
std::filesystem::path GaugeFile(const std::filesystem::path& dir, std::string_view gauge);

}  // namespace host
