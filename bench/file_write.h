// The one way the bench writes a whole file (a picture, a report): into a
// temporary file beside it, which takes the file's name only once every byte
// is written and flushed. A write that fails part-way (a full disk), or that
// Ctrl-C or a termination signal cuts short, leaves the file that was there
// as it was and no temporary file behind.
//
// What a replaced file keeps: its permission bits and, where the system lets
// us, its group (a private 0600 report stays private). Temporary names are
// short (".pbNNNNNN.tmp"), so any name the folder takes can be written.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace bench {

// A file the user named (a report, a picture in --out). A symbolic link at
// `file` is followed: the file it leads to is replaced, in its own folder, and
// the link stays. A folder or any other kind of file there is refused.
// False with the reason, naming the file and the system's cause: "cannot
// write out/a.json: No space left on device (out/a.json is left as it was)".
bool WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes,
                        std::string* error);

// An output folder that files with names from elsewhere (a script's
// snapshots) are written into. No link below the folder is followed. Where
// the system has folders opened by descriptor (file_write_posix.cpp) the
// folder is opened once and every file and subfolder is made, renamed and
// removed relative to it, so what was checked is what is written even if a
// folder inside is swapped for a link meanwhile; on Windows
// (file_write_win32.cpp) each folder on the way is looked at as the file is
// written, and a link or junction there is refused.
class OutputFolder {
 public:
  OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  ~OutputFolder();

  // Opens `folder`, making it (and its parents) if it is missing.
  bool Open(const std::filesystem::path& folder, std::string* error);
  bool is_open() const { return folder_ != nullptr; }
  const std::filesystem::path& path() const { return path_; }

  // Writes `name`, relative and without "..", making its subfolders. A
  // symbolic link (or on Windows a junction) on the way is refused ("...
  // leads out of the output folder"); a link at the name itself is
  // replaced, never followed.
  bool Write(const std::filesystem::path& name, std::string_view bytes, std::string* error);

 private:
  struct Folder;  // the system's hold on the open folder
  // Write's work once the name is checked: the platform's.
  bool WriteBelow(const std::filesystem::path& name, const std::string& shown,
                  std::string_view bytes, std::string* error);
  std::unique_ptr<Folder> folder_;
  std::filesystem::path path_;
};

}  // namespace bench
