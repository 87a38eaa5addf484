// preview.cpp -- the preview request, render and drawing, and the saved host request (see
// preview.h).
#include "plugin/preview.h"

#include "plugin/host_utils.h"
#include "plugin/rect16.h"
#include "plugin/row_loop.h"
#include "render/composite.h"
#include "render/render_setup.h"

bool HostSupportsPreview(const PluginGlobals *globals) {
  const FilterRecord *r = globals->filterRecord;
  return HostAdvanceStateAvailable(r->advanceState) && HostDisplayPixelsAvailable(r->displayPixels);
}

bool HostLacksSampling(const PluginGlobals *globals) {
  return !HostSupportsPreview(globals) || globals->filterRecord->samplingSupport == 0;
}

static int32_t CeilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }

void ComputeSampleFactor(const Rect16 *source, Rect16 *destination, int32_t *factor, PluginGlobals *globals) {
  const int32_t sw = source->right - source->left;
  const int32_t sh = source->bottom - source->top;
  const int32_t dw = destination->right - destination->left;
  const int32_t dh = destination->bottom - destination->top;
  int32_t mw = sw < dw ? sw : dw;
  int32_t mh = sh < dh ? sh : dh;
  // An empty source or area would divide by zero: such a rectangle needs no sampling.
  if (mw < 1) mw = 1;
  if (mh < 1) mh = 1;
  int32_t f = CeilDiv(sw, mw);
  const int32_t fh = CeilDiv(sh, mh);
  if (fh > f) f = fh;
  if (f < 1) f = 1;
  *destination = *source;
  ScaleRect16(destination, 1, f);
  globals->sampleFactor = f;
  *factor = HostLacksSampling(globals) ? 1 : f;
}

void RequestPreviewArea(PluginGlobals *globals, int32_t factor) {
  FilterRecord *r = globals->filterRecord;
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  r->inLoPlane = 0;
  r->outLoPlane = 0;
  r->inHiPlane = int16_t(r->planes - 1);
  r->outHiPlane = int16_t(r->planes - 1);
  if (HostLacksSampling(globals)) {
    factor = 1;
    p->zoomDivisor = 1;
  }
  if (factor < 1) factor = 1;

  const Rect16 filter = r->filterRect;
  Rect16 in = filter;
  const int32_t left = in.left + p->panX, right = in.right + p->panX;
  const int32_t top = in.top + p->panY, bottom = in.bottom + p->panY;
  // The pan is applied in 32 bits and clipped before it returns to 16-bit coordinates.
  in.left = int16_t(left < filter.left ? filter.left : (left > filter.right ? filter.right : left));
  in.right = int16_t(right > filter.right ? filter.right : (right < filter.left ? filter.left : right));
  in.top = int16_t(top < filter.top ? filter.top : (top > filter.bottom ? filter.bottom : top));
  in.bottom = int16_t(bottom > filter.bottom ? filter.bottom : (bottom < filter.top ? filter.top : bottom));
  ScaleRect16(&in, 1, factor);

  const Rect16 &area = globals->previewArea;
  if (in.right - in.left > area.right - area.left) in.right = int16_t(in.left + (area.right - area.left));
  if (in.bottom - in.top > area.bottom - area.top) in.bottom = int16_t(in.top + (area.bottom - area.top));

  r->inRect = in;
  r->maskRect = in;
  r->outRect = in;
  OffsetRect16(&r->outRect, int16_t(filter.left - in.left), int16_t(filter.top - in.top));
  if (r->hostSig == FourCC('P', 'S', 'P', '8') && factor >= 2) {
    OffsetRect16(&r->maskRect, int16_t(-r->maskRect.left), int16_t(-r->maskRect.top));
    OffsetRect16(&r->maskRect, int16_t(p->panX / factor), int16_t(p->panY / factor));
  }
  r->inputRate = factor * 65536;
  r->maskRate = factor * 65536;
  r->inputPadding = -1;
  r->outputPadding = -1;
  r->maskPadding = -1;
  const int32_t ft = filter.top;
  globals->maskRowFirst = r->maskRect.top - ft;
  globals->maskRowLast = r->maskRect.bottom - ft - 1;
  globals->inRowFirst = r->inRect.top - ft;
  globals->inRowLast = r->inRect.bottom - ft - 1;
  if (HostHasAdvanceState(globals)) {
    SetResult(globals, CallHostProc(r->advanceState));
    if (GetResult(globals) == kResultOk) RecordRectSize(globals, &r->inRect, factor);
  }
}

