// The preview's placement, zoom, pan and deep samples. The numbers of the 1000 x 600 image in
// the dialog's 496 x 382 preview area are worked by hand: it fits at divisor 3, as a
// 333 x 200 picture at (533, 95).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dialog/control_ids.h"
#include "dialog/control_values.h"
#include "dialog/preview_zoom.h"
#include "plugin/preview.h"
#include "plugin/rect16.h"
#include "tests/dialog/dialog_fixture.h"

TEST(ZoomLabel, Percentages) {
  char text[16];
  FormatZoomLabel(1, text, sizeof text);
  EXPECT_STREQ(text, "100%");
  FormatZoomLabel(3, text, sizeof text);
  EXPECT_STREQ(text, "33%");
  FormatZoomLabel(7, text, sizeof text);
  EXPECT_STREQ(text, "14%");
  FormatZoomLabel(0, text, sizeof text);
  EXPECT_STREQ(text, "100%");
}

TEST(ZoomLabel, Enables) {
  ZoomEnables e = ComputeZoomEnables(3, 3, false);
  EXPECT_FALSE(e.zoomOut);
  EXPECT_TRUE(e.zoomIn);
  EXPECT_TRUE(e.hundred);
  e = ComputeZoomEnables(3, 1, false);
  EXPECT_TRUE(e.zoomOut);
  EXPECT_FALSE(e.zoomIn);
  EXPECT_TRUE(e.hundred);
  e = ComputeZoomEnables(1, 1, false);   // the whole image fits at 100%
  EXPECT_FALSE(e.zoomOut || e.zoomIn || e.hundred);
  e = ComputeZoomEnables(3, 2, true);    // no sampling
  EXPECT_FALSE(e.zoomOut || e.zoomIn || e.hundred);
}

class ZoomTest : public DialogTest {
 protected:
  // The dialog's preview: control 18 inset by 2 and limited to the filter size.
  void OpenPreview() {
    Rect16 control = {2, 450, 388, 950};
    globals->previewFrame = control;
    InsetRect16(&globals->previewFrame, 2, 2);
    InsetAndLimitRect(nullptr, &host.record.filterRect, &control, &globals->previewArea);
    Rect16 sampled = globals->previewArea;
    int32_t factor = 1;
    ComputeSampleFactor(&host.record.filterRect, &sampled, &factor, globals);
    globals->fitZoomDivisor = factor;
    Params()->zoomDivisor = uint32_t(factor);
    Params()->panX = Params()->panY = 0;
    RequestPreviewArea(globals, factor);
  }
};

TEST_F(ZoomTest, FitDivisorAndCentringClick) {
  OpenPreview();
  EXPECT_EQ(globals->fitZoomDivisor, 3);
  EXPECT_EQ(host.record.outRect.right - host.record.outRect.left, 333);
  EXPECT_EQ(host.record.outRect.bottom - host.record.outRect.top, 200);
  int32_t left, top;
  PreviewImageOrigin(globals->previewFrame, 333, 200, &left, &top);
  EXPECT_EQ(left, 533);
  EXPECT_EQ(top, 95);
  SetCentreFromPoint(globals, 633, 145);
  EXPECT_FLOAT_EQ(Params()->centerX, 0.3f);
  EXPECT_FLOAT_EQ(Params()->centerY, 0.25f);
  EXPECT_EQ(Params()->halfWidth, 300u);
  EXPECT_EQ(Params()->halfHeight, 150u);
  // Clicks in the white margin take the nearest edge of the picture.
  SetCentreFromPoint(globals, 460, 10);
  EXPECT_EQ(Params()->centerX, 0.0f);
  EXPECT_EQ(Params()->centerY, 0.0f);
  EXPECT_EQ(Params()->halfWidth, 0u);
  SetCentreFromPoint(globals, 945, 380);
  EXPECT_FLOAT_EQ(Params()->centerX, 0.999f);
  EXPECT_FLOAT_EQ(Params()->centerY, 1.0f);
  SetCentreFromPoint(globals, -20000, 20000);
  EXPECT_GE(Params()->centerX, 0.0f);
  EXPECT_LE(Params()->centerY, 1.0f);
}

