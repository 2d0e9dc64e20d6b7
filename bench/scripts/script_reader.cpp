// Reading a script: each line into a command, or an error saying what to
// write instead. Nothing runs here; what each verb takes is in its row of
// script_verbs.cpp.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "bench/aircraft/aircraft.h"
#include "bench/gauge_names.h"
#include "bench/scripts/script.h"
#include "bench/text.h"

namespace bench::script {
namespace {

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

// How many single-letter edits turn a into b.
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

const Verb* Find(std::span<const Verb> verbs, const std::string& name) {
  for (const Verb& verb : verbs) {
    if (name == verb.name) return &verb;
  }
  return nullptr;
}

}  // namespace

bool Reader::IsHex(const std::string& word) {
  return word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
}

void Reader::Read(std::string_view text, const std::function<bool(const Command&)>& each) {
  // A byte-order mark, as some editors write at the start of UTF-8 text.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    Words words;
    std::string why;
    if (!Tokenize(line, &words, &why)) {
      Error(number, why);
      continue;
    }
    if (words.empty()) continue;
    line_ = number;
    const std::string& name = words[0].text;
    const Verb* verb = Find(Verbs(), name);
    if (verb == nullptr) {
      std::string message = "unknown command '" + name + "'";
      for (const Verb& known : Verbs()) {
        if (name.size() <= std::strlen(known.name) + 2 && EditDistance(name, known.name) <= 2) {
          message += " (did you mean '" + std::string(known.name) + "'?)";
          break;
        }
      }
      Error(message + "; docs/scenarios.md lists the commands");
      continue;
    }
    label_ = name;
    usage_ = verb->usage;
    Command command;
    command.line = number;
    command.verb = verb;
    if (!verb->read(*this, words, &command)) continue;
    ++commands_;
    if (each && !each(command)) return;
  }
  if (commands_ == 0 && result_->errors.empty()) {
    Error(0, "the script has no commands (it is empty, or holds only comments): "
             "docs/scenarios.md lists the commands");
  }
}

bool Reader::Error(int line, const std::string& message) {
  result_->AddError(line, Visible(message));
  return false;
}

bool Reader::Arity(const Words& words, size_t low, size_t high) {
  const size_t args = words.size() - 1;
  if (args >= low && args <= high) return true;
  return Error(std::string(args < low ? "too few" : "too many") + " words for '" + label_ +
               "': write " + usage_);
}

bool Reader::Unexpected(const Token& word) {
  return Error("unexpected '" + word.text + "': write " + usage_);
}

bool Reader::VarId(const Token& word, uint32_t* id) {
  const std::string& s = word.text;
  const bool hex = IsHex(s);
  const std::string_view digits = hex ? std::string_view(s).substr(2) : std::string_view(s);
  if (WholeWord(digits, hex ? 16 : 10, id)) return true;
  // A number, only too large for an id: say so, and give the range.
  uint64_t wide = 0;
  if (!digits.empty() && digits[0] != '-' && digits[0] != '+' &&
      (WholeWord(digits, hex ? 16 : 10, &wide) ||
       digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
           std::string_view::npos)) {
    return Error("'" + s + "' is out of range for a variable id: ids run from 0x0 to 0xFFFFFFFF");
  }
  return Error("'" + s + "' is not a variable id: write it in hex, like 0x2f1");
}

bool Reader::HexBits(const Token& word, uint32_t* bits) {
  std::string_view s = word.text;
  if (IsHex(word.text)) s.remove_prefix(2);
  if (s.size() > 8 || !WholeWord(s, 16, bits)) {
    return Error("'" + word.text +
                 "' is not a BCD value: write up to eight hex digits, like 2165 for 121.65");
  }
  return true;
}

