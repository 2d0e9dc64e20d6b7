// The radio tuning display's records shared between its page and its keys.
#pragma once

#include "frame/mouse_rect.h"

namespace radio_display {
// The 36 key areas, in list order with their parent and end records.
extern MouseRect keyAreas[];
}  // namespace radio_display
