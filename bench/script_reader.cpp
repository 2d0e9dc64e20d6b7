// Reading a script: each line into a command, or an error saying what to
// write instead. Nothing runs here.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "bench/aircraft.h"
#include "bench/gauge_names.h"
#include "bench/script.h"
#include "bench/text.h"

namespace bench::script {
namespace {

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
                   " (about 1e-308 to 1e308 in size): write inf for infinity, 0 for zero");
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

}  // namespace

std::vector<Command> Read(std::string_view text, const std::string& file,
                          std::vector<ScenarioProblem>* errors) {
  std::vector<Command> commands;
  Parser(file, errors).Parse(text, &commands);
  return commands;
}

}  // namespace bench::script

namespace bench {

std::vector<ScenarioProblem> CheckScenarioText(const std::string& text, const std::string& file) {
  std::vector<ScenarioProblem> errors;
  script::Read(text, file, &errors);
  return errors;
}

bool ReadoutVariable(const std::string& name, uint32_t* var_id) {
  const std::string lower = script::Lower(name);
  for (const auto& readout : script::kReadouts) {
    if (lower == readout.name) {
      *var_id = readout.var_id;
      return true;
    }
  }
  return false;
}

}  // namespace bench
