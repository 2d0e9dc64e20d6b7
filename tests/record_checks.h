// Checks on the records a gauge module hands the host (linkage, import table,
// gauge header, element chain, mouse list), and one-line descriptions of
// those records and of log entries, so that tests compare whole sequences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/text_format.h"

namespace testing_support {

using host::Format;

// Every bit set in any of `words`: 0 when all of them are 0.
template <size_t N>
uint32_t AnyBits(const uint32_t (&words)[N]) {
  uint32_t any = 0;
  for (uint32_t word : words) any |= word;
  return any;
}

// The log line of a key event sent with value 0: "key 0x1039F value 0".
std::string Key(uint32_t id);

// The ids of the variables looked up, in the order of the host's log.
std::vector<uint32_t> LookedUp(const host::Host& host);

// The named variables bound, in the order of the host's log, each as its log
// line: R"(bind "dimbrtb" bound)".
std::vector<std::string> NamedBinds(const host::Host& host);

// One line per record, with every field that the host reads from it. An
// icon adds its source, mode and picture count; a needle its source and
// scale points; a string its box, font, colours, style and sources.
std::string Describe(const ElementHead& head);
std::string Describe(const MouseRect& rect);

// What Describe gives for the usual records: the face, an icon with a
// callback of its own, a string showing `source` (0: a fixed label), an end
// or parent marker, a child rectangle.
inline const std::string kFaceLine = "kind 0 resource 0x100 at 0,0 pivot 0,0 flags 0x83";
std::string IconLine(uint32_t resource, int32_t x, int32_t y, uint32_t pictures);
std::string StringLine(int32_t x, int32_t y, int32_t width, int32_t height, const char* font,
                       uint32_t weight, uint32_t colour, uint32_t source);
std::string MarkerLine(uint32_t kind);
std::string ChildLine(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t cursor,
                      uint32_t mask);

// Walks the chain from the root and describes each element, checking on the
// way what every element shares: at most one child, the owning header, an
// empty failure list of its own, zero in every reserved word, a callback,
// and for a string no text buffer of its own.
std::vector<std::string> DescribeChain(GaugeHeader& header);

// Describes the mouse list up to and including its end record.
std::vector<std::string> DescribeMouseList(const GaugeHeader& header);

// Linkage, ImportTable and the gauge header: the fixed values, and zero in
// every word that the module leaves to the host.
void ExpectModuleRecords(host::Module& module, const char* gauge_name);

}  // namespace testing_support
