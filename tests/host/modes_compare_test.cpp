// modes_compare_test.cpp -- the fourteen output modes through this tree's real plug-in, compared
// with the render harness (Windows trees only).
//
// Each mode is played as a recorded action, exactly as `kivahost --set "planet size=40"
// --mode NAME` plays it: the host reads the mode names from the plug-in's terminology, builds
// the descriptor and runs Prepare, Start, Continue and Finish on a black RGB canvas. The same
// parameter block (the defaults, planet size 40, that mode) is then rendered by the harness,
// which is linked into this program and so runs the very renderer code this tree compiles into
// the plug-in. The two pictures must agree as `compare -metric AE -fuzz 2%` judges them: a
// pixel differs when one of its channels differs by more than 2% of full scale, and no pixel
// may differ.
//
// The city lights draw their brightness from a generator of their own, started from the planet
// seed by every render: the shared generator, which the plug-in seeds from the clock at
// Prepare, has no part in them, so the harness's own seed for it must not matter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "host/host_session.h"
#include "host/terminology.h"
#include "plugin/output_passes.h"
#include "plugin/parameters.h"
#include "plugin/script_descriptor.h"
#include "tests/host/plugin_run.h"


namespace {

// The canvases: the globe modes at 96 x 64, the maps (2:1) at 128 x 64. Small, because the
// 32-bit program runs emulated.
constexpr int32_t kHeight = 64;
int32_t WidthForMode(uint32_t mode) { return mode <= 2 ? 96 : 128; }

// The picture of one host run: the document after the plug-in painted it.
struct HostPicture {
  bool ok = false;
  std::string error;
  HostImage image;
  ParameterBlock parameters;   // what the plug-in left in the host's parameters handle
  int64_t secondsBefore = 0;   // the clock around the run, for the shared generator's seed
  int64_t secondsAfter = 0;
};

// Runs the plug-in as the program would with these arguments (after --plugin), in-process.
HostPicture RunPlugin(std::vector<const char *> args) {
  HostPicture picture;
  std::memset(&picture.parameters, 0, sizeof picture.parameters);
  PluginRun run(args);
  picture.secondsBefore = run.secondsBefore;
  picture.secondsAfter = run.secondsAfter;
  picture.ok = run.status == kHostStatusOk && run.finishStatus == kHostStatusOk;
  if (!picture.ok) {
    picture.error = run.error + run.report;
    return picture;
  }
  if (const ParameterBlock *p = run.Parameters()) picture.parameters = *p;
  picture.image = run.session->destination;
  return picture;
}

// The harness's picture of the defaults with these settings ("name=value"), 8-bit RGB.
bool RenderReference(int32_t width, int32_t height, uint32_t randSeed, const std::vector<const char *> &settings,
                     HarnessImage *image) {
  HarnessOptions options;
  options.width = width;
  options.height = height;
  options.randSeed = randSeed;
  RenderHarness harness;
  bool ok = OpenHarness(&harness, options);
  if (ok) {
    ParameterBlock *p = HarnessParameters(&harness);
    for (const char *s : settings) ok = ok && ApplyHarnessSetting(p, s);
    ok = ok && RenderHarnessImage(&harness, image);
  }
  CloseHarness(&harness);
  return ok;
}

// How far apart two pictures are, as `compare -metric AE -fuzz 2%` counts it (ImageMagick 6
// on RGB): a pixel counts when any channel differs by more than 2% of full scale, which at
// 8 bits is a difference of 6 or more.
struct PictureDifference {
  bool sameShape = false;
  int64_t differing = 0;      // the AE count
  int32_t largest = 0;        // the largest channel difference anywhere
  int32_t firstX = -1;        // the first differing pixel, for the message
  int32_t firstY = -1;
};

PictureDifference Compare(const HostImage &host, const HarnessImage &reference) {
  PictureDifference d;
  d.sameShape = host.width == reference.width && host.height == reference.height && host.channels == 3 &&
                reference.channels == 3 && host.bytesPerSample == 1 && reference.depth == 8;
  if (!d.sameShape) return d;
  const double fuzz = 0.02 * 255.0;
  for (int32_t y = 0; y < host.height; y++) {
    for (int32_t x = 0; x < host.width; x++) {
      const uint8_t *a = HostImagePixel(host, x, y);
      const uint16_t *b = &reference.samples[(size_t(y) * size_t(reference.width) + size_t(x)) * 3];
      bool differs = false;
      for (int k = 0; k < 3; k++) {
        const int32_t delta = std::abs(int32_t(a[k]) - int32_t(b[k]));
        if (delta > d.largest) d.largest = delta;
        if (double(delta) > fuzz) differs = true;
      }
      if (differs) {
        if (d.differing == 0) {
          d.firstX = x;
          d.firstY = y;
        }
        d.differing++;
      }
    }
  }
  return d;
}

// Pixels that are not black: a picture that matches must also show something.
int64_t LitPixels(const HarnessImage &image) {
  int64_t lit = 0;
  for (size_t i = 0; i + 2 < image.samples.size(); i += 3)
    if (image.samples[i] != 0 || image.samples[i + 1] != 0 || image.samples[i + 2] != 0) lit++;
  return lit;
}

std::string Describe(const PictureDifference &d) {
  char text[160];
  std::snprintf(text, sizeof text, "AE %lld (largest channel difference %d, first at %d,%d)",
                static_cast<long long>(d.differing), int(d.largest), int(d.firstX), int(d.firstY));
  return text;
}

// The output modes by the names the plug-in's terminology gives them, with their numbers.
struct NamedMode {
  std::string name;
  uint32_t mode;
};

std::vector<NamedMode> ModesFromTerminology(std::string *error) {
  std::vector<NamedMode> modes;
  PluginModule module = {};
  char text[kHostPathSize + 256] = "";
  char plugin[kHostPathSize];
  std::snprintf(plugin, sizeof plugin, "%s", gPluginPath);
  MapHostPath(plugin, sizeof plugin);
  if (!LoadPluginModule(plugin, &module, text, sizeof text)) {
    *error = text;
    return modes;
  }
  Terminology terminology;
  if (!ReadTerminology(module.terminology, module.terminologySize, &terminology, text, sizeof text)) {
    *error = text;
  } else {
    // The output mode is the one parameter typed by an enumeration; its items are the modes.
    for (const TerminologyParameter &parameter : terminology.parameters) {
      for (const TerminologyEnumItem &item : terminology.items) {
        uint32_t mode = 0;
        if (item.type == parameter.type && ReadOutputModeCode(item.type, item.value, &mode))
          modes.push_back({item.name, mode});
      }
    }
  }
  UnloadPluginModule(&module);
  return modes;
}

class ModesCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (gPluginPath == nullptr) GTEST_SKIP() << "no plug-in given";
  }
};

