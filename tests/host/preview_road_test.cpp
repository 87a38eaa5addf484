// preview_road_test.cpp -- the dialog's preview through the stand-in host (native): the plug-in,
// linked into this program, runs in a host session whose filter record, sampling, delivery and
// displayPixels are the host's own. The main dialog would make the preview calls; here the test
// makes them between Start and the first Continue, on the plug-in's globals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/render_harness.h"
#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "plugin/preview.h"
#include "plugin/row_loop.h"
#include "tests/host/linked_plugin.h"
#include "tests/host/test_files.h"

namespace {

// A document sample that differs from its neighbours and between planes.
uint8_t PatternSample(int32_t x, int32_t y, int32_t c) { return uint8_t(x * 7 + y * 13 + c * 50); }

// The patterned document of these tests.
void FillPattern(HostSession *session) {
  HostImage &source = session->source;
  for (int32_t y = 0; y < source.height; y++)
    for (int32_t x = 0; x < source.width; x++)
      for (int32_t c = 0; c < source.channels; c++) HostImagePixel(&source, x, y)[c] = PatternSample(x, y, c);
  session->destination = source;
}

class PreviewRoadTest : public ::testing::Test, protected LinkedRun {
 protected:
  // Opens a session of `args` on the linked plug-in with a patterned document, and runs
  // Prepare and Start (which requests row 0 of the real run).
  void Open(std::vector<const char *> args) {
    ASSERT_EQ(Start(args, "preview_report.txt", FillPattern), "");
  }

  // Ends the run as the dialog's OK would: the real render starts again at row 0 and the host
  // aborts it at the first poll, which frees the run. Then nothing may be left outstanding.
  void EndRunAndExpectNothingLeft() {
    p->renderTarget = 0;
    g->previewWindow = nullptr;
    result = 0;
    StartRender(g);
    ASSERT_EQ(result, 0);
    session->options.abortAtRow = 0;
    EXPECT_EQ(CallSelector(session, kSelectorContinue), kResultUserCanceled);
    EXPECT_TRUE(HostRectEmpty(session->record.inRect));
    EXPECT_EQ(FinishHostSession(session), kHostStatusOk);
    EXPECT_EQ(OutstandingBuffers(session->memory), 0);
    EXPECT_EQ(OutstandingHandles(session->memory), 1);   // the parameters
  }

  void TearDown() override { Close(); }
};

// The whole road: the sample factor, the sampled request and what the host delivers for it, the
// preview render into the host's output buffer, and the picture displayPixels receives, which is
// the planet the harness renders at the preview's size over the same sampled picture.
TEST_F(PreviewRoadTest, APreviewIsSampledRenderedAndDisplayedThroughTheHost) {
  Open({"--size", "1000x600"});
  const FilterRecord &r = session->record;
  EXPECT_EQ(r.samplingSupport, 1);

  g->previewArea = Rect16{0, 0, 300, 300};
  Rect16 scaled = g->previewArea;
  int32_t factor = 0;
  ComputeSampleFactor(&r.filterRect, &scaled, &factor, g);
  ASSERT_EQ(factor, 4);
  const int32_t callsBefore = session->advanceStateCalls;
  RequestPreviewArea(g, factor);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(session->advanceStateCalls, callsBefore + 1);
  EXPECT_EQ(r.inputRate, 4 * 65536);
  EXPECT_EQ(r.inRect.top, 0);
  EXPECT_EQ(r.inRect.left, 0);
  EXPECT_EQ(r.inRect.bottom, 150);
  EXPECT_EQ(r.inRect.right, 250);
  EXPECT_EQ(r.outRect.bottom - r.outRect.top, 150);
  EXPECT_EQ(r.outRect.right - r.outRect.left, 250);
  EXPECT_EQ(g->rectWidth, 250);
  EXPECT_EQ(g->rectHeight, 150);
  EXPECT_EQ(p->zoomDivisor, 4u);

  // Every fourth pixel of every fourth row, all planes.
  ASSERT_NE(static_cast<void *>(r.inData), nullptr);
  ASSERT_EQ(r.inRowBytes, 250 * 3);
  const uint8_t *in = static_cast<const uint8_t *>(r.inData);
  int32_t wrong = 0;
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 250; x++)
      for (int32_t c = 0; c < 3; c++) wrong += in[y * r.inRowBytes + x * 3 + c] != PatternSample(4 * x, 4 * y, c);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(session->highestRowRequested, 0);   // only the run's row 0: a preview is no progress

