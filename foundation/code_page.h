// code_page.h -- the platform seam that tells what character a byte of a name is.
//
// Names reach the program as bytes in the system's ANSI code page: FindFirstFileA lists a
// folder in it, and CreateFileA takes a name back through it. Where a name leaves the program
// as characters (a web page's captions and links), its bytes are read in that same code page,
// so that "Луна" on a Cyrillic system is captioned "Луна" and its link finds the file
// CreateFileA made. Windows converts through the system's own table (GetACP); the posix twin,
// used by the native build, reads Windows-1252, the code page of a Western system.
#ifndef KIVAGLOBE_FOUNDATION_CODE_PAGE_H
#define KIVAGLOBE_FOUNDATION_CODE_PAGE_H

#include <cstdint>

// The longest text DecodeSystemText takes, in bytes: a path field and then some.
constexpr int32_t kDecodeTextLimit = 1024;

// The number of the system's ANSI code page (1252 for the posix twin).
uint32_t SystemCodePage();

// The Unicode characters of a NUL-terminated text in the system's code page, into `points`
// (room for `capacity`); their count, or -1 when the text is longer than kDecodeTextLimit or
// its characters do not fit. A byte the code page leaves undefined gives the character of the
// same number, as Windows' own conversion does.
int32_t DecodeSystemText(const char *text, uint32_t *points, int32_t capacity);

#endif  // KIVAGLOBE_FOUNDATION_CODE_PAGE_H
