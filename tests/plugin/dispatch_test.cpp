// The dispatcher as a host sees it: result codes, what each selector makes and leaves behind,
// Prepare's buffer space, and the end of every run with nothing outstanding.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/dispatch.h"
#include "plugin/host_memory.h"
#include "plugin/rect16.h"
#include "tests/plugin/fake_host.h"

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHostInit(&host, 640, 480);
    pointersBefore = OutstandingPointers();
  }
  void TearDown() override {
    FakeHostRelease(&host);
    SetNewPointerLimit(-1);
    EXPECT_EQ(OutstandingPointers(), pointersBefore);
  }
  // Only the two handles the host keeps for the plug-in: the globals and the parameters.
  void ExpectOnlyTheTwoKeptHandles() {
    EXPECT_EQ(host.liveHandles.size(), 2u);
    EXPECT_TRUE(host.liveHandles.count(reinterpret_cast<HostHandle>(host.dataSlot)));
    EXPECT_TRUE(host.liveHandles.count(HostHandle(host.record.parameters)));
    EXPECT_TRUE(host.liveBuffers.empty());
  }
  FakeHost host;
  int32_t pointersBefore = 0;
};

TEST_F(DispatchTest, AboutTouchesNeitherTheDataSlotNorTheParameters) {
  host.result = 55;
  EXPECT_EQ(FakeHostCall(&host, kSelectorAbout), kResultOk);
  EXPECT_EQ(host.dataSlot, 0);
  EXPECT_EQ(HostHandle(host.record.parameters), nullptr);
  EXPECT_EQ(host.handleCalls, 0);
}

TEST_F(DispatchTest, UnknownSelectorsAreRefusedButTheBlockIsMade) {
  for (int16_t selector : {int16_t(6), int16_t(-1), int16_t(300)}) {
    FakeHostRelease(&host);
    FakeHostInit(&host, 64, 64);
    EXPECT_EQ(FakeHostCall(&host, selector), kResultBadSelector) << selector;
    ASSERT_NE(FakeHostParameters(&host), nullptr);
    EXPECT_EQ(FakeHostParameters(&host)->randomSeed, 21u);
    EXPECT_NE(host.dataSlot, 0);
    ExpectOnlyTheTwoKeptHandles();
  }
}

TEST_F(DispatchTest, EveryCallStartsWithAClearResultWord) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  host.result = -4711;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
}

TEST_F(DispatchTest, FirstParametersCallIsRecordedAndTheDialogAskedFor) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  EXPECT_EQ(FakeHostGlobals(&host)->firstParametersCall, 1);
  EXPECT_EQ(FakeHostParameters(&host)->showDialog, 1u);
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  EXPECT_EQ(FakeHostGlobals(&host)->firstParametersCall, 0);
}

TEST_F(DispatchTest, NewGlobalsStartClearedWhateverTheHostMemoryHeld) {
  // The fake host fills new handles with 0xA5; a first call that is not Parameters must not
  // leave firstParametersCall (or anything else) set from that garbage.
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  PluginGlobals *g = FakeHostGlobals(&host);
  EXPECT_EQ(g->firstParametersCall, 0);
  EXPECT_EQ(g->runState, nullptr);
  EXPECT_EQ(g->undoSlot, 0);
  EXPECT_EQ(g->filterWidth, 0);
  EXPECT_EQ(g->resultPtr, &host.result);
  EXPECT_EQ(g->filterRecord, &host.record);
  EXPECT_EQ(FakeHostParameters(&host)->globals, g);
}

TEST_F(DispatchTest, NoGlobalsHandleMeansOutOfMemoryAndNothingRuns) {
  host.refuseHandlesFrom = 1;
  host.record.bufferSpace = 12345;
  EXPECT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultMemFull);
  EXPECT_EQ(host.dataSlot, 0);
  EXPECT_EQ(HostHandle(host.record.parameters), nullptr);
  EXPECT_EQ(host.record.bufferSpace, 12345);
}

