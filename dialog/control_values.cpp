// control_values.cpp -- the per-id tables and the value operations (see control_values.h).
#include "dialog/control_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialog/control_table.h"
#include "plugin/globals.h"

ControlTables gControlTables;

static bool ValidId(int id) { return id >= 0 && id < kControlIdCount; }

static void Repaint(void *dialog, int id) {
  if (dialog != nullptr && gControlBackend.repaint != nullptr) gControlBackend.repaint(dialog, id);
}

void LoadControlTableEntries() {
  for (int id = 0; id < kControlIdCount; id++) {
    ControlInfo info;
    DescribeControl(id, &info);
    gControlTables.bitmapId[id] = info.bitmapId;
    gControlTables.iconId[id] = info.iconId;
    gControlTables.spareBitmapId[id] = info.spareBitmapId;
    gControlTables.buttonIconId[id] = info.buttonIconId;
    gControlTables.extra[id] = info.extra;
  }
}

void ApplySliderRanges() {
  for (int id = 0; id < kControlIdCount; id++) {
    if (GetControlKind(id) != kKindSlider) continue;
    ControlInfo info;
    DescribeControl(id, &info);
    SetControlLimits(id, info.minValue, info.maxValue);
  }
}

void ResetControlEnables(PluginGlobals *globals) {
  RunState *run = globals->runState;
  if (run == nullptr) return;
  for (int id = 0; id < kControlIdCount; id++) {
    run->controlEnabled[id] = 1;
    run->controlSpareFlags[id] = 0;
  }
}

bool IsControlEnabled(const PluginGlobals *globals, int id) {
  if (!ValidId(id) || globals == nullptr || globals->runState == nullptr) return true;
  return globals->runState->controlEnabled[id] != 0;
}

void SetControlEnabledFlag(PluginGlobals *globals, int id, bool enabled) {
  if (!ValidId(id) || globals == nullptr || globals->runState == nullptr) return;
  globals->runState->controlEnabled[id] = enabled ? 1 : 0;
}

void SetControlValue(void *dialog, int id, int32_t value) {
  if (!ValidId(id)) return;
  gControlTables.value[id] = value;
  Repaint(dialog, id);
}

int32_t GetControlValue(int id) { return ValidId(id) ? gControlTables.value[id] : 0; }

void SetControlColor(void *dialog, int id, const uint16_t rgb[3]) {
  if (!ValidId(id)) return;
  for (int c = 0; c < 3; c++) gControlTables.color[id][c] = rgb[c];
  Repaint(dialog, id);
}

void GetControlColor(int id, uint16_t rgb[3]) {
  for (int c = 0; c < 3; c++) rgb[c] = ValidId(id) ? gControlTables.color[id][c] : 0;
}

void SetControlVector(void *dialog, int id, const float xyz[3]) {
  if (!ValidId(id)) return;
  for (int c = 0; c < 3; c++) gControlTables.vector[id][c] = xyz[c];
  Repaint(dialog, id);
}

void GetControlVector(int id, float xyz[3]) {
  for (int c = 0; c < 3; c++) xyz[c] = ValidId(id) ? gControlTables.vector[id][c] : 0.0f;
}

void SetControlLimits(int id, int32_t minValue, int32_t maxValue) {
  if (!ValidId(id)) return;
  gControlTables.minValue[id] = minValue;
  gControlTables.maxValue[id] = maxValue;
}

void SetEditNumber(void *dialog, int editId, float value) {
  if (dialog == nullptr || editId < 0 || editId == kNoControlId) return;
  char text[64];
  std::snprintf(text, sizeof text, "%g", double(value));
  if (gControlBackend.setItemText != nullptr) gControlBackend.setItemText(dialog, editId, text);
  // The text change just made reports itself as typing; it must not leave the delayed preview
  // waiting.
  if (gControlBackend.killPreviewTimer != nullptr) gControlBackend.killPreviewTimer(dialog);
}

// An edit's text, at most 256 characters and the terminator; false (and "") without a dialog,
// an edit or a back end to ask.
static bool GetEditText(void *dialog, int editId, char (&text)[257]) {
  text[0] = 0;
  if (dialog == nullptr || editId == kNoControlId || gControlBackend.getItemText == nullptr) return false;
  gControlBackend.getItemText(dialog, editId, text, int(sizeof text));
  text[sizeof text - 1] = 0;
  return true;
}

double GetEditNumber(void *dialog, int editId) {
  char text[257];
  if (!GetEditText(dialog, editId, text)) return 0.0;
  return std::atof(text);
}

double ClampSliderNumber(double value, int32_t minValue, int32_t maxValue) {
  if (std::isnan(value)) return minValue;
  if (value < minValue) return minValue;
  if (value > maxValue) return maxValue;
  return value;
}

void PutControlValue(void *dialog, int id, float value) {
  ControlInfo info;
  DescribeControl(id, &info);
  const int32_t whole = int32_t(value);
  if (info.kind == kKindSlider && info.partnerEditId != kNoControlId) {
    SetControlValue(dialog, info.mainId, whole);
    SetEditNumber(dialog, info.partnerEditId, value);
    return;
  }
  const int32_t kind = GetControlKind(id);
  if (kind == kKindCheckBox) {
    if (ValidId(id)) gControlTables.value[id] = whole;
    if (dialog != nullptr && gControlBackend.setCheck != nullptr) gControlBackend.setCheck(dialog, id, whole != 0 ? 1 : 0);
    return;
  }
  if (IsComboControl(id)) {
    if (ValidId(id)) gControlTables.value[id] = whole;
    if (dialog != nullptr && gControlBackend.setComboSelection != nullptr)
      gControlBackend.setComboSelection(dialog, id, whole - 1);
    return;
  }
  SetControlValue(dialog, id, whole);
}

double ReadControlValue(void *dialog, int id) {
  ControlInfo info;
  DescribeControl(id, &info);
  if (info.kind == kKindSlider && info.partnerEditId != kNoControlId) {
    char text[257];
    const bool haveText = GetEditText(dialog, info.partnerEditId, text);
    // The slider takes the whole part of the number, limited to its range. Whatever else the
    // edit holds (a number out of range, a fraction, letters, nothing) would stand beside a
    // slider that says otherwise: the edit is given the value in use.
    const int32_t used = int32_t(ClampSliderNumber(std::atof(text), info.minValue, info.maxValue));
    char shown[64];
    std::snprintf(shown, sizeof shown, "%g", double(float(used)));
    if (haveText && std::strcmp(text, shown) != 0) SetEditNumber(dialog, info.partnerEditId, float(used));
    return used;
  }
  const int32_t kind = GetControlKind(id);
  if (kind == kKindCheckBox) {
    const int answer = (dialog != nullptr && gControlBackend.getCheck != nullptr) ? gControlBackend.getCheck(dialog, id) : 0;
    const int32_t checked = answer == 1 ? 1 : 0;
    if (ValidId(id)) gControlTables.value[id] = checked;
    return checked;
  }
  if (IsComboControl(id)) {
    const int selection =
        (dialog != nullptr && gControlBackend.getComboSelection != nullptr) ? gControlBackend.getComboSelection(dialog, id) : -1;
    if (ValidId(id)) gControlTables.value[id] = selection + 1;
    return selection + 1;
  }
  return GetControlValue(id);
}
