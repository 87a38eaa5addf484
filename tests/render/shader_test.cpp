// Tests of the shader's named routines: the fractal sum's term counts, the ray and sphere, the
// contour cells, the procedural clouds, and the exact transcendental functions they rest on.
#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/render_harness.h"
#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "foundation/exact_math.h"
#include "render/fractal_sum.h"
#include "render/noise.h"
#include "render/shade_internal.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"
#include "render/shader.h"

namespace {

// The bits of a float, to compare results exactly (NaN payloads and the sign of zero included).
uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }

// Reproducible test values: next(lo, hi) is uniform in [lo, hi) from a linear congruential state.
struct Lcg {
  uint32_t state;
  float operator()(float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(state >> 8) * (1.0f / 16777216.0f);
  }
};

class ShaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HarnessOptions options;
    options.width = 32;
    options.height = 32;
    ASSERT_TRUE(OpenHarness(&harness_, options));
    g_ = harness_.globals;
    p_ = HarnessParameters(&harness_);
    PrepareRenderConstants(g_);
    ASSERT_EQ(harness_.result, 0);
    SetupRenderView(g_, &view_);
    tables_ = &g_->runState->noiseTables;
  }
  void TearDown() override { CloseHarness(&harness_); }

  float Noise(const float p[3]) const { return GradientNoise3Tables(tables_, p[0], p[1], p[2]); }
  float *Record(int32_t k) { return static_cast<float *>(g_->buffers[kBufferRow]) + k * kPixelRecordFloats; }

  RenderHarness harness_;
  PluginGlobals *g_ = nullptr;
  ParameterBlock *p_ = nullptr;
  RenderView view_;
  const NoiseTables *tables_ = nullptr;
};

TEST_F(ShaderTest, FractalNoiseTermCounts) {
  const float start[3] = {0.3f, -1.7f, 2.2f};
  const float lac = 1.584786f, gain = 0.7f;
  float pts[6][3];
  for (int k = 0; k < 6; k++) {
    for (int c = 0; c < 3; c++) pts[k][c] = k == 0 ? start[c] : pts[k - 1][c] * lac;
  }
  float v[6];
  for (int k = 0; k < 6; k++) v[k] = Noise(pts[k]);

  struct Case {
    float octaves;
    float sum, side;
    int scaled;   // how many times the point was multiplied
  };
  const Case cases[] = {
      {1.0f, v[0], 0.0f, 1},
      {0.5f, v[0] + 0.5f * v[1] * 1.0f, 0.5f * -1.0f * v[1] * 1.0f, 1},
      {2.0f, v[0] + v[1], -v[1], 2},
      {3.0f, v[0] + v[1] + v[2] * gain, -v[1] + v[2] * gain, 3},
      {2.0001f, v[0] + v[1] + v[2] * gain + (2.0001f - 2.0f) * v[3] * (gain * gain),
       -v[1] + v[2] * gain + (2.0001f - 2.0f) * -1.0f * v[3] * (gain * gain), 3},
  };
  for (const Case &c : cases) {
    float point[3] = {start[0], start[1], start[2]};
    float first = 0.0f;
    const float sum = FractalNoise(point, lac, c.octaves, gain, &first, g_);
    EXPECT_EQ(first, v[0]);
    EXPECT_EQ(sum, c.sum) << c.octaves;
    EXPECT_EQ(g_->runState->sideSum, c.side) << c.octaves;
    EXPECT_EQ(point[0], pts[c.scaled][0]) << c.octaves;
  }
}

// The term count of a fractal sum against the loop it stands for: one step, then another while
// the octave count exceeds 2, 3, ..., with at most 62 steps; integers, their float neighbours,
// the fractions between, and values past the cap; the fraction is the part after the point.
TEST(PlanFractal, StepsAreThoseOfTheLoop) {
  auto loopSteps = [](float octaves) {
    int32_t steps = 0;
    if (octaves > 1.0f) {
      int32_t i = 1;
      do {
        i++;
        steps++;
      } while (octaves > float(i) && steps < 62);
    }
    return steps;
  };
  std::vector<float> values = {-1.0f, -2.5f, 0.0f, 0.5f, 1.0f, 1.0e-30f, 61.5f, 62.0f, 62.5f, 63.0f, 64.0f,
                               8388607.5f, 1.0e9f, INFINITY, -INFINITY, NAN};
  for (int n = 1; n <= 66; n++) {
    values.push_back(float(n));
    values.push_back(std::nextafter(float(n), 0.0f));
    values.push_back(std::nextafter(float(n), 100.0f));
    values.push_back(float(n) + 0.37f);
  }
  for (float o : values) {
    const FractalPlan plan = PlanFractal(o);
    EXPECT_EQ(plan.steps, loopSteps(o)) << o;
    const float fraction = o - std::trunc(o);
    EXPECT_EQ(plan.terms, 1 + loopSteps(o) + (fraction != 0.0f ? 1 : 0)) << o;
    if (std::isnan(fraction)) {
      EXPECT_TRUE(std::isnan(plan.fraction)) << o;
    } else {
      EXPECT_EQ(plan.fraction, fraction) << o;
    }
  }
}

