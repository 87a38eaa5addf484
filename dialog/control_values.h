// control_values.h -- the per-id tables of the main dialog's controls and the operations that
// put a value into a control and read it back, by kind.
//
// The tables are module-wide: one main dialog runs at a time. The few things that need the
// window system (edit texts, check marks, the combo's selection, repainting, the preview
// timer) go through a small back end of procedures, ControlBackend: the Windows one
// (control_backend_win32.cpp) talks to the dialog's items; without windows the procedures are
// null and the operations work on the tables alone, which is how the native tests drive them
// with a back end of their own.
#ifndef KIVAGLOBE_DIALOG_CONTROL_VALUES_H
#define KIVAGLOBE_DIALOG_CONTROL_VALUES_H

#include <cstdint>

#include "dialog/control_ids.h"

struct PluginGlobals;

// The window-system side of the value operations; a null procedure is skipped (a getter then
// answers 0). `dialog` is the dialog window, null when there is none.
struct ControlBackend {
  void (*setItemText)(void *dialog, int id, const char *text);
  // Copies at most size - 1 characters and a terminator; returns the length.
  int (*getItemText)(void *dialog, int id, char *buffer, int size);
  void (*setCheck)(void *dialog, int id, int checked);
  // The check state as the control answers it: 0 clear, 1 checked, 2 indeterminate.
  int (*getCheck)(void *dialog, int id);
  // Selects the 0-based entry (-1: no selection).
  void (*setComboSelection)(void *dialog, int id, int index);
  int (*getComboSelection)(void *dialog, int id);
  void (*repaint)(void *dialog, int id);
  void (*killPreviewTimer)(void *dialog);
};

extern ControlBackend gControlBackend;

// The per-id tables.
struct ControlTables {
  int32_t value[kControlIdCount];        // slider position, check state, combo index + 1, pressed bit
  int32_t minValue[kControlIdCount];     // slider limits (ApplySliderRanges)
  int32_t maxValue[kControlIdCount];
  uint16_t color[kControlIdCount][3];    // RGB48 of a swatch
  float vector[kControlIdCount][3];      // a direction ball's unit vector
  int32_t bitmapId[kControlIdCount];
  int32_t iconId[kControlIdCount];
  int32_t spareBitmapId[kControlIdCount];
  int32_t buttonIconId[kControlIdCount];
  int32_t extra[kControlIdCount];
};

extern ControlTables gControlTables;

// The pressed bit of a memory dot's or toggle's value.
constexpr int32_t kPressedBit = 2;

// Copies bitmap, icon, spare bitmap, button icon and extra of every row into the tables (the
// window side of loading icons onto icon buttons is the dialog's).
void LoadControlTableEntries();

// Limits of every slider row from its row (0 and 100).
void ApplySliderRanges();

// Every ControlEnabledFlags entry of the run := 1, the second table := 0.
void ResetControlEnables(PluginGlobals *globals);

// The enabled flag of an id (true for ids outside 0..199 or without a run).
bool IsControlEnabled(const PluginGlobals *globals, int id);
void SetControlEnabledFlag(PluginGlobals *globals, int id, bool enabled);

// The value table; Set repaints the control when a dialog is given. Ids outside 0..199 are
// ignored (Get answers 0).
void SetControlValue(void *dialog, int id, int32_t value);
int32_t GetControlValue(int id);
void SetControlColor(void *dialog, int id, const uint16_t rgb[3]);
void GetControlColor(int id, uint16_t rgb[3]);
void SetControlVector(void *dialog, int id, const float xyz[3]);
void GetControlVector(int id, float xyz[3]);
void SetControlLimits(int id, int32_t minValue, int32_t maxValue);

// An edit's number: written with "%g" (after which the preview timer is killed, so a text the
// program writes never starts a delayed preview); read with atof from at most 256 characters
// (0 without a dialog or for id 65535).
void SetEditNumber(void *dialog, int editId, float value);
double GetEditNumber(void *dialog, int editId);

// A slider's number limited to its range; not-a-number counts as the minimum (a conversion of
// it to an integer would be undefined).
double ClampSliderNumber(double value, int32_t minValue, int32_t maxValue);

// Puts a value into a control by its kind: a slider (asked by itself or its edit) gets its
// position and its edit text, a check box its check mark, a combo or list its selection
// (value - 1), anything else its table value.
void PutControlValue(void *dialog, int id, float value);

// Reads a control by its kind: a slider from its edit, clamped to its range and truncated to
// a whole number (the edit is given that number when it shows anything else), a check box as
// 1 exactly when checked, a combo or list as selection + 1, anything else from the table.
double ReadControlValue(void *dialog, int id);

#endif  // KIVAGLOBE_DIALOG_CONTROL_VALUES_H
