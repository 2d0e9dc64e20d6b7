#include "bench/scenario.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "bench/commands.h"

namespace bench {
namespace {

// ---- words of a line ---------------------------------------------------------

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits a line into words; "double quotes" hold spaces (\" and \\ inside),
// '#' at the start of a word begins a comment.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
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

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%" PRIX32, value);
  return text;
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string Fixed2(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string Quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string KeyText(uint32_t id) {
  const std::string name = Aircraft::KeyEventName(id);
  return Hex(id) + (name.empty() ? " (not a key event the bench knows)" : " (" + name + ")");
}

// ---- the commands ---------------------------------------------------------------

enum class Kind {
  kLoad, kSet, kSetBcd, kHold, kHoldBcd, kRelease, kNamed, kUnregister, kPartner,
  kPower, kAvionics, kLights, kEngine, kDimmer, kAmbient, kUpdate, kClick, kClickRandom,
  kKey, kSeed, kShow, kEcho, kSnapshot, kExpect,
};

enum class Expect {
  kKey, kNoKey, kClick, kNoClick, kText, kHidden, kShown, kLit, kPicture, kLamp, kNeedle,
  kNamed, kVar, kBaro, kNote,
};

// An element of a gauge: its number in the chain (1 is the face), the
// element with a resource id, or a read-out of the radio display by name.
struct ElementRef {
  enum How { kNumber, kResource, kReadout } how = kNumber;
  uint32_t number = 0;
  std::string name;
};

struct Command {
  int line = 0;
  Kind kind = Kind::kLoad;
  Expect expect = Expect::kKey;
  std::vector<std::string> gauges;
  std::string gauge;
  std::string text;  // names, files, texts
  uint32_t id = 0;
  uint32_t bits = 0;
  double number = 0.0;
  bool integer = false;  // expect var: compare as a 32-bit integer
  bool none = false;     // expect named ... none
  double tolerance = 0.0;
  int64_t count = 0;
  int32_t x = 0, y = 0;
  bool by_area = false;
  bool on = false;
  bool realtime = false;
  int repeats = 0;  // click ... hold
  int scale = 1;
  bool overlay = false;
  Ambient ambient = Ambient::kDay;
  ElementRef element;
};

struct Usage {
  const char* verb;
  const char* usage;
};

const Usage kUsages[] = {
    {"load", "load [gauge...]"},
    {"set", "set <var-id> <number>"},
    {"set-bcd", "set-bcd <var-id> <hex digits>"},
    {"hold", "hold <var-id> <number>"},
    {"hold-bcd", "hold-bcd <var-id> <hex digits>"},
    {"release", "release <var-id>"},
    {"named", "named <name> <integer>"},
    {"unregister", "unregister <name>"},
    {"partner", "partner pfd|dimmer present|absent"},
    {"power", "power on|off"},
    {"avionics", "avionics on|off"},
    {"lights", "lights on|off"},
    {"engine", "engine 1|2 on|off"},
    {"dimmer", "dimmer bright|dim"},
    {"ambient", "ambient day|dusk|night"},
    {"update", "update [count] [realtime]"},
    {"click", "click <gauge> <x> <y> [hold <repeats>]  or  click <gauge> area <n> [hold <repeats>]"},
    {"click-random", "click-random <gauge> <count>"},
    {"key", "key <key-event id or name>"},
    {"seed", "seed <number>"},
    {"show", "show [gauge]"},
    {"echo", "echo <text>"},
    {"snapshot", "snapshot <file.png> [gauge] [scale <n>] [overlay]"},
    {"expect", "expect key|no-key|click|no-click|text|hidden|shown|lit|picture|lamp|needle|named|var|baro|note ..."},
};

struct ExpectUsage {
  const char* what;
  Expect expect;
  const char* usage;
};

const ExpectUsage kExpectUsages[] = {
    {"key", Expect::kKey, "expect key <key-event id or name>"},
    {"no-key", Expect::kNoKey, "expect no-key"},
    {"click", Expect::kClick, "expect click <sound file>"},
    {"no-click", Expect::kNoClick, "expect no-click"},
    {"text", Expect::kText, "expect text <gauge> <element> \"<text>\""},
    {"hidden", Expect::kHidden, "expect hidden <gauge> <element>"},
    {"shown", Expect::kShown, "expect shown <gauge> <element>"},
    {"lit", Expect::kLit, "expect lit <gauge> <element> on|off"},
    {"picture", Expect::kPicture, "expect picture <gauge> <element> <index>"},
    {"lamp", Expect::kLamp, "expect lamp <gauge> <element> on|off"},
    {"needle", Expect::kNeedle, "expect needle <gauge> <value> [within <tolerance>]"},
    {"named", Expect::kNamed, "expect named <name> <integer>|none"},
    {"var", Expect::kVar, "expect var <var-id> <number> [within <tolerance>]"},
    {"baro", Expect::kBaro, "expect baro <inHg>"},
    {"note", Expect::kNote, "expect note \"<part of a host note>\""},
};

const struct {
  const char* name;
  uint32_t var_id;
} kReadouts[] = {
    {"com1", var::kCom1}, {"com1-preset", var::kCom1Standby},
    {"com2", var::kCom2}, {"com2-preset", var::kCom2Standby},
    {"nav1", var::kNav1}, {"nav1-preset", var::kNav1Standby},
    {"nav2", var::kNav2}, {"nav2-preset", var::kNav2Standby},
    {"adf", var::kAdf},   {"atc", var::kTransponder},
};

// ---- reading a script ---------------------------------------------------------

class Parser {
 public:
  Parser(std::string file, std::vector<ScenarioProblem>* errors)
      : file_(std::move(file)), errors_(errors) {}

  void Parse(std::string_view text, std::vector<Command>* commands) {
    // A byte-order mark, as some editors write at the start of UTF-8 text.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
      ++number;
      std::vector<Token> tokens;
      std::string why;
      if (!Tokenize(line, &tokens, &why)) {
        Error(number, why);
        continue;
      }
      if (tokens.empty()) continue;
      Command command;
      command.line = number;
      line_ = number;
      if (ParseCommand(tokens, &command)) commands->push_back(std::move(command));
    }
    if (commands->empty() && errors_->empty()) {
      Error(0, "the script has no commands (it is empty, or holds only comments): "
               "docs/scenarios.md lists the commands");
    }
  }

 private:
  bool Error(int line, const std::string& message) {
    errors_->push_back({file_, line, Visible(message)});
    return false;
  }
  bool Error(const std::string& message) { return Error(line_, message); }

  static const char* UsageOf(const std::string& verb) {
    for (const Usage& usage : kUsages) {
      if (verb == usage.verb) return usage.usage;
    }
    return "";
  }

  bool Arity(const std::vector<Token>& t, size_t low, size_t high, const char* usage) {
    const size_t args = t.size() - 1;
    if (args >= low && args <= high) return true;
    return Error(std::string(args < low ? "too few" : "too many") + " words for '" + t[0].text +
                 "': write " + usage);
  }

  bool VarId(const Token& token, uint32_t* id) {
    const std::string& s = token.text;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (!WholeWord(hex ? std::string_view(s).substr(2) : std::string_view(s), hex ? 16 : 10, id)) {
      return Error("'" + s + "' is not a variable id: write it in hex, like 0x2f1");
    }
    return true;
  }

  bool HexBits(const Token& token, uint32_t* bits) {
    std::string_view s = token.text;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.size() > 8 || !WholeWord(s, 16, bits)) {
      return Error("'" + token.text +
                   "' is not a BCD value: write up to eight hex digits, like 2165 for 121.65");
    }
    return true;
  }

  bool Real(const Token& token, double* value, const char* what) {
    const std::string& s = token.text;
    const bool hex = s.find('x') != std::string::npos || s.find('X') != std::string::npos;
    std::string_view digits = s;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
    double number = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec == std::errc::result_out_of_range) {
      return Error("'" + s + "' is out of the range of " + what +
                   ": write a number within 1e-300 to 1e300 in size, or inf");
    }
    if (digits.empty() || hex || ec != std::errc() || end != digits.data() + digits.size()) {
      return Error("'" + s + "' is not " + what + ": write a decimal number, like 28.0" +
                   (hex ? " (BCD values go with set-bcd, hold-bcd or a hex 'expect var')" : ""));
    }
    *value = number;
    return true;
  }

