#include "formats/elf_check.h"

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "formats/file_read.h"

namespace formats {
namespace {

// The records of this process's own class: a module must match it.
using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Shdr = ElfW(Shdr);
using Dyn = ElfW(Dyn);
using Sym = ElfW(Sym);
using Rela = ElfW(Rela);
using Rel = ElfW(Rel);
constexpr unsigned char kClass = __ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32;
constexpr const char* kClassName = __ELF_NATIVE_CLASS == 64 ? "64-bit" : "32-bit";
constexpr unsigned char kData =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
constexpr uint64_t SymbolOf(uint64_t info) {
  return __ELF_NATIVE_CLASS == 64 ? ELF64_R_SYM(info) : ELF32_R_SYM(info);
}
constexpr uint64_t TypeOf(uint64_t info) {
  return __ELF_NATIVE_CLASS == 64 ? ELF64_R_TYPE(info) : ELF32_R_TYPE(info);
}

// This machine, and the relocation type its loader counts as relative
// (DT_RELACOUNT): the loader asserts, ending the process, when a counted
// relocation is of another type.
struct Machine {
  uint16_t machine;
  uint64_t relative;
};
#if defined(__x86_64__)
constexpr Machine kNative{EM_X86_64, R_X86_64_RELATIVE};
#elif defined(__i386__)
constexpr Machine kNative{EM_386, R_386_RELATIVE};
#elif defined(__aarch64__)
constexpr Machine kNative{EM_AARCH64, R_AARCH64_RELATIVE};
#elif defined(__arm__)
constexpr Machine kNative{EM_ARM, R_ARM_RELATIVE};
#elif defined(__riscv)
constexpr Machine kNative{EM_RISCV, R_RISCV_RELATIVE};
#else
constexpr Machine kNative{EM_NONE, UINT64_MAX};  // not checked
#endif

// The value of the last dynamic entry with each tag the checks read, up to
// the table's end. They read standard tags (below 64) and GNU ones from
// DT_VALRNGLO up (DT_GNU_HASH, DT_VERSYM, DT_RELACOUNT, ...): a fixed table
// of those, whatever the number of distinct tags a file holds.
class TagValues {
 public:
  static constexpr int Slot(int64_t tag) {
    if (tag >= 0 && tag < kStandard) return static_cast<int>(tag);
    if (tag >= DT_VALRNGLO && tag <= DT_VERNEEDNUM) {
      return static_cast<int>(kStandard + (tag - DT_VALRNGLO));
    }
    return -1;
  }
  void Set(int64_t tag, uint64_t value) {
    const int slot = Slot(tag);
    if (slot < 0) return;
    values_[slot] = value;
    present_[slot] = true;
  }
  bool Get(int64_t tag, uint64_t* value) const {
    const int slot = Slot(tag);
    if (slot < 0 || !present_[slot]) return false;
    *value = values_[slot];
    return true;
  }

 private:
  static constexpr int64_t kStandard = 64;
  static constexpr size_t kSlots = kStandard + (DT_VERNEEDNUM - DT_VALRNGLO + 1);
  std::array<uint64_t, kSlots> values_{};
  std::array<bool, kSlots> present_{};
};
static_assert(TagValues::Slot(DT_GNU_HASH) >= 0 && TagValues::Slot(DT_VERSYM) >= 0 &&
                  TagValues::Slot(DT_VERDEF) >= 0 && TagValues::Slot(DT_VERNEED) >= 0 &&
                  TagValues::Slot(DT_RELACOUNT) >= 0 && TagValues::Slot(DT_RELCOUNT) >= 0,
              "every tag the checks read has its slot");

// Whether some loaded segment holds [address, address + size), in its bytes
// from the file or in all it maps: among the segments starting at or before
// `address`, the furthest end reaches address + size. The segments are
// sorted once; each answer is a binary search.
class Reach {
 public:
  Reach() = default;
  Reach(const std::vector<const Phdr*>& loads, bool memory) {
    std::vector<std::pair<uint64_t, uint64_t>> spans;  // start, end
    spans.reserve(loads.size());
    for (const Phdr* p : loads) {
      spans.emplace_back(p->p_vaddr, p->p_vaddr + (memory ? p->p_memsz : p->p_filesz));
    }
    std::sort(spans.begin(), spans.end());
    uint64_t furthest = 0;
    for (const auto& [start, end] : spans) {
      furthest = std::max(furthest, end);
      starts_.push_back(start);
      furthest_.push_back(furthest);
    }
  }
  bool Holds(uint64_t address, uint64_t size) const {
    const size_t before =
        std::upper_bound(starts_.begin(), starts_.end(), address) - starts_.begin();
    if (before == 0) return false;
    const uint64_t end = furthest_[before - 1];
    return end >= address && size <= end - address;
  }

