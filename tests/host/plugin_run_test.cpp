// plugin_run_test.cpp -- the host running this tree's Kivaglobe plug-in (Windows trees only):
// the result codes an editor sees, the buffer space it is asked for, the parameter block the
// plug-in leaves in the host's keeping, and the memory account at the end of every run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "plugin/parameters.h"
#include "stb_image.h"
#include "tests/host/plugin_run.h"
#include "tests/host/test_files.h"

namespace {

class PluginRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (gPluginPath == nullptr) GTEST_SKIP() << "no plug-in given";
  }
};

// Every run ends as an editor expects: no buffer, no global block, and of the handles only the
// parameters handle, which the host keeps.
void ExpectNothingLeft(const PluginRun &run) {
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.finishStatus, kHostStatusOk) << run.report;
  EXPECT_EQ(OutstandingBuffers(run.session->memory), 0);
  EXPECT_EQ(OutstandingGlobalBlocks(run.session->memory), 0);
  EXPECT_EQ(run.session->memory.badCalls, 0);
  EXPECT_EQ(OutstandingHandles(run.session->memory), run.session->record.parameters != nullptr ? 1 : 0);
  EXPECT_NE(run.report.find("Outstanding buffers: 0\n"), std::string::npos) << run.report;
  EXPECT_NE(run.report.find("Outstanding global blocks: 0\n"), std::string::npos) << run.report;
}

// A full run: every selector returned 0, Finish was called, the request came back empty.
void ExpectCompleteRun(const PluginRun &run) {
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.status, kHostStatusOk) << run.report;
  for (const HostCall &c : run.session->calls) EXPECT_EQ(c.result, 0) << "selector " << c.selector;
  ASSERT_FALSE(run.session->calls.empty());
  EXPECT_EQ(run.session->calls.back().selector, kSelectorFinish);
  EXPECT_FALSE(run.session->continueLimitHit);
  ExpectNothingLeft(run);
}

