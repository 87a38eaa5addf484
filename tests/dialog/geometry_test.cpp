// Slider and direction-ball geometry, the hit test and the swatch colours; the expected
// numbers are worked by hand from the dialog's drawing rules.
#include <gtest/gtest.h>

#include "dialog/control_geometry.h"
#include "dialog/control_values.h"
#include "tests/dialog/dialog_fixture.h"

TEST(SliderGeometry, ThumbPositions) {
  const LayoutRect r = GetDialogLayoutRect(37);   // 135 x 12 at x 130
  EXPECT_EQ(SliderThumbPosition(r, 0, 0, 100), 131);
  EXPECT_EQ(SliderThumbPosition(r, 100, 0, 100), 130 + 1 + 135 - 15);
  EXPECT_EQ(SliderThumbPosition(r, 57, 0, 100), 130 + 69);
  // A vertical slider counts from the bottom.
  const LayoutRect v = {10, 10, 22, 125};
  EXPECT_EQ(SliderThumbPosition(v, 0, 0, 100), 125 - 14);
  EXPECT_EQ(SliderThumbPosition(v, 100, 0, 100), 125 - 14 - 100);
  // An empty range divides by 1.
  EXPECT_EQ(SliderThumbPosition(r, 5, 5, 5), 131);
}

TEST(SliderGeometry, DragValuesStayInRange) {
  const LayoutRect r = GetDialogLayoutRect(37);
  EXPECT_EQ(SliderValueAt(r, 130 + 5 + 60, 25, 0, 100), 49);
  EXPECT_EQ(SliderValueAt(r, 130 + 5 + 121, 25, 0, 100), 100);
  EXPECT_EQ(SliderValueAt(r, 130 + 5, 25, 0, 100), 0);
  EXPECT_EQ(SliderValueAt(r, 130 + 5 + 1, 25, 0, 100), 0);
  EXPECT_EQ(SliderValueAt(r, 130 + 5 + 2, 25, 0, 100), 1);
  // Past the dialog's left edge the point is negative (not a large unsigned number).
  EXPECT_EQ(SliderValueAt(r, -40, 25, 0, 100), 0);
  EXPECT_EQ(SliderValueAt(r, -32768, 25, 0, 100), 0);
  EXPECT_EQ(SliderValueAt(r, 5000, 25, 0, 100), 100);
  EXPECT_EQ(SliderValueAt(r, 32767, 25, 0, 100), 100);
}

TEST(DirectionBall, Drawing) {
  const LayoutRect r = GetDialogLayoutRect(112);
  const float light[3] = {-0.68f, -0.68f, 0.2742261f};
  BallDrawing d = DirectionBallDrawing(r, light);
  EXPECT_EQ(d.tipX, 335 + 20);
  EXPECT_EQ(d.tipY, 11 + 19);
  EXPECT_EQ(d.startX, 335 + 34);
  EXPECT_EQ(d.startY, 11 + 33);
  EXPECT_EQ(d.lineColor, 0x00FFFFu);
  const float axis[3] = {0, -1, 0};
  d = DirectionBallDrawing(r, axis);
  EXPECT_EQ(d.tipX, 335 + 42);
  EXPECT_EQ(d.tipY, 11 + 8);
  EXPECT_EQ(d.startX, 335 + 41);
  EXPECT_EQ(d.startY, 11 + 29);
  const float away[3] = {0, 0, -1};
  EXPECT_EQ(DirectionBallDrawing(r, away).lineColor, 0xFF00FFu);
}

TEST(DirectionBall, Dragging) {
  const LayoutRect r = GetDialogLayoutRect(100);
  float v[3];
  DirectionBallVectorAt(r, r.left + 43 + 66, r.top + 41, false, v);
  EXPECT_FLOAT_EQ(v[0], 1);
  EXPECT_FLOAT_EQ(v[1], 0);
  EXPECT_FLOAT_EQ(v[2], 0);
  DirectionBallVectorAt(r, r.left + 43 + 20, r.top + 41 + 20, false, v);
  EXPECT_NEAR(v[0], 0.6061, 1e-4);
  EXPECT_NEAR(v[1], 0.6061, 1e-4);
  EXPECT_NEAR(v[2], 0.5152, 1e-4);
  DirectionBallVectorAt(r, r.left + 80, r.top + 5, true, v);
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(v[2], 1);
  // At the centre, and far outside: unit length, never behind the ball.
  for (int k = -300; k <= 300; k += 37) {
    DirectionBallVectorAt(r, r.left + 43 + k, r.top + 41 - k / 2, false, v);
    EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0, 1e-5) << k;
    EXPECT_GE(v[2], 0) << k;
  }
}

TEST(SwatchColours, HighBytes) {
  const uint16_t land[3] = {0x3B1C, 0x42D1, 0x9CC5};
  EXPECT_EQ(Rgb16ToColorRef(land), 0x9C423Bu);   // RGB (59, 66, 156)
  uint16_t rgb[3];
  ColorRefToRgb16(0x0080FF, rgb);   // RGB (255, 128, 0)
  EXPECT_EQ(rgb[0], 0xFF00);
  EXPECT_EQ(rgb[1], 0x8000);
  EXPECT_EQ(rgb[2], 0x0000);
}

using HitTest = DialogTest;

TEST_F(HitTest, TrackedKindsOnlyEnabledLowestFirst) {
  EXPECT_EQ(HitTestControls(nullptr, 140, 25, globals, LayoutControlRect), 37);    // slider
  EXPECT_EQ(HitTestControls(nullptr, 600, 200, globals, LayoutControlRect), 18);   // preview
  EXPECT_EQ(HitTestControls(nullptr, 70, 25, globals, LayoutControlRect), -1);     // its label
  EXPECT_EQ(HitTestControls(nullptr, 280, 20, globals, LayoutControlRect), -1);    // its edit
  EXPECT_EQ(HitTestControls(nullptr, 315, 20, globals, LayoutControlRect), -1);    // a swatch
  EXPECT_EQ(HitTestControls(nullptr, 150, 610, globals, LayoutControlRect), -1);   // the combo
  EXPECT_EQ(HitTestControls(nullptr, 360, 50, globals, LayoutControlRect), 112);   // a ball
  EXPECT_EQ(HitTestControls(nullptr, 20, 610, globals, LayoutControlRect), 25);    // About
  EXPECT_EQ(HitTestControls(nullptr, 434, 389, globals, LayoutControlRect), 121);  // a dot
  EXPECT_EQ(HitTestControls(nullptr, 445, 389, globals, LayoutControlRect), -1);   // right edge excluded
  EXPECT_EQ(HitTestControls(nullptr, -5, 25, globals, LayoutControlRect), -1);
  SetControlEnabledFlag(globals, 37, false);
  EXPECT_EQ(HitTestControls(nullptr, 140, 25, globals, LayoutControlRect), -1);
  // Overlapping candidates: the lower id wins.
  auto everywhere = [](void *, int, LayoutRect *r) {
    *r = LayoutRect{0, 0, 10, 10};
    return true;
  };
  EXPECT_EQ(HitTestControls(nullptr, 5, 5, globals, everywhere), 10);
  SetControlEnabledFlag(globals, 10, false);
  EXPECT_EQ(HitTestControls(nullptr, 5, 5, globals, everywhere), 11);
}
