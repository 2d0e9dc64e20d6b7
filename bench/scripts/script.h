// The model of a scenario script shared by its reader and its runner: the
// words of a line, the words messages are made of, one command as read, and
// the reader and runner that the rows of the language's table work with.
// The language is described in docs/scenarios.md.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bench/aircraft/aircraft.h"
#include "bench/file_write.h"
#include "bench/drawing/panel_pictures.h"
#include "bench/panel.h"
#include "bench/drawing/render.h"
#include "bench/scripts/scenario.h"
#include "bench/text.h"
#include "host/text_format.h"

namespace bench::script {

// ---- words of a line ---------------------------------------------------------

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits a line into words; "double quotes" hold spaces (\" and \\ inside),
// '#' at the start of a word begins a comment. False with the reason for a
// quote left open or run into the next word.
bool Tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error);

std::string Lower(std::string text);

// ---- words in messages ---------------------------------------------------------

using host::Hex;
using host::Number;
std::string Quote(std::string_view text);  // "text"
std::string KeyText(uint32_t id);          // 0x1038C (COM2 swap)

// ---- one command ---------------------------------------------------------------

// An element of a gauge: its number in the chain (1 is the face), the
// element with a resource id, or a read-out of the radio display by name.
struct ElementRef {
  enum How { kNumber, kResource, kReadout } how = kNumber;
  uint32_t number = 0;
  std::string name;
};

struct Verb;

// One command as read; each verb fills the arguments it takes.
struct Command {
  int line = 0;
  const Verb* verb = nullptr;
  const Verb* expectation = nullptr;  // expect: what is expected

  std::vector<std::string> gauges;  // load: none means every gauge
  std::string gauge;                // the gauge acted on or looked at; "" the whole panel
  ElementRef element;
  uint32_t var = 0;  // a variable id
  uint32_t key = 0;  // a key event id
  double number = 0.0;  // a value set, held or expected
  uint32_t bits = 0;     // a BCD value
  bool integer = false;  // expect var: compare `bits` as a 32-bit integer
  double tolerance = 0.0;
  std::string name;  // a named variable
  int32_t value = 0;  // its value
  bool none = false;  // expect named ... none
  std::string partner;  // pfd or dimmer
  bool on = false;  // a switch on, an engine running, a partner present, a lamp lit
  int engine = 0;
  Dimmer dimmer = Dimmer::kBright;
  Ambient ambient = Ambient::kDay;
  int64_t updates = 1;
  bool realtime = false;
  int32_t x = 0, y = 0;
  int area = 0;  // from 1; 0 clicks at x, y
  int repeats = 0;
  int64_t clicks = 0;
  uint64_t seed = 0;
  std::string text;  // echo, expect text and note
  std::string file;  // a snapshot, or the sound of expect click
  int scale = 1;
  bool overlay = false;
};

using Words = std::vector<Token>;
class Reader;
class Runner;

// A command of the language, or a kind of expectation: how it is written,
// read and run. Every one is a row in script_verbs.cpp.
struct Verb {
  const char* name;
  const char* usage;
  // words[0] is the verb (for an expectation, its kind).
  bool (*read)(Reader& reader, const Words& words, Command* command);
  // False: the script stops.
  bool (*run)(Runner& runner, const Command& command);
};

std::span<const Verb> Verbs();
std::span<const Verb> Expectations();

// Reads lines into commands, its errors into the result. Each word reader
// returns false once it has reported what is wrong with the word and what
// to write instead.
class Reader {
 public:
  explicit Reader(ScenarioResult* result) : result_(result) {}

  // Every line; each command read goes to `each` (if given) as soon as it
  // is read, and reading stops when `each` returns false.
  void Read(std::string_view text, const std::function<bool(const Command&)>& each = {});

