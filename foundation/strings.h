// strings.h -- NUL-terminated and length-prefixed strings, file names and extensions.
//
// Every text of the plug-in (paths, URLs, parameter and layer names, edit-field contents) is a
// NUL-terminated byte string in the Windows ANSI code page. These free functions work on
// caller-owned buffers and never allocate.
//
// Conventions:
//   * Lengths are signed 16-bit counts: StrLength stops counting at 32767.
//   * Only the ASCII letters take part in case folding; bytes 128..255 never fold.
//   * Paths separate folders with a backslash. The extension of a name is what follows its last
//     '.', dot included; the folder part of a path runs up to and including its last backslash.
//   * An operation that fills a destination takes that destination's capacity in bytes (the
//     terminator included). It never writes past it and always leaves a terminated string, so a
//     result that does not fit is cut short, never spilled. Path fields hold 260 bytes.
//   * A length-prefixed string is a 256-byte buffer whose byte 0 is the length (0..255) and whose
//     bytes 1..length are the characters, without a terminator.
#ifndef KIVAGLOBE_FOUNDATION_STRINGS_H
#define KIVAGLOBE_FOUNDATION_STRINGS_H

#include <cstdint>

// Capacity of every path and file-name field.
constexpr int32_t kPathCapacity = 260;

// ---- Measuring, copying and joining ------------------------------------------------------

// Bytes before the NUL, counted up to 32767; 0 for a null pointer.
int16_t StrLength(const char *s);

// destination = source, cut to capacity - 1 bytes. A null source gives an empty destination.
// Returns the destination.
char *StrCopy(char *destination, const char *source, int32_t capacity);

// Appends source at the destination's NUL, as much of it as fits. Returns the destination.
char *StrAppend(char *destination, const char *source, int32_t capacity);

// Appends one character when there is room for it and a new NUL; nothing for a null string.
void StrAppendChar(char *s, char c, int32_t capacity);

// Append ".gif" or ".jpg" (an existing extension stays in front of it). The extension is
// appended whole or not at all: false, and the name unchanged, when it does not fit.
bool AppendGifExtension(char *name, int32_t capacity);
bool AppendJpgExtension(char *name, int32_t capacity);

// ---- Searching and comparing -------------------------------------------------------------

// A..Z become a..z; every other byte comes back unchanged.
char LowerAsciiChar(char c);

// True when the n bytes of the pattern equal text[offset .. offset + n - 1]; the caller keeps
// the range inside both strings.
bool MatchAtOffset(const char *pattern, const char *text, int32_t n, int32_t offset);
// The same after LowerAsciiChar on both sides.
bool MatchAtOffsetNoCase(const char *pattern, const char *text, int32_t n, int32_t offset);

// Index of the first place where the pattern starts in the text; -1 (all bits set, so its low
// 16 bits read 65535) when either string is null or empty, when the pattern is longer than the
// text, or when there is no match.
int32_t FindSubstring(const char *pattern, const char *text, bool ignoreCase);

// Index of the last occurrence of c. When c does not occur: the index of the last character
// (length - 1), which FolderPart relies on. -1 only for a null or empty string.
int16_t FindLastChar(const char *s, char c);

// True when ".gif" (IsGifName) or ".jpg" or ".jpeg" (IsJpegName) occurs anywhere in the name,
// ignoring case: addresses with a query after the extension count. False for a null name.
bool IsGifName(const char *name);
bool IsJpegName(const char *name);

// ---- Changing strings in place -----------------------------------------------------------

// Every space becomes '_'; nothing for a null string.
void SpacesToUnderscores(char *s);

// Makes a string usable as a Windows file name, byte by byte: below 32 becomes a space; above
// 127 becomes (byte & 127) + 32, or '_' when that is '.'; then any of \ / : < > " | ? * becomes
// '_'. Nothing for a null string.
void MakeFileNameSafe(char *s);

// SpacesToUnderscores, then MakeFileNameSafe (layer and export file names).
void SafeNameNoSpaces(char *s);

// Keeps only 0..9, '+' and '-' (and '.' when allowPoint is set), in their order. Only the first
// 255 characters are looked at. Nothing for a null string.
void FilterNumericChars(char *s, bool allowPoint);
// FilterNumericChars without the point: the filter of numeric edit fields.
void KeepNumericChars(char *s);

// Cuts the name at its last '.', when that dot lies in the file-name part (after the last
// backslash or '/'); "C:\my.dir\file" stays whole. Nothing for a null string.
void StripExtension(char *name);

// destination = the name's extension, from the last '.' of its file-name part to the end, dot
// included; empty when there is none or the name is null or shorter than 2 characters. Nothing
// for a null destination.
void CopyExtension(char *destination, const char *name, int32_t capacity);

// destination = what follows the path's last backslash: the whole path when it has none, empty
// when it ends in one. The destination may be the path itself. Nothing for a null argument.
void FileNamePart(char *destination, const char *path, int32_t capacity);

// destination = the path up to and including its last backslash; a path without one is copied
// whole. The destination may be the path itself. Nothing for a null argument.
void FolderPart(char *destination, const char *path, int32_t capacity);

// The NUL-terminated string in a 256-byte buffer becomes a length-prefixed string (characters
// beyond the 255th are dropped), and back. Nothing for a null buffer.
void CToPascalString(unsigned char buffer[256]);
void PascalToCString(unsigned char buffer[256]);

#endif  // KIVAGLOBE_FOUNDATION_STRINGS_H