  bool Integer(const Token& token, int64_t low, int64_t high, int64_t* value, const char* what) {
    const std::string& s = token.text;
    int64_t number = 0;
    if (!WholeWord(s, 10, &number) || number < low || number > high) {
      return Error("'" + s + "' is not " + what + ": write a whole number from " +
                   std::to_string(low) + " to " + std::to_string(high));
    }
    *value = number;
    return true;
  }

  bool OnOff(const Token& token, bool* on, const char* yes = "on", const char* no = "off") {
    if (token.text == yes || token.text == no) {
      *on = token.text == yes;
      return true;
    }
    return Error("'" + token.text + "': write " + yes + " or " + no);
  }

  bool Gauge(const Token& token, std::string* gauge) {
    std::string why;
    if (!CheckGaugeName(token.text, &why)) return Error(why);
    if (!loaded_any_) {
      return Error("gauge " + token.text +
                   " is used before the panel is loaded: add 'load' (or 'load " + token.text +
                   "') on a line before this one");
    }
    if (std::find(loaded_.begin(), loaded_.end(), token.text) == loaded_.end()) {
      return Error("gauge " + token.text + " is not loaded: add it to the 'load' line (line " +
                   std::to_string(load_line_) + ")");
    }
    *gauge = token.text;
    return true;
  }

