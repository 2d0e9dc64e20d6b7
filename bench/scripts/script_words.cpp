// The words of a script: a line split into words, and the words messages
// are made of (ids in hex, numbers, quoted text, key events by name).
#include "bench/aircraft/aircraft.h"
#include "bench/scripts/script.h"

namespace bench::script {

bool Tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
          token.text += line[i++];
        } else {
          token.text += d;
        }
      }
      if (!closed) {
        *error = "the quoted text " + std::string("\"") + token.text +
                 " has no closing quote: end it with \"";
        return false;
      }
      if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        *error = "a closing quote must be followed by a space or the end of the line";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        token.text += line[i++];
      }
    }
    tokens->push_back(std::move(token));
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string KeyText(uint32_t id) {
  const std::string name = Aircraft::KeyEventName(id);
  return Hex(id) + (name.empty() ? " (not a key event the bench knows)" : " (" + name + ")");
}

}  // namespace bench::script
