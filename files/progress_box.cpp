// progress_box.cpp -- the platform-free half of the export progress box (see progress_box.h).
#include "files/progress_box.h"

#include <cstdio>

#include "files/jpeg_files.h"
#include "files/psd_export.h"
#include "plugin/output_passes.h"
#include "plugin/preview.h"
#include "plugin/row_loop.h"

int32_t ProgressPercent(int32_t layer, int32_t done, int32_t total, int32_t layerCount) {
  const int64_t divisor = int64_t(layerCount) * int64_t(total);
  if (divisor <= 0) return 0;
  const int64_t percent = ((int64_t(layer) * total + done) * 100) / divisor;
  return percent < 0 ? 0 : percent > 100 ? 100 : int32_t(percent);
}

static bool BoxCancelRequested(PluginGlobals *globals) {
  return ProgressBoxOpen() && globals->runState != nullptr && globals->runState->jobCancel != 0;
}

void RequestCancel(PluginGlobals *globals) {
  if (!ProgressBoxOpen() || globals->runState == nullptr) return;
  SetProgressBoxText("Cancelling...");
  globals->runState->jobCancel = 1;
}

void ShowProgressPercent(PluginGlobals *globals, int32_t done, int32_t total, int32_t layerCount) {
  if (!ProgressBoxOpen()) return;
  // Once cancelled the button keeps saying so until the box closes.
  if (globals->runState != nullptr && globals->runState->jobCancel != 0) {
    PumpProgressBox();
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", int(ProgressPercent(globals->progressLayer, done, total, layerCount)));
  SetProgressBoxText(text);
  BringProgressBoxToTop();
}

int16_t RunProgressJob(PluginGlobals *globals) {
  RunState *run = globals->runState;
  if (run == nullptr || run->jobSpec == nullptr) return kPsdNoImage;
  if (run->jobCancel != 0) return kProgressStopped;
  switch (run->jobNumber) {
    case kJobLayeredDocument: return ExportLayersPsd(globals, run->jobSpec, &run->jobCancel);
    case kJobFlatJpeg: return ExportRenderJpeg(globals, run->jobSpec, &run->jobCancel);
    default: return 0;
  }
}

int16_t RunProgressDialog(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelled, uint32_t job) {
  *cancelled = 0;
  if (ProgressBoxOpen()) {
    BringProgressBoxToTop();
    return kProgressStopped;
  }
  RunState *run = globals->runState;
  if (run == nullptr || spec == nullptr) return kPsdNoImage;
  run->jobSpec = spec;
  run->jobNumber = job;
  run->jobCancel = 0;
  const ExportBoxHooks hooks = gExportBoxHooks;
  const ExportProgressProc progress = gExportProgressProc;
  gExportBoxHooks.cancelRequested = BoxCancelRequested;
  gExportBoxHooks.requestCancel = RequestCancel;
  gExportProgressProc = ShowProgressPercent;
  const int16_t result = RunProgressBox(globals);
  gExportBoxHooks = hooks;
  gExportProgressProc = progress;
  run->jobSpec = nullptr;
  if (run->jobCancel != 0) {
    *cancelled = 1;
    return kProgressStopped;
  }
  return result;
}

int16_t ExportRenderJpeg(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag) {
  RunState *run = globals->runState;
  ParameterBlock *p = GetParameterBlock(globals);
  if (run == nullptr || p == nullptr) return kPsdNoImage;
  HostRequestRecord saved;
  SaveHostRequest(&saved, globals);
  const uint32_t target = p->renderTarget;
  const FilterRecord *r = globals->filterRecord;
  const int32_t width = r->filterRect.right - r->filterRect.left;
  const int32_t height = r->filterRect.bottom - r->filterRect.top;
  TiledMipImage *image = &run->exportImage;
  if (!CreateImageEx(image, width, height, kFormatPacked8, 0, 0)) {
    RestoreHostRequest(&saved, globals);
    return kPsdNoImage;
  }
  p->renderTarget = 2;
  globals->progressExtra = kLayerCount;
  globals->progressLayer = 0;
  RenderWholeImage(globals, image, 0, cancelFlag);

  int16_t result = kProgressStopped;
  if (*cancelFlag == 0) {
    result = WriteJpegFileWithMetadata(image, spec, p->outputMode);
  }
  FreeImageTiles(image);
  p->renderTarget = target;
  RestoreHostRequest(&saved, globals);
  return result;
}
