// file_replace_posix.cpp -- the native twin of file_replace_win32.cpp.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/file_replace.h"
#include "foundation/strings.h"

// The posix form of a Windows path; false when it does not fit or is empty.
static bool ToPosixPath(const char *path, char out[kPathCapacity]) {
  if (path == nullptr || path[0] == 0) return false;
  int32_t i = 0;
  for (; path[i] != 0; i++) {
    if (i >= kPathCapacity - 1) return false;
    out[i] = path[i] == '\\' ? '/' : path[i];
  }
  out[i] = 0;
  return true;
}

bool ReplacePlatformFile(const char *from, const char *to) {
  char f[kPathCapacity], t[kPathCapacity];
  if (!ToPosixPath(from, f) || !ToPosixPath(to, t)) return false;
  return rename(f, t) == 0;
}

bool DeletePlatformFile(const char *path) {
  char p[kPathCapacity];
  if (!ToPosixPath(path, p)) return false;
  return unlink(p) == 0;
}

bool PlatformFileReadOnly(const char *path) {
  char p[kPathCapacity];
  if (!ToPosixPath(path, p)) return false;
  struct stat st;
  if (stat(p, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}
