// progress_box_win32.cpp -- the export progress box as a modal dialog (see progress_box.h).
//
// The job runs on the box's own thread, inside its timer message, so the dialog's message loop
// does not turn while it works. The rows of the export report their progress through
// ShowProgressPercent, which answers the messages waiting for this thread between two rows:
// that is how the box repaints and how a click on its button (or Esc) reaches RequestCancel.
#include <windows.h>

#include <cstring>

#include "files/progress_box.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"

static HWND gProgressBox = nullptr;
static bool gCursorChanged = false;
static bool gJobRunning = false;
static int16_t gJobResult = 0;
static char gButtonText[32] = "";

static void CloseProgressBox(HWND box) {
  KillTimer(box, kProgressTimer);
  if (gCursorChanged) SetCursor(LoadCursor(nullptr, IDC_ARROW));
  gCursorChanged = false;
  EndDialog(box, 1);
  gProgressBox = nullptr;
}

static INT_PTR CALLBACK ProgressDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  PluginGlobals *globals = reinterpret_cast<PluginGlobals *>(GetWindowLongPtrA(box, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(box, DWLP_USER, lParam);
      globals = reinterpret_cast<PluginGlobals *>(lParam);
      gProgressBox = box;
      CenterDialog(box);
      ShowWindow(box, SW_SHOW);
      BringWindowToTop(box);
      SetCursor(LoadCursor(nullptr, IDC_WAIT));
      gCursorChanged = true;
      SetTimer(box, kProgressTimer, kProgressDelayMs, nullptr);
      globals->runState->jobCancel = 0;
      GetDlgItemTextA(box, kProgressButton, gButtonText, sizeof gButtonText);
      return TRUE;
    case WM_TIMER:
      if (wParam != kProgressTimer || gJobRunning) return FALSE;
      KillTimer(box, kProgressTimer);
      gJobRunning = true;
      gJobResult = RunProgressJob(globals);
      gJobRunning = false;
      CloseProgressBox(box);
      return TRUE;
    case WM_COMMAND:
      // The button and Esc both arrive as IDCANCEL (2).
      if (LOWORD(wParam) == IDCANCEL && globals != nullptr) {
        RequestCancel(globals);
        if (!gJobRunning) {
          gJobResult = kProgressStopped;
          CloseProgressBox(box);
        }
      }
      return TRUE;
    case WM_CLOSE:
      if (globals != nullptr) RequestCancel(globals);
      if (!gJobRunning) {
        gJobResult = kProgressStopped;
        CloseProgressBox(box);
      }
      return TRUE;
    case WM_SETCURSOR:
      if (gCursorChanged) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrA(box, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

int16_t RunProgressBox(PluginGlobals *globals) {
  gJobResult = 0;
  const INT_PTR shown = DialogBoxParamA(static_cast<HINSTANCE>(gModuleInstance), "RUVIZ_PROGRESS",
                                        GetActiveWindow(), ProgressDialogProc, reinterpret_cast<LPARAM>(globals));
  gProgressBox = nullptr;
  // Without the template (or without a display) the job still runs, without a box.
  if (shown == -1 || shown == 0) return RunProgressJob(globals);
  return gJobResult;
}

bool ProgressBoxOpen() { return gProgressBox != nullptr; }

void BringProgressBoxToTop() {
  if (gProgressBox != nullptr) BringWindowToTop(gProgressBox);
}

void PumpProgressBox() {
  MSG msg;
  while (gProgressBox != nullptr && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      break;
    }
    if (!IsDialogMessageA(gProgressBox, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void SetProgressBoxText(const char *text) {
  if (gProgressBox == nullptr) return;
  if (std::strcmp(text, gButtonText) != 0) {
    std::strncpy(gButtonText, text, sizeof gButtonText - 1);
    gButtonText[sizeof gButtonText - 1] = 0;
    SetDlgItemTextA(gProgressBox, kProgressButton, gButtonText);
    UpdateWindow(gProgressBox);
  }
  PumpProgressBox();
}

void *ProgressBoxWindow() { return gProgressBox; }
const char *ProgressBoxText() { return gButtonText; }
