// Rectangle routines: argument orders, truncation, and the edge cases the callers rely on.
#include <gtest/gtest.h>

#include "plugin/rect16.h"

namespace {

Rect16 R(int top, int left, int bottom, int right) {
  return Rect16{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}

void ExpectRect(const Rect16 &r, int top, int left, int bottom, int right) {
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.bottom, bottom);
  EXPECT_EQ(r.right, right);
}

TEST(Rect16Test, SetTakesLeftTopRightBottom) {
  Rect16 r{};
  SetRect16(&r, 1, 2, 3, 4);
  ExpectRect(r, 2, 1, 4, 3);
  SetRect16(nullptr, 1, 2, 3, 4);   // ignored
}

TEST(Rect16Test, CopiesGoTheWayTheirArgumentsSay) {
  Rect16 a = R(1, 2, 3, 4), b{};
  CopyRect16(&b, &a);
  ExpectRect(b, 1, 2, 3, 4);
  Rect16 c{}, d{};
  CopyRect16To(&a, &c);
  CopyRect16Twin(&a, &d);
  EXPECT_TRUE(EqualRect16(&c, &a));
  EXPECT_TRUE(EqualRect16(&d, &a));
  Rect16 e = R(1, 2, 3, 5);
  EXPECT_FALSE(EqualRect16(&e, &a));
}

TEST(Rect16Test, EmptyMeansNoPixel) {
  Rect16 pixel = R(0, 0, 1, 1), flat = R(5, 0, 5, 10), thin = R(0, 5, 10, 5), inverted = R(3, 3, 1, 9);
  EXPECT_FALSE(IsEmptyRect16(&pixel));
  EXPECT_TRUE(IsEmptyRect16(&flat));
  EXPECT_TRUE(IsEmptyRect16(&thin));
  EXPECT_TRUE(IsEmptyRect16(&inverted));
}

TEST(Rect16Test, OffsetAndInset) {
  Rect16 r = R(10, 20, 30, 40);
  OffsetRect16(&r, 5, -3);
  ExpectRect(r, 7, 25, 27, 45);
  OffsetRect16(nullptr, 1, 1);
  InsetRect16(&r, 2, 3);
  ExpectRect(r, 10, 27, 24, 43);
  InsetRect16(&r, -2, -3);
  ExpectRect(r, 7, 25, 27, 45);
}

TEST(Rect16Test, ClipMovesEachEdgeInsideAndLeavesAnEmptyResultAsItIs) {
  Rect16 limit = R(0, 0, 100, 200);
  Rect16 r = R(-10, 150, 50, 300);
  ClipRect16(&r, &limit);
  ExpectRect(r, 0, 150, 50, 200);
  Rect16 outside = R(120, 250, 130, 260);
  ClipRect16(&outside, &limit);
  ExpectRect(outside, 120, 250, 100, 200);   // not normalised
  EXPECT_TRUE(IsEmptyRect16(&outside));
}

TEST(Rect16Test, ScaleTruncatesTowardZeroAndTreatsAZeroDivisorAsOne) {
  Rect16 r = R(10, 10, 20, 20);
  ScaleRect16(&r, 1, 3);
  ExpectRect(r, 3, 3, 6, 6);
  Rect16 same = R(10, 10, 20, 20);
  ScaleRect16(&same, 1, 0);
  ExpectRect(same, 10, 10, 20, 20);
  Rect16 negative = R(-7, -1, 7, 1);
  ScaleRect16(&negative, 1, 2);
  ExpectRect(negative, -3, 0, 3, 0);
  Rect16 up = R(1, 2, 3, 4);
  ScaleRect16(&up, 4, 1);
  ExpectRect(up, 4, 8, 12, 16);
}

TEST(Rect16Test, CenterKeepsTheSizeAndUsesIntegerHalves) {
  Rect16 on = R(0, 0, 11, 21);   // centre (10, 5)
  Rect16 r = R(100, 100, 103, 105);   // 5 x 3
  CenterRect16On(&r, &on);
  ExpectRect(r, 4, 8, 7, 13);
  Rect16 big = R(0, 0, 40, 40);
  CenterRect16On(&big, &on);
  ExpectRect(big, -15, -10, 25, 30);
}

TEST(Rect16Test, InsetAndLimitMakesThePreviewArea) {
  Rect16 image = R(0, 0, 150, 250);
  Rect16 control = R(10, 20, 310, 320), area{};
  InsetAndLimitRect(nullptr, &image, &control, &area);
  ExpectRect(area, 12, 22, 162, 272);
  Rect16 largeImage = R(0, 0, 1000, 1000), area2{};
  InsetAndLimitRect(nullptr, &largeImage, &control, &area2);
  ExpectRect(area2, 12, 22, 308, 318);
}

TEST(Rect16Test, PointInRectIsHalfOpen) {
  Rect16 r = R(10, 20, 30, 40);
  EXPECT_TRUE(PointInRect(HostPoint{10, 20}, &r));
  EXPECT_TRUE(PointInRect(HostPoint{29, 39}, &r));
  EXPECT_FALSE(PointInRect(HostPoint{30, 39}, &r));
  EXPECT_FALSE(PointInRect(HostPoint{29, 40}, &r));
  EXPECT_FALSE(PointInRect(HostPoint{9, 25}, &r));
  // v is the vertical coordinate: a point packed the other way round misses.
  EXPECT_FALSE(PointInRect(HostPoint{35, 15}, &r));
}

}  // namespace