// The plans of four lanes against PlanFractal one count at a time, bit for bit: counts of every
// kind (negative fractions whose whole part is -0, the cap, 2^23 and beyond, infinities, NaN) in
// every lane position.
TEST(PlanFractal, LanesEqualOneAtATime) {
  std::vector<float> values = {-0.5f, -0.0f, -3.25f, -8388609.0f, 0.0f, 1.0f, 1.0e-30f, 1.0001f, 62.5f, 63.0f,
                               63.5f, 8388607.5f, 8388608.0f, 1.0e9f, INFINITY, -INFINITY, NAN};
  for (int n = 1; n <= 66; n++) {
    values.push_back(std::nextafter(float(n), 0.0f));
    values.push_back(float(n) + 0.37f);
  }
  const size_t count = values.size();
  for (size_t i = 0; i < count; i++) {
    alignas(16) float octaves[4], fraction[4];
    alignas(16) int32_t steps[4], terms[4];
    for (size_t j = 0; j < 4; j++) octaves[j] = values[(i + 5 * j) % count];
    __m128i s;
    __m128 f;
    _mm_store_si128(reinterpret_cast<__m128i *>(terms), PlanFractalLanes(_mm_load_ps(octaves), &s, &f));
    _mm_store_si128(reinterpret_cast<__m128i *>(steps), s);
    _mm_store_ps(fraction, f);
    for (int j = 0; j < 4; j++) {
      const FractalPlan plan = PlanFractal(octaves[j]);
      EXPECT_EQ(steps[j], plan.steps) << octaves[j];
      EXPECT_EQ(terms[j], plan.terms) << octaves[j];
      if (std::isnan(plan.fraction)) {
        EXPECT_TRUE(std::isnan(fraction[j])) << octaves[j];
      } else {
        EXPECT_EQ(std::signbit(fraction[j]), std::signbit(plan.fraction)) << octaves[j];
        EXPECT_EQ(fraction[j], plan.fraction) << octaves[j];
      }
    }
  }
}

// The octave points against the plain loop (each term the one before times the lacunarity, the
// point left behind stepped once per whole term), for every term count up to the cap, whole and
// fractional, and nothing written past the last point.
TEST(FillOctavePoints, EveryTermAndNothingBeyond) {
  const float lac = 1.584786f, start[3] = {0.31f, -1.7f, 2.2f};
  for (int n = 1; n <= 64; n++) {
    for (float octaves : {float(n), float(n) + 0.37f}) {
      const FractalPlan plan = PlanFractal(octaves);
      std::vector<float> out(3 * plan.terms + 4, 12345.0f);
      float point[3] = {start[0], start[1], start[2]};
      FillOctavePoints(point, lac, plan, out.data());
      float x = start[0], y = start[1], z = start[2];
      for (int32_t k = 0; k < plan.terms; k++) {
        ASSERT_EQ(out[3 * k], x) << octaves << " " << k;
        ASSERT_EQ(out[3 * k + 1], y) << octaves << " " << k;
        ASSERT_EQ(out[3 * k + 2], z) << octaves << " " << k;
        if (k <= plan.steps) {
          x *= lac;
          y *= lac;
          z *= lac;
        }
      }
      EXPECT_EQ(point[0], x) << octaves;
      EXPECT_EQ(point[2], z) << octaves;
      for (int k = 0; k < 4; k++) EXPECT_EQ(out[3 * plan.terms + k], 12345.0f) << octaves;
    }
  }
}

// Two sums side by side against SumFractal one point at a time, bit for bit: every term count up
// to the cap, whole and fractional, gains whose amplitudes shrink to zero or grow past the float
// range, and weights made only as far as the plan needs (the rest poisoned with NaNs), reading
// p's and q's values alternately.
TEST(SumFractalPair, EqualsTwoSingleSums) {
  auto bits = [](float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return std::isnan(v) ? 0x7FC00000u : b;
  };
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return float(state >> 8) / 16777216.0f * 2.0f - 1.0f;
  };
  for (float gain : {0.5f, 0.37f, 0.93f, 1.0f, 1.9f, 1.0e-20f, 6.0e9f}) {
    for (int n = 1; n <= 64; n++) {
      for (float octaves : {float(n), float(n) + 0.37f, float(n) + 0.999f}) {
        const FractalPlan plan = PlanFractal(octaves);
        FractalWeights weights;
        for (auto &w : weights.w) w[0] = w[1] = w[2] = w[3] = NAN;
        MakeFractalWeights(gain, plan.terms, &weights);
        std::vector<float> values(2 * plan.terms);
        for (float &v : values) v = next();
        std::vector<float> interleaved(2 * plan.terms);
        for (int32_t t = 0; t < plan.terms; t++) {
          interleaved[2 * t] = values[t];
          interleaved[2 * t + 1] = values[plan.terms + t];
        }
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, SumFractalPairInterleaved(interleaved.data(), plan, weights));
        const float sumI[2] = {lanes[0], lanes[1]}, sideI[2] = {lanes[2], lanes[3]};
        for (int k = 0; k < 2; k++) {
          float oneFirst, oneSide;
          const float one = SumFractal(values.data() + k * plan.terms, plan, gain, &oneFirst, &oneSide);
          ASSERT_EQ(interleaved[k], oneFirst);
          ASSERT_EQ(bits(sumI[k]), bits(one)) << gain << " " << octaves << " " << k;
          ASSERT_EQ(bits(sideI[k]), bits(oneSide)) << gain << " " << octaves << " " << k;
        }
      }
    }
  }
}

TEST_F(ShaderTest, ReliefAltitudeIsTheSignedSquare) {
  const float point[3] = {0.6f, 0.0f, 0.8f};
  float first, raw;
  const float h = ReliefAltitude(g_, &first, 0.1f, point, 4.0f, &raw, &view_);
  EXPECT_EQ(h, raw * std::fabs(raw));
  float q[3] = {point[0] * 1.5f, point[1] * 1.5f, point[2] * 1.5f};
  float f2;
  EXPECT_EQ(raw, FractalNoise(q, 1.584786f, 4.0f, g_->runState->reliefGain, &f2, g_) - 0.1f);
}

