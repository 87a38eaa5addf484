// The crater decal sum against the plain loop over every crater: each slab tested on its own,
// every crater that holds the point sampled, the decals added in crater order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bench/render_harness.h"
#include "imagestore/pixel_access.h"
#include "imagestore/samplers.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"
#include "render/shader.h"

namespace {

struct PlainDecal {
  float decal;
  int32_t hits;   // craters whose slab holds the point
};

PlainDecal PlainCraterDecal(PluginGlobals *g, const float p[3], float logViewTerm) {
  const RunState *run = g->runState;
  PlainDecal out = {0.0f, 0};
  for (int32_t k = 0; k + 1 < g->cratersPlaced; k++) {
    const CraterRecord &c = run->craters[k];
    const float r = c.halfSize;
    const float a = p[0] * c.u[0] + p[1] * c.u[1] + p[2] * c.u[2];
    const float b = p[0] * c.t[0] + p[1] * c.t[1] + p[2] * c.t[2];
    if (!(a > -r && a < r && b > -r && b < r)) continue;
    out.hits++;
    const int32_t j = (k >> 2) & 3;
    const float mu = (j == 0 || j == 2) ? 0.5f : -0.5f;
    const float mt = (j == 0 || j == 1) ? 0.5f : -0.5f;
    float level = (c.logHalfSize + run->craterLevelBias + logViewTerm) * -1.442695040888963f;
    if (std::isnan(level)) level = 1.0f;
    if (level < 0.0f) level = 0.0f;
    const float whole = std::trunc(level);
    const float u = std::fmin(std::fmax(a * mu / r + 0.5f, 0.0f), 1.0f);
    const float v = std::fmin(std::fmax(b * mt / r + 0.5f, 0.0f), 1.0f);
    const float t = SampleGrayTrilinear(&g->imageSet[2 + (k & 3)], whole, level - whole, u, v);
    out.decal += r * run->craterDepthFactor * (t - 128.0f);
  }
  return out;
}

// A small deterministic generator: uniform floats in [lo, hi).
struct Lcg {
  uint32_t state;
  float Next(float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(state >> 8) * (1.0f / 16777216.0f);
  }
};

// Points on and just off the sphere (the light-side point lies within 0.001 of it), half of
// them inside some crater's slab, compared bit for bit over crater counts with one to three
// craters in the candidate list's last block of four, sizes and both signs of the view term.
TEST(CraterDecals, EqualThePlainLoopOverEveryCrater) {
  struct Setting {
    uint32_t count, size, seed;
  };
  const Setting settings[] = {{40, 50, 0}, {100, 90, 3}, {7, 100, 11}, {3, 30, 5}, {100, 200, 8}, {14, 60, 21}};
  int32_t multiple = 0, single = 0;
  for (const Setting &s : settings) {
    RenderHarness harness;
    HarnessOptions options;
    options.width = 64;
    options.height = 64;
    ASSERT_TRUE(OpenHarness(&harness, options));
    PluginGlobals *g = harness.globals;
    ParameterBlock *p = HarnessParameters(&harness);
    p->craterCount = s.count;
    p->craterSize = s.size;
    p->randomSeed = s.seed;
    PrepareRenderConstants(g);
    RenderView view;
    SetupRenderView(g, &view);
    ASSERT_GE(g->cratersPlaced, 2);
    Lcg rng = {s.seed * 7919u + s.count};
    for (int32_t i = 0; i < 3000; i++) {
      float point[3];
      if (i % 2 == 0) {
        // Near a crater's centre: alpha c + a u + b t with |a|, |b| up to 1.2 r.
        const CraterRecord &c = g->runState->craters[i / 2 % (g->cratersPlaced - 1)];
        const float centre[3] = {c.u[1] * c.t[2] - c.u[2] * c.t[1], c.u[2] * c.t[0] - c.u[0] * c.t[2],
                                 c.u[0] * c.t[1] - c.u[1] * c.t[0]};
        const float a = rng.Next(-1.2f, 1.2f) * c.halfSize, b = rng.Next(-1.2f, 1.2f) * c.halfSize;
        const float alpha = (i % 8 == 0 ? -1.0f : 1.0f) * std::sqrt(std::fmax(0.0f, 1.0f - a * a - b * b));
        for (int k = 0; k < 3; k++) point[k] = alpha * centre[k] + a * c.u[k] + b * c.t[k];
      } else {
        float q[3] = {rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1)};
        const float n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]) + 1e-6f;
        for (int k = 0; k < 3; k++) point[k] = q[k] / n;
      }
      const float scale = rng.Next(0.999f, 1.001f);
      for (float &x : point) x *= scale;
      const float logViewTerm = i % 3 == 0 ? rng.Next(-4.0f, 0.0f) : (i % 3 == 1 ? -0.34657359f : rng.Next(0.0f, 3.0f));