 private:
  std::vector<uint64_t> starts_;    // sorted
  std::vector<uint64_t> furthest_;  // the furthest end of the segments up to each start
};

// The first of a list of spans [low, high] (in the list's order) holding a
// point. The ends of the spans cut the line into pieces, each held by the
// same spans throughout; each piece's first holder is found once, as the
// spans in order claim the pieces no earlier one claimed.
class FirstHolder {
 public:
  struct Span {
    uint64_t low = 1, high = 0;  // empty unless low <= high; high < UINT64_MAX
  };
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit FirstHolder(const std::vector<Span>& spans) {
    for (const Span& span : spans) {
      if (span.low > span.high) continue;
      points_.push_back(span.low);
      points_.push_back(span.high + 1);
    }
    std::sort(points_.begin(), points_.end());
    points_.erase(std::unique(points_.begin(), points_.end()), points_.end());
    first_.assign(points_.size(), kNone);
    // next[k]: the first piece at or after k that no span has claimed yet.
    std::vector<uint32_t> next(points_.size() + 1);
    for (uint32_t k = 0; k < next.size(); ++k) next[k] = k;
    auto unclaimed = [&](uint32_t k) {
      while (next[k] != k) k = next[k] = next[next[k]];
      return k;
    };
    for (uint32_t i = 0; i < spans.size(); ++i) {
      if (spans[i].low > spans[i].high) continue;
      const uint32_t to = Piece(spans[i].high + 1);
      for (uint32_t k = unclaimed(Piece(spans[i].low)); k < to; k = unclaimed(k)) {
        first_[k] = i;
        next[k] = k + 1;
      }
    }
  }
  // The index of the first span holding `point`, or kNone.
  uint32_t Find(uint64_t point) const {
    const size_t after = std::upper_bound(points_.begin(), points_.end(), point) - points_.begin();
    return after == 0 ? kNone : first_[after - 1];
  }

 private:
  uint32_t Piece(uint64_t point) const {  // a point of points_
    return static_cast<uint32_t>(std::lower_bound(points_.begin(), points_.end(), point) -
                                 points_.begin());
  }
  std::vector<uint64_t> points_;  // where the pieces begin, sorted
  std::vector<uint32_t> first_;   // each piece's first holder
};

class Checker {
 public:
  Checker(const uint8_t* data, size_t size, std::string* error)
      : data_(data), size_(size), error_(error) {}

  bool Fail(const std::string& why) {
    if (error_ != nullptr) *error_ = why;
    return false;
  }

  // `length` bytes at `offset` lie inside the file.
  bool InFile(uint64_t offset, uint64_t length, const std::string& what) {
    if (length <= size_ && offset <= size_ - length) return true;
    const uint64_t end = offset + length;
    const bool wraps = end < offset;
    return Fail(what + " (" + (wraps ? "at byte " + std::to_string(offset)
                                     : "bytes " + std::to_string(offset) + " to " +
                                           std::to_string(end)) +
                ") lies past the end of the file at " + std::to_string(size_) +
                " bytes: the file is cut short (a partial copy?) or damaged");
  }

  // A table the ELF header places: `count` records of `entry_size` bytes at
  // `offset`. Records of another size than ours are not read as ours.
  template <typename T>
  bool TableInFile(uint64_t offset, uint64_t count, uint16_t entry_size, const std::string& what) {
    if (entry_size != sizeof(T)) {
      return Fail(what + " size (" + std::to_string(entry_size) + ") is not " +
                  std::to_string(sizeof(T)) + ": the header is damaged");
    }
    return InFile(offset, count * sizeof(T), what + " table");
  }

  template <typename T>
  T Read(uint64_t offset) const {  // after InFile
    T value;
    std::memcpy(&value, data_ + offset, sizeof value);
    return value;
  }