// BatchReliefNoise against the one-pixel relief, bit for bit: the light-side point as stage 3
// makes it (n plus a thousandth of the normalised n - far light), the octave count's plan, and
// the relief of n and of P' as ReliefAltitude makes them one at a time, with the side sum of the
// last point. Pixels in runs of four with plans of the same steps (taken together) and in
// random and hostile states (a light direction of zero length, of squared length below 0.05
// where the scale is taken in float, NaN and infinite view terms, octave counts past the cap),
// in counts that leave groups of fewer than four, overflow the noise scratch and pass the row's
// batch size; both the two-point form and the hypsometric one.
TEST_F(ShaderTest, BatchReliefEqualsOnePixelAtATime) {
  auto bits = [](float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return std::isnan(v) ? 0x7FC00000u : b;
  };
  Lcg next{777u};
  RunState *run = g_->runState;
  p_->realLuna = 0;
  auto row = std::make_unique<ShadeRow>();
  row->globals = g_;
  row->run = run;
  row->view = &view_;
  row->realLuna = false;
  auto scratch = std::make_unique<RowNoiseScratch>();
  for (uint32_t mode : {0u, 13u}) {
    row->mode = mode;
    for (int32_t count : {1, 3, 6, 64, 70, 150}) {
      std::vector<ShadePixel> pixels(count);
      std::vector<ShadePixel *> pointers;
      float groupView = 0.0f;
      for (int32_t i = 0; i < count; i++) {
        ShadePixel &px = pixels[i];
        ClearRowNoise(&px);
        float n[3] = {next(-1.0f, 1.0f), next(-1.0f, 1.0f), next(-1.0f, 1.0f)};
        NormaliseVec3f(n);
        const float light[3] = {next(-1.0f, 1.0f), next(-1.0f, 1.0f), next(-1.0f, 1.0f)};
        for (int k = 0; k < 3; k++) {
          px.n[k] = n[k];
          px.farLight[k] = 1000.0f * light[k];
        }
        // Runs of four with nearby view terms, so that their plans mostly agree in steps and
        // differ in fraction; every third run hostile.
        if (i % 4 == 0) groupView = next(-2.0f, 4.0f);
        px.logViewTerm = groupView + next(0.0f, 0.05f);
        switch ((i / 4) % 3 == 2 ? i % 9 : 0) {
          case 1: for (int k = 0; k < 3; k++) px.farLight[k] = n[k]; break;           // no direction
          case 2: for (int k = 0; k < 3; k++) px.farLight[k] = n[k] - 0.1f; break;    // q = 0.03
          case 3: px.logViewTerm = NAN; break;
          case 4: px.logViewTerm = INFINITY; break;
          case 5: px.logViewTerm = 30.0f; break;                                     // past the cap
          case 6: px.logViewTerm = -INFINITY; break;
          case 7: px.farLight[1] = NAN; break;
          default: break;
        }
        pointers.push_back(&px);
      }
      const float seaLevel = run->seaLevelValue;
      BatchReliefNoise(row.get(), pointers.data(), count, scratch.get());
      for (int32_t i = 0; i < count; i++) {
        const ShadePixel &px = pixels[i];
        ASSERT_TRUE(px.terrainPrepared && px.reliefReady) << i;
        float toward[3] = {px.n[0] - px.farLight[0], px.n[1] - px.farLight[1], px.n[2] - px.farLight[2]};
        NormaliseVec3f(toward);
        float side[3];
        for (int k = 0; k < 3; k++) {
          side[k] = px.n[k] + 0.001f * toward[k];
          ASSERT_EQ(bits(px.lightSidePoint[k]), bits(side[k])) << mode << " " << count << " " << i << " " << k;
        }
        float octaves = (view_.logRadius + px.logViewTerm) / 0.4604494165f - 2.0f;
        if (!(octaves >= 1.0f)) octaves = 1.0f;
        const FractalPlan plan = PlanFractal(octaves);
        ASSERT_EQ(px.reliefPlan.steps, plan.steps) << i;
        ASSERT_EQ(px.reliefPlan.terms, plan.terms) << i;
        ASSERT_EQ(bits(px.reliefPlan.fraction), bits(plan.fraction)) << i;
        const int points = mode == 13 ? 1 : 2;
        for (int k = 0; k < points; k++) {
          float first, raw;
          const float altitude = ReliefAltitude(g_, &first, seaLevel, k == 0 ? px.n : side, octaves, &raw, &view_);
          ASSERT_EQ(bits(px.reliefAltitude2[k]), bits(altitude)) << mode << " " << count << " " << i << " " << k;
          ASSERT_EQ(bits(px.reliefRaw2[k]), bits(raw)) << mode << " " << count << " " << i << " " << k;
          ASSERT_EQ(bits(px.reliefFirst2[k]), bits(first)) << mode << " " << count << " " << i << " " << k;
        }
        ASSERT_EQ(bits(px.reliefSideSum), bits(run->sideSum)) << mode << " " << count << " " << i;
      }
    }
  }
}