TEST_F(ZoomTest, PanLimits) {
  OpenPreview();
  ParameterBlock *p = Params();
  p->panX = 100000;
  p->panY = 100000;
  ClampPreviewPan(globals, 1);
  EXPECT_EQ(p->panX, 504);
  EXPECT_EQ(p->panY, 218);
  p->panX = 100000;
  p->panY = 100000;
  ClampPreviewPan(globals, 2);
  EXPECT_EQ(p->panX, 8);
  EXPECT_EQ(p->panY, 0);
  p->panX = -7;
  p->panY = -1;
  ClampPreviewPan(globals, 1);
  EXPECT_EQ(p->panX, 0);
  EXPECT_EQ(p->panY, 0);
}

TEST_F(ZoomTest, ZoomStepsAndTheirLimits) {
  OpenPreview();
  ParameterBlock *p = Params();
  bool changed = false;
  const int advances = host.advanceStateCalls;
  HandleZoomCommand(globals, kIdZoomOut, &changed);   // at the fit divisor: nothing
  EXPECT_FALSE(changed);
  EXPECT_EQ(p->zoomDivisor, 3u);
  EXPECT_EQ(host.advanceStateCalls, advances);
  HandleZoomCommand(globals, kIdZoomIn, &changed);
  EXPECT_TRUE(changed);
  EXPECT_EQ(p->zoomDivisor, 2u);
  EXPECT_EQ(host.advanceStateCalls, advances + 1);
  // The picture's centre (166 x 3, 100 x 3) = (498, 300) stays in the middle of the
  // 992 x 764 pixels shown at 2: pan 498 - 496 = 2 across; nothing down (the image is lower).
  EXPECT_EQ(p->panX, 2);
  EXPECT_EQ(p->panY, 0);
  changed = false;
  HandleZoomCommand(globals, kIdZoomLabel, &changed);
  EXPECT_TRUE(changed);
  EXPECT_EQ(p->zoomDivisor, 1u);
  // 100%: the centre (about 500, 300) in the middle of the 496 x 382 area.
  EXPECT_NEAR(p->panX, 500 - 248, 4);
  EXPECT_NEAR(p->panY, 300 - 191, 4);
  changed = false;
  HandleZoomCommand(globals, kIdZoomIn, &changed);   // already at 1
  EXPECT_FALSE(changed);
  HandleZoomCommand(globals, kIdZoomOut, &changed);
  HandleZoomCommand(globals, kIdZoomOut, &changed);
  EXPECT_EQ(p->zoomDivisor, 3u);
  EXPECT_EQ(p->panX, 0);   // the step that reaches the fit divisor clears the pan
  EXPECT_EQ(p->panY, 0);
  // Enables follow.
  UpdateZoomFlags(globals);
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomOut));
  EXPECT_TRUE(IsControlEnabled(globals, kIdZoomIn));
  EXPECT_TRUE(IsControlEnabled(globals, kIdZoomLabel));
  // A host that cannot sample: nothing moves, everything greyed.
  host.record.samplingSupport = 0;
  changed = false;
  HandleZoomCommand(globals, kIdZoomIn, &changed);
  EXPECT_FALSE(changed);
  UpdateZoomFlags(globals);
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomIn));
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomLabel));
}

TEST_F(ZoomTest, ZoomInAndOutAgainKeepsThePan) {
  // 3000 x 2000 fits at 7; between 1 and 2 the pan has room enough not to be clamped.
  SetUpHost(3000, 2000);
  OpenPreview();
  EXPECT_EQ(globals->fitZoomDivisor, 7);
  ParameterBlock *p = Params();
  bool changed = false;
  HandleZoomCommand(globals, kIdZoomLabel, &changed);
  p->panX = 1000;
  p->panY = 600;
  RequestPreviewArea(globals, 1);
  HandleZoomCommand(globals, kIdZoomOut, &changed);
  EXPECT_EQ(p->zoomDivisor, 2u);
  // The point in the middle, (1248, 791), is again in the middle of 992 x 764.
  EXPECT_NEAR(p->panX, 1248 - 496, 1);
  EXPECT_NEAR(p->panY, 791 - 382, 1);
  HandleZoomCommand(globals, kIdZoomIn, &changed);
  EXPECT_EQ(p->zoomDivisor, 1u);
  EXPECT_NEAR(p->panX, 1000, 2);
  EXPECT_NEAR(p->panY, 600, 2);
}