bool Reader::Real(const Token& word, double* value, const char* what) {
  const std::string& s = word.text;
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

bool Reader::Whole(const Token& word, int64_t low, int64_t high, int64_t* value, const char* what) {
  int64_t number = 0;
  if (!WholeWord(word.text, 10, &number) || number < low || number > high) {
    return Error("'" + word.text + "' is not " + what + ": write a whole number from " +
                 std::to_string(low) + " to " + std::to_string(high));
  }
  *value = number;
  return true;
}

bool Reader::OnOff(const Token& word, bool* on, const char* yes, const char* no) {
  if (word.text == yes || word.text == no) {
    *on = word.text == yes;
    return true;
  }
  return Error("'" + word.text + "': write " + yes + " or " + no);
}

bool Reader::Gauge(const Token& word, std::string* gauge) {
  std::string why;
  if (!CheckGaugeName(word.text, &why)) return Error(why);
  if (!loaded_any_) {
    return Error("gauge " + word.text + " is used before the panel is loaded: add 'load' (or 'load " +
                 word.text + "') on a line before this one");
  }
  if (std::find(loaded_.begin(), loaded_.end(), word.text) == loaded_.end()) {
    return Error("gauge " + word.text + " is not loaded: add it to the 'load' line (line " +
                 std::to_string(load_line_) + ")");
  }
  *gauge = word.text;
  return true;
}

bool Reader::Element(const Token& word, ElementRef* element) {
  const std::string& s = word.text;
  if (IsHex(s)) {
    element->how = ElementRef::kResource;
    return VarId(word, &element->number);
  }
  if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
    element->how = ElementRef::kNumber;
    return Integer(word, 1, 4096, &element->number, "an element number");
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

bool Reader::KeyEvent(const Token& word, uint32_t* id) {
  if (!word.quoted && IsHex(word.text)) return VarId(word, id);
  if (Aircraft::KeyEventByName(word.text, id)) return true;
  return Error("'" + word.text +
               "' is no key event: give its id in hex (0x1038C) or the bench's name in "
               "quotes (\"COM2 swap\"; docs/aircraft.md lists them)");
}

bool Reader::InOutputFolder(const Token& word) {
  const std::filesystem::path path(word.text);
  bool climbs = false;
  for (const std::filesystem::path& part : path) climbs = climbs || part == "..";
  if (path.has_root_path() || climbs) {
    return Error("'" + word.text + "': a snapshot goes into the output folder (run --out): " +
                 "give a name inside it, like " + path.filename().string() +
                 " or gauges/" + path.filename().string() + ", without " +
                 (climbs ? "'..'" : "a leading '/'"));
  }
  return true;
}

bool Reader::Tolerance(const Words& words, size_t at, double* tolerance) {
  if (words.size() == at) return true;
  if (words.size() != at + 2 || words[at].text != "within") return Unexpected(words[at]);
  if (!Real(words[at + 1], tolerance, "a tolerance")) return false;
  if (!std::isfinite(*tolerance)) {
    return Error("'" + words[at + 1].text + "' is not a tolerance: write a finite number from 0 up");
  }
  if (*tolerance < 0.0) return Error("a tolerance cannot be negative");
  return true;
}

bool Reader::Load(const Words& words, Command* c) {
  if (loaded_any_) {
    return Error("the panel is already loaded on line " + std::to_string(load_line_) +
                 ": list every gauge on that one 'load' line");
  }
  for (size_t i = 1; i < words.size(); ++i) {
    std::string why;
    if (!CheckGaugeName(words[i].text, &why)) return Error(why);
    if (std::find(c->gauges.begin(), c->gauges.end(), words[i].text) != c->gauges.end()) {
      return Error("gauge " + words[i].text + " is listed twice");
    }
    c->gauges.push_back(words[i].text);
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

bool Reader::Expectation(const Words& words, Command* c) {
  if (words.size() < 2) return Error("'expect' needs what to expect: write " + std::string(usage_));
  const Verb* what = Find(Expectations(), words[1].text);
  if (what == nullptr) return Error("cannot expect '" + words[1].text + "': write " + usage_);
  c->expectation = what;
  label_ = "expect " + words[1].text;
  usage_ = what->usage;
  return what->read(*this, Words(words.begin() + 1, words.end()), c);
}

}  // namespace bench::script

namespace bench {

std::vector<ScenarioProblem> CheckScenarioText(const std::string& text, const std::string& file,
                                               uint64_t* more) {
  ScenarioResult result;
  result.file = file;
  script::Reader(&result).Read(text);
  if (more != nullptr) *more = result.more_errors;
  return std::move(result.errors);
}

bool ReadoutVariable(const std::string& name, uint32_t* var_id) {
  for (const auto& readout : script::kReadouts) {
    if (SameIgnoringCase(name, readout.name)) {
      *var_id = readout.var_id;
      return true;
    }
  }
  return false;
}

}  // namespace bench
