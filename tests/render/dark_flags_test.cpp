// Tests of what a lit row leaves in its pixel records: the night flags (which pixels lie beyond
// the terminator band or off the globe's disc) and the globe's placement slot, checked against
// the sphere geometry in double precision and integer arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench/render_harness.h"
#include "foundation/vector_math.h"
#include "plugin/globals.h"
#include "render/render_setup.h"
#include "render/render_types.h"

namespace {

// Without air the terminator band is its floor, 0.076770388 wide.
constexpr double kBand = 0.076770388;

// A lit mode with the flags at work: no city lights, no air, no clouds.
ParameterBlock *LitWithoutCities(RenderHarness *harness, uint32_t mode, const float light[3]) {
  ParameterBlock *p = HarnessParameters(harness);
  p->outputMode = mode;
  p->cities = 0;
  p->airDepth = 0;
  p->cloudCoverage = 0;
  p->backlighting = 0;
  for (int k = 0; k < 3; k++) p->lightVector[k] = light[k];
  return p;
}

TEST(DarkFlags, LastRowAgreesWithTheGeometry) {
  struct Case {
    int32_t width;
    float light[3];
  };
  // Widths around the four-column steps, lights from the side, behind and in front.
  const Case cases[] = {{203, {0.8f, 0.1f, 0.59f}},  {64, {-0.9f, 0.2f, 0.39f}}, {97, {0.3f, -0.2f, -0.93f}},
                        {130, {-0.5f, 0.5f, 0.71f}}, {7, {1.0f, 0.0f, 0.0f}},    {161, {0.05f, 0.0f, -1.0f}}};
  int32_t lit = 0, dark = 0, off = 0;
  for (const Case &c : cases) {
    RenderHarness harness;
    HarnessOptions options;
    options.width = c.width;
    options.height = 60;
    ASSERT_TRUE(OpenHarness(&harness, options));
    ParameterBlock *p = LitWithoutCities(&harness, 1, c.light);
    p->centerY = 0.8f;   // the last row runs through the disc
    HarnessImage image;
    ASSERT_TRUE(RenderHarnessImage(&harness, &image));
    const PluginGlobals *g = harness.globals;
    const RenderView &view = g->renderView;
    const int32_t row = options.height - 1;
    const double L[3] = {-double(c.light[0]), -double(c.light[1]), double(c.light[2])};
    const float *records = static_cast<const float *>(g->buffers[kBufferRow]);
    for (int32_t col = 0; col < c.width; col++) {
      const float *record = records + int64_t(col + 1) * kPixelRecordFloats;
      const double x = double(int64_t(view.centreX) - col) / double(view.radius);
      const double y = double(int64_t(view.centreY) - row) / double(view.radius);
      const double zz = 1.0 - x * x - y * y;
      // Stage 1's slot: the offset, four times the distance truncated (an integer square root
      // here), and the sphere's x.
      const float *slot = record + kRecordSlotBase + kRecordSlotStride * view.rowParity;
      const int64_t dx = int64_t(view.centreX) - col, dy = int64_t(view.centreY) - row;
      int32_t distance4;
      std::memcpy(&distance4, &slot[kSlotDistance4], sizeof distance4);
      int64_t root = 0;
      while ((root + 1) * (root + 1) <= 16 * (dx * dx + dy * dy)) root++;
      EXPECT_EQ(distance4, root) << col;
      EXPECT_EQ(slot[kSlotOffsetX], float(dx)) << col;
      EXPECT_NEAR(slot[kSlotSphereX], x, 1e-6) << col;
      // The last row has no next row: every next flag is set.
      EXPECT_EQ(record[kRecordDarkNext], 1.0f) << col;
      if (std::fabs(zz) < 1e-4) continue;   // on the rim: rounding decides
      if (zz < 0.0) {
        EXPECT_EQ(record[kRecordDarkNow], 1.0f) << "width " << c.width << " column " << col;
        off++;
        continue;
      }
      const double d = L[0] * x + L[1] * y + L[2] * std::sqrt(zz);
      if (std::fabs(d + kBand) < 1e-4) continue;
      const bool expectDark = d <= -kBand;
      EXPECT_EQ(record[kRecordDarkNow], expectDark ? 1.0f : 0.0f) << "width " << c.width << " column " << col;
      (expectDark ? dark : lit)++;
    }
    // The column beyond the last counts as dark.
    EXPECT_EQ(records[int64_t(c.width + 1) * kPixelRecordFloats + kRecordDarkNow], 1.0f);
    CloseHarness(&harness);
  }
  EXPECT_GT(lit, 50);
  EXPECT_GT(dark, 50);
  EXPECT_GT(off, 50);
}

// The lit map: every pixel is on the planet. The view is panned so that the last row lies at
// about 30 degrees of latitude, where the longitude moves the points far.
TEST(DarkFlags, LastMapRowAgreesWithTheGeometry) {
  const float lights[][3] = {{0.8f, 0.1f, 0.59f}, {-0.3f, -0.9f, 0.3f}, {0.0f, 0.6f, -0.8f}};
  const float axes[][3] = {{0.6f, 0.8f, 0.0f}, {-0.3f, 0.5f, 0.81f}, {0.0f, 0.0f, 1.0f}};
  const double kPi = 3.14159265358979323846;
  int32_t lit = 0, dark = 0;
  for (int k = 0; k < 3; k++) {
    RenderHarness harness;
    HarnessOptions options;
    options.width = 90 + 3 * k;
    options.height = 30;
    ASSERT_TRUE(OpenHarness(&harness, options));
    ParameterBlock *p = LitWithoutCities(&harness, 3, lights[k]);
    p->panY = -10;
    for (int c = 0; c < 3; c++) p->axisVector[c] = axes[k][c];
    HarnessImage image;
    ASSERT_TRUE(RenderHarnessImage(&harness, &image));
    const PluginGlobals *g = harness.globals;
    float m[16];
    ModelAxisMatrix(g->runState->modelAxis, m);
    const int32_t row = options.height - 1;
    float s, t;
    PixelToTexCoord(0, row - 10, &s, &t, float(options.width) + 1.0f, float(options.height) + 1.0f);
    const double sine = std::sin((double(t) - 0.5) * -kPi);
    const double cosine = std::sqrt(1.0 - sine * sine);
    const double L[3] = {-double(lights[k][0]), -double(lights[k][1]), double(lights[k][2])};
    const float *records = static_cast<const float *>(g->buffers[kBufferRow]);
    for (int32_t col = 0; col < options.width; col++) {
      const float *record = records + int64_t(col + 1) * kPixelRecordFloats;
      PixelToTexCoord(col, 0, &s, &t, float(options.width) + 1.0f, float(options.height) + 1.0f);
      const double l = (double(s) - 0.5) * 2.0 * kPi;
      const double v[3] = {-std::sin(l) * cosine, sine, std::cos(l) * cosine};
      double d = 0.0;
      for (int j = 0; j < 3; j++) d += L[j] * (v[0] * m[j] + v[1] * m[4 + j] + v[2] * m[8 + j]);
      EXPECT_EQ(record[kRecordDarkNext], 1.0f) << col;
      if (std::fabs(d + kBand) < 1e-4) continue;
      const bool expectDark = d <= -kBand;
      EXPECT_EQ(record[kRecordDarkNow], expectDark ? 1.0f : 0.0f) << "case " << k << " column " << col;
      (expectDark ? dark : lit)++;
    }
    CloseHarness(&harness);
  }
  EXPECT_GT(lit, 40);
  EXPECT_GT(dark, 40);
}

}  // namespace
