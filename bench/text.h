// Words and text from outside (the command line, scripts): whole numbers
// read exactly, and control bytes made visible in messages.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace bench {

// The whole word as a number in `base`: digits only (a leading '+' or, for a
// signed type, '-' allowed), and within the type's range.
template <typename T>
bool WholeWord(std::string_view word, int base, T* value) {
  if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
  T number{};
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), number, base);
  if (word.empty() || ec != std::errc() || end != word.data() + word.size()) return false;
  *value = number;
  return true;
}

// Whether two words are the same, ASCII letter case ignored.
inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Text with every control byte written out as \xNN (so a NUL or an escape
// in a script shows in a message); with `keep_layout`, line breaks and tabs
// stay as they are.
inline std::string Visible(std::string_view text, bool keep_layout = false) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 || byte == 0x7F) && !(keep_layout && (c == '\n' || c == '\t'))) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace bench