  // The preview render. The host signature is '8BIM': the plug-in draws after row 99, and the
  // dialog's final refresh draws the whole picture.
  p->renderTarget = 1;
  g->previewWindow = session;
  UpdatePreviewImage(g);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(session->display.calls, 1);
  DrawPreview(g, 0, kPreviewItem);
  const DisplayCapture &d = session->display;
  EXPECT_EQ(d.calls, 2);
  EXPECT_EQ(d.imageMode, kModeRGB);
  ASSERT_EQ(d.image.width, 250);
  ASSERT_EQ(d.image.height, 150);
  ASSERT_EQ(d.image.channels, 3);
  // Centred in the preview area.
  EXPECT_EQ(d.destinationColumn, 150 - 125);
  EXPECT_EQ(d.destinationRow, 150 - 75);
  // What was shown is what the plug-in wrote into the host's output buffer.
  ASSERT_NE(static_cast<void *>(r.outData), nullptr);
  for (int32_t y = 0; y < 150; y++)
    ASSERT_EQ(std::memcmp(HostImagePixel(d.image, 0, y), static_cast<const uint8_t *>(r.outData) + y * r.outRowBytes,
                          250 * 3),
              0)
        << "row " << y;

  // The same planet from the harness, rendered at 250 x 150 over the sampled picture.
  RenderHarness harness;
  HarnessOptions options;
  options.width = 250;
  options.height = 150;
  ASSERT_TRUE(OpenHarness(&harness, options));
  harness.background.resize(size_t(250) * 150 * 3);
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 250; x++)
      for (int32_t c = 0; c < 3; c++) harness.background[size_t((y * 250 + x) * 3 + c)] = PatternSample(4 * x, 4 * y, c);
  HarnessImage planet;
  ASSERT_TRUE(RenderHarnessImage(&harness, &planet));
  CloseHarness(&harness);
  int32_t differ = 0, painted = 0;
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 250; x++)
      for (int32_t c = 0; c < 3; c++) {
        const uint8_t shown = HostImagePixel(d.image, x, y)[c];
        differ += shown != planet.samples[size_t((y * 250 + x) * 3 + c)];
        painted += shown != PatternSample(4 * x, 4 * y, c);
      }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(painted, 250 * 150);   // a planet, not the picture under it

  // A preview changes nothing in the document.
  EXPECT_EQ(session->destination.data, session->source.data);

  // Panned by (500, 200): the request moves, is clipped to the image and then sampled, and the
  // host delivers from the moved corner.
  p->renderTarget = 0;
  p->panX = 500;
  p->panY = 200;
  RequestPreviewArea(g, factor);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(r.inRect.left, 125);
  EXPECT_EQ(r.inRect.top, 50);
  EXPECT_EQ(r.inRect.right, 250);
  EXPECT_EQ(r.inRect.bottom, 150);
  ASSERT_NE(static_cast<void *>(r.inData), nullptr);
  in = static_cast<const uint8_t *>(r.inData);
  wrong = 0;
  for (int32_t y = 0; y < 100; y++)
    for (int32_t x = 0; x < 125; x++)
      for (int32_t c = 0; c < 3; c++)
        wrong += in[y * r.inRowBytes + x * 3 + c] != PatternSample(4 * (125 + x), 4 * (50 + y), c);
  EXPECT_EQ(wrong, 0);
  EndRunAndExpectNothingLeft();
}

// In a 16-bit document the output buffer holds two-byte samples, and the map handed to
// displayPixels says so: the host shows the samples the plug-in wrote, not every other byte.
TEST_F(PreviewRoadTest, SixteenBitPreviewsAreShownWithTheirTwoByteSamples) {
  Open({"--size", "400x200", "--depth", "16"});
  const FilterRecord &r = session->record;
  g->previewArea = Rect16{0, 0, 100, 100};
  Rect16 scaled = g->previewArea;
  int32_t factor = 0;
  ComputeSampleFactor(&r.filterRect, &scaled, &factor, g);
  ASSERT_EQ(factor, 4);
  p->renderTarget = 1;
  g->previewWindow = session;
  RequestPreviewArea(g, factor);
  ASSERT_EQ(result, 0);
  UpdatePreviewImage(g);
  ASSERT_EQ(result, 0);
  DrawPreview(g, 0, kPreviewItem);
  const DisplayCapture &d = session->display;
  EXPECT_EQ(d.imageMode, kModeRGB48);
  ASSERT_EQ(d.image.width, 100);
  ASSERT_EQ(d.image.height, 50);
  ASSERT_EQ(d.image.channels, 3);
  ASSERT_EQ(d.image.bytesPerSample, 2);
  ASSERT_NE(static_cast<void *>(r.outData), nullptr);
  int32_t wrong = 0;
  for (int32_t y = 0; y < 50; y++)
    wrong += std::memcmp(HostImagePixel(d.image, 0, y), static_cast<const uint8_t *>(r.outData) + y * r.outRowBytes,
                         100 * 3 * 2) != 0;
  EXPECT_EQ(wrong, 0);
  EndRunAndExpectNothingLeft();
}

