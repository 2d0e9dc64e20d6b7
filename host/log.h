// The log: everything a module sends out (key events, sounds, the named
// variables it binds, the lookups when traced) and what the host saw go
// wrong in a call (a trapped service slot, the floating-point state left
// changed), in the order it happened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace host {

enum class LogKind {
  kKeyEvent,         // TriggerKeyEvent(id, value)
  kPlaySound,        // GaugePlaySound(file, alias, flags)
  kStopSound,        // GaugeStopSound(file)
  kTerminateSounds,  // TerminateSounds()
  kTrappedSlot,      // a service slot no module should call; id = slot
  kNamedBind,        // InitializeVarByName(record, name); value = 1 if bound
  kLookup,           // LookupVar(id); only while lookups are traced
  kFpStateChanged,   // a call into the module left the floating-point control
                     // state changed; id = x87 control word, value = MXCSR
                     // control bits, both as the call left them
};

// The kind's name in one word, as the live panel's log gives it to the page
// (which styles each entry by it): "key", "click" for a played sound (the
// gauges play only their clicks), "stop", "terminate", "trap", "bind",
// "lookup", "fp-state". [a string literal: lives as long as the program]
const char* LogKindName(LogKind kind);

struct LogEntry {
  LogKind kind = LogKind::kKeyEvent;
  std::string gauge = {};   // the gauge being served when it happened, or ""
  uint32_t id = 0;       // key event id, trapped slot, looked-up variable
  uint32_t value = 0;    // key event value; 1 for a bound named variable
  std::string name = {};  // the sound's file name, or the named variable's name
  std::string alias = {}; // GaugePlaySound's second argument
  std::string resolved = {};  // the sound file found for `file`, or ""
  int32_t flags = 0;     // GaugePlaySound's third argument

  std::string Describe() const;  // one line, e.g. "key 0x1038C value 0"
};

// The log: the most recent kCapacity entries, each known by its sequence
// number (how many entries were logged before it), and a count of the
// older ones dropped to keep to that bound. A gauge clicked for ever (a
// script's click-random, a flood of the live panel's clicks) thus holds
// bounded memory, while what anyone checks, what the last few calls sent,
// is far inside the bound: one click or update sends a handful.
class Log {
 public:
  static constexpr size_t kCapacity = 4096;
  using const_iterator = std::deque<LogEntry>::const_iterator;

  size_t size() const { return entries_.size(); }  // entries kept
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const LogEntry& front() const { return entries_.front(); }
  const LogEntry& back() const { return entries_.back(); }

  // The sequence number of the oldest entry kept, and the one the next
  // entry will get. Keep next() to find later what was sent after it.
  uint64_t first() const { return next_ - entries_.size(); }
  uint64_t next() const { return next_; }
  // Entries dropped from the front to keep the bound (not those cleared).
  uint64_t dropped() const { return dropped_; }
  // The kept entries from sequence number `seq` on (all that are kept when
  // `seq` was dropped or cleared).
  const_iterator From(uint64_t seq) const {
    if (seq <= first()) return begin();
    if (seq >= next_) return end();
    return begin() + static_cast<std::ptrdiff_t>(seq - first());
  }

  void Append(LogEntry entry);
  // Forgets the kept entries; sequence numbers go on from where they were.
  void Clear() { entries_.clear(); }

 private:
  std::deque<LogEntry> entries_;
  uint64_t next_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace host
