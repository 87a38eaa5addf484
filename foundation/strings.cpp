// strings.cpp -- NUL-terminated and length-prefixed strings, file names and extensions.
#include "foundation/strings.h"

#include <cstring>

int16_t StrLength(const char *s) {
  if (s == nullptr) return 0;
  int16_t n = 0;
  while (n < 32767 && s[n] != '\0') n++;
  return n;
}

char *StrCopy(char *destination, const char *source, int32_t capacity) {
  if (destination == nullptr || capacity < 1) return destination;
  int32_t n = 0;
  if (source != nullptr) {
    while (n < capacity - 1 && source[n] != '\0') n++;
    memmove(destination, source, size_t(n));
  }
  destination[n] = '\0';
  return destination;
}

// The end of the destination is looked for only within its capacity: a destination that holds
// no NUL there is terminated at its last byte first.
static int32_t BoundedLength(const char *s, int32_t capacity) {
  int32_t n = 0;
  while (n < capacity && s[n] != '\0') n++;
  return n;
}

char *StrAppend(char *destination, const char *source, int32_t capacity) {
  if (destination == nullptr || capacity < 1) return destination;
  int32_t used = BoundedLength(destination, capacity);
  if (used >= capacity) {
    destination[capacity - 1] = '\0';
    return destination;
  }
  StrCopy(destination + used, source, capacity - used);
  return destination;
}

void StrAppendChar(char *s, char c, int32_t capacity) {
  if (s == nullptr || capacity < 1) return;
  int32_t used = BoundedLength(s, capacity);
  if (used + 1 < capacity) {
    s[used] = c;
    s[used + 1] = '\0';
  }
}

static bool AppendWhole(char *name, const char *extension, int32_t capacity) {
  if (name == nullptr || capacity < 1) return false;
  int32_t used = BoundedLength(name, capacity);
  int32_t add = int32_t(strlen(extension));
  if (used + add >= capacity) return false;
  memcpy(name + used, extension, size_t(add) + 1);
  return true;
}

bool AppendGifExtension(char *name, int32_t capacity) { return AppendWhole(name, ".gif", capacity); }

bool AppendJpgExtension(char *name, int32_t capacity) { return AppendWhole(name, ".jpg", capacity); }

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool MatchAtOffset(const char *pattern, const char *text, int32_t n, int32_t offset) {
  for (int32_t i = 0; i < n; i++) {
    if (pattern[i] != text[offset + i]) return false;
  }
  return true;
}

bool MatchAtOffsetNoCase(const char *pattern, const char *text, int32_t n, int32_t offset) {
  for (int32_t i = 0; i < n; i++) {
    if (LowerAsciiChar(pattern[i]) != LowerAsciiChar(text[offset + i])) return false;
  }
  return true;
}

int32_t FindSubstring(const char *pattern, const char *text, bool ignoreCase) {
  int32_t p = StrLength(pattern);
  int32_t t = StrLength(text);
  if (p == 0 || t == 0 || p > t) return -1;
  for (int32_t start = 0; start <= t - p; start++) {
    bool hit = ignoreCase ? MatchAtOffsetNoCase(pattern, text, p, start) : MatchAtOffset(pattern, text, p, start);
    if (hit) return start;
  }
  return -1;
}

int16_t FindLastChar(const char *s, char c) {
  int16_t n = StrLength(s);
  if (n == 0) return -1;
  for (int16_t i = int16_t(n - 1); i >= 0; i--) {
    if (s[i] == c) return i;
  }
  return int16_t(n - 1);
}

bool IsGifName(const char *name) { return name != nullptr && FindSubstring(".gif", name, true) >= 0; }

bool IsJpegName(const char *name) {
  return name != nullptr && (FindSubstring(".jpg", name, true) >= 0 || FindSubstring(".jpeg", name, true) >= 0);
}

void SpacesToUnderscores(char *s) {
  int16_t n = StrLength(s);
  for (int16_t i = 0; i < n; i++) {
    if (s[i] == ' ') s[i] = '_';
  }
}

// The characters Windows refuses in a file name, the control characters aside.
static bool IsForbiddenInName(unsigned char c) {
  return c == '\\' || c == '/' || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

// The high bytes are folded onto 32..159 rather than dropped, so that accented names keep
// their length and stay distinct from one another; the fold can land on a forbidden character
// (0xDC, 'U' with diaeresis, lands on '|'), which the last step replaces like any other.
void MakeFileNameSafe(char *s) {
  int16_t n = StrLength(s);
  for (int16_t i = 0; i < n; i++) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 32) {
      c = ' ';
    } else if (c > 127) {
      c = static_cast<unsigned char>((c & 127) + 32);
      if (c == '.') c = '_';
    }
    if (IsForbiddenInName(c)) c = '_';
    s[i] = static_cast<char>(c);
  }
}

void SafeNameNoSpaces(char *s) {
  if (s == nullptr) return;
  SpacesToUnderscores(s);
  MakeFileNameSafe(s);
}

// Works from a copy of at most 255 characters, so a string of any length is filtered safely;
// the result is never longer than its source.
void FilterNumericChars(char *s, bool allowPoint) {
  if (s == nullptr) return;
  char copy[256];
  StrCopy(copy, s, sizeof copy);
  int32_t n = StrLength(copy);
  int32_t out = 0;
  for (int32_t i = 0; i < n; i++) {
    char c = copy[i];
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || (allowPoint && c == '.')) s[out++] = c;
  }
  s[out] = '\0';
}

void KeepNumericChars(char *s) { FilterNumericChars(s, false); }

// Index of the dot that starts the extension of the file-name part, or -1.
static int32_t ExtensionDot(const char *name) {
  for (int32_t i = int32_t(StrLength(name)) - 1; i >= 0; i--) {
    if (name[i] == '.') return i;
    if (name[i] == '\\' || name[i] == '/') return -1;
  }
  return -1;
}

void StripExtension(char *name) {
  if (name == nullptr) return;
  int32_t dot = ExtensionDot(name);
  if (dot >= 0) name[dot] = '\0';
}

void CopyExtension(char *destination, const char *name, int32_t capacity) {
  if (destination == nullptr || capacity < 1) return;
  int32_t dot = (name != nullptr && StrLength(name) >= 2) ? ExtensionDot(name) : -1;
  if (dot < 0) {
    destination[0] = '\0';
    return;
  }
  StrCopy(destination, name + dot, capacity);
}

void FileNamePart(char *destination, const char *path, int32_t capacity) {
  if (destination == nullptr || path == nullptr || capacity < 1) return;
  int32_t start = 0;
  if (path[0] != '\0' && FindSubstring("\\", path, true) >= 0) start = FindLastChar(path, '\\') + 1;
  StrCopy(destination, path + start, capacity);
}

void FolderPart(char *destination, const char *path, int32_t capacity) {
  if (destination == nullptr || path == nullptr || capacity < 1) return;
  int32_t n = StrLength(path);
  if (n > 0) n = FindLastChar(path, '\\') + 1;
  StrCopy(destination, path, n + 1 < capacity ? n + 1 : capacity);
}

void CToPascalString(unsigned char buffer[256]) {
  if (buffer == nullptr) return;
  int32_t n = BoundedLength(reinterpret_cast<const char *>(buffer), 255);
  for (int32_t i = n - 1; i >= 0; i--) buffer[i + 1] = buffer[i];
  buffer[0] = static_cast<unsigned char>(n);
}

void PascalToCString(unsigned char buffer[256]) {
  if (buffer == nullptr) return;
  int32_t n = buffer[0];
  memmove(buffer, buffer + 1, 255);
  buffer[n] = '\0';
}
