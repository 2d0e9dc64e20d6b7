// Mouse callbacks of a key that sends one key event and clicks, in one order
// or the other: each key's order is its own and is kept.
#pragma once

#include "frame/host_services.h"
#include "frame/sound_binding.h"

// [mouse] TriggerKeyEvent(KeyEvent), then PlayClick(ClickFile).
template <uint32_t KeyEvent, const char* ClickFile>
int32_t GAUGE_CALL KeyThenClick(uint32_t, uint32_t) {
  TriggerKeyEvent(KeyEvent);
  PlayClick(ClickFile);
  return 0;
}

// [mouse] PlayClick(ClickFile), then TriggerKeyEvent(KeyEvent).
template <uint32_t KeyEvent, const char* ClickFile>
int32_t GAUGE_CALL ClickThenKey(uint32_t, uint32_t) {
  PlayClick(ClickFile);
  TriggerKeyEvent(KeyEvent);
  return 0;
}
