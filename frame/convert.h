// Conversions of simulation values into module integers, and integer steps,
// that stay defined for every input.
#pragma once

#include <cstdint>

// Truncates toward zero; saturates at the ends of the 32-bit range; NaN is 0.
inline int32_t TruncateToInt32(double value) {
  if (value != value) return 0;
  if (value >= 2147483648.0) return INT32_MAX;
  if (value <= -2147483649.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

inline int32_t SaturatingAdd(int32_t value, int32_t step) {
  const int64_t sum = static_cast<int64_t>(value) + step;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(sum);
}

// The power rule shared by the panels: strictly above 10.0 (NaN is not).
inline int32_t PoweredFrom(double bus_value) { return bus_value > 10.0 ? 1 : 0; }
