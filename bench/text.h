// Words and text from outside (the command line, scripts): whole numbers
// read exactly, and control bytes made visible in messages.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "host/text_format.h"

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

using host::Visible;

}  // namespace bench
