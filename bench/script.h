// The model of a scenario script shared by its reader and its runner: the
// words of a line, one command as read, and the words messages are made of.
// The language is described in docs/scenarios.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/render.h"
#include "bench/scenario.h"
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
// How many single-letter edits turn a into b.
size_t EditDistance(const std::string& a, const std::string& b);

// ---- words in messages ---------------------------------------------------------

using host::Hex;
using host::Number;
std::string Fixed2(double value);          // two decimals
std::string Quote(std::string_view text);  // "text"
std::string KeyText(uint32_t id);          // 0x1038C (COM2 swap)

// ---- one command ---------------------------------------------------------------

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

// ---- reading and running -------------------------------------------------------

// The commands of a script; each line that cannot be run adds an error
// (named by `file` and its line) instead.
std::vector<Command> Read(std::string_view text, const std::string& file,
                          std::vector<ScenarioProblem>* errors);

// Runs commands that were read without errors, into `result`: the counts,
// failed expectations, and the error that stopped the script, if any.
void Run(const std::vector<Command>& commands, const ScenarioOptions& options,
         ScenarioResult* result);

}  // namespace bench::script
