// The crater decals against the plain loop over every crater: each slab tested on its own, every
// crater that holds the point sampled (no skip), the decals added in crater order.
#include <gtest/gtest.h>

#include <cmath>

#include "bench/render_harness.h"
#include "imagestore/samplers.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"
#include "render/shader.h"

namespace {

// Points on and just off the sphere, most near some crater's centre (alpha c + a u + b t with
// |a|, |b| up to 1.2 r), over settings whose candidate lists end in every remainder of four and
// whose slabs overlap (so that the order of several decals at a point is seen too).
TEST(CraterDecals, EqualThePlainLoopOverEveryCrater) {
  const uint32_t settings[][3] = {{40, 50, 0}, {100, 200, 8}, {7, 100, 11}, {3, 30, 5}, {14, 60, 21}};
  int32_t overlaps = 0;
  for (const auto &s : settings) {
    RenderHarness harness;
    ASSERT_TRUE(OpenHarness(&harness, HarnessOptions{}));
    PluginGlobals *g = harness.globals;
    ParameterBlock *p = HarnessParameters(&harness);
    p->craterCount = s[0], p->craterSize = s[1], p->randomSeed = s[2];
    PrepareRenderConstants(g);
    RenderView view;
    SetupRenderView(g, &view);
    const RunState *run = g->runState;
    for (int32_t i = 0; i < 2000; i++) {
      const CraterRecord &c = run->craters[i % (g->cratersPlaced - 1)];
      const float a = c.halfSize * std::sin(float(i) * 0.37f) * 1.2f, b = c.halfSize * std::cos(float(i) * 0.91f) * 1.2f;
      const float alpha = std::sqrt(std::fmax(0.0f, 1.0f - a * a - b * b)) * (i % 5 == 0 ? -1.0f : 1.0f);
      float point[3];
      for (int k = 0; k < 3; k++) {
        const float centre = c.u[(k + 1) % 3] * c.t[(k + 2) % 3] - c.u[(k + 2) % 3] * c.t[(k + 1) % 3];
        point[k] = (alpha * centre + a * c.u[k] + b * c.t[k]) * (1.0f + float(i % 7 - 3) * 0.0003f);
      }
      const float logView = float(i % 11) * 0.5f - 3.0f;
      float want = 0.0f;
      int32_t hits = 0;
      for (int32_t k = 0; k + 1 < g->cratersPlaced; k++) {
        const CraterRecord &d = run->craters[k];
        const float r = d.halfSize, pu = point[0] * d.u[0] + point[1] * d.u[1] + point[2] * d.u[2];
        const float pt = point[0] * d.t[0] + point[1] * d.t[1] + point[2] * d.t[2];
        if (!(pu > -r && pu < r && pt > -r && pt < r)) continue;
        hits++;
        const float mu = (k >> 2 & 3) % 2 == 0 ? 0.5f : -0.5f, mt = (k >> 2 & 3) < 2 ? 0.5f : -0.5f;
        const float level = std::fmax((d.logHalfSize + run->craterLevelBias + logView) * -1.442695040888963f, 0.0f);
        const float u = std::fmin(std::fmax(pu * mu / r + 0.5f, 0.0f), 1.0f);
        const float v = std::fmin(std::fmax(pt * mt / r + 0.5f, 0.0f), 1.0f);
        const float t = SampleGrayTrilinear(&g->imageSet[2 + (k & 3)], std::trunc(level), level - std::trunc(level), u, v);
        want += r * run->craterDepthFactor * (t - 128.0f);
      }
      float sum = 0.25f, decal = 99.0f;
      AddCraterDecals(&sum, point, &decal, g, logView);
      ASSERT_EQ(decal, want) << "setting " << s[0] << "/" << s[1] << ", point " << i;
      ASSERT_EQ(sum, 0.25f + want);
      overlaps += hits > 1;
    }
    CloseHarness(&harness);
  }
  EXPECT_GT(overlaps, 100);
}

}  // namespace
