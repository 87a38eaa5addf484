// Every output mode's picture against the rules and formulas the renderer is built to, worked
// out here from the values the shader records for each pixel (SetOutputTap) and from the
// parameters: the light terms, the sea level, the disc, the air over the map, the masks and
// bumps, at 8 and 16 bits. A reference never reads the channels the shader made for the mode
// it checks; it starts from the stage inputs (height, coverages, densities, colours, L . n).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "render/shader.h"

namespace {

struct Tapped {
  HarnessImage image;
  std::vector<OutputTapPixel> pixels;   // row x width + column
  std::vector<uint8_t> seen;
  ParameterBlock params;
  bool ok = false;
};

void Collect(const OutputTapPixel *px, void *context) {
  Tapped *t = static_cast<Tapped *>(context);
  const size_t i = size_t(px->row) * t->image.width + px->column;
  if (px->row < 0 || px->column < 0 || px->column >= t->image.width || i >= t->pixels.size()) return;
  t->pixels[i] = *px;
  t->seen[i] = 1;
}

struct Options {
  int32_t width = 96;
  int32_t height = 64;
  int32_t depth = 8;
  bool transparent = false;
  uint16_t background = 0;
};

Tapped RenderTapped(const Options &o, const std::vector<std::string> &settings) {
  Tapped t;
  HarnessOptions h;
  h.width = o.width;
  h.height = o.height;
  h.depth = o.depth;
  h.transparentLayer = o.transparent;
  RenderHarness harness;
  if (!OpenHarness(&harness, h)) return t;
  ParameterBlock *p = HarnessParameters(&harness);
  for (const std::string &s : settings) {
    if (!ApplyHarnessSetting(p, s.c_str())) ADD_FAILURE() << "bad setting " << s;
  }
  t.params = *p;
  if (o.background != 0) harness.background.assign(size_t(o.width) * o.height * (o.transparent ? 4 : 3), o.background);
  t.image.width = o.width;
  t.pixels.resize(size_t(o.width) * o.height);
  t.seen.assign(t.pixels.size(), 0);
  SetOutputTap(Collect, &t);
  t.ok = RenderHarnessImage(&harness, &t.image);
  SetOutputTap(nullptr, nullptr);
  CloseHarness(&harness);
  return t;
}

// ---- The references ------------------------------------------------------------------------

// What the parameters make of a render: the channel ceiling M and its half, the sea level's
// height, the terminator's width and the sunset.
struct Terms {
  int32_t m, mh;
  bool eightBit;
  float seaLevel;
  float w;
  float sunset;
  float edgeGain;
  float air;   // the air shell's thickness a
};

Terms TermsOf(const Tapped &t, int32_t depth) {
  const ParameterBlock &p = t.params;
  Terms r;
  r.eightBit = depth == 8;
  r.m = r.eightBit ? 255 : 32768;
  r.mh = r.eightBit ? 128 : 16384;
  const float s = (float(p.seaLevel) - 50.0f) * 0.02f;
  r.seaLevel = (s < 0.0f ? -1.0f : 1.0f) * s * s * 50.0f * 0.008f;   // -0.4 .. 0.4
  r.air = float(p.airDepth) * 0.003f;
  const float limbCos = -std::sqrt(1.0f - 1.0f / ((1.0f + r.air) * (1.0f + r.air)));
  r.w = std::fmax(0.076770388f, -limbCos * 0.5f);
  r.sunset = float(p.sunset);
  r.edgeGain = float(p.cloudEdges) * 0.05f;
  return r;
}

// The channel light factors of a lit mode for L . n = d: the terminator's smoothstep, the
// sunset tint, and beyond the terminator the night fade (all 0 past the band).
void LitFactors(float d, const Terms &r, float f[3]) {
  const float q = d >= r.w ? 1.0f : (d > 0.0f ? d / r.w : 0.0f);
  const float q2 = q * 0.5f + 0.5f;
  const float lightFactor = (3.0f - 2.0f * q2) * q2 * q2;
  const float tint = (lightFactor - 1.0f) * r.sunset * 0.005f + 1.0f;
  f[0] = 1.0f, f[1] = tint, f[2] = tint * tint;
  if (d < 0.0f) {
    const float e = d <= -r.w ? 0.0f : d / r.w + 1.0f;
    const float g = (3.0f - 2.0f * e) * e * e;
    f[0] = g, f[1] = tint * g, f[2] = tint * tint * g;
  }
}

// Stage 7's colour from the unlit land and sea: lit by l and max(d, 0) and tinted by the
// factors in the lit modes, blended by the land coverage.
void SurfaceColour(const OutputTapPixel &px, bool lit, const Terms &r, float colour[3]) {
  float f[3] = {1.0f, 1.0f, 1.0f};
  if (lit) LitFactors(px.d, r, f);
  if (f[0] == 0.0f && f[1] == 0.0f && f[2] == 0.0f) {
    colour[0] = colour[1] = colour[2] = 0.0f;   // a night pixel's surface stages may not have run
    return;
  }
  const float l = lit ? px.lightLevel : 1.0f;
  const float dl = lit ? std::fmax(px.d, 0.0f) : 1.0f;
  for (int k = 0; k < 3; k++) {
    const float sea = px.sea[k] * dl;
    colour[k] = (sea + (px.land[k] * l - sea) * px.landCover) * f[k];
  }
}

// Stage 9 on one accumulator: the colour added, then scaled by the coverage.
int32_t Disc(float colour, float cover) { return int32_t(float(int32_t(colour)) * cover); }

// The air of a map pixel alone (what mode 8 shows): the front light's smoothstep from
// e = n . L, the sunset tint, alpha = sqrt(sigma^4 a), times the air colour in channel units.
void MapAir(const OutputTapPixel &px, const Tapped &t, const Terms &r, int32_t out[3]) {
  const float limbCos = -std::sqrt(1.0f - 1.0f / ((1.0f + r.air) * (1.0f + r.air)));
  const float e = px.n[0] * px.light[0] + px.n[1] * px.light[1] + px.n[2] * px.light[2];
  const float lambda = e > 0.0f ? 1.0f : (e < limbCos ? 0.0f : 1.0f - e / limbCos);   // front light 1 on the map
  const float sigma = (3.0f - 2.0f * lambda) * lambda * lambda;
  const float tint = (sigma - 1.0f) * r.sunset * 0.01f + 1.0f;
  const float tints[3] = {1.0f, tint, tint * tint};
  const float alpha = std::sqrt(sigma * sigma * sigma * sigma * r.air);
  const ParameterColor &c = t.params.airColor;
  const int32_t raw[3] = {c.red, c.green, c.blue};
  for (int k = 0; k < 3; k++) {
    const float colour = float(raw[k] >> (r.eightBit ? 8 : 1));
    out[k] = int32_t(colour * float(t.params.airBrightness) * 0.04f * tints[k] * alpha);
  }
}

// A grey from a height v: v M + Mh at 8 bits, Mh v + Mh otherwise.
int32_t HeightGrey(float v, const Terms &r) {
  return r.eightBit ? int32_t(v * float(r.m) + float(r.mh)) : int32_t(float(r.mh) * v + float(r.mh));
}

// ---- The cases -----------------------------------------------------------------------------

// A mode's reference: the channels pixel px must show (before the host's clamp to 0..M), or
// false where the reference says nothing (a pixel brighter than white, rolled off).
using Reference = std::function<bool(const OutputTapPixel &px, const Tapped &t, const Terms &r, int32_t out[3])>;
// A mode's rule over the whole render; returns a description of what broke, or "".
using Rule = std::function<std::string(const Tapped &t, const Terms &r)>;

bool Grey(int32_t v, int32_t out[3]) {
  out[0] = out[1] = out[2] = v;
  return true;
}

bool FromColour(const float colour[3], float cover, const Terms &r, int32_t out[3]) {
  for (int k = 0; k < 3; k++) {
    out[k] = Disc(colour[k], cover);
    if (out[k] > r.m) return false;
  }
  return true;
}

// The globe's disc as the planet size lays it out on the picture: its coverage at (c, row), 0
// off the disc.
float DiscCover(const Tapped &t, int32_t c, int32_t row) {
  const ParameterBlock &p = t.params;
  const int32_t w = t.image.width, h = t.image.height;
  const int32_t size = int32_t(int64_t(std::min(w, h)) * int64_t((p.planetSize * p.planetSize) / 10) / 1000);
  const float radius = float(size) - 0.5f;
  const float x = float(w / 2 - c) / radius, y = float(h / 2 - row) / radius;
  const float r2 = x * x + y * y;
  if (!(1.0f - r2 > 0.0f)) return 0.0f;
  const float inner = 1.0f - 1.0f / radius;
  return r2 >= inner * inner ? 1.0f + (inner - std::sqrt(r2)) * radius : 1.0f;
}

std::string DiscRule(const Tapped &t, const Terms &) {
  for (size_t i = 0; i < t.pixels.size(); i++) {
    const int32_t c = int32_t(i % t.image.width), row = int32_t(i / t.image.width);
    const float cover = DiscCover(t, c, row);
    if (std::fabs(cover - t.pixels[i].cover) > 1e-4f || t.pixels[i].onPlanet != (cover > 0.0f)) {
      return "disc coverage at " + std::to_string(c) + "," + std::to_string(row);
    }
  }
  return "";
}

// The relief map modes light each pixel from its own direction, turned from n by the same angle
// (lx^2 + ly^2) x pi/2 (at most 1.5107963 in the hypsometric mode): L . n is its cosine.
Rule PerPixelLight(float cap) {
  return [cap](const Tapped &t, const Terms &) -> std::string {
    const float *lv = t.params.lightVector;
    const float angle = std::fmin((lv[0] * lv[0] + lv[1] * lv[1]) * 1.5707963f, cap);
    for (const OutputTapPixel &px : t.pixels) {
      if (std::fabs(px.d - std::cos(angle)) > 2e-4f) return "L . n " + std::to_string(px.d) + " at " + std::to_string(px.column) + "," + std::to_string(px.row);
    }
    return "";
  };
}

struct ModeCase {
  uint32_t mode;
  std::vector<std::string> settings;
  Reference reference;
  Rule rule;          // may be empty
  bool transparent;   // render on a transparent layer: the alpha must be full
  uint16_t background;
};

std::vector<ModeCase> ModeCases() {
  const std::vector<std::string> bare = {"airDepth=0", "cloudCoverage=0", "cities=0", "light=0.8,0.3,0.52"};
  auto lit = [](bool map) -> Reference {
    return [map](const OutputTapPixel &px, const Tapped &t, const Terms &r, int32_t out[3]) {
      if (!px.onPlanet) return Grey(0, out);
      float colour[3];
      SurfaceColour(px, true, r, colour);
      (void)t;
      return FromColour(colour, map ? 1.0f : px.cover, r, out);
    };
  };
  std::vector<ModeCase> cases;
  // 1 "normal": the lit globe in its disc, night beyond the terminator, black around it.
  cases.push_back({1, bare, lit(false), DiscRule, false, 0});
  // 2 "composite": the same globe added to the host's picture, which shows through by 1 - cover.
  cases.push_back({2, bare,
                   [lit](const OutputTapPixel &px, const Tapped &t, const Terms &r, int32_t out[3]) {
                     if (!lit(false)(px, t, r, out)) return false;
                     const int32_t full = r.m, under = r.eightBit ? 77 : 20000;
                     for (int k = 0; k < 3; k++) out[k] = std::min(full, int32_t(float(under) * (1.0f - px.cover) + float(out[k])));
                     return true;
                   },
                   DiscRule, false, 1});
  // 3 "lit map".
  cases.push_back({3, bare, lit(true), nullptr, false, 0});
  // 4 "map color": unlit, no tint, the sea and land blended by the coverage.
  cases.push_back({4, bare,
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     float colour[3];
                     SurfaceColour(px, false, r, colour);
                     return FromColour(colour, 1.0f, r, out);
                   },
                   nullptr, false, 0});
  // 5 "land color": the land's colour everywhere, no sea.
  cases.push_back({5, bare,
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     return FromColour(px.land, 1.0f, r, out);
                   },
                   nullptr, false, 0});
  // 6 "land bump": grey height.
  cases.push_back({6, {"seaLevel=70"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     return Grey(HeightGrey(px.height, r), out);
                   },
                   nullptr, true, 0});
  // 7 "ocean mask": 1 - (1 - ci)(1 - c), with much polar ice.
  cases.push_back({7, {"ice=90"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     return Grey(int32_t((1.0f - (1.0f - px.seaIceCover) * (1.0f - px.landCover)) * float(r.m)), out);
                   },
                   [](const Tapped &t, const Terms &) -> std::string {
                     int32_t iceOnly = 0;
                     for (const OutputTapPixel &px : t.pixels) iceOnly += px.seaIceCover > 0.5f && px.landCover < 0.5f;
                     return iceOnly > 20 ? "" : "too little sea ice to tell";
                   },
                   false, 0});
  // 8 "air color": the air alone over the map.
  cases.push_back({8, {"airDepth=60", "airBrightness=70", "light=0.8,0.3,0.52"},
                   [](const OutputTapPixel &px, const Tapped &t, const Terms &r, int32_t out[3]) {
                     MapAir(px, t, r, out);
                     for (int k = 0; k < 3; k++) {
                       if (out[k] > r.m) return false;
                     }
                     return true;
                   },
                   nullptr, false, 0});
  // 9 "cloud mask": M x clamp(density x edge gain, 0, 1), exactly 0 and full at the ends.
  cases.push_back({9, {"cloudCoverage=55", "cloudEdges=60"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     const float cover = std::fmin(std::fmax(px.cloudDensity * r.edgeGain, 0.0f), 1.0f);
                     return Grey(int32_t(float(r.m) * cover), out);
                   },
                   [](const Tapped &t, const Terms &r) -> std::string {
                     int32_t clear = 0, full = 0;
                     for (size_t i = 0; i < t.pixels.size(); i++) {
                       const uint16_t v = t.image.samples[i * t.image.channels];
                       clear += t.pixels[i].cloudDensity <= 0.0f && v == 0;
                       full += t.pixels[i].cloudDensity * r.edgeGain >= 1.0f && v == r.m;
                     }
                     return clear > 50 && full > 50 ? "" : "no clear or no full cloud";
                   },
                   false, 0});
  // 10 "cloud bump": Mh x density.
  cases.push_back({10, {"cloudCoverage=60"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     return Grey(int32_t(float(r.mh) * px.cloudDensity), out);
                   },
                   nullptr, false, 0});
  // 11 "cities": the city light alone, lit over the whole land, day side included, each
  // channel the city colour times (10..73) x (1 - 0.5)^2 x 0.03.
  cases.push_back({11, {"cities=100", "light=0.8,0.3,0.52"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &, int32_t out[3]) {
                     for (int k = 0; k < 3; k++) out[k] = int32_t(px.cityLight[k]);
                     return true;
                   },
                   [](const Tapped &t, const Terms &r) -> std::string {
                     const ParameterColor &c = t.params.cityColor;
                     const int32_t raw[3] = {c.red, c.green, c.blue};
                     int32_t day = 0;
                     for (size_t i = 0; i < t.pixels.size(); i++) {
                       const OutputTapPixel &px = t.pixels[i];
                       if (px.cityLight[0] == 0.0f && px.cityLight[1] == 0.0f && px.cityLight[2] == 0.0f) continue;
                       for (int k = 0; k < 3; k++) {
                         const float colour = float(raw[k] >> (r.eightBit ? 8 : 1));
                         const float lo = colour * 10.0f * 0.25f * 0.03f, hi = colour * 73.0f * 0.25f * 0.03f;
                         if (px.cityLight[k] < lo * 0.999f || px.cityLight[k] > hi * 1.001f) return "city light out of range";
                       }
                       day += px.d > r.w && t.image.samples[i * t.image.channels] > 0;
                     }
                     return day > 10 ? "" : "no city lit on the day side";
                   },
                   false, 0});
  // 12 "mural": the lit map with every pixel's own light.
  cases.push_back({12, bare, lit(true), PerPixelLight(10.0f), true, 0});
  // 13 "hypsometric": the contour ramp lit by the relief shade, no sea blend and no tint.
  cases.push_back({13, bare,
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     const float colour[3] = {px.land[0] * px.lightLevel, px.land[1] * px.lightLevel,
                                              px.land[2] * px.lightLevel};
                     return FromColour(colour, 1.0f, r, out);
                   },
                   PerPixelLight(1.5107963f), false, 0});
  // 14 "bump w/o ocean": grey height, never below the sea level's grey.
  cases.push_back({14, {"seaLevel=70"},
                   [](const OutputTapPixel &px, const Tapped &, const Terms &r, int32_t out[3]) {
                     return Grey(HeightGrey(std::fmax(px.height, r.seaLevel), r), out);
                   },
                   [](const Tapped &t, const Terms &r) -> std::string {
                     int32_t below = 0;
                     for (size_t i = 0; i < t.pixels.size(); i++) {
                       below += t.pixels[i].height < r.seaLevel;
                       if (t.image.samples[i * t.image.channels] + 1 < HeightGrey(r.seaLevel, r)) return "below the sea level's grey";
                     }
                     return below > int32_t(t.pixels.size() / 10) ? "" : "too little sea to tell";
                   },
                   true, 0});
  return cases;
}

