// code_page_win32.cpp -- names read through the system's ANSI code page (see code_page.h).
#include <windows.h>

#include <cstring>

#include "foundation/code_page.h"

uint32_t SystemCodePage() { return GetACP(); }

int32_t DecodeSystemText(const char *text, uint32_t *points, int32_t capacity) {
  if (text == nullptr) text = "";
  const size_t length = strnlen(text, size_t(kDecodeTextLimit) + 1);
  if (length > size_t(kDecodeTextLimit)) return -1;
  if (length == 0) return 0;
  // The same conversion CreateFileA makes of a name, so a link made from it finds the file.
  wchar_t wide[kDecodeTextLimit];
  const int units = MultiByteToWideChar(CP_ACP, 0, text, int(length), wide, kDecodeTextLimit);
  if (units <= 0) return -1;
  int32_t count = 0;
  for (int i = 0; i < units; i++) {
    uint32_t u = uint16_t(wide[i]);
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units && uint16_t(wide[i + 1]) >= 0xDC00 &&
        uint16_t(wide[i + 1]) < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (uint16_t(wide[i + 1]) - 0xDC00);
      i++;
    }
    if (count >= capacity) return -1;
    points[count++] = u;
  }
  return count;
}
