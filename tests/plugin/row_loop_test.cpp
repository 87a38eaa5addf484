// row_loop_test.cpp -- the filter run's row loop and the preview requests, driven through the
// dispatcher by the fake host with a host side that delivers real rows: every request is
// recorded, the output rows are kept, and progress, abort and advanceState can be scripted.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/dispatch.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_memory.h"
#include "plugin/output_passes.h"
#include "plugin/preview.h"
#include "plugin/rect16.h"
#include "plugin/row_loop.h"
#include "tests/plugin/fake_host.h"

namespace {

struct Request {
  Rect16 in, out, mask;
  int32_t inputRate;
};

// The scripted host side of the current test.
struct RowHost {
  FakeHost *host = nullptr;
  std::vector<Request> requests;
  std::vector<uint8_t> inData, outData, maskData;
  std::vector<uint8_t> painted;           // per document row: the plug-in wrote it
  std::vector<int32_t> progressDone;
  int abortAsked = 0;
  int abortAnswerFrom = 0;                // answer yes from this abort call on (0 never)
  int advanceFailAt = 0;                  // return advanceFailCode on this call (1-based; 0 never)
  int16_t advanceFailCode = -50;
  int advanceCalls = 0;
  int displayCalls = 0;
  Rect16 displayed = {};
};
RowHost *gRow = nullptr;

constexpr uint8_t kMarker = 0x77;

bool Empty(const Rect16 &r) { return r.right <= r.left || r.bottom <= r.top; }

// Copies the output buffer of the last delivery back into the document.
void WriteBack() {
  FilterRecord &r = gRow->host->record;
  if (r.outData == nullptr || gRow->requests.empty()) return;
  const Request &q = gRow->requests.back();
  if (Empty(q.out)) return;
  // A row counts as painted when the plug-in wrote any byte of the marker over.
  for (int y = q.out.top; y < q.out.bottom; y++) {
    bool painted = false;
    for (int x = 0; x < r.outRowBytes; x++) painted |= gRow->outData[size_t(y - q.out.top) * r.outRowBytes + x] != kMarker;
    if (painted) gRow->painted[size_t(y)] = 1;
  }
}

OSErr16 KV_HOSTAPI AdvanceState() {
  FilterRecord &r = gRow->host->record;
  gRow->advanceCalls++;
  WriteBack();
  if (gRow->advanceCalls == gRow->advanceFailAt) return gRow->advanceFailCode;
  gRow->requests.push_back(Request{r.inRect, r.outRect, r.maskRect, r.inputRate});
  const int planes = r.planes;
  const int w = r.outRect.right - r.outRect.left, h = r.outRect.bottom - r.outRect.top;
  const int iw = r.inRect.right - r.inRect.left, ih = r.inRect.bottom - r.inRect.top;
  const int mw = r.maskRect.right - r.maskRect.left, mh = r.maskRect.bottom - r.maskRect.top;
  gRow->inData.assign(size_t(iw > 0 && ih > 0 ? iw * ih * planes : 1), 40);
  gRow->outData.assign(size_t(w > 0 && h > 0 ? w * h * planes : 1), kMarker);
  gRow->maskData.assign(size_t(mw > 0 && mh > 0 ? mw * mh : 1), 255);
  r.inData = gRow->inData.data();
  r.inRowBytes = iw * planes;
  r.outData = gRow->outData.data();
  r.outRowBytes = w * planes;
  r.maskData = r.haveMask ? gRow->maskData.data() : nullptr;
  r.maskRowBytes = mw;
  return 0;
}

void KV_HOSTAPI Progress(int32_t done, int32_t) { gRow->progressDone.push_back(done); }

HostBool KV_HOSTAPI Abort() {
  gRow->abortAsked++;
  return gRow->abortAnswerFrom > 0 && gRow->abortAsked >= gRow->abortAnswerFrom;
}

OSErr16 KV_HOSTAPI Display(const HostPixelMap *, const HostVRect *source, int32_t, int32_t, void *) {
  gRow->displayCalls++;
  gRow->displayed = Rect16{int16_t(source->top), int16_t(source->left), int16_t(source->bottom),
                           int16_t(source->right)};
  return 0;
}

class RowLoopTest : public ::testing::Test {
 protected:
  void Open(int width, int height) {
    FakeHostInit(&host, width, height);
    row.host = &host;
    gRow = &row;
    row.painted.assign(size_t(height), 0);
    host.record.advanceState = AdvanceState;
    host.record.progressProc = Progress;
    host.record.abortProc = Abort;
    host.record.displayPixels = Display;
    host.record.samplingSupport = 1;
  }
  void TearDown() override {
    FakeHostRelease(&host);
    gRow = nullptr;
  }
  // Only the globals and the parameters are left, and no buffer.
  void ExpectNothingOutstanding() {
    EXPECT_EQ(host.liveHandles.size(), 2u);
    EXPECT_TRUE(host.liveBuffers.empty());
    EXPECT_TRUE(Empty(host.record.inRect));
    EXPECT_TRUE(Empty(host.record.outRect));
    EXPECT_TRUE(Empty(host.record.maskRect));
  }
  // Rows of the document with any painted byte.
  int PaintedRows() {
    WriteBack();   // the host takes the last row's output when the entry returns
    int rows = 0;
    for (uint8_t v : row.painted) rows += v;
    return rows;
  }
  FakeHost host;
  RowHost row;
};

TEST_F(RowLoopTest, EveryRowIsRequestedOnceInOrderAndPainted) {
  Open(48, 40);
  std::vector<int16_t> results = FakeHostRun(&host);
  EXPECT_EQ(results, (std::vector<int16_t>{0, 0, 0, 0}));
  // Start's request and one after every row but the last.
  ASSERT_EQ(row.requests.size(), 40u);
  for (int y = 0; y < 40; y++) {
    const Request &q = row.requests[size_t(y)];
    EXPECT_EQ(q.in.top, y);
    EXPECT_EQ(q.in.bottom, y + 1);
    EXPECT_EQ(q.in.left, 0);
    EXPECT_EQ(q.in.right, 48);
    EXPECT_EQ(q.out.top, y);
    EXPECT_EQ(q.inputRate, 0x10000);
    // Without a mask: the empty rectangle at the filter rectangle's corner.
    EXPECT_EQ(q.mask.top, 0);
    EXPECT_EQ(q.mask.bottom, 0);
  }
  EXPECT_EQ(PaintedRows(), 40);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, MaskRowsAreClampedToTheFilterRectangleWhichNeedNotStartAtZero) {
  Open(32, 30);
  host.record.haveMask = 1;
  host.record.filterRect = Rect16{10, 4, 20, 28};   // rows 10..19
  FakeHostRun(&host);
  ASSERT_EQ(row.requests.size(), 10u);
  const Request &first = row.requests.front();
  EXPECT_EQ(first.in.top, 10);
  EXPECT_EQ(first.mask.top, 10);
  EXPECT_EQ(first.mask.bottom, 12);
  EXPECT_EQ(first.mask.left, 4);
  EXPECT_EQ(first.mask.right, 28);
  const Request &middle = row.requests[5];
  EXPECT_EQ(middle.mask.top, 13);
  EXPECT_EQ(middle.mask.bottom, 17);
  const Request &last = row.requests.back();
  EXPECT_EQ(last.in.top, 19);
  EXPECT_EQ(last.mask.top, 17);
  EXPECT_EQ(last.mask.bottom, 20);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, ProgressComesOnRowZeroEvery32ndRowAndAfterAJump) {
  Open(16, 100);
  FakeHostRun(&host);
  EXPECT_EQ(row.progressDone, (std::vector<int32_t>{0, 32, 64, 96}));
  // Every 32nd row the host is asked whether the user aborted.
  EXPECT_EQ(row.abortAsked, 3);

  // A jump of 5 rows or more is reported at once.
  PluginGlobals *g = FakeHostGlobals(&host);
  RunState run{};
  g->runState = &run;
  row.progressDone.clear();
  ReportProgress(g, 0, 10, 0);
  ReportProgress(g, 1, 10, 0);
  ReportProgress(g, 7, 10, 0);
  ReportProgress(g, 8, 10, 0);
  g->runState = nullptr;
  EXPECT_EQ(row.progressDone, (std::vector<int32_t>{0, 7}));
}

TEST_F(RowLoopTest, AnAbortEndsTheRunWithTheRowsBeforeItPaintedAndNothingOutstanding) {
  Open(16, 100);
  row.abortAnswerFrom = 2;   // the second question: after row 63
  std::vector<int16_t> results = FakeHostRun(&host);
  ASSERT_EQ(results.size(), 3u);   // Prepare, Start, Continue; no Finish after a failure
  EXPECT_EQ(results[2], kResultUserCanceled);
  EXPECT_EQ(PaintedRows(), 64);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, AnAdvanceStateErrorAtStartFreesTheRunAndKeepsTheCode) {
  Open(16, 20);
  row.advanceFailAt = 1;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), 0);
  EXPECT_EQ(FakeHostCall(&host, kSelectorStart), -50);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, AnAdvanceStateErrorMidRunFreesTheRunAndKeepsTheCode) {
  Open(16, 20);
  row.advanceFailAt = 6;
  row.advanceFailCode = -36;
  std::vector<int16_t> results = FakeHostRun(&host);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[2], -36);
  EXPECT_EQ(PaintedRows(), 5);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, AHostWithoutAdvanceStateGetsOneRowPerContinue) {
  Open(16, 12);
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), 0);
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), 0);
  // From here on the host delivers the rows itself on each Continue.
  host.record.advanceState = nullptr;
  int continues = 0;
  while (!Empty(host.record.inRect) && continues < 100) {
    EXPECT_EQ(host.record.inRect.top, continues + 1 > 11 ? 11 : continues) << continues;
    ASSERT_EQ(FakeHostCall(&host, kSelectorContinue), 0);
    continues++;
  }
  EXPECT_EQ(continues, 12);
  ExpectNothingOutstanding();
}