TEST_F(PluginRunTest, AboutAloneLeavesTheDataSlotAndParametersAlone) {
  PluginRun run({"--about"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.Selectors(), std::vector<int16_t>{kSelectorAbout});
  EXPECT_EQ(run.ResultOf(kSelectorAbout), 0);
  EXPECT_EQ(run.dataSlotAfterRun, 0);
  EXPECT_EQ(HostHandle(run.session->record.parameters), nullptr);
  EXPECT_EQ(run.session->memory.handleSerial, 0);   // not a single handle was made
  ExpectNothingLeft(run);
}

TEST_F(PluginRunTest, FullRunsAskForTheBufferSpaceOfTheirRectangle) {
  {
    PluginRun run({"--size", "1x1"});
    ExpectCompleteRun(run);
    EXPECT_EQ(run.session->bufferSpace, 473504);
    EXPECT_NE(run.report.find("bufferSpace: 473504\n"), std::string::npos) << run.report;
  }
  {
    PluginRun run({"--size", "5000x100"});
    ExpectCompleteRun(run);
    EXPECT_EQ(run.session->bufferSpace, 3712856);
  }
}

// The block the plug-in leaves in the host's parameters handle after a first run holds the
// values of a new block.
TEST_F(PluginRunTest, TheParameterBlockHoldsTheDefaults) {
  PluginRun run({"--size", "5000x100"});
  ExpectCompleteRun(run);
  const ParameterBlock *p = run.Parameters();
  ASSERT_NE(p, nullptr);

  const float lightZ = float(std::sqrt(1.0 - double(-0.68f * -0.68f) - double(-0.68f * -0.68f)));
  // One line per field: name, value found, value expected.
  auto check = [](const char *field, double actual, double expected) { EXPECT_EQ(actual, expected) << field; };
  check("formatFlag", p->formatFlag, 1);
  check("optionFlagA", p->optionFlagA, 1);
  check("optionFlagB", p->optionFlagB, 1);
  check("previewOff", p->previewOff, 0);
  check("lightVector[0]", p->lightVector[0], -0.68f);
  check("lightVector[1]", p->lightVector[1], -0.68f);
  check("lightVector[2]", p->lightVector[2], lightZ);
  check("axisVector[0]", p->axisVector[0], 0);
  check("axisVector[1]", p->axisVector[1], -1);
  check("axisVector[2]", p->axisVector[2], 0);
  check("outputMode", p->outputMode, 1);
  check("zoomDivisor", p->zoomDivisor, 1);
  check("renderTarget", p->renderTarget, 0);
  check("spareSetting", p->spareSetting, 1);
  check("spareWordA", p->spareWordA, -1);
  check("spareWordB", p->spareWordB, -1);
  check("randomSeed", p->randomSeed, 21);
  check("halfWidth", p->halfWidth, 2500);
  check("halfHeight", p->halfHeight, 50);
  check("centerX", p->centerX, 0.5);
  check("centerY", p->centerY, 0.5);
  check("landColor.red", p->landColor.red, 0x3B1C);
  check("landColor.green", p->landColor.green, 0x42D1);
  check("landColor.blue", p->landColor.blue, 0x9CC5);
  check("airColor.red", p->airColor.red, 0x6BF0);
  check("airColor.green", p->airColor.green, 0x8311);
  check("airColor.blue", p->airColor.blue, 0x9CC5);
  check("seaColor.red", p->seaColor.red, 0x0CD9);
  check("seaColor.green", p->seaColor.green, 0x1721);
  check("seaColor.blue", p->seaColor.blue, 0x47F5);
  check("desertColor.red", p->desertColor.red, 0xE3E3);
  check("desertColor.green", p->desertColor.green, 0xC8C8);
  check("desertColor.blue", p->desertColor.blue, 0x9191);
  check("iceColor.red", p->iceColor.red, 0xE1E1);
  check("iceColor.green", p->iceColor.green, 0xE3E3);
  check("iceColor.blue", p->iceColor.blue, 0xEFEF);
  check("cloudColor.red", p->cloudColor.red, 0xFFFF);
  check("cloudColor.green", p->cloudColor.green, 0xFFFF);
  check("cloudColor.blue", p->cloudColor.blue, 0xFFFF);
  check("cityColor.red", p->cityColor.red, 0x70A3);
  check("cityColor.green", p->cityColor.green, 0x6147);
  check("cityColor.blue", p->cityColor.blue, 0x3333);
  check("airDepth", p->airDepth, 33);
  check("cloudHeight", p->cloudHeight, 50);
  check("cloudShadows", p->cloudShadows, 80);
  check("sunset", p->sunset, 80);
  check("planetSize", p->planetSize, 65);
  check("landComplexity", p->landComplexity, 57);
  check("reliefSetting", p->reliefSetting, 0);
  check("stormSize", p->stormSize, 30);
  check("stormCount", p->stormCount, 4);
  check("stormSwirl", p->stormSwirl, 50);
  check("airBrightness", p->airBrightness, 33);
  check("realClouds", p->realClouds, 0);
  check("backlighting", p->backlighting, 0);
  check("realLuna", p->realLuna, 0);
  check("seaLevel", p->seaLevel, 50);
  check("desert", p->desert, 50);
  check("craterCount", p->craterCount, 40);
  check("craterSize", p->craterSize, 50);
  check("craterTexture", p->craterTexture, 50);
  check("landTexture", p->landTexture, 50);
  check("cloudCoverage", p->cloudCoverage, 50);
  check("cloudEdges", p->cloudEdges, 50);
  check("cloudSetting", p->cloudSetting, 4);
  check("cities", p->cities, 0);
  check("cloudViscosity", p->cloudViscosity, 57);
  check("cloudCoriolis", p->cloudCoriolis, 100);
  check("lunarClimate", p->lunarClimate, 0);
  check("ice", p->ice, 20);
  check("cloudTexture", p->cloudTexture, 50);
  check("cloudImage", p->cloudImage, 0);
  check("spareWordC", p->spareWordC, 0);
  EXPECT_NEAR(p->lightVector[2], 0.2742261, 1e-7);
  EXPECT_STREQ(p->settingsName, "Kivaglobe settings.q1q");
  EXPECT_STREQ(p->controlText1, "");
  EXPECT_STREQ(p->controlText2, "");
  EXPECT_STREQ(p->controlText3, "");
  EXPECT_NE(p->globals, nullptr);
}

TEST_F(PluginRunTest, AnUnknownSelectorIsRefusedButTheParametersExist) {
  PluginRun run({"--selector", "6", "--size", "2x2"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.ResultOf(6), kResultBadSelector);
  EXPECT_NE(run.report.find("Selector 6: -30100\n"), std::string::npos) << run.report;
  ASSERT_NE(run.Parameters(), nullptr);
  EXPECT_EQ(run.Parameters()->randomSeed, 21u);
  ExpectNothingLeft(run);
}

TEST_F(PluginRunTest, TheHostDoesNotRunThePluginOnAMultichannelDocument) {
  // The property list does not enable multichannel (a host that runs it anyway is one of the
  // exit paths below).
  PluginRun run({"--multichannel", "--size", "4x4"});
  EXPECT_FALSE(run.opened);
  EXPECT_NE(run.error.find("MultichannelMode"), std::string::npos) << run.error;
}

// The main road: rows requested one at a time, progress on row 0 and every 32nd row, the abort
// asked every 32nd row, and an abort that keeps the rows before it and touches none after.
TEST_F(PluginRunTest, TheRowLoopReportsProgressAndKeepsTheRowsBeforeAnAbort) {
  // The default planet, without city lights (whose draws are seeded from the clock): two runs
  // paint the same rows.
  HostImage complete;
  {
    PluginRun run({"--size", "16x100"});
    ExpectCompleteRun(run);
    EXPECT_EQ(run.session->progressDone, (std::vector<int32_t>{0, 32, 64, 96}));
    EXPECT_EQ(run.session->advanceStateCalls, 100);
    EXPECT_EQ(run.session->abortCalls, 3);
    complete = run.session->destination;
  }
  {
    PluginRun run({"--size", "16x100", "--abort-at", "64"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorContinue), kResultUserCanceled);
    EXPECT_TRUE(run.session->abortAnswered);
    // Asked after rows 31, 63 (no: row 64 not yet requested) and 95 (yes): rows 0..95 are
    // those of the complete run, the others are still the document's.
    EXPECT_EQ(run.session->abortCalls, 3);
    EXPECT_EQ(run.session->highestRowRequested, 95);
    const HostImage &after = run.session->destination;
    for (int32_t y = 0; y < 100; y++) {
      const HostImage &expected = y <= 95 ? complete : run.session->source;
      EXPECT_EQ(std::memcmp(HostImagePixel(expected, 0, y), HostImagePixel(after, 0, y), HostImageRowBytes(after)), 0)
          << "row " << y;
    }
    ExpectNothingLeft(run);
  }
}

// The resource balance: every way out of Start and Continue frees the run, empties the request
// rectangles, keeps its result code, and leaves no buffer, no global block and no handle but
// the parameters.
TEST_F(PluginRunTest, EveryExitPathLeavesNothingOutstanding) {
  constexpr int16_t kNoCall = 9999;
  const bool refusesHost = kRefusesHostWithoutAdvanceState;
  const struct {
    const char *what;
    std::vector<const char *> args;
    int16_t start;   // Start's result
    int16_t cont;    // the last Continue's result; kNoCall when none is made
  } paths[] = {
      {"a complete run", {"--size", "8x8"}, 0, 0},
      {"an abort", {"--size", "8x40", "--abort-at", "0"}, 0, kResultUserCanceled},
      {"a multichannel refusal", {"--size", "4x4", "--multichannel", "--no-mode-check"}, 1, kNoCall},
      {"a host without advanceState", {"--size", "8x6", "--no-advance-state"}, int16_t(refusesHost ? 1 : 0),
       int16_t(refusesHost ? kNoCall : 0)},
      {"the first buffer refused", {"--size", "8x8", "--refuse-buffers", "1"}, kResultMemFull, kNoCall},
      {"host buffers refused", {"--size", "8x8", "--refuse-host-buffers", "1"}, 0, 0},
      {"advanceState failing at Start", {"--size", "8x8", "--advance-error", "1:-36"}, -36, kNoCall},
      {"advanceState failing mid-run", {"--size", "8x40", "--advance-error", "5"}, 0, -108},
  };
  for (const auto &path : paths) {
    SCOPED_TRACE(path.what);
    PluginRun run(path.args);
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorStart), path.start) << run.report;
    int16_t lastContinue = kNoCall;
    int32_t continues = 0;
    for (const HostCall &c : run.session->calls)
      if (c.selector == kSelectorContinue) {
        lastContinue = c.result;
        continues++;
      }
    EXPECT_EQ(lastContinue, path.cont) << run.report;
    const bool success = path.start == 0 && path.cont == 0;
    const int16_t last = success ? kSelectorFinish : (path.cont == kNoCall ? kSelectorStart : kSelectorContinue);
    EXPECT_EQ(run.Selectors().back(), last);
    // A host without advanceState gets one row per Continue; with it, one Continue does all.
    if (success) {
      EXPECT_EQ(continues, run.session->options.noAdvanceState ? 6 : 1);
    }
    const FilterRecord &r = run.session->record;
    for (const Rect16 &rect : {r.inRect, r.outRect, r.maskRect})
      EXPECT_TRUE(rect.top == 0 && rect.left == 0 && rect.bottom == 0 && rect.right == 0);
    EXPECT_LE(run.session->dialogsAnswered, path.start == 1 ? 1 : 0);   // a refusal box; none where Wine has no display
    ExpectNothingLeft(run);
    if (run.session->options.refuseBuffersFrom == 1) {
      EXPECT_GE(run.session->memory.refusedGlobalAllocs, 1);
    }
    if (run.session->options.refuseHostBuffersFrom == 1) {
      EXPECT_GE(run.session->memory.globalAllocs, 1);
      EXPECT_EQ(run.session->memory.refusedGlobalAllocs, 0);
    }
  }
}

