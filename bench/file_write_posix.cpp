// The bench's file writing on POSIX systems: each folder opened by
// descriptor, files made and renamed relative to it (openat, renameat), and
// the temporary file removed when a deadly signal cuts a write short.
#include "bench/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "bench/file_write_platform.h"

namespace bench {
namespace {

// The temporary file being written, for the signal handler: a folder and a
// name relative to it. One write at a time (the bench writes from one thread).
struct Pending {
  volatile sig_atomic_t set = 0;
  int folder = -1;
  std::array<char, 32> name{};
};
Pending pending;

// Ctrl-C, a hang-up, a termination or the file size limit while a file is
// written: the temporary file goes, then the signal does what it would have
// done. Only signals at their default are taken; a program's own handler
// stays its own.
void RemovePendingAndDie(int signal) {
  if (pending.set != 0) unlinkat(pending.folder, pending.name.data(), 0);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void TakeDeadlySignals() {
  static bool taken = false;
  if (taken) return;
  taken = true;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
    struct sigaction was {};
    if (sigaction(signal, nullptr, &was) != 0 || was.sa_handler != SIG_DFL) continue;
    struct sigaction now {};
    now.sa_handler = RemovePendingAndDie;
    sigemptyset(&now.sa_mask);
    sigaction(signal, &now, nullptr);
  }
}

// A descriptor closed on every way out.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  int release() { return std::exchange(fd, -1); }
  void reset(int to) {
    if (fd >= 0) close(fd);
    fd = to;
  }
};

// Replaces `name` in the open folder `folder` with `bytes`; `shown` is the
// name messages give. A symbolic link at `name` is replaced, not followed.
bool ReplaceIn(int folder, const std::string& name, const std::string& shown,
               std::string_view bytes, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = "cannot write " + shown + ": " + why;
    return false;
  };
  struct stat was {};
  bool keep_mode = false;
  if (fstatat(folder, name.c_str(), &was, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(was.st_mode)) return fail("it is a folder");
    if (!S_ISREG(was.st_mode) && !S_ISLNK(was.st_mode)) {
      return fail("it is not a regular file (a device, a pipe or a socket), which is never replaced");
    }
    keep_mode = S_ISREG(was.st_mode);
  } else if (errno != ENOENT) {
    return fail(std::strerror(errno));
  }

  TakeDeadlySignals();
  std::array<char, 32> temporary{};
  Descriptor out;
  for (unsigned attempt = 0; attempt < 100 && out.fd < 0; ++attempt) {
    const std::string name_now =
        file_write::TemporaryName(static_cast<unsigned>(getpid()), attempt);
    std::snprintf(temporary.data(), temporary.size(), "%s", name_now.c_str());
    out.fd = openat(folder, temporary.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
    if (out.fd < 0 && errno != EEXIST) break;
  }
  if (out.fd < 0) {
    const std::string why = std::strerror(errno);
    const std::filesystem::path where = std::filesystem::path(shown).parent_path();
    return fail("cannot make a file in the folder " + (where.empty() ? "." : where.string()) +
                ": " + why);
  }
  pending.folder = folder;
  pending.name = temporary;
  std::atomic_signal_fence(std::memory_order_seq_cst);  // the name before the flag
  pending.set = 1;
  const std::string left = " (" + shown + " is left as it was)";
  auto abandon = [&](int cause) {
    close(out.release());
    unlinkat(folder, temporary.data(), 0);
    pending.set = 0;
    return fail(std::strerror(cause) + left);
  };
  while (!bytes.empty()) {
    const ssize_t wrote = write(out.fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return abandon(wrote < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(wrote));
  }
  if (keep_mode) {
    // The group where the system lets us (a member of it, or root); the
    // permission bits always, umask or not.
    (void)!fchown(out.fd, static_cast<uid_t>(-1), was.st_gid);
    if (fchmod(out.fd, was.st_mode & 07777) != 0) return abandon(errno);
  }
  // Some file systems report a full disk only when the data is flushed.
  if (fsync(out.fd) != 0 && errno != EINVAL) return abandon(errno);
  if (close(out.release()) != 0) return abandon(errno);
  if (renameat(folder, temporary.data(), folder, name.c_str()) != 0) return abandon(errno);
  pending.set = 0;
  return true;
}

}  // namespace

namespace file_write {

bool ReplaceInFolder(const std::filesystem::path& folder, const std::string& name,
                     const std::string& shown, std::string_view bytes, std::string* error) {
  Descriptor open_folder;
  open_folder.fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (open_folder.fd < 0) {
    const std::string why = std::strerror(errno);
    *error = "cannot write " + shown + ": cannot make a file in the folder " + folder.string() +
             ": " + why;
    return false;
  }
  return ReplaceIn(open_folder.fd, name, shown, bytes, error);
}

}  // namespace file_write

struct OutputFolder::Folder {
  Descriptor descriptor;
};

OutputFolder::OutputFolder() = default;
OutputFolder::~OutputFolder() = default;

bool OutputFolder::Open(const std::filesystem::path& folder, std::string* error) {
  folder_.reset();
  path_ = folder;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  auto opened = std::make_unique<Folder>();
  opened->descriptor.fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (opened->descriptor.fd < 0) {
    const std::string why = ec ? ec.message() : std::strerror(errno);
    *error = "cannot open the output folder " + folder.string() + ": " + why;
    return false;
  }
  folder_ = std::move(opened);
  return true;
}

bool OutputFolder::WriteBelow(const std::filesystem::path& name, const std::string& shown,
                              std::string_view bytes, std::string* error) {
  int folder = folder_->descriptor.fd;
  Descriptor below;
  for (const std::filesystem::path& part : name.parent_path()) {
    if (mkdirat(folder, part.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot write " + shown + ": cannot make the folder " + part.string() + ": " +
               std::strerror(errno);
      return false;
    }
    const int next = openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int cause = errno;
      struct stat what {};
      if (fstatat(folder, part.c_str(), &what, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(what.st_mode)) {
        return file_write::LeadsOut(shown, path_, error);
      }
      *error = "cannot write " + shown + ": " +
               (cause == ENOTDIR ? part.string() + " is a file, not a folder" : std::strerror(cause));
      return false;
    }
    below.reset(next);
    folder = next;
  }
  return ReplaceIn(folder, name.filename().string(), shown, bytes, error);
}

}  // namespace bench
