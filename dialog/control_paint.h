// control_paint.h -- the main dialog's painters (Windows): every program-drawn control on the
// dialog's own device context over the background picture, the owner-drawn swatches, the
// cursors, and the pictures and font they use, loaded once per dialog and released with it.
#ifndef KIVAGLOBE_DIALOG_CONTROL_PAINT_H
#define KIVAGLOBE_DIALOG_CONTROL_PAINT_H

#include <cstdint>

#include "dialog/control_table.h"

struct PluginGlobals;

// Loads the dialog's bitmaps and font; ReleaseDialogPictures deletes them (and the icon-button
// icons) when the dialog ends.
void LoadDialogPictures();
void ReleaseDialogPictures();
// Keeps an icon loaded for a button, released with the pictures.
void KeepDialogIcon(void *icon);

// One control on a device context (null: the dialog's own, fetched and released here).
void PaintControlOn(void *context, int id, void *dialog, PluginGlobals *globals);
void PaintControl(int id, void *dialog, PluginGlobals *globals);
void PaintAllControls(void *context, void *dialog, PluginGlobals *globals);
// PaintControl with the running dialog's globals; nothing without a running dialog.
void RepaintControl(void *dialog, int id);

// WM_DRAWITEM: true when the item was drawn here (colour swatches), false when Windows draws
// it (push and icon buttons).
bool MainDialogDrawItem(void *dialog, int id, const void *drawItem, PluginGlobals *globals);

// White, then the background picture at the origin.
void PaintDialogBackground(void *dialog, void *context, bool erase);

// The control's rectangle in dialog client coordinates (its window rectangle); false when the
// item does not exist.
bool GetControlClientRect(void *dialog, int id, LayoutRect *r);

// Cursors: wait, arrow (restored only when another was set), panning (107), over the preview
// (109).
void SetWaitCursor();
void RestoreArrowCursor();
void SetPanCursor();
void SetPreviewCursor();

// The running dialog's globals (set while the dialog runs).
PluginGlobals *RunningDialogGlobals();
void SetRunningDialogGlobals(PluginGlobals *globals);

#endif  // KIVAGLOBE_DIALOG_CONTROL_PAINT_H
