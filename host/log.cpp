#include "host/log.h"

#include <cinttypes>
#include <utility>

#include "host/text_format.h"

namespace host {

const char* LogKindName(LogKind kind) {
  switch (kind) {
    case LogKind::kKeyEvent: return "key";
    case LogKind::kPlaySound: return "click";
    case LogKind::kStopSound: return "stop";
    case LogKind::kTerminateSounds: return "terminate";
    case LogKind::kTrappedSlot: return "trap";
    case LogKind::kNamedBind: return "bind";
    case LogKind::kLookup: return "lookup";
    case LogKind::kFpStateChanged: return "fp-state";
  }
  return "?";
}

// Sentences for people (the bench's output, test messages), not the kinds'
// names: those are for programs and the page.
std::string LogEntry::Describe() const {
  switch (kind) {
    case LogKind::kKeyEvent: return "key " + Hex(id) + " value " + std::to_string(value);
    case LogKind::kPlaySound:
      return "play \"" + name + "\" \"" + alias + "\" " + std::to_string(flags);
    case LogKind::kStopSound: return "stop \"" + name + "\"";
    case LogKind::kTerminateSounds: return "terminate sounds";
    case LogKind::kTrappedSlot: return "unexpected service slot " + std::to_string(id);
    case LogKind::kNamedBind:
      return "bind \"" + name + "\" " + (value != 0 ? "bound" : "unbound");
    case LogKind::kLookup: return "lookup " + Hex(id);
    case LogKind::kFpStateChanged:
      return Format("floating-point state changed: x87 control 0x%04" PRIX32 ", MXCSR 0x%04" PRIX32,
                    id, value);
  }
  return "?";
}

void Log::Append(LogEntry entry) {
  if (entries_.size() == kCapacity) {
    entries_.pop_front();
    ++dropped_;
  }
  entries_.push_back(std::move(entry));
  ++next_;
}

}  // namespace host
