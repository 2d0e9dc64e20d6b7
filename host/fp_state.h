// The process's floating-point control state: the x87 control word
// (precision, rounding, exception masks) and the SSE control bits of MXCSR.
// A gauge runs inside a process it does not own and must leave both as it
// found them; the host compares them around every call into a module.
#pragma once

#include <cstdint>
#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace host {

struct FpState {
  uint16_t x87_control = 0;
  uint32_t mxcsr_control = 0;  // MXCSR without its sticky exception flags (bits 0-5)

  friend bool operator==(const FpState&, const FpState&) = default;
};

inline FpState ReadFpState() {
  FpState state;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("fnstcw %0" : "=m"(state.x87_control));
  state.mxcsr_control = _mm_getcsr() & ~0x3Fu;
#endif
  return state;
}

// Sets the x87 precision control (bits 8-9): 24, 53 or 64 significant bits,
// as a host process may leave it. Returns false where there is no x87 unit.
inline bool SetX87Precision(int bits) {
#if defined(__i386__) || defined(__x86_64__)
  uint16_t control = 0;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  const uint16_t field = bits == 24 ? 0x000 : bits == 53 ? 0x200 : 0x300;
  control = static_cast<uint16_t>((control & ~0x300) | field);
  __asm__ volatile("fldcw %0" : : "m"(control));
  return true;
#else
  (void)bits;
  return false;
#endif
}

}  // namespace host