TEST_F(ZoomTest, SmallImageNeverPans) {
  SetUpHost(200, 100);
  OpenPreview();
  EXPECT_EQ(globals->fitZoomDivisor, 1);
  ParameterBlock *p = Params();
  p->panX = 50;
  p->panY = 50;
  ClampPreviewPan(globals, 1);
  EXPECT_EQ(p->panX, 0);
  EXPECT_EQ(p->panY, 0);
  UpdateZoomFlags(globals);
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomIn));
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomOut));
  EXPECT_FALSE(IsControlEnabled(globals, kIdZoomLabel));
  // The picture sits in the middle of the whole preview frame, not at its left: a click on
  // its centre is the image's centre.
  int32_t left, top;
  PreviewImageOrigin(globals->previewFrame, 200, 100, &left, &top);
  EXPECT_EQ(left, 600);
  EXPECT_EQ(top, 145);
  SetCentreFromPoint(globals, 700, 195);
  EXPECT_FLOAT_EQ(p->centerX, 0.5f);
  EXPECT_FLOAT_EQ(p->centerY, 0.5f);
}

TEST_F(ZoomTest, PanDragMovesAgainstTheMouseOncePerPixel) {
  OpenPreview();
  ParameterBlock *p = Params();
  bool changed = false;
  HandleZoomCommand(globals, kIdZoomIn, &changed);   // 2: pan room 8 x 0
  HandleZoomCommand(globals, kIdZoomIn, &changed);   // 1: room 504 x 218
  p->panX = 200;
  p->panY = 100;
  p->dragPoint[0] = 200;   // y
  p->dragPoint[1] = 600;   // x
  p->dragMoved = 0;
  EXPECT_FALSE(PanStep(globals, 600, 200));
  EXPECT_EQ(p->dragMoved, 0);
  EXPECT_TRUE(PanStep(globals, 590, 195));
  EXPECT_EQ(p->panX, 210);
  EXPECT_EQ(p->panY, 105);
  EXPECT_EQ(p->dragMoved, 1);
  EXPECT_EQ(p->dragPoint[1], 590);
  EXPECT_EQ(p->dragPoint[0], 195);
  EXPECT_TRUE(PanStep(globals, 2000, 2000));   // far away: held at the image's edge
  EXPECT_EQ(p->panX, 0);
  EXPECT_EQ(p->panY, 0);
  EXPECT_TRUE(PanStep(globals, -3000, -3000));
  EXPECT_EQ(p->panX, 504);
  EXPECT_EQ(p->panY, 218);
}

TEST(DeepPreview, SixteenBitAndFloatSamples) {
  EXPECT_EQ(Sample16ToDisplay(32768), 255);
  EXPECT_EQ(Sample16ToDisplay(32767), 255);
  EXPECT_EQ(Sample16ToDisplay(256), 2);
  EXPECT_EQ(Sample16ToDisplay(16383), 127);
  EXPECT_EQ(Sample16ToDisplay(65535), 255);
  EXPECT_EQ(Sample16ToDisplay(0), 0);

  uint16_t rgb48[2][6] = {{32768, 256, 0, 16383, 128, 127}, {1, 2, 3, 4, 5, 32767}};
  HostPixelMap map = {};
  map.bounds = HostVRect{0, 0, 2, 2};
  map.imageMode = kModeRGB48;
  map.rowBytes = 12;
  map.baseAddr = rgb48;
  DeepConversion plan = PlanDeepConversion(map, 16);
  EXPECT_EQ(plan.imageMode, kModeRGB);
  EXPECT_EQ(plan.rowBytes, 6);
  EXPECT_EQ(plan.bytes, 12);
  uint8_t out[12];
  ConvertDeepPixels(map, plan, out);
  const uint8_t expected[12] = {255, 2, 0, 127, 1, 0, 0, 0, 0, 0, 0, 255};
  EXPECT_EQ(std::memcmp(out, expected, 12), 0);
  map.imageMode = kModeGray16;
  EXPECT_EQ(PlanDeepConversion(map, 16).imageMode, kModeGrayScale);

  float grey[2] = {0.5f, 2.0f};
  map.imageMode = kModeGray32;
  map.rowBytes = 8;
  map.bounds = HostVRect{0, 0, 1, 2};
  map.baseAddr = grey;
  plan = PlanDeepConversion(map, 32);
  EXPECT_EQ(plan.imageMode, kModeGrayScale);
  EXPECT_EQ(plan.bytes, 2);
  uint8_t g[2];
  ConvertDeepPixels(map, plan, g);
  EXPECT_EQ(g[0], 127);
  EXPECT_EQ(g[1], 255);
  map.imageMode = kModeRGB96;
  EXPECT_EQ(PlanDeepConversion(map, 32).imageMode, kModeRGB);
  // 8-bit maps go to the host as they are.
  map.imageMode = kModeRGB;
  EXPECT_EQ(PlanDeepConversion(map, 8).bytes, 0);
}
