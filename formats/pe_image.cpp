#include "formats/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "formats/file_read.h"

namespace formats {
namespace {

constexpr uint32_t kMaxDirectories = 16;

// A resource id as the files' tools write it ("0x1100").
std::string IdText(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
  return text;
}

template <typename T>
bool At(const std::vector<uint8_t>& file, uint64_t offset, T* value) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(value, file.data() + offset, sizeof(T));  // little-endian, as the file
  return true;
}

class Reader {
 public:
  Reader(const std::vector<uint8_t>& file, std::string* error) : file_(file), error_(error) {}

  template <typename T>
  bool Read(uint64_t offset, T* value) {
    return At(file_, offset, value) || Fail("the file ends too early");
  }

  bool Fail(const std::string& why) {
    if (error_ != nullptr && error_->empty()) *error_ = why;
    return false;
  }

  // The file offset of `size` bytes at `rva`, inside one section's data.
  bool Map(uint32_t rva, uint32_t size, uint64_t* offset) {
    const PeSection* s = SectionOf(rva);
    const uint64_t inside = s != nullptr ? rva - s->rva : 0;
    if (s == nullptr || inside + size > s->raw_size ||
        s->raw_offset + inside + size > file_.size()) {
      return Fail("an address in the file points outside its sections");
    }
    *offset = s->raw_offset + inside;
    return true;
  }

  const PeSection* SectionOf(uint32_t rva) const {
    for (const PeSection& s : sections) {
      if (rva >= s.rva && rva - s.rva < std::max(s.virtual_size, s.raw_size)) {
        return &s;
      }
    }
    return nullptr;
  }

  // A NUL-terminated string at `rva` (at most 256 characters).
  bool String(uint32_t rva, std::string* text) {
    uint64_t offset;
    if (!Map(rva, 1, &offset)) return false;
    text->clear();
    for (uint64_t i = offset; i < file_.size() && text->size() < 256; ++i) {
      if (file_[i] == 0) return true;
      text->push_back(static_cast<char>(file_[i]));
    }
    return Fail("a name in the file does not end");
  }

