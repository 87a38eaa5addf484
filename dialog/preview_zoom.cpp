// preview_zoom.cpp -- the preview's placement, zoom, pan and deep samples (see preview_zoom.h).
#include "dialog/preview_zoom.h"

#include <cstdio>
#include <cstring>

#include "dialog/control_ids.h"
#include "dialog/control_values.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"
#include "plugin/preview.h"
#include "plugin/rect16.h"

void PreviewImageOrigin(const Rect16 &frame, int32_t width, int32_t height, int32_t *left, int32_t *top) {
  *left = (frame.left + frame.right - width) / 2;
  *top = (frame.top + frame.bottom - height) / 2;
}

void FormatZoomLabel(uint32_t divisor, char *text, int size) {
  if (divisor < 1) divisor = 1;
  std::snprintf(text, size_t(size), "%u%%", unsigned(100 / divisor));
}

ZoomEnables ComputeZoomEnables(int32_t fitDivisor, uint32_t divisor, bool lacksSampling) {
  ZoomEnables e;
  e.zoomOut = int64_t(divisor) < fitDivisor;
  e.zoomIn = divisor >= 2;
  e.hundred = !(fitDivisor == 1 && divisor == 1);
  if (lacksSampling) e.zoomOut = e.zoomIn = e.hundred = false;
  return e;
}

void UpdateZoomFlags(PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  const ZoomEnables e = ComputeZoomEnables(globals->fitZoomDivisor, p->zoomDivisor, HostLacksSampling(globals));
  SetControlEnabledFlag(globals, kIdZoomOut, e.zoomOut);
  SetControlEnabledFlag(globals, kIdZoomIn, e.zoomIn);
  SetControlEnabledFlag(globals, kIdZoomLabel, e.hundred);
}

void HandleZoomCommand(PluginGlobals *globals, int id, bool *changed) {
  if (HostLacksSampling(globals)) return;
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  const int32_t old = int32_t(p->zoomDivisor);
  if (id == kIdZoomOut) {
    if (old >= globals->fitZoomDivisor) return;
    ZoomPreviewAt(globals, old, old + 1);
    p->zoomDivisor = uint32_t(old + 1);
    if (int32_t(p->zoomDivisor) == globals->fitZoomDivisor) {
      p->panX = 0;
      p->panY = 0;
    }
  } else if (id == kIdZoomIn) {
    if (old <= 1) return;
    ZoomPreviewAt(globals, old, old - 1);
    p->zoomDivisor = uint32_t(old - 1);
  } else if (id == kIdZoomLabel) {
    ZoomPreviewAt(globals, old, 1);
    p->zoomDivisor = 1;
  } else {
    return;
  }
  RequestPreviewArea(globals, int32_t(p->zoomDivisor));
  *changed = true;
}

void ClampPreviewPan(PluginGlobals *globals, int32_t divisor) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  if (divisor < 1) divisor = 1;
  if (p->panX < 0) p->panX = 0;
  if (p->panY < 0) p->panY = 0;
  Rect16 scaled = globals->filterRecord->filterRect;
  ScaleRect16(&scaled, 1, divisor);
  const Rect16 &area = globals->previewArea;
  int32_t maxX = (int32_t(scaled.right - scaled.left) - (area.right - area.left)) * divisor;
  int32_t maxY = (int32_t(scaled.bottom - scaled.top) - (area.bottom - area.top)) * divisor;
  if (maxX < 0) maxX = 0;
  if (maxY < 0) maxY = 0;
  if (p->panX > maxX) p->panX = maxX;
  if (p->panY > maxY) p->panY = maxY;
}

void ZoomPreviewAt(PluginGlobals *globals, int32_t oldDivisor, int32_t newDivisor) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  if (oldDivisor < 1) oldDivisor = 1;
  if (newDivisor < 1) newDivisor = 1;
  const FilterRecord *r = globals->filterRecord;
  // The in rectangle is in sampled pixels of the old divisor: its centre times that divisor is
  // the image point in the middle of the preview.
  const int32_t cx = (int32_t(r->inRect.left) + r->inRect.right) / 2 * oldDivisor;
  const int32_t cy = (int32_t(r->inRect.top) + r->inRect.bottom) / 2 * oldDivisor;
  const Rect16 &area = globals->previewArea;
  const int32_t w = (area.right - area.left) * newDivisor;
  const int32_t h = (area.bottom - area.top) * newDivisor;
  p->panX = cx - w / 2 - r->filterRect.left;
  p->panY = cy - h / 2 - r->filterRect.top;
  ClampPreviewPan(globals, newDivisor);
}

