// preview_area.h -- the preview control of the main dialog (Windows): its frame, the picture
// handed to the host's display procedure, and the preview-drag step.
#ifndef KIVAGLOBE_DIALOG_PREVIEW_AREA_H
#define KIVAGLOBE_DIALOG_PREVIEW_AREA_H

#include "plugin/host_interface.h"

struct PluginGlobals;

// Control 18's window rectangle in dialog client coordinates; the layout row when the item is
// missing.
void GetPreviewItemRect(void *dialog, Rect16 *r);

// The black frame around control 18 inset by 2, and the host's output buffer centred in it;
// with erase, the rest of the frame is filled white. After a failed render, or when the
// picture cannot be handed over, the frame holds the notice instead. Nothing is shown (and nothing fails)
// without a display procedure, an output buffer or a non-empty output rectangle. context null:
// the dialog's own device context.
void DrawPreviewFrame(PluginGlobals *globals, void *dialog, bool erase, void *context);

// Hands a pixel map to the host's display procedure at (left, top), deep samples converted to
// 8 bits first; false when the conversion's buffer could not be had (nothing was shown).
bool ShowPreviewRect(PluginGlobals *globals, const HostPixelMap *map, const HostVRect *source, int32_t left,
                     int32_t top, void *context);

// Renders the preview (UpdatePreviewImage). When the render fails, the preview area shows a
// line that says why in place of the picture (DrawPreviewFrame) until a render succeeds, and
// the result word is cleared: the dialog goes on.
void RenderPreviewOrNotice(PluginGlobals *globals);

#endif  // KIVAGLOBE_DIALOG_PREVIEW_AREA_H
