#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <string>

#include "host/shared_library.h"

namespace host {

const char* const kGaugeFileSuffix = ".gau";
const char* const kSoundLibraryFile = "GaugeSound.dll";
bool LoadsGauFiles() { return true; }

std::filesystem::path RunningProgram() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0) return {};
    if (length < self.size()) {
      self.resize(length);
      return std::filesystem::path(self);
    }
    if (self.size() >= 32768) return {};
    self.resize(self.size() * 2);
  }
}

bool SharedLibrary::Open(const std::filesystem::path& path, std::string* error) {
  Close();
  handle_ = LoadLibraryA(std::filesystem::absolute(path).string().c_str());
  if (handle_ == nullptr && error != nullptr) {
    char text[256] = {};
    const DWORD code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    *error = "error " + std::to_string(code) + ": " + text;
    while (!error->empty() && (error->back() == '\n' || error->back() == '\r')) error->pop_back();
  }
  return handle_ != nullptr;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  void* symbol;
  static_assert(sizeof symbol == sizeof address);
  std::memcpy(&symbol, &address, sizeof symbol);
  return symbol;
}

bool SharedLibrary::Resource(uint32_t type, uint32_t id, std::vector<uint8_t>* bytes) const {
  if (handle_ == nullptr) return false;
  auto module = static_cast<HMODULE>(handle_);
  HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return false;
  const auto* begin = static_cast<const uint8_t*>(data);
  bytes->assign(begin, begin + SizeofResource(module, found));
  return true;
}

}  // namespace host
