// A loaded shared library: dlopen on POSIX, LoadLibrary on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace host {

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
