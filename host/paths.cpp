#include <cstdlib>
#include <system_error>

#include "host/host.h"

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#endif

namespace host {

std::filesystem::path ProgramDir() {
#if defined(_WIN32)
  char self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return std::filesystem::current_path();
  return std::filesystem::path(self).parent_path();
#else
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : self.parent_path();
#endif
}

std::filesystem::path DefaultGaugeDir() {
  const char* dir = std::getenv("GAUGES_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return ProgramDir().parent_path() / "gauges";
}

// The simulator keeps its sound library beside the program; so do we on
// Windows. In a native build tree it is in lib/.
std::filesystem::path DefaultSoundLibrary() {
#if defined(_WIN32)
  return ProgramDir() / "GaugeSound.dll";
#else
  return ProgramDir().parent_path() / "lib" / "libGaugeSound.so";
#endif
}

std::filesystem::path GaugeFile(const std::filesystem::path& dir, std::string_view gauge) {
#if defined(_WIN32)
  return dir / (std::string(gauge) + ".gau");
#else
  return dir / (std::string(gauge) + ".so");
#endif
}

}  // namespace host
