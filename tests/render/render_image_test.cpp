// Whole renders through the harness: every output mode in every channel class, repeatability,
// channel bounds, the modes that must come out black, the disc's edge and the air alone, the
// transparent layer without air, the night shortcut, and the pictures' hashes (which are the
// same in the native, 64-bit and 32-bit builds).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "render/noise_paths.h"
#include "render/shader.h"

namespace {

struct Render {
  HarnessImage image;
  bool ok = false;
};

// Renders w x h with the given options and settings ("name=value").
Render RenderWith(HarnessOptions options, std::initializer_list<const char *> settings) {
  Render result;
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return result;
  ParameterBlock *p = HarnessParameters(&harness);
  for (const char *s : settings) {
    if (!ApplyHarnessSetting(p, s)) {
      ADD_FAILURE() << "bad setting " << s;
      CloseHarness(&harness);
      return result;
    }
  }
  result.ok = RenderHarnessImage(&harness, &result.image);
  CloseHarness(&harness);
  // RENDER_TEST_PNG_DIR=dir writes every picture of the tests, for looking at.
  if (const char *dir = std::getenv("RENDER_TEST_PNG_DIR")) {
    static int counter = 0;
    char path[512];
    std::snprintf(path, sizeof path, "%s/render_test_%03d.png", dir, counter++);
    WriteHarnessPng(path, result.image);
  }
  return result;
}

HarnessOptions Size(int32_t w, int32_t h, int32_t depth = 8, bool grey = false) {
  HarnessOptions o;
  o.width = w;
  o.height = h;
  o.depth = depth;
  o.grey = grey;
  return o;
}

uint16_t MaxSample(const HarnessImage &image) {
  return image.samples.empty() ? 0 : *std::max_element(image.samples.begin(), image.samples.end());
}

// The sample of channel k at (x, y).
uint16_t At(const HarnessImage &image, int32_t x, int32_t y, int32_t k = 0) {
  return image.samples[(size_t(y) * image.width + x) * image.channels + k];
}

TEST(RenderImage, EveryModeInEveryChannelClass) {
  const char *modes[] = {"outputMode=1", "outputMode=2",  "outputMode=3",  "outputMode=4",  "outputMode=5",
                         "outputMode=6", "outputMode=7",  "outputMode=8",  "outputMode=9",  "outputMode=10",
                         "outputMode=11", "outputMode=12", "outputMode=13", "outputMode=14"};
  for (int depth : {8, 16}) {
    for (bool grey : {false, true}) {
      for (const char *mode : modes) {
        const Render r = RenderWith(Size(48, 32, depth, grey), {mode, "cities=60"});
        ASSERT_TRUE(r.ok) << mode << " depth " << depth << " grey " << grey;
        EXPECT_LE(MaxSample(r.image), depth == 8 ? 255 : 32768) << mode;
        if (std::string(mode) != "outputMode=11") {
          EXPECT_GT(MaxSample(r.image), 0) << mode;
        }
      }
    }
  }
}

TEST(RenderImage, SameParametersSameBytes) {
  for (const char *mode : {"outputMode=1", "outputMode=3", "outputMode=11", "outputMode=13"}) {
    const Render a = RenderWith(Size(64, 40), {mode, "cities=80"});
    const Render b = RenderWith(Size(64, 40), {mode, "cities=80"});
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.image.samples, b.image.samples) << mode;
  }
  // Another seed, another planet.
  const Render c = RenderWith(Size(64, 40), {"randomSeed=22"});
  const Render d = RenderWith(Size(64, 40), {"randomSeed=21"});
  EXPECT_NE(c.image.samples, d.image.samples);
}

TEST(RenderImage, ModesThatMustBeBlack) {
  EXPECT_EQ(MaxSample(RenderWith(Size(40, 20), {"outputMode=8", "airDepth=0"}).image), 0);
  EXPECT_EQ(MaxSample(RenderWith(Size(40, 20), {"outputMode=11", "cities=0"}).image), 0);
  EXPECT_EQ(MaxSample(RenderWith(Size(40, 20), {"outputMode=9", "cloudCoverage=0"}).image), 0);
  EXPECT_GT(MaxSample(RenderWith(Size(40, 20), {"outputMode=11", "cities=100"}).image), 0);
}

