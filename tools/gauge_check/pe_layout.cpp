#include "tools/gauge_check/pe_layout.h"

#include <algorithm>
#include <cstring>

#include "tools/gauge_check/report.h"

namespace gauge_check {
namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint16_t kRelocationHighLow = 3;
constexpr uint16_t kRelocationAbsolute = 0;  // padding

template <typename T>
bool At(const std::vector<uint8_t>& file, uint64_t offset, T* value) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(value, file.data() + offset, sizeof(T));  // little-endian, as the file
  return true;
}

void ReadRelocations(const std::vector<uint8_t>& file, uint32_t rva, uint32_t size,
                     PeLayout* layout) {
  uint32_t done = 0;
  while (done + 8 <= size) {
    uint32_t page = 0, block = 0;
    if (!layout->Read(file, rva + done, &page, 4) || !layout->Read(file, rva + done + 4, &block, 4)) {
      layout->relocation_error = "the base relocation table lies outside the file's sections";
      return;
    }
    if (block < 8 || block > size - done || block % 2 != 0) {
      layout->relocation_error = "a block of the base relocation table has a bad size (" +
                                 std::to_string(block) + " bytes)";
      return;
    }
    for (uint32_t at = 8; at + 2 <= block; at += 2) {
      uint16_t entry = 0;
      if (!layout->Read(file, rva + done + at, &entry, 2)) {
        layout->relocation_error = "the base relocation table lies outside the file's sections";
        return;
      }
      const uint16_t type = entry >> 12;
      if (type == kRelocationHighLow) {
        layout->relocated[page + (entry & 0xFFFu)] = rva + done + at;
      } else if (type != kRelocationAbsolute) {
        layout->relocation_error = "a base relocation of type " + std::to_string(type) +
                                   ", not the 32-bit kind (3)";
      }
    }
    done += block;
  }
}

}  // namespace

const PeSection* PeLayout::SectionOf(uint32_t rva) const {
  for (const PeSection& s : sections) {
    if (rva >= s.rva && rva - s.rva < s.span()) return &s;
  }
  return nullptr;
}

bool PeLayout::Read(const std::vector<uint8_t>& file, uint32_t rva, void* out,
                    uint32_t size) const {
  const PeSection* s = SectionOf(rva);
  if (s == nullptr) return false;
  const uint64_t inside = rva - s->rva;
  if (inside + size > s->span()) return false;
  auto* bytes = static_cast<uint8_t*>(out);
  for (uint32_t i = 0; i < size; ++i) {
    const uint64_t at = inside + i;
    const uint64_t offset = static_cast<uint64_t>(s->raw_offset) + at;
    bytes[i] = at < s->raw_size && offset < file.size() ? file[offset] : 0;
  }
  return true;
}

bool PeLayout::FileOffset(uint32_t rva, uint64_t* offset) const {
  const PeSection* s = SectionOf(rva);
  if (s == nullptr || rva - s->rva >= s->raw_size) return false;
  *offset = uint64_t{s->raw_offset} + (rva - s->rva);
  return true;
}

bool ReadPeLayout(const std::vector<uint8_t>& file, PeLayout* layout, std::string* error) {
  *layout = PeLayout{};
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  uint16_t mz = 0;
  uint32_t pe = 0, signature = 0;
  if (!At(file, 0, &mz) || mz != 0x5A4D) return fail("no MZ header: not a Windows library");
  if (!At(file, 0x3C, &pe) || !At(file, pe, &signature) || signature != 0x4550) {
    return fail("no PE header: not a Windows library");
  }
  const uint64_t coff = pe + 4ull;
  uint16_t section_count = 0, optional_size = 0;
  if (!At(file, coff, &layout->machine) || !At(file, coff + 2, &section_count) ||
      !At(file, coff + 16, &optional_size) || !At(file, coff + 18, &layout->characteristics)) {
    return fail("the file ends inside its PE header");
  }
  const uint64_t optional = coff + 20;
  if (!At(file, optional, &layout->magic)) return fail("the file ends inside its PE header");
  if (layout->magic == kMagicPe32Plus) {
    return fail("a PE32+ optional header: a 64-bit library, which a 32-bit simulator cannot load");
  }
  if (layout->magic != kMagicPe32) {
    return fail("optional header magic " + std::to_string(layout->magic) + ", not PE32 (0x10B)");
  }
  uint32_t directory_count = 0;
  if (optional_size < 96 || !At(file, optional + 28, &layout->image_base) ||
      !At(file, optional + 56, &layout->size_of_image) ||
      !At(file, optional + 70, &layout->dll_characteristics) ||
      !At(file, optional + 92, &directory_count)) {
    return fail("the PE32 optional header is cut short");
  }
  if (section_count > 96) return fail(std::to_string(section_count) + " sections (at most 96)");
  const uint64_t table = optional + optional_size;
  for (uint32_t i = 0; i < section_count; ++i) {
    const uint64_t s = table + 40ull * i;
    PeSection section;
    char name[9] = {};
    if (s + 40 > file.size() || !At(file, s + 8, &section.virtual_size) ||
        !At(file, s + 12, &section.rva) || !At(file, s + 16, &section.raw_size) ||
        !At(file, s + 20, &section.raw_offset) || !At(file, s + 36, &section.characteristics)) {
      return fail("the file ends inside its section table");
    }
    std::memcpy(name, file.data() + s, 8);
    section.name = name;
    if (uint64_t{section.raw_offset} + section.raw_size > file.size()) {
      return fail(Format("the file is cut short: section %s's data runs to byte %llu, the file "
                         "ends at %zu", section.name.c_str(),
                         static_cast<unsigned long long>(uint64_t{section.raw_offset} +
                                                         section.raw_size),
                         file.size()));
    }
    layout->sections.push_back(section);
  }
  uint32_t rva = 0, size = 0;
  if (directory_count > kRelocationDirectory &&
      optional + 96 + 8ull * kRelocationDirectory + 8 <= optional + optional_size &&
      At(file, optional + 96 + 8ull * kRelocationDirectory, &rva) &&
      At(file, optional + 100 + 8ull * kRelocationDirectory, &size) && rva != 0 && size != 0) {
    layout->has_relocation_directory = true;
    ReadRelocations(file, rva, size, layout);
  }
  return true;
}

}  // namespace gauge_check
