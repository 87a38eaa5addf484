// file_dialogs_win32.cpp -- the save and open dialogs, the preset preview in the open dialog,
// the Windows colour dialog and the notice box (see file_dialogs.h).
//
// One request record serves every file dialog and gFileDialogOpen marks that one is open: a
// second request while it is (a command reached again through a nested message loop) is
// refused, not nested. The flag also keeps the main dialog's OK and Cancel from ending the
// dialog under a running command.
#include <windows.h>
#include <commdlg.h>

#include <cstring>

#include "dialog/dialog_hooks.h"
#include "dialog/file_dialogs.h"
#include "dialog/main_dialog.h"
#include "files/settings_file.h"
#include "files/thumbnails.h"
#include "foundation/strings.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "plugin/host_utils.h"

namespace {

OPENFILENAMEA gFileRequest;
char gFilter[128];
// The custom colours of the Windows colour dialog, kept while the module is loaded.
COLORREF gCustomColours[16];

// Kivaglobe32 has the smaller template.
constexpr const char *kPresetTemplate = sizeof(void *) == 8 ? "FANCY_OPEN4" : "FANCY_OPEN2";

HINSTANCE Module() { return static_cast<HINSTANCE>(gModuleInstance); }

HWND MainWindow() { return static_cast<HWND>(MainDialogWindow()); }

// Places a window centred over its parent or owner (or the screen), its top-left kept on the
// screen; its size is unchanged.
void CenterOverParent(HWND window) {
  HWND parent = GetParent(window);
  if (parent == nullptr) parent = GetWindow(window, GW_OWNER);
  RECT area, own;
  if (parent != nullptr && IsWindowVisible(parent)) {
    GetWindowRect(parent, &area);
  } else {
    GetWindowRect(GetDesktopWindow(), &area);
  }
  GetWindowRect(window, &own);
  int x = area.left + ((area.right - area.left) - (own.right - own.left)) / 2;
  int y = area.top + ((area.bottom - area.top) - (own.bottom - own.top)) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UINT_PTR CALLBACK FileDialogHook(HWND hook, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  CenterOverParent(GetParent(hook));
  return 1;
}

PluginGlobals *HookGlobals(HWND hook) {
  const auto *request = reinterpret_cast<const OPENFILENAMEA *>(GetWindowLongPtrA(hook, DWLP_USER));
  return request != nullptr ? reinterpret_cast<PluginGlobals *>(request->lCustData) : nullptr;
}

// The thumbnail image, as large as fits, centred in the control's item rectangle, on white.
void DrawPresetThumbnail(PluginGlobals *globals, HDC dc, const RECT &item) {
  FillRect(dc, &item, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const int width = item.right - item.left, height = item.bottom - item.top;
  const int side = width < height ? width : height;
  if (side <= 0 || ThumbnailImage(globals) == nullptr) return;
  TiledMipImage picture;
  BindScratchImage(globals, &picture);
  if (!CreateImage(&picture, side, side, kFormatPacked8, 0)) return;
  CopyThumbnailTo(globals, &picture);
  uint8_t *bgrx = static_cast<uint8_t *>(HeapAlloc(GetProcessHeap(), 0, size_t(side) * size_t(side) * 4));
  if (bgrx != nullptr) {
    for (int y = 0; y < side; y++) {
      for (int x = 0; x < side; x++) {
        int32_t r, g, b, a;
        GetPixelPacked8(x, y, &picture, 0, &r, &g, &b, &a);
        uint8_t *into = bgrx + (size_t(y) * size_t(side) + size_t(x)) * 4;
        into[0] = uint8_t(b);
        into[1] = uint8_t(g);
        into[2] = uint8_t(r);
        into[3] = 0;
      }
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, item.left + (width - side) / 2, item.top + (height - side) / 2, DWORD(side), DWORD(side), 0,
                      0, 0, UINT(side), bgrx, &info, DIB_RGB_COLORS);
    HeapFree(GetProcessHeap(), 0, bgrx);
  }
  FreeImageTiles(&picture);
}

// The selection changed: the selected preset's picture into the thumbnail image (the grey
// ramp for a file without one, or a name that is not a preset's), and the control redrawn.
void PresetPreviewNotify(HWND hook, const OFNOTIFYA *notify) {
  if (notify->hdr.code != CDN_SELCHANGE) return;
  PluginGlobals *globals = HookGlobals(hook);
  char path[kFilePathSize + 1] = "";
  const LRESULT length = SendMessageA(GetParent(hook), CDM_GETFILEPATH, sizeof path, reinterpret_cast<LPARAM>(path));
  if (length <= 0 || length > kFilePathSize) return;
  FillThumbnailGradient(globals);
  if (FindSubstring(".q1q", path, true) >= 0) {
    FileSpec spec{};
    StrCopy(spec.path, path, kPathCapacity);
    ReadSettingsFile(globals, &spec, kReadSettingsThumbnail, nullptr);
  }
  InvalidateRect(GetDlgItem(hook, kPresetPreviewControl), nullptr, FALSE);
}

UINT_PTR CALLBACK PresetPreviewHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterOverParent(GetParent(hook));
      SetWindowLongPtrA(hook, DWLP_USER, lParam);
      return 1;
    case WM_DRAWITEM: {
      // The preview control is owner-drawn: it is painted inside its own paint cycle, so its
      // update region is validated and no paint message repeats.
      const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
      if (item->CtlID != UINT(kPresetPreviewControl)) return 0;
      DrawPresetThumbnail(HookGlobals(hook), item->hDC, item->rcItem);
      return 1;
    }
    case WM_NOTIFY:
      PresetPreviewNotify(hook, reinterpret_cast<const OFNOTIFYA *>(lParam));
      return 0;
    case WM_DESTROY:
      return 1;
    default:
      return 0;
  }
}

void FillRequest(char *path, char *fileName, char *folder, int32_t kind, const char *title, bool forSave) {
  std::memset(&gFileRequest, 0, sizeof gFileRequest);
  BuildFileFilter(kind, forSave, gFilter, sizeof gFilter);
  gFileRequest.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  gFileRequest.hwndOwner = MainWindow();
  gFileRequest.lpstrFilter = gFilter;
  gFileRequest.nFilterIndex = 1;
  gFileRequest.lpstrFile = path;
  gFileRequest.nMaxFile = kFilePathSize;
  gFileRequest.lpstrFileTitle = fileName;
  gFileRequest.nMaxFileTitle = fileName != nullptr ? kFilePathSize : 0;
  gFileRequest.lpstrInitialDir = folder != nullptr && folder[0] != 0 ? folder : nullptr;
  gFileRequest.lpstrTitle = title;
  gFileRequest.lpstrDefExt = DefaultExtension(kind, forSave);
  gFileRequest.lpfnHook = FileDialogHook;
  // OFN_NOCHANGEDIR: the process is the host's, and its current folder is not ours to move.
  gFileRequest.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_NOCHANGEDIR |
                       (forSave ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
}

}  // namespace

int ChooseSaveFile(char *path, char *fileName, char *folder, int32_t kind, const char *title) {
  if (gFileDialogOpen || path == nullptr) return 0;
  FillRequest(path, fileName, folder, kind, title, true);
  gFileDialogOpen = true;
  // Only an OK counts: a dialog ended from outside (EndDialog with another code) answers that
  // code, which is not an acceptance of whatever the name field held.
  const BOOL accepted = GetSaveFileNameA(&gFileRequest);
  gFileDialogOpen = false;
  if (accepted != TRUE) return 0;
  if (folder != nullptr) RememberFolder(path, folder);
  return 1;
}

int ChooseOpenFile(char *path, char *fileName, char *folder, int32_t kind, const char *title, PluginGlobals *globals) {
  if (gFileDialogOpen || path == nullptr) return 0;
  path[0] = 0;
  FillRequest(path, fileName, folder, kind, title, false);
  if (kind == kFileKindPreset) {
    FillThumbnailGradient(globals);
    HRSRC found = FindResourceA(Module(), kPresetTemplate, MAKEINTRESOURCEA(5));   // RT_DIALOG
    HGLOBAL loaded = found != nullptr ? LoadResource(Module(), found) : nullptr;
    void *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
      // Without the template the plain dialog is shown, without the preview.
      gFileRequest.hInstance = static_cast<HINSTANCE>(bytes);
      gFileRequest.Flags |= OFN_ENABLETEMPLATEHANDLE;
      gFileRequest.lpfnHook = PresetPreviewHook;
      gFileRequest.lCustData = reinterpret_cast<LPARAM>(globals);
    }
  }
  gFileDialogOpen = true;
  const BOOL accepted = GetOpenFileNameA(&gFileRequest);
  gFileDialogOpen = false;
  if (accepted != TRUE) return 0;
  if (folder != nullptr) RememberFolder(path, folder);
  return 1;
}