  bool Element(const Token& token, ElementRef* element) {
    const std::string& s = token.text;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      element->how = ElementRef::kResource;
      return VarId(token, &element->number);
    }
    if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
      int64_t number = 0;
      if (!Integer(token, 1, 4096, &number, "an element number")) return false;
      element->how = ElementRef::kNumber;
      element->number = static_cast<uint32_t>(number);
      return true;
    }
    uint32_t var_id = 0;
    if (ReadoutVariable(s, &var_id)) {
      element->how = ElementRef::kReadout;
      element->name = s;
      element->number = var_id;
      return true;
    }
    return Error("'" + s +
                 "' names no element: give its number in the chain (1 is the face), its "
                 "resource id (0x1200) or a read-out of the radio display (COM1, COM1-PRESET, "
                 "COM2, COM2-PRESET, NAV1, NAV1-PRESET, NAV2, NAV2-PRESET, ADF, ATC)");
  }

  bool KeyEvent(const Token& token, uint32_t* id) {
    if (!token.quoted && token.text.size() > 2 && token.text[0] == '0' &&
        (token.text[1] == 'x' || token.text[1] == 'X')) {
      return VarId(token, id);
    }
    if (Aircraft::KeyEventByName(token.text, id)) return true;
    return Error("'" + token.text +
                 "' is no key event: give its id in hex (0x1038C) or the bench's name in "
                 "quotes (\"COM2 swap\"; docs/aircraft.md lists them)");
  }

  // "within <tolerance>" at t[at], if there.
  bool Tolerance(const std::vector<Token>& t, size_t at, double* tolerance, const char* usage) {
    if (t.size() == at) return true;
    if (t.size() != at + 2 || t[at].text != "within") {
      return Error("unexpected '" + t[at].text + "': write " + usage);
    }
    if (!Real(t[at + 1], tolerance, "a tolerance")) return false;
    if (!std::isfinite(*tolerance)) {
      return Error("'" + t[at + 1].text + "' is not a tolerance: write a finite number from 0 up");
    }
    if (*tolerance < 0.0) return Error("a tolerance cannot be negative");
    return true;
  }

  bool ParseCommand(const std::vector<Token>& t, Command* c) {
    const std::string& verb = t[0].text;
    const char* usage = UsageOf(verb);
    if (*usage == '\0') {
      std::string message = "unknown command '" + verb + "'";
      for (const Usage& known : kUsages) {
        if (EditDistance(verb, known.verb) <= 2) {
          message += " (did you mean '" + std::string(known.verb) + "'?)";
          break;
        }
      }
      return Error(message + "; docs/scenarios.md lists the commands");
    }
    if (verb == "load") {
      c->kind = Kind::kLoad;
      if (loaded_any_) {
        return Error("the panel is already loaded on line " + std::to_string(load_line_) +
                     ": list every gauge on that one 'load' line");
      }
      for (size_t i = 1; i < t.size(); ++i) {
        std::string why;
        if (!CheckGaugeName(t[i].text, &why)) return Error(why);
        if (std::find(c->gauges.begin(), c->gauges.end(), t[i].text) != c->gauges.end()) {
          return Error("gauge " + t[i].text + " is listed twice");
        }
        c->gauges.push_back(t[i].text);
      }
      loaded_any_ = true;
      load_line_ = line_;
      if (c->gauges.empty()) {
        loaded_.assign(std::begin(kGaugeNames), std::end(kGaugeNames));
      } else {
        loaded_ = c->gauges;
      }
      return true;
    }
    if (verb == "set" || verb == "hold") {
      c->kind = verb == "set" ? Kind::kSet : Kind::kHold;
      return Arity(t, 2, 2, usage) && VarId(t[1], &c->id) && Real(t[2], &c->number, "a number");
    }
    if (verb == "set-bcd" || verb == "hold-bcd") {
      c->kind = verb == "set-bcd" ? Kind::kSetBcd : Kind::kHoldBcd;
      return Arity(t, 2, 2, usage) && VarId(t[1], &c->id) && HexBits(t[2], &c->bits);
    }
    if (verb == "release") {
      c->kind = Kind::kRelease;
      return Arity(t, 1, 1, usage) && VarId(t[1], &c->id);
    }
    if (verb == "named") {
      c->kind = Kind::kNamed;
      if (!Arity(t, 2, 2, usage)) return false;
      c->text = t[1].text;
      return Integer(t[2], INT32_MIN, INT32_MAX, &c->count, "a 32-bit integer");
    }
    if (verb == "unregister") {
      c->kind = Kind::kUnregister;
      if (!Arity(t, 1, 1, usage)) return false;
      c->text = t[1].text;
      return true;
    }
    if (verb == "partner") {
      c->kind = Kind::kPartner;
      if (!Arity(t, 2, 2, usage)) return false;
      if (t[1].text != "pfd" && t[1].text != "dimmer") {
        return Error("'" + t[1].text + "' is no partner gauge: write pfd or dimmer");
      }
      c->text = t[1].text;
      return OnOff(t[2], &c->on, "present", "absent");
    }
    if (verb == "power" || verb == "avionics" || verb == "lights") {
      c->kind = verb == "power" ? Kind::kPower : verb == "avionics" ? Kind::kAvionics : Kind::kLights;
      return Arity(t, 1, 1, usage) && OnOff(t[1], &c->on);
    }
    if (verb == "engine") {
      c->kind = Kind::kEngine;
      return Arity(t, 2, 2, usage) && Integer(t[1], 1, 2, &c->count, "an engine") &&
             OnOff(t[2], &c->on);
    }
    if (verb == "dimmer") {
      c->kind = Kind::kDimmer;
      if (!Arity(t, 1, 1, usage)) return false;
      if (!OnOff(t[1], &c->on, "bright", "dim")) return false;
      c->count = c->on ? 1 : 2;
      return true;
    }
    if (verb == "ambient") {
      c->kind = Kind::kAmbient;
      if (!Arity(t, 1, 1, usage)) return false;
      if (t[1].text != "day" && t[1].text != "dusk" && t[1].text != "night") {
        return Error("'" + t[1].text + "' is no ambient light: write day, dusk or night");
      }
      c->ambient = t[1].text == "day" ? Ambient::kDay
                   : t[1].text == "dusk" ? Ambient::kDusk
                                         : Ambient::kNight;
      return true;
    }
    if (verb == "update") {
      c->kind = Kind::kUpdate;
      c->count = 1;
      if (!Arity(t, 0, 2, usage)) return false;
      size_t next = 1;
      if (next < t.size() && t[next].text != "realtime") {
        if (!Integer(t[next], 1, 1000000, &c->count, "a count of updates")) return false;
        ++next;
      }
      if (next < t.size()) {
        if (t[next].text != "realtime") {
          return Error("unexpected '" + t[next].text + "': write " + usage);
        }
        c->realtime = true;
        ++next;
      }
      if (next != t.size()) return Error("unexpected '" + t[next].text + "': write " + usage);
      return true;
    }
    if (verb == "click") {
      c->kind = Kind::kClick;
      if (!Arity(t, 3, 5, usage) || !Gauge(t[1], &c->gauge)) return false;
      int64_t value = 0;
      if (t[2].text == "area") {
        c->by_area = true;
        if (!Integer(t[3], 1, 4096, &value, "an area number (1 is the first)")) return false;
        c->count = value;
      } else {
        if (!Integer(t[2], INT32_MIN, INT32_MAX, &value, "an x position")) return false;
        c->x = static_cast<int32_t>(value);
        if (!Integer(t[3], INT32_MIN, INT32_MAX, &value, "a y position")) return false;
        c->y = static_cast<int32_t>(value);
      }
      if (t.size() == 4) return true;
      if (t.size() != 6 || t[4].text != "hold") {
        return Error("unexpected '" + t[4].text + "': write " + usage);
      }
      if (!Integer(t[5], 0, 10000, &value, "a number of repeats")) return false;
      c->repeats = static_cast<int>(value);
      return true;
    }
    if (verb == "click-random") {
      c->kind = Kind::kClickRandom;
      return Arity(t, 2, 2, usage) && Gauge(t[1], &c->gauge) &&
             Integer(t[2], 1, 100000, &c->count, "a number of clicks");
    }
    if (verb == "key") {
      c->kind = Kind::kKey;
      return Arity(t, 1, 1, usage) && KeyEvent(t[1], &c->id);
    }
    if (verb == "seed") {
      c->kind = Kind::kSeed;
      if (!Arity(t, 1, 1, usage)) return false;
      uint64_t seed = 0;
      if (!WholeWord(t[1].text, 10, &seed)) {
        return Error("'" + t[1].text + "' is not a seed: write a whole number from 0 to " +
                     std::to_string(UINT64_MAX) + ", like 42");
      }
      c->count = static_cast<int64_t>(seed);
      return true;
    }
    if (verb == "show") {
      c->kind = Kind::kShow;
      return Arity(t, 0, 1, usage) && (t.size() == 1 || Gauge(t[1], &c->gauge));
    }
    if (verb == "echo") {
      c->kind = Kind::kEcho;
      for (size_t i = 1; i < t.size(); ++i) c->text += (i > 1 ? " " : "") + t[i].text;
      return true;
    }
    if (verb == "snapshot") {
      c->kind = Kind::kSnapshot;
      if (!Arity(t, 1, 5, usage)) return false;
      c->text = t[1].text;
      if (c->text.size() < 5 || Lower(c->text.substr(c->text.size() - 4)) != ".png") {
        return Error("'" + c->text + "': a snapshot is a PNG file, name it <something>.png");
      }
      if (!loaded_any_) {
        return Error("nothing to take a snapshot of yet: add a 'load' line before this one");
      }
      for (size_t i = 2; i < t.size(); ++i) {
        if (t[i].text == "overlay") {
          c->overlay = true;
        } else if (t[i].text == "scale" && i + 1 < t.size()) {
          int64_t scale = 1;
          if (!Integer(t[++i], 1, 8, &scale, "a scale")) return false;
          c->scale = static_cast<int>(scale);
        } else if (i == 2 && t[i].text != "scale") {
          if (!Gauge(t[i], &c->gauge)) return false;
        } else {
          return Error("unexpected '" + t[i].text + "': write " + usage);
        }
      }
      return true;
    }
    // expect
    c->kind = Kind::kExpect;
    if (t.size() < 2) return Error("'expect' needs what to expect: write " + std::string(usage));
    const ExpectUsage* what = nullptr;
    for (const ExpectUsage& known : kExpectUsages) {
      if (t[1].text == known.what) what = &known;
    }
    if (what == nullptr) {
      return Error("cannot expect '" + t[1].text + "': write " + usage);
    }
    c->expect = what->expect;
    const std::vector<Token> rest(t.begin() + 1, t.end());  // rest[0] is the kind
    auto arity = [&](size_t low, size_t high) {
      const size_t args = rest.size() - 1;
      if (args >= low && args <= high) return true;
      return Error(std::string(args < low ? "too few" : "too many") + " words for 'expect " +
                   rest[0].text + "': write " + what->usage);
    };
    switch (what->expect) {
      case Expect::kKey:
        return arity(1, 1) && KeyEvent(rest[1], &c->id);
      case Expect::kNoKey:
      case Expect::kNoClick:
        return arity(0, 0);
      case Expect::kClick:
        if (!arity(1, 1)) return false;
        c->text = rest[1].text;
        return true;
      case Expect::kText:
        if (!arity(3, 3) || !Gauge(rest[1], &c->gauge) || !Element(rest[2], &c->element)) {
          return false;
        }
        c->text = rest[3].text;
        return true;
      case Expect::kHidden:
      case Expect::kShown:
        return arity(2, 2) && Gauge(rest[1], &c->gauge) && Element(rest[2], &c->element);
      case Expect::kLit:
      case Expect::kLamp:
        return arity(3, 3) && Gauge(rest[1], &c->gauge) && Element(rest[2], &c->element) &&
               OnOff(rest[3], &c->on);
      case Expect::kPicture:
        return arity(3, 3) && Gauge(rest[1], &c->gauge) && Element(rest[2], &c->element) &&
               Real(rest[3], &c->number, "a picture index");
      case Expect::kNeedle:
        return arity(2, 4) && Gauge(rest[1], &c->gauge) &&
               Real(rest[2], &c->number, "a needle value") &&
               Tolerance(rest, 3, &c->tolerance, what->usage);
      case Expect::kNamed: {
        if (!arity(2, 2)) return false;
        c->text = rest[1].text;
        if (rest[2].text == "none") {
          c->none = true;
          return true;
        }
        return Integer(rest[2], INT32_MIN, INT32_MAX, &c->count, "a 32-bit integer (or none)");
      }
      case Expect::kVar: {
        if (!arity(2, 4) || !VarId(rest[1], &c->id)) return false;
        const std::string& value = rest[2].text;
        if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
          c->integer = true;
          if (!HexBits(rest[2], &c->bits)) return false;
          if (rest.size() > 3) return Error("a hex value is compared exactly: drop the 'within'");
          return true;
        }
        return Real(rest[2], &c->number, "a number") &&
               Tolerance(rest, 3, &c->tolerance, what->usage);
      }
      case Expect::kBaro: {
        if (!arity(1, 1) || !Real(rest[1], &c->number, "a pressure in inHg")) return false;
        constexpr double kLow = Aircraft::kBaroLowHundredths / 100.0;
        constexpr double kHigh = Aircraft::kBaroHighHundredths / 100.0;
        if (!(c->number >= kLow && c->number <= kHigh)) {
          return Error("'" + rest[1].text + "' is not an altimeter setting: write " + Fixed2(kLow) +
                       " to " + Fixed2(kHigh) + " inHg");
        }
        return true;
      }
      case Expect::kNote:
        if (!arity(1, 1)) return false;
        c->text = rest[1].text;
        return true;
    }
    return false;
  }

  std::string file_;
  std::vector<ScenarioProblem>* errors_;
  int line_ = 0;
  bool loaded_any_ = false;
  int load_line_ = 0;
  std::vector<std::string> loaded_;
};