// The selection is sampled at the mask rate like the input, and a host without sampling gets
// the unsampled top-left corner of the image at factor 1.
TEST_F(PreviewRoadTest, TheMaskIsSampledAndAHostWithoutSamplingGetsFactorOne) {
  Open({"--size", "120x80", "--mask", "ellipse"});
  FilterRecord &r = session->record;
  g->previewArea = Rect16{0, 0, 30, 30};
  Rect16 scaled = g->previewArea;
  int32_t factor = 0;
  ComputeSampleFactor(&r.filterRect, &scaled, &factor, g);
  const int32_t k = factor;
  ASSERT_GE(k, 2);
  RequestPreviewArea(g, k);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(r.maskRate, k * 65536);
  ASSERT_NE(static_cast<void *>(r.maskData), nullptr);
  const int32_t mw = r.maskRect.right - r.maskRect.left, mh = r.maskRect.bottom - r.maskRect.top;
  ASSERT_GT(mw, 0);
  ASSERT_GT(mh, 0);
  EXPECT_EQ(r.maskRowBytes, mw);
  const uint8_t *mask = static_cast<const uint8_t *>(r.maskData);
  int32_t wrong = 0;
  for (int32_t y = 0; y < mh; y++)
    for (int32_t x = 0; x < mw; x++)
      wrong += mask[y * mw + x] !=
               session->mask.data[size_t((r.maskRect.top + y) * k) * 120 + size_t((r.maskRect.left + x) * k)];
  EXPECT_EQ(wrong, 0);

  r.samplingSupport = 0;
  scaled = g->previewArea;
  ComputeSampleFactor(&r.filterRect, &scaled, &factor, g);
  EXPECT_EQ(factor, 1);
  RequestPreviewArea(g, factor);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(r.inputRate, 65536);
  EXPECT_EQ(r.inRect.right - r.inRect.left, 30);
  EXPECT_EQ(r.inRect.bottom - r.inRect.top, 30);
  ASSERT_NE(static_cast<void *>(r.inData), nullptr);
  const uint8_t *in = static_cast<const uint8_t *>(r.inData);
  EXPECT_EQ(in[r.inRowBytes * 5 + 3 * 7 + 1], PatternSample(r.inRect.left + 7, r.inRect.top + 5, 1));
  r.samplingSupport = 1;
  EndRunAndExpectNothingLeft();
}

// An editor that stores any non-empty output rectangle (--store-preview-output) puts the
// preview's output into the document at the next advanceState. The real run then writes over
// it: the finished document is the one a host that keeps previews apart gets.
TEST_F(PreviewRoadTest, AStoredPreviewIsOverwrittenByTheRun) {
  std::vector<uint8_t> finished[2];
  for (int stored = 0; stored < 2; stored++) {
    SCOPED_TRACE(stored);
    if (session != nullptr) TearDown();
    session = nullptr;
    report = nullptr;
    if (stored)
      Open({"--size", "400x240", "--store-preview-output"});
    else
      Open({"--size", "400x240"});
    FilterRecord &r = session->record;
    g->previewArea = Rect16{0, 0, 100, 100};
    RequestPreviewArea(g, 4);
    ASSERT_EQ(result, 0);
    p->renderTarget = 1;
    g->previewWindow = session;
    UpdatePreviewImage(g);
    ASSERT_EQ(result, 0);
    DrawPreview(g, 0, kPreviewItem);
    const HostImage shown = session->display.image;
    ASSERT_EQ(shown.width, 100);
    ASSERT_EQ(shown.height, 60);
    // The next request makes the host take the preview's output.
    RequestPreviewArea(g, 4);
    ASSERT_EQ(result, 0);
    int32_t same = 0;
    for (int32_t y = 0; y < 60; y++)
      same += std::memcmp(HostImagePixel(session->destination, 0, y), HostImagePixel(shown, 0, y), 100 * 3) == 0;
    EXPECT_EQ(same, stored ? 60 : 0);

    p->renderTarget = 0;
    g->previewWindow = nullptr;
    StartRender(g);
    ASSERT_EQ(result, 0);
    int32_t continues = 0;
    while (!HostRectEmpty(r.inRect) && continues++ < 300) ASSERT_EQ(CallSelector(session, kSelectorContinue), 0);
    EXPECT_TRUE(HostRectEmpty(r.inRect));
    finished[stored] = session->destination.data;
    EXPECT_EQ(FinishHostSession(session), kHostStatusOk);
  }
  EXPECT_EQ(finished[1], finished[0]);
}

}  // namespace