// Out of memory from every allocation of a run in turn: each refusal ends the run with -108
// (the host's own out-of-memory code, so that the host says it: the run buffers, the work
// image) or, past the run's last allocation, not at all; none leaves anything behind, and no
// refusal ends it with 1, which tells the host that the user has been told when nobody has.
// Oracle: the host interface's result codes; the first nine requests are the run buffers.
TEST_F(PluginRunTest, RefusingEachAllocationInTurnLeavesNothingOutstanding) {
  int32_t allocations = 0;
  {
    PluginRun run({"--size", "8x8"});
    ExpectCompleteRun(run);
    allocations = run.session->memory.bufferRequests;
  }
  ASSERT_GT(allocations, 2);
  int32_t workImageFailures = 0;
  for (int32_t n = 1; n <= allocations + 1; n++) {
    std::string from = std::to_string(n);
    SCOPED_TRACE("refused from allocation " + from);
    PluginRun run({"--size", "8x8", "--refuse-buffers", from.c_str()});
    ASSERT_TRUE(run.opened) << run.error;
    const int16_t start = run.ResultOf(kSelectorStart);
    EXPECT_TRUE(start == 0 || start == kResultMemFull) << start;
    if (n <= 9) {
      EXPECT_EQ(start, kResultMemFull) << run.report;
    }
    if (start == kResultMemFull) {
      workImageFailures++;
      EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{kSelectorPrepare, kSelectorStart}));
    }
    if (n > allocations) {
      EXPECT_EQ(run.session->calls.back().selector, kSelectorFinish);
    }
    ExpectNothingLeft(run);
  }
  EXPECT_GE(workImageFailures, 1);
}

