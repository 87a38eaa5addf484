// code_page_posix.cpp -- names read as Windows-1252 (see code_page.h).
#include <cstring>

#include "foundation/code_page.h"

// Windows-1252 bytes 0x80..0x9F as Unicode; the five bytes the code page leaves undefined map
// to the same number.
static const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t SystemCodePage() { return 1252; }

int32_t DecodeSystemText(const char *text, uint32_t *points, int32_t capacity) {
  if (text == nullptr) text = "";
  const size_t length = strnlen(text, size_t(kDecodeTextLimit) + 1);
  if (length > size_t(kDecodeTextLimit) || int64_t(length) > int64_t(capacity)) return -1;
  for (size_t i = 0; i < length; i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    points[i] = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
  }
  return int32_t(length);
}
