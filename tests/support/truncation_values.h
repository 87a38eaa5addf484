// truncation_values.h -- the floats that the tests of float-to-int32 truncations sweep. First
// the values where a truncation can go wrong: the ends of the 32-bit range and their float
// neighbours, infinities and NaNs of both signs, signed zeros, values just short of a whole
// number; then `randomCount` arbitrary bit patterns, every other one with an exponent near the
// 32-bit range, where two forms of the truncation could part.
#ifndef KIVAGLOBE_TESTS_SUPPORT_TRUNCATION_VALUES_H
#define KIVAGLOBE_TESTS_SUPPORT_TRUNCATION_VALUES_H

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

inline std::vector<float> TruncationValues(int32_t randomCount, uint32_t seed) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> values = {2147483648.0f, 2147483520.0f, -2147483648.0f, -2147483520.0f, -2147483904.0f,
                               0.0f,          -0.0f,         0.99999994f,    -0.99999994f,    -0.99f,
                               0.49f,         254.99f,       254.99998f,     -7.75f,          1e30f,
                               -1e30f,        inf,           -inf,           nan,             -nan};
  uint32_t state = seed;
  for (int32_t i = 0; i < randomCount; i++) {
    state = state * 1664525u + 1013904223u;
    const uint32_t bits = (i & 1) ? state : ((state & 0x807FFFFFu) | ((0x9Au + (state >> 29)) << 23));
    float v;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
  }
  return values;
}

#endif  // KIVAGLOBE_TESTS_SUPPORT_TRUNCATION_VALUES_H
