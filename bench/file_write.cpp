#include "bench/file_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace bench {

bool WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes,
                        std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = "cannot write " + file.string() + ": " + why;
    return false;
  };
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::symlink_status(file, ec);
  if (std::filesystem::is_directory(status)) return fail("it is a folder");
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_symlink(status)) {
    return fail("it is not a regular file (a device, a pipe or a socket), which is never replaced");
  }
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = (folder / ("." + file.filename().string() + "." + std::to_string(getpid()) + "." +
                           std::to_string(attempt) + ".tmp"))
                    .string();
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    return fail("cannot make a file in the folder " + folder.string() + ": " + std::strerror(errno));
  }
  const std::string left = " (" + file.string() + " is left as it was)";
  auto abandon = [&](int cause) {
    close(fd);
    unlink(temporary.c_str());
    return fail(std::strerror(cause) + left);
  };
  while (!bytes.empty()) {
    const ssize_t wrote = write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return abandon(wrote < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(wrote));
  }
  // Some file systems report a full disk only when the data is flushed.
  if (fsync(fd) != 0 && errno != EINVAL) return abandon(errno);
  if (close(fd) != 0) {
    const int cause = errno;
    unlink(temporary.c_str());
    return fail(std::strerror(cause) + left);
  }
  if (std::rename(temporary.c_str(), file.c_str()) != 0) {
    const int cause = errno;
    unlink(temporary.c_str());
    return fail(std::strerror(cause) + left);
  }
  return true;
}

}  // namespace bench
