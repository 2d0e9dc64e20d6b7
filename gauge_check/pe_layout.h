// A 32-bit Windows library as its loader lays it out: the sections at their
// virtual addresses from the preferred image base, and the base relocation
// table, which says which 32-bit words the loader fixes up when it places
// the library anywhere else. Read from the file alone; every offset is
// bounds-checked, and a damaged file gives a reason, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/pe_image.h"

namespace gauge_check {

// A section as the loader maps it: its virtual size, or its raw size where
// the virtual size is 0.
struct PeSection : formats::PeSection {
  uint32_t span() const { return virtual_size != 0 ? virtual_size : raw_size; }
  bool executable() const { return (characteristics & formats::kSectionExecutable) != 0; }
};

struct PeLayout {
  uint16_t machine = 0;
  uint16_t characteristics = 0;  // 0x0001 relocations stripped, 0x2000 DLL
  uint32_t image_base = 0;
  std::vector<PeSection> sections;
  bool has_relocation_directory = false;
  // The base relocation table, checked whole by ReadPeLayout but not kept:
  // a table may be megabytes long, while the records ask about a few
  // hundred words.
  uint32_t relocation_rva = 0;
  uint32_t relocation_size = 0;
  std::string relocation_error;  // why the table could not be read, or ""

  const PeSection* SectionOf(uint32_t rva) const;
  // `size` bytes at `rva` as the loader maps them (zero past the raw data);
  // false if they do not all lie in one section.
  bool Read(const std::vector<uint8_t>& file, uint32_t rva, void* out, uint32_t size) const;
  // Where the byte at `rva` is in the file; false past a section's raw data.
  bool FileOffset(uint32_t rva, uint64_t* offset) const;
  // For each RVA in `wanted`, the RVA of the table entry that fixes up the
  // 32-bit word there, or 0 if none does: one pass over the table, memory
  // for `wanted` alone.
  std::vector<uint32_t> RelocationEntries(const std::vector<uint8_t>& file,
                                          const std::vector<uint32_t>& wanted) const;
};

// The headers and the section table (formats::ReadPeHeaders) and the base
// relocations. False, with the reason in `error`, when the file is not a
// PE32 library at all, or when two sections claim the same bytes of the file
// (a loader would map them twice; a checker would read them once a section).
bool ReadPeLayout(const std::vector<uint8_t>& file, PeLayout* layout, std::string* error);

}  // namespace gauge_check