  bool Error(const std::string& message) { return Error(line_, message); }
  // From `low` to `high` words after the verb.
  bool Arity(const Words& words, size_t low, size_t high);
  bool Unexpected(const Token& word);
  bool VarId(const Token& word, uint32_t* id);
  bool HexBits(const Token& word, uint32_t* bits);
  bool Real(const Token& word, double* value, const char* what);
  template <typename Int>
  bool Integer(const Token& word, int64_t low, int64_t high, Int* value, const char* what) {
    int64_t number = 0;
    if (!Whole(word, low, high, &number, what)) return false;
    *value = static_cast<Int>(number);
    return true;
  }
  bool OnOff(const Token& word, bool* on, const char* yes = "on", const char* no = "off");
  bool Gauge(const Token& word, std::string* gauge);
  bool Element(const Token& word, ElementRef* element);
  bool KeyEvent(const Token& word, uint32_t* id);
  // A file name under the output folder: relative, and no '..' in it (a
  // shared script writes nowhere else).
  bool InOutputFolder(const Token& word);
  // "within <tolerance>" at words[at], if there.
  bool Tolerance(const Words& words, size_t at, double* tolerance);

  // The panel's gauges: one 'load' line per script, before any gauge is named.
  bool Load(const Words& words, Command* command);
  // The kind of expectation, then the rest of the line as that kind's row reads it.
  bool Expectation(const Words& words, Command* command);
  bool loaded() const { return loaded_any_; }
  static bool IsHex(const std::string& word);  // 0x...

 private:
  bool Error(int line, const std::string& message);
  bool Whole(const Token& word, int64_t low, int64_t high, int64_t* value, const char* what);

  ScenarioResult* result_;
  int line_ = 0;
  uint64_t commands_ = 0;
  // What messages about the words of this line name: the verb (or "expect
  // <kind>") and how to write it.
  std::string label_;
  const char* usage_ = "";
  bool loaded_any_ = false;
  int load_line_ = 0;
  std::vector<std::string> loaded_;
};

// Runs the commands of a script that was read without errors, one by one,
// on a panel of its own, into a result: the counts, failed expectations, and
// the error that stopped the script, if any.
class Runner {
 public:
  Runner(const ScenarioOptions& options, ScenarioResult* result)
      : options_(options), result_(result), where_(Visible(result->file)) {}

  // False: the script stops here.
  bool Step(const Command& command) { return command.verb->run(*this, command); }
  // After the last step: what was not listed.
  void Finish();

  // A script error: the scenario stops.
  bool Error(const Command& c, const std::string& said);
  // A failed expectation: the scenario goes on.
  void Fail(const Command& c, const std::string& said);
  template <typename... Args>
  void Print(const char* format, Args... args) {
    if (options_.out != nullptr) std::fprintf(options_.out, format, args...);
  }

  const ScenarioOptions& options() const { return options_; }
  ScenarioResult& result() { return *result_; }
  Panel& panel() { return panel_; }
  Aircraft& aircraft() { return panel_.aircraft(); }
  void SetAmbient(Ambient ambient) { ambient_ = ambient; }
  void SetSeed(uint64_t seed);

  void Updates(const Command& c);
  bool Click(const Command& c);
  bool ClickRandom(const Command& c);
  void Show(const Command& c);
  bool Snapshot(const Command& c);

  // The next entry of a kind that the last click sent and no expectation
  // has taken yet, or null; `any`: whether it sent that kind at all.
  const host::LogEntry* Pending(host::LogKind kind, bool* any = nullptr);
  // The next expectation of the kind looks at the entry after, whether this
  // one matched or not.
  void Take(host::LogKind kind) {
    ++(kind == host::LogKind::kKeyEvent ? keys_taken_ : sounds_taken_);
  }
  std::string ClickContext() const;

  // The gauge's drawing as of its last draw, or null once the error is reported.
  const host::Drawing* DrawingOf(const Command& c);
  // The element the command names, or null once the error is reported.
  const host::DrawnElement* Drawn(const Command& c, std::string* label);

 private:
  host::Gauge* GaugeOf(const Command& c);
  void StartClick(const std::string& what);
  uint64_t Random();

  ScenarioOptions options_;
  ScenarioResult* result_;
  std::string where_;  // the file as messages name it
  Panel panel_;
  PanelPictures pictures_{panel_};  // the snapshots
  OutputFolder out_folder_;  // opened at the first snapshot
  Ambient ambient_ = Ambient::kDay;
  uint64_t click_start_ = 0;  // the log's sequence number
  bool clicked_ = false;
  size_t keys_taken_ = 0;
  size_t sounds_taken_ = 0;
  std::string last_click_;
  std::mt19937_64 rng_;
  bool seeded_ = false;
  bool seed_set_ = false;
  uint64_t seed_ = 0;
};

}  // namespace bench::script
