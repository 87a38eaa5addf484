// popup_items.h -- the popup-item table: named choices of a control, each with a command id
// (2001 upward), the value it stands for and the control it sets. The map-mode combo box is
// the dialog's one such control: entries 2001..2014 stand for output modes 1..14.
#ifndef KIVAGLOBE_DIALOG_POPUP_ITEMS_H
#define KIVAGLOBE_DIALOG_POPUP_ITEMS_H

#include <cstdint>

constexpr int kPopupItemCapacity = 400;

struct PopupItem {
  int32_t commandId;
  int32_t value;
  int32_t targetId;
};

struct PopupItemTable {
  PopupItem items[kPopupItemCapacity];
  int32_t lastIndex;   // -1 when empty
};

extern PopupItemTable gPopupItems;

// Every target := 1, every value and command id := 0; the table counts as empty.
void ResetPopupItems();

// Appends an entry (nothing when the table is full); returns its command id.
int32_t AddPopupItem(int32_t value, int32_t targetId);

// Empties the table and appends the fourteen output modes for control 73.
void FillMapModeItems();

// Sets the target control's value (no repaint) from the entry of commandId and returns the
// target; an unknown id applies entry 0.
int32_t ApplyPopupItem(int32_t commandId);

// The map-mode combo is disabled for 32-bit (float) images: image modes 16 and 17, depth 32.
bool MapModeComboDisabled(int32_t imageMode, int32_t depth);

#endif  // KIVAGLOBE_DIALOG_POPUP_ITEMS_H
