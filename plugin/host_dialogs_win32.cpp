// host_dialogs_win32.cpp -- the About box, the refusals, the info box and the message dialogs
// (see host_dialogs.h).
//
// The refusals are modal dialogs without owner: the host's window is not ours to disable, and
// they come before any window of the plug-in exists. The About and info boxes are owned by the
// main dialog while it runs, so that its OK and Cancel wait until they are closed. Each box
// paints its background white, so that the pictures (drawn on white) sit on the dialog without
// a seam.
#include <windows.h>
#include <shellapi.h>

#include "dialog/main_dialog.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"

// Timer of the info box: once a second it checks whether the main dialog is still there.
static constexpr UINT_PTR kInfoTimer = 997;
static constexpr UINT kInfoTimerMs = 1000;


static HINSTANCE ModuleInstance() { return static_cast<HINSTANCE>(gModuleInstance); }

void PostWindowClose(void *window) { PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0); }

// A picture control of a template loads its bitmap itself, and Wine's static control never
// deletes it: taken back from each control as the box goes, it is freed here, once.
static BOOL CALLBACK FreeControlPicture(HWND control, LPARAM) {
  char className[16];
  if (GetClassNameA(control, className, sizeof className) == 0 || lstrcmpiA(className, "Static") != 0 ||
      (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
    return TRUE;
  HGDIOBJ picture = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, 0));
  if (picture != nullptr) DeleteObject(picture);
  return TRUE;
}

static void FreeBoxPictures(HWND box) { EnumChildWindows(box, FreeControlPicture, 0); }

void CenterDialog(void *handle) {
  HWND window = static_cast<HWND>(handle);
  HWND parent = GetParent(window);
  if (parent == nullptr) parent = GetDesktopWindow();
  RECT p, d;
  GetClientRect(parent, &p);
  MapWindowPoints(parent, nullptr, reinterpret_cast<POINT *>(&p), 2);
  GetWindowRect(window, &d);
  const int w = d.right - d.left, h = d.bottom - d.top;
  int k = GetSystemMetrics(SM_CYCAPTION);
  if ((GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU) == 0) k -= (k - k / 3) / 2;
  const int pw = p.right - p.left, ph = p.bottom - p.top;
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  int x = p.left + (pw - w > 0 ? pw - w : 0) / 2 - k;
  if (x + w > screenW) x = screenW - w > 0 ? screenW - w : 0;
  int y = p.top + (ph - h > 0 ? ph - h : 0) / 3;
  if (y + h > screenH) y = screenH - h > 0 ? screenH - h : 0;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fills the whole dialog with white; the answer of WM_ERASEBKGND.
static INT_PTR EraseWhite(HWND window, HDC dc) {
  RECT r;
  GetClientRect(window, &r);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  return TRUE;
}

// Static controls draw on white too (their text and their transparent background).
static INT_PTR WhiteStatic(HDC dc) {
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

static INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterDialog(window);
      NoteToolWindow(kToolAboutBox, window);
      aboutBoxOpen = true;
      return TRUE;
    case WM_DESTROY:
      FreeBoxPictures(window);
      return FALSE;
    case WM_ERASEBKGND:
      return EraseWhite(window, reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORSTATIC:
      return WhiteStatic(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
      EndDialog(window, 1);
      aboutBoxOpen = false;
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) {
        const int id = LOWORD(wParam);
        if (id == kAboutWebButton) OpenHomePage();
        EndDialog(window, id);
      }
      aboutBoxOpen = false;
      return TRUE;
    default:
      (void)lParam;
      return FALSE;
  }
}

void ShowAboutBox() {
  if (aboutBoxOpen) return;
  DialogBoxParamA(ModuleInstance(), "ABOUTBOX", static_cast<HWND>(MainDialogWindow()), AboutDialogProc, 0);
  aboutBoxOpen = false;
  NoteToolWindow(kToolAboutBox, nullptr);
}

// The message dialogs: centred, their texts substituted, ended by any click with the clicked id.
static INT_PTR CALLBACK MessageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterDialog(window);
      for (int item : kMessageTextItems) {
        char text[kMessageTextSize];
        if (GetDlgItemTextA(window, item, text, kMessageTextSize) <= 0) continue;
        SubstituteMessageArgs(text);
        SetDlgItemTextA(window, item, text);
      }
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) EndDialog(window, LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
    case WM_DESTROY:
      FreeBoxPictures(window);
      return FALSE;
    default:
      return FALSE;
  }
}

int ShowMessageDialog(const char *templateName) {
  return int(DialogBoxParamA(ModuleInstance(), templateName, nullptr, MessageDialogProc, 0));
}

void ShowHostRefusal() { ShowMessageDialog("REFUSAL2"); }

void ShowModeRefusal() { ShowMessageDialog("REFUSAL3"); }

static INT_PTR CALLBACK InfoBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      NoteToolWindow(kToolInfoBox, window);
      SetTimer(window, kInfoTimer, kInfoTimerMs, nullptr);
      CenterDialog(window);
      return TRUE;
    case WM_ERASEBKGND:
      return EraseWhite(window, reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORSTATIC:
      return WhiteStatic(reinterpret_cast<HDC>(wParam));
    case WM_COMMAND:
      if (HIWORD(wParam) == 0) EndDialog(window, LOWORD(wParam));
      infoBoxOpen = false;
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      infoBoxOpen = false;
      return TRUE;
    case WM_TIMER:
      KillTimer(window, kInfoTimer);
      if (MainDialogWindow() != nullptr) {
        SetTimer(window, kInfoTimer, kInfoTimerMs, nullptr);
      } else {
        // The main dialog is gone: nothing is left to inform about.
        EndDialog(window, 1);
        infoBoxOpen = false;
      }
      return TRUE;
    case WM_DESTROY:
      FreeBoxPictures(window);
      return FALSE;
    default:
      return FALSE;
  }
}

int ShowInfoBox() {
  if (infoBoxOpen) return 0;
  infoBoxOpen = true;
  const INT_PTR ended =
      DialogBoxParamA(ModuleInstance(), "TOLVO_INFO_BOX", static_cast<HWND>(MainDialogWindow()), InfoBoxProc, 0);
  infoBoxOpen = false;
  NoteToolWindow(kToolInfoBox, nullptr);
  return int(ended);
}

// ShellExecuteA answers a value above 32 when it started something; anything else is an error
// code (no browser registered, none that could be started). Kivaglobe32 then says so in a box
// over the main dialog (or over nothing when the About box came from the host), naming the
// address so that the user can type it; Kivaglobe64 stays silent.
void OpenHomePage() {
  HINSTANCE opened = ShellExecuteA(nullptr, "open", kHomePageAddress, nullptr, nullptr, SW_SHOWNORMAL);
  if (!kComplainsWithoutBrowser || reinterpret_cast<INT_PTR>(opened) > 32) return;
  SetMessageArgs(kHomePageAddress, nullptr, nullptr, nullptr);
  DialogBoxParamA(ModuleInstance(), "COMPLAIN_QZ", static_cast<HWND>(MainDialogWindow()), MessageDialogProc, 0);
  SetMessageArgs(nullptr, nullptr, nullptr, nullptr);
}

void OpenInBrowser(const char *path) { ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL); }