// BatchLandNoise against stage 5's own noise one pixel at a time, bit for bit: the texture point
// (the sphere point shifted by the relief's first value, at the land scale), its warp by one
// noise value and its lift by the land height, then FractalNoise's two-term sum, first value and
// side sum. Random and hostile pixels (first values that cancel n0 to zero, negative zero
// heights, large values), in counts that leave a last group of one to three pixels and pass the
// row's batch size.
TEST_F(ShaderTest, BatchLandNoiseEqualsOnePixelAtATime) {
  Lcg next{4242u};
  RunState *run = g_->runState;
  auto row = std::make_unique<ShadeRow>();
  row->globals = g_;
  row->run = run;
  row->view = &view_;
  auto scratch = std::make_unique<RowNoiseScratch>();
  for (float scale : {5.0f, 37.3f}) {
    row->landNoiseScale = scale;
    for (int32_t count : {1, 2, 3, 4, 5, 13, 64, 67}) {
      std::vector<ShadePixel> pixels(count);
      std::vector<ShadePixel *> pointers;
      for (int32_t i = 0; i < count; i++) {
        ShadePixel &px = pixels[i];
        ClearRowNoise(&px);
        float n[3] = {next(-1.0f, 1.0f), next(-1.0f, 1.0f), next(-1.0f, 1.0f)};
        NormaliseVec3f(n);
        for (int k = 0; k < 3; k++) px.n[k] = n[k];
        px.firstValue = next(-1.0f, 1.0f);
        px.landHeight = next(-0.6f, 0.6f);
        switch (i % 5) {
          case 1: px.firstValue = -n[0]; break;
          case 2: px.landHeight = -0.0f; break;
          case 3: px.firstValue = 1500.0f; px.landHeight = -900.0f; break;
          default: break;
        }
        pointers.push_back(&px);
      }
      BatchLandNoise(row.get(), pointers.data(), count, scratch.get());
      for (int32_t i = 0; i < count; i++) {
        const ShadePixel &px = pixels[i];
        ASSERT_TRUE(px.landReady) << i;
        float texture[3] = {scale * (px.n[0] + px.firstValue), scale * px.n[1], scale * px.n[2]};
        const float warp = Noise(texture);
        texture[1] += scale * warp;
        texture[2] += scale * 1.333333f * px.landHeight;
        float first;
        const float sum = FractalNoise(texture, 4.0f, 2.0f, run->reliefGain * 0.9f, &first, g_);
        EXPECT_EQ(bits(px.landNoiseSum), bits(sum)) << scale << " " << count << " " << i;
        EXPECT_EQ(bits(px.landFirst), bits(first)) << scale << " " << count << " " << i;
        EXPECT_EQ(bits(px.landSideSum), bits(run->sideSum)) << scale << " " << count << " " << i;
      }
    }
  }
}

// Stage 4 with its sea made ahead against the channels one at a time: the coverage of the land
// and of the ice from the row above and the pixel to the left, the marks handed on, and each
// channel of the sea drawn toward the lit ice colour by the ice cover, sea + (ice lit - sea) c.
// Random colours, lights and corner values, with covers of exactly 0 and 1 and corners missing.
TEST(ShadeCoastAndSea, IceBlendEqualsChannelByChannel) {
  Lcg next{99u};
  auto run = std::make_unique<RunState>();
  run->seaLevelValue = 0.05f;
  auto row = std::make_unique<ShadeRow>();
  row->run = run.get();
  std::vector<float> records(3 * kPixelRecordFloats);
  for (int trial = 0; trial < 2000; trial++) {
    for (float &r : records) r = next(-1.0f, 1.0f);
    if (trial % 7 == 0) records[kRecordPrevIce] = kMissingCorner;
    row->prevHeight = next(-1.0f, 1.0f);
    row->prevIce = trial % 11 == 0 ? kMissingCorner : next(-1.0f, 1.0f);
    row->iceThreshold = next(-0.5f, 0.5f);
    for (int k = 0; k < 3; k++) row->seaIceColour[k] = next(0.0f, 255.0f);
    ShadePixel px{};
    px.record = records.data() + kPixelRecordFloats;
    px.height = next(-1.0f, 1.0f);
    px.seaReady = true;
    px.seaIce = trial % 3 == 0 ? 5.0f : (trial % 3 == 1 ? -5.0f : next(-1.0f, 1.0f));
    px.seaIceLight = next(0.0f, 1.0f);
    for (int k = 0; k < 3; k++) px.sea[k] = next(0.0f, 255.0f);
    px.land[0] = 12345.0f;
    const float *left = px.record - kPixelRecordFloats, *self = px.record;
    const float landCover = CellCoverageQuick(left[kRecordPrevHeight], self[kRecordPrevHeight], row->prevHeight,
                                              px.height, run->seaLevelValue);
    const float iceCover =
        CellCoverageQuick(left[kRecordPrevIce], self[kRecordPrevIce], row->prevIce, px.seaIce, row->iceThreshold);
    float sea[3];
    for (int k = 0; k < 3; k++) {
      const float ice = row->seaIceColour[k] * px.seaIceLight;
      sea[k] = px.sea[k] + (ice - px.sea[k]) * iceCover;
    }
    const float prevIce = row->prevIce;
    ShadeCoastAndSea(row.get(), &px);
    ASSERT_EQ(bits(px.landCover), bits(landCover)) << trial;
    ASSERT_EQ(bits(px.seaIceCover), bits(iceCover)) << trial;
    for (int k = 0; k < 3; k++) ASSERT_EQ(bits(px.sea[k]), bits(sea[k])) << trial << " " << k;
    ASSERT_EQ(px.land[0], 12345.0f);
    ASSERT_EQ(bits(records[kRecordPrevIce]), bits(prevIce));
    ASSERT_EQ(bits(row->prevIce), bits(px.seaIce));
  }
}

