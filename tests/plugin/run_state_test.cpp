// Sizing, allocation and release of the run, and the run's lookup tables.
#include <gtest/gtest.h>

#include <cmath>

#include "imagestore/kernel_table.h"
#include "plugin/dispatch.h"
#include "plugin/host_memory.h"
#include "plugin/image_lists.h"
#include "plugin/run_start.h"
#include "tests/plugin/fake_host.h"

namespace {

class RunStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pointersBefore = OutstandingPointers();
    FakeHostInit(&host, 1, 1);
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
    g = FakeHostGlobals(&host);
    // Calls made here rather than through the entry write the host's result word directly.
    g->resultPtr = &host.result;
    host.bufferRequests.clear();
  }
  void TearDown() override {
    FreeRunBuffers(g);
    SetNewPointerLimit(-1);
    SetImageListDestroyer(nullptr);
    EXPECT_TRUE(host.liveBuffers.empty());
    EXPECT_EQ(OutstandingPointers(), pointersBefore);
    FakeHostRelease(&host);
  }
  FakeHost host;
  PluginGlobals *g = nullptr;
  int32_t pointersBefore = 0;
};

TEST_F(RunStateTest, RowSizesFollowTheRectangle) {
  struct {
    int w, h, columns;
  } cases[] = {{1, 1, 2187}, {5000, 100, 17184}, {100, 5000, 10008}, {0, 0, 2184}, {32767, 1, 100485}};
  for (const auto &c : cases) {
    Rect16 r{0, 0, int16_t(c.h), int16_t(c.w)};
    RecordRectSize(g, &r, 1);
    ComputeRowSizes(g);
    EXPECT_EQ(g->rowBufferColumns, c.columns) << c.w << "x" << c.h;
    EXPECT_EQ(g->rowWidthPlus3, c.w + 3);
    EXPECT_EQ(g->rowWidthPlus3Twice, 2 * (c.w + 3));
    EXPECT_EQ(g->rowHeightPlus3, c.h + 3);
    EXPECT_EQ(g->rowWidthPlus2178, c.w + 2178);
    SetBufferSizes(g);
    EXPECT_EQ(host.record.bufferSpace, c.columns * 216 + 1112);
  }
  const int32_t expected[10] = {16, 49152, 16, 16, 100485 * 216, 16, 16, 16, 16, 16};
  for (int i = 0; i < 10; i++) EXPECT_EQ(g->bufferSizes[i], expected[i]);
}

TEST_F(RunStateTest, RecordRectSizeKeepsTheSizeBoundsAndZoom) {
  Rect16 r{5, 7, 25, 47};
  RecordRectSize(g, &r, 4);
  EXPECT_EQ(g->rectWidth, 40);
  EXPECT_EQ(g->rectHeight, 20);
  EXPECT_EQ(g->columnFirst, 0);
  EXPECT_EQ(g->rowFirst, 0);
  EXPECT_EQ(g->columnLast, 39);
  EXPECT_EQ(g->rowLast, 19);
  EXPECT_EQ(FakeHostParameters(&host)->zoomDivisor, 4u);
}

TEST_F(RunStateTest, TheRunIsAllocatedInOrderAndZeroFilled) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  const std::vector<int32_t> expected = {2187 * 216, 32, 16, 16, 16, 16, int32_t(sizeof(RunState)), 16, 16};
  EXPECT_EQ(host.bufferRequests, expected);
  EXPECT_EQ(host.liveBuffers.size(), 9u);
  // The host filled its buffers with garbage; the RunState and the buffers come out clear.
  RunState *run = g->runState;
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(run->abortCounter, 0u);
  EXPECT_EQ(run->progressCounter, 0u);
  EXPECT_EQ(run->lastProgress, 0);
  EXPECT_EQ(run->undoSlots[0].slotValid, 0);
  EXPECT_EQ(run->undoSlots[1].slotValid, 0);
  const unsigned char *row = static_cast<unsigned char *>(g->buffers[kBufferRow]);
  EXPECT_EQ(row[0], 0);
  EXPECT_EQ(row[2187 * 216 - 1], 0);
  EXPECT_EQ(g->buffers[kBufferWork1], nullptr);   // the 49152-byte size is never allocated
}

