// What a gauge's picture depends on, in a few bytes: two drawings of a gauge
// with the same key draw the same picture (for the same RenderOptions), so a
// picture need only be drawn again when its key changes.
#pragma once

#include <string>

#include "host/host.h"

namespace bench {

// Everything RenderDrawing reads from the drawing and its element records: each
// element's kind, bitmap, position, flags and value, an icon's picture
// count, a needle's pivot and angle, a string's text, box, colour and font.
std::string DrawingKey(const host::Drawing& drawing);

}  // namespace bench
