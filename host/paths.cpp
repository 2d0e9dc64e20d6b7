#include <system_error>

#include "host/host.h"

namespace host {
namespace {

std::filesystem::path ProgramDir() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace

std::filesystem::path DefaultGaugeDir() { return ProgramDir().parent_path() / "gauges"; }

std::filesystem::path DefaultSoundLibrary() {
  return ProgramDir().parent_path() / "lib" / "libGaugeSound.so";
}

std::filesystem::path GaugeFile(const std::filesystem::path& dir, std::string_view gauge) {
  return dir / (std::string(gauge) + ".so");
}

}  // namespace host
