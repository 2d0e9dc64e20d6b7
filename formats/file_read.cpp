#include "formats/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <string>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace formats {
namespace {

#if defined(_WIN32)
using Stat = struct _stat64;
int OpenForReading(const std::filesystem::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int StatOf(int fd, Stat* st) { return _fstat64(fd, st); }
long ReadSome(int fd, void* buffer, unsigned size) { return _read(fd, buffer, size); }
void Close(int fd) { _close(fd); }
#else
using Stat = struct stat;
// Non-blocking, so that opening a pipe with no writer does not wait; the
// descriptor is looked at before anything is read from it.
int OpenForReading(const std::filesystem::path& path) {
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}
int StatOf(int fd, Stat* st) { return fstat(fd, st); }
long ReadSome(int fd, void* buffer, unsigned size) { return read(fd, buffer, size); }
void Close(int fd) { close(fd); }
#endif

bool Fail(FileReadError* error, FileReadError::Kind kind, std::string message) {
  if (error != nullptr) *error = {kind, std::move(message)};
  return false;
}

bool FailToOpen(const std::filesystem::path& path, int err, const char* what,
                FileReadError* error) {
  using Kind = FileReadError::Kind;
  switch (err) {
    case ENOENT:
      return Fail(error, Kind::kMissing, "no such file: check the name and folder");
    case ENOTDIR:
      return Fail(error, Kind::kMissing, "no such file: a part of the path is not a folder");
    case EACCES:
    case EPERM: {
      // Windows says the same of a folder.
      std::error_code ec;
      if (std::filesystem::is_directory(path, ec)) {
        return Fail(error, Kind::kNotRegular, std::string("a folder, not a ") + what);
      }
      return Fail(error, Kind::kUnreadable, "permission denied: it cannot be read by this user");
    }
#if defined(ELOOP)
    case ELOOP:
      return Fail(error, Kind::kUnreadable,
                  "a loop of symbolic links (or too many in a row): point the name at a file");
#endif
    case ENAMETOOLONG:
      return Fail(error, Kind::kMissing, "the name is too long for this system");
    default:
      return Fail(error, Kind::kUnreadable,
                  std::string("cannot be opened for reading (") + std::strerror(err) + ")");
  }
}

// Checks the opened descriptor: a regular file of at most `limit` bytes.
bool CheckOpened(int fd, uint64_t limit, const char* what, Stat* st, FileReadError* error) {
  using Kind = FileReadError::Kind;
  if (StatOf(fd, st) != 0) {
    return Fail(error, Kind::kUnreadable,
                std::string("cannot be looked at (") + std::strerror(errno) + ")");
  }
  const auto type = st->st_mode & S_IFMT;
  if (type == S_IFDIR) {
    return Fail(error, Kind::kNotRegular, std::string("a folder, not a ") + what);
  }
  if (type != S_IFREG) {
    const char* kind = "a special file";
#if defined(S_IFIFO)
    if (type == S_IFIFO) kind = "a pipe (FIFO)";
#endif
#if defined(S_IFSOCK)
    if (type == S_IFSOCK) kind = "a socket";
#endif
    if (type == S_IFCHR) kind = "a character device";
#if defined(S_IFBLK)
    if (type == S_IFBLK) kind = "a block device";
#endif
    return Fail(error, Kind::kNotRegular,
                std::string(kind) + ", not a regular file: a " + what + " is a file on disk");
  }
  if (st->st_size < 0 || static_cast<uint64_t>(st->st_size) > limit) {
    return Fail(error, Kind::kTooLarge,
                "it is " + std::to_string(static_cast<long long>(st->st_size)) +
                    " bytes, larger than any " + what + " (at most " + std::to_string(limit) + ")");
  }
  return true;
}

template <typename Bytes>
bool ReadInto(const std::filesystem::path& path, uint64_t limit, const char* what, Bytes* bytes,
              FileReadError* error) {
  using Kind = FileReadError::Kind;
  bytes->clear();
  if (error != nullptr) *error = {};
  const int fd = OpenForReading(path);
  if (fd < 0) return FailToOpen(path, errno, what, error);
  Stat st{};
  if (!CheckOpened(fd, limit, what, &st, error)) return Close(fd), false;
  // The size it claims is only a hint: a file can change while it is read.
  bytes->reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const long n = ReadSome(fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      const int err = errno;
      Close(fd);
      bytes->clear();
      return Fail(error, Kind::kUnreadable,
                  std::string("reading it failed (") + std::strerror(err) + ")");
    }
    if (n == 0) break;
    if (bytes->size() + static_cast<uint64_t>(n) > limit) {
      Close(fd);
      bytes->clear();
      return Fail(error, Kind::kTooLarge,
                  "it grew past " + std::to_string(limit) +
                      " bytes while it was read, larger than any " + what);
    }
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  Close(fd);
  return true;
}

}  // namespace

bool ReadRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                     std::vector<uint8_t>* bytes, FileReadError* error) {
  return ReadInto(path, limit, what, bytes, error);
}

bool ReadRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                     std::string* bytes, FileReadError* error) {
  return ReadInto(path, limit, what, bytes, error);
}

bool CheckRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                      FileReadError* error) {
  if (error != nullptr) *error = {};
  const int fd = OpenForReading(path);
  if (fd < 0) return FailToOpen(path, errno, what, error);
  Stat st{};
  const bool ok = CheckOpened(fd, limit, what, &st, error);
  Close(fd);
  return ok;
}

}  // namespace formats