bool PickColorWindowsDialog(uint16_t rgb[3]) {
  if (gFileDialogOpen) return false;
  CHOOSECOLORA request = {};
  request.lStructSize = sizeof request;
  request.hwndOwner = MainWindow();
  request.hInstance = reinterpret_cast<HWND>(Module());
  request.rgbResult = RGB(rgb[0] >> 8, rgb[1] >> 8, rgb[2] >> 8);
  request.lpCustColors = gCustomColours;
  request.Flags = CC_RGBINIT | CC_FULLOPEN;
  gFileDialogOpen = true;
  const bool accepted = ChooseColorA(&request) != FALSE;
  gFileDialogOpen = false;
  if (!accepted) return false;
  rgb[0] = uint16_t(GetRValue(request.rgbResult) << 8);
  rgb[1] = uint16_t(GetGValue(request.rgbResult) << 8);
  rgb[2] = uint16_t(GetBValue(request.rgbResult) << 8);
  return true;
}

void TellUser(void *dialog, const char *text) {
  // Owned by the main dialog, which is disabled while the box is up: no other command can
  // start meanwhile, and the dialog cannot be ended under the command that asked.
  HWND owner = dialog != nullptr ? static_cast<HWND>(dialog) : MainWindow();
  const bool wasOpen = gFileDialogOpen;
  gFileDialogOpen = true;
  MessageBoxA(owner, text, "Kivaglobe", MB_OK | MB_ICONINFORMATION);
  gFileDialogOpen = wasOpen;
}