  bool Bytes(uint32_t rva, uint32_t size, std::vector<uint8_t>* bytes) {
    uint64_t offset;
    if (!Map(rva, size, &offset)) return false;
    bytes->assign(file_.begin() + static_cast<std::ptrdiff_t>(offset),
                  file_.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return true;
  }

  uint64_t file_size() const { return file_.size(); }

  std::vector<PeSection> sections;

 private:
  const std::vector<uint8_t>& file_;
  std::string* error_;
};

constexpr uint32_t kSubdirectory = 0x80000000;
constexpr uint32_t kNamed = 0x80000000;

// One level of the resource tree: calls `visit(id, offset)` for each numbered
// entry, `offset` being the entry's target relative to the resource root.
// A named entry is only counted (`named_entry(name)`).
template <typename Visit, typename Named>
bool ResourceLevel(Reader& r, uint64_t root, uint32_t directory, int* named, Visit visit,
                   Named named_entry) {
  uint16_t named_count, id_count;
  if (!r.Read(root + directory + 12, &named_count) || !r.Read(root + directory + 14, &id_count)) {
    return false;
  }
  for (uint32_t i = 0; i < static_cast<uint32_t>(named_count) + id_count; ++i) {
    uint32_t name, target;
    const uint64_t entry = root + directory + 16 + 8ull * i;
    if (!r.Read(entry, &name) || !r.Read(entry + 4, &target)) return false;
    if ((name & kNamed) != 0) {
      if (!named_entry(name)) return false;
      ++*named;
      continue;
    }
    if (!visit(name, target)) return false;
  }
  return true;
}

bool ReadResources(Reader& r, uint32_t rva, uint32_t size, PeImage* image) {
  uint64_t root;
  if (!r.Map(rva, size, &root)) return false;
  // Every entry of every level counts, so directories that point at each
  // other's entries cannot multiply the work; the bytes taken together
  // stay within the file, so entries sharing one block cannot multiply it.
  uint32_t entries = 0;
  uint64_t total = 0;
  auto count = [&](uint32_t) {
    if (++entries <= kMaxResourceEntries) return true;
    return r.Fail("the resource tree has more than " + std::to_string(kMaxResourceEntries) +
                  " entries (no gauge file has so many): the file is damaged or crafted");
  };
  auto level = [&](uint32_t directory, auto visit) {
    return ResourceLevel(r, root, directory, &image->named_resources,
                         [&](uint32_t id, uint32_t target) { return count(id) && visit(id, target); },
                         count);
  };
  return level(0, [&](uint32_t type, uint32_t types) {
    if ((types & kSubdirectory) == 0) return r.Fail("a resource type is not a directory");
    return level(types & ~kSubdirectory, [&](uint32_t id, uint32_t ids) {
      if ((ids & kSubdirectory) == 0) return r.Fail("a resource id is not a directory");
      return level(ids & ~kSubdirectory, [&](uint32_t language, uint32_t data) {
        if ((data & kSubdirectory) != 0) return r.Fail("a resource nests too deep");
        uint32_t data_rva, data_size;
        if (!r.Read(root + data, &data_rva) || !r.Read(root + data + 4, &data_size)) return false;
        if (type == kResourceTypeBitmap && data_size > kMaxBitmapBytes) {
          return r.Fail("bitmap " + IdText(id) + " is " + std::to_string(data_size) +
                        " bytes, more than the largest picture takes (" +
                        std::to_string(kLargestBitmapSide) + " x " +
                        std::to_string(kLargestBitmapSide) + ", " +
                        std::to_string(kMaxBitmapBytes) + " bytes)");
        }
        total += data_size;
        if (total > r.file_size()) {
          return r.Fail("the resources together claim more bytes than the file holds (the first " +
                        std::to_string(image->resources.size() + 1) + " claim " +
                        std::to_string(total) + " of its " + std::to_string(r.file_size()) +
                        "): entries share their data, so the file is damaged or crafted");
        }
        PeResource resource{type, id, language, {}};
        if (!r.Bytes(data_rva, data_size, &resource.bytes)) return false;
        image->resources.push_back(std::move(resource));
        return true;
      });
    });
  });
}

bool ReadExports(Reader& r, uint32_t rva, uint32_t size, PeImage* image) {
  uint64_t dir;
  if (!r.Map(rva, std::min<uint32_t>(size, 40), &dir)) return false;
  uint32_t name_rva, function_count, name_count, functions, names, ordinals;
  if (!r.Read(dir + 12, &name_rva) || !r.Read(dir + 20, &function_count) ||
      !r.Read(dir + 24, &name_count) || !r.Read(dir + 28, &functions) ||
      !r.Read(dir + 32, &names) || !r.Read(dir + 36, &ordinals)) {
    return false;
  }
  if (!r.String(name_rva, &image->export_name)) return false;
  if (name_count > 65536) return r.Fail("the export directory claims too many names");
  for (uint32_t i = 0; i < name_count; ++i) {
    uint64_t name_at, ordinal_at, function_at;
    uint32_t entry_name, function_rva;
    uint16_t ordinal;
    PeExport e;
    if (!r.Map(names + 4 * i, 4, &name_at) || !r.Read(name_at, &entry_name) ||
        !r.String(entry_name, &e.name) || !r.Map(ordinals + 2 * i, 2, &ordinal_at) ||
        !r.Read(ordinal_at, &ordinal)) {
      return false;
    }
    if (ordinal >= function_count) return r.Fail("an export's ordinal is out of range");
    if (!r.Map(functions + 4u * ordinal, 4, &function_at) || !r.Read(function_at, &function_rva)) {
      return false;
    }
    e.rva = function_rva;
    if (const PeSection* s = r.SectionOf(function_rva)) e.section_characteristics = s->characteristics;
    image->exports.push_back(std::move(e));
  }
  return true;
}

bool ReadImports(Reader& r, uint32_t rva, PeImage* image) {
  for (uint32_t i = 0; i < 1024; ++i) {
    uint64_t descriptor;
    if (!r.Map(rva + 20 * i, 20, &descriptor)) return false;
    uint32_t lookup, name_rva, thunks;
    if (!r.Read(descriptor, &lookup) || !r.Read(descriptor + 12, &name_rva) ||
        !r.Read(descriptor + 16, &thunks)) {
      return false;
    }
    if (lookup == 0 && name_rva == 0 && thunks == 0) return true;
    std::string name;
    if (!r.String(name_rva, &name)) return false;
    image->imports.push_back(name);
  }
  return r.Fail("the import table does not end");
}

}  // namespace

const PeResource* PeImage::Find(uint32_t type, uint32_t id) const {
  for (const PeResource& resource : resources) {
    if (resource.type == type && resource.id == id) return &resource;
  }
  return nullptr;
}

void ReadPeHeaders(const std::vector<uint8_t>& file, PeHeaders* headers) {
  PeHeaders& h = *headers;
  h = PeHeaders{};
  uint16_t mz = 0;
  if (!At(file, 0, &mz)) return;
  h.reach = PeHeaders::Reach::kNoMz;
  if (mz != 0x5A4D) return;
  h.reach = PeHeaders::Reach::kCutInPe;
  uint32_t pe = 0, signature = 0;
  if (!At(file, 0x3C, &pe) || !At(file, pe, &signature)) return;
  h.reach = PeHeaders::Reach::kNoPe;
  if (signature != 0x4550) return;
  h.reach = PeHeaders::Reach::kCutInCoff;
  const uint64_t coff = pe + 4ull;
  const uint64_t optional = coff + 20;
  if (!At(file, coff, &h.machine) || !At(file, coff + 2, &h.section_count) ||
      !At(file, coff + 16, &h.optional_size) || !At(file, coff + 18, &h.characteristics) ||
      !At(file, optional, &h.magic)) {
    return;
  }
  h.reach = PeHeaders::Reach::kPastMagic;
  h.optional_in_file = optional + 96 <= file.size();
  if (h.optional_in_file) {
    At(file, optional + 28, &h.image_base);
    At(file, optional + 92, &h.directory_count);
  }
  for (uint32_t i = 0; i < std::min(h.directory_count, kMaxDirectories); ++i) {
    PeDirectory directory;
    if (!At(file, optional + 96 + 8ull * i, &directory.rva) ||
        !At(file, optional + 100 + 8ull * i, &directory.size)) {
      break;
    }
    h.directories.push_back(directory);
  }
  if (h.section_count > kMaxPeSections) return;
  const uint64_t table = optional + h.optional_size;
  for (uint32_t i = 0; i < h.section_count; ++i) {
    const uint64_t at = table + 40ull * i;
    PeSection section;
    if (at + 40 > file.size()) return;
    At(file, at + 8, &section.virtual_size);
    At(file, at + 12, &section.rva);
    At(file, at + 16, &section.raw_size);
    At(file, at + 20, &section.raw_offset);
    At(file, at + 36, &section.characteristics);
    char name[9] = {};
    std::memcpy(name, file.data() + at, 8);
    section.name = name;
    h.sections.push_back(std::move(section));
  }
  h.section_table_in_file = true;
}

std::string CutShort(const std::vector<PeSection>& sections, uint64_t file_size) {
  for (const PeSection& section : sections) {
    const uint64_t end = uint64_t{section.raw_offset} + section.raw_size;
    if (end > file_size) {
      return "the file is cut short: section " + section.name + "'s data runs to byte " +
             std::to_string(end) + ", the file ends at " + std::to_string(file_size);
    }
  }
  return "";
}

bool ParsePeImage(const std::vector<uint8_t>& file, PeImage* image, std::string* error) {
  *image = PeImage{};
  Reader r(file, error);
  if (file.size() > kMaxPeFileBytes) {
    return r.Fail("the file is " + std::to_string(file.size()) +
                  " bytes, larger than any gauge file (at most " +
                  std::to_string(kMaxPeFileBytes) + ")");
  }
  PeHeaders h;
  ReadPeHeaders(file, &h);
  using Reach = PeHeaders::Reach;
  switch (h.reach) {
    case Reach::kNoMz: return r.Fail("not a Windows library (no MZ header)");
    case Reach::kNoPe: return r.Fail("not a Windows library (no PE header)");
    case Reach::kCutInMz:
    case Reach::kCutInPe:
    case Reach::kCutInCoff: return r.Fail("the file ends too early");
    case Reach::kPastMagic: break;
  }
  image->machine = h.machine;
  image->characteristics = h.characteristics;
  image->pe32 = h.magic == kMagicPe32;
  if (!image->pe32) return r.Fail("not a 32-bit library (no PE32 optional header)");
  if (!h.optional_in_file) return r.Fail("the file ends too early");
  if (h.section_count > kMaxPeSections) {
    return r.Fail("the file claims " + std::to_string(h.section_count) + " sections, more than " +
                  std::to_string(kMaxPeSections) + ": the file is damaged");
  }
  if (!h.section_table_in_file) return r.Fail("the file ends too early");
  if (const std::string cut = CutShort(h.sections, file.size()); !cut.empty()) return r.Fail(cut);
  r.sections = h.sections;

  auto directory = [&](uint32_t index, uint32_t* rva, uint32_t* size) {
    *rva = *size = 0;
    if (index >= h.directory_count) return true;
    if (index >= h.directories.size()) return r.Fail("the file ends too early");
    *rva = h.directories[index].rva;
    *size = h.directories[index].size;
    return true;
  };
  uint32_t rva, size;
  if (!directory(0, &rva, &size) || (rva != 0 && !ReadExports(r, rva, size, image))) return false;
  if (!directory(1, &rva, &size) || (rva != 0 && !ReadImports(r, rva, image))) return false;
  return directory(2, &rva, &size) && (rva == 0 || ReadResources(r, rva, size, image));
}

bool ReadPeImage(const std::filesystem::path& path, PeImage* image, std::string* error) {
  std::vector<uint8_t> file;
  FileReadError read_error;
  if (!ReadRegularFile(path, kMaxPeFileBytes, "gauge file", &file, &read_error)) {
    if (error) *error = path.string() + ": " + read_error.message;
    return false;
  }
  std::string why;
  if (ParsePeImage(file, image, &why)) return true;
  if (error) *error = path.string() + ": " + why;
  return false;
}

}  // namespace formats
