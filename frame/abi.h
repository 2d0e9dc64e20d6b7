// The binary contract between a gauge module and whatever loads it: the
// calling convention, what a module exports, and how every record's layout is
// pinned down at compile time. Every other frame header includes this one.
#pragma once

#include <cstddef>
#include <cstdint>

// Every function that crosses between the host and a module, or between a
// module and the sound library, uses this convention: __stdcall on 32-bit x86
// (callee pops its arguments), the platform's only convention elsewhere.
#if defined(_M_IX86) || defined(__i386__)
#  if defined(_MSC_VER)
#    define GAUGE_CALL __stdcall
#  else
#    define GAUGE_CALL __attribute__((stdcall))
#  endif
#else
#  define GAUGE_CALL
#endif

// Marks the two exported records. On ELF the module is built with hidden
// visibility and a version script, so this is the only way out. On Windows
// the module's .def file names the exports (data, not functions).
#if defined(_WIN32)
#  define GAUGE_EXPORT
#else
#  define GAUGE_EXPORT __attribute__((visibility("default")))
#endif

// Offsets are given for the 32-bit module the simulator loads; the native
// 64-bit build keeps the same field order and widths, with 8-byte pointers
// that stay 4-byte aligned under pack(4).
#define GAUGE_LAYOUT(type, field, off32, off64)                                 \
  static_assert(offsetof(type, field) == (sizeof(void*) == 4 ? (off32) : (off64)), \
                #type "." #field " is not at its contract offset")
#define GAUGE_SIZE(type, size32, size64)                                        \
  static_assert(sizeof(type) == (sizeof(void*) == 4 ? (size32) : (size64)),     \
                "sizeof(" #type ") differs from the contract")

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "only 32- and 64-bit targets");
static_assert(sizeof(double) == 8, "records carry IEEE 64-bit floats");
