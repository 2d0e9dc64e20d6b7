#include "host/modules.h"

#include <algorithm>
#include <system_error>

#include "formats/elf_check.h"
#include "formats/file_read.h"
#include "frame/sound_library.h"
#include "gauge_sound/gauge_sound.h"
#include "host/host.h"
#include "host/services.h"
#include "host/text_format.h"

namespace host {
namespace {

// Opens a library from outside, a module or the sound library, after the
// checks the system's loader needs: a regular file only (a pipe would block
// the loader for ever), and on ELF systems the checks that keep the loader
// inside the file (a partial copy would end the process with SIGBUS).
// Returns why it was not opened, or "".
std::string OpenChecked(const std::filesystem::path& path, const char* what,
                        SharedLibrary* library) {
  formats::FileReadError not_a_file;
  if (!formats::CheckRegularFile(path, formats::kMaxModuleFileBytes, what, &not_a_file)) {
    return not_a_file.message;
  }
  std::string why;
#if !defined(_WIN32)
  if (!formats::CheckElfFile(path, &why)) return why;
#endif
  if (!library->Open(path, &why)) return "not a loadable shared library (" + Quoted(why) + ")";
  return "";
}

}  // namespace

Module::~Module() = default;

std::string Module::name() const {
  const char* name = linkage_->gauge_headers[0]->gauge_name;
  return name != nullptr ? name : "";
}

bool Host::LoadSoundLibrary(const std::filesystem::path& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    sound_library_.Close();
    if (error) *error = "cannot load sound library " + path.string() + ": " + why;
    return false;
  };
  if (const std::string why = OpenChecked(path, "sound library", &sound_library_); !why.empty()) {
    return fail(why);
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

void Host::SetSoundAudible(bool audible) {
  if (auto set = reinterpret_cast<GaugeSoundSetAudibleFn>(
          sound_library_.Symbol(kGaugeSoundSetAudibleName))) {
    set(audible ? 1 : 0);
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
  std::error_code ec;
  std::unique_ptr<Module> module(new Module);
  module->path_ = std::filesystem::absolute(path, ec);
  if (const std::string why = OpenChecked(module->path_, "gauge module", &module->library_);
      !why.empty()) {
    return fail(why);
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
    return fail("it holds the gauge '" + Quoted(found) + "', not '" + std::string(gauge) +
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

}  // namespace host