TEST(RenderImage, TheGlobeSitsInItsDiscWithAirAround) {
  // 200 x 160: planet size 65 gives trunc(160 x 422 / 1000) = 67, a radius of 66.5 around
  // (100, 80); the air shell reaches 1.099 x 66.5 = 73.1.
  const Render r = RenderWith(Size(200, 160), {"light=0,0,1", "airDepth=0", "cloudCoverage=0"});
  ASSERT_TRUE(r.ok);
  EXPECT_GT(At(r.image, 100, 80, 2), 0);
  EXPECT_GT(At(r.image, 100 - 64, 80, 2), 0);
  EXPECT_EQ(At(r.image, 100 - 68, 80, 2), 0);   // beyond the rim, no air
  EXPECT_EQ(At(r.image, 100, 80 + 68, 2), 0);
  // The outermost ring is partly covered: darker than the pixel just inside it.
  EXPECT_LT(At(r.image, 100 - 66, 80, 2), At(r.image, 100 - 64, 80, 2));
  const Render air = RenderWith(Size(200, 160), {"light=0,0,1", "cloudCoverage=0"});
  EXPECT_GT(At(air.image, 100 - 70, 80, 2), 0);
  EXPECT_EQ(At(air.image, 100 - 76, 80, 2), 0);
  EXPECT_EQ(At(air.image, 0, 0, 2), 0);
}

TEST(RenderImage, LitModesFollowTheLight) {
  const Render c = RenderWith(Size(48, 24), {"outputMode=3", "light=0.7,0,0.714"});
  const Render d = RenderWith(Size(48, 24), {"outputMode=3", "light=-0.7,0,0.714"});
  EXPECT_NE(c.image.samples, d.image.samples);
}

TEST(RenderImage, MuralReliefFollowsTheLight) {
  // The relief map modes light every pixel from its own direction; light from the left and
  // from the right must shade the same relief differently.
  const Render left = RenderWith(Size(64, 32), {"outputMode=12", "light=-0.7,0,0.714", "cloudCoverage=0"});
  const Render right = RenderWith(Size(64, 32), {"outputMode=12", "light=0.7,0,0.714", "cloudCoverage=0"});
  ASSERT_TRUE(left.ok && right.ok);
  int64_t difference = 0;
  for (size_t k = 0; k < left.image.samples.size(); k++) {
    difference += std::abs(int32_t(left.image.samples[k]) - int32_t(right.image.samples[k]));
  }
  EXPECT_GT(difference / int64_t(left.image.samples.size()), 2);
}

