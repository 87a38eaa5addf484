// delivery.h -- what advanceState hands the plug-in: copies of exactly the rectangles and
// planes it asked for, and the way its output goes back into the document.
//
// The host keeps three images during a run, as an editor does: the source (what the plug-in
// reads through inData, unchanged until the run ends), the destination (what it writes
// through outData, first a copy of the source) and the selection mask. A request is clamped to
// the document, then copied into a PlaneBuffer of its own: rows of the rectangle's width,
// `hi - lo + 1` interleaved samples per pixel. When the plug-in asks for the next rectangle or
// returns, the output buffer is copied back into the destination. At the end of the run the
// destination is blended with the source through the selection.
//
// Sampled requests (the preview of a dialog): the host offers integral sampling steps. With an
// input rate of k (16.16 fixed point, k x 65536) the input and mask rectangles are in sampled
// coordinates: sampled pixel (x, y) is document pixel (k x, k y), so a document of w x h
// pixels is ceil(w / k) x ceil(h / k) sampled pixels wide and high. The output rectangle is
// never sampled.
#ifndef KIVAGLOBE_HOST_DELIVERY_H
#define KIVAGLOBE_HOST_DELIVERY_H

#include <cstdint>
#include <vector>

#include "host/document.h"
#include "plugin/host_interface.h"

struct PlaneBuffer {
  Rect16 rect;       // the clamped rectangle the bytes hold
  int32_t loPlane;   // first plane held
  int32_t hiPlane;   // last plane held; hiPlane < loPlane when no plane was asked for
  int32_t rowBytes;
  std::vector<uint8_t> bytes;
};

// True when `rect` holds no pixel.
inline bool HostRectEmpty(const Rect16 &rect) { return rect.bottom <= rect.top || rect.right <= rect.left; }

// `rect` with every edge moved inside 0..width and 0..height. An empty result is returned as
// the empty rectangle at its clamped top-left corner (bottom = top, right = left).
Rect16 ClampRectToImage(const Rect16 &rect, int32_t width, int32_t height);

// The sampling step of a 16.16 rate: its whole part, at least 1. The host samples in whole
// steps only, so the fraction of a fractional rate is dropped.
int32_t SampleStep(Fixed32 rate);

// Fills `buffer` from `image` for `rect` (already clamped; in sampled coordinates when `step`
// is above 1: every step-th pixel of every step-th row) and planes lo..hi (clamped to the
// image's channels). Leaves `buffer` empty (no bytes, rowBytes 0) when the rectangle or the
// plane range is empty; returns whether it holds data.
bool FillPlaneBuffer(const HostImage &image, const Rect16 &rect, int32_t loPlane, int32_t hiPlane,
                     PlaneBuffer *buffer, int32_t step = 1);

// Copies what `buffer` holds back into the same rectangle and planes of `image`.
void StorePlaneBuffer(const PlaneBuffer &buffer, HostImage *image);

// The end of a run on a selection: every sample of `destination` becomes
// source + (destination - source) x mask / 255, rounded to nearest.
void BlendThroughMask(const HostImage &source, const HostImage &mask, HostImage *destination);

#endif  // KIVAGLOBE_HOST_DELIVERY_H
