// control_backend_win32.cpp -- the value operations' window back end: the dialog's items.
#include <windows.h>

#include "dialog/control_ids.h"
#include "dialog/control_paint.h"
#include "dialog/control_values.h"

namespace {

HWND Dialog(void *dialog) { return static_cast<HWND>(dialog); }

void SetText(void *dialog, int id, const char *text) { SetDlgItemTextA(Dialog(dialog), id, text); }

int GetText(void *dialog, int id, char *buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = 0;
  return int(GetDlgItemTextA(Dialog(dialog), id, buffer, size));
}

void SetCheck(void *dialog, int id, int checked) {
  SendDlgItemMessageA(Dialog(dialog), id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int GetCheck(void *dialog, int id) { return int(SendDlgItemMessageA(Dialog(dialog), id, BM_GETCHECK, 0, 0)); }

void SetSelection(void *dialog, int id, int index) {
  SendDlgItemMessageA(Dialog(dialog), id, CB_SETCURSEL, WPARAM(index), 0);
}

int GetSelection(void *dialog, int id) {
  const LRESULT answer = SendDlgItemMessageA(Dialog(dialog), id, CB_GETCURSEL, 0, 0);
  return answer == CB_ERR ? -1 : int(answer);
}

void Repaint(void *dialog, int id) { RepaintControl(dialog, id); }

void KillPreviewTimer(void *dialog) { KillTimer(Dialog(dialog), kPreviewTimerId); }

}  // namespace

ControlBackend gControlBackend = {SetText, GetText, SetCheck, GetCheck, SetSelection, GetSelection, Repaint, KillPreviewTimer};