TEST(RenderImage, PlanetWithoutAirStillCoversATransparentLayer) {
  HarnessOptions o = Size(80, 60);
  o.transparentLayer = true;
  const Render r = RenderWith(o, {"outputMode=2", "airDepth=0", "light=0,0,1"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(At(r.image, 40, 30, 3), 255);   // the disc is opaque
  EXPECT_EQ(At(r.image, 2, 2, 3), 0);       // the background stays transparent
  // With air, the shell beyond the rim is partly transparent.
  const Render air = RenderWith(o, {"outputMode=2", "light=0,0,1"});
  EXPECT_EQ(At(air.image, 40, 30, 3), 255);
}

TEST(RenderImage, CompositeModeKeepsTheBackgroundOffTheDisc) {
  HarnessOptions o = Size(60, 40);
  RenderHarness harness;
  ASSERT_TRUE(OpenHarness(&harness, o));
  harness.background.assign(size_t(60) * 40 * 3, 77);
  ParameterBlock *p = HarnessParameters(&harness);
  p->outputMode = 2;
  p->airDepth = 0;
  HarnessImage image;
  ASSERT_TRUE(RenderHarnessImage(&harness, &image));
  CloseHarness(&harness);
  EXPECT_EQ(At(image, 0, 0, 0), 77);
  EXPECT_EQ(At(image, 59, 39, 2), 77);
}

// Settings for a random planet lit from the side, so that the terminator crosses the disc or
// the map: a small generator of its own, the same cases on every run.
struct RandomCase {
  std::vector<std::string> settings;
};

uint32_t NextCaseValue(uint32_t *state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

void AddSetting(RandomCase *c, const char *format, double a, double b = 0.0, double d = 0.0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, d);
  c->settings.push_back(text);
}

RandomCase MakeRandomCase(uint32_t *state, bool craters) {
  RandomCase c;
  const int modes[] = {1, 2, 3};
  AddSetting(&c, "outputMode=%.0f", modes[NextCaseValue(state) % 3]);
  const double lx = (NextCaseValue(state) % 2001) / 1000.0 - 1.0;
  const double ly = (NextCaseValue(state) % 2001) / 1000.0 - 1.0;
  const double lz = (NextCaseValue(state) % 1001) / 1000.0 - 0.5;
  AddSetting(&c, "light=%.3f,%.3f,%.3f", lx, ly, lz);
  AddSetting(&c, "randomSeed=%.0f", NextCaseValue(state) % 4096);
  AddSetting(&c, "landTexture=%.0f", NextCaseValue(state) % 101);
  AddSetting(&c, "seaLevel=%.0f", 30 + NextCaseValue(state) % 40);
  AddSetting(&c, "ice=%.0f", NextCaseValue(state) % 101);
  if (craters) {
    AddSetting(&c, "craterCount=%.0f", 20 + NextCaseValue(state) % 81);
    AddSetting(&c, "craterSize=%.0f", 10 + NextCaseValue(state) % 91);
  } else {
    AddSetting(&c, "cloudCoverage=%.0f", NextCaseValue(state) % 2 == 0 ? 0.0 : 50.0);
  }
  return c;
}

Render RenderCase(HarnessOptions options, const RandomCase &c) {
  Render result;
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return result;
  ParameterBlock *p = HarnessParameters(&harness);
  for (const std::string &setting : c.settings) {
    if (!ApplyHarnessSetting(p, setting.c_str())) ADD_FAILURE() << "bad setting " << setting;
  }
  result.ok = RenderHarnessImage(&harness, &result.image);
  CloseHarness(&harness);
  return result;
}

std::string Describe(const RandomCase &c) {
  std::string s;
  for (const std::string &setting : c.settings) s += setting + " ";
  return s;
}

// The picture of case c rendered with each stage evaluating its own noise and with the row's
// noise batched: the same samples, and not a blank picture (the comparison would prove nothing).
void ExpectBatchingChangesNoBit(const HarnessOptions &size, const RandomCase &c, const char *label = "") {
  SetRowNoiseBatchingEnabled(false);
  const Render single = RenderCase(size, c);
  SetRowNoiseBatchingEnabled(true);
  const Render batched = RenderCase(size, c);
  ASSERT_TRUE(single.ok && batched.ok) << label << " " << Describe(c);
  ASSERT_EQ(single.image.samples.size(), batched.image.samples.size());
  size_t differing = 0;
  for (size_t i = 0; i < single.image.samples.size(); i++) differing += single.image.samples[i] != batched.image.samples[i];
  EXPECT_EQ(differing, 0u) << label << " " << Describe(c);
  EXPECT_GT(MaxSample(batched.image), 1000) << label << " " << Describe(c);
}

// The picture of case c rendered with every crater tested at every point and with the craters
// culled: the same samples.
void ExpectCullingChangesNoBit(const HarnessOptions &size, const RandomCase &c) {
  SetCraterCullingEnabled(false);
  const Render full = RenderCase(size, c);
  SetCraterCullingEnabled(true);
  const Render quick = RenderCase(size, c);
  ASSERT_TRUE(full.ok && quick.ok);
  EXPECT_TRUE(full.image.samples == quick.image.samples) << Describe(c);
}

// The night shortcut must give the full computation's bits. 16-bit samples, because 8-bit ones
// truncate small errors away, and side light, so that the terminator crosses many rows: the
// harness (like the plug-in's row loop) requests one row at a time, which is where a next row
// once counted as dark.
TEST(RenderImage, TheNightShortcutChangesNoBit) {
  std::vector<RandomCase> cases;
  RandomCase named;
  named.settings = {"outputMode=3", "light=-0.3,0.95,0.1", "landTexture=100", "cloudCoverage=0", "airDepth=0",
                    "randomSeed=0"};
  uint32_t state = 20;
  for (int k = 0; k < 14; k++) cases.push_back(MakeRandomCase(&state, false));
  const struct {
    const RandomCase *c;
    int32_t w, h;
  } runs[] = {{&named, 320, 240}};
  auto compare = [](const RandomCase &c, int32_t w, int32_t h) {
    SetNightShortcutEnabled(false);
    const Render full = RenderCase(Size(w, h, 16), c);
    SetNightShortcutEnabled(true);
    const Render quick = RenderCase(Size(w, h, 16), c);
    ASSERT_TRUE(full.ok && quick.ok);
    size_t differing = 0;
    for (size_t k = 0; k < full.image.samples.size(); k++) differing += full.image.samples[k] != quick.image.samples[k];
    EXPECT_EQ(differing, 0u) << Describe(c);
  };
  for (const auto &r : runs) compare(*r.c, r.w, r.h);
  for (const RandomCase &c : cases) compare(c, 96, 64);
}

// The crater shortcuts (the row's candidate list and the neutral-window skip) against the plain
// loop over every crater: heights, light-side heights and decals all reach the picture in the
// hypsometric and bump modes as well as in the lit ones.
TEST(RenderImage, CraterCullingChangesNoBit) {
  uint32_t state = 425;
  for (int k = 0; k < 10; k++) {
    RandomCase c = MakeRandomCase(&state, true);
    if (k % 3 == 1) AddSetting(&c, "outputMode=%.0f", k % 2 == 0 ? 13.0 : 6.0);
    const int32_t w = 80 + 8 * k, h = 64;
    ExpectCullingChangesNoBit(Size(w, h, 16), c);
  }
  // A wide globe, off centre and larger than the picture: its rows split the candidates into
  // column segments, some beyond the disc's edge.
  for (const char *centre : {"centerX=0.2", "centerX=0.5", "centerX=0.9"}) {
    RandomCase c = MakeRandomCase(&state, true);
    c.settings.insert(c.settings.end(), {centre, "planetSize=140", "craterCount=100", "craterSize=60", "light=0.5,0.2,0.8", "outputMode=1"});
    ExpectCullingChangesNoBit(Size(232, 40, 16), c);
  }
  // A whole globe about a tilted axis with many small craters, which its segments leave out the
  // most, from the poles' rows to the equator's.
  for (const char *size : {"craterSize=10", "craterSize=25"}) {
    RandomCase c = MakeRandomCase(&state, true);
    c.settings.insert(c.settings.end(), {size, "craterCount=100", "axis=0.5,1,-0.4", "light=-0.6,0.3,0.7"});
    ExpectCullingChangesNoBit(Size(176, 168, 16), c);
  }
  // Maps wide enough for column segments of longitude, about tilted axes, with large craters
  // that straddle segments and the seam, panned and zoomed, lit, hypsometric and bump.
  const char *maps[][3] = {{"outputMode=3", "axis=0.4,1,0.3", "zoomDivisor=1"},
                           {"outputMode=13", "axis=-0.7,1,0.2", "panX=7"},
                           {"outputMode=6", "axis=0,1,0", "zoomDivisor=3"}};
  // Small craters are where a segment leaves out the most.
  const double sizes[] = {100, 60, 35, 10};
  for (int k = 0; k < 8; k++) {
    RandomCase c = MakeRandomCase(&state, true);
    c.settings.insert(c.settings.end(), {maps[k % 3][0], maps[k % 3][1], maps[k % 3][2], "craterCount=100"});
    AddSetting(&c, "craterSize=%.0f", sizes[k / 2]);
    ExpectCullingChangesNoBit(Size(136 + 24 * k, 48, 16), c);
  }
}

// A pixel's point and its light-side point take their craters' decals in one pass; each point
// walking its own craters must give the same bits, in the lit, bump and shaded-relief modes, on
// globes and maps, with many small or few large craters, and with every crater a candidate.
TEST(RenderImage, CraterPairsChangeNoBit) {
  uint32_t state = 977;
  for (int k = 0; k < 8; k++) {
    RandomCase c = MakeRandomCase(&state, true);
    if (k % 4 == 3) AddSetting(&c, "outputMode=%.0f", 6.0);
    if (k % 3 == 2) c.settings.insert(c.settings.end(), {"axis=0.5,1,-0.4", "craterCount=100", "craterSize=15"});
    const bool culled = k % 4 != 1;
    SetCraterCullingEnabled(culled);
    SetCraterPairsEnabled(false);
    const Render alone = RenderCase(Size(88 + 8 * k, 56, 16), c);
    SetCraterPairsEnabled(true);
    const Render paired = RenderCase(Size(88 + 8 * k, 56, 16), c);
    SetCraterCullingEnabled(true);
    ASSERT_TRUE(alone.ok && paired.ok);
    EXPECT_TRUE(alone.image.samples == paired.image.samples) << Describe(c) << (culled ? "" : " unculled");
    if (k == 0) {
      // The craters must reach the picture, or the comparison proves nothing.
      c.settings.push_back("craterCount=0");
      EXPECT_FALSE(RenderCase(Size(88, 56, 16), c).image.samples == paired.image.samples);
    }
  }
}

// The families of random planets whose pictures must not change when a row's noise is
// evaluated ahead of its pixels (against every stage evaluating its own), in 16-bit samples.
// Each makes its case k, and the picture's size, from its own generator state.
struct BatchFamily {
  const char *name;
  uint32_t seed;
  int32_t cases;
  bool everyPath;   // compared on each processor path of the noise, not only the active one
  void (*make)(uint32_t *state, int32_t k, RandomCase *c, int32_t *w, int32_t *h);
};

const BatchFamily kBatchFamilies[] = {
    // The modes that use the relief, the land texture and the clouds (shadows, relief, storms,
    // extra octaves) about a tilted axis, with the moon's height image and climate, on widths that
    // end a batch of columns anywhere.
    {"relief, land and clouds", 7001, 16, true,
     [](uint32_t *state, int32_t k, RandomCase *out, int32_t *w, int32_t *h) {
       const double modes[] = {1, 2, 3, 5, 9, 10, 12, 13};
       RandomCase c = MakeRandomCase(state, k % 4 == 3);
       AddSetting(&c, "outputMode=%.0f", modes[k % 8]);
       AddSetting(&c, "cloudCoverage=%.0f", 20 + NextCaseValue(state) % 60);
       AddSetting(&c, "stormCount=%.0f", NextCaseValue(state) % 12);
       AddSetting(&c, "stormSize=%.0f", 20 + NextCaseValue(state) % 80);
       AddSetting(&c, "cloudTexture=%.0f", NextCaseValue(state) % 101);
       AddSetting(&c, "cloudViscosity=%.0f", NextCaseValue(state) % 101);
       AddSetting(&c, "cities=%.0f", NextCaseValue(state) % 101);
       AddSetting(&c, "landComplexity=%.0f", NextCaseValue(state) % 101);
       // A tilted axis, so that the polar terms change along a row.
       AddSetting(&c, "axis=%.2f,1,%.2f", (NextCaseValue(state) % 101) / 100.0 - 0.5,
                  (NextCaseValue(state) % 101) / 100.0 - 0.5);
       if (k % 5 == 2) c.settings.push_back("realLuna=1");
       if (k % 3 == 1) c.settings.push_back("lunarClimate=1");
       if (k % 7 == 4) c.settings.push_back("backlighting=1");
       *out = c, *w = 63 + 17 * (k % 5), *h = 24 + k % 3;
     }},
    // The night shortcut in play (lit globe and map modes, no city lights), where some pixels skip
    // their noise and some evaluate only the terrain, and planets so large that one batch of
    // columns has more octave points than the batch holds at once.
    {"night and huge planets", 90210, 8, false,
     [](uint32_t *state, int32_t k, RandomCase *out, int32_t *w, int32_t *h) {
       RandomCase c = MakeRandomCase(state, k % 2 == 1);
       AddSetting(&c, "outputMode=%.0f", double(1 + k % 3));
       c.settings.push_back("cities=0");
       AddSetting(&c, "cloudCoverage=%.0f", 40 + NextCaseValue(state) % 40);
       AddSetting(&c, "axis=%.2f,1,0.3", (NextCaseValue(state) % 101) / 100.0 - 0.5);
       if (k >= 5) c.settings.push_back("planetSize=20000");
       *out = c, *w = 70 + 31 * (k % 3), *h = 21;
     }},
    // The land colour made four pixels at a time where its clamps bind: all desert or none, polar
    // ice everywhere or nowhere, rough and smooth land texture, craters whose floors push the
    // desert and saturation terms to their limits, on both surface modes.
    {"land colour at its limits", 4242, 8, false,
     [](uint32_t *state, int32_t k, RandomCase *out, int32_t *w, int32_t *h) {
       const char *extremes[][2] = {{"desert=100", "ice=0"}, {"desert=0", "ice=100"}, {"desert=100", "ice=100"},
                                    {"desert=0", "ice=0"}};
       RandomCase c = MakeRandomCase(state, k % 2 == 1);
       AddSetting(&c, "outputMode=%.0f", k % 3 == 2 ? 2.0 : 1.0);
       c.settings.push_back(extremes[k % 4][0]);
       c.settings.push_back(extremes[k % 4][1]);
       AddSetting(&c, "landComplexity=%.0f", k < 4 ? 100.0 : 5.0);
       *out = c, *w = 64 + 13 * (k % 3), *h = 20;
     }},
    // Cloud shadows and storm twists: cloud shells from the ground to far beyond the sphere
    // (heights past 4000 put the shell's point outside it, where the light's ray can miss the
    // sphere), side light, and many wide, strongly swirling storms, so that a group of points meets
    // several storms, each reaching several points.
    {"cloud shadows and storms", 5150, 6, false,
     [](uint32_t *state, int32_t k, RandomCase *out, int32_t *w, int32_t *h) {
       const double heights[] = {0, 100, 4600, 5000, 9000, 60000};
       RandomCase c = MakeRandomCase(state, k % 2 == 1);
       AddSetting(&c, "outputMode=%.0f", k % 3 == 2 ? 2.0 : 1.0);
       AddSetting(&c, "cloudHeight=%.0f", heights[k]);
       c.settings.push_back("cloudShadows=100");
       AddSetting(&c, "cloudCoverage=%.0f", 50 + NextCaseValue(state) % 40);
       AddSetting(&c, "stormCount=%.0f", 20 + NextCaseValue(state) % 30);
       AddSetting(&c, "stormSize=%.0f", 60 + NextCaseValue(state) % 40);
       c.settings.push_back("stormSwirl=100");
       AddSetting(&c, "light=%.2f,0.3,%.2f", k % 2 ? 0.9 : -0.8, k % 3 ? 0.4 : -0.2);
       *out = c, *w = 67 + 9 * k, *h = 22;
     }},
    // The sea's colour, glint and ice made four pixels at a time, and the quick answers for whole
    // cells of coast and ice, where they bind: no sea, sea everywhere (the depth at both ends of its
    // clamp), ice on every cell or none, the glint at its peak under a light behind the viewer, on
    // lit and unlit globes and maps, with widths that leave one to three pixels over a whole number
    // of fours.
    {"sea at its limits", 5151, 6, false,
     [](uint32_t *state, int32_t k, RandomCase *out, int32_t *w, int32_t *h) {
       const char *seas[][2] = {{"seaLevel=0", "ice=0"},    {"seaLevel=100", "ice=100"}, {"seaLevel=100", "ice=0"},
                                {"seaLevel=55", "ice=100"}, {"seaLevel=0", "ice=100"},   {"seaLevel=55", "ice=0"}};
       const int modes[] = {1, 0, 2, 3, 4, 1};
       RandomCase c = MakeRandomCase(state, k % 2 == 1);
       AddSetting(&c, "outputMode=%.0f", double(modes[k]));
       c.settings.push_back(seas[k][0]);
       c.settings.push_back(seas[k][1]);
       if (k % 3 == 0) c.settings.push_back("light=0,0,1");
       *out = c, *w = 61 + 10 * k, *h = 24;
     }},
};

TEST(RenderImage, RowNoiseBatchesChangeNoBit) {
  const NoisePath before = ActiveNoisePath();
  std::vector<NoisePath> paths = {kNoisePathSse2};
  if (ProcessorHasAvx2()) paths.push_back(kNoisePathAvx2);
  for (const BatchFamily &family : kBatchFamilies) {
    uint32_t state = family.seed;
    int32_t compared = 0;
    for (int32_t k = 0; k < family.cases; k++) {
      RandomCase c;
      int32_t w = 0, h = 0;
      family.make(&state, k, &c, &w, &h);
      if (!family.everyPath) {
        ExpectBatchingChangesNoBit(Size(w, h, 16), c, family.name);
        compared++;
        continue;
      }
      for (NoisePath path : paths) {
        ASSERT_TRUE(SelectNoisePath(path));
        const std::string label = std::string(family.name) + " " + NoisePathName(path);
        ExpectBatchingChangesNoBit(Size(w, h, 16), c, label.c_str());
        compared++;
      }
      SelectNoisePath(before);
    }
    EXPECT_EQ(compared, family.cases * (family.everyPath ? int32_t(paths.size()) : 1)) << family.name;
  }
  SelectNoisePath(before);
}

TEST(RenderImage, ZoomedPreviewSizesAndOddWidths) {
  for (int32_t w : {1, 2, 3, 17}) {
    for (int32_t h : {1, 2, 9}) {
      for (const char *mode : {"outputMode=1", "outputMode=13"}) {
        const Render r = RenderWith(Size(w, h), {mode});
        EXPECT_TRUE(r.ok) << w << "x" << h;
      }
    }
  }
  EXPECT_TRUE(RenderWith(Size(40, 30), {"zoomDivisor=3", "panX=7", "panY=-5"}).ok);
}

TEST(RenderImage, UncheckedParameterValuesStayDefined) {
  const std::initializer_list<const char *> cases[] = {
      {"light=0,0,0"},
      {"axis=0,2,0"},
      {"planetSize=100000"},
      {"outputMode=0"},
      {"outputMode=15"},
      {"cloudViscosity=4000000000", "cloudCoverage=4000000000"},
      {"seaLevel=4294967295", "stormCount=4294967295", "stormSize=0"},
      {"craterCount=4294967295", "craterSize=4294967295"},
      {"zoomDivisor=0"},
      {"outputMode=3", "light=3e38,-3e38,3e38"},
      {"outputMode=12", "light=1e30,-1e30,0"},
      {"outputMode=13", "landTexture=4000000000", "seaLevel=0"},
      {"outputMode=13", "seaLevel=1734829927"},   // bands far below the water line
      {"outputMode=14", "craterTexture=4000000000", "craterCount=90"},
  };
  for (const auto &settings : cases) {
    const Render r = RenderWith(Size(24, 16), settings);
    EXPECT_TRUE(r.ok) << *settings.begin();
    EXPECT_LE(MaxSample(r.image), 255);
  }
  // Mode 0 is an unlit globe.
  const Render unlit = RenderWith(Size(48, 32), {"outputMode=0", "light=1,0,0"});
  EXPECT_GT(At(unlit.image, 24, 16, 2), 0);
}

// The pictures' hashes. The native, 64-bit Windows and 32-bit Windows builds compute the same
// bits, so the same constants hold in every tree; a change of the renderer's arithmetic shows
// here first (update the constants after looking at the pictures).
void ExpectPinnedHashes(const char *path) {
  struct Case {
    HarnessOptions options;
    std::initializer_list<const char *> settings;
    uint64_t hash;
  };
  const Case cases[] = {
      {Size(96, 64), {"outputMode=1", "cities=50"}, 0xbf0f9a5d3a8c0958ull},
      {Size(96, 48), {"outputMode=3", "cities=50"}, 0x3e188883ba3ebb43ull},
      {Size(64, 32, 16, true), {"outputMode=13"}, 0x4eb424c3c2d061fcull},
      {Size(64, 32, 16), {"outputMode=12", "realLuna=1"}, 0x2ba67a3b26fbd6e7ull},
      {Size(64, 32), {"outputMode=10"}, 0x5f8eafe590a22a97ull},
  };
  for (const Case &c : cases) {
    const Render r = RenderWith(c.options, c.settings);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(HarnessImageHash(r.image), c.hash) << path << " " << std::hex << HarnessImageHash(r.image);
  }
}

TEST(RenderImage, PictureHashesAreTheSameInEveryBuild) { ExpectPinnedHashes(NoisePathName(ActiveNoisePath())); }

// The same pictures on each processor path of the noise, and a lit globe and map with craters
// and clouds compared between the paths sample for sample.
TEST(RenderImage, EveryProcessorPathDrawsTheSamePictures) {
  const NoisePath before = ActiveNoisePath();
  std::vector<NoisePath> paths = {kNoisePathSse2};
  if (ProcessorHasAvx2()) paths.push_back(kNoisePathAvx2);
  std::vector<std::vector<uint16_t>> pictures;
  for (NoisePath path : paths) {
    ASSERT_TRUE(SelectNoisePath(path));
    ExpectPinnedHashes(NoisePathName(path));
    for (const char *mode : {"outputMode=1", "outputMode=3"}) {
      const Render r = RenderWith(Size(120, 90, 16), {mode, "craterCount=60", "light=-0.5,0.4,0.3", "randomSeed=99"});
      ASSERT_TRUE(r.ok);
      pictures.push_back(r.image.samples);
    }
  }
  for (size_t k = 2; k < pictures.size(); k++) EXPECT_TRUE(pictures[k] == pictures[k - 2]) << k;
  SelectNoisePath(before);
}

}  // namespace
