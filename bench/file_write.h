// The one way the bench writes a whole file (a picture, a report): into a
// temporary file beside it, which takes the file's name only once every byte
// is written and flushed. A write that fails part-way (a full disk) leaves
// the file that was there as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bench {

// False with the reason, naming the file and the system's cause: "cannot
// write out/a.json: No space left on device (out/a.json is left as it was)".
// A symbolic link at `file` is replaced, not followed; a folder or any other
// kind of file there is refused.
bool WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes,
                        std::string* error);

}  // namespace bench
