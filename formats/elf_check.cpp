#include "formats/elf_check.h"

#include <elf.h>
#include <link.h>

#include <cstring>
#include <map>
#include <system_error>
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
    // The value of the last entry with each tag, up to the table's end.
    std::map<int64_t, uint64_t> values;
    std::vector<uint64_t> names;  // string table offsets
    bool ended = false;
    for (uint64_t i = 0; i < count && !ended; ++i) {
      const auto d = Read<Dyn>(dynamic_->p_offset + i * sizeof(Dyn));
      ended = d.d_tag == DT_NULL;
      values[d.d_tag] = d.d_un.d_val;
      if (d.d_tag == DT_NEEDED || d.d_tag == DT_SONAME || d.d_tag == DT_RPATH ||
          d.d_tag == DT_RUNPATH) {
        names.push_back(d.d_un.d_val);
      }
    }
    if (!ended) return Fail("the dynamic table does not end: damaged");
    auto value_of = [&](int64_t tag, uint64_t* value) {
      auto found = values.find(tag);
      if (found == values.end()) return false;
      *value = found->second;
      return true;
    };
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
    // Names: offsets into the string table, each ending inside it.
    uint64_t strtab = 0, strsz = 0;
    const bool has_strings = value_of(DT_STRTAB, &strtab) && value_of(DT_STRSZ, &strsz);
    for (uint64_t name : names) {
      if (!has_strings || name >= strsz) {
        return Fail("a name in the dynamic table lies outside its string table: damaged");
      }
      uint64_t at = 0;
      if (!FileOffset(strtab + name, strsz - name, &at) ||
          std::memchr(data_ + at, 0, strsz - name) == nullptr) {
        return Fail("a name in the dynamic table does not end: damaged");
      }
    }
    return Relocations(value_of);
  }

  // Each relocation writes inside a loaded segment and names a symbol whose
  // record and name lie inside the file: the loader follows both unchecked.
  template <typename ValueOf>
  bool Relocations(ValueOf value_of) {
    uint64_t symtab = 0, strtab = 0, strsz = 0;
    const bool has_symbols = value_of(DT_SYMTAB, &symtab);
    value_of(DT_STRTAB, &strtab);
    value_of(DT_STRSZ, &strsz);
    uint64_t plt_kind = DT_RELA;
    value_of(DT_PLTREL, &plt_kind);
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
        uint64_t record = 0;
        if (!has_symbols || symbol > (UINT64_MAX - symtab) / sizeof(Sym) - 1 ||
            !FileOffset(symtab + symbol * sizeof(Sym), sizeof(Sym), &record) ||
            Read<Sym>(record).st_name >= strsz) {
          return Fail("a relocation at byte " + std::to_string(offset) +
                      " names a symbol outside the symbol table: damaged");
        }
      }
    }
    return true;
  }

  // The loaded segment holding [address, address + size): inside its bytes
  // from the file, or (`memory`) anywhere in what it maps.
  const Phdr* LoadedAt(uint64_t address, uint64_t size, bool memory) const {
    for (const Phdr* p : loads_) {
      const uint64_t extent = memory ? p->p_memsz : p->p_filesz;
      if (address >= p->p_vaddr && address - p->p_vaddr <= extent &&
          size <= extent - (address - p->p_vaddr)) {
        return p;
      }
    }
    return nullptr;
  }
  bool InLoaded(uint64_t address, uint64_t size, bool memory) const {
    return LoadedAt(address, size, memory) != nullptr;
  }

  // The file offset of `size` bytes at `address` inside a loaded segment's
  // bytes from the file.
  bool FileOffset(uint64_t address, uint64_t size, uint64_t* offset) const {
    const Phdr* p = LoadedAt(address, size, false);
    if (p != nullptr) *offset = p->p_offset + (address - p->p_vaddr);
    return p != nullptr;
  }

  const uint8_t* data_;
  size_t size_;
  std::string* error_;
  std::vector<Phdr> segments_;
  std::vector<const Phdr*> loads_;
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