TEST_F(PluginRunTest, EveryDocumentKindRunsAndIsWrittenOut) {
  const struct {
    std::vector<const char *> args;
    int channels;
    bool sixteen;
  } kinds[] = {
      {{"--size", "6x4"}, 3, false},
      {{"--size", "6x4", "--gray"}, 1, false},
      {{"--size", "6x4", "--depth", "16"}, 3, true},
      {{"--size", "6x4", "--gray", "--depth", "16", "--mask", "ellipse"}, 1, true},
  };
  std::string png = TempPath("plugin_out.png");
  for (const auto &kind : kinds) {
    std::vector<const char *> args = kind.args;
    args.push_back("--out");
    args.push_back(png.c_str());
    PluginRun run(args);
    ExpectCompleteRun(run);
    ASSERT_TRUE(run.session->outputWritten);
    int w = 0, h = 0, c = 0;
    ASSERT_TRUE(stbi_info(png.c_str(), &w, &h, &c));
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(c, kind.channels);
    EXPECT_EQ(stbi_is_16_bit(png.c_str()) != 0, kind.sixteen);
    std::remove(png.c_str());
  }
}

// A selection: the planet lands inside it only; outside, the picture is as it was.
TEST_F(PluginRunTest, TheSelectionKeepsThePlanetInsideIt) {
  HostImage picture;
  MakeHostImage(&picture, 16, 12, 3, 1);
  for (size_t i = 0; i < picture.data.size(); i++) picture.data[i] = uint8_t(100 + i % 37);
  std::string in = TempPath("plugin_in.png");
  char error[512];
  ASSERT_TRUE(SaveHostImagePng(picture, in.c_str(), error, sizeof error)) << error;
  PluginRun run({"--in", in.c_str(), "--mask", "ellipse"});
  ExpectCompleteRun(run);
  HostImage mask;
  MakeEllipseMask(16, 12, &mask);
  int32_t changedInside = 0;
  for (int32_t y = 0; y < 12; y++)
    for (int32_t x = 0; x < 16; x++) {
      const bool changed = std::memcmp(HostImagePixel(picture, x, y), HostImagePixel(run.session->destination, x, y), 3) != 0;
      if (mask.data[size_t(y * 16 + x)] == 0)
        EXPECT_FALSE(changed) << x << "," << y;
      else
        changedInside += changed;
    }
  EXPECT_GT(changedInside, 0);
  std::remove(in.c_str());
}

