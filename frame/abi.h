// The binary contract between a gauge module and whatever loads it: the
// calling convention, what a module exports, and the layout of every record
// (frame/record_layout.h). Every other frame header includes this one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/record_layout.h"

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

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "only 32- and 64-bit targets");
static_assert(sizeof(double) == 8, "records carry IEEE 64-bit floats");
