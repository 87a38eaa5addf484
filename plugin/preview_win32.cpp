// preview_win32.cpp -- the dialog window's device context for displayPixels.
#include <windows.h>

#include "plugin/preview.h"

void *AcquirePreviewContext(void *window) { return GetDC(static_cast<HWND>(window)); }
void ReleasePreviewContext(void *window, void *context) {
  if (context != nullptr) ReleaseDC(static_cast<HWND>(window), static_cast<HDC>(context));
}
