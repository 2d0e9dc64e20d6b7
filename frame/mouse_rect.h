// Mouse rectangles: where a gauge can be clicked and what it calls.
#pragma once

#include "frame/abi.h"

#pragma pack(push, 4)

// [mouse] Called for a mouse event of the child's `event_mask` inside its
// rectangle. Both arguments are the host's and never read; returns 0.
using MouseCallback = int32_t(GAUGE_CALL*)(uint32_t position, uint32_t flags);

enum MouseRectKind : uint32_t {
  kRectEnd = 0,
  kRectParent = 1,
  kRectChild = 2,
  kRectParentEnd = 3,
};

inline constexpr uint32_t kCursorNone = 0xFFFFFFFF;
inline constexpr uint32_t kCursorUp = 1;      // upper part, or right knob half
inline constexpr uint32_t kCursorDown = 2;    // lower part, or left knob half
inline constexpr uint32_t kCursorHand = 5;    // a whole push key or button

inline constexpr uint32_t kMousePress = 0x20000000;     // every child takes it
inline constexpr uint32_t kMouseRepeat = 0x00200000;    // held, on split areas
inline constexpr uint32_t kMaskPush = kMousePress;
inline constexpr uint32_t kMaskArrow = kMousePress | kMouseRepeat;

// Module-owned data, read by the host. A rectangle covers the columns x to
// x + width - 1 and the rows y to y + height - 1.
struct MouseRect {
  uint32_t rect_kind;               // module: MouseRectKind
  int32_t x;                        // module: face pixels (0 unless a child)
  int32_t y;                        // module
  int32_t width;                    // module
  int32_t height;                   // module
  uint32_t cursor;                  // module: 1, 2, 5; 0xFFFFFFFF unless a child
  uint32_t help_id;                 // 0
  uint32_t event_mask;              // module: 0x20000000 or 0x20200000
  uint32_t key_event;               // 0: callbacks send their own events
  MouseCallback mouse_callback;     // module: [mouse]; null unless a child
  uint32_t callback_data;           // 0
};
GAUGE_ASSERT_LAYOUT(MouseRect);

#pragma pack(pop)

constexpr MouseRect MakeMouseMarker(MouseRectKind kind) {
  return {kind, 0, 0, 0, 0, kCursorNone, 0, 0, 0, nullptr, 0};
}

constexpr MouseRect MakeMouseChild(int32_t x, int32_t y, int32_t width, int32_t height,
                                   uint32_t cursor, MouseCallback callback) {
  const uint32_t mask = cursor == kCursorHand ? kMaskPush : kMaskArrow;
  return {kRectChild, x, y, width, height, cursor, 0, mask, 0, callback, 0};
}
