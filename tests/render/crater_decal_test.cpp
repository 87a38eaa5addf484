// The crater decals against the plain loop over every crater: each slab tested on its own, every
// crater that holds the point sampled (no skip), the decals added in crater order. The points lie
// on and just off the sphere near the craters' centres; the settings' candidate lists end in every
// remainder of four, and their slabs overlap, so that several decals meet at some points.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>

#include "bench/render_harness.h"
#include "imagestore/samplers.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"
#include "render/shader.h"

namespace {

// A harness whose run has placed the craters of s = {count, size, seed}.
bool OpenCraters(RenderHarness *harness, const std::array<uint32_t, 3> &s) {
  if (!OpenHarness(harness, HarnessOptions{})) return false;
  ParameterBlock *p = HarnessParameters(harness);
  p->craterCount = s[0], p->craterSize = s[1], p->randomSeed = s[2];
  PrepareRenderConstants(harness->globals);
  RenderView view;
  SetupRenderView(harness->globals, &view);
  return true;
}

// The plain loop's decal sum at q; counts the craters whose slab holds q into *hits.
float PlainDecals(const PluginGlobals *g, const float q[3], float logView, int32_t *hits) {
  const RunState *run = g->runState;
  float want = 0.0f;
  *hits = 0;
  for (int32_t k = 0; k + 1 < g->cratersPlaced; k++) {
    const CraterRecord &d = run->craters[k];
    const float r = d.halfSize, pu = q[0] * d.u[0] + q[1] * d.u[1] + q[2] * d.u[2];
    const float pt = q[0] * d.t[0] + q[1] * d.t[1] + q[2] * d.t[2];
    if (!(pu > -r && pu < r && pt > -r && pt < r)) continue;
    ++*hits;
    const float mu = (k >> 2 & 3) % 2 == 0 ? 0.5f : -0.5f, mt = (k >> 2 & 3) < 2 ? 0.5f : -0.5f;
    const float level = std::fmax((d.logHalfSize + run->craterLevelBias + logView) * -1.442695040888963f, 0.0f);
    const float u = std::fmin(std::fmax(pu * mu / r + 0.5f, 0.0f), 1.0f);
    const float v = std::fmin(std::fmax(pt * mt / r + 0.5f, 0.0f), 1.0f);
    const float t = SampleGrayTrilinear(&g->imageSet[2 + (k & 3)], std::trunc(level), level - std::trunc(level), u, v);
    want += r * run->craterDepthFactor * (t - 128.0f);
  }
  return want;
}

// A point on the sphere (scaled by `scale`) at (a, b) in crater c's own axes, on the far side
// when `far` is set.
void CraterPoint(const CraterRecord &c, float a, float b, bool far, float scale, float q[3]) {
  const float alpha = std::sqrt(std::fmax(0.0f, 1.0f - a * a - b * b)) * (far ? -1.0f : 1.0f);
  for (int k = 0; k < 3; k++) {
    const float centre = c.u[(k + 1) % 3] * c.t[(k + 2) % 3] - c.u[(k + 2) % 3] * c.t[(k + 1) % 3];
    q[k] = (alpha * centre + a * c.u[k] + b * c.t[k]) * scale;
  }
}

}  // namespace