// The run's images resample with the kernel table from the moment the run exists (a capture
// or a preset thumbnail can come before the renderer's set-up). Rows of the table as the
// kernel test's independent computation (lanczos_weights.py) gives them; a table left as the
// cleared RunState holds it would be all zeros.
TEST_F(RunStateTest, TheKernelTableIsBuiltWithTheRunState) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  const ResampleKernelTable &t = g->runState->kernelTable;
  const int32_t phase0[5] = {0, -95, 1217, 1018, -92}, phase64[5] = {-27, 238, 1737, 115, -15};
  const int32_t phase127[5] = {-1527, 19223, 16561, -1489, 0};
  for (int k = 0; k < 5; k++) {
    EXPECT_EQ(t.weight2048[k][0], phase0[k]) << k;
    EXPECT_EQ(t.weight2048[k][64], phase64[k]) << k;
    EXPECT_EQ(t.weight32768[k][127], phase127[k]) << k;
  }
  EXPECT_EQ(g->runState->exportImage.kernelTable, &g->runState->kernelTable);
}

TEST_F(RunStateTest, ASecondFreeAfterEndRunFreesNothing) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  EndRun(g);
  EXPECT_TRUE(host.liveBuffers.empty());
  EXPECT_EQ(host.bufferFrees, 9);
  EXPECT_EQ(g->runState, nullptr);
  FreeRunBuffers(g);
  EXPECT_EQ(host.bufferFrees, 9);
}

TEST_F(RunStateTest, ARunStateThatCannotBeHadFailsTheRunAndFreesEverything) {
  // The host refuses the RunState and the two buffers after it, and global memory is gone:
  // the run fails before it has a RunState, and everything else is given back.
  host.refuseBuffersFrom = 7;
  host.record.inRect = host.record.outRect = Rect16{0, 0, 1, 1};
  SetNewPointerLimit(0);
  EXPECT_FALSE(AllocateRunBuffers(g));
  SetNewPointerLimit(-1);
  EXPECT_EQ(host.result, kResultRunFailed);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_TRUE(IsEmptyRequest(host.record.outRect));
  EXPECT_EQ(g->runState, nullptr);
  EXPECT_TRUE(host.liveBuffers.empty());
  for (void *buffer : g->buffers) EXPECT_EQ(buffer, nullptr);
}

TEST_F(RunStateTest, TheBuffersOfSizesFiveAndSixAreNotNeeded) {
  host.refusedBufferCalls = {5, 6};
  SetNewPointerLimit(0);
  EXPECT_TRUE(AllocateRunBuffers(g));
  SetNewPointerLimit(-1);
  EXPECT_EQ(host.result, kResultOk);
  EXPECT_EQ(g->buffers[kBufferWork5], nullptr);
  EXPECT_EQ(g->buffers[kBufferWork6], nullptr);
  EXPECT_NE(g->runState, nullptr);
}

TEST_F(RunStateTest, EveryTestedBufferIsNeeded) {
  for (int call : {1, 2, 3, 4, 8, 9}) {
    host.refusedBufferCalls = {call};
    host.bufferRequests.clear();
    host.result = kResultOk;
    SetNewPointerLimit(0);
    EXPECT_FALSE(AllocateRunBuffers(g)) << "buffer " << call;
    SetNewPointerLimit(-1);
    EXPECT_EQ(host.result, kResultRunFailed);
    EXPECT_TRUE(host.liveBuffers.empty());
  }
}

int gDestroyedImageLists = 0;
void CountDestroyedImageList(void *) { gDestroyedImageLists++; }

TEST_F(RunStateTest, ImageListsAreDestroyedOnceAndTheirEntriesCleared) {
  int lists[2];
  gImageListTable[3] = &lists[0];
  gImageListTable[199] = &lists[1];
  gDestroyedImageLists = 0;
  SetImageListDestroyer(CountDestroyedImageList);
  ASSERT_TRUE(AllocateRunBuffers(g));
  EndRun(g);
  EXPECT_EQ(gDestroyedImageLists, 2);
  EXPECT_EQ(gImageListTable[3], nullptr);
  EXPECT_EQ(gImageListTable[199], nullptr);
  FreeRunBuffers(g);
  EXPECT_EQ(gDestroyedImageLists, 2);
}

TEST_F(RunStateTest, TheRowBufferOnlyGrows) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  host.bufferRequests.clear();
  host.record.inRect = Rect16{0, 0, 1, 1000};   // 1004 columns: fits in 2187
  GrowRowBuffer(g);
  EXPECT_EQ(g->rowBufferColumns, 1004);
  EXPECT_TRUE(host.bufferRequests.empty());
  EXPECT_EQ(g->bufferSizes[kRowBufferSizeIndex], 2187 * 216);

  host.record.inRect = Rect16{0, 100, 1, 5100};   // 5004 columns
  GrowRowBuffer(g);
  EXPECT_EQ(g->rowBufferColumns, 5004);
  EXPECT_EQ(g->bufferSizes[kRowBufferSizeIndex], 5004 * 216);
  EXPECT_EQ(host.bufferRequests, std::vector<int32_t>{5004 * 216});
  EXPECT_NE(g->buffers[kBufferRow], nullptr);
  EXPECT_EQ(host.result, kResultOk);
}