TEST_F(ShaderTest, CraterDecalsOnlyInsideTheSlab) {
  PluginGlobals *g = g_;
  ASSERT_GE(g->cratersPlaced, 2);
  const CraterRecord &c = g->runState->craters[0];
  // The crater's centre direction: a = b = 0, the middle of the texture (the bowl).
  const float centre[3] = {c.u[1] * c.t[2] - c.u[2] * c.t[1], c.u[2] * c.t[0] - c.u[0] * c.t[2],
                           c.u[0] * c.t[1] - c.u[1] * c.t[0]};
  float sum = 1.0f, decal = 99.0f;
  AddCraterDecals(&sum, centre, &decal, g, 0.0f);
  EXPECT_NE(decal, 0.0f);
  EXPECT_EQ(sum, 1.0f + decal);
  // No crater left: nothing is written.
  const int32_t placed = g->cratersPlaced;
  g->cratersPlaced = 0;
  sum = 1.0f;
  decal = 99.0f;
  AddCraterDecals(&sum, centre, &decal, g, 0.0f);
  EXPECT_EQ(decal, 99.0f);
  EXPECT_EQ(sum, 1.0f);
  // One crater placed: the decal pass uses none.
  g->cratersPlaced = 1;
  AddCraterDecals(&sum, centre, &decal, g, 0.0f);
  EXPECT_EQ(decal, 0.0f);
  g->cratersPlaced = placed;
}

// Procedural densities among storms against the formulas followed step by step: the polar
// bias; every storm that reaches the point, in the storms' order, adds t^3 x 0.3 and turns the
// point about its centre by t^3 x its strength; then the Coriolis turn, the warp and the
// octaves. Eleven storms, so that groups of four and a remainder both occur, crowded onto one
// side of the sphere so that points lie in several at once.
TEST_F(ShaderTest, StormsTwistTheCloudsInTheirOrder) {
  RunState *run = g_->runState;
  Lcg next{17u};
  auto unit = [&next](float v[3]) {
    v[0] = next(0.2f, 1.0f);
    v[1] = next(-0.5f, 0.5f);
    v[2] = next(-0.5f, 0.5f);
    const float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int c = 0; c < 3; c++) v[c] /= n;
  };
  StormTable &storms = run->storms;
  g_->stormsPlaced = 11;
  for (int i = 0; i < 11; i++) {
    float c[3];
    unit(c);
    storms.centreX[i] = c[0];
    storms.centreY[i] = c[1];
    storms.centreZ[i] = c[2];
    storms.radius[i] = next(0.2f, 0.6f);
    storms.radiusSquared[i] = storms.radius[i] * storms.radius[i];
    storms.strength[i] = next(-3.0f, 3.0f);
  }
  run->cloudOctavesMinusOne = 3;
  run->cloudExtraOctaves = 2;
  run->cloudExtraFrequency = 2.0987f * 2.0987f * 2.0987f;
  view_.coriolisFactor = 0.4f;
  const float offset[3] = {954.77f, 784.65323f, 6521.31354f};
  int hits = 0;
  for (int k = 0; k < 400; k++) {
    float p[3];
    unit(p);
    const float axisDot = p[0] * run->modelAxis[0] + p[1] * run->modelAxis[1] + p[2] * run->modelAxis[2];
    run->axisDot = axisDot;
    run->axisSin2 = 1.0f - axisDot * axisDot;
    float got;
    ProceduralCloudDensity(p[0], p[1], p[2], &got, g_, &view_);

    const float a = std::fabs(axisDot);
    float want = a > 0.7f ? run->cloudBase + (a - 0.7f) * 1.5f : run->cloudBase - (0.7f - a) * 0.3f;
    float q[3] = {p[0], p[1], p[2]}, turned[3], m[16];
    for (int i = 0; i < 11; i++) {
      const float dx = storms.centreX[i] - p[0], dy = storms.centreY[i] - p[1], dz = storms.centreZ[i] - p[2];
      const float d2 = dx * dx + dy * dy + dz * dz;
      if (!(d2 < storms.radiusSquared[i])) continue;
      hits++;
      const float t = 1.0f - std::sqrt(d2 / storms.radiusSquared[i]);
      want += t * t * t * 0.3f;
      const float centre[3] = {storms.centreX[i], storms.centreY[i], storms.centreZ[i]};
      ExactRotationMatrix(centre, t * t * t * storms.strength[i], m);
      VectorTimesMatrix(q, m, turned);
      std::memcpy(q, turned, sizeof q);
    }
    ExactRotationMatrix(run->modelAxis, run->axisSin2 * view_.coriolisFactor, m);
    VectorTimesMatrix(q, m, turned);
    const float warp = Noise(turned) * view_.unitScale;
    float w[3], r[3];
    for (int c = 0; c < 3; c++) {
      w[c] = (turned[c] + warp) * 3.0f + offset[c];
      r[c] = (p[c] * 3.0f + offset[c]) * run->cloudExtraFrequency;
    }
    want += Noise(w);
    float amplitude = 1.0f;
    for (int j = 1; j <= 2; j++) {   // octaves 2 and 3 of the base
      for (float &c : w) c *= 2.0987f;
      want += Noise(w) * amplitude;
      amplitude *= 0.67f;
    }
    amplitude *= 0.67f;
    for (int j = 0; j < 2; j++) {
      want += Noise(r) * amplitude;
      amplitude *= 0.67f;
      for (float &c : r) c *= 2.0987f;
    }
    ASSERT_EQ(got, want) << k;
  }
  EXPECT_GT(hits, 400);   // most points lie in a storm, many in two or more
}