// Every mode the terminology names, played by name, paints the harness's picture of the same
// parameters.
TEST_F(ModesCompareTest, EveryOutputModeMatchesTheHarness) {
  std::string error;
  const std::vector<NamedMode> modes = ModesFromTerminology(&error);
  ASSERT_EQ(modes.size(), 14u) << error;
  for (uint32_t i = 0; i < 14; i++) {
    // In the table's order, and named as the plug-in names them everywhere else.
    EXPECT_EQ(modes[i].mode, i + 1) << modes[i].name;
    EXPECT_EQ(modes[i].name, OutputModeName(modes[i].mode));
  }

  for (const NamedMode &m : modes) {
    SCOPED_TRACE(m.name);
    const int32_t width = WidthForMode(m.mode);
    const std::string size = std::to_string(width) + "x" + std::to_string(kHeight);
    const HostPicture picture =
        RunPlugin({"--size", size.c_str(), "--set", "planet size=40", "--mode", m.name.c_str()});
    ASSERT_TRUE(picture.ok) << picture.error;
    // The action reached the parameter block.
    EXPECT_EQ(picture.parameters.planetSize, 40u);
    EXPECT_EQ(picture.parameters.outputMode, m.mode);
    EXPECT_EQ(picture.parameters.cities, 0u);

    const std::string modeSetting = "outputMode=" + std::to_string(m.mode);
    HarnessImage reference;
    ASSERT_TRUE(RenderReference(width, kHeight, 12345, {"planetSize=40", modeSetting.c_str()}, &reference));
    // Without cities the "cities" picture is black; every other mode paints something.
    if (m.mode != 11) {
      EXPECT_GT(LitPixels(reference), 0);
    }
    const PictureDifference d = Compare(picture.image, reference);
    ASSERT_TRUE(d.sameShape) << picture.image.width << "x" << picture.image.height << "x" << picture.image.channels;
    EXPECT_EQ(d.differing, 0) << Describe(d);
    std::printf("[ modes    ] %-16s %s\n", m.name.c_str(), Describe(d).c_str());
  }
}

