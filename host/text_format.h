// Numbers written into messages, the same way by the host, the bench, the
// live panel and gauge-check.
#pragma once

#include <cstdint>
#include <string>

// The compiler checks each format against its arguments. MinGW's C++ library
// formats as the C standard says (not as the system's msvcrt), hence
// gnu_printf there.
#if defined(__GNUC__) && defined(_WIN32)
#  define HOST_PRINTF_FORMAT(format_index, first_arg) \
    __attribute__((format(gnu_printf, format_index, first_arg)))
#elif defined(__GNUC__)
#  define HOST_PRINTF_FORMAT(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#else
#  define HOST_PRINTF_FORMAT(format_index, first_arg)
#endif

namespace host {

// printf into a std::string, of whatever length it comes to.
std::string Format(const char* format, ...) HOST_PRINTF_FORMAT(1, 2);

std::string Hex(uint64_t value);                          // 0x2F1
std::string Number(double value, int significant = 10);  // %g with that many digits

}  // namespace host
