// real_host_run_test.cpp -- this tree's plug-in in the stand-in host playing what real editors
// do (Windows trees): a GetHandleSize of 0, Finish after a failed run, "repeat last filter"
// with the handles restored from their bytes, other host signatures, a transparent layer
// (filter cases 4 and 5) and a host that stores preview output. Each run must paint the same
// default planet as a plain run and leave nothing outstanding.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "tests/host/plugin_run.h"
#include "tests/host/test_files.h"

namespace {

class RealHostRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (gPluginPath == nullptr) GTEST_SKIP() << "no plug-in given";
  }
};

std::vector<const char *> With(std::vector<const char *> args, std::vector<const char *> more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void ExpectNothingOutstanding(const PluginRun &run) {
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.finishStatus, kHostStatusOk) << run.report;
  EXPECT_EQ(OutstandingBuffers(run.session->memory), 0);
  EXPECT_EQ(OutstandingGlobalBlocks(run.session->memory), 0);
  EXPECT_EQ(run.session->memory.badCalls, 0);
  EXPECT_EQ(OutstandingHandles(run.session->memory), HostHandle(run.session->record.parameters) != nullptr ? 1 : 0);
}

std::vector<int16_t> Results(const PluginRun &run) {
  std::vector<int16_t> v;
  for (const HostCall &c : run.session->calls) v.push_back(c.result);
  return v;
}

constexpr int16_t P = kSelectorPrepare, S = kSelectorStart, C = kSelectorContinue, F = kSelectorFinish;

TEST_F(RealHostRunTest, EveryEditorBehaviourPaintsTheDefaultPlanet) {
  const std::vector<const char *> document = {"--size", "48x40"};
  PluginRun plain(document);
  ASSERT_TRUE(plain.opened) << plain.error;
  ASSERT_EQ(plain.status, kHostStatusOk) << plain.report;
  // The planet is there: the centre is lit, the corner is the black canvas.
  const HostImage &reference = plain.session->destination;
  EXPECT_GT(int(HostImagePixel(reference, 24, 20)[2]), 0);
  EXPECT_EQ(int(HostImagePixel(reference, 0, 0)[0]), 0);

  const std::vector<std::vector<const char *>> behaviours = {
      {"--handle-size-zero"},   {"--finish-after-error"}, {"--repeat"},
      {"--host-sig", "PSP9"},   {"--host-sig", "8ELE"},   {"--host-sig", "PSP8"},
      {"--host-sig", "XYZW"},   {"--store-preview-output"}, {"--repeat", "--handle-size-zero"},
  };
  for (const auto &behaviour : behaviours) {
    std::string name;
    for (const char *a : behaviour) name += std::string(a) + " ";
    SCOPED_TRACE(name);
    PluginRun run(With(document, behaviour));
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.status, kHostStatusOk) << run.report;
    for (int16_t result : Results(run)) EXPECT_EQ(result, 0);
    EXPECT_EQ(run.session->destination.data, reference.data);
    ExpectNothingOutstanding(run);
  }
}

// Some editors answer GetHandleSize with 0 for their own handles: the plug-in keeps its block
// (no handle beyond the globals, the parameters and Finish's descriptor is made) and the run
// Start began is the one Continue renders.
TEST_F(RealHostRunTest, AHandleSizeOfZeroMakesNoNewBlocks) {
  PluginRun plain({"--size", "20x10"});
  PluginRun zero({"--size", "20x10", "--handle-size-zero"});
  ASSERT_TRUE(zero.opened) << zero.error;
  EXPECT_EQ(zero.Selectors(), (std::vector<int16_t>{P, S, C, F}));
  EXPECT_EQ(Results(zero), (std::vector<int16_t>{0, 0, 0, 0}));
  EXPECT_EQ(zero.session->memory.handleSerial, plain.session->memory.handleSerial);
  EXPECT_EQ(zero.session->advanceStateCalls, plain.session->advanceStateCalls);
  ExpectNothingOutstanding(zero);
}

