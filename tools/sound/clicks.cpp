#include "tools/sound/clicks.h"

#include <algorithm>
#include <cmath>

namespace clicks {
namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

// A resonance of the part that was struck: a decaying sine.
struct Mode {
  double hertz;
  double decay_ms;
  double level;
};

// Press and release: a short noise burst exciting a few resonances, and a
// smaller second burst when the part comes back.
struct Sound {
  double length_ms;
  double release_ms;
  double release_level;
  std::vector<Mode> modes;
};

std::vector<uint8_t> Wav(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put(36 + data, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);          // format chunk size
  put(1, 2);           // PCM
  put(1, 2);           // mono
  put(kRate, 4);
  put(kRate * 2, 4);   // bytes per second
  put(2, 2);           // bytes per frame
  put(16, 2);          // bits per sample
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put(data, 4);
  for (int16_t s : samples) put(static_cast<uint16_t>(s), 2);
  return out;
}

std::vector<uint8_t> Make(const Sound& sound, uint32_t seed) {
  const int count = static_cast<int>(sound.length_ms * kRate / 1000.0);
  std::vector<double> signal(static_cast<size_t>(count), 0.0);
  uint32_t noise = seed;
  auto next_noise = [&] {
    noise = noise * 1664525u + 1013904223u;
    return static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
  };
  auto strike = [&](double at_ms, double level) {
    const int start = static_cast<int>(at_ms * kRate / 1000.0);
    for (int i = start; i < count; ++i) {
      const double t = (i - start) / static_cast<double>(kRate) * 1000.0;  // ms
      double value = 0.0;
      if (t < 1.5) value += 0.6 * next_noise() * (1.0 - t / 1.5);  // the hit itself
      for (const Mode& m : sound.modes) {
        value += m.level * std::exp(-t / m.decay_ms) * std::sin(2.0 * kPi * m.hertz * t / 1000.0);
      }
      signal[static_cast<size_t>(i)] += level * value;
    }
  };
  strike(0.0, 1.0);
  strike(sound.release_ms, sound.release_level);
  double peak = 1e-9;
  for (double v : signal) peak = std::max(peak, std::fabs(v));
  std::vector<int16_t> samples;
  for (int i = 0; i < count; ++i) {
    const double fade = std::min(1.0, (count - i) / (0.004 * kRate));  // last 4 ms
    samples.push_back(static_cast<int16_t>(std::lround(signal[static_cast<size_t>(i)] / peak *
                                                        0.7 * 32767.0 * fade)));
  }
  return Wav(samples);
}

}  // namespace

std::vector<uint8_t> KnobClick() {
  return Make({45.0, 14.0, 0.35, {{650.0, 9.0, 0.5}, {1900.0, 5.0, 0.8}, {3700.0, 2.5, 0.4}}},
              0x5eed0001u);
}

std::vector<uint8_t> KeyClick() {
  return Make({30.0, 8.0, 0.25, {{1100.0, 5.0, 0.35}, {2600.0, 3.5, 0.7}, {4200.0, 2.0, 0.6}}},
              0x5eed0002u);
}

}  // namespace clicks