TEST_F(PluginRunTest, TheProgramTakesAbsoluteUnixPaths) {
  // RunHost maps "/..." paths to Wine's drive; the argument is the tree's Unix path.
  std::string png = "/tmp/kv_host_cli_out.png";
  std::remove(("Z:" + png).c_str());
  const char *args[] = {"kivahost", "--plugin", gPluginPath, "--size", "3x2", "--out", png.c_str()};
  EXPECT_EQ(RunHost(7, args), kHostStatusOk);
  int w = 0, h = 0, c = 0;
  EXPECT_TRUE(stbi_info(("Z:" + png).c_str(), &w, &h, &c));
  EXPECT_EQ(w, 3);
  std::remove(("Z:" + png).c_str());
}

TEST_F(PluginRunTest, AModuleWithoutAPropertyListIsRefused) {
  PluginModule module;
  char error[512];
  ASSERT_TRUE(LoadPluginModule("kernel32.dll", &module, error, sizeof error)) << error;
  HostOptions options;
  DefaultHostOptions(&options);
  HostSession *session = new HostSession();
  EXPECT_FALSE(OpenHostSession(session, options, module, stdout, error, sizeof error));
  EXPECT_NE(std::string(error).find("no property list"), std::string::npos) << error;
  CloseHostSession(session);
  delete session;
  UnloadPluginModule(&module);
}

}  // namespace
