// ui_driver_win32.cpp -- running a dialog script inside the host's process, and painting what
// displayPixels is given.
//
// A thread timer ticks while the plug-in's entry runs. The plug-in's modal dialog loop
// dispatches it like any message of the thread, so each tick runs between the dialog's own
// messages: a step posts its mouse or command messages and returns, the dialog handles them,
// and the next tick comes only when the queue is empty again (timer messages are the last a
// message loop takes), so each step sees the effect of the one before.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "host/host_platform.h"
#include "host/host_session.h"
#include "host/png_writer.h"
#include "host/ui_common_dialogs.h"
#include "host/ui_driver.h"

namespace {

constexpr UINT kTickMs = 30;
constexpr DWORD kStepTimeoutMs = 10000;      // a step whose control never appears fails
constexpr DWORD kTypedPreviewMs = 1200;      // beyond the plug-in's one-second preview delay
constexpr int32_t kQuietTicks = 8;           // displayPixels calls unchanged this many ticks
constexpr DWORD kIdleWatchdogMs = 15000;     // a dialog left open after the last step
constexpr DWORD kLongJobMs = 600000;         // wait-for: an export of a large document
constexpr int32_t kDragMoves = 8;

enum StepResult { kStepDone, kStepAgain, kStepFailed };

struct Driver {
  HostSession *session;
  UINT_PTR timer;
  bool busy;
  std::vector<HWND> dialogs;        // visible dialogs of the thread, in the order they appeared
  DWORD stepStarted;                // when the current step was first tried (0 not yet)
  DWORD resumeAt;                   // a sleep step's end
  DWORD lastTyped;                  // when text was last typed (0 never)
  int32_t lastDisplayCalls;
  int32_t quietTicks;
  DWORD idleSince;                  // the last step was done and a dialog is still open
  HWND heldReceiver;                // "hold" left the left button down on this window
  POINT heldAt;                     //   at this point of its client area
};

Driver gDriver;

BOOL CALLBACK CollectDialog(HWND window, LPARAM) {
  char className[16];
  if (!IsWindowVisible(window) || GetClassNameA(window, className, sizeof className) == 0 ||
      std::strcmp(className, "#32770") != 0)
    return TRUE;
  for (HWND seen : gDriver.dialogs)
    if (seen == window) return TRUE;
  gDriver.dialogs.push_back(window);
  return TRUE;
}

// The topmost dialog of the thread: the one that appeared last and is still shown.
HWND TargetDialog() {
  std::vector<HWND> alive;
  for (HWND window : gDriver.dialogs)
    if (IsWindow(window) && IsWindowVisible(window)) alive.push_back(window);
  gDriver.dialogs = alive;
  EnumThreadWindows(GetCurrentThreadId(), CollectDialog, 0);
  return gDriver.dialogs.empty() ? nullptr : gDriver.dialogs.back();
}

void Fail(const char *format, const char *detail) {
  UiDriverState &state = CurrentUiDriver();
  if (state.failed) return;
  state.failed = true;
  char step[kUiTextSize + 64] = "";
  if (state.next < state.steps.size()) FormatUiStep(state.steps[state.next], step, sizeof step);
  char reason[256];
  std::snprintf(reason, sizeof reason, format, detail);
  std::snprintf(state.failure, sizeof state.failure, "step %d \"%s\": %s", int(state.next + 1), step, reason);
}

// Ends every dialog the script left open, the topmost first: Cancel, as a person would.
void CancelDialogs() {
  for (size_t i = gDriver.dialogs.size(); i-- > 0;) {
    HWND window = gDriver.dialogs[i];
    if (IsWindow(window)) EndDialog(window, IDCANCEL);
  }
}

// The centre of a control, in the client coordinates of `window`.
POINT ControlCentre(HWND control, HWND window) {
  RECT r;
  GetWindowRect(control, &r);
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ScreenToClient(window, &p);
  return p;
}

// Where a press on `control` goes: the control itself, or the window below it when it lets
// the mouse through (a static without SS_NOTIFY answers HTTRANSPARENT), as Windows decides.
HWND MouseReceiver(HWND control, HWND dialog) {
  RECT r;
  GetWindowRect(control, &r);
  LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  return SendMessageA(control, WM_NCHITTEST, 0, at) == HTTRANSPARENT ? dialog : control;
}

LPARAM PointParam(POINT p) { return MAKELPARAM(int16_t(p.x), int16_t(p.y)); }

// A press in the middle of `control`, `moves` moves by dx, dy in all, and the release unless
// the button is to stay held (then the release step lets go where the moves ended).
void PostMouse(HWND control, HWND dialog, bool right, int32_t dx, int32_t dy, int32_t moves, bool release = true,
               WPARAM keys = 0) {
  HWND receiver = MouseReceiver(control, dialog);
  POINT start = ControlCentre(control, receiver);
  const UINT down = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
  const UINT up = right ? WM_RBUTTONUP : WM_LBUTTONUP;
  const WPARAM held = (right ? MK_RBUTTON : MK_LBUTTON) | keys;
  PostMessageA(receiver, WM_MOUSEMOVE, 0, PointParam(start));
  PostMessageA(receiver, down, held, PointParam(start));
  POINT end = start;
  for (int32_t k = 1; k <= moves; k++) {
    end.x = start.x + dx * k / moves;
    end.y = start.y + dy * k / moves;
    PostMessageA(receiver, WM_MOUSEMOVE, held, PointParam(end));
  }
  if (release) {
    PostMessageA(receiver, up, keys, PointParam(end));
  } else {
    gDriver.heldReceiver = receiver;
    gDriver.heldAt = end;
  }
}

bool IsButton(HWND control) {
  char className[16];
  return GetClassNameA(control, className, sizeof className) != 0 && lstrcmpiA(className, "Button") == 0;
}

// The button of `dialog` whose caption, without its '&', is `caption`; null when none.
struct CaptionSearch {
  const char *caption;
  HWND found;
};

BOOL CALLBACK MatchCaption(HWND child, LPARAM data) {
  CaptionSearch *search = reinterpret_cast<CaptionSearch *>(data);
  if (!IsButton(child)) return TRUE;
  char text[64], plain[64];
  GetWindowTextA(child, text, sizeof text);
  size_t n = 0;
  for (const char *p = text; *p != 0 && n + 1 < sizeof plain; p++)
    if (*p != '&') plain[n++] = *p;
  plain[n] = 0;
  if (lstrcmpiA(plain, search->caption) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

void PressCommand(HWND dialog, int32_t id, HWND control) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// A picture of the window's client area as it is on the screen, from the window's own device
// context. PrintWindow is not used: it asks the window to paint itself into another context,
// which misses whatever a program paints on the window's context directly. The frame and
// caption are left out: without a window manager Wine may not draw them, and client pixels
// match the coordinates a dialog places its controls at.
bool WriteShot(HWND window, const char *file, char *reason, size_t reasonSize) {
  UpdateWindow(window);
  RECT r;
  GetClientRect(window, &r);
  const int32_t w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) {
    std::snprintf(reason, reasonSize, "the window has no size");
    return false;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;   // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  std::vector<uint8_t> rgb;
  if (ok) {
    rgb.resize(size_t(w) * size_t(h) * 3);
    const uint8_t *bgrx = static_cast<const uint8_t *>(bits);
    for (size_t i = 0; i < size_t(w) * size_t(h); i++) {
      rgb[i * 3 + 0] = bgrx[i * 4 + 2];
      rgb[i * 3 + 1] = bgrx[i * 4 + 1];
      rgb[i * 3 + 2] = bgrx[i * 4 + 0];
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  if (!ok) {
    std::snprintf(reason, reasonSize, "cannot copy the window's pixels");
    return false;
  }
  char path[kHostPathSize];
  std::snprintf(path, sizeof path, "%s", file);
  MapHostPath(path, sizeof path);
  if (!WritePngFile(path, rgb.data(), w, h, 3, 8)) {
    std::snprintf(reason, reasonSize, "cannot write %s", file);
    return false;
  }
  return true;
}

// Runs one step against the topmost dialog.
StepResult RunStep(const UiStep &step, HWND dialog, DWORD now) {
  HWND control = step.id > 0 ? GetDlgItem(dialog, step.id) : nullptr;
  const bool needsControl = step.kind == kUiType || step.kind == kUiClick || step.kind == kUiCtrlClick ||
                            step.kind == kUiRightClick ||
                            step.kind == kUiDrag || step.kind == kUiSelect || step.kind == kUiHold ||
                            step.kind == kUiRead;
  if (needsControl && control == nullptr) {
    // A dialog that a click opened may not be there yet: wait for its control.
    if (now - gDriver.stepStarted < kStepTimeoutMs) return kStepAgain;
    char id[16];
    std::snprintf(id, sizeof id, "%d", step.id);
    Fail("the dialog has no control %s", id);
    return kStepFailed;
  }
  switch (step.kind) {
    case kUiFile:
    case kUiFileCancel:
    case kUiColour:
    case kUiColourCancel:
    case kUiFileSelect: {
      char reason[256] = "";
      const CommonDialogStepResult r = RunCommonDialogStep(step, dialog, now - gDriver.stepStarted, reason, sizeof reason);
      if (r == kCommonStepFailed) Fail("%s", reason);
      return r == kCommonStepDone ? kStepDone : r == kCommonStepAgain ? kStepAgain : kStepFailed;
    }
    case kUiType:
      SetWindowTextA(control, step.text);
      gDriver.lastTyped = now;
      return kStepDone;
    case kUiClick:
      if (IsButton(control))
        PostMessageA(control, BM_CLICK, 0, 0);
      else
        PostMouse(control, dialog, false, 0, 0, 0);
      return kStepDone;
    case kUiRightClick:
      PostMouse(control, dialog, true, 0, 0, 0);
      return kStepDone;
    case kUiCtrlClick:
      PostMouse(control, dialog, false, 0, 0, 0, true, MK_CONTROL);
      return kStepDone;
    case kUiDrag:
      PostMouse(control, dialog, false, step.dx, step.dy, kDragMoves);
      return kStepDone;
    case kUiHold:
      PostMouse(control, dialog, false, step.dx, step.dy, kDragMoves, false);
      return kStepDone;
    case kUiRelease:
      if (gDriver.heldReceiver == nullptr || !IsWindow(gDriver.heldReceiver)) {
        Fail("no button is held", "");
        return kStepFailed;
      }
      PostMessageA(gDriver.heldReceiver, WM_LBUTTONUP, 0, PointParam(gDriver.heldAt));
      gDriver.heldReceiver = nullptr;
      return kStepDone;
    case kUiWaitFor:
      if (control != nullptr) return kStepDone;
      if (now - gDriver.stepStarted < kLongJobMs) return kStepAgain;
      Fail("the dialog never came back to the front", "");
      return kStepFailed;
    case kUiRead: {
      char text[256] = "";
      GetWindowTextA(control, text, sizeof text);
      std::fprintf(gDriver.session->out, "UI text %d \"%s\"\n", step.id, text);
      std::fflush(gDriver.session->out);
      return kStepDone;
    }
    case kUiPress:
      PressCommand(dialog, step.id, control);
      return kStepDone;
    case kUiSelect: {
      LRESULT count = SendMessageA(control, CB_GETCOUNT, 0, 0);
      if (count == CB_ERR || step.dx >= count) {
        Fail("the list has no such entry", "");
        return kStepFailed;
      }
      SendMessageA(control, CB_SETCURSEL, WPARAM(step.dx), 0);
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(step.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
      return kStepDone;
    }
    case kUiWaitPreview: {
      const int32_t calls = gDriver.session->display.calls;
      if (calls != gDriver.lastDisplayCalls) {
        gDriver.lastDisplayCalls = calls;
        gDriver.quietTicks = 0;
      } else {
        gDriver.quietTicks++;
      }
      const bool typedSettled = gDriver.lastTyped == 0 || now - gDriver.lastTyped >= kTypedPreviewMs;
      if (typedSettled && gDriver.quietTicks >= kQuietTicks) return kStepDone;
      if (now - gDriver.stepStarted < kStepTimeoutMs) return kStepAgain;
      Fail("the preview did not settle", "");
      return kStepFailed;
    }
    case kUiSleep:
      if (gDriver.resumeAt == 0) gDriver.resumeAt = now + DWORD(step.dx) + 1;
      if (int32_t(gDriver.resumeAt - now) > 0) return kStepAgain;
      gDriver.resumeAt = 0;
      return kStepDone;
    case kUiShot: {
      char reason[kHostPathSize + 64];
      if (!WriteShot(dialog, step.text, reason, sizeof reason)) {
        Fail("%s", reason);
        return kStepFailed;
      }
      return kStepDone;
    }
    case kUiOk:
    case kUiCancel: {
      CaptionSearch search = {step.kind == kUiOk ? "OK" : "Cancel", nullptr};
      EnumChildWindows(dialog, MatchCaption, reinterpret_cast<LPARAM>(&search));
      const int32_t id = search.found != nullptr ? GetDlgCtrlID(search.found) : (step.kind == kUiOk ? IDOK : IDCANCEL);
      PressCommand(dialog, id, search.found);
      return kStepDone;
    }
  }
  return kStepDone;
}

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD) {
  if (gDriver.busy) return;
  gDriver.busy = true;
  UiDriverState &state = CurrentUiDriver();
  HWND dialog = TargetDialog();
  const DWORD now = GetTickCount();
  if (dialog != nullptr && state.failed) {
    CancelDialogs();
  } else if (dialog != nullptr && state.next >= state.steps.size()) {
    // The script is done but a dialog stays open: it would wait for a person forever.
    if (gDriver.idleSince == 0) gDriver.idleSince = now;
    if (now - gDriver.idleSince >= kIdleWatchdogMs) {
      state.failed = true;
      std::snprintf(state.failure, sizeof state.failure, "the steps ended with the dialog still open");
      CancelDialogs();
    }
  } else if (dialog != nullptr) {
    gDriver.idleSince = 0;
    const UiStep &step = state.steps[state.next];
    if (gDriver.stepStarted == 0) {
      gDriver.stepStarted = now == 0 ? 1 : now;
      char text[kUiTextSize + 64];
      FormatUiStep(step, text, sizeof text);
      std::fprintf(gDriver.session->out, "UI %d: %s\n", int(state.next + 1), text);
      std::fflush(gDriver.session->out);
    }
    StepResult result = RunStep(step, dialog, now);
    if (result == kStepDone) {
      state.next++;
      gDriver.stepStarted = 0;
      gDriver.quietTicks = 0;
      gDriver.lastDisplayCalls = gDriver.session->display.calls;
    } else if (result == kStepFailed) {
      CancelDialogs();
    }
  }
  gDriver.busy = false;
}

}  // namespace

void BeginUiDriverCall(HostSession *session) {
  if (CurrentUiDriver().steps.empty()) return;
  gDriver.session = session;
  gDriver.busy = false;
  gDriver.dialogs.clear();
  gDriver.stepStarted = 0;
  gDriver.resumeAt = 0;
  gDriver.idleSince = 0;
  gDriver.heldReceiver = nullptr;
  gDriver.quietTicks = 0;
  gDriver.lastDisplayCalls = session->display.calls;
  // The real pointer goes to the screen's far corner, away from any dialog: a window that
  // opens or closes under it gets mouse moves from the system, which would mix with the
  // script's own.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  gDriver.timer = SetTimer(nullptr, 0, kTickMs, DriverTick);
}

void EndUiDriverCall(HostSession *session) {
  if (gDriver.timer != 0) KillTimer(nullptr, gDriver.timer);
  gDriver.timer = 0;
  gDriver.dialogs.clear();
  gDriver.session = nullptr;
}

void PaintDisplayedImage(void *platformContext, const HostImage &image, int32_t destinationRow,
                         int32_t destinationColumn) {
  if (platformContext == nullptr || image.width <= 0 || image.height <= 0) return;
  // A top-down 32-bit DIB: grey and 16-bit samples become 8-bit BGR.
  std::vector<uint8_t> bgrx(size_t(image.width) * size_t(image.height) * 4);
  for (int32_t y = 0; y < image.height; y++) {
    for (int32_t x = 0; x < image.width; x++) {
      const uint8_t *pixel = image.data.data() + (size_t(y) * size_t(image.width) + size_t(x)) *
                                                     size_t(image.channels * image.bytesPerSample);
      uint8_t out[3];
      for (int32_t c = 0; c < 3; c++) {
        const int32_t channel = image.channels >= 3 ? c : 0;
        int32_t v;
        if (image.bytesPerSample == 2) {
          uint16_t sample;
          std::memcpy(&sample, pixel + channel * 2, 2);
          v = sample >= kHost16BitWhite ? 255 : (int32_t(sample) * 255 + kHost16BitWhite / 2) / kHost16BitWhite;
        } else {
          v = pixel[channel];
        }
        out[c] = uint8_t(v);
      }
      uint8_t *into = bgrx.data() + (size_t(y) * size_t(image.width) + size_t(x)) * 4;
      into[0] = out[2];
      into[1] = out[1];
      into[2] = out[0];
      into[3] = 0;
    }
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(static_cast<HDC>(platformContext), destinationColumn, destinationRow, DWORD(image.width),
                    DWORD(image.height), 0, 0, 0, UINT(image.height), bgrx.data(), &info, DIB_RGB_COLORS);
}