void SetCentreFromPoint(PluginGlobals *globals, int32_t x, int32_t y) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  const FilterRecord *r = globals->filterRecord;
  const int32_t width = r->outRect.right - r->outRect.left;
  const int32_t height = r->outRect.bottom - r->outRect.top;
  int32_t left, top;
  PreviewImageOrigin(globals->previewFrame, width, height, &left, &top);
  // Signed throughout, and the point kept on the image shown.
  if (x > left + width) x = left + width;
  if (x < left) x = left;
  if (y > top + height) y = top + height;
  if (y < top) y = top;
  const int32_t divisor = p->zoomDivisor < 1 ? 1 : int32_t(p->zoomDivisor);
  int32_t cx = (x - left) * divisor + p->panX;
  int32_t cy = (y - top) * divisor + p->panY;
  const int32_t filterWidth = r->filterRect.right - r->filterRect.left;
  const int32_t filterHeight = r->filterRect.bottom - r->filterRect.top;
  if (cx > filterWidth) cx = filterWidth;
  if (cy > filterHeight) cy = filterHeight;
  if (cx < 0) cx = 0;
  if (cy < 0) cy = 0;
  p->halfWidth = uint32_t(cx);
  p->halfHeight = uint32_t(cy);
  p->centerX = filterWidth > 0 ? float(cx) / float(filterWidth) : 0.5f;
  p->centerY = filterHeight > 0 ? float(cy) / float(filterHeight) : 0.5f;
}

bool PanStep(PluginGlobals *globals, int32_t x, int32_t y) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return false;
  const int32_t divisor = p->zoomDivisor < 1 ? 1 : int32_t(p->zoomDivisor);
  // dragPoint holds y, then x. The motion is multiplied by the divisor once (image pixels).
  const int32_t dx = int16_t(x - p->dragPoint[1]) * divisor;
  const int32_t dy = int16_t(y - p->dragPoint[0]) * divisor;
  p->dragPoint[0] = int16_t(y);
  p->dragPoint[1] = int16_t(x);
  if (dx == 0 && dy == 0) return false;
  p->dragMoved = 1;
  p->panX -= dx;
  p->panY -= dy;
  ClampPreviewPan(globals, divisor);
  return true;
}

const char *const kPreviewLowMemoryNotice = "Not enough memory to show the preview.";

const char *PreviewNotice(int16_t result) {
  switch (result) {
    case kResultOk:
      return nullptr;
    case kResultNoWorkImage:
    case kResultUserCanceled:   // the preview never asks the host's abort: only the row buffer says this
    case kResultMemFull:
      return kPreviewLowMemoryNotice;
    default:
      return "The preview could not be made.";
  }
}

uint8_t Sample16ToDisplay(uint16_t sample) {
  const uint32_t v = uint32_t(sample) >> 7;
  return uint8_t(v > 255 ? 255 : v);
}

DeepConversion PlanDeepConversion(const HostPixelMap &map, int32_t depth) {
  DeepConversion plan = {0, map.imageMode, map.rowBytes, 1};
  const int32_t height = map.bounds.bottom - map.bounds.top;
  if ((map.imageMode == kModeGray16 || map.imageMode == kModeRGB48) && depth == 16) {
    plan.sampleBytes = 2;
    plan.imageMode = map.imageMode == kModeGray16 ? kModeGrayScale : kModeRGB;
  } else if (map.imageMode == kModeRGB96 || map.imageMode == kModeGray32 || depth == 32) {
    plan.sampleBytes = 4;
    if (map.imageMode == kModeRGB96) plan.imageMode = kModeRGB;
    if (map.imageMode == kModeGray32) plan.imageMode = kModeGrayScale;
  } else {
    return plan;
  }
  plan.rowBytes = map.rowBytes / plan.sampleBytes;
  plan.bytes = height > 0 && plan.rowBytes > 0 ? plan.rowBytes * height : 0;
  return plan;
}

void ConvertDeepPixels(const HostPixelMap &map, const DeepConversion &plan, uint8_t *out) {
  const uint8_t *in = static_cast<const uint8_t *>(map.baseAddr);
  for (int32_t i = 0; i < plan.bytes; i++) {
    if (plan.sampleBytes == 2) {
      uint16_t s;
      std::memcpy(&s, in + size_t(i) * 2, 2);
      out[i] = Sample16ToDisplay(s);
    } else {
      float f;
      std::memcpy(&f, in + size_t(i) * 4, 4);
      out[i] = uint8_t(FloatToByte(f));
    }
  }
}