  bool Run() {
    if (size_ < EI_NIDENT || std::memcmp(data_, ELFMAG, SELFMAG) != 0) {
      return Fail(size_ < SELFMAG ? "not a loadable shared library: the file has only " +
                                        std::to_string(size_) + " bytes"
                                  : "not a loadable shared library: no ELF header");
    }
    if (data_[EI_CLASS] != kClass) {
      return Fail(std::string("the library is not ") + kClassName + " as this program is");
    }
    if (data_[EI_DATA] != kData) return Fail("the library's byte order is not this machine's");
    if (!InFile(0, sizeof(Ehdr), "the ELF header")) return false;
    const auto header = Read<Ehdr>(0);
    if (header.e_ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT) {
      return Fail("the ELF header's version is " + std::to_string(header.e_version) +
                  ", not 1: the header is damaged");
    }
    if (header.e_type != ET_DYN) {
      return Fail("the ELF file is of type " + std::to_string(header.e_type) +
                  ", not a shared library (3)");
    }
    if (kNative.machine != EM_NONE && header.e_machine != kNative.machine) {
      return Fail("the library is built for machine " + std::to_string(header.e_machine) +
                  ", not this one (" + std::to_string(kNative.machine) + ")");
    }
    if (header.e_ehsize < sizeof(Ehdr)) return Fail("the ELF header's size is damaged");
    return Segments(header) && Sections(header) && Dynamic();
  }

