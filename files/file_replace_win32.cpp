// file_replace_win32.cpp -- replacing, removing and probing files on Windows.
#include <windows.h>

#include "files/file_replace.h"

bool ReplacePlatformFile(const char *from, const char *to) {
  if (from == nullptr || to == nullptr || from[0] == 0 || to[0] == 0) return false;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool DeletePlatformFile(const char *path) {
  if (path == nullptr || path[0] == 0) return false;
  return DeleteFileA(path) != 0;
}

bool PlatformFileReadOnly(const char *path) {
  if (path == nullptr || path[0] == 0) return false;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
