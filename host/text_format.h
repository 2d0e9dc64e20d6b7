// Numbers written into messages, the same way by the host, the bench, the
// live panel and gauge-check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Text with every control byte written out as \xNN, so that a NUL, a line
// break or a terminal escape in a file name or a script shows in a message
// instead of acting; with `keep_layout`, line breaks and tabs stay as they are.
std::string Visible(std::string_view text, bool keep_layout = false);

// Outside text quoted in a message (a loader's words, a name read from a
// file): as Visible, and past `limit` bytes its start and end with what was
// left out counted between, so that a message stays one readable line
// whatever the outside gave.
inline constexpr size_t kQuoteLimit = 240;
std::string Quoted(std::string_view text, size_t limit = kQuoteLimit);

}  // namespace host
