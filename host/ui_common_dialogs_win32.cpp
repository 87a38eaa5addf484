// ui_common_dialogs_win32.cpp -- the file and colour dialog steps (see ui_common_dialogs.h).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "host/host_platform.h"
#include "host/host_options.h"
#include "host/ui_common_dialogs.h"
#include "host/ui_driver.h"

namespace {

constexpr uint32_t kWaitMs = 10000;

// Items of the system's common dialogs: the file name (a combo box, or a plain edit in older
// layouts) and the colour dialog's red, green and blue fields.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
constexpr int kRedField = 706, kGreenField = 707, kBlueField = 708;

// The name field of an explorer-style file dialog: the combo box's edit, or the plain edit.
HWND FileNameField(HWND dialog) {
  HWND combo = GetDlgItem(dialog, kFileNameCombo);
  if (combo != nullptr) return combo;
  return GetDlgItem(dialog, kFileNameEdit);
}

bool IsColourDialog(HWND dialog) {
  return GetDlgItem(dialog, kRedField) != nullptr && GetDlgItem(dialog, kGreenField) != nullptr &&
         GetDlgItem(dialog, kBlueField) != nullptr;
}

// The file list of a file dialog (the shell view's list), found among its descendants.
BOOL CALLBACK FindList(HWND child, LPARAM found) {
  char className[32];
  if (GetClassNameA(child, className, sizeof className) == 0 || lstrcmpiA(className, "SysListView32") != 0) return TRUE;
  *reinterpret_cast<HWND *>(found) = child;
  return FALSE;
}

// Selects the entry NAME (its file-name part) in the dialog's list, as a click on it would: the
// dialog then tells its hook of the new selection.
bool SelectListed(HWND dialog, const char *name) {
  HWND list = nullptr;
  EnumChildWindows(dialog, FindList, reinterpret_cast<LPARAM>(&list));
  if (list == nullptr) return false;
  const char *base = name;
  for (const char *c = name; *c != 0; c++)
    if (*c == '/' || *c == '\\') base = c + 1;
  LVFINDINFOA find = {};
  find.flags = LVFI_STRING;
  find.psz = base;
  const LRESULT index = SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), reinterpret_cast<LPARAM>(&find));
  if (index < 0) return false;
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
  return true;
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct DialogSearch {
  bool wantFile;
  HWND found;
};

BOOL CALLBACK FindCommonDialog(HWND window, LPARAM data) {
  DialogSearch *search = reinterpret_cast<DialogSearch *>(data);
  char className[16];
  if (!IsWindowVisible(window) || GetClassNameA(window, className, sizeof className) == 0 ||
      lstrcmpA(className, "#32770") != 0)
    return TRUE;
  if (search->wantFile ? FileNameField(window) == nullptr : !IsColourDialog(window)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

CommonDialogStepResult RunCommonDialogStep(const UiStep &step, void *window, uint32_t waitedMs, char *reason,
                                           size_t reasonSize) {
  HWND dialog = static_cast<HWND>(window);
  const bool wantFile = step.kind == kUiFile || step.kind == kUiFileCancel || step.kind == kUiFileSelect;
  // The dialog is looked for among all of the thread's, not only the newest: a window handle
  // the system reuses can leave a fresh dialog behind an older one in the driver's order.
  DialogSearch search = {wantFile, nullptr};
  if (wantFile ? FileNameField(dialog) != nullptr : IsColourDialog(dialog)) search.found = dialog;
  if (search.found == nullptr) EnumThreadWindows(GetCurrentThreadId(), FindCommonDialog, reinterpret_cast<LPARAM>(&search));
  dialog = search.found;
  if (dialog == nullptr) {
    if (waitedMs < kWaitMs) return kCommonStepAgain;
    std::snprintf(reason, reasonSize, "no %s dialog appeared", wantFile ? "file" : "colour");
    return kCommonStepFailed;
  }
  switch (step.kind) {
    case kUiFileSelect:
      if (SelectListed(dialog, step.text)) return kCommonStepDone;
      if (waitedMs < kWaitMs) return kCommonStepAgain;
      std::snprintf(reason, reasonSize, "the file dialog does not list %s", step.text);
      return kCommonStepFailed;
    case kUiFile: {
      char path[kHostPathSize];
      std::snprintf(path, sizeof path, "%s", step.text);
      MapHostPath(path, sizeof path);
      // The file dialog takes no '/' in a name.
      for (char *c = path; *c != 0; c++)
        if (*c == '/') *c = '\\';
      SetWindowTextA(FileNameField(dialog), path);
      Press(dialog, IDOK);
      return kCommonStepDone;
    }
    case kUiColour: {
      const int32_t values[3] = {step.id, step.dx, step.dy};
      const int fields[3] = {kRedField, kGreenField, kBlueField};
      for (int i = 0; i < 3; i++) {
        if (values[i] < 0 || values[i] > 255) {
          std::snprintf(reason, reasonSize, "a colour component must be 0..255");
          return kCommonStepFailed;
        }
        char text[8];
        std::snprintf(text, sizeof text, "%d", int(values[i]));
        // Each field tells the dialog of its change, which takes the colour from it.
        SetDlgItemTextA(dialog, fields[i], text);
      }
      Press(dialog, IDOK);
      return kCommonStepDone;
    }
    default:
      Press(dialog, IDCANCEL);
      return kCommonStepDone;
  }
}