// ---- running a script ---------------------------------------------------------

class Runner {
 public:
  Runner(const ScenarioOptions& options, ScenarioResult* result)
      : options_(options), result_(result) {}

  void Run(const std::vector<Command>& commands) {
    for (const Command& command : commands) {
      if (!Do(command)) return;
    }
  }

 private:
  // A script error: the scenario stops.
  bool Error(const Command& c, const std::string& said) {
    const std::string message = Visible(said, true);
    result_->errors.push_back({result_->file, c.line, message});
    Print("%s:%d: error: %s\n", Visible(result_->file).c_str(), c.line, message.c_str());
    return false;
  }

  // A failed expectation: the scenario goes on.
  void Fail(const Command& c, const std::string& said) {
    const std::string message = Visible(said, true);
    ++result_->failed;
    result_->failures.push_back({result_->file, c.line, message});
    Print("%s:%d: FAIL %s\n", Visible(result_->file).c_str(), c.line, message.c_str());
  }

  template <typename... Args>
  void Print(const char* format, Args... args) {
    if (options_.out != nullptr) std::fprintf(options_.out, format, args...);
  }

  host::Gauge* GaugeOf(const Command& c) {
    host::Gauge* gauge = panel_.Find(c.gauge);
    if (gauge == nullptr) Error(c, "gauge " + c.gauge + " is not on the panel");
    return gauge;
  }

