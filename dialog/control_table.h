// control_table.h -- the one description of every control of the main dialog, the kind
// predicates built on it, the dialog's UI strings and the layout table that places the
// controls.
//
// Everything that treats controls differently by kind (painting, hit testing, value transfer,
// undo policy) asks DescribeControl, or the per-id tables filled from it when the dialog opens
// (control_values.h); nothing else in the program knows what an id is.
#ifndef KIVAGLOBE_DIALOG_CONTROL_TABLE_H
#define KIVAGLOBE_DIALOG_CONTROL_TABLE_H

#include <cstdint>

#include "dialog/control_ids.h"

// No partner edit / no main id.
constexpr uint16_t kNoControlId = 65535;

// Label alignments (the minValue of a label row).
constexpr int32_t kAlignRight = 0;
constexpr int32_t kAlignLeft = 1;
constexpr int32_t kAlignCentre = 2;

struct ControlInfo {
  int32_t kind;            // ControlKind of the row, -1 none
  int32_t effectiveKind;   // slider rows only: 0 for the slider, 2 for its partner edit
  int32_t bitmapId;        // slider track (101, 102) or ball background (180); -1 none
  int32_t iconId;          // the ball's tip icon (122); -1 none
  int32_t spareBitmapId;   // -1 in every row
  int32_t buttonIconId;    // the icon of an icon button; -1 none
  int32_t extra;           // UI string id of a label or swatch prompt; -1 for label 76
  int32_t minValue;        // 0 for sliders; a label's alignment
  int32_t maxValue;        // 100
  uint16_t partnerEditId;  // a slider's edit, 65535 none
  uint16_t mainId;         // the id the row describes (for an edit: its slider), 65535 none
};

// The row of `id` (an edit answers its slider's row, with mainId the slider). Every field but
// effectiveKind is written; an id without a row gets kind -1 and the empty values.
void DescribeControl(int id, ControlInfo *info);

// DescribeControl plus effectiveKind (left as the caller had it for rows that are not sliders).
void GetControlInfo(int id, ControlInfo *info);

// The row's kind, 2 for the partner edit of a slider, -1 for an id without a row.
int32_t GetControlKind(int id);

bool IsSliderControl(int id);
bool IsDirectionControl(int id);
bool IsToggleControl(int id);
bool IsCheckBoxControl(int id);
bool IsRadioMemberControl(int id);
bool IsEditControl(int id);
bool IsKind17Control(int id);
bool IsLabelControl(int id);
bool IsSwatchControl(int id);
bool IsPushButtonControl(int id);
bool IsIconButtonControl(int id);
bool IsMemoryDotControl(int id);
bool IsComboControl(int id);      // kinds 11, 12, 13
bool IsListControl(int id);       // kinds 11, 12
bool IsMapComboControl(int id);   // kind 13

// A press on a control of such a kind captures the mouse.
bool IsDraggableKind(int id);

int32_t GetLabelAlignment(int id);
int32_t GetLabelStringId(int id);

// The dialog's text of a UI string id; "-undef string-" for an unknown one.
const char *GetUiString(int id);

// A control's place in dialog client pixels (left, top, right, bottom exclusive).
struct LayoutRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// The layout row of `id` (0..150; row 0 is the client area) with the adjustments of its kind:
// push and icon buttons move their left and top edges 2 pixels out, the zoom label its left
// edge, the map combo gets 19 more pixels at the bottom. Other ids give (0, 0, 0, 0).
LayoutRect GetDialogLayoutRect(int id);

// The rectangle an item is placed at when the dialog opens: the layout rectangle, except that
// a combo or list reaches the dialog's full height below its top, so the dropped list has room.
LayoutRect GetPlacementRect(int id);

// Ids 0..150 have layout rows.
constexpr int kLayoutRowCount = 151;

#endif  // KIVAGLOBE_DIALOG_CONTROL_TABLE_H
