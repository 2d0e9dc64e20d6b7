#include "viewer/http_message.h"

#include <algorithm>

namespace viewer {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool NameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

std::string Request::header(std::string_view name) const {
  const auto found = headers.find(name);
  return found == headers.end() ? std::string() : found->second;
}

std::string Request::param(const std::string& name) const {
  const auto found = params.find(name);
  return found == params.end() ? std::string() : found->second;
}

std::string PercentDecoded(std::string_view text, bool plus_is_space) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      decoded += plus_is_space && c == '+' ? ' ' : c;
    }
  }
  return decoded;
}

void SplitTarget(std::string_view target, Request* request) {
  const size_t question = target.find('?');
  request->path = PercentDecoded(target.substr(0, question), false);
  request->params.clear();
  if (question == std::string_view::npos) return;
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    request->params.emplace(
        PercentDecoded(pair.substr(0, equals), true),
        equals == std::string_view::npos ? "" : PercentDecoded(pair.substr(equals + 1), true));
  }
}

}  // namespace viewer
