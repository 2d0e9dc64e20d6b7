// What bench/file_write.cpp asks of each system's file (file_write_posix.cpp,
// file_write_win32.cpp), and the messages they share.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bench::file_write {

// Replaces the file `name` in `folder` with `bytes`: a temporary file beside
// it, written, flushed and renamed over it, keeping the replaced file's
// permissions. A link at `name` is replaced, not followed. `shown` is the
// file as messages name it. False with "cannot write <shown>: <why>".
bool ReplaceInFolder(const std::filesystem::path& folder, const std::string& name,
                     const std::string& shown, std::string_view bytes, std::string* error);

// "cannot write <shown>: it would be written outside the output folder
// <folder> (<link> on the way leads out of it)"; false.
bool LeadsOut(const std::string& shown, const std::filesystem::path& folder, std::string* error,
              const std::string& link = "a symbolic link");

// The name of the temporary file for attempt `attempt` of process `process`:
// short, so any name a folder takes can be written.
std::string TemporaryName(unsigned process, unsigned attempt);

}  // namespace bench::file_write
