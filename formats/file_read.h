// The one way our programs read a whole file they were given: a module, a
// gauge file, a script, a page asset. The file is opened first and then
// looked at through the opened descriptor, so a name swapped between the
// look and the read changes nothing; only a regular file is read (a folder,
// a pipe, a device or a socket is refused without waiting on it), and never
// more than a limit, whatever size the file claims or grows to while it is
// read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace formats {

struct FileReadError {
  enum class Kind {
    kNone,
    kMissing,     // no such file, or a folder on the way is missing
    kNotRegular,  // a folder, a pipe, a device, a socket
    kTooLarge,    // more than the limit
    kUnreadable,  // permissions, a loop of symbolic links, a failed read
  };
  Kind kind = Kind::kNone;
  // One line, without the file's name, that says what is wrong and what to
  // do: "no such file", "a pipe (FIFO), not a regular file", "it is 9 bytes,
  // larger than any gauge file (at most 8)".
  std::string message;
};

// Reads all of the regular file at `path` into `bytes`, refusing anything
// above `limit` bytes. `what` names what the file should be in messages
// ("gauge file", "script"). On failure `bytes` is left empty.
bool ReadRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                     std::vector<uint8_t>* bytes, FileReadError* error);
bool ReadRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                     std::string* bytes, FileReadError* error);

// Whether `path` names a regular file that could be opened for reading
// (through its descriptor, as above); if not, why. Reads nothing: for files
// that another reader (the system's loader) opens next.
bool CheckRegularFile(const std::filesystem::path& path, uint64_t limit, const char* what,
                      FileReadError* error);

}  // namespace formats
