// A reader of 32-bit Windows library files (PE32): what a gauge file is and
// exports, what it imports, and its resources. It needs no Windows: the
// bench uses it to take the pictures from the gauge files that ship, and the
// tests to check those files. Every offset is bounds-checked; a damaged
// file gives an error, never a crash; past the limits of formats/limits.h a
// file is refused with a reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/limits.h"

namespace formats {

inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMagicPe32 = 0x10B;      // the optional header of a 32-bit library
inline constexpr uint16_t kMagicPe32Plus = 0x20B;  // and of a 64-bit one
inline constexpr uint16_t kCharacteristicDll = 0x2000;
inline constexpr uint32_t kSectionExecutable = 0x20000000;
inline constexpr uint32_t kResourceTypeBitmap = 2;

struct PeSection {
  std::string name;
  uint32_t rva = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
  uint32_t characteristics = 0;
};

struct PeDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// The headers and the section table, as far as the file holds them. Each
// reader of a library decides what of this it refuses, and says so in its
// own words.
struct PeHeaders {
  // How far the headers go: the file ends before the MZ header's first two
  // bytes, or they are not "MZ"; it ends before the PE signature (or the
  // offset of it), or there is none; it ends inside the COFF header or the
  // optional header's magic; or all of these are there.
  enum class Reach { kCutInMz, kNoMz, kCutInPe, kNoPe, kCutInCoff, kPastMagic };
  Reach reach = Reach::kCutInMz;
  uint16_t machine = 0;
  uint16_t characteristics = 0;  // 0x0001 relocations stripped, 0x2000 DLL
  uint16_t magic = 0;            // 0x10B PE32, 0x20B PE32+
  uint16_t optional_size = 0;
  uint16_t section_count = 0;
  // The PE32 fields below, read when the file holds the optional header's
  // first 96 bytes.
  bool optional_in_file = false;
  uint32_t image_base = 0;
  uint32_t directory_count = 0;
  // The data directories the optional header claims (at most 16), up to
  // the first the file does not hold.
  std::vector<PeDirectory> directories;
  // The section table, read when it has at most kMaxPeSections entries, up
  // to the first entry the file does not hold.
  std::vector<PeSection> sections;
  bool section_table_in_file = false;
};
void ReadPeHeaders(const std::vector<uint8_t>& file, PeHeaders* headers);

// Why a file of `file_size` bytes is cut short, going by the first section
// whose data runs past its end ("the file is cut short: section .text's data
// runs to byte 8192, the file ends at 4096"); "" if every section's data is
// in the file. The one wording of this fault for every reader of the files.
std::string CutShort(const std::vector<PeSection>& sections, uint64_t file_size);

struct PeExport {
  std::string name;
  uint32_t rva = 0;
  uint32_t section_characteristics = 0;  // of the section the RVA lies in
};

struct PeResource {
  uint32_t type = 0;      // numeric types only (2 is a bitmap)
  uint32_t id = 0;        // numeric ids only
  uint32_t language = 0;  // 1033 is U.S. English
  std::vector<uint8_t> bytes;
};

struct PeImage {
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  bool pe32 = false;               // the 32-bit optional header
  std::string export_name;         // the name in the export directory
  std::vector<PeExport> exports;   // by name, in the file's order
  std::vector<std::string> imports;  // imported library names
  std::vector<PeResource> resources;
  // Resources with a name instead of a number, which this reader skips.
  int named_resources = 0;

  const PeResource* Find(uint32_t type, uint32_t id) const;
};

// Reads `path`; on failure returns false and says why in `error`, starting
// with the path. The resources' bytes together never exceed the file's size:
// a file whose resources share their data is refused.
bool ReadPeImage(const std::filesystem::path& path, PeImage* image, std::string* error);
bool ParsePeImage(const std::vector<uint8_t>& file, PeImage* image, std::string* error);

}  // namespace formats
