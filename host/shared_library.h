// A loaded shared library: dlopen on POSIX, LoadLibrary on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace host {

// This system's names for what the host loads: a gauge module's file
// ("<gauge>.so", "<gauge>.gau") and the sound library's.
extern const char* const kGaugeFileSuffix;
extern const char* const kSoundLibraryFile;
// Whether a gauge module the host loads is the .gau file that also holds the
// gauge's pictures (Windows); elsewhere they are read from the .gau files
// beside the native modules.
bool LoadsGauFiles();

// The running program's file; empty if the system cannot say.
std::filesystem::path RunningProgram();

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary() { Close(); }
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  SharedLibrary& operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads `path`; on failure says why in `error` (the loader's own words).
  bool Open(const std::filesystem::path& path, std::string* error);
  void Close();
  bool is_open() const { return handle_ != nullptr; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;
  // A resource of the loaded library (U.S. English), as the operating
  // system's loader finds it. Windows only: elsewhere always false.
  bool Resource(uint32_t type, uint32_t id, std::vector<uint8_t>* bytes) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace host
