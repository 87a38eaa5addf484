// rect16.h -- routines on the host interface's rectangle: four signed 16-bit coordinates in the
// order top, left, bottom, right, bottom and right exclusive. They serve the host's request
// rectangles and the program's own image and control rectangles.
//
// Routines that take a rectangle pointer and are documented as such ignore a null pointer;
// the others expect valid pointers.
#ifndef KIVAGLOBE_PLUGIN_RECT16_H
#define KIVAGLOBE_PLUGIN_RECT16_H

#include "plugin/host_interface.h"

// Sets the four coordinates; note the argument order left, top, right, bottom. Null r: nothing.
void SetRect16(Rect16 *r, int16_t left, int16_t top, int16_t right, int16_t bottom);

// Copies, with the destination first, second, or with the source first (the two callers'
// conventions).
void CopyRect16(Rect16 *dst, const Rect16 *src);
void CopyRect16To(const Rect16 *src, Rect16 *dst);
void CopyRect16Twin(const Rect16 *src, Rect16 *dst);

// True when right <= left or bottom <= top.
bool IsEmptyRect16(const Rect16 *r);

// All four coordinates equal.
bool EqualRect16(const Rect16 *a, const Rect16 *b);

// Moves left and right by dh, top and bottom by dv. Null r: nothing.
void OffsetRect16(Rect16 *r, int16_t dh, int16_t dv);

// Moves each edge of r inside limit (left and top raised, right and bottom lowered). An empty
// result is left as it comes out.
void ClipRect16(Rect16 *r, const Rect16 *limit);

// Every coordinate := coordinate x num / den, truncating toward zero; den 0 counts as 1.
void ScaleRect16(Rect16 *r, int32_t num, int32_t den);

// left + dh, right - dh, top + dv, bottom - dv.
void InsetRect16(Rect16 *r, int16_t dh, int16_t dv);

// Moves r so that its centre (integer halves) is on's centre; the size is kept.
void CenterRect16On(Rect16 *r, const Rect16 *on);

// Insets r by 2 on every side, lowers its right and bottom so that its width and height are at
// most limit's, and copies the result to out. The first argument is not used.
void InsetAndLimitRect(const void *ignored, const Rect16 *limit, const Rect16 *r, Rect16 *out);

// True when left <= h < right and top <= v < bottom.
bool PointInRect(HostPoint point, const Rect16 *r);

#endif  // KIVAGLOBE_PLUGIN_RECT16_H
