#include "frame/os_loader.h"

#include <dlfcn.h>
#include <cstdio>

namespace os {
namespace {

// "GaugeSound" -> "libGaugeSound.so". Names that do not fit are not loaded.
bool SharedObjectName(const char* name, char (&out)[128]) {
  const int written = std::snprintf(out, sizeof out, "lib%s.so", name);
  return written > 0 && written < static_cast<int>(sizeof out);
}

}  // namespace

LibraryHandle LoadLibraryA(const char* name) {
  char file[128];
  if (!SharedObjectName(name, file)) return nullptr;
  return dlopen(file, RTLD_NOW | RTLD_LOCAL);
}

LibraryHandle GetModuleHandleA(const char* name) {
  char file[128];
  if (!SharedObjectName(name, file)) return nullptr;
  // RTLD_NOLOAD still counts a reference; give it back at once. The handle
  // stays valid for as long as whoever loaded the library keeps it.
  LibraryHandle library = dlopen(file, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (library != nullptr) dlclose(library);
  return library;
}

ProcAddress GetProcAddress(LibraryHandle library, const char* name) {
  return library != nullptr ? dlsym(library, name) : nullptr;
}

int FreeLibrary(LibraryHandle library) { return library != nullptr && dlclose(library) == 0; }

}  // namespace os