// Oracle: the formulas and rules of each output mode (channel choice, light factors, disc,
// composite, map air, masks and bumps) worked out from the shader's recorded stage inputs.
TEST(OutputModes, EveryModeShowsWhatItsRulesMake) {
  const std::vector<ModeCase> cases = ModeCases();
  ASSERT_EQ(cases.size(), 14u);
  for (const ModeCase &mc : cases) {
    for (int32_t depth : {8, 16}) {
      Options o;
      o.depth = depth;
      o.transparent = mc.transparent;
      o.background = mc.background == 0 ? 0 : (depth == 8 ? 77 : 20000);
      std::vector<std::string> settings = mc.settings;
      settings.push_back("outputMode=" + std::to_string(mc.mode));
      // The 8-bit pictures are shaded one pixel at a time, the 16-bit ones in the row's batches:
      // both forms must keep the rules.
      SetRowNoiseBatchingEnabled(depth == 16);
      const Tapped t = RenderTapped(o, settings);
      SetRowNoiseBatchingEnabled(true);
      const std::string label = "mode " + std::to_string(mc.mode) + " depth " + std::to_string(depth);
      ASSERT_TRUE(t.ok) << label;
      const Terms r = TermsOf(t, depth);
      const int32_t full = r.m;
      size_t compared = 0, wrong = 0, unseen = 0;
      std::string first;
      for (size_t i = 0; i < t.pixels.size(); i++) {
        if (!t.seen[i]) {
          unseen++;
          continue;
        }
        const uint16_t *sample = &t.image.samples[i * t.image.channels];
        if (t.image.channels == 4 && sample[3] != full) {
          wrong++;
          if (first.empty()) first = "alpha " + std::to_string(sample[3]);
        }
        int32_t want[3];
        if (!mc.reference(t.pixels[i], t, r, want)) continue;
        compared++;
        for (int k = 0; k < 3; k++) {
          const int32_t expected = std::min(std::max(want[k], 0), full);
          if (std::abs(int32_t(sample[k]) - expected) > 1) {
            wrong++;
            if (first.empty()) {
              first = "pixel " + std::to_string(i % t.image.width) + "," + std::to_string(i / t.image.width) +
                      " channel " + std::to_string(k) + ": " + std::to_string(sample[k]) + ", expected " +
                      std::to_string(expected);
            }
          }
        }
      }
      EXPECT_EQ(unseen, 0u) << label;
      EXPECT_EQ(wrong, 0u) << label << ": " << first;
      // Most pixels must be within the reference's reach, or the comparison proves little.
      EXPECT_GT(compared, t.pixels.size() * 3 / 4) << label;
      if (mc.rule) {
        EXPECT_EQ(mc.rule(t, r), "") << label;
      }
    }
  }
}

}  // namespace