// A row's cloud densities made in groups (BatchCloudNoise: points four to a register, storms
// passed over when clear of the box around a group's points) against one pixel at a time, bit
// for bit: at each pixel's sphere point, its shadow point and its light-side point. The pixels
// lie in a patch a few storms wide, and most storms' squared radii are the squared distance of
// one of the points as ApplyStorm makes it, or a few floats above it, so that the storm misses
// or just reaches that point; such a storm's share is too small to see, so its strength is huge
// and its twist shows. Others are far away, infinite, NaN or empty. The first rounds have one
// point in each group (its box is the point itself); batches of 1 to 64 pixels leave every
// remainder of four, and the octave layouts include no extra octaves, no warped ones after the
// first, and so many that a batch's points take several groups.
TEST_F(ShaderTest, GroupedCloudDensitiesEqualThePlainOnesAtStormEdges) {
  RunState *run = g_->runState;
  Lcg next{4242u};
  auto normalise = [](float v[3]) {
    const float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int c = 0; c < 3; c++) v[c] /= n;
  };
  auto row = std::make_unique<ShadeRow>();
  row->globals = g_;
  row->run = run;
  row->view = &view_;
  row->cloudsOn = true;
  row->isLit = true;
  view_.realCloudsOn = 0;
  view_.coriolisFactor = 0.3f;
  auto scratch = std::make_unique<RowNoiseScratch>();
  std::vector<ShadePixel> pixels(kRowBatchColumns);
  ShadePixel *list[kRowBatchColumns];
  const int32_t octaves[][2] = {{3, 2}, {1, 0}, {0, 5}, {4, 0}, {7, 40}};
  int lightSides = 0, edges = 0;
  for (int round = 0; round < 30; round++) {
    run->cloudOctavesMinusOne = octaves[round % 5][0];
    run->cloudExtraOctaves = octaves[round % 5][1];
    run->cloudExtraFrequency = 9.2438f;
    run->cloudBase = next(-0.2f, 0.4f);
    float middle[3] = {next(-1.0f, 1.0f), next(-1.0f, 1.0f), next(-1.0f, 1.0f)};
    normalise(middle);
    const float spread = round % 3 == 0 ? 0.4f : 0.05f;
    const int32_t sizes[] = {1, 1, 33, 64, 64};
    const int32_t count = round < 5 ? sizes[round] : 1 + int32_t(next(0.0f, 64.0f)) % 64;
    for (int32_t i = 0; i < count; i++) {
      ShadePixel &px = pixels[i];
      px = ShadePixel{};
      for (int c = 0; c < 3; c++) px.n[c] = middle[c] + next(-spread, spread);
      normalise(px.n);
      px.axisDot = px.n[0] * run->modelAxis[0] + px.n[1] * run->modelAxis[1] + px.n[2] * run->modelAxis[2];
      px.shade = round < 2 ? -1.0f : next(-0.5f, 1.0f);   // shadowed where above 0
      px.day = next(0.0f, 1.0f) < 0.8f;
      for (int c = 0; c < 3; c++) px.light[c] = next(-1.0f, 1.0f);
      for (int c = 0; c < 3; c++) px.lightSidePoint[c] = px.n[c] + next(-0.01f, 0.01f);
      ClearRowNoise(&px);
      list[i] = &px;
    }
    // Storms: most at the edge of one point (a pixel's sphere point, or its light-side point),
    // some far off, some with a NaN or infinite radius or centre, or none at all.
    StormTable &storms = run->storms;
    const int32_t stormCount = round == 5 ? 0 : 1 + int32_t(next(0.0f, 37.0f));
    g_->stormsPlaced = stormCount;
    for (int32_t i = 0; i < stormCount; i++) {
      const ShadePixel &px = pixels[int32_t(next(0.0f, float(count))) % count];
      const float *p = i % 3 == 2 ? px.lightSidePoint : px.n;
      const float c[3] = {p[0] + next(-0.3f, 0.3f), p[1] + next(-0.3f, 0.3f), p[2] + next(-0.3f, 0.3f)};
      storms.centreX[i] = c[0];
      storms.centreY[i] = c[1];
      storms.centreZ[i] = c[2];
      const float dx = c[0] - p[0], dy = c[1] - p[1], dz = c[2] - p[2];
      const float d2 = dx * dx + dy * dy + dz * dz;
      float r2 = d2;
      for (int32_t up = i % 4; up > 0; up--) r2 = std::nextafter(r2, INFINITY);
      float strength = next(-3.0f, 3.0f) * 1.0e27f;
      const int kind = int(next(0.0f, 10.0f));
      if (kind == 0) r2 = d2 * 0.001f;   // far from every point
      if (kind == 1) r2 = INFINITY;
      if (kind <= 4) strength = next(-3.0f, 3.0f);
      if (kind == 2) r2 = NAN;
      if (kind == 3) storms.centreX[i] = NAN;
      if (kind == 4) r2 = 0.0f;
      edges += kind >= 5;
      storms.radiusSquared[i] = r2;
      storms.radius[i] = std::sqrt(r2);
      storms.strength[i] = strength;
    }

    BatchCloudNoise(row.get(), list, count, scratch.get());

    auto plain = [&](const ShadePixel &px, const float p[3]) {
      run->axisDot = px.axisDot;
      run->axisSin2 = 1.0f - px.axisDot * px.axisDot;
      float density;
      ProceduralCloudDensity(p[0], p[1], p[2], &density, g_, &view_);
      return density;
    };
    for (int32_t i = 0; i < count; i++) {
      const ShadePixel &px = pixels[i];
      const bool shadowed = px.shade > 0.0f;
      ASSERT_EQ(px.cloudReadyCount, shadowed ? 2 : 1) << round << " " << i;
      EXPECT_EQ(bits(px.cloudReady[0]), bits(plain(px, px.n))) << round << " " << i;
      if (shadowed) {
        const float s = run->cloudShellScale;
        const float o[3] = {px.n[0] * s, px.n[1] * s, px.n[2] * s};
        float hit[3];
        IntersectUnitSphere(o, px.light, hit);
        EXPECT_EQ(bits(px.cloudReady[1]), bits(plain(px, hit))) << round << " " << i;
      }
      const bool clouded = ClampF(px.cloudReady[0] * run->cloudEdgeGain, 0.0f, 1.0f) > 0.0f && px.day;
      ASSERT_EQ(px.cloudLightSideReady, clouded) << round << " " << i;
      if (clouded) {
        EXPECT_EQ(bits(px.cloudLightSide), bits(plain(px, px.lightSidePoint))) << round << " " << i;
        lightSides++;
      }
    }
  }
  EXPECT_GT(lightSides, 100);   // the light-side densities were made too
  EXPECT_GT(edges, 150);        // storms at the edge of a point
}

