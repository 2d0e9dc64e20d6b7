// The host core: our stand-in for the simulator's panel system. It loads
// gauge modules, offers them the host services, keeps the simulation and
// named variables, drives each gauge through its panel service events,
// draws its element chain into a drawing (the values each element shows),
// and delivers clicks to its mouse rectangles. Everything a module sends out lands in one ordered
// log. One thread; one call into a module at a time.
//
// Its parts, each in a file of its own: the log (host/log.h), the variables
// (host/variables.h), a loaded module (host/modules.h), what a gauge drew
// (host/drawing.h), a gauge (host/gauge.h), and the services a module calls
// (host/services.h, inside the host core). This header has them all and the
// host that holds them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host_services.h"
#include "host/drawing.h"
#include "host/gauge.h"
#include "host/log.h"
#include "host/modules.h"
#include "host/shared_library.h"
#include "host/variables.h"

namespace host {

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

  // ---- loading the sound library and the modules (host/modules.cpp)

  // Loads the sound library stand-in from `path` and routes its reports
  // into this host's log. The modules then find it already loaded by name.
  // The file is first checked as a module is (a regular file; elsewhere
  // than on Windows an ELF shared object whose tables lie inside it), and
  // must export the module's three entry points and the reporter hook. Its
  // initialisers run in this process: try a library this program did not
  // build in a child first (host/trial.h).
  bool LoadSoundLibrary(const std::filesystem::path& path, std::string* error);
  // The simulator folder that the modules' sound file names start from
  // (default: the current directory). Needs the library loaded.
  void SetSoundRoot(const std::filesystem::path& folder);
  // Whether the library plays the clicks aloud where it can (on Windows; the
  // default) or only reports them. Needs the library loaded.
  void SetSoundAudible(bool audible);

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

  // The service table this host writes into every module (host/services.cpp).
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

// The folder of the running program (the current folder if it cannot be
// found).
std::filesystem::path ProgramDir();

// The source folder of the build tree the running program was built in
// (tools/build.sh builds each tree in <source>/build/<tree>, programs in its
// bin/), found from where the program is rather than written into it, so
// that a program built in one folder is the same file as one built in any
// other.
std::filesystem::path SourceDir();

// `name` beside the running program when it is there, else `otherwise`
// (where the build tree keeps it): the one rule for the files a program of
// ours uses, as they ship and as they are built.
std::filesystem::path BesideProgramElse(const std::filesystem::path& name,
                                        const std::filesystem::path& otherwise);

// Where the modules and the sound library are: a Gauges folder and the
// sound library beside the program (the tools as they ship), else where a
// build tree has them (bin/ beside gauges/ and lib/). The environment
// variable GAUGES_DIR, when set, names the gauge folder instead (the 32-bit
// test programs load the files we ship that way).
std::filesystem::path DefaultGaugeDir();
std::filesystem::path DefaultSoundLibrary();

// "orlahyd" -> <dir>/orlahyd.so (or .gau on Windows).
std::filesystem::path GaugeFile(const std::filesystem::path& dir, std::string_view gauge);

}  // namespace host