TEST_F(RowLoopTest, AFailedWorkImageEndsStartOutOfMemoryAndFreesTheRun) {
  // Refuse every buffer from the n-th on, global memory included, for n = 1, 2, ...: the first
  // n that spares the run's own buffers makes the image set fail. Where that comes depends on
  // the tree's allocations, so it is searched for rather than assumed.
  bool reached = false;
  for (int32_t from = 1; from <= 64 && !reached; from++) {
    Open(16, 16);
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), 0);
    ASSERT_NE(FakeHostGlobals(&host), nullptr);
    row.requests.clear();
    host.refuseBuffersFrom = from;
    SetNewPointerLimit(0);
    int16_t result = FakeHostCall(&host, kSelectorStart);
    SetNewPointerLimit(-1);
    // The image set's 999 reaches the host as its own out-of-memory code, which the host
    // reports; a positive code would tell it that the user has been told already.
    if (result == kResultMemFull) {
      reached = true;
      EXPECT_TRUE(row.requests.empty()) << from;
      ExpectNothingOutstanding();
    }
    FakeHostRelease(&host);
  }
  EXPECT_TRUE(reached) << "no refused buffer failed the image set";
  Open(1, 1);   // TearDown releases a host
}

// ---- Preview requests ----

class PreviewTest : public RowLoopTest {
 protected:
  void OpenPreview(int width, int height) {
    Open(width, height);
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), 0);
    ASSERT_EQ(FakeHostCall(&host, kSelectorStart), 0);
    g = FakeHostGlobals(&host);
    p = FakeHostParameters(&host);
    row.requests.clear();
  }
  void TearDown() override {
    // End the run that Start began.
    while (!Empty(host.record.inRect) && FakeHostCall(&host, kSelectorContinue) == 0) {
    }
    RowLoopTest::TearDown();
  }
  PluginGlobals *g = nullptr;
  ParameterBlock *p = nullptr;
};

