// The disc stage sums and scales the three channels in lanes; each must come out as the plain
// channel-by-channel truncations make it, where those saturate too, on and off the planet and
// either side of the disc's limit.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "foundation/fast_math.h"
#include "render/shade_internal.h"
#include "tests/support/truncation_values.h"

TEST(DiscLanes, ChannelsMatchThePlainTruncations) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> colours = TruncationValues(0, 0);
  const float covers[] = {1.0f, 0.0f, 0.375f, 1.0e30f, -1.0f, nan};
  const int32_t accs[] = {0, -40000, INT32_MAX, INT32_MIN};
  std::vector<float> records(2 * kPixelRecordFloats, 0.0f);
  ShadeRow row{};
  row.discLimit = 1000;
  uint32_t state = 99;
  for (float colour : colours) {
    for (float cover : covers) {
      for (int32_t acc : accs) {
        state = state * 1664525u + 1013904223u;
        ShadePixel px{};
        px.record = px.slot = records.data() + kPixelRecordFloats;
        px.onPlanet = (state >> 9) % 4 != 0;
        row.isMap = (state >> 13) % 3 == 0;
        const int32_t distance4 = 998 + int32_t((state >> 17) % 4);
        std::memcpy(&px.slot[kSlotDistance4], &distance4, sizeof distance4);
        // The channels differ, so that a lane taking its neighbour's value shows.
        const float channel[3] = {colour, colour * 0.5f, -colour};
        for (int k = 0; k < 3; k++) px.colour[k] = channel[k], px.acc[k] = k == 1 ? acc / 3 : acc;
        px.cover = cover;
        px.airAlpha = 0.25f;
        const bool adds = px.onPlanet && (row.isMap || distance4 < row.discLimit);
        int32_t expected[3];
        for (int k = 0; k < 3; k++) {
          const int32_t a = adds ? TruncateFloatToInt32(float(px.acc[k]) + channel[k]) : px.acc[k];
          expected[k] = TruncateFloatToInt32(float(a) * cover);
        }
        ShadeDisc(&row, &px);
        for (int k = 0; k < 3; k++) EXPECT_EQ(px.acc[k], expected[k]) << colour << " " << cover << " " << acc << " " << k;
        EXPECT_EQ(px.airAlpha, 0.25f);   // the field after the channels is left alone
      }
    }
  }
}
