// The operating system's library loader, as the sound binding uses it. On
// Windows these are the real calls; elsewhere a small layer over dlopen takes
// their place, with the same meaning:
//   LoadLibraryA("GaugeSound")      loads libGaugeSound.so by the dynamic
//                                   linker's normal search, one reference more
//   GetModuleHandleA("GaugeSound")  the already loaded library, no new
//                                   reference; null when it is not loaded
//   GetProcAddress / FreeLibrary    dlsym / dlclose
#pragma once

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
namespace os {
using LibraryHandle = HMODULE;
using ::FreeLibrary;
using ::GetModuleHandleA;
using ::GetProcAddress;
using ::LoadLibraryA;
}  // namespace os
#else
namespace os {
using LibraryHandle = void*;
using ProcAddress = void*;
LibraryHandle LoadLibraryA(const char* name);
LibraryHandle GetModuleHandleA(const char* name);
ProcAddress GetProcAddress(LibraryHandle library, const char* name);
int FreeLibrary(LibraryHandle library);
}  // namespace os
#endif
