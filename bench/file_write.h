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
// snapshots) are written into. The folder is opened once; every file and
// subfolder is then made, renamed and removed relative to that open folder
// without following a symbolic link below it, so what was checked is what is
// written, even if a folder inside is swapped for a link meanwhile.
class OutputFolder {
 public:
  OutputFolder() = default;
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  ~OutputFolder();

  // Opens `folder`, making it (and its parents) if it is missing.
  bool Open(const std::filesystem::path& folder, std::string* error);
  bool is_open() const { return fd_ >= 0; }
  const std::filesystem::path& path() const { return path_; }

  // Writes `name`, relative and without "..", making its subfolders. A
  // symbolic link on the way is refused ("... leads out of the output
  // folder"); a link at the name itself is replaced, never followed.
  bool Write(const std::filesystem::path& name, std::string_view bytes, std::string* error);

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

}  // namespace bench