TEST(IntersectUnitSphere, HitsAndMisses) {
  float hit[3];
  // From the centre along +x (direction o + d = d): the sphere at (1, 0, 0).
  const float o[3] = {0.0f, 0.0f, 0.0f};
  const float d[3] = {1.0f, 0.0f, 0.0f};
  IntersectUnitSphere(o, d, hit);
  EXPECT_FLOAT_EQ(hit[0], 1.0f);
  // From inside, the far root when the near one is behind.
  const float o2[3] = {0.0f, 0.0f, 0.5f};
  const float d2[3] = {0.0f, 0.0f, 0.5f};
  IntersectUnitSphere(o2, d2, hit);
  EXPECT_NEAR(hit[2], 1.0f, 1e-6);
  // A ray that passes outside: the fixed answer (1, 0, 0).
  const float o3[3] = {0.0f, 2.0f, 0.0f};
  const float d3[3] = {1.0f, -2.0f, 0.0f};
  IntersectUnitSphere(o3, d3, hit);
  EXPECT_EQ(hit[0], 1.0f);
  EXPECT_EQ(hit[1], 0.0f);
  EXPECT_EQ(hit[2], 0.0f);
}

TEST_F(ShaderTest, ContourCellsLaySegmentsOfTheirLength) {
  auto total = [&](int32_t column) {
    float s = 0.0f;
    for (int k = column; k <= column + 1; k++) s += Record(k)[2] + Record(k)[3];
    return s;
  };
  auto clear = [&] {
    for (int k = 0; k < 6; k++) Record(k)[2] = Record(k)[3] = 0.0f;
  };
  clear();
  // All corners at the threshold: case 15 recomputed with ">" is 0, no segment.
  ContourCell(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, g_, 1, 0, 1, 1.0f);
  EXPECT_EQ(total(1), 0.0f);
  // One corner above: a segment from (0.5, 0) to (0, 0.5), split over the four corners.
  ContourCell(1.0f, 0.0f, 0.0f, 0.0f, 0.5f, g_, 1, 0, 1, 1.0f);
  const float length = FastSqrtF(0.5f);
  EXPECT_NEAR(total(1), length, 1e-6);
  EXPECT_NEAR(Record(1)[2], length * 0.75f * 0.75f, 1e-6);   // top-left share, field 2 + p
  EXPECT_NEAR(Record(2)[3], length * 0.25f * 0.25f, 1e-6);   // bottom-right share, field 2 + q
  // A saddle gives two segments, with no centre test.
  clear();
  ContourCell(0.0f, 1.0f, 1.0f, 0.0f, 0.5f, g_, 1, 1, 0, 2.0f);
  EXPECT_NEAR(total(1), 2.0f * 2.0f * length, 1e-5);
  // A missing corner stands in for the bottom-right one: no crossing on its edges.
  clear();
  ContourCell(-2.0f, -2.0f, 0.0f, 1.0f, 0.5f, g_, 1, 0, 1, 1.0f);
  EXPECT_GT(total(1), 0.0f);
}

TEST_F(ShaderTest, ProceduralCloudsFollowTheFactors) {
  RunState *run = g_->runState;
  run->axisDot = 0.0f;
  run->axisSin2 = 1.0f;
  float a, b;
  ProceduralCloudDensity(0.6f, 0.0f, 0.8f, &a, g_, &view_);
  ProceduralCloudDensity(0.6f, 0.0f, 0.8f, &b, g_, &view_);
  EXPECT_EQ(a, b);
  // Raising the coverage raises the base by the same amount.
  run->cloudBase += 0.25f;
  ProceduralCloudDensity(0.6f, 0.0f, 0.8f, &b, g_, &view_);
  EXPECT_NEAR(b - a, 0.25f, 1e-5);
  // Viscosity 100: no base octaves after the first warped term.
  run->cloudOctavesMinusOne = -1;
  run->cloudExtraOctaves = 0;
  run->cloudBase = 0.0f;
  g_->stormsPlaced = 0;
  view_.coriolisFactor = 0.0f;
  ProceduralCloudDensity(0.6f, 0.0f, 0.8f, &b, g_, &view_);
  const float n = Noise(std::array<float, 3>{0.6f, 0.0f, 0.8f}.data());
  const float q[3] = {(0.6f + n) * 3.0f + 954.77f, (0.0f + n) * 3.0f + 784.65323f, (0.8f + n) * 3.0f + 6521.31354f};
  EXPECT_EQ(b, -(0.7f - 0.0f) * 0.3f + Noise(q));
}

