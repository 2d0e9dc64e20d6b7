#include "bench/drawing/drawing_key.h"

#include <cstring>

#include "bench/drawing/render.h"

namespace bench {
namespace {

template <typename T>
void Append(std::string* key, const T& value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  key->append(bytes, sizeof value);
}

}  // namespace

std::string DrawingKey(const host::Drawing& drawing) {
  std::string key;
  key.reserve(drawing.elements.size() * 48);
  for (const host::DrawnElement& drawn : drawing.elements) {
    Append(&key, drawn.kind);
    Append(&key, drawn.flags);
    if (drawn.hidden()) continue;  // not drawn: nothing else of it shows
    Append(&key, drawn.resource_id);
    Append(&key, drawn.x);
    Append(&key, drawn.y);
    Append(&key, drawn.value);
    switch (drawn.kind) {
      case kIcon:
        Append(&key, reinterpret_cast<const IconElement*>(drawn.record)->picture_count);
        break;
      case kNeedle: {
        const auto& needle = *reinterpret_cast<const NeedleElement*>(drawn.record);
        Append(&key, needle.head.position_x);
        Append(&key, needle.head.position_y);
        Append(&key, needle.head.offset_x);
        Append(&key, needle.head.offset_y);
        Append(&key, NeedleAngle(needle, drawn.value));
        break;
      }
      case kString: {
        const auto& text = *reinterpret_cast<const StringElement*>(drawn.record);
        Append(&key, text.box_width);
        Append(&key, text.box_height);
        Append(&key, text.text_colour);
        Append(&key, text.font_weight);
        const size_t font_length = strnlen(text.font_name, sizeof text.font_name);
        Append(&key, font_length);
        key.append(text.font_name, font_length);
        Append(&key, drawn.text.size());
        key.append(drawn.text);
        break;
      }
      default:
        break;
    }
  }
  return key;
}

}  // namespace bench
