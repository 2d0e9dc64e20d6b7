// The bench's one way of writing a file, the part every system shares:
// which file a name means and which names stay inside an output folder. The
// writing itself is the system's (file_write_posix.cpp, file_write_win32.cpp).
#include "bench/file_write.h"

#include <cstdio>
#include <system_error>

#include "bench/file_write_platform.h"

namespace bench {
namespace file_write {

bool LeadsOut(const std::string& shown, const std::filesystem::path& folder, std::string* error,
              const std::string& link) {
  *error = "cannot write " + shown + ": it would be written outside the output folder " +
           folder.string() + " (" + link + " on the way leads out of it)";
  return false;
}

std::string TemporaryName(unsigned process, unsigned attempt) {
  char name[32];
  std::snprintf(name, sizeof name, ".pb%06x.tmp", (process * 131u + attempt) & 0xFFFFFFu);
  return name;
}

}  // namespace file_write

bool WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes,
                        std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = "cannot write " + file.string() + ": " + why;
    return false;
  };
  // Through links to the file they lead to, as a shell's '>' would.
  std::filesystem::path target = file;
  std::error_code ec;
  for (int hops = 0;; ++hops) {
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) break;
    if (hops == 40) return fail("its symbolic links lead round in a circle");
    const std::filesystem::path link = std::filesystem::read_symlink(target, ec);
    if (ec) return fail(ec.message());
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  if (std::filesystem::is_directory(std::filesystem::symlink_status(target, ec)) ||
      target.filename().empty()) {
    return fail("it is a folder");
  }
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  return file_write::ReplaceInFolder(folder, target.filename().string(), file.string(), bytes,
                                     error);
}

bool OutputFolder::Write(const std::filesystem::path& name, std::string_view bytes,
                         std::string* error) {
  const std::string shown = (path_ / name).string();
  if (!is_open()) {
    *error = "cannot write " + shown + ": the output folder is not open";
    return false;
  }
  if (name.is_absolute() || name.has_root_name() || name.filename().empty() ||
      name.filename() == "..") {
    return file_write::LeadsOut(shown, path_, error);
  }
  for (const std::filesystem::path& part : name.parent_path()) {
    if (part == ".." || part == "." || part.empty()) return file_write::LeadsOut(shown, path_, error);
  }
  return WriteBelow(name, shown, bytes, error);
}

}  // namespace bench