 private:
  bool Segments(const Ehdr& header) {
    if (header.e_phnum == 0 || header.e_phnum == PN_XNUM) {
      return Fail("the program header count (" + std::to_string(header.e_phnum) +
                  ") is damaged");
    }
    if (!TableInFile<Phdr>(header.e_phoff, header.e_phnum, header.e_phentsize,
                           "the program header")) {
      return false;
    }
    segments_.reserve(header.e_phnum);
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
      segments_.push_back(Read<Phdr>(header.e_phoff + uint64_t{i} * sizeof(Phdr)));
    }
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
      const Phdr& p = segments_[i];
      const std::string what = "segment " + std::to_string(i);
      if (!InFile(p.p_offset, p.p_filesz, what)) return false;
      if (p.p_type != PT_LOAD) continue;
      if (p.p_filesz > p.p_memsz) return Fail(what + " holds more bytes than it maps: damaged");
      if (p.p_vaddr + p.p_memsz < p.p_vaddr) return Fail(what + "'s addresses are damaged");
      loads_.push_back(&p);
    }
    if (loads_.empty()) return Fail("the library has no loadable segment");
    file_reach_ = Reach(loads_, false);
    memory_reach_ = Reach(loads_, true);
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
      const Phdr& p = segments_[i];
      uint64_t mapped = 0;  // how much of the segment the loader reads from memory
      switch (p.p_type) {
        case PT_DYNAMIC:
          if (dynamic_ != nullptr) return Fail("the library has two dynamic tables");
          dynamic_ = &p;
          mapped = p.p_filesz;
          break;
        case PT_NOTE:
        case PT_GNU_PROPERTY:
        case PT_GNU_EH_FRAME:
        case PT_TLS:
          mapped = p.p_filesz;
          break;
        case PT_GNU_RELRO:
          mapped = p.p_memsz;
          break;
        default:
          continue;
      }
      if (mapped != 0 && !InLoaded(p.p_vaddr, mapped, p.p_type == PT_GNU_RELRO)) {
        return Fail("segment " + std::to_string(i) + " lies outside the loaded segments: damaged");
      }
    }
    if (dynamic_ == nullptr) return Fail("the library has no dynamic table");
    // The loader reads the table where it is mapped; these checks read it
    // from the file: the two must be the same bytes.
    uint64_t mapped_at = 0;
    if (!FileOffset(dynamic_->p_vaddr, dynamic_->p_filesz, &mapped_at) ||
        mapped_at != dynamic_->p_offset) {
      return Fail("the dynamic table's place in the file and in memory disagree: damaged");
    }
    return true;
  }

  bool Sections(const Ehdr& header) {
    if (header.e_shoff == 0 && header.e_shnum == 0) return true;
    if (!TableInFile<Shdr>(header.e_shoff, header.e_shnum, header.e_shentsize,
                           "the section header")) {
      return false;
    }
    if (header.e_shstrndx != SHN_UNDEF && header.e_shstrndx != SHN_XINDEX &&
        header.e_shstrndx >= header.e_shnum) {
      return Fail("the section name table's index is damaged");
    }
    for (uint16_t i = 0; i < header.e_shnum; ++i) {
      const auto s = Read<Shdr>(header.e_shoff + uint64_t{i} * sizeof(Shdr));
      if (s.sh_type == SHT_NOBITS || s.sh_type == SHT_NULL) continue;
      if (!InFile(s.sh_offset, s.sh_size, "section " + std::to_string(i))) return false;
    }
    return true;
  }

  // The entries of the dynamic table that the loader follows: where they
  // point lies inside a loaded segment's bytes from the file.
  bool Dynamic() {
    const uint64_t count = dynamic_->p_filesz / sizeof(Dyn);
    struct Pointer {
      int64_t tag;
      int64_t size_tag;   // the entry giving its size, or DT_NULL
      uint64_t size = 0;  // or this fixed size
      const char* what;
    };
    const Pointer pointers[] = {
        {DT_STRTAB, DT_STRSZ, 0, "string table"},
        {DT_SYMTAB, DT_NULL, sizeof(Sym), "symbol table"},
        {DT_HASH, DT_NULL, 8, "hash table"},
        {DT_GNU_HASH, DT_NULL, 16, "hash table"},
        {DT_RELA, DT_RELASZ, 0, "relocations"},
        {DT_REL, DT_RELSZ, 0, "relocations"},
#if defined(DT_RELR)
        {DT_RELR, DT_RELRSZ, 0, "relocations"},
#endif
        {DT_JMPREL, DT_PLTRELSZ, 0, "procedure linkage relocations"},
        {DT_INIT_ARRAY, DT_INIT_ARRAYSZ, 0, "initialiser list"},
        {DT_FINI_ARRAY, DT_FINI_ARRAYSZ, 0, "finaliser list"},
        {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ, 0, "initialiser list"},
        {DT_INIT, DT_NULL, 1, "initialiser"},
        {DT_FINI, DT_NULL, 1, "finaliser"},
        {DT_PLTGOT, DT_NULL, 1, "global offset table"},
        {DT_VERSYM, DT_NULL, 2, "symbol versions"},
        {DT_VERDEF, DT_NULL, 1, "version definitions"},
        {DT_VERNEED, DT_NULL, 1, "version needs"},
    };
    TagValues values;
    uint64_t used = 0;  // entries up to and with the DT_NULL
    bool ended = false;
    for (; used < count && !ended; ++used) {
      const auto d = Read<Dyn>(dynamic_->p_offset + used * sizeof(Dyn));
      ended = d.d_tag == DT_NULL;
      values.Set(d.d_tag, d.d_un.d_val);
    }
    if (!ended) return Fail("the dynamic table does not end: damaged");
    auto value_of = [&](int64_t tag, uint64_t* value) { return values.Get(tag, value); };
    for (const Pointer& pointer : pointers) {
      uint64_t address = 0, size = pointer.size;
      if (!value_of(pointer.tag, &address)) continue;
      if (pointer.size_tag != DT_NULL && !value_of(pointer.size_tag, &size)) {
        return Fail(std::string("the dynamic table gives no size for its ") + pointer.what +
                    ": damaged");
      }
      if (size != 0 && !InLoaded(address, size, false)) {
        return Fail(std::string("the dynamic table's ") + pointer.what +
                    " lies outside the loaded segments: damaged");
      }
    }
    const struct {
      int64_t tag;
      uint64_t size;
      const char* what;
    } entry_sizes[] = {{DT_SYMENT, sizeof(Sym), "symbol"},
                       {DT_RELAENT, sizeof(Rela), "relocation"},
                       {DT_RELENT, sizeof(Rel), "relocation"}};
    for (const auto& entry : entry_sizes) {
      uint64_t size = 0;
      if (value_of(entry.tag, &size) && size != entry.size) {
        return Fail(std::string("the dynamic table's ") + entry.what + " size is damaged");
      }
    }
    uint64_t plt_kind = 0;
    if (value_of(DT_PLTREL, &plt_kind) && plt_kind != DT_RELA && plt_kind != DT_REL) {
      return Fail("the dynamic table's procedure linkage relocation kind is damaged");
    }
    return Names(used, values) && Relocations(values);
  }

  // The entries naming a string (DT_NEEDED, DT_SONAME, DT_RPATH, DT_RUNPATH):
  // each an offset into the string table, ending inside it.
  bool Names(uint64_t used, const TagValues& values) {
    uint64_t strtab = 0, strsz = 0;
    const bool has_strings = values.Get(DT_STRTAB, &strtab) && values.Get(DT_STRSZ, &strsz);
    // Each name runs to the table's end at most: it is read, as the loader
    // reads it, through the first loaded segment holding [strtab + name,
    // end) in its bytes from the file. (The table itself lies inside a
    // loaded segment, checked above, so `end` does not wrap.)
    const uint64_t end = strtab + strsz;
    std::vector<FirstHolder::Span> spans(loads_.size());
    for (size_t i = 0; has_strings && strsz != 0 && i < loads_.size(); ++i) {
      const Phdr& p = *loads_[i];
      if (p.p_vaddr < end && p.p_filesz >= end - p.p_vaddr) spans[i] = {p.p_vaddr, end - 1};
    }
    const FirstHolder holder(spans);
    // The name at `name` ends iff a NUL lies between its first byte and the
    // table's end in the bytes of its segment: iff the last NUL before the
    // table's end there (at file offset `limit`) is at or after its first
    // byte. That last NUL is found once for each segment holding names.
    auto limit = [&](uint32_t segment) {
      const Phdr& p = *loads_[segment];
      return p.p_offset + (end - p.p_vaddr);
    };
    auto for_each_name = [&](auto visit) {
      for (uint64_t i = 0; i < used; ++i) {
        const auto d = Read<Dyn>(dynamic_->p_offset + i * sizeof(Dyn));
        if (d.d_tag != DT_NEEDED && d.d_tag != DT_SONAME && d.d_tag != DT_RPATH &&
            d.d_tag != DT_RUNPATH) {
          continue;
        }
        const uint64_t name = d.d_un.d_val;
        const uint32_t segment = has_strings && name < strsz ? holder.Find(strtab + name)
                                                             : FirstHolder::kNone;
        if (!visit(name, segment)) return false;
      }
      return true;
    };
    std::vector<uint64_t> last_nul(loads_.size(), 0);  // file offset + 1, or 0: none
    {
      std::vector<std::pair<uint64_t, uint32_t>> limits;  // limit, segment
      std::vector<bool> holds(loads_.size(), false);
      for_each_name([&](uint64_t, uint32_t segment) {
        if (segment == FirstHolder::kNone) return false;  // the first that fails
        if (!holds[segment]) limits.emplace_back(limit(segment), segment);
        holds[segment] = true;
        return true;
      });
      // In order of their limits, each search goes back no further than the
      // one before it: the whole walk reads each byte of the file once.
      std::sort(limits.begin(), limits.end());
      uint64_t searched = 0, found = 0;
      for (const auto& [at, segment] : limits) {
        if (at > searched) {
          const void* nul = memrchr(data_ + searched, 0, at - searched);
          if (nul != nullptr) found = static_cast<const uint8_t*>(nul) - data_ + 1;
          searched = at;
        }
        last_nul[segment] = found;
      }
    }
    bool outside = false;
    const bool ended = for_each_name([&](uint64_t name, uint32_t segment) {
      if (!has_strings || name >= strsz) {
        outside = true;
        return false;
      }
      if (segment == FirstHolder::kNone) return false;
      const Phdr& p = *loads_[segment];
      const uint64_t at = p.p_offset + (strtab + name - p.p_vaddr);
      return last_nul[segment] > at;
    });
    if (outside) return Fail("a name in the dynamic table lies outside its string table: damaged");
    if (!ended) return Fail("a name in the dynamic table does not end: damaged");
    return true;
  }

  // Each relocation writes inside a loaded segment and names a symbol whose
  // record and name lie inside the file: the loader follows both unchecked.
  bool Relocations(const TagValues& values) {
    auto value_of = [&](int64_t tag, uint64_t* value) { return values.Get(tag, value); };
    uint64_t symtab = 0, strtab = 0, strsz = 0;
    const bool has_symbols = value_of(DT_SYMTAB, &symtab);
    value_of(DT_STRTAB, &strtab);
    value_of(DT_STRSZ, &strsz);
    uint64_t plt_kind = DT_RELA;
    value_of(DT_PLTREL, &plt_kind);
    // A symbol's record is read through the first loaded segment holding
    // all its bytes from the file.
    std::vector<FirstHolder::Span> spans(loads_.size());
    for (size_t i = 0; has_symbols && i < loads_.size(); ++i) {
      const Phdr& p = *loads_[i];
      if (p.p_filesz >= sizeof(Sym)) spans[i] = {p.p_vaddr, p.p_vaddr + p.p_filesz - sizeof(Sym)};
    }
    const FirstHolder symbol_holder(spans);
    const struct {
      int64_t tag, size_tag, count_tag;
      bool addend;
    } tables[] = {{DT_RELA, DT_RELASZ, DT_RELACOUNT, true},
                  {DT_REL, DT_RELSZ, DT_RELCOUNT, false},
                  {DT_JMPREL, DT_PLTRELSZ, DT_NULL, plt_kind == DT_RELA}};
    for (const auto& table : tables) {
      uint64_t address = 0, size = 0, at = 0;
      if (!value_of(table.tag, &address) || !value_of(table.size_tag, &size)) continue;
      if (!FileOffset(address, size, &at)) {
        return Fail("the relocations lie outside the loaded segments: damaged");
      }
      const uint64_t entry = table.addend ? sizeof(Rela) : sizeof(Rel);
      uint64_t relative = 0;
      if (table.count_tag != DT_NULL && value_of(table.count_tag, &relative) &&
          relative > size / entry) {
        return Fail("the dynamic table counts more relocations than there are: damaged");
      }
      for (uint64_t offset = at; offset + entry <= at + size; offset += entry) {
        const auto rel = Read<Rel>(offset);  // a Rela begins as a Rel
        if ((offset - at) / entry < relative && kNative.relative != UINT64_MAX &&
            TypeOf(rel.r_info) != kNative.relative) {
          return Fail("the dynamic table counts a relocation at byte " + std::to_string(offset) +
                      " as relative, which it is not: damaged");
        }
        if (!InLoaded(rel.r_offset, sizeof(void*), true)) {
          return Fail("a relocation at byte " + std::to_string(offset) +
                      " writes outside the loaded segments: damaged");
        }
        const uint64_t symbol = SymbolOf(rel.r_info);
        if (symbol == 0) continue;
        const uint64_t address = symtab + symbol * sizeof(Sym);
        uint32_t segment = FirstHolder::kNone;
        if (!has_symbols || symbol > (UINT64_MAX - symtab) / sizeof(Sym) - 1 ||
            (segment = symbol_holder.Find(address)) == FirstHolder::kNone ||
            Read<Sym>(loads_[segment]->p_offset + (address - loads_[segment]->p_vaddr)).st_name >=
                strsz) {
          return Fail("a relocation at byte " + std::to_string(offset) +
                      " names a symbol outside the symbol table: damaged");
        }
      }
    }
    return true;
  }

  // Whether a loaded segment holds [address, address + size): inside its
  // bytes from the file, or (`memory`) anywhere in what it maps.
  bool InLoaded(uint64_t address, uint64_t size, bool memory) const {
    return (memory ? memory_reach_ : file_reach_).Holds(address, size);
  }

  // The file offset of `size` bytes at `address` inside a loaded segment's
  // bytes from the file: through the first such segment. A walk over every
  // segment, for the few tables the dynamic table places; what each of many
  // entries points at is found through a FirstHolder.
  bool FileOffset(uint64_t address, uint64_t size, uint64_t* offset) const {
    for (const Phdr* p : loads_) {
      if (address >= p->p_vaddr && address - p->p_vaddr <= p->p_filesz &&
          size <= p->p_filesz - (address - p->p_vaddr)) {
        *offset = p->p_offset + (address - p->p_vaddr);
        return true;
      }
    }
    return false;
  }

  const uint8_t* data_;
  size_t size_;
  std::string* error_;
  std::vector<Phdr> segments_;
  std::vector<const Phdr*> loads_;  // in the program header's order
  Reach file_reach_, memory_reach_;
  const Phdr* dynamic_ = nullptr;
};

}  // namespace

bool CheckElfImage(const uint8_t* data, size_t size, std::string* error) {
  return Checker(data, size, error).Run();
}

bool CheckElfFile(const std::filesystem::path& path, std::string* error) {
  std::vector<uint8_t> bytes;
  FileReadError read_error;
  if (!ReadRegularFile(path, kMaxModuleFileBytes, "gauge module", &bytes, &read_error)) {
    if (error) *error = read_error.message;
    return false;
  }
  return CheckElfImage(bytes.data(), bytes.size(), error);
}

}  // namespace formats
