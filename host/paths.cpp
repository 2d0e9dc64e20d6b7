// Where the host's programs find their files: beside the program when they
// are there (the tools as they ship: panel-bench.exe with Gauges/,
// GaugeSound.dll, sound/, fonts/ and web/ beside it), else in the build tree
// the program was built in. The system's own names are its platform file's
// (shared_library_posix.cpp, shared_library_win32.cpp).
#include <cstdlib>
#include <system_error>

#include "host/host.h"
#include "host/shared_library.h"

namespace host {

std::filesystem::path ProgramDir() {
  const std::filesystem::path self = RunningProgram();
  return self.empty() ? std::filesystem::current_path() : self.parent_path();
}

std::filesystem::path SourceDir() { return ProgramDir().parent_path().parent_path().parent_path(); }

std::filesystem::path BesideProgramElse(const std::filesystem::path& name,
                                        const std::filesystem::path& otherwise) {
  const std::filesystem::path beside = ProgramDir() / name;
  std::error_code ec;
  return std::filesystem::exists(beside, ec) ? beside : otherwise;
}

std::filesystem::path DefaultGaugeDir() {
  const char* dir = std::getenv("GAUGES_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  return BesideProgramElse("Gauges", ProgramDir().parent_path() / "gauges");
}

// The simulator keeps its sound library beside the program; a native build
// tree keeps it in lib/.
std::filesystem::path DefaultSoundLibrary() {
  return BesideProgramElse(kSoundLibraryFile, ProgramDir().parent_path() / "lib" / kSoundLibraryFile);
}

std::filesystem::path GaugeFile(const std::filesystem::path& dir, std::string_view gauge) {
  return dir / (std::string(gauge) + kGaugeFileSuffix);
}

}  // namespace host
