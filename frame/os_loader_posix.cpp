#include "frame/os_loader.h"

#include <dlfcn.h>

namespace os {
namespace {

// "GaugeSound" -> "libGaugeSound.so". Names that do not fit are not loaded.
bool SharedObjectName(const char* name, char (&out)[128]) {
  size_t length = 0;
  const char* const parts[] = {"lib", name, ".so"};
  for (const char* part : parts) {
    for (; *part != '\0'; ++part) {
      if (length + 1 >= sizeof out) return false;
      out[length++] = *part;
    }
  }
  out[length] = '\0';
  return true;
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