// The paired pass gives each of its points bit for bit what AddCraterDecals gives that point
// alone, with culling on and off: pairs a few thousandths apart (a pixel's two points), pairs far
// apart (each with craters the other lacks), points beyond the texture's bowl and outside the slab,
// the sphere's centre (in every slab) and NaN (in none). Lanes that took the other point's
// coordinate, the wrong mirroring, or a clamp that let NaN through would differ.
TEST(CraterDecals, PairsEqualEachPointAlone) {
  int32_t differing = 0;
  for (const auto &s : {std::array<uint32_t, 3>{40, 50, 0}, {100, 200, 8}, {7, 100, 11}, {14, 60, 21}}) {
    RenderHarness harness;
    ASSERT_TRUE(OpenCraters(&harness, s));
    PluginGlobals *g = harness.globals;
    const RunState *run = g->runState;
    const int32_t count = g->cratersPlaced - 1;
    for (int32_t i = 0; i < 3000; i++) {
      const CraterRecord &c = run->craters[i % count];
      const float a = c.halfSize * std::sin(float(i) * 0.37f) * 1.3f, b = c.halfSize * std::cos(float(i) * 0.91f) * 1.3f;
      float pt[3], q[3];
      CraterPoint(c, a, b, i % 9 == 0, 1.0f + float(i % 7 - 3) * 0.0003f, pt);
      if (i % 4 == 0) {
        // Near another crater, or at the far side of this one.
        const CraterRecord &o = run->craters[(i * 7 + 3) % count];
        CraterPoint(o, b * 0.5f, a * 0.5f, i % 8 == 0, 1.0f, q);
      } else {
        for (int k = 0; k < 3; k++) q[k] = pt[k] + float((i >> k) % 5 - 2) * 0.002f * c.halfSize;
      }
      if (i % 97 == 0) q[i % 3] = NAN;
      if (i % 89 == 0) pt[0] = pt[1] = pt[2] = 0.0f;
      const float logView = float(i % 11) * 0.5f - 3.0f;
      for (bool culled : {true, false}) {
        SetCraterCullingEnabled(culled);
        float pair[2] = {-1.0f, -1.0f}, sum = 0.0f, alone[2] = {-2.0f, -2.0f};
        AddCraterDecalPairs(pt, q, pair, g, logView);
        AddCraterDecals(&sum, pt, &alone[0], g, logView);
        AddCraterDecals(&sum, q, &alone[1], g, logView);
        SetCraterCullingEnabled(true);
        ASSERT_EQ(std::bit_cast<uint32_t>(pair[0]), std::bit_cast<uint32_t>(alone[0]))
            << "setting " << s[0] << "/" << s[1] << ", point " << i << (culled ? "" : " unculled");
        ASSERT_EQ(std::bit_cast<uint32_t>(pair[1]), std::bit_cast<uint32_t>(alone[1]))
            << "setting " << s[0] << "/" << s[1] << ", point " << i << (culled ? "" : " unculled");
        differing += alone[0] != alone[1];
      }
    }
    CloseHarness(&harness);
  }
  EXPECT_GT(differing, 1000);
}

TEST(CraterDecals, EqualThePlainLoopOverEveryCrater) {
  int32_t overlaps = 0;
  for (const auto &s : {std::array<uint32_t, 3>{40, 50, 0}, {100, 200, 8}, {7, 100, 11}, {3, 30, 5}, {14, 60, 21}}) {
    RenderHarness harness;
    ASSERT_TRUE(OpenCraters(&harness, s));
    PluginGlobals *g = harness.globals;
    const RunState *run = g->runState;
    for (int32_t i = 0; i < 2000; i++) {
      const CraterRecord &c = run->craters[i % (g->cratersPlaced - 1)];
      const float a = c.halfSize * std::sin(float(i) * 0.37f) * 1.2f, b = c.halfSize * std::cos(float(i) * 0.91f) * 1.2f;
      const float alpha = std::sqrt(std::fmax(0.0f, 1.0f - a * a - b * b)) * (i % 5 == 0 ? -1.0f : 1.0f);
      float q[3], sum = 0.25f, decal = 99.0f;
      for (int k = 0; k < 3; k++) {
        const float centre = c.u[(k + 1) % 3] * c.t[(k + 2) % 3] - c.u[(k + 2) % 3] * c.t[(k + 1) % 3];
        q[k] = (alpha * centre + a * c.u[k] + b * c.t[k]) * (1.0f + float(i % 7 - 3) * 0.0003f);
      }
      const float logView = float(i % 11) * 0.5f - 3.0f;
      int32_t hits = 0;
      const float want = PlainDecals(g, q, logView, &hits);
      AddCraterDecals(&sum, q, &decal, g, logView);
      ASSERT_EQ(decal, want) << "setting " << s[0] << "/" << s[1] << ", point " << i;
      ASSERT_EQ(sum, 0.25f + want);
      overlaps += hits > 1;
    }
    // The centre of the sphere lies in every slab (both dot products 0) but in none of the empty
    // ones that round the list up to a four; NaN lies in none.
    const float centre[3] = {0.0f, 0.0f, 0.0f}, nan[3] = {NAN, 0.0f, 0.0f};
    int32_t hits = 0;
    float sum = 0.0f, decal = 99.0f;
    const float want = PlainDecals(g, centre, 0.5f, &hits);
    EXPECT_EQ(hits, g->cratersPlaced - 1);
    AddCraterDecals(&sum, centre, &decal, g, 0.5f);
    EXPECT_EQ(decal, want) << "setting " << s[0] << "/" << s[1];
    sum = 0.25f;
    AddCraterDecals(&sum, nan, &decal, g, 0.5f);
    EXPECT_EQ(decal, 0.0f);
    EXPECT_EQ(sum, 0.25f);
    CloseHarness(&harness);
  }
  EXPECT_GT(overlaps, 100);
}