// With cities: the lights are the planet's, so the harness gives the same ones whatever second
// (the run's, or a day earlier) seeds its shared generator. The globe is lit from the side, so
// that its night half, where the lights show, faces the viewer.
TEST_F(ModesCompareTest, CityLightsMatchWhateverTheClockSeeds) {
  const struct {
    std::vector<const char *> args;
    std::vector<const char *> settings;
    int32_t width;
  } cases[] = {
      {{"--mode", "cities"}, {"outputMode=11"}, 128},
      {{"--mode", "normal", "--set", "light x=1.0", "--set", "light y=0.0", "--set", "light z=0.0"},
       {"outputMode=1", "light=1,0,0"}, 96},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.settings[0]);
    const std::string size = std::to_string(c.width) + "x" + std::to_string(kHeight);
    std::vector<const char *> args = {"--size", size.c_str(), "--set", "planet size=40", "--set", "cities=80"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const HostPicture picture = RunPlugin(args);
    ASSERT_TRUE(picture.ok) << picture.error;
    ASSERT_EQ(picture.parameters.cities, 80u);
    std::vector<const char *> settings = {"planetSize=40", "cities=80"};
    settings.insert(settings.end(), c.settings.begin(), c.settings.end());

    PictureDifference best;
    best.differing = -1;
    for (int64_t second = picture.secondsBefore; second <= picture.secondsAfter; second++) {
      HarnessImage reference;
      ASSERT_TRUE(RenderReference(c.width, kHeight, uint32_t(uint64_t(second)), settings, &reference));
      const PictureDifference d = Compare(picture.image, reference);
      ASSERT_TRUE(d.sameShape);
      if (best.differing < 0 || d.differing < best.differing) best = d;
    }
    EXPECT_EQ(best.differing, 0) << Describe(best);
    std::printf("[ modes    ] %-16s cities=80 %s\n", c.settings[0], Describe(best).c_str());

    // The lights are the planet's, not the clock's: a day earlier, the harness lights the same.
    HarnessImage other;
    ASSERT_TRUE(RenderReference(c.width, kHeight, uint32_t(uint64_t(picture.secondsBefore - 86400)), settings, &other));
    EXPECT_EQ(Compare(picture.image, other).differing, 0);
    // And they are there: without cities the picture is another.
    settings[1] = "cities=0";
    ASSERT_TRUE(RenderReference(c.width, kHeight, uint32_t(uint64_t(picture.secondsBefore)), settings, &other));
    EXPECT_GT(Compare(picture.image, other).differing, 0);
  }
}

// The count is ImageMagick 6's: any one channel more than 2% of 255 off (6 or more at 8 bits)
// makes the pixel differ; a difference of 5 in every channel does not.
TEST(ModesComparePictures, CountsAsCompareWithTwoPercentFuzz) {
  HarnessImage reference;
  reference.width = 4;
  reference.height = 1;
  reference.channels = 3;
  reference.depth = 8;
  reference.samples.assign(12, 100);
  HostImage host;
  MakeHostImage(&host, 4, 1, 3, 1);
  const uint8_t pixels[12] = {100, 100, 100, 105, 105, 105, 100, 106, 100, 94, 100, 100};
  std::memcpy(host.data.data(), pixels, sizeof pixels);
  const PictureDifference d = Compare(host, reference);
  ASSERT_TRUE(d.sameShape);
  EXPECT_EQ(d.differing, 2);
  EXPECT_EQ(d.largest, 6);
  EXPECT_EQ(d.firstX, 2);
}

}  // namespace
