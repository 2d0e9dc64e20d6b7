// A reader of 32-bit Windows library files (PE32): what a gauge file is and
// exports, what it imports, and its resources. It needs no Windows: the
// bench uses it to take the pictures from the gauge files that ship, and the
// tests to check those files. Every offset is bounds-checked; a damaged
// file gives an error, never a crash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace host {

inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kCharacteristicDll = 0x2000;
inline constexpr uint32_t kSectionExecutable = 0x20000000;
inline constexpr uint32_t kResourceTypeBitmap = 2;

// Limits far past any real gauge file (the largest is about 1.5 MB with a
// few dozen resources), so that a crafted file costs no more to read than
// its size: past them a file is refused with a reason, never read on.
inline constexpr uint64_t kMaxPeFileBytes = 64ull << 20;
inline constexpr uint32_t kMaxPeSections = 96;  // as many as the Windows loader takes
// Entries of the resource tree, all three levels together.
inline constexpr uint32_t kMaxResourceEntries = 4096;
// The largest picture, each way: a bitmap resource (8 bits a pixel, a
// 256-entry palette) for anything larger is refused, and so is a bitmap
// header that claims more.
inline constexpr int32_t kLargestBitmapSide = 4096;
inline constexpr uint64_t kMaxBitmapBytes =
    40 + 256 * 4 + uint64_t{kLargestBitmapSide} * kLargestBitmapSide;

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
// with the path. The
// resources' bytes together never exceed the file's size: a file whose
// resources share their data is refused.
bool ReadPeImage(const std::filesystem::path& path, PeImage* image, std::string* error);
bool ParsePeImage(const std::vector<uint8_t>& file, PeImage* image, std::string* error);

}  // namespace host
