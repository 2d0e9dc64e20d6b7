#include "gauge_check/pe_layout.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "gauge_check/report.h"

namespace gauge_check {
namespace {

constexpr uint32_t kRelocationDirectory = 5;
constexpr uint16_t kRelocationHighLow = 3;
constexpr uint16_t kRelocationAbsolute = 0;  // padding

// Calls `entry(rva of the word fixed up, rva of its entry)` for each 32-bit
// entry of the table; returns why the table cannot be read, or "".
template <typename Entry>
std::string WalkRelocations(const std::vector<uint8_t>& file, const PeLayout& layout,
                            Entry&& entry) {
  const uint32_t rva = layout.relocation_rva, size = layout.relocation_size;
  // The table lies in one section's bytes in the file: read on into the
  // zeros past them, it would cost what its header claims, not what the
  // file holds.
  const PeSection* s = layout.SectionOf(rva);
  if (s == nullptr || uint64_t{rva - s->rva} + size > std::min(s->raw_size, s->span())) {
    return Format("the base relocation table (RVA %s, %u bytes) does not lie inside one "
                  "section's data in the file", Hex(rva).c_str(), size);
  }
  const uint8_t* table = file.data() + s->raw_offset + (rva - s->rva);
  std::string error;
  for (uint32_t done = 0; done + 8 <= size;) {
    uint32_t page = 0, block = 0;
    std::memcpy(&page, table + done, 4);
    std::memcpy(&block, table + done + 4, 4);
    if (block < 8 || block > size - done || block % 2 != 0) {
      return Format("a block of the base relocation table has a bad size (%u bytes, at RVA %s)",
                    block, Hex(uint64_t{rva} + done).c_str());
    }
    for (uint32_t at = done + 8; at + 2 <= done + block; at += 2) {
      uint16_t value = 0;
      std::memcpy(&value, table + at, 2);
      const uint16_t type = value >> 12;
      if (type == kRelocationHighLow) {
        entry(page + (value & 0xFFFu), rva + at);
      } else if (type != kRelocationAbsolute && error.empty()) {
        error = Format("a base relocation of type %u at RVA %s, not the 32-bit kind (3)", type,
                       Hex(uint64_t{rva} + at).c_str());
      }
    }
    done += block;
  }
  return error;
}

// Each byte of the file belongs to one section at most.
bool SharedRawData(const std::vector<PeSection>& sections, std::string* why) {
  std::vector<const PeSection*> sorted;
  for (const PeSection& s : sections) {
    if (s.raw_size != 0) sorted.push_back(&s);
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const PeSection* a, const PeSection* b) { return a->raw_offset < b->raw_offset; });
  const PeSection* furthest = nullptr;  // of those before, the one whose data ends last
  for (const PeSection* s : sorted) {
    const uint64_t end = uint64_t{s->raw_offset} + s->raw_size;
    if (furthest != nullptr && s->raw_offset < uint64_t{furthest->raw_offset} + furthest->raw_size) {
      *why = Format("sections %s and %s share the bytes of the file from %s to %s: each byte "
                    "belongs to one section (relink the library; a tool that rewrote it "
                    "damaged its section table)",
                    furthest->name.c_str(), s->name.c_str(), Hex(s->raw_offset).c_str(),
                    Hex(std::min(end, uint64_t{furthest->raw_offset} + furthest->raw_size) - 1)
                        .c_str());
      return true;
    }
    if (furthest == nullptr || end > uint64_t{furthest->raw_offset} + furthest->raw_size) {
      furthest = s;
    }
  }
  return false;
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

std::vector<uint32_t> PeLayout::RelocationEntries(const std::vector<uint8_t>& file,
                                                 const std::vector<uint32_t>& wanted) const {
  std::vector<uint32_t> entries(wanted.size(), 0);
  if (!has_relocation_directory) return entries;
  std::vector<std::pair<uint32_t, size_t>> sorted;  // each wanted RVA with its index
  sorted.reserve(wanted.size());
  for (size_t i = 0; i < wanted.size(); ++i) sorted.emplace_back(wanted[i], i);
  std::sort(sorted.begin(), sorted.end());
  WalkRelocations(file, *this, [&](uint32_t word, uint32_t entry) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(word, size_t{0}));
    for (; it != sorted.end() && it->first == word; ++it) entries[it->second] = entry;
  });
  return entries;
}

bool ReadPeLayout(const std::vector<uint8_t>& file, PeLayout* layout, std::string* error) {
  *layout = PeLayout{};
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  formats::PeHeaders h;
  formats::ReadPeHeaders(file, &h);
  using Reach = formats::PeHeaders::Reach;
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
  if (h.magic == formats::kMagicPe32Plus) {
    return fail("a PE32+ optional header: a 64-bit library, which a 32-bit simulator cannot load");
  }
  if (h.magic != formats::kMagicPe32) {
    return fail("optional header magic " + std::to_string(h.magic) + ", not PE32 (0x10B)");
  }
  if (h.optional_size < 96 || !h.optional_in_file) {
    return fail("the PE32 optional header is cut short");
  }
  layout->image_base = h.image_base;
  if (h.section_count > 96) return fail(std::to_string(h.section_count) + " sections (at most 96)");
  if (const std::string cut = formats::CutShort(h.sections, file.size()); !cut.empty()) {
    return fail(cut);
  }
  for (const formats::PeSection& read : h.sections) {
    PeSection section;
    static_cast<formats::PeSection&>(section) = read;
    layout->sections.push_back(section);
  }
  if (!h.section_table_in_file) return fail("the file ends inside its section table");
  std::string shared;
  if (SharedRawData(layout->sections, &shared)) return fail(shared);
  if (h.directory_count > kRelocationDirectory &&
      96 + 8 * kRelocationDirectory + 8 <= h.optional_size &&
      h.directories.size() > kRelocationDirectory) {
    const formats::PeDirectory& relocations = h.directories[kRelocationDirectory];
    if (relocations.rva != 0 && relocations.size != 0) {
      layout->has_relocation_directory = true;
      layout->relocation_rva = relocations.rva;
      layout->relocation_size = relocations.size;
      layout->relocation_error = WalkRelocations(file, *layout, [](uint32_t, uint32_t) {});
    }
  }
  return true;
}

}  // namespace gauge_check
