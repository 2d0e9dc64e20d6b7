#include "gauge_sound/resolve.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

namespace gauge_sound {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

}  // namespace

std::filesystem::path ResolveSoundFile(const std::filesystem::path& root, const std::string& name) {
  if (name.empty() || name.size() > 1024) return {};
  if (name[0] == '\\' || name[0] == '/' || name.find(':') != std::string::npos) return {};
  std::vector<std::string> parts;
  std::string part;
  for (char c : name + "\\") {
    if (c == '\\' || c == '/') {
      if (part == "..") return {};
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else if (c == '\0') {
      return {};
    } else {
      part += c;
    }
  }
  if (parts.empty()) return {};

  std::error_code ec;
  std::filesystem::path here = root.empty() ? std::filesystem::current_path(ec) : root;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    std::filesystem::path exact = here / parts[i];
    std::filesystem::path found;
    if (std::filesystem::exists(exact, ec)) {
      found = exact;
    } else {
      for (std::filesystem::directory_iterator it(here, ec), end; !ec && it != end;
           it.increment(ec)) {
        if (SameIgnoringCase(it->path().filename().string(), parts[i])) {
          found = it->path();
          break;
        }
      }
    }
    if (found.empty()) return {};
    const bool is_directory = std::filesystem::is_directory(found, ec);
    if (last ? !std::filesystem::is_regular_file(found, ec) : !is_directory) return {};
    here = found;
  }
  return here;
}

}  // namespace gauge_sound
