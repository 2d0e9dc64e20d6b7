// Native module files crafted to cost the ELF form check (formats/elf_check.h)
// the most for their size, in three shapes, each of any size from a few KB
// to the largest module the readers take. As made they pass the check; a
// damaged one fails it at the end of its long walk, or at its first step.
// The bad-files test, the ELF benchmark and the fuzz seeds use them.
#pragma once

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace crafted_elf {

enum class Shape {
  // Many DT_NEEDED entries naming offset 0 of a string table that fills the
  // other half of the file and whose only NUL is its last byte. Damaged: no
  // NUL at all.
  kNames,
  // 65,000 tiny loadable segments (fewer where the file is too small), then
  // the one segment holding the whole file, and relocations filling the rest
  // of it, each writing into that last segment and naming a symbol there.
  // Damaged: the last relocation writes outside every segment.
  kSegments,
  // A dynamic table of distinct tags the loader does not know, filling the
  // file. Damaged: the table has no DT_NULL.
  kTags,
};

inline constexpr size_t kTinySegments = 65000;

#if defined(__x86_64__)
inline constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__i386__)
inline constexpr uint16_t kMachine = EM_386;
#elif defined(__aarch64__)
inline constexpr uint16_t kMachine = EM_AARCH64;
#elif defined(__arm__)
inline constexpr uint16_t kMachine = EM_ARM;
#elif defined(__riscv)
inline constexpr uint16_t kMachine = EM_RISCV;
#else
#error "no machine for the crafted files"
#endif

// A file of `size` bytes (at least 4096) of `shape`.
inline std::vector<uint8_t> Make(Shape shape, size_t size, bool damaged = false) {
  using Ehdr = ElfW(Ehdr);
  using Phdr = ElfW(Phdr);
  using Dyn = ElfW(Dyn);
  using Sym = ElfW(Sym);
  using Rela = ElfW(Rela);
  std::vector<uint8_t> file(size);
  auto put = [&](size_t at, const auto& record) { std::memcpy(&file[at], &record, sizeof record); };
  auto dyn = [&](size_t at, int64_t tag, uint64_t value) {
    Dyn entry{};
    entry.d_tag = static_cast<decltype(entry.d_tag)>(tag);
    entry.d_un.d_val = static_cast<decltype(entry.d_un.d_val)>(value);
    put(at, entry);
    return at + sizeof entry;
  };
  auto align = [](size_t at) { return (at + 15) / 16 * 16; };

  const size_t tiny = shape == Shape::kSegments
                          ? std::min(kTinySegments, size / 2 / sizeof(Phdr))
                          : 0;
  const size_t segments = tiny + 2;  // the tiny ones, the whole file, the dynamic table
  const size_t dynamic = align(sizeof(Ehdr) + segments * sizeof(Phdr));
  size_t dynamic_size = 0;

  switch (shape) {
    case Shape::kNames: {
      const size_t strtab = align(dynamic + (size - dynamic) / 2);
      size_t at = dyn(dynamic, DT_STRTAB, strtab);
      at = dyn(at, DT_STRSZ, size - strtab);
      while (at + 2 * sizeof(Dyn) <= strtab) at = dyn(at, DT_NEEDED, 0);
      at = dyn(at, DT_NULL, 0);
      dynamic_size = at - dynamic;
      std::memset(&file[strtab], 'a', size - strtab);
      if (!damaged) file[size - 1] = 0;
      break;
    }
    case Shape::kSegments: {
      const size_t symtab = dynamic + 8 * sizeof(Dyn);
      const size_t strtab = symtab + 2 * sizeof(Sym);
      const size_t target = align(strtab + 3);
      const size_t rela = target + 16;
      const size_t count = (size - rela) / sizeof(Rela);
      size_t at = dyn(dynamic, DT_SYMTAB, symtab);
      at = dyn(at, DT_SYMENT, sizeof(Sym));
      at = dyn(at, DT_STRTAB, strtab);
      at = dyn(at, DT_STRSZ, 3);
      at = dyn(at, DT_RELA, rela);
      at = dyn(at, DT_RELASZ, count * sizeof(Rela));
      at = dyn(at, DT_RELAENT, sizeof(Rela));
      at = dyn(at, DT_NULL, 0);
      dynamic_size = at - dynamic;
      Sym symbol{};
      symbol.st_name = 1;
      symbol.st_info = ELF64_ST_INFO(STB_GLOBAL, STT_FUNC);
      put(symtab + sizeof(Sym), symbol);
      file[strtab + 1] = 'x';
      for (size_t i = 0; i < count; ++i) {
        Rela relocation{};
        relocation.r_offset = damaged && i + 1 == count ? 0x30000000 : target;
        relocation.r_info = static_cast<decltype(relocation.r_info)>(
            sizeof(void*) == 8 ? ELF64_R_INFO(1, 1) : ELF32_R_INFO(1, 1));
        put(rela + i * sizeof(Rela), relocation);
      }
      break;
    }
    case Shape::kTags: {
      size_t at = dynamic;
      for (int64_t tag = 0x100; at + 2 * sizeof(Dyn) <= size; ++tag) at = dyn(at, tag, 0);
      at = damaged ? dyn(at, 0x99, 0) : dyn(at, DT_NULL, 0);
      dynamic_size = at - dynamic;
      break;
    }
  }

  Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
  header.e_ident[EI_DATA] =
      __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
  header.e_ident[EI_VERSION] = EV_CURRENT;
  header.e_type = ET_DYN;
  header.e_machine = kMachine;
  header.e_version = EV_CURRENT;
  header.e_phoff = sizeof(Ehdr);
  header.e_ehsize = sizeof(Ehdr);
  header.e_phentsize = sizeof(Phdr);
  header.e_phnum = static_cast<uint16_t>(segments);
  put(0, header);
  for (size_t i = 0; i < tiny; ++i) {
    Phdr p{};
    p.p_type = PT_LOAD;
    p.p_flags = PF_R;
    p.p_vaddr = p.p_paddr = 0x40000000 + i * 0x1000;
    p.p_memsz = 16;
    p.p_align = 0x1000;
    put(sizeof(Ehdr) + i * sizeof(Phdr), p);
  }
  Phdr whole{};
  whole.p_type = PT_LOAD;
  whole.p_flags = PF_R | PF_W;
  whole.p_filesz = whole.p_memsz = size;
  whole.p_align = 0x1000;
  put(sizeof(Ehdr) + tiny * sizeof(Phdr), whole);
  Phdr table{};
  table.p_type = PT_DYNAMIC;
  table.p_flags = PF_R | PF_W;
  table.p_offset = table.p_vaddr = table.p_paddr = dynamic;
  table.p_filesz = table.p_memsz = dynamic_size;
  table.p_align = 8;
  put(sizeof(Ehdr) + (tiny + 1) * sizeof(Phdr), table);
  return file;
}

}  // namespace crafted_elf