TEST_F(PreviewTest, ALargeRectangleIsSampledDownToThePreviewArea) {
  OpenPreview(1000, 600);
  Rect16 area{0, 0, 300, 300};
  g->previewArea = area;
  int32_t factor = 0;
  Rect16 scaled = area;
  ComputeSampleFactor(&host.record.filterRect, &scaled, &factor, g);
  EXPECT_EQ(factor, 4);
  EXPECT_EQ(g->sampleFactor, 4);
  EXPECT_EQ(scaled.right - scaled.left, 250);
  EXPECT_EQ(scaled.bottom - scaled.top, 150);

  RequestPreviewArea(g, factor);
  ASSERT_EQ(row.requests.size(), 1u);
  const Request &q = row.requests[0];
  EXPECT_EQ(q.inputRate, 4 * 65536);
  EXPECT_EQ(q.in.right - q.in.left, 250);
  EXPECT_EQ(q.in.bottom - q.in.top, 150);
  EXPECT_EQ(p->zoomDivisor, 4u);
  EXPECT_EQ(g->rectWidth, 250);

  // A small rectangle needs no sampling; a host that cannot sample gets factor 1 as well.
  Rect16 small{0, 0, 100, 200};
  Rect16 out = area;
  ComputeSampleFactor(&small, &out, &factor, g);
  EXPECT_EQ(factor, 1);
  host.record.samplingSupport = 0;
  out = area;
  ComputeSampleFactor(&host.record.filterRect, &out, &factor, g);
  EXPECT_EQ(factor, 1);
  EXPECT_EQ(g->sampleFactor, 4);
}

