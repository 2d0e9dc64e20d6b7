// What a gauge drew: the values of its element chain at one draw, which the bench
// turns into pixels and the tests and tools read. Gauge::Draw makes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "frame/elements.h"

namespace host {

// One element as the host drew it: the record's values after its update
// callback ran.
struct DrawnElement {
  const ElementHead* record = nullptr;
  uint32_t kind = 0;            // ElementKind
  uint32_t resource_id = 0;
  int32_t x = 0;                // position (needle: pivot)
  int32_t y = 0;
  uint32_t flags = 0;           // image_flags after the callback
  double value = 0.0;           // icon: picture index; needle: value; string: result
  std::string_view text;        // string: the text written into the buffer

  bool hidden() const { return (flags & kFlagHidden) != 0; }
  bool lit() const { return (flags & kFlagLit) != 0; }
};

struct Drawing {
  std::vector<DrawnElement> elements;  // chain order, face first
};

// Text buffer the host supplies to each string element.
inline constexpr size_t kTextBufferSize = 64;

}  // namespace host
