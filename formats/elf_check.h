// A look at a native module file before the system's loader maps it. The
// loader trusts the file's tables: a shared object cut short (a partial
// copy) or with a damaged header makes it read or map past the end of the
// file and die with SIGBUS or SIGSEGV, with no message. These checks refuse
// such a file with a reason instead: the ELF header matches this process
// (class, byte order, machine) and names a shared object; the program
// header table, every segment's bytes, the dynamic table and what its
// entries point at, and the section header table all lie inside the file
// and, where the loader reads them from memory, inside a loaded segment;
// every relocation writes inside a loaded segment and names a symbol
// inside the symbol table. Each walk is linear or n log n in the size of
// the file, whatever its tables hold: a crafted file costs no more to check
// than its size.
//
// They do not make a file safe to run: hash tables, version records,
// initialisers and the code itself are the module's. Loading a file the program did not build is
// done in a child process (host/trial.h), where a crash becomes a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "formats/limits.h"

namespace formats {

// The checks on a file's bytes. False with the reason in `error`.
bool CheckElfImage(const uint8_t* data, size_t size, std::string* error);
// The same on a file, read whole (at most kMaxModuleFileBytes).
bool CheckElfFile(const std::filesystem::path& path, std::string* error);

}  // namespace formats
