// A loaded gauge module file. The host loads and unloads modules (and the
// sound library they play through): Host::LoadModule, Host::UnloadModule
// and Host::LoadSoundLibrary, in modules.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/linkage.h"
#include "host/shared_library.h"

namespace host {

class Host;

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

}  // namespace host
