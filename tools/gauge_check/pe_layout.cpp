#include "tools/gauge_check/pe_layout.h"

#include "tools/gauge_check/report.h"

namespace gauge_check {
namespace {

constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint16_t kRelocationHighLow = 3;
constexpr uint16_t kRelocationAbsolute = 0;  // padding

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
  host::PeHeaders h;
  host::ReadPeHeaders(file, &h);
  using Reach = host::PeHeaders::Reach;
  switch (h.reach) {
    case Reach::kCutInMz:
    case Reach::kNoMz: return fail("no MZ header: not a Windows library");
    case Reach::kCutInPe:
    case Reach::kNoPe: return fail("no PE header: not a Windows library");
    case Reach::kCutInCoff: return fail("the file ends inside its PE header");
    case Reach::kPastMagic: break;
  }
  layout->machine = h.machine;
  layout->characteristics = h.characteristics;
  if (h.magic == kMagicPe32Plus) {
    return fail("a PE32+ optional header: a 64-bit library, which a 32-bit simulator cannot load");
  }
  if (h.magic != kMagicPe32) {
    return fail("optional header magic " + std::to_string(h.magic) + ", not PE32 (0x10B)");
  }
  if (h.optional_size < 96 || !h.optional_in_file) {
    return fail("the PE32 optional header is cut short");
  }
  layout->image_base = h.image_base;
  if (h.section_count > 96) return fail(std::to_string(h.section_count) + " sections (at most 96)");
  for (const host::PeSection& read : h.sections) {
    PeSection section;
    static_cast<host::PeSection&>(section) = read;
    if (uint64_t{section.raw_offset} + section.raw_size > file.size()) {
      return fail(Format("the file is cut short: section %s's data runs to byte %llu, the file "
                         "ends at %zu", section.name.c_str(),
                         static_cast<unsigned long long>(uint64_t{section.raw_offset} +
                                                         section.raw_size),
                         file.size()));
    }
    layout->sections.push_back(section);
  }
  if (!h.section_table_in_file) return fail("the file ends inside its section table");
  if (h.directory_count > kRelocationDirectory &&
      96 + 8 * kRelocationDirectory + 8 <= h.optional_size &&
      h.directories.size() > kRelocationDirectory) {
    const host::PeDirectory& relocations = h.directories[kRelocationDirectory];
    if (relocations.rva != 0 && relocations.size != 0) {
      layout->has_relocation_directory = true;
      ReadRelocations(file, relocations.rva, relocations.size, layout);
    }
  }
  return true;
}

}  // namespace gauge_check