TEST_F(DispatchTest, NoParameterBlockMeansOutOfMemoryAndNoHandlerRuns) {
  host.refuseHandlesFrom = 2;
  host.record.bufferSpace = 12345;
  EXPECT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultMemFull);
  EXPECT_NE(host.dataSlot, 0);
  EXPECT_EQ(HostHandle(host.record.parameters), nullptr);
  EXPECT_EQ(host.record.bufferSpace, 12345);
  // Once the host has memory again, the next call makes the block.
  host.refuseHandlesFrom = 0;
  EXPECT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, ANewBlockHoldsItsCreationValuesAndTheDefaults) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  const ParameterBlock *p = FakeHostParameters(&host);
  EXPECT_EQ(p->showDialog, 0u);
  EXPECT_EQ(p->formatFlag, 1);
  EXPECT_EQ(p->optionFlagA, 1);
  EXPECT_EQ(p->optionFlagB, 1);
  EXPECT_EQ(p->livePreview, 0);
  EXPECT_EQ(p->previewOff, 0);
  EXPECT_EQ(p->spareWordA, -1);
  EXPECT_EQ(p->spareWordB, -1);
  EXPECT_EQ(p->spareSetting, 1u);
  EXPECT_EQ(p->spareWordC, 0u);
  EXPECT_EQ(p->zoomDivisor, 1u);
  EXPECT_EQ(p->renderTarget, 0u);
  EXPECT_EQ(p->outputMode, 1u);
  EXPECT_STREQ(p->settingsName, "Kivaglobe settings.q1q");
  EXPECT_STREQ(p->controlText1, "");
  EXPECT_STREQ(p->controlText2, "");
  EXPECT_STREQ(p->controlText3, "");
  // Fields without a value of their own start empty, not with the host's garbage.
  EXPECT_STREQ(p->settingsFolder, "");
  EXPECT_STREQ(p->psdName, "");
  EXPECT_EQ(p->cloudCacheLoaded, 0);
  EXPECT_EQ(p->spareColor.red, 0);
  EXPECT_EQ(p->landColor.red, 0x3B1C);
  EXPECT_EQ(p->planetSize, 65u);
}

TEST_F(DispatchTest, AnUndersizedParametersHandleIsReplacedByADefaultBlock) {
  HostHandle small = FakeHostNewHandle(&host, 100);
  host.record.parameters = small;
  std::memset(*small, 0, 100);
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  // The small block was given back and a new one made (the host may hand out the same address).
  EXPECT_EQ(host.handleDisposals, 1);
  EXPECT_EQ(host.handleCalls, 3);   // the small block, the globals, the new block
  EXPECT_EQ(HostGetHandleSize(&host.handleProcs, host.record.parameters), int32_t(sizeof(ParameterBlock)));
  EXPECT_EQ(FakeHostParameters(&host)->randomSeed, 21u);
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, AParametersHandleOfTheRightSizeIsKept) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  HostHandle kept = host.record.parameters;
  FakeHostParameters(&host)->randomSeed = 1999;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  EXPECT_EQ(HostHandle(host.record.parameters), kept);
  EXPECT_EQ(FakeHostParameters(&host)->randomSeed, 1999u);
}

struct SpaceCase {
  int width, height;
  int32_t columns, bufferSpace;
};

