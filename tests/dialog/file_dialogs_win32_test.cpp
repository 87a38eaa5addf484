// The common dialogs under Windows (Wine): a file dialog is never nested in another, and the
// open dialog's preset preview is painted within its paint cycle, so that nothing is left to
// repaint once it has been shown. A thread timer plays the user, as the host's driver does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "dialog/dialog_hooks.h"
#include "dialog/file_dialogs.h"
#include "tests/files/files_fixture.h"
#include "tests/support/need_display.h"

namespace {

struct Watch {
  int ticks = 0;
  bool sawPreview = false;
  bool previewValid = false;   // neither the preview nor its dialog had a region left to paint
  COLORREF centre = 0;
  bool ended = false;
} gWatch;

BOOL CALLBACK FindPreview(HWND child, LPARAM found) {
  if (GetDlgCtrlID(child) != kPresetPreviewControl) return TRUE;
  *reinterpret_cast<HWND *>(found) = child;
  return FALSE;
}

BOOL CALLBACK FindFileDialog(HWND window, LPARAM found) {
  char title[64] = "";
  GetWindowTextA(window, title, sizeof title);
  if (!IsWindowVisible(window) || std::strcmp(title, "Open a test preset") != 0) return TRUE;
  *reinterpret_cast<HWND *>(found) = window;
  return FALSE;
}

// Waits for the dialog, lets it settle, looks at the preview, then cancels it; any dialog left
// after five seconds is ended, so that a fault cannot hang the program.
void CALLBACK WatchTick(HWND, UINT, UINT_PTR, DWORD) {
  gWatch.ticks++;
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindFileDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  if (gWatch.ticks == 25) {
    HWND preview = nullptr;
    EnumChildWindows(dialog, FindPreview, reinterpret_cast<LPARAM>(&preview));
    gWatch.sawPreview = preview != nullptr;
    if (preview != nullptr) {
      gWatch.previewValid = !GetUpdateRect(preview, nullptr, FALSE) && !GetUpdateRect(GetParent(preview), nullptr, FALSE);
      RECT r;
      GetClientRect(preview, &r);
      HDC dc = GetDC(preview);
      gWatch.centre = GetPixel(dc, r.right / 2, r.bottom / 2);
      ReleaseDC(preview, dc);
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  if (gWatch.ticks > 100) EndDialog(dialog, IDCANCEL);
}

class FileDialogsWindows : public files_test::FilesTest {};

TEST_F(FileDialogsWindows, ASecondFileDialogIsRefusedNotNested) {
  gFileDialogOpen = true;
  char path[kFilePathSize] = "keep.q1q";
  char folder[kFilePathSize] = "C:\\before\\";
  EXPECT_EQ(ChooseSaveFile(path, nullptr, folder, kFileKindPreset, "x"), 0);
  EXPECT_STREQ(path, "keep.q1q");
  EXPECT_STREQ(folder, "C:\\before\\");
  EXPECT_EQ(ChooseOpenFile(path, nullptr, folder, kFileKindPreset, "x", &globals_), 0);
  EXPECT_STREQ(folder, "C:\\before\\");
  uint16_t rgb[3] = {1, 2, 3};
  EXPECT_FALSE(PickColorWindowsDialog(rgb));
  EXPECT_EQ(rgb[0], 1);
  gFileDialogOpen = false;
}

TEST_F(FileDialogsWindows, ThePresetPreviewIsPaintedOnceAndLeftValid) {
  if (!NeedDisplay()) return;
  gWatch = Watch{};
  UINT_PTR timer = SetTimer(nullptr, 0, 40, WatchTick);
  char path[kFilePathSize] = "";
  char folder[kFilePathSize];
  std::snprintf(folder, sizeof folder, "%s", In("").c_str());
  EXPECT_EQ(ChooseOpenFile(path, nullptr, folder, kFileKindPreset, "Open a test preset", &globals_), 0);
  KillTimer(nullptr, timer);
  EXPECT_FALSE(gFileDialogOpen);
  ASSERT_TRUE(gWatch.sawPreview) << "the template's preview control was not found";
  EXPECT_TRUE(gWatch.previewValid) << "the preview keeps asking to be painted";
  // The empty look, grey near the middle of its ramp, not the control's own background.
  const int r = GetRValue(gWatch.centre), g = GetGValue(gWatch.centre), b = GetBValue(gWatch.centre);
  EXPECT_TRUE(r == g && g == b && r > 150 && r < 230) << std::hex << gWatch.centre;
}

}  // namespace