TEST_F(PreviewTest, PanningMovesTheRequestBeforeItIsClippedAndScaled) {
  OpenPreview(1000, 600);
  g->previewArea = Rect16{0, 0, 300, 300};
  p->panX = 500;
  RequestPreviewArea(g, 4);
  ASSERT_EQ(row.requests.size(), 1u);
  const Request &q = row.requests[0];
  EXPECT_EQ(q.in.left, 125);
  EXPECT_EQ(q.in.right, 250);
  // The output is at the filter rectangle's corner.
  EXPECT_EQ(q.out.left, 0);
  EXPECT_EQ(q.out.right, 125);
  // A pan far outside the image leaves an empty request, not a wrapped one.
  p->panX = 30000;
  RequestPreviewArea(g, 4);
  EXPECT_EQ(row.requests.back().in.right - row.requests.back().in.left, 0);
}

TEST_F(PreviewTest, APreviewRenderIsDrawnEvery100thRowInSlowHosts) {
  OpenPreview(250, 250);
  host.record.hostSig = FourCC('8', 'B', 'I', 'M');
  g->previewArea = Rect16{0, 0, 300, 300};
  g->previewWindow = &host;
  p->panX = 0;
  p->panY = 0;
  RequestPreviewArea(g, 1);
  p->renderTarget = 1;
  UpdatePreviewImage(g);
  EXPECT_EQ(GetResult(g), 0);
  EXPECT_EQ(row.displayCalls, 2);   // after rows 99 and 199
  EXPECT_EQ(row.displayed.right, 250);
  // The preview asks for neither progress nor abort.
  EXPECT_TRUE(row.progressDone.size() <= 1u);
  // The output buffer holds a picture.
  int painted = 0;
  for (uint8_t v : row.outData) painted += v != kMarker;
  EXPECT_GT(painted, 1000);

  host.record.hostSig = FourCC('K', 'V', 'H', 'S');
  row.displayCalls = 0;
  UpdatePreviewImage(g);
  EXPECT_EQ(row.displayCalls, 250);
  p->renderTarget = 0;
  g->previewWindow = nullptr;
}

TEST_F(PreviewTest, ARequestWithoutRowsRendersNothingAndEnds) {
  // A 2000 x 1 selection sampled by 7 for a 300 x 300 area leaves a request of no rows.
  OpenPreview(2000, 1);
  g->previewArea = Rect16{0, 0, 300, 300};
  int32_t factor = 0;
  Rect16 scaled = g->previewArea;
  ComputeSampleFactor(&host.record.filterRect, &scaled, &factor, g);
  EXPECT_EQ(factor, 7);
  RequestPreviewArea(g, factor);
  EXPECT_EQ(g->rectHeight, 0);
  p->renderTarget = 1;
  g->previewWindow = &host;
  UpdatePreviewImage(g);
  EXPECT_EQ(GetResult(g), 0);
  EXPECT_EQ(g->runActive, 0);
  EXPECT_EQ(g->currentRow, 0);
  g->previewWindow = nullptr;
  p->renderTarget = 0;
}