  bool Do(const Command& c) {
    Aircraft& aircraft = panel_.aircraft();
    switch (c.kind) {
      case Kind::kLoad: {
        std::string why;
        if (!panel_.Open(options_.panel, c.gauges, &why)) return Error(c, why);
        return true;
      }
      case Kind::kSet: panel_.host().vars().Set(c.id, c.number); return true;
      case Kind::kSetBcd: panel_.host().vars().SetInteger(c.id, c.bits); return true;
      case Kind::kHold: aircraft.Hold(c.id, c.number); return true;
      case Kind::kHoldBcd: aircraft.HoldInteger(c.id, c.bits); return true;
      case Kind::kRelease: aircraft.Release(c.id); return true;
      case Kind::kNamed: panel_.SetNamed(c.text, static_cast<int32_t>(c.count)); return true;
      case Kind::kUnregister: panel_.UnregisterNamed(c.text); return true;
      case Kind::kPartner:
        if (c.text == "pfd") {
          aircraft.SetPfdPresent(c.on);
        } else {
          aircraft.SetDimmerPresent(c.on);
        }
        return true;
      case Kind::kPower: aircraft.SetBattery(c.on); return true;
      case Kind::kAvionics: aircraft.SetAvionics(c.on); return true;
      case Kind::kLights: aircraft.SetPanelLights(c.on); return true;
      case Kind::kEngine: aircraft.SetEngine(static_cast<int>(c.count), c.on); return true;
      case Kind::kDimmer: aircraft.SetDimmer(static_cast<int>(c.count)); return true;
      case Kind::kAmbient: ambient_ = c.ambient; return true;
      case Kind::kUpdate: Updates(c); return true;
      case Kind::kClick: return Click(c);
      case Kind::kClickRandom: return ClickRandom(c);
      case Kind::kKey: aircraft.OnKeyEvent(c.id, 0); return true;
      case Kind::kSeed:
        seed_ = static_cast<uint64_t>(c.count);
        seeded_ = false;
        seed_set_ = true;
        return true;
      case Kind::kShow: Show(c); return true;
      case Kind::kEcho: Print("%s\n", Visible(c.text).c_str()); return true;
      case Kind::kSnapshot: return Snapshot(c);
      case Kind::kExpect: return Check(c);
    }
    return true;
  }

