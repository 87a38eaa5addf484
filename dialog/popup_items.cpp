// popup_items.cpp -- the popup-item table (see popup_items.h).
#include "dialog/popup_items.h"

#include "dialog/control_ids.h"
#include "dialog/control_values.h"
#include "plugin/host_interface.h"

PopupItemTable gPopupItems;

void ResetPopupItems() {
  for (PopupItem &item : gPopupItems.items) {
    item.commandId = 0;
    item.value = 0;
    item.targetId = 1;
  }
  gPopupItems.lastIndex = -1;
}

int32_t AddPopupItem(int32_t value, int32_t targetId) {
  if (gPopupItems.lastIndex + 1 >= kPopupItemCapacity) return 0;
  const int32_t index = ++gPopupItems.lastIndex;
  PopupItem &item = gPopupItems.items[index];
  item.commandId = kFirstPopupCommand + index + 1;
  item.value = value;
  item.targetId = targetId;
  return item.commandId;
}

void FillMapModeItems() {
  gPopupItems.lastIndex = -1;
  for (int32_t mode = 1; mode <= 14; mode++) AddPopupItem(mode, kIdMapMode);
}

int32_t ApplyPopupItem(int32_t commandId) {
  int32_t index = 0;
  for (int32_t i = 0; i <= gPopupItems.lastIndex; i++) {
    if (gPopupItems.items[i].commandId == commandId) {
      index = i;
      break;
    }
  }
  const PopupItem &item = gPopupItems.items[index];
  SetControlValue(nullptr, item.targetId, item.value);
  return item.targetId;
}

bool MapModeComboDisabled(int32_t imageMode, int32_t depth) {
  return imageMode == kModeRGB96 || imageMode == kModeGray32 || depth == 32;
}