TEST_F(PreviewTest, TheSavedRequestComesBackAfterAnOffScreenRender) {
  OpenPreview(400, 300);
  g->previewArea = Rect16{0, 0, 300, 300};
  p->panX = 40;
  p->panY = 8;
  RequestPreviewArea(g, 2);
  p->renderTarget = 1;
  HostRequestRecord saved;
  SaveHostRequest(&saved, g);
  const Rect16 in = host.record.inRect;
  p->renderTarget = 2;
  ResetPreviewPan(g);
  host.record.inRect = Rect16{0, 0, 5, 5};
  g->currentRow = 77;
  size_t before = row.requests.size();
  RestoreHostRequest(&saved, g);
  EXPECT_EQ(p->panX, 40);
  EXPECT_EQ(p->panY, 8);
  EXPECT_EQ(p->renderTarget, 1u);
  EXPECT_EQ(p->zoomDivisor, 2u);
  EXPECT_EQ(g->currentRow, saved.currentRow);
  EXPECT_TRUE(EqualRect16(&host.record.inRect, &in));
  // The preview is asked for again.
  EXPECT_EQ(row.requests.size(), before + 1);
  p->renderTarget = 0;
}

// ---- Off-screen passes ----

class PassTest : public PreviewTest {
 protected:
  void OpenPass(int width, int height, int imageWidth, int imageHeight) {
    OpenPreview(width, height);
    g->previewArea = Rect16{0, 0, 300, 300};
    p->panX = 3;
    p->panY = 2;
    RequestPreviewArea(g, 1);
    p->renderTarget = 1;
    p->outputMode = 1;
    image = &g->runState->exportImage;
    ASSERT_TRUE(CreateImageEx(image, imageWidth, imageHeight, kFormatPacked8, 0, 0));
    for (int y = 0; y < imageHeight; y++)
      for (int x = 0; x < imageWidth; x++) PutPixelPacked8(x, y, image, 0, 1, 2, 3, 4);
    SaveState();
  }
  void SaveState() {
    in = host.record.inRect;
    out = host.record.outRect;
    mask = host.record.maskRect;
    filter = host.record.filterRect;
  }
  // Everything a pass borrows is as it was.
  void ExpectStateRestored() {
    EXPECT_TRUE(EqualRect16(&host.record.inRect, &in));
    EXPECT_TRUE(EqualRect16(&host.record.outRect, &out));
    EXPECT_TRUE(EqualRect16(&host.record.maskRect, &mask));
    EXPECT_TRUE(EqualRect16(&host.record.filterRect, &filter));
    EXPECT_EQ(p->panX, 3);
    EXPECT_EQ(p->panY, 2);
    EXPECT_EQ(p->zoomDivisor, 1u);
    EXPECT_EQ(p->outputMode, 1u);
    EXPECT_EQ(p->renderTarget, 1u);
    EXPECT_EQ(GetResult(g), 0);
  }
  // Rows of the export image with any pixel changed from the fill.
  int RenderedRows() {
    int rows = 0;
    for (int y = 0; y < image->levelHeight[0]; y++) {
      bool any = false;
      for (int x = 0; x < image->levelWidth[0]; x++) {
        int32_t c[4];
        GetPixelPacked8(x, y, image, 0, &c[0], &c[1], &c[2], &c[3]);
        any |= c[0] != 1 || c[1] != 2 || c[2] != 3;
      }
      rows += any;
    }
    return rows;
  }
  void TearDown() override {
    if (p != nullptr) p->renderTarget = 0;
    PreviewTest::TearDown();
  }
  TiledMipImage *image = nullptr;
  Rect16 in{}, out{}, mask{}, filter{};
};