class PrepareSpaceTest : public DispatchTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(PrepareSpaceTest, AsksForTheRowBufferAndTheSmallBuffers) {
  const SpaceCase &c = GetParam();
  FakeHostInit(&host, c.width, c.height);
  host.record.filterRect = Rect16{3, 2, int16_t(3 + c.height), int16_t(2 + c.width)};
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  EXPECT_EQ(host.record.bufferSpace, c.bufferSpace);
  PluginGlobals *g = FakeHostGlobals(&host);
  EXPECT_EQ(g->rowBufferColumns, c.columns);
  EXPECT_EQ(g->bufferSizes[kRowBufferSizeIndex], c.columns * 216);
  EXPECT_TRUE(EqualRect16(&g->savedFilterRect, &host.record.filterRect));
  EXPECT_EQ(g->rectWidth, c.width);
  EXPECT_EQ(g->rectHeight, c.height);
  const ParameterBlock *p = FakeHostParameters(&host);
  EXPECT_EQ(p->halfWidth, uint32_t(c.width / 2));
  EXPECT_EQ(p->halfHeight, uint32_t(c.height / 2));
  EXPECT_EQ(p->zoomDivisor, 1u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PrepareSpaceTest,
                         ::testing::Values(SpaceCase{1, 1, 2187, 473504}, SpaceCase{5000, 100, 17184, 3712856},
                                           SpaceCase{100, 5000, 10008, 2162840}));

TEST_F(DispatchTest, AFullRunSucceedsAndEndsWithNothingOutstanding) {
  host.record.inRect = Rect16{0, 0, 1, 1};
  std::vector<int16_t> results = FakeHostRun(&host);
  // Prepare, Start, one Continue (advanceState delivers every row inside it), Finish.
  EXPECT_EQ(results, (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.outRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.maskRect));
  // Row buffer, 32-byte buffer, six 16-byte buffers, the RunState and the work image's tiles
  // were asked for, and all of them freed.
  EXPECT_GT(host.bufferRequests.size(), 9u);
  EXPECT_EQ(size_t(host.bufferFrees), host.bufferRequests.size());
  PluginGlobals *g = FakeHostGlobals(&host);
  EXPECT_EQ(g->filterWidth, 640);
  EXPECT_EQ(g->filterHeight, 480);
  EXPECT_EQ(g->runState, nullptr);
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, StartSetsTheRunFieldsOfTheBlock) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ParameterBlock *p = FakeHostParameters(&host);
  std::strcpy(p->settingsFolder, "C:\\presets");
  std::strcpy(p->psdName, "layers.psd");
  std::strcpy(p->sourceFolder, "C:\\queue");
  p->cloudImageOverride = 7;
  p->cloudCacheLoaded = 1;
  p->exportSizeMode = 0;
  p->exportOptions[4] = 77;
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_STREQ(p->settingsFolder, "");
  EXPECT_STREQ(p->psdName, "");
  EXPECT_STREQ(p->sourceFolder, "");
  EXPECT_EQ(p->cloudImageOverride, -1);
  EXPECT_EQ(p->cloudCacheLoaded, 0);
  EXPECT_EQ(p->exportSizeMode, 3u);
  EXPECT_EQ(p->exportOptions[4], 77u);   // no first Parameters call: the options stay
  EXPECT_EQ(FakeHostGlobals(&host)->textureSize, 512);
  EXPECT_EQ(p->livePreview, 1);
}

TEST_F(DispatchTest, TheFirstStartAfterAFirstParametersCallSetsTheExportOptions) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ParameterBlock *p = FakeHostParameters(&host);
  for (uint32_t &option : p->exportOptions) option = 9;
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_EQ(p->exportOptions[0], 0u);
  EXPECT_EQ(p->exportOptions[1], 0u);
  EXPECT_EQ(p->exportOptions[2], 1u);
  EXPECT_EQ(p->exportOptions[3], 100u);
  EXPECT_EQ(p->exportOptions[4], 100u);
  EXPECT_EQ(FakeHostGlobals(&host)->firstParametersCall, 0);
  // The next run starts from the options as they are.
  p->exportOptions[0] = 5;
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_EQ(p->exportOptions[0], 5u);
}

TEST_F(DispatchTest, LivePreviewNeedsAdvanceStateDisplayPixelsAndNoPreviewOff) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  host.record.displayPixels = nullptr;
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_EQ(FakeHostParameters(&host)->livePreview, 0);
}

