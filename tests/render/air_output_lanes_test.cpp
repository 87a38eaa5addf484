// The air and the output of a batch of pixels, shaded in lanes, against the pixels shaded one by
// one: random air, sunset and light (backlit halos included) over the globe, the map and the
// air-only mode, in both channel classes, grey and colour, on plain and transparent layers, on
// widths that leave every short group of four.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/harness_settings.h"
#include "foundation/fast_math.h"
#include "render/lanes_sse2.h"
#include "bench/render_harness.h"
#include "render/shader.h"
#include "tests/support/truncation_values.h"

namespace {

bool RenderOnce(const HarnessOptions &options, const std::vector<std::string> &settings, HarnessImage *image) {
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return false;
  ParameterBlock *p = HarnessParameters(&harness);
  for (const std::string &s : settings) {
    if (!ApplyHarnessSetting(p, s.c_str())) {
      ADD_FAILURE() << "bad setting " << s;
      CloseHarness(&harness);
      return false;
    }
  }
  const bool ok = RenderHarnessImage(&harness, image);
  CloseHarness(&harness);
  return ok;
}

uint32_t Next(uint32_t *state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

std::string Setting(const char *format, double a, double b = 0, double c = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

TEST(AirOutputLanes, BatchesMatchOnePixelAtATime) {
  uint32_t state = 4242;
  const int modes[] = {1, 2, 2, 3, 8, 12};
  int lit = 0;
  for (int k = 0; k < 24; k++) {
    HarnessOptions options;
    options.width = 61 + 7 * (k % 4);   // 61, 68, 75, 82: every remainder of four
    options.height = 9;
    options.depth = k % 2 == 0 ? 8 : 16;
    options.grey = k % 5 == 3;
    options.transparentLayer = k % 3 != 0;
    std::vector<std::string> settings;
    settings.push_back(Setting("outputMode=%.0f", modes[k % 6]));
    // A light from behind now and then (its z below -0.9 lights the halo).
    const double lz = k % 4 == 1 ? -0.95 - (Next(&state) % 50) / 1000.0 : (Next(&state) % 2001) / 1000.0 - 1.0;
    settings.push_back(Setting("light=%.3f,%.3f,%.3f", (Next(&state) % 2001) / 1000.0 - 1.0,
                               (Next(&state) % 2001) / 1000.0 - 1.0, lz));
    settings.push_back(Setting("airDepth=%.0f", 1 + Next(&state) % 100));
    settings.push_back(Setting("airBrightness=%.0f", 1 + Next(&state) % 100));
    settings.push_back(Setting("sunset=%.0f", Next(&state) % 101));
    settings.push_back(Setting("planetSize=%.0f", 40 + Next(&state) % 80));
    settings.push_back(Setting("randomSeed=%.0f", Next(&state) % 4096));
    settings.push_back(Setting("cloudCoverage=%.0f", Next(&state) % 2 == 0 ? 0.0 : 40.0));
    if (k % 4 == 1) settings.push_back("backlighting=1");
    HarnessImage single, batched;
    SetRowNoiseBatchingEnabled(false);
    ASSERT_TRUE(RenderOnce(options, settings, &single));
    SetRowNoiseBatchingEnabled(true);
    ASSERT_TRUE(RenderOnce(options, settings, &batched));
    ASSERT_EQ(single.samples.size(), batched.samples.size());
    size_t differing = 0;
    for (size_t i = 0; i < single.samples.size(); i++) differing += single.samples[i] != batched.samples[i];
    std::string described;
    for (const std::string &s : settings) described += s + " ";
    EXPECT_EQ(differing, 0u) << described << " depth " << options.depth << " grey " << options.grey
                             << " transparent " << options.transparentLayer;
    // The comparison means something only where the air lit some pixel.
    size_t bright = 0;
    for (uint16_t v : batched.samples) bright += v != 0;
    lit += bright > 0;
  }
  EXPECT_GE(lit, 20);
}

// The lanes' truncation saturates and maps NaN as the one-value form does: the powers of two at
// the ends of the range and their neighbours, infinities, NaNs and random bit patterns.
TEST(AirOutputLanes, TruncationMatchesTheOneValueForm) {
  std::vector<float> values = TruncationValues(4000, 77);
  while (values.size() % 4 != 0) values.push_back(1.5f);
  for (size_t i = 0; i < values.size(); i += 4) {
    int32_t lanes[4];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes), TruncateLanes(_mm_loadu_ps(&values[i])));
    for (int k = 0; k < 4; k++) EXPECT_EQ(lanes[k], TruncateFloatToInt32(values[i + k])) << values[i + k];
  }
}

}  // namespace
