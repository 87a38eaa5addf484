// preview.h -- the dialog's live preview through the host, and the saved host request around
// the off-screen renders.
//
// The preview is rendered by the row loop into the host's output buffer from a copy of the
// source that the host samples down by the sample factor (inputRate); displayPixels then paints
// that buffer into the dialog's preview control. Exports that render while the dialog is open
// save the host request first and restore it afterwards, so that the preview stays valid.
#ifndef KIVAGLOBE_PLUGIN_PREVIEW_H
#define KIVAGLOBE_PLUGIN_PREVIEW_H

#include <cstdint>

#include "plugin/globals.h"

// The host request saved around an off-screen render.
struct HostRequestRecord {
  Rect16 inRect;
  Rect16 outRect;
  Rect16 maskRect;
  int32_t zoomDivisor;
  int32_t filterTop;
  int32_t currentRow;
  int32_t panX;
  int32_t panY;
  int32_t renderTarget;
};

// The dialog item of the preview control.
constexpr int kPreviewItem = 18;

// advanceState and displayPixels are both there.
bool HostSupportsPreview(const PluginGlobals *globals);

// advanceState, displayPixels or samplingSupport is missing.
bool HostLacksSampling(const PluginGlobals *globals);

// The sample factor that fits `source` into `destination`: the larger of the two ceiling ratios
// of source size to the smaller size. `destination` becomes source scaled by 1 / factor;
// sampleFactor keeps the factor; *factor is 1 when the host cannot sample.
void ComputeSampleFactor(const Rect16 *source, Rect16 *destination, int32_t *factor, PluginGlobals *globals);

// Sets and sends the preview request at sample factor `factor`.
void RequestPreviewArea(PluginGlobals *globals, int32_t factor);

// Renders and shows the preview (when the host supports it).
void UpdatePreviewImage(PluginGlobals *globals);
void RenderPreviewImage(PluginGlobals *globals);

// Paints the output buffer into the preview control through displayPixels; row 0 is the first
// drawing of a render.
void DrawPreview(PluginGlobals *globals, int32_t row, int item);

// The dialog's painter of the preview (frame, placement and deep samples), which DrawPreview
// uses when the dialog has set it, so that the picture sits in the same place during a render
// as after it.
extern void (*gPreviewPainter)(PluginGlobals *globals);

// Redraws the preview during a preview render: every row, or every 100th row in the hosts that
// are slow to draw ('8BIM', '8ELE').
void RefreshPreviewDuringRender(PluginGlobals *globals, int32_t row);

void SaveHostRequest(HostRequestRecord *record, const PluginGlobals *globals);
void RestoreHostRequest(const HostRequestRecord *record, PluginGlobals *globals);

// panX := panY := 0.
void ResetPreviewPan(PluginGlobals *globals);

// ---- Platform seam (preview_win32.cpp, preview_posix.cpp) ----
// The drawing context of the dialog window for displayPixels, and its release.
void *AcquirePreviewContext(void *window);
void ReleasePreviewContext(void *window, void *context);

#endif  // KIVAGLOBE_PLUGIN_PREVIEW_H