// Correctly rounded values (to nearest) of the five functions, from a 200-bit evaluation in
// Python's mpmath, written as exact hexadecimal doubles. The routines promise a few units in the
// last place; they must stay within one of the correctly rounded result, in every build.
enum ExactFunction { kSin, kCos, kLog, kAtan, kAcos };
struct RoundedValue {
  ExactFunction function;
  double x;
  double expected;
};
const RoundedValue kRoundedValues[] = {
    {kSin, 0x1.5798ee2308c3ap-27, 0x1.5798ee2308c3ap-27}, {kSin, 0x1.0000000000000p-1, 0x1.eaee8744b05f0p-2},
    {kSin, 0x1.921fb54442d18p-1, 0x1.6a09e667f3bccp-1}, {kSin, 0x1.0000000000000p+0, 0x1.aed548f090ceep-1},
    {kSin, 0x1.0000000000000p+1, 0x1.d18f6ead1b446p-1}, {kSin, 0x1.921fb542fe938p+1, 0x1.443e0469898ccp-31},
    {kSin, 0x1.4000000000000p+3, -0x1.1689ef5f34f52p-1}, {kSin, 0x1.f440000000000p+9, 0x1.fd948c50a7a0dp-1},
    {kSin, -0x1.4000000000000p+1, -0x1.326af0dcfcab1p-1},
    {kCos, 0x1.5798ee2308c3ap-27, 0x1.0000000000000p+0}, {kCos, 0x1.0000000000000p-1, 0x1.c1528065b7d50p-1},
    {kCos, 0x1.921fb54442d18p-1, 0x1.6a09e667f3bcdp-1}, {kCos, 0x1.0000000000000p+0, 0x1.14a280fb5068cp-1},
    {kCos, 0x1.0000000000000p+1, -0x1.aa22657537205p-2}, {kCos, 0x1.921fb542fe938p+1, -0x1.0000000000000p+0},
    {kCos, 0x1.4000000000000p+3, -0x1.ad9ac890c6b1fp-1}, {kCos, 0x1.f440000000000p+9, 0x1.8dbff75eb664fp-4},
    {kCos, -0x1.4000000000000p+1, -0x1.9a2f7ef858b7dp-1},
    {kLog, 0x1.56e1fc2f8f359p-997, -0x1.5963447f87fb5p+9}, {kLog, 0x1.0000000000000p-1, -0x1.62e42fefa39efp-1},
    {kLog, 0x1.000001ad7f29bp+0, 0x1.ad7f2847b6492p-24}, {kLog, 0x1.0000000000000p+1, 0x1.62e42fefa39efp-1},
    {kLog, 0x1.5080000000000p+8, 0x1.7463e97db8a85p+2}, {kLog, 0x1.9795044284dfdp+12, 0x1.190cf3cd6db43p+3},
    {kLog, 0x1.e42d130773b76p+1023, 0x1.62dd08fdc6f88p+9},
    {kAtan, 0x1.999999999999ap-5, 0x1.9942597929f27p-5}, {kAtan, 0x1.a827999fcef32p-2, 0x1.921fb54442d18p-2},
    {kAtan, 0x1.0000000000000p+0, 0x1.921fb54442d18p-1}, {kAtan, 0x1.4000000000000p+3, 0x1.789bd2c160054p+0},
    {kAtan, -0x1.8000000000000p-1, -0x1.4978fa3269ee1p-1},
    {kAcos, -0x1.ff7ced916872bp-1, 0x1.8c66280ae928ep+1}, {kAcos, 0x0.0p+0, 0x1.921fb54442d18p+0},
    {kAcos, 0x1.0000000000000p-1, 0x1.0c152382d7366p+0}, {kAcos, 0x1.ccccccccccccdp-1, 0x1.cdd9f8f922e98p-2},
    {kAcos, 0x1.fffeb074a771dp-1, 0x1.25160dad27316p-8},
};

int64_t DoubleUlps(double a, double b) {
  int64_t ia, ib;
  std::memcpy(&ia, &a, sizeof ia);
  std::memcpy(&ib, &b, sizeof ib);
  if (ia < 0) ia = INT64_MIN - ia;
  if (ib < 0) ib = INT64_MIN - ib;
  return ia > ib ? ia - ib : ib - ia;
}

TEST(ExactMath, WithinOneUlpOfTheCorrectlyRoundedValues) {
  int32_t exact = 0;
  for (const RoundedValue &v : kRoundedValues) {
    double got = 0.0;
    switch (v.function) {
      case kSin: got = ExactSin(v.x); break;
      case kCos: got = ExactCos(v.x); break;
      case kLog: got = ExactLog(v.x); break;
      case kAtan: got = ExactAtan(v.x); break;
      case kAcos: got = ExactAcos(v.x); break;
    }
    EXPECT_LE(DoubleUlps(got, v.expected), 1) << "function " << v.function << " at " << std::hexfloat << v.x
                                                << ": " << got << " instead of " << v.expected;
    exact += got == v.expected;
  }
  // Most of them are the correctly rounded value itself.
  EXPECT_GE(exact, int32_t(sizeof kRoundedValues / sizeof kRoundedValues[0]) * 3 / 4);
  EXPECT_EQ(ExactLog(1.0), 0.0);
  EXPECT_EQ(ExactLog(0.0), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(ExactLog(-1.0)));
  EXPECT_TRUE(std::isnan(ExactAcos(1.5)));
  EXPECT_EQ(ExactAcos(1.0), 0.0);
  EXPECT_EQ(ExactAtan(INFINITY), 1.5707963267948966);
  EXPECT_NEAR(ExactLog(1e-310), -713.801378828154, 1e-9);   // subnormal
  EXPECT_TRUE(std::isnan(ExactSin(NAN)));
  // Absurd arguments stay defined.
  for (double huge : {1e7, -3e15, 6e21, 1e38, -1.7e308}) {
    EXPECT_TRUE(std::isfinite(ExactSin(huge))) << huge;
    EXPECT_LE(std::fabs(ExactCos(huge)), 1.0) << huge;
  }
}

TEST(ExactMath, RotationMatchesTheFoundationsMatrix) {
  const float axis[3] = {0.3f, -0.5f, 0.8f};
  float mine[16] = {0}, theirs[16] = {0};
  ExactRotationMatrix(axis, 0.7f, mine);
  RotateVectorAboutAxis(axis, 0.7f, theirs);
  for (int k = 0; k < 15; k++) {
    if (k % 4 == 3) continue;
    EXPECT_NEAR(mine[k], theirs[k], 1e-6) << k;
  }
}

}  // namespace
