// gallery_message_win32.cpp -- the gallery commands' message box.
#include <windows.h>

#include "files/gallery_pages.h"

void ShowGalleryMessage(void *dialog, const char *text) {
  MessageBoxA(static_cast<HWND>(dialog), text, "Kivaglobe", MB_OK | MB_ICONEXCLAMATION);
}