// Finish after an abort or a failed advanceState: the plug-in records its parameters and holds
// nothing of the run it has ended.
TEST_F(RealHostRunTest, FinishAfterAFailedRunLeavesNothingOutstanding) {
  const std::string record = TempPath("finish_after_error.txt");
  const struct {
    std::vector<const char *> args;
    int16_t continueResult;
  } cases[] = {
      {{"--size", "8x40", "--abort-at", "0", "--finish-after-error", "--record", record.c_str()}, kResultUserCanceled},
      {{"--size", "8x40", "--advance-error", "5", "--finish-after-error", "--record", record.c_str()}, kResultMemFull},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.continueResult);
    PluginRun run(c.args);
    ASSERT_TRUE(run.opened) << run.error;
    EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{P, S, C, F}));
    EXPECT_EQ(Results(run), (std::vector<int16_t>{0, 0, c.continueResult, 0}));
    EXPECT_EQ(run.status, kHostStatusPluginError);
    EXPECT_NE(run.report.find("Recorded: 59 keys"), std::string::npos) << run.report;
    ExpectNothingOutstanding(run);
  }
  std::remove(record.c_str());
}

// "Repeat last filter": the second run gets new handles holding the old bytes and the
// descriptor the first Finish recorded, played silently.
TEST_F(RealHostRunTest, RepeatRunsAgainFromRestoredHandles) {
  PluginRun run({"--size", "24x16", "--repeat", "--set", "planet size=40"});
  ASSERT_TRUE(run.opened) << run.error;
  EXPECT_EQ(run.Selectors(), (std::vector<int16_t>{P, S, C, F, P, S, C, F}));
  EXPECT_EQ(Results(run), (std::vector<int16_t>(8, 0)));
  EXPECT_NE(run.report.find("Repeat:\n"), std::string::npos) << run.report;
  const ParameterBlock *p = run.Parameters();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->planetSize, 40u);   // the recorded value, read back by the second Start
  ExpectNothingOutstanding(run);
}

// A layer with editable transparency: four planes, the last the layer's alpha. The normal
// mode paints the whole layer opaque with the planet a flat document gets; the composite mode
// leaves space clear, so that the layer shows what lies under it.
TEST_F(RealHostRunTest, ATransparentLayerGetsThePlanetAndItsAlpha) {
  PluginRun plain({"--size", "48x40"});
  ASSERT_TRUE(plain.opened) << plain.error;
  const HostImage &flat = plain.session->destination;
  for (bool selection : {false, true}) {
    for (bool composite : {false, true}) {
      SCOPED_TRACE(std::string(selection ? "selection " : "") + (composite ? "composite" : "normal"));
      std::vector<const char *> args = {"--size", "48x40", "--transparent"};
      if (selection) args = With(args, {"--mask", "ellipse"});
      if (composite) args = With(args, {"--mode", "composite"});
      PluginRun run(args);
      ASSERT_TRUE(run.opened) << run.error;
      EXPECT_EQ(run.status, kHostStatusOk) << run.report;
      const FilterRecord &r = run.session->record;
      EXPECT_EQ(r.filterCase, selection ? kFilterCaseEditableTransparencyWithSelection
                                        : kFilterCaseEditableTransparencyNoSelection);
      EXPECT_EQ(r.planes, 4);
      const HostImage &d = run.session->destination;
      ASSERT_EQ(d.channels, 4);
      EXPECT_EQ(int(HostImagePixel(d, 24, 20)[3]), 255);
      EXPECT_GT(int(HostImagePixel(d, 24, 20)[2]), 0);
      if (!composite) {
        int32_t differ = 0;
        for (int32_t y = 0; y < 40; y++)
          for (int32_t x = 0; x < 48; x++) differ += std::memcmp(HostImagePixel(d, x, y), HostImagePixel(flat, x, y), 3) != 0;
        EXPECT_EQ(differ, 0);
      }
      // The corner is outside the selection's ellipse: there the layer stays as it was, clear.
      EXPECT_EQ(int(HostImagePixel(d, 0, 0)[3]), composite || selection ? 0 : 255);
      ExpectNothingOutstanding(run);
    }
  }
}

}  // namespace
