// The disc stage sums and scales the three channels in lanes; each channel must come out as the
// plain channel-by-channel truncations would make it, including where those saturate (huge and
// infinite colours, NaN) and at the disc's limit, on and off the planet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/fast_math.h"
#include "render/shade_internal.h"

namespace {

TEST(DiscLanes, ChannelsMatchThePlainTruncations) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float colours[] = {0.0f, -0.0f, 0.49f, 254.99f, 65535.5f, -7.75f, 2147483520.0f, 2147483648.0f,
                           -2147483904.0f, 3.0e38f, inf, -inf, nan};
  const float covers[] = {1.0f, 0.0f, 0.375f, 1.5e-7f, 1.0e30f, -1.0f, nan};
  const int32_t accs[] = {0, 3, -40000, INT32_MAX, INT32_MIN};
  std::vector<float> records(3 * kPixelRecordFloats, 0.0f);
  ShadeRow row{};
  row.discLimit = 1000;
  uint32_t state = 99;
  int cases = 0;
  for (float colour : colours) {
    for (float cover : covers) {
      for (int32_t acc : accs) {
        state = state * 1664525u + 1013904223u;
        ShadePixel px{};
        px.record = records.data() + kPixelRecordFloats;
        px.slot = px.record;
        px.onPlanet = (state >> 9) % 4 != 0;
        row.isMap = (state >> 13) % 3 == 0;
        const int32_t distance4 = 998 + int32_t((state >> 17) % 4);   // either side of the limit
        std::memcpy(&px.slot[kSlotDistance4], &distance4, sizeof distance4);
        // The channels differ, so that a lane taking its neighbour's value shows.
        const float channel[3] = {colour, colour * 0.5f, -colour};
        for (int k = 0; k < 3; k++) {
          px.colour[k] = channel[k];
          px.acc[k] = k == 1 ? acc / 3 : acc;
        }
        px.cover = cover;
        px.airAlpha = 0.25f;
        int32_t expected[3];
        const bool adds = px.onPlanet && (row.isMap || distance4 < row.discLimit);
        for (int k = 0; k < 3; k++) {
          int32_t a = px.acc[k];
          if (adds) a = TruncateFloatToInt32(float(a) + channel[k]);
          expected[k] = TruncateFloatToInt32(float(a) * cover);
        }
        ShadeDisc(&row, &px);
        for (int k = 0; k < 3; k++) {
          EXPECT_EQ(px.acc[k], expected[k]) << "colour " << colour << " cover " << cover << " acc " << acc
                                            << " channel " << k << (adds ? " (added)" : "");
        }
        EXPECT_EQ(px.airAlpha, 0.25f);   // the field after the channels is left alone
        cases += adds;
      }
    }
  }
  EXPECT_GT(cases, 100);
}

}  // namespace
