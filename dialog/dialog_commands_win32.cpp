// dialog_commands_win32.cpp -- the windowed parts of the commands: the dialog's command table,
// the memory dots' and the thumbnail's painter, and the gallery commands' cursors and repaints.
#include <windows.h>

#include "clouds/cloud_chooser.h"
#include "dialog/control_paint.h"
#include "dialog/control_table.h"
#include "dialog/control_values.h"
#include "dialog/dialog_commands.h"
#include "dialog/dialog_hooks.h"
#include "dialog/file_dialogs.h"
#include "dialog/memory_dots.h"
#include "dialog/preview_area.h"
#include "files/batch_refresh.h"
#include "files/gallery_pages.h"
#include "plugin/globals.h"
#include "plugin/host_utils.h"

namespace {

HINSTANCE Module() { return static_cast<HINSTANCE>(gModuleInstance); }

void DrawBitmapAt(HDC dc, int id, int x, int y) {
  HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(id));
  if (bitmap == nullptr) return;
  BITMAP info;
  HDC memory = CreateCompatibleDC(dc);
  if (memory != nullptr && GetObjectA(bitmap, sizeof info, &info) != 0) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
  }
  if (memory != nullptr) DeleteDC(memory);
  DeleteObject(bitmap);
}

void DrawDotPreview(HDC dc, int left, int top) {
  static uint8_t bgrx[kDotPreviewSide * kDotPreviewSide * 4];
  for (int i = 0; i < kDotPreviewSide * kDotPreviewSide; i++) {
    bgrx[i * 4 + 0] = gMemoryDots.preview[i * 3 + 2];
    bgrx[i * 4 + 1] = gMemoryDots.preview[i * 3 + 1];
    bgrx[i * 4 + 2] = gMemoryDots.preview[i * 3 + 0];
    bgrx[i * 4 + 3] = 0;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kDotPreviewSide;
  info.bmiHeader.biHeight = -kDotPreviewSide;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, left, top, kDotPreviewSide, kDotPreviewSide, 0, 0, 0, kDotPreviewSide, bgrx, &info,
                    DIB_RGB_COLORS);
}

// A dot's face by its state, flag and pressed bit, 2 pixels below its top; for the thumbnail
// control (after its background), the shown dot's picture.
void PaintDot(PluginGlobals *globals, void *dialog, void *context, int id, int32_t value) {
  LayoutRect r;
  if (!GetControlClientRect(dialog, id, &r)) return;
  HDC dc = static_cast<HDC>(context);
  if (id == kIdDotThumbnail) {
    if (!gMemoryDots.previewShown) return;
    // The picture reaches 2 pixels below the 90-pixel control; kept inside it, it leaves no
    // strip behind when the control alone is repainted without it.
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    DrawDotPreview(dc, r.left + kDotPreviewInset, r.top + kDotPreviewInset);
    RestoreDC(dc, saved);
    return;
  }
  bool filled = false;
  int32_t slot = -1;
  if (!FindMemoryDot(id, &filled, &slot)) return;
  const bool hasData = globals->runState != nullptr && globals->runState->dotHasData[slot] != 0;
  int32_t fallback = 0, bitmap = 0;
  MemoryDotBitmaps(gMemoryDots.state[slot], hasData, (value & kPressedBit) != 0, &fallback, &bitmap);
  DrawBitmapAt(dc, bitmap, r.left, r.top + 2);
}

void HoverAt(PluginGlobals *globals, void *dialog, int32_t x, int32_t y) { HoverMemoryDotAt(globals, dialog, x, y); }

void RepaintAfterPreview(PluginGlobals *globals, void *dialog) {
  DrawPreviewFrame(globals, dialog, false, nullptr);
  PaintAllControls(nullptr, dialog, globals);
}

void InvalidateDialog(void *dialog) { InvalidateRect(static_cast<HWND>(dialog), nullptr, FALSE); }

// Between two files of a batch refresh: paints, timers and the messages of other windows are
// answered. Of the dialog's own input nothing reaches the dialog, as a busy dialog ignores
// clicks; what would press Cancel (a click on it, Esc, its command) asks the batch to stop
// instead of closing the dialog under it.
void PumpBatchMessages(PluginGlobals *globals, void *handle) {
  HWND dialog = static_cast<HWND>(handle);
  ParameterBlock *p = GetParameterBlock(globals);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      return;
    }
    const bool ours = dialog != nullptr && (msg.hwnd == dialog || IsChild(dialog, msg.hwnd));
    const UINT m = msg.message;
    const bool input = (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
                       (m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK) || m == WM_COMMAND || m == WM_CLOSE;
    if (!ours || !input) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      continue;
    }
    const bool cancel = (m == WM_LBUTTONUP && GetDlgCtrlID(msg.hwnd) == kIdCancel) ||
                        (m == WM_KEYDOWN && msg.wParam == VK_ESCAPE) ||
                        (m == WM_COMMAND && LOWORD(msg.wParam) == kIdCancel);
    if (cancel && p != nullptr) p->batchCancel = 1;
  }
}

}  // namespace

void InstallDialogWindowHooks() {
  gDialogHooks.handleFileCommands = HandleFileCommands;
  gDialogHooks.handleUndo = HandleUndoCommand;
  gDialogHooks.handleDice = HandleDiceCommand;
  gDialogHooks.handleRandomSeed = HandleRandomSeedCommand;
  gDialogHooks.handleDefaults = HandleDefaultsCommand;
  gDialogHooks.runCloudChooser = RunCloudChooser;
  gDialogHooks.pickColor = PickColor;
  gDialogHooks.initMemoryDots = InitMemoryDotSlots;
  gDialogHooks.addMemoryDot = AddMemoryDot;
  gDialogHooks.hoverMemoryDot = HoverAt;
  gDialogHooks.paintMemoryDot = PaintDot;
  gGalleryDialogProcs.waitCursor = SetWaitCursor;
  gGalleryDialogProcs.arrowCursor = RestoreArrowCursor;
  gGalleryDialogProcs.repaintAfterPreview = RepaintAfterPreview;
  gGalleryDialogProcs.invalidateDialog = InvalidateDialog;
  gBatchPumpMessages = PumpBatchMessages;
}