  void Updates(const Command& c) {
    const bool paced = c.realtime && options_.realtime;
    const auto period = std::chrono::duration<double>(1.0 / 18.0);
    const auto start = std::chrono::steady_clock::now();
    const bool report = paced && options_.progress != nullptr && c.count >= 18;
    if (report && options_.out != nullptr) std::fflush(options_.out);
    if (report && !options_.progress_is_terminal) {
      std::fprintf(options_.progress, "%s:%d: %" PRId64 " updates in real time (%.1f s)\n",
                   result_->file.c_str(), c.line, c.count, static_cast<double>(c.count) / 18.0);
    }
    for (int64_t i = 0; i < c.count; ++i) {
      if (paced) {
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        period * static_cast<double>(i)));
      }
      panel_.Update();
      ++result_->updates;
      if (report && options_.progress_is_terminal && (i % 6 == 5 || i + 1 == c.count)) {
        std::fprintf(options_.progress, "\r%s:%d: update %" PRId64 " of %" PRId64 " (%.1f of %.1f s)",
                     result_->file.c_str(), c.line, i + 1, c.count,
                     static_cast<double>(i + 1) / 18.0, static_cast<double>(c.count) / 18.0);
        std::fflush(options_.progress);
      }
    }
    if (report && options_.progress_is_terminal) std::fprintf(options_.progress, "\n");
  }

  void StartClick(const std::string& what) {
    click_start_ = panel_.host().log().size();
    keys_taken_ = 0;
    sounds_taken_ = 0;
    clicked_ = true;
    last_click_ = what;
  }

  bool Click(const Command& c) {
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    int32_t x = c.x, y = c.y;
    if (c.by_area) {
      const std::vector<const MouseRect*> areas = gauge->MouseAreas();
      if (c.count > static_cast<int64_t>(areas.size())) {
        return Error(c, c.gauge + " has " + std::to_string(areas.size()) + " mouse areas; there is no area " +
                            std::to_string(c.count));
      }
      const MouseRect& area = *areas[static_cast<size_t>(c.count - 1)];
      x = area.x + area.width / 2;
      y = area.y + area.height / 2;
    }
    char what[96];
    std::snprintf(what, sizeof what, "%s at (%d, %d)", c.gauge.c_str(), x, y);
    StartClick(what);
    const int taken = panel_.Press(*gauge, x, y, c.repeats);
    if (taken == 0) last_click_ += ", where no mouse area took it";
    return true;
  }

  uint64_t Random() {
    if (!seeded_) {
      if (!seed_set_) {
        seed_ = options_.seed_given ? options_.seed : std::random_device{}();
        seed_set_ = true;
      }
      rng_.seed(seed_);
      seeded_ = true;
    }
    return rng_();
  }

  bool ClickRandom(const Command& c) {
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    const std::vector<const MouseRect*> areas = gauge->MouseAreas();
    if (areas.empty()) return Error(c, c.gauge + " has no mouse areas to click");
    Random();
    result_->random = true;
    result_->seed = seed_;
    Print("%s:%d: %" PRId64 " random clicks on %s with seed %" PRIu64 "\n", result_->file.c_str(),
          c.line, c.count, c.gauge.c_str(), seed_);
    StartClick(std::to_string(c.count) + " random clicks on " + c.gauge);
    for (int64_t i = 0; i < c.count; ++i) {
      const MouseRect& area = *areas[Random() % areas.size()];
      const int32_t x = area.x + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.width)));
      const int32_t y = area.y + static_cast<int32_t>(Random() % static_cast<uint64_t>(std::max(1, area.height)));
      const bool repeat = (area.event_mask & kMouseRepeat) != 0 && Random() % 3 == 0;
      panel_.Click(*gauge, x, y, repeat ? kMouseRepeat : kMousePress);
    }
    return true;
  }

  void Show(const Command& c) {
    if (options_.out == nullptr) return;
    for (host::Gauge* gauge : panel_.gauges()) {
      if (!c.gauge.empty() && gauge->name() != c.gauge) continue;
      Print("%s:%d: %s after %" PRIu64 " updates\n", result_->file.c_str(), c.line,
            gauge->name().c_str(), panel_.updates());
      PrintFrame(options_.out, panel_.Frame(*gauge));
    }
  }

  bool Snapshot(const Command& c) {
    RenderOptions render;
    render.ambient = ambient_;
    render.scale = c.scale;
    render.mouse_overlay = c.overlay;
    Image image;
    if (c.gauge.empty()) {
      image = panel_.RenderPanel(render);
    } else {
      host::Gauge* gauge = GaugeOf(c);
      if (gauge == nullptr) return false;
      image = panel_.Render(*gauge, render);
    }
    if (image.empty()) return Error(c, "cannot draw the snapshot: " + panel_.render_error());
    std::filesystem::path file = c.text;
    if (file.is_relative()) file = options_.out_dir / file;
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    std::string why;
    if (!WritePng(image, file, &why)) return Error(c, why);
    result_->snapshots.push_back(file.string());
    return true;
  }

  // What the last click sent of one kind, from the entry `taken` on.
  std::vector<const host::LogEntry*> Sent(host::LogKind kind) {
    std::vector<const host::LogEntry*> entries;
    const std::vector<host::LogEntry>& log = panel_.host().log();
    for (size_t i = click_start_; clicked_ && i < log.size(); ++i) {
      if (log[i].kind == kind) entries.push_back(&log[i]);
    }
    return entries;
  }

  std::string ClickContext() const {
    return clicked_ ? "the last click (" + last_click_ + ")" : "no click so far";
  }

  // The element a reference names, or null with the reason.
  const host::DrawnElement* FindElement(const host::Frame& frame, const ElementRef& ref,
                                        const std::string& gauge, std::string* label,
                                        std::string* why) {
    const auto& elements = frame.elements;
    for (size_t i = 0; i < elements.size(); ++i) {
      const host::DrawnElement& drawn = elements[i];
      bool match = false;
      switch (ref.how) {
        case ElementRef::kNumber: match = i + 1 == ref.number; break;
        case ElementRef::kResource:
          match = drawn.kind != kString && drawn.resource_id == ref.number;
          break;
        case ElementRef::kReadout:
          match = drawn.kind == kString &&
                  reinterpret_cast<const StringElement*>(drawn.record)->source_vars[0].var_id ==
                      ref.number;
          break;
      }
      if (!match) continue;
      *label = gauge + " " +
               (ref.how == ElementRef::kReadout ? ref.name + " (element " + std::to_string(i + 1) + ")"
                : ref.how == ElementRef::kResource
                    ? "element " + std::to_string(i + 1) + " (" + Hex(ref.number) + ")"
                    : "element " + std::to_string(i + 1));
      return &drawn;
    }
    switch (ref.how) {
      case ElementRef::kNumber:
        *why = gauge + " has " + std::to_string(elements.size()) + " elements; there is no element " +
               std::to_string(ref.number);
        break;
      case ElementRef::kResource: {
        *why = gauge + " has no picture element with resource id " + Hex(ref.number) + "; it has";
        for (const host::DrawnElement& drawn : elements) {
          if (drawn.kind != kString) *why += " " + Hex(drawn.resource_id);
        }
        break;
      }
      case ElementRef::kReadout:
        *why = gauge + " has no read-out " + ref.name + " (the read-outs are the radio display's)";
        break;
    }
    return nullptr;
  }

  bool Check(const Command& c) {
    ++result_->expectations;
    host::Host& host = panel_.host();
    switch (c.expect) {
      case Expect::kKey: {
        const auto sent = Sent(host::LogKind::kKeyEvent);
        if (keys_taken_ >= sent.size()) {
          Fail(c, "expected key event " + KeyText(c.id) + ", but " + ClickContext() + " sent " +
                      (sent.empty() ? "none" : "no more"));
        } else if (sent[keys_taken_]->id != c.id) {
          Fail(c, "expected key event " + KeyText(c.id) + ", saw " + KeyText(sent[keys_taken_]->id) +
                      " from " + ClickContext());
        }
        ++keys_taken_;
        return true;
      }
      case Expect::kNoKey: {
        const auto sent = Sent(host::LogKind::kKeyEvent);
        if (keys_taken_ < sent.size()) {
          Fail(c, "expected no more key events, saw " + KeyText(sent[keys_taken_]->id) + " from " +
                      ClickContext());
        }
        return true;
      }
      case Expect::kClick: {
        const auto sent = Sent(host::LogKind::kPlaySound);
        if (sounds_taken_ >= sent.size()) {
          Fail(c, "expected the click " + Quote(c.text) + ", but " + ClickContext() + " played " +
                      (sent.empty() ? "none" : "no more"));
        } else if (sent[sounds_taken_]->file != c.text) {
          Fail(c, "expected the click " + Quote(c.text) + ", saw " + Quote(sent[sounds_taken_]->file) +
                      " from " + ClickContext());
        } else if (sent[sounds_taken_]->resolved.empty()) {
          Fail(c, "the click " + Quote(c.text) + " was played, but the sound library found no such "
                  "file under " + options_.panel.sound_root.string() +
                  " (lay out dist/ with tools/dist.sh, or give the simulator folder with --sound-root)");
        }
        ++sounds_taken_;
        return true;
      }
      case Expect::kNoClick: {
        const auto sent = Sent(host::LogKind::kPlaySound);
        if (sounds_taken_ < sent.size()) {
          Fail(c, "expected no more clicks, saw " + Quote(sent[sounds_taken_]->file) + " from " +
                      ClickContext());
        }
        return true;
      }
      case Expect::kNamed: {
        const int32_t* value = host.vars().Named(c.text);
        if (c.none) {
          if (value != nullptr) {
            Fail(c, "expected " + Quote(c.text) + " to be unregistered, it is registered with " +
                        std::to_string(*value));
          }
        } else if (value == nullptr) {
          Fail(c, "expected " + Quote(c.text) + " to hold " + std::to_string(c.count) +
                      ", but no gauge has registered it");
        } else if (*value != c.count) {
          Fail(c, "expected " + Quote(c.text) + " to hold " + std::to_string(c.count) + ", saw " +
                      std::to_string(*value));
        }
        return true;
      }
      case Expect::kVar: {
        host::Variables& vars = host.vars();
        if (!vars.Has(c.id)) {
          Fail(c, "expected variable " + Hex(c.id) + " to hold " +
                      (c.integer ? Hex(c.bits) : Number(c.number)) + ", but the bench does not "
                      "simulate it");
        } else if (c.integer) {
          if (vars.GetInteger(c.id) != c.bits) {
            Fail(c, "expected variable " + Hex(c.id) + " to hold " + Hex(c.bits) + ", saw " +
                        Hex(vars.GetInteger(c.id)));
          }
        } else {
          const double value = vars.Get(c.id);
          const bool same = std::isnan(c.number) ? std::isnan(value)
                                                 : std::fabs(value - c.number) <= c.tolerance;
          if (!same) {
            Fail(c, "expected variable " + Hex(c.id) + " to hold " + Number(c.number) +
                        (c.tolerance > 0 ? " within " + Number(c.tolerance) : "") + ", saw " +
                        Number(value));
          }
        }
        return true;
      }
      case Expect::kBaro: {
        const int expected = static_cast<int>(std::lround(c.number * 100.0));
        if (panel_.aircraft().baro_hundredths() != expected) {
          char text[96];
          std::snprintf(text, sizeof text, "expected the altimeter setting %.2f inHg, saw %.2f",
                        expected / 100.0, panel_.aircraft().baro_inhg());
          Fail(c, text);
        }
        return true;
      }
      case Expect::kNote: {
        for (const std::string& note : host.notes()) {
          if (note.find(c.text) != std::string::npos) return true;
        }
        std::string seen;
        for (const std::string& note : host.notes()) seen += "\n    " + note;
        Fail(c, "expected a host note with " + Quote(c.text) + ", saw " +
                    (seen.empty() ? std::string("none") : seen));
        return true;
      }
      default:
        break;
    }

    // Expectations about what a gauge shows, as of its last draw.
    host::Gauge* gauge = GaugeOf(c);
    if (gauge == nullptr) return false;
    const host::Frame& frame = panel_.Frame(*gauge);
    if (c.expect == Expect::kNeedle) {
      for (const host::DrawnElement& drawn : frame.elements) {
        if (drawn.kind != kNeedle) continue;
        if (!(std::fabs(drawn.value - c.number) <= c.tolerance)) {
          Fail(c, "expected " + c.gauge + "'s needle at " + Number(c.number) +
                      (c.tolerance > 0 ? " within " + Number(c.tolerance) : "") + ", saw " +
                      Number(drawn.value));
        }
        return true;
      }
      return Error(c, c.gauge + " has no needle");
    }
    std::string label, why;
    const host::DrawnElement* drawn = FindElement(frame, c.element, c.gauge, &label, &why);
    if (drawn == nullptr) return Error(c, why);
    switch (c.expect) {
      case Expect::kText:
        if (drawn->kind != kString) return Error(c, label + " is not a text");
        if (drawn->text != c.text) {
          Fail(c, "expected " + label + " to read " + Quote(c.text) + ", saw " + Quote(drawn->text) +
                      (drawn->hidden() ? " (hidden)" : ""));
        }
        return true;
      case Expect::kHidden:
      case Expect::kShown:
        if (drawn->hidden() != (c.expect == Expect::kHidden)) {
          Fail(c, "expected " + label + " to be " +
                      (c.expect == Expect::kHidden ? "hidden, it is shown" : "shown, it is hidden") +
                      (drawn->kind == kString ? " (" + Quote(drawn->text) + ")" : ""));
        }
        return true;
      case Expect::kLit:
        if (drawn->lit() != c.on) {
          Fail(c, "expected " + label + " to be drawn " + (c.on ? "lit, it is unlit" : "unlit, it is lit"));
        }
        return true;
      case Expect::kPicture:
      case Expect::kLamp: {
        if (drawn->kind != kIcon) return Error(c, label + " is not a picture (icon) element");
        if (c.expect == Expect::kPicture) {
          const bool same = std::isnan(c.number) ? std::isnan(drawn->value) : drawn->value == c.number;
          if (!same) {
            Fail(c, "expected " + label + " to show picture " + Number(c.number) + ", saw " +
                        Number(drawn->value));
          }
          return true;
        }
        const double value = drawn->value;
        const bool whole = value >= 0.0 && value < 4096.0 && value == std::floor(value);
        if (!whole) {
          Fail(c, "expected " + label + " " + (c.on ? "on" : "off") +
                      ", but it shows no picture (result " + Number(value) + ")");
        } else if ((value >= 1.0) != c.on) {
          Fail(c, "expected " + label + " " + (c.on ? "on" : "off") + ", it is " +
                      (c.on ? "off (picture 0)" : "on (picture " + Number(value) + ")"));
        }
        return true;
      }
      default:
        return true;
    }
  }

  ScenarioOptions options_;
  ScenarioResult* result_;
  Panel panel_;
  Ambient ambient_ = Ambient::kDay;
  size_t click_start_ = 0;
  bool clicked_ = false;
  size_t keys_taken_ = 0;
  size_t sounds_taken_ = 0;
  std::string last_click_;
  std::mt19937_64 rng_;
  bool seeded_ = false;
  bool seed_set_ = false;
  uint64_t seed_ = 0;
};

