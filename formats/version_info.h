// A reader of a Windows file's version resource (VERSIONINFO, resource type
// 16): the numbers a program compares and the texts a pilot sees in the
// file's properties. Like the PE reader it needs no Windows, and every
// length in the resource is checked against the bytes that hold it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace formats {

inline constexpr uint32_t kResourceTypeVersion = 16;
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

struct VersionInfo {
  // From the fixed part: major, minor, patch, build.
  std::array<uint16_t, 4> file_version{};
  std::array<uint16_t, 4> product_version{};
  uint32_t file_os = 0;
  uint32_t file_type = 0;  // 1 an application, 2 a library
  // The string tables, each named by its language and code page in hex
  // ("040904B0" is U.S. English in UTF-16), with their texts in the file's
  // order. Characters outside ASCII read as '?'.
  struct Table {
    std::string name;
    std::vector<std::pair<std::string, std::string>> strings;
  };
  std::vector<Table> tables;
  // The translations VarFileInfo lists, each language << 16 | code page.
  std::vector<uint32_t> translations;

  // The text of `key` in the first table that has it, or nullptr.
  const std::string* Text(const std::string& key) const;
};

// "1.0.0.0" and the like.
std::string DottedVersion(const std::array<uint16_t, 4>& version);

// Reads a version resource's bytes; false with the reason in `why`.
bool ParseVersionInfo(const std::vector<uint8_t>& bytes, VersionInfo* info, std::string* why);

}  // namespace formats
