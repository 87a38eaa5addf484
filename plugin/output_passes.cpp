// output_passes.cpp -- output mode names and the off-screen passes (see output_passes.h).
//
// The row step is shared with the filter run, so it reports an abort the way the run needs it:
// -128 in the host's result word. A pass is not the run: it turns that into its own cancel and
// puts back the result word it found, so that an export cancelled inside the dialog does not
// end the dialog's filter run. A render set-up that fails (the row buffer cannot grow) leaves
// nothing sound to render from; the pass then renders nothing and counts as cancelled.
#include "plugin/output_passes.h"

#include "plugin/preview.h"
#include "plugin/row_loop.h"
#include "render/render_setup.h"

const uint32_t LayerModeTable[kLayerCount] = {3, 4, 5, 6, 14, 7, 8, 9, 10, 11, 12};

ExportBoxHooks gExportBoxHooks = {nullptr, nullptr};

static const char *const kOutputModeNames[kOutputModeCount] = {
    "normal",    "composite",  "lit map",    "map color", "land color", "land bump",   "ocean mask",
    "air color", "cloud mask", "cloud bump", "cities",    "mural",      "hypsometric", "bump w/o ocean"};

const char *OutputModeName(uint32_t mode) {
  if (mode < 1 || mode > uint32_t(kOutputModeCount)) return "";
  return kOutputModeNames[mode - 1];
}

static void Cancel(PluginGlobals *globals, uint8_t *cancelFlag) {
  *cancelFlag = 1;
  if (gExportBoxHooks.requestCancel != nullptr) gExportBoxHooks.requestCancel(globals);
}

// The set-up of a pass: render target 2 into the run's export image, tables, render constants.
// False (and the result word put back) when the set-up failed.
static bool SetUpPass(PluginGlobals *globals, ParameterBlock *p, int16_t resultFound) {
  p->renderTarget = 2;
  globals->runState->renderTargetImage = &globals->runState->exportImage;
  BuildRunLookupTables(globals);
  const int32_t rows = PrepareRenderConstants(globals);
  const bool ok = rows != 0 && GetResult(globals) == kResultOk;
  SetResult(globals, resultFound);
  return ok;
}

// One row of a pass, unless cancelled; an abort seen by the row step cancels the pass.
static void PassRow(PluginGlobals *globals, uint8_t *cancelFlag, int16_t resultFound) {
  if (*cancelFlag) return;
  RenderRowStep(globals);
  if (GetResult(globals) != resultFound) {
    SetResult(globals, resultFound);
    Cancel(globals, cancelFlag);
  }
}

void RenderLayerPass(PluginGlobals *globals, TiledMipImage *image, int32_t layerIndex, uint8_t *cancelFlag) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (image == nullptr || p == nullptr || globals->runState == nullptr || layerIndex < 0 ||
      layerIndex >= kLayerCount)
    return;
  FilterRecord *r = globals->filterRecord;
  const Rect16 in = r->inRect, out = r->outRect, mask = r->maskRect;
  const uint32_t zoom = p->zoomDivisor, mode = p->outputMode, target = p->renderTarget;
  const int32_t panX = p->panX, panY = p->panY;
  const int16_t resultFound = GetResult(globals);

  ResetPreviewPan(globals);
  const int32_t rows = image->levelHeight[0];
  RequestWholeFilterRect(globals);
  p->outputMode = LayerModeTable[layerIndex];
  if (!SetUpPass(globals, p, resultFound)) Cancel(globals, cancelFlag);
  for (int32_t i = 0; i < rows; i++) {
    PassRow(globals, cancelFlag, resultFound);
    if (i % 4 != 0 && !*cancelFlag && PollHostAbort(globals)) Cancel(globals, cancelFlag);
  }

  r->inRect = in;
  r->outRect = out;
  r->maskRect = mask;
  p->zoomDivisor = zoom;
  p->panX = panX;
  p->panY = panY;
  p->outputMode = mode;
  p->renderTarget = target;
  RequestPreviewArea(globals, int32_t(zoom));
}

void RenderLayer(PluginGlobals *globals, TiledMipImage *image, int32_t layerIndex, uint8_t *cancelFlag,
                 const void *) {
  RenderLayerPass(globals, image, layerIndex, cancelFlag);
}

void RenderWholeImage(PluginGlobals *globals, TiledMipImage *image, int32_t, uint8_t *cancelFlag) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (image == nullptr || p == nullptr || globals->runState == nullptr) return;
  FilterRecord *r = globals->filterRecord;
  HostRequestRecord saved;
  SaveHostRequest(&saved, globals);
  ParameterBlock snapshot{};
  SaveParameterSnapshot(&snapshot, globals);
  const int16_t resultFound = GetResult(globals);

  const Rect16 filter = r->filterRect;
  r->filterRect.top = 0;
  r->filterRect.left = 0;
  r->filterRect.bottom = int16_t(image->levelHeight[0]);
  r->filterRect.right = int16_t(image->levelWidth[0]);
  ResetPreviewPan(globals);
  RequestWholeFilterRect(globals);
  if (!SetUpPass(globals, p, resultFound)) Cancel(globals, cancelFlag);

  // Kivaglobe32 counts the image's rows and does not look at the progress box; Kivaglobe64
  // watches the run flag and the box's Cancel.
  constexpr bool kCountsRows = sizeof(void *) == 4;
  const int32_t rows = image->levelHeight[0];
  for (int32_t i = 0; kCountsRows ? i < rows : true; i++) {
    PassRow(globals, cancelFlag, resultFound);
    if (i % 8 != 0 && !*cancelFlag) {
      bool boxCancel = !kCountsRows && gExportBoxHooks.cancelRequested != nullptr &&
                       gExportBoxHooks.cancelRequested(globals);
      if (PollHostAbort(globals) || boxCancel) Cancel(globals, cancelFlag);
    }
    if (!kCountsRows && (!globals->runActive || *cancelFlag)) break;
  }

  r->filterRect = filter;
  RestoreHostRequest(&saved, globals);
  RestoreParameterSnapshot(&snapshot, globals);
  RequestPreviewArea(globals, saved.zoomDivisor);
}
