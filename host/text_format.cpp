#include "host/text_format.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace host {

std::string Format(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
    text.assign(small, static_cast<size_t>(length));
  } else if (length >= 0) {
    text.resize(static_cast<size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

std::string Hex(uint64_t value) { return Format("0x%" PRIX64, value); }

std::string Number(double value, int significant) { return Format("%.*g", significant, value); }

std::string Visible(std::string_view text, bool keep_layout) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 || byte == 0x7F) && !(keep_layout && (c == '\n' || c == '\t'))) {
      out += Format("\\x%02X", byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(std::string_view text, size_t limit) {
  if (text.size() <= limit) return Visible(text);
  // The start and the end (where a loader gives its reason), each cut
  // between characters, never inside one.
  const auto continuation = [&](size_t at) {
    return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  size_t head = limit * 2 / 3;
  while (head > 0 && continuation(head)) --head;
  size_t tail = text.size() - (limit - limit * 2 / 3);
  while (tail < text.size() && continuation(tail)) ++tail;
  return Visible(text.substr(0, head)) +
         Format(" ... (%zu bytes left out) ... ", tail - head) + Visible(text.substr(tail));
}

}  // namespace host
