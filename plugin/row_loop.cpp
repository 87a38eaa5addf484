// row_loop.cpp -- the row loop of a filter run (see row_loop.h).
//
// The request rectangles are in the host's document coordinates; the row bounds kept in the
// globals (inRowFirst .. inRowLast, maskRowFirst .. maskRowLast) are relative to the filter
// rectangle's top, which is how the renderer addresses its rows. The only exception is a render
// into the export image: there the filter rectangle starts at 0 while the selection mask is
// still the host's, so the mask request is moved back into the document.
#include "plugin/row_loop.h"

#include "plugin/host_utils.h"
#include "plugin/preview.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"

ExportProgressProc gExportProgressProc = nullptr;

// Progress and abort are both polled once every this many rows.
static constexpr uint32_t kCadence = 32;
// A jump of at least this many rows since the last report is reported at once.
static constexpr int32_t kProgressJump = 5;

bool HostHasAdvanceState(const PluginGlobals *globals) {
  return HostAdvanceStateAvailable(globals->filterRecord->advanceState);
}

static uint32_t RenderTargetOf(const PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(const_cast<PluginGlobals *>(globals));
  return p != nullptr ? p->renderTarget : 0;
}

// The part of a request shared by the row and the whole-rectangle requests: planes, rates,
// paddings, row bounds and the export image's mask offset.
static void FinishRequest(PluginGlobals *globals) {
  FilterRecord *r = globals->filterRecord;
  r->inLoPlane = 0;
  r->outLoPlane = 0;
  r->inHiPlane = int16_t(r->planes - 1);
  r->outHiPlane = int16_t(r->planes - 1);
  r->inputRate = 0x10000;
  r->maskRate = 0x10000;
  r->inputPadding = -1;
  r->outputPadding = -1;
  r->maskPadding = -1;
  const int32_t top = r->filterRect.top;
  globals->maskRowFirst = r->maskRect.top - top;
  globals->maskRowLast = r->maskRect.bottom - top - 1;
  globals->inRowFirst = r->inRect.top - top;
  globals->inRowLast = r->inRect.bottom - top - 1;
  if (RenderTargetOf(globals) == 2) {
    const Rect16 &saved = globals->savedFilterRect;
    r->maskRect.left = int16_t(r->maskRect.left + saved.left);
    r->maskRect.right = int16_t(r->maskRect.right + saved.left);
    r->maskRect.top = int16_t(r->maskRect.top + saved.top);
    r->maskRect.bottom = int16_t(r->maskRect.bottom + saved.top);
  }
}

static Rect16 EmptyCorner(const Rect16 &filter) {
  Rect16 corner;
  corner.top = filter.top;
  corner.bottom = filter.top;
  corner.left = filter.left;
  corner.right = filter.left;
  return corner;
}

void RequestNextRow(PluginGlobals *globals) {
  FilterRecord *r = globals->filterRecord;
  const Rect16 filter = r->filterRect;
  RecordRectSize(globals, &filter, 1);
  r->inRect = filter;
  r->outRect = filter;
  r->maskRect = EmptyCorner(filter);

  const int32_t h = filter.bottom - filter.top;
  int32_t row = globals->currentRow;
  if (row > h - 1) row = h - 1;
  if (row < 0) row = 0;
  const int32_t y = row + filter.top;
  r->inRect.top = r->outRect.top = int16_t(y);
  r->inRect.bottom = r->outRect.bottom = int16_t(y + 1);

  if (r->haveMask) {
    int32_t top = y - 2;
    int32_t bottom = y + 2;
    if (top < filter.top) top = filter.top;
    if (bottom > filter.bottom) bottom = filter.bottom;
    if (bottom <= top) bottom = top + 1;
    r->maskRect = filter;
    r->maskRect.top = int16_t(top);
    r->maskRect.bottom = int16_t(bottom);
  }
  if (!globals->maskWanted) r->maskRect = EmptyCorner(filter);
  FinishRequest(globals);
}

void RequestWholeFilterRect(PluginGlobals *globals) {
  FilterRecord *r = globals->filterRecord;
  const Rect16 filter = r->filterRect;
  RecordRectSize(globals, &filter, 1);
  r->inRect = filter;
  r->outRect = filter;
  r->maskRect = r->haveMask ? filter : EmptyCorner(filter);
  if (!globals->maskWanted) r->maskRect = EmptyCorner(filter);
  FinishRequest(globals);
}

void ReportProgress(PluginGlobals *globals, int32_t done, int32_t total, int32_t extra) {
  RunState *run = globals->runState;
  if (run == nullptr) return;
  switch (RenderTargetOf(globals)) {
    case 0: {
      run->progressCounter %= kCadence;
      if (done - run->lastProgress >= kProgressJump) run->progressCounter = 0;
      HostProgressProc progress = globals->filterRecord->progressProc;
      if ((run->progressCounter == 0 || done == 0) && progress != nullptr) progress(done, total);
      run->progressCounter += 1;
      run->lastProgress = done;
      break;
    }
    case 2:
      if (gExportProgressProc != nullptr) gExportProgressProc(globals, done, total, extra);
      break;
    default:
      break;   // the preview reports nothing
  }
}

bool PollHostAbort(PluginGlobals *globals) {
  RunState *run = globals->runState;
  if (run == nullptr || RenderTargetOf(globals) == 1) return false;
  run->abortCounter = (run->abortCounter + 1) % kCadence;
  if (run->abortCounter != 0) return false;
  HostTestAbortProc abort = globals->filterRecord->abortProc;
  return abort != nullptr && abort() != 0;
}

void RenderRowStep(PluginGlobals *globals) {
  ReportProgress(globals, globals->progressDone, globals->progressTotal, globals->progressExtra);
  globals->currentRowCopy = globals->currentRow;
  globals->progressDone += 1;
  const int32_t spare = globals->rowSpare;
  // An empty target (a request of no rows or no columns) has nothing to shade.
  if (globals->rectHeight > 0 && globals->rectWidth > 0) RenderRow(globals);
  RefreshPreviewDuringRender(globals, globals->currentRowCopy);
  // ">=" so that a rectangle of no rows ends after one step instead of counting upwards.
  if (globals->currentRow >= globals->rectHeight - 1) {
    globals->runActive = 0;
    globals->moreRowsWithoutHost = 0;
    globals->currentRow = 0;
  } else {
    globals->currentRow += 1;
  }
  globals->rowSpare = spare;
  if (PollHostAbort(globals)) SetResult(globals, kResultUserCanceled);
}

void RunUntilDone(PluginGlobals *globals) {
  do {
    if (GetResult(globals) != kResultOk) {
      globals->runActive = 0;
      return;
    }
    RenderRowStep(globals);
  } while (globals->runActive && GetResult(globals) == kResultOk);
  if (GetResult(globals) != kResultOk) globals->runActive = 0;
}

void StartRender(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  p->panX = 0;
  p->panY = 0;
  BuildRunLookupTables(globals);
  AllocateWorkImage(globals);
  FilterRecord *r = globals->filterRecord;
  globals->savedFilterRect = r->filterRect;
  RecordRectSize(globals, &r->filterRect, 1);
  // A failed work image leaves 999 in the result word; the set-up must not overwrite it, and
  // nothing is rendered from an image set that is not there.
  if (GetResult(globals) != kResultOk) return;
  PrepareRenderConstants(globals);
  if (GetResult(globals) != kResultOk) return;
  globals->maskWanted = 1;
  RequestNextRow(globals);
  if (HostHasAdvanceState(globals)) SetResult(globals, CallHostProc(r->advanceState));
}
