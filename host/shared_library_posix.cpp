#include <dlfcn.h>

#include <system_error>

#include "host/shared_library.h"

namespace host {

const char* const kGaugeFileSuffix = ".so";
const char* const kSoundLibraryFile = "libGaugeSound.so";
bool LoadsGauFiles() { return false; }

std::filesystem::path RunningProgram() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self;
}

bool SharedLibrary::Open(const std::filesystem::path& path, std::string* error) {
  Close();
  // A path with a slash is opened as given, never searched for.
  const std::string file = path.has_parent_path() ? path.string() : "./" + path.string();
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr && error != nullptr) {
    const char* why = dlerror();
    *error = why != nullptr ? why : "the loader gave no reason";
  }
  return handle_ != nullptr;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

bool SharedLibrary::Resource(uint32_t, uint32_t, std::vector<uint8_t>*) const { return false; }

}  // namespace host
