// The click sounds the gauges play: short mechanical clicks, made here so
// they are ours and can be made again byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace clicks {

struct Click {
  const char* file;  // name under sound/
  // One press: a push-knob "tock" or a key's crisper "tick".
  std::vector<uint8_t> (*make)();
};

// 16-bit mono PCM WAV files.
std::vector<uint8_t> KnobClick();  // sound/orlaclick.wav
std::vector<uint8_t> KeyClick();   // sound/vornqexclick.wav

inline const Click kClicks[] = {
    {"orlaclick.wav", KnobClick},
    {"vornqexclick.wav", KeyClick},
};

}  // namespace clicks
