// host_utils_win32.cpp -- the Windows half of the host utilities: the tick count and the
// dialog-item helper.
#include <windows.h>

#include "plugin/host_utils.h"

uint32_t TickCount() { return uint32_t(GetTickCount() / 17); }

void ShowHideItem(void *dialog, int item, bool show) {
  ShowWindow(GetDlgItem(static_cast<HWND>(dialog), item), show ? SW_SHOW : SW_HIDE);
}