// ---- reports ------------------------------------------------------------------

// Text as XML character data: valid UTF-8, the five special characters as
// entities, and the control characters XML 1.0 cannot hold written out.
std::string XmlEscape(std::string_view raw) {
  const std::string text = Visible(ValidUtf8(raw), true);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // U+FFFE and U+FFFF are no XML characters either.
        if (text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
            (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
          out += "\xEF\xBF\xBD";
          i += 2;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::isfinite(seconds) ? seconds : 0.0);
  return text;
}

}  // namespace

std::string ScenarioProblem::Describe() const {
  const std::string where = Visible(file);
  return line > 0 ? where + ":" + std::to_string(line) + ": " + message : where + ": " + message;
}

std::string ScenarioResult::Summary() const {
  char text[160];
  std::snprintf(text, sizeof text, "%d expectation%s, %d failed, %" PRIu64 " update%s, %.2f s",
                expectations, expectations == 1 ? "" : "s", failed, updates,
                updates == 1 ? "" : "s", seconds);
  std::string line = status();
  line.resize(5, ' ');
  line += "  " + Visible(file) + "  ";
  if (!errors.empty()) {
    line += std::to_string(errors.size()) + " script error" + (errors.size() == 1 ? "" : "s");
    if (errors.front().line > 0) line += " (first: line " + std::to_string(errors.front().line) + ")";
    line += "; ";
  }
  line += text;
  if (random) line += ", seed " + std::to_string(seed);
  return line;
}