TEST(OutputModes, LayerOrderPutsBumpWithoutOceanFifthAndNamesFollowTheTable) {
  EXPECT_EQ(LayerModeTable[4], 14u);
  EXPECT_EQ(LayerModeTable[5], 7u);
  EXPECT_STREQ(OutputModeName(14), "bump w/o ocean");
  EXPECT_STREQ(OutputModeName(1), "normal");
  EXPECT_STREQ(OutputModeName(0), "");
  EXPECT_STREQ(OutputModeName(15), "");
}

TEST_F(PassTest, EveryLayerPassRendersTheExportImageAndRestoresTheRequest) {
  OpenPass(40, 30, 40, 30);
  for (int layer = 0; layer < kLayerCount; layer++) {
    for (int y = 0; y < 30; y++)
      for (int x = 0; x < 40; x++) PutPixelPacked8(x, y, image, 0, 1, 2, 3, 4);
    uint8_t cancel = 0;
    RenderLayerPass(g, image, layer, &cancel);
    EXPECT_EQ(cancel, 0) << layer;
    EXPECT_EQ(RenderedRows(), 30) << layer;
    ExpectStateRestored();
  }
  // A null image or a layer outside the table does nothing.
  uint8_t cancel = 0;
  RenderLayerPass(g, nullptr, 0, &cancel);
  RenderLayerPass(g, image, 11, &cancel);
  EXPECT_EQ(cancel, 0);
  ExpectStateRestored();
}

TEST_F(PassTest, TheWholeImagePassRendersAtTheImagesOwnSize) {
  OpenPass(40, 30, 24, 20);
  uint8_t cancel = 0;
  RenderWholeImage(g, image, 0, &cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(RenderedRows(), 20);
  ExpectStateRestored();
}

TEST_F(PassTest, ACancelAtRowZeroRendersNothingAndRestoresEverything) {
  OpenPass(40, 30, 40, 30);
  uint8_t cancel = 1;
  RenderLayerPass(g, image, 0, &cancel);
  EXPECT_EQ(RenderedRows(), 0);
  ExpectStateRestored();
  RenderWholeImage(g, image, 0, &cancel);
  EXPECT_EQ(RenderedRows(), 0);
  ExpectStateRestored();
}

TEST_F(PassTest, AnAbortMidPassCancelsItAndKeepsTheResultWord) {
  OpenPass(40, 100, 40, 100);
  row.abortAnswerFrom = 1;
  g->runState->abortCounter = 0;
  uint8_t cancel = 0;
  RenderLayerPass(g, image, 2, &cancel);
  EXPECT_EQ(cancel, 1);
  const int rendered = RenderedRows();
  EXPECT_GT(rendered, 0);
  EXPECT_LT(rendered, 100);
  // The row step's -128 is the pass's cancel, not the filter run's end.
  ExpectStateRestored();

  cancel = 0;
  for (int y = 0; y < 100; y++)
    for (int x = 0; x < 40; x++) PutPixelPacked8(x, y, image, 0, 1, 2, 3, 4);
  RenderWholeImage(g, image, 0, &cancel);
  EXPECT_EQ(cancel, 1);
  EXPECT_LT(RenderedRows(), 100);
  ExpectStateRestored();
  row.abortAnswerFrom = 0;
}

TEST_F(PassTest, AFailedSetUpRendersNothingAndCountsAsACancel) {
  OpenPass(40, 30, 40, 30);
  // The set-up grows the row buffer to the request's width: a host that refuses that buffer
  // (and no global memory) makes the set-up fail.
  host.refuseBuffersFrom = int(host.bufferRequests.size()) + 1;
  SetNewPointerLimit(0);
  host.record.filterRect.right = 4000;
  uint8_t cancel = 0;
  RenderLayerPass(g, image, 0, &cancel);
  host.record.filterRect.right = 40;
  SetNewPointerLimit(-1);
  host.refuseBuffersFrom = 0;
  EXPECT_EQ(cancel, 1);
  EXPECT_EQ(RenderedRows(), 0);
  EXPECT_EQ(GetResult(g), 0);
}

}  // namespace
