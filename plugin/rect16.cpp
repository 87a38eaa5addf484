// rect16.cpp -- rectangle routines (see rect16.h).
//
// Arithmetic is done in 32 bits and stored back into the 16-bit fields; rectangles of the
// host never come near the 16-bit limits, so the narrowing only matters for nonsense input,
// where it wraps instead of trapping.
#include "plugin/rect16.h"

void SetRect16(Rect16 *r, int16_t left, int16_t top, int16_t right, int16_t bottom) {
  if (r == nullptr) return;
  r->top = top;
  r->left = left;
  r->bottom = bottom;
  r->right = right;
}

void CopyRect16(Rect16 *dst, const Rect16 *src) { *dst = *src; }
void CopyRect16To(const Rect16 *src, Rect16 *dst) { *dst = *src; }
void CopyRect16Twin(const Rect16 *src, Rect16 *dst) { *dst = *src; }

bool IsEmptyRect16(const Rect16 *r) { return r->right <= r->left || r->bottom <= r->top; }

bool EqualRect16(const Rect16 *a, const Rect16 *b) {
  return a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}

void OffsetRect16(Rect16 *r, int16_t dh, int16_t dv) {
  if (r == nullptr) return;
  r->left = int16_t(r->left + dh);
  r->right = int16_t(r->right + dh);
  r->top = int16_t(r->top + dv);
  r->bottom = int16_t(r->bottom + dv);
}

void ClipRect16(Rect16 *r, const Rect16 *limit) {
  if (r->left < limit->left) r->left = limit->left;
  if (r->top < limit->top) r->top = limit->top;
  if (r->right > limit->right) r->right = limit->right;
  if (r->bottom > limit->bottom) r->bottom = limit->bottom;
}

void ScaleRect16(Rect16 *r, int32_t num, int32_t den) {
  if (den == 0) den = 1;
  // C++ division truncates toward zero, as the routine promises.
  r->top = int16_t(int32_t(r->top) * num / den);
  r->left = int16_t(int32_t(r->left) * num / den);
  r->bottom = int16_t(int32_t(r->bottom) * num / den);
  r->right = int16_t(int32_t(r->right) * num / den);
}

void InsetRect16(Rect16 *r, int16_t dh, int16_t dv) {
  r->left = int16_t(r->left + dh);
  r->right = int16_t(r->right - dh);
  r->top = int16_t(r->top + dv);
  r->bottom = int16_t(r->bottom - dv);
}

void CenterRect16On(Rect16 *r, const Rect16 *on) {
  int32_t w = r->right - r->left;
  int32_t h = r->bottom - r->top;
  int32_t cx = (on->left + on->right) / 2;
  int32_t cy = (on->top + on->bottom) / 2;
  r->left = int16_t(cx - w / 2);
  r->right = int16_t(r->left + w);
  r->top = int16_t(cy - h / 2);
  r->bottom = int16_t(r->top + h);
}

void InsetAndLimitRect(const void *, const Rect16 *limit, const Rect16 *r, Rect16 *out) {
  Rect16 inset = *r;
  InsetRect16(&inset, 2, 2);
  int32_t limitWidth = limit->right - limit->left;
  int32_t limitHeight = limit->bottom - limit->top;
  if (inset.right - inset.left > limitWidth) inset.right = int16_t(inset.left + limitWidth);
  if (inset.bottom - inset.top > limitHeight) inset.bottom = int16_t(inset.top + limitHeight);
  *out = inset;
}

bool PointInRect(HostPoint point, const Rect16 *r) {
  return r->left <= point.h && point.h < r->right && r->top <= point.v && point.v < r->bottom;
}