TEST_F(RunStateTest, ARowBufferThatCannotGrowEndsTheRunAsCancelled) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  host.refuseBuffersFrom = 1;
  SetNewPointerLimit(0);
  host.record.inRect = Rect16{0, 0, 1, 9000};
  GrowRowBuffer(g);
  SetNewPointerLimit(-1);
  EXPECT_EQ(host.result, kResultUserCanceled);
  EXPECT_EQ(g->buffers[kBufferRow], nullptr);
}

TEST_F(RunStateTest, TheTentTable) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  BuildRunLookupTables(g);
  const uint32_t *tent = g->runState->tentTable;
  EXPECT_EQ(tent[0], 0u);
  EXPECT_EQ(tent[127], 254u);
  EXPECT_EQ(tent[128], 255u);
  EXPECT_EQ(tent[255], 1u);
  // Every value 0..255 appears once: even ones going up, odd ones coming down.
  bool seen[256] = {};
  for (int i = 0; i < 256; i++) {
    ASSERT_LT(tent[i], 256u);
    EXPECT_FALSE(seen[tent[i]]);
    seen[tent[i]] = true;
  }
}

TEST_F(RunStateTest, TheOddsTable) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  BuildRunLookupTables(g);
  const float *odds = g->runState->oddsTable;
  EXPECT_EQ(odds[0], 0.0f);
  EXPECT_EQ(odds[255], 1e8f);
  // x / (1 - x) with x = i / 255 is i / (255 - i); x is held as a float, so each entry is that
  // ratio to within a few float steps, not exactly (odds[254] is 254.000015, not 254).
  for (int i = 1; i < 255; i++) {
    double exact = double(i) / double(255 - i);
    EXPECT_NEAR(odds[i], exact, exact * 4e-7) << i;
    EXPECT_GT(odds[i], odds[i - 1]);
  }
  EXPECT_NEAR(odds[1], 1.0 / 254.0, 1e-9);
}

TEST_F(RunStateTest, TheImageSetIsMadeAtTheFilterSizeAndFreedWithTheRun) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  StartupInit(g);
  AllocateWorkImage(g);
  EXPECT_EQ(host.result, kResultOk);
  EXPECT_EQ(g->workImage.baseWidth, 128);
  for (const TiledMipImage &image : g->imageSet) EXPECT_EQ(image.baseWidth, 1);
  EXPECT_EQ(g->imageSet[0].kernelTable, &g->runState->kernelTable);
  EXPECT_EQ(ExtraSetupHook(g), 0);
  EndRun(g);
  EXPECT_TRUE(host.liveBuffers.empty());   // tiles of the work image and the image set too
  FreeRunBuffers(g);                       // and a second free finds nothing left
}

TEST_F(RunStateTest, TheImageSetIsMadeAgainOnlyWhereItsSizeOrUseChanged) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  StartupInit(g);
  g->savedFilterRect = Rect16{0, 0, 600, 700};
  AllocateWorkImage(g);
  g->imageSet[6].wrapMode = 1;
  const size_t requests = host.bufferRequests.size();
  AllocateWorkImage(g);   // the same size: renewed, no block asked for
  EXPECT_EQ(host.bufferRequests.size(), requests);
  EXPECT_EQ(g->imageSet[6].wrapMode, 3u);
  g->runState->cloudHeader.loaded = 1;   // the cloud image holds clouds: made again
  AllocateWorkImage(g);
  EXPECT_EQ(host.bufferRequests.size() - requests, size_t(g->imageSet[0].tileCount + 1));
  EndRun(g);
}

TEST_F(RunStateTest, AnImageSetThatCannotBeMadeIs999AndLeavesNothing) {
  ASSERT_TRUE(AllocateRunBuffers(g));
  host.refuseBuffersFrom = int(host.bufferRequests.size()) + 1;
  SetNewPointerLimit(0);
  AllocateWorkImage(g);
  EXPECT_EQ(host.result, kResultNoWorkImage);
  SetNewPointerLimit(-1);
  FreeRunBuffers(g);
  EXPECT_TRUE(host.liveBuffers.empty());
}

}  // namespace