void RenderPreviewImage(PluginGlobals *globals) {
  AllocateWorkImage(globals);
  globals->maskRowFirst = globals->inRowFirst = 0;
  globals->maskRowLast = globals->inRowLast = globals->rowLast;
  BuildRunLookupTables(globals);
  if (GetResult(globals) != kResultOk) return;
  PrepareRenderConstants(globals);
  if (GetResult(globals) == kResultOk && HostSupportsPreview(globals) && globals->filterRecord->inData != nullptr)
    RunUntilDone(globals);
}

void UpdatePreviewImage(PluginGlobals *globals) {
  // The wait cursor of the dialog is shown around this render by the dialog.
  if (HostSupportsPreview(globals)) RenderPreviewImage(globals);
}

void (*gPreviewPainter)(PluginGlobals *globals) = nullptr;

void DrawPreview(PluginGlobals *globals, int32_t row, int item) {
  (void)row;
  (void)item;
  if (gPreviewPainter != nullptr) {
    gPreviewPainter(globals);
    return;
  }
  void *window = globals->previewWindow;
  FilterRecord *r = globals->filterRecord;
  if (window == nullptr || r->displayPixels == nullptr || r->outData == nullptr) return;
  void *context = AcquirePreviewContext(window);
  const Rect16 &area = globals->previewArea;
  const Rect16 &out = r->outRect;
  const int32_t width = out.right - out.left;
  const int32_t height = out.bottom - out.top;
  const int32_t dstCol = (area.left + area.right) / 2 - width / 2;
  const int32_t dstRow = (area.top + area.bottom) / 2 - height / 2;
  HostPixelMap map = {};
  map.version = 1;
  map.bounds.top = out.top;
  map.bounds.left = out.left;
  map.bounds.bottom = out.bottom;
  map.bounds.right = out.right;
  map.imageMode = r->imageMode;
  map.rowBytes = r->outRowBytes;
  // The output buffer holds the samples the compositor wrote: two bytes each in 16-bit
  // documents, which the map must say, or the host would show every other byte.
  const int32_t sampleBytes = HostChannelClass(r) == kChannelClass16 ? 2 : 1;
  map.colBytes = (r->outHiPlane - r->outLoPlane + 1) * sampleBytes;
  map.planeBytes = sampleBytes;
  map.baseAddr = r->outData;
  r->displayPixels(&map, &map.bounds, dstRow, dstCol, context);
  ReleasePreviewContext(window, context);
}

void RefreshPreviewDuringRender(PluginGlobals *globals, int32_t row) {
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || p->renderTarget != 1 || !HostSupportsPreview(globals)) return;
  const OSType4 sig = globals->filterRecord->hostSig;
  const bool slowHost = sig == FourCC('8', 'B', 'I', 'M') || sig == FourCC('8', 'E', 'L', 'E');
  if (slowHost && row % 100 != 99) return;
  DrawPreview(globals, row, kPreviewItem);
}

void SaveHostRequest(HostRequestRecord *record, const PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(const_cast<PluginGlobals *>(globals));
  const FilterRecord *r = globals->filterRecord;
  record->panX = p != nullptr ? p->panX : 0;
  record->panY = p != nullptr ? p->panY : 0;
  record->renderTarget = p != nullptr ? int32_t(p->renderTarget) : 0;
  record->zoomDivisor = p != nullptr ? int32_t(p->zoomDivisor) : 1;
  record->inRect = r->inRect;
  record->outRect = r->outRect;
  record->maskRect = r->maskRect;
  record->currentRow = globals->currentRow;
  record->filterTop = r->filterRect.top;
}

void RestoreHostRequest(const HostRequestRecord *record, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  FilterRecord *r = globals->filterRecord;
  if (p != nullptr) {
    p->panX = record->panX;
    p->panY = record->panY;
    p->renderTarget = uint32_t(record->renderTarget);
    p->zoomDivisor = uint32_t(record->zoomDivisor);
  }
  r->inRect = record->inRect;
  r->outRect = record->outRect;
  r->maskRect = record->maskRect;
  globals->currentRow = record->currentRow;
  if (record->renderTarget == 1) RequestPreviewArea(globals, record->zoomDivisor);
}

void ResetPreviewPan(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  p->panX = 0;
  p->panY = 0;
}