      const PlainDecal plain = PlainCraterDecal(g, point, logViewTerm);
      float sum = 0.25f, decal = 99.0f;
      AddCraterDecals(&sum, point, &decal, g, logViewTerm);
      uint32_t got, want;
      std::memcpy(&got, &decal, 4);
      std::memcpy(&want, &plain.decal, 4);
      ASSERT_EQ(got, want) << "setting " << s.count << "/" << s.size << " point " << i << ": " << point[0] << ", "
                           << point[1] << ", " << point[2];
      ASSERT_EQ(sum, 0.25f + plain.decal);
      multiple += plain.hits > 1;
      single += plain.hits == 1;
    }
    CloseHarness(&harness);
  }
  // The comparison saw the order of several decals at one point, not only lone ones.
  EXPECT_GT(multiple, 200);
  EXPECT_GT(single, 2000);
}

// The flat radii against a scan of every pixel of every level: the farthest pixel that is not
// neutral (128) from the texture's centre, plus 4 pixels of the level, the larger of a level's
// and the next one's. Pixels are then set alone in neutral rows at the ends and at the
// boundaries of eight-pixel words, where a row's scan from either end stops.
TEST(CraterDecals, FlatRadiiMatchAPlainScan) {
  RenderHarness harness;
  HarnessOptions options;
  options.width = 32;
  options.height = 32;
  ASSERT_TRUE(OpenHarness(&harness, options));
  PluginGlobals *g = harness.globals;
  PrepareRenderConstants(g);
  auto check = [g](const char *what) {
    for (int32_t k = 0; k < 4; k++) {
      const TiledMipImage *image = &g->imageSet[2 + k];
      ASSERT_NE(image->tiles, nullptr);
      float reach[kMaxImageLevelsForRender + 1];
      for (float &r : reach) r = 2.0f;
      for (int32_t level = 0; level <= image->coarsestLevel && level < kMaxImageLevelsForRender; level++) {
        const int32_t w = image->levelWidth[level], h = image->levelHeight[level];
        float farthest2 = -1.0f;
        for (int32_t y = 0; y < h; y++) {
          for (int32_t x = 0; x < w; x++) {
            if (GetPixelGray8(x, y, image, level) == 128) continue;
            const float dx = (float(x) + 0.5f) / float(w) - 0.5f, dy = (float(y) + 0.5f) / float(h) - 0.5f;
            farthest2 = std::fmax(farthest2, dx * dx + dy * dy);
          }
        }
        reach[level] = (farthest2 < 0.0f ? 0.0f : std::sqrt(farthest2)) + 4.0f / float(std::min(w, h));
      }
      for (int32_t level = 0; level < kMaxImageLevelsForRender; level++) {
        ASSERT_EQ(g->runState->craterFlatRadius[k][level], std::fmax(reach[level], reach[level + 1]))
            << what << ": texture " << k << ", level " << level;
      }
    }
  };
  check("as loaded");
  // Texture 0 (384 x 384) has neutral rows at its top; texture 1's level 2 is 96 wide.
  TiledMipImage *t0 = &g->imageSet[2], *t1 = &g->imageSet[3];
  ASSERT_EQ(GetPixelGray8(383, 0, t0, 0), 128);
  const int32_t xs[] = {0, 7, 8, 9, 15, 16, 374, 375, 376, 377, 383};
  for (int32_t i = 0; i < 11; i++) {
    if (i > 0) PutPixelGray8Checked(xs[i - 1], i - 1, t0, 0, 128);
    PutPixelGray8Checked(xs[i], i, t0, 0, 130);
    MeasureCraterTextures(g);
    check("one pixel set");
  }
  PutPixelGray8Checked(xs[10], 10, t0, 0, 128);
  // Two pixels in a row: the scan from the right end must not stop short of the far one.
  const int32_t far[] = {383, 376, 375, 369, 368, 367};
  for (int32_t i = 0; i < 6; i++) {
    PutPixelGray8Checked(190, 20 + i, t0, 0, 100);
    PutPixelGray8Checked(far[i], 20 + i, t0, 0, 140);
    MeasureCraterTextures(g);
    check("two pixels set");
    PutPixelGray8Checked(far[i], 20 + i, t0, 0, 128);
  }
  PutPixelGray8Checked(95, 0, t1, 2, 0);
  PutPixelGray8Checked(88, 1, t1, 2, 255);
  PutPixelGray8Checked(3, 2, t1, 2, 127);
  MeasureCraterTextures(g);
  check("level 2 set");
  CloseHarness(&harness);
}

}  // namespace
