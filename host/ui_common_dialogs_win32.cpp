// ui_common_dialogs_win32.cpp -- the file and colour dialog steps (see ui_common_dialogs.h).
#include <windows.h>

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

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

CommonDialogStepResult RunCommonDialogStep(const UiStep &step, void *window, uint32_t waitedMs, char *reason,
                                           size_t reasonSize) {
  HWND dialog = static_cast<HWND>(window);
  const bool wantFile = step.kind == kUiFile || step.kind == kUiFileCancel;
  const bool present = wantFile ? FileNameField(dialog) != nullptr : IsColourDialog(dialog);
  if (!present) {
    if (waitedMs < kWaitMs) return kCommonStepAgain;
    std::snprintf(reason, reasonSize, "no %s dialog appeared", wantFile ? "file" : "colour");
    return kCommonStepFailed;
  }
  switch (step.kind) {
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
