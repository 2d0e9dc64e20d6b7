#include "bench/loading.h"

#include <system_error>

#include "host/trial.h"

namespace bench {
namespace {

// Whether `file` must be tried in a child before it is loaded here.
bool NeedsTrial(const std::filesystem::path& file, const std::filesystem::path& ours) {
  std::error_code ec;
  return host::kTrialsInChild && !std::filesystem::equivalent(file, ours, ec);
}

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

}  // namespace

bool LoadSoundLibrary(host::Host& host, const std::filesystem::path& path,
                      const std::filesystem::path& sound_root, std::string* error) {
  const std::string hint = " (give another with --sound-library FILE; the build's own is " +
                           host::DefaultSoundLibrary().string() + ")";
  std::error_code ec;
  if (!sound_root.empty() && !std::filesystem::is_directory(sound_root, ec)) {
    return Fail(error, "the simulator folder " + sound_root.string() +
                           (std::filesystem::exists(sound_root, ec) ? " is not a folder"
                                                                    : " does not exist") +
                           ": give the folder that holds sound/ with --sound-root DIR");
  }
  if (NeedsTrial(path, host::DefaultSoundLibrary())) {
    host::TrialReport report;
    if (!host::TrialSoundLibrary(path, sound_root, &report)) {
      return Fail(error, report.message + hint);
    }
  }
  std::string why;
  if (!host.LoadSoundLibrary(path, &why)) return Fail(error, why + hint);
  host.SetSoundRoot(sound_root);
  return true;
}

host::Module* LoadGauge(host::Host& host, const std::filesystem::path& dir,
                        const std::string& name, std::string* error) {
  const std::filesystem::path file = host::GaugeFile(dir, name);
  std::string why;
  host::Module* module = nullptr;
  if (NeedsTrial(dir, host::DefaultGaugeDir())) {
    host::TrialReport report;
    if (!host::TrialModule(file, &report, {.gauge = name})) why = report.message;
  }
  if (why.empty()) module = host.LoadModule(file, name, &why);
  if (module != nullptr) return module;
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    Fail(error, why + " (copy the module again, or build it: tools/build.sh build/native, or "
                      "tools/build-win32.sh for the Windows .gau files; the modules' folder is "
                      "given with --gauges DIR)");
  } else {
    Fail(error, why + " (give the modules' folder with --gauges DIR, or build them: "
                      "tools/build.sh build/native, or tools/build-win32.sh for the Windows .gau "
                      "files)");
  }
  return nullptr;
}

}  // namespace bench
