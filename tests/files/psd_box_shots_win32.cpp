// psd_box_shots_win32.cpp -- see psd_box_shots.h.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/progress_box.h"
#include "tests/files/psd_box_shots.h"

namespace {

FilterRecord *gRecord = nullptr;
HostTestAbortProc gSavedAbort = nullptr;
std::string gDir;
std::string gNote;
int gStage = 0;   // 0 waiting for 50%, 1 both pictures taken

// The box's window (frame and all) as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::string &path) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC source = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void *bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY) != 0;
  GdiFlush();
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + DWORD(stride * h);
  FILE *out = copied ? std::fopen(path.c_str(), "wb") : nullptr;
  if (out != nullptr) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, size_t(stride), size_t(h), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return out != nullptr;
}

HostBool KV_HOSTAPI ObserveBox() {
  HWND box = static_cast<HWND>(ProgressBoxWindow());
  if (gStage != 0 || box == nullptr) return 0;
  if (std::atoi(ProgressBoxText()) < 50) return 0;
  UpdateWindow(box);
  if (!SaveWindowBitmap(box, gDir + "/box_half.bmp")) gNote += "the box at 50% could not be saved; ";
  // Press the button as a user would, and let the box answer the click.
  PostMessageA(GetDlgItem(box, kProgressButton), BM_CLICK, 0, 0);
  PumpProgressBox();
  char text[64] = "";
  GetDlgItemTextA(box, kProgressButton, text, sizeof text);
  if (std::strcmp(text, "Cancelling...") != 0) gNote += std::string("after the click the button read '") + text + "'; ";
  UpdateWindow(box);
  if (!SaveWindowBitmap(box, gDir + "/box_cancel.bmp")) gNote += "the cancelling box could not be saved; ";
  gStage = 1;
  return 0;
}

}  // namespace

void StartBoxShots(FilterRecord *record, const std::string &dir) {
  gRecord = record;
  gSavedAbort = record->abortProc;
  gDir = dir;
  gNote.clear();
  gStage = 0;
  record->abortProc = ObserveBox;
}

std::string StopBoxShots() {
  if (gRecord != nullptr) gRecord->abortProc = gSavedAbort;
  gRecord = nullptr;
  if (gStage == 0) gNote += "the box never reached 50%; ";
  return gNote;
}
