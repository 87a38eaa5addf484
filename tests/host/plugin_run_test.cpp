// plugin_run_test.cpp -- the host running this tree's Kivaglobe plug-in (Windows trees only):
// the result codes an editor sees, the buffer space it is asked for, the parameter block the
// plug-in leaves in the host's keeping, and the memory account at the end of every run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "plugin/parameters.h"
#include "stb_image.h"
#include "tests/host/test_files.h"

extern const char *gPluginPath;

namespace {

// One host session on the plug-in, run from a command line and kept open for inspection.
struct PluginRun {
  PluginModule module = {};
  HostSession *session = nullptr;
  bool loaded = false;
  bool opened = false;
  intptr_t dataSlotAfterRun = -1;
  int status = -1;
  int finishStatus = -1;
  std::string error;
  std::string report;
  std::string reportPath = TempPath("plugin_report.txt");

  explicit PluginRun(std::vector<const char *> args) {
    char plugin[kHostPathSize];
    std::snprintf(plugin, sizeof plugin, "%s", gPluginPath);
    args.insert(args.begin(), {"kivahost", "--plugin", plugin, "--close-dialogs"});
    HostOptions options;
    char text[kHostPathSize + 256] = "";
    EXPECT_TRUE(ParseHostOptions(int(args.size()), args.data(), &options, text, sizeof text)) << text;
    for (char *path : {options.pluginPath, options.inPath, options.outPath, options.maskPath})
      if (path[0] != 0) MapHostPath(path, kHostPathSize);
    loaded = LoadPluginModule(options.pluginPath, &module, text, sizeof text);
    if (!loaded) {
      error = text;
      return;
    }
    FILE *out = std::fopen(reportPath.c_str(), "wb");
    session = new HostSession();
    opened = OpenHostSession(session, options, module, out, text, sizeof text);
    error = text;
    if (opened) {
      status = RunHostSession(session);
      dataSlotAfterRun = session->dataSlot;
      finishStatus = FinishHostSession(session);
    }
    std::fclose(out);
    report = ReadTextFile(reportPath);
  }
  ~PluginRun() {
    if (session != nullptr) {
      CloseHostSession(session);
      delete session;
    }
    UnloadPluginModule(&module);
    std::remove(reportPath.c_str());
  }
  int16_t ResultOf(int16_t selector) const {
    for (const HostCall &c : session->calls)
      if (c.selector == selector) return c.result;
    return 9999;
  }
  std::vector<int16_t> Selectors() const {
    std::vector<int16_t> v;
    for (const HostCall &c : session->calls) v.push_back(c.selector);
    return v;
  }
  const ParameterBlock *Parameters() const {
    HostHandle h = session->record.parameters;
    if (h == nullptr) return nullptr;
    HostBlock *b = FindHandle(&session->memory, h);
    if (b == nullptr || b->size < int32_t(sizeof(ParameterBlock))) return nullptr;
    return reinterpret_cast<const ParameterBlock *>(*h);
  }
};

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
  EXPECT_EQ(run.session->record.parameters, nullptr);
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

TEST_F(PluginRunTest, MultichannelDocuments) {
  {
    // The property list does not enable multichannel: the host does not run the plug-in.
    PluginRun run({"--multichannel", "--size", "4x4"});
    EXPECT_FALSE(run.opened);
    EXPECT_NE(run.error.find("MultichannelMode"), std::string::npos) << run.error;
  }
  {
    // A host that runs it anyway gets a refusal with empty rectangles, and nothing is left.
    PluginRun run({"--multichannel", "--size", "4x4", "--no-mode-check", "--close-dialogs"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorStart), 1);
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{kSelectorPrepare, kSelectorStart}));
    const FilterRecord &r = run.session->record;
    for (const Rect16 &rect : {r.inRect, r.outRect, r.maskRect}) {
      EXPECT_EQ(rect.top, 0);
      EXPECT_EQ(rect.left, 0);
      EXPECT_EQ(rect.bottom, 0);
      EXPECT_EQ(rect.right, 0);
    }
    ExpectNothingLeft(run);
  }
}

// The main road: rows requested one at a time, progress on the specified rows, an abort that
// keeps the rows before it, and every way out of Start and Continue with nothing outstanding.
TEST_F(PluginRunTest, TheRowLoopReportsProgressAndEndsCleanlyOnEveryPath) {
  {
    PluginRun run({"--size", "16x100"});
    ExpectCompleteRun(run);
    EXPECT_EQ(run.session->progressCalls, 4);   // rows 0, 32, 64 and 96
    EXPECT_EQ(run.session->advanceStateCalls, 100);
    EXPECT_EQ(run.session->abortCalls, 3);
  }
  {
    PluginRun run({"--size", "16x200", "--abort-at", "64"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorContinue), -128);
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{kSelectorPrepare, kSelectorStart, kSelectorContinue}));
    EXPECT_TRUE(run.session->abortAnswered);
    EXPECT_LT(run.session->highestRowRequested, 199);
    ExpectNothingLeft(run);
  }
  {
    // The run's image set cannot be made: 999 from Start, and the run is freed.
    PluginRun run({"--size", "64x64", "--refuse-buffers", "12"});
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.ResultOf(kSelectorStart), 999);
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{kSelectorPrepare, kSelectorStart}));
    ExpectNothingLeft(run);
  }
  {
    // Without advanceState Kivaglobe64 refuses the host; Kivaglobe32 renders one row per
    // Continue call.
    PluginRun run({"--size", "8x6", "--no-advance-state", "--close-dialogs"});
    ASSERT_TRUE(run.opened) << run.error;
    if (sizeof(void *) == 8) {
      EXPECT_EQ(run.ResultOf(kSelectorStart), 1);
      EXPECT_LE(run.session->dialogsAnswered, 1);   // 0 where Wine has no display
      ExpectNothingLeft(run);
    } else {
      ExpectCompleteRun(run);
      EXPECT_EQ(run.Selectors().size(), 2u + 6u + 1u);
    }
  }
}

TEST_F(PluginRunTest, OutOfMemoryFailsStartAndLeavesNothingOutstanding) {
  PluginRun run({"--refuse-buffers", "1", "--size", "8x8"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.ResultOf(kSelectorStart), 1);
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{kSelectorPrepare, kSelectorStart}));
  // The plug-in's own fallback was asked and refused too.
  EXPECT_GE(run.session->memory.refusedGlobalAllocs, 1);
  ExpectNothingLeft(run);
}

TEST_F(PluginRunTest, RefusedHostBuffersFallBackToGlobalMemory) {
  PluginRun run({"--refuse-host-buffers", "1", "--size", "8x8"});
  ExpectCompleteRun(run);
  EXPECT_GE(run.session->memory.globalAllocs, 1);
  EXPECT_EQ(run.session->memory.refusedGlobalAllocs, 0);
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
