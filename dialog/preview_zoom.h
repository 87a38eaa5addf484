// preview_zoom.h -- the arithmetic of the dialog's preview: where the image sits in the
// preview control, the zoom buttons and their label, the pan limits, a click that moves the
// planet's centre, one step of a pan drag, and the conversion of deep samples for display.
//
// Zoom divisor n: the preview shows every n-th pixel (label 100 / n per cent); it runs from 1
// to fitZoomDivisor, at which the whole image fits. The pan is the preview's offset into the
// full-resolution image, in image pixels, never below 0.
#ifndef KIVAGLOBE_DIALOG_PREVIEW_ZOOM_H
#define KIVAGLOBE_DIALOG_PREVIEW_ZOOM_H

#include <cstdint>

#include "plugin/host_interface.h"

struct PluginGlobals;

// The top-left corner of an image of width x height centred in frame (the control inset by
// 2). The one placement used for drawing the preview and for mapping clicks into it.
void PreviewImageOrigin(const Rect16 &frame, int32_t width, int32_t height, int32_t *left, int32_t *top);

// "100%", "33%": 100 / divisor (integer division) and a per-cent sign.
void FormatZoomLabel(uint32_t divisor, char *text, int size);

// The enabled flags of zoom out (33), zoom in (32) and 100% (34) from the divisors; all off
// when the host cannot sample.
struct ZoomEnables {
  bool zoomOut;
  bool zoomIn;
  bool hundred;
};
ZoomEnables ComputeZoomEnables(int32_t fitDivisor, uint32_t divisor, bool lacksSampling);

// Writes ComputeZoomEnables into the ControlEnabledFlags of 32, 33 and 34.
void UpdateZoomFlags(PluginGlobals *globals);

// Zoom buttons 33 (out), 32 (in) and 34 (100%): steps the divisor, keeps the image point at
// the preview's centre, and asks the host for the new area; *changed := true when it did.
// Nothing for other ids or a host that cannot sample.
void HandleZoomCommand(PluginGlobals *globals, int id, bool *changed);

// Limits the pan to the image at this divisor (0 when the image is no larger than the preview).
void ClampPreviewPan(PluginGlobals *globals, int32_t divisor);

// Re-centres the pan for a change of divisor so that the point at the preview's centre stays.
void ZoomPreviewAt(PluginGlobals *globals, int32_t oldDivisor, int32_t newDivisor);

// A click at dialog point (x, y) on the whole-image preview: the planet's centre in pixels
// (halfWidth, halfHeight) and as fractions (centerX, centerY). The point is first limited to
// the image shown, so a click in the white margin around a small image takes the nearest edge
// and the centre stays within the image (0..1), never a wrapped unsigned value.
void SetCentreFromPoint(PluginGlobals *globals, int32_t x, int32_t y);

// One step of a pan drag to dialog point (x, y): false when the point has not moved in image
// pixels (dragPoint is updated); otherwise the pan moves against the mouse, clamped,
// dragMoved := 1, dragPoint := the point, and true (the caller asks the host for the area).
bool PanStep(PluginGlobals *globals, int32_t x, int32_t y);

// What the preview area says in place of a picture when a preview render ended with `result`:
// null for 0 (the picture is shown). The run's images, a row buffer of the width or the
// host's buffers not to be had (999, -128 from the row buffer, -108) is low memory; anything
// else, a host error.
const char *PreviewNotice(int16_t result);

// The notice of a picture that was rendered but cannot be handed to the host's display (no
// memory to convert its deep samples).
extern const char *const kPreviewLowMemoryNotice;

// The host's display of deep samples: 16-bit (0..32768) as sample >> 7, at most 255; floats
// 0..1 to 0..255.
uint8_t Sample16ToDisplay(uint16_t sample);

// What ShowPreviewRect hands to the host: `map` converted in place of its samples when deep.
// Returns the byte count of the 8-bit buffer a deep map needs (0 for an 8-bit one) and the
// converted map's image mode and row bytes; ConvertDeepPixels then fills that buffer.
struct DeepConversion {
  int32_t bytes;        // 0: show the map as it is
  int32_t imageMode;    // the 8-bit mode shown
  int32_t rowBytes;     // of the 8-bit buffer
  int32_t sampleBytes;  // 2 or 4 in the source
};
DeepConversion PlanDeepConversion(const HostPixelMap &map, int32_t depth);
void ConvertDeepPixels(const HostPixelMap &map, const DeepConversion &plan, uint8_t *out);

#endif  // KIVAGLOBE_DIALOG_PREVIEW_ZOOM_H