std::vector<ScenarioProblem> CheckScenarioText(const std::string& text, const std::string& file) {
  std::vector<ScenarioProblem> errors;
  std::vector<Command> commands;
  Parser(file, &errors).Parse(text, &commands);
  return errors;
}

ScenarioResult RunScenarioText(const std::string& text, const std::string& file,
                               const ScenarioOptions& options) {
  ScenarioResult result;
  result.file = file;
  result.name = std::filesystem::path(file).stem().string();
  const auto start = std::chrono::steady_clock::now();
  std::vector<Command> commands;
  Parser(file, &result.errors).Parse(text, &commands);
  if (result.errors.empty()) {
    Runner(options, &result).Run(commands);
  } else if (options.out != nullptr) {
    for (const ScenarioProblem& error : result.errors) {
      std::fprintf(options.out, "%s\n", error.Describe().c_str());
    }
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

namespace {

// The text of a script file; false with the reason for anything that is not
// a readable regular file of a script's size.
bool ReadScript(const std::filesystem::path& file, std::string* text, std::string* why) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    *why = "no such file: check the name and folder";
    return false;
  }
  if (ec) {
    *why = "cannot read the file: " + ec.message();
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    *why = "a folder, not a script: give a .scn file, or a folder of them without '.scn' in its name";
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    *why = "not a regular file (a device, pipe or socket): a script is a text file";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *why = "cannot read the file: check its permissions";
    return false;
  }
  // Read in pieces up to the limit, whatever size the file claims.
  std::string content;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    content.append(chunk, static_cast<size_t>(in.gcount()));
    if (content.size() > kLargestScript) {
      *why = "larger than " + std::to_string(kLargestScript >> 20) +
             " MiB; a script is a short text file";
      return false;
    }
  }
  if (in.bad()) {
    *why = "cannot read the file: the read failed part way";
    return false;
  }
  *text = std::move(content);
  return true;
}

}  // namespace

ScenarioResult RunScenarioFile(const std::filesystem::path& file, const ScenarioOptions& options) {
  std::string text, why;
  if (!ReadScript(file, &text, &why)) {
    ScenarioResult result;
    result.file = file.string();
    result.name = file.stem().string();
    result.errors.push_back({file.string(), 0, why});
    if (options.out != nullptr) {
      std::fprintf(options.out, "%s\n", result.errors.back().Describe().c_str());
    }
    return result;
  }
  return RunScenarioText(text, file.string(), options);
}

bool ReadoutVariable(const std::string& name, uint32_t* var_id) {
  const std::string lower = Lower(name);
  for (const auto& readout : kReadouts) {
    if (lower == readout.name) {
      *var_id = readout.var_id;
      return true;
    }
  }
  return false;
}

std::string JunitReport(const std::vector<ScenarioResult>& results) {
  int failures = 0, errors = 0;
  double seconds = 0.0;
  for (const ScenarioResult& result : results) {
    failures += result.errors.empty() && result.failed != 0 ? 1 : 0;
    errors += result.errors.empty() ? 0 : 1;
    seconds += result.seconds;
  }
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<testsuites name=\"panel-bench\" tests=\"" + std::to_string(results.size()) +
         "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
         "\" time=\"" + Seconds(seconds) + "\">\n";
  xml += "  <testsuite name=\"scenarios\" tests=\"" + std::to_string(results.size()) +
         "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
         "\" skipped=\"0\" time=\"" + Seconds(seconds) + "\">\n";
  for (const ScenarioResult& result : results) {
    xml += "    <testcase classname=\"scenarios\" name=\"" + XmlEscape(result.name) + "\" file=\"" +
           XmlEscape(result.file) + "\" time=\"" + Seconds(result.seconds) + "\"";
    std::string body;
    if (!result.errors.empty()) {
      std::string detail;
      for (const ScenarioProblem& error : result.errors) detail += error.Describe() + "\n";
      body += "      <error type=\"script\" message=\"" + XmlEscape(result.errors.front().Describe()) +
              "\">" + XmlEscape(detail) + "</error>\n";
    }
    if (!result.failures.empty()) {
      std::string detail;
      for (const ScenarioProblem& failure : result.failures) detail += failure.Describe() + "\n";
      body += "      <failure type=\"expectation\" message=\"" +
              XmlEscape(std::to_string(result.failed) + " of " + std::to_string(result.expectations) +
                        " expectations failed") +
              "\">" + XmlEscape(detail) + "</failure>\n";
    }
    std::string out = result.Summary() + "\n";
    if (result.random) out += "seed " + std::to_string(result.seed) + "\n";
    for (const std::string& snapshot : result.snapshots) out += "snapshot " + snapshot + "\n";
    body += "      <system-out>" + XmlEscape(out) + "</system-out>\n";
    xml += ">\n" + body + "    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  return xml;
}

std::string JsonReport(const std::vector<ScenarioResult>& results) {
  using Json = nlohmann::ordered_json;
  bool passed = true;
  Json scenarios = Json::array();
  for (const ScenarioResult& r : results) {
    passed = passed && r.passed();
    auto problems = [](const std::vector<ScenarioProblem>& list) {
      Json array = Json::array();
      for (const ScenarioProblem& problem : list) {
        array.push_back({{"line", problem.line}, {"message", problem.message}});
      }
      return array;
    };
    scenarios.push_back({
        {"name", r.name},
        {"file", r.file},
        {"result", Lower(r.status())},
        {"expectations", r.expectations},
        {"failed", r.failed},
        {"updates", r.updates},
        {"seconds", std::isfinite(r.seconds) ? std::round(r.seconds * 1000.0) / 1000.0 : 0.0},
        {"seed", r.random ? Json(r.seed) : Json(nullptr)},
        {"errors", problems(r.errors)},
        {"failures", problems(r.failures)},
        {"snapshots", r.snapshots},
    });
  }
  const Json report = {{"passed", passed}, {"scenarios", std::move(scenarios)}};
  // Bytes that are not UTF-8 (a script or file name may hold any) become U+FFFD.
  return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ValidUtf8(std::string_view text) {
  using Json = nlohmann::json;
  return Json::parse(Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace))
      .get<std::string>();
}

}  // namespace bench