TEST_F(DispatchTest, AMultichannelImageIsRefusedWithEmptyRectanglesAndTheRunFreed) {
  host.record.imageMode = kModeMultichannel;
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);   // the user asked for the dialog
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  host.record.inRect = host.record.outRect = host.record.maskRect = Rect16{0, 0, 5, 5};
  EXPECT_EQ(FakeHostCall(&host, kSelectorStart), kResultAlreadyShown);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.outRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.maskRect));
  EXPECT_EQ(FakeHostGlobals(&host)->runState, nullptr);
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, AHostWithoutAdvanceStateIsRefusedOnlyBy64BitBuilds) {
  host.record.advanceState = nullptr;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  int16_t expected = kRefusesHostWithoutAdvanceState ? kResultAlreadyShown : kResultOk;
  EXPECT_EQ(FakeHostCall(&host, kSelectorStart), expected);
  // Kivaglobe32 renders one row per Continue call until the rectangles come back empty.
  int continues = 0;
  while (!IsEmptyRequest(host.record.inRect) && continues < 1000) {
    EXPECT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
    continues++;
  }
  if (!kRefusesHostWithoutAdvanceState) EXPECT_EQ(continues, host.record.filterRect.bottom);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, AHostRefusingEveryBufferStillRunsThroughGlobalMemory) {
  host.refuseBuffersFrom = 1;
  std::vector<int16_t> results = FakeHostRun(&host);
  EXPECT_EQ(results, (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));
  EXPECT_GT(host.bufferRequests.size(), 9u);
  ExpectOnlyTheTwoKeptHandles();
}

// Oracle: the host interface's codes -- nothing was shown, so the host's out-of-memory code,
// which the host reports, not 1 ("the plug-in told the user").
TEST_F(DispatchTest, WithNoMemoryAnywhereStartFailsOutOfMemoryAndHoldsNothing) {
  host.refuseBuffersFrom = 1;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  host.record.inRect = host.record.outRect = Rect16{0, 0, 1, 640};
  SetNewPointerLimit(0);
  EXPECT_EQ(FakeHostCall(&host, kSelectorStart), kResultMemFull);
  SetNewPointerLimit(-1);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.outRect));
  EXPECT_EQ(FakeHostGlobals(&host)->runState, nullptr);
  EXPECT_EQ(OutstandingPointers(), pointersBefore);
  ExpectOnlyTheTwoKeptHandles();
}

TEST_F(DispatchTest, ContinueAndFinishWithoutARunAnswerZero) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  host.record.inRect = Rect16{0, 0, 1, 640};
  EXPECT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
}

// A host whose handle procedures are missing or unusable gets the emulation in global memory.
class EmulatedHandlesTest : public DispatchTest, public ::testing::WithParamInterface<int> {};

TEST_P(EmulatedHandlesTest, TheWholeSequenceRunsOnEmulatedHandles) {
  switch (GetParam()) {
    case 0: host.record.handleProcs = nullptr; break;
    case 1: host.handleProcs.handleProcsVersion = 2; break;
    case 2: host.handleProcs.numHandleProcs = 7; break;
    case 3: host.handleProcs.setSizeProc = nullptr; break;
  }
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  ASSERT_NE(host.dataSlot, 0);
  // *handle is the block: the globals and the parameters read through their master pointers.
  PluginGlobals *g = FakeHostGlobals(&host);
  EXPECT_EQ(g->firstParametersCall, 1);
  const ParameterBlock *p = FakeHostParameters(&host);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->showDialog, 1u);
  EXPECT_EQ(p->globals, g);
  EXPECT_EQ(p->randomSeed, 21u);
  EXPECT_EQ(HostGetHandleSize(nullptr, host.record.parameters), int32_t(sizeof(ParameterBlock)));
  // The same globals come back on the next call.
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  EXPECT_EQ(FakeHostGlobals(&host), g);
  EXPECT_EQ(g->firstParametersCall, 0);
  EXPECT_EQ(FakeHostRun(&host), (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));
  EXPECT_EQ(host.handleCalls, 0);
  EXPECT_TRUE(host.liveBuffers.empty());
  host.record.handleProcs = nullptr;   // released through the emulation
}

INSTANTIATE_TEST_SUITE_P(Hosts, EmulatedHandlesTest, ::testing::Values(0, 1, 2, 3));

}  // namespace
