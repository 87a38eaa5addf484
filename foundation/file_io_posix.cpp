// file_io_posix.cpp -- the file seam on Linux, for the native build and its tests.
//
// Paths arrive in the Windows form; every backslash becomes '/' before the system sees it.
// The semantics follow the Windows twin: opening for writing creates or keeps a file (never
// O_TRUNC), a folder cannot be opened as a file, a rename never replaces an existing file.
#include "foundation/file_io.h"

#include <atomic>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "foundation/strings.h"

// The posix form of a Windows path; false when it does not fit.
static bool ToPosixPath(const char *path, char out[kPathCapacity]) {
  if (path == nullptr) return false;
  size_t n = strlen(path);
  if (n >= size_t(kPathCapacity)) return false;
  for (size_t i = 0; i <= n; i++) out[i] = path[i] == '\\' ? '/' : path[i];
  return true;
}

static int ToDescriptor(FileHandle file) { return file >= 0 && file <= 0x7fffffff ? int(file) : -1; }

bool OpenPlatformFile(const char *path, bool forWrite, FileHandle *file) {
  char p[kPathCapacity];
  if (file == nullptr || !ToPosixPath(path, p) || p[0] == '\0') return false;
  int fd = forWrite ? open(p, O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : open(p, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return false;
  }
  *file = fd;
  return true;
}

bool CreateNewPlatformFile(const char *path, FileHandle *file) {
  char p[kPathCapacity];
  if (file == nullptr || !ToPosixPath(path, p) || p[0] == '\0') return false;
  int fd = open(p, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  *file = fd;
  return true;
}

static std::atomic<uint32_t> gReadCalls{0};
static std::atomic<uint32_t> gWriteCalls{0};

uint32_t PlatformReadCalls() { return gReadCalls.load(std::memory_order_relaxed); }
uint32_t PlatformWriteCalls() { return gWriteCalls.load(std::memory_order_relaxed); }

bool ReadPlatformFile(FileHandle file, void *buffer, int32_t count, int32_t *got) {
  gReadCalls.fetch_add(1, std::memory_order_relaxed);
  *got = 0;
  int fd = ToDescriptor(file);
  if (fd < 0 || count < 0) return false;
  char *p = static_cast<char *>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t r = read(fd, p + done, size_t(count - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      *got = done;
      return false;
    }
    if (r == 0) break;
    done += int32_t(r);
  }
  *got = done;
  return true;
}

bool WritePlatformFile(FileHandle file, const void *buffer, int32_t count, int32_t *written) {
  gWriteCalls.fetch_add(1, std::memory_order_relaxed);
  *written = 0;
  int fd = ToDescriptor(file);
  if (fd < 0 || count < 0) return false;
  const char *p = static_cast<const char *>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t r = write(fd, p + done, size_t(count - done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      *written = done;
      return false;
    }
    done += int32_t(r);
  }
  *written = done;
  return true;
}

bool PlatformFileRemaining(FileHandle file, int64_t *remaining) {
  int fd = ToDescriptor(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  off_t here = lseek(fd, 0, SEEK_CUR);
  if (here < 0) return false;
  *remaining = here < st.st_size ? int64_t(st.st_size - here) : 0;
  return true;
}

bool PlatformFileStamp(FileHandle file, int64_t *size, int64_t *time) {
  struct stat st;
  if (ToDescriptor(file) < 0 || fstat(ToDescriptor(file), &st) != 0) return false;
  *size = int64_t(st.st_size);
  *time = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
  return true;
}

bool SeekPlatformFileEnd(FileHandle file) {
  int fd = ToDescriptor(file);
  return fd >= 0 && lseek(fd, 0, SEEK_END) >= 0;
}

bool TruncatePlatformFile(FileHandle file) {
  int fd = ToDescriptor(file);
  if (fd < 0) return false;
  off_t here = lseek(fd, 0, SEEK_CUR);
  return here >= 0 && ftruncate(fd, here) == 0;
}

bool ClosePlatformFile(FileHandle file) {
  int fd = ToDescriptor(file);
  return fd >= 0 && close(fd) == 0;
}

uint32_t GetPlatformTempFolder(char *buffer, uint32_t size) {
  const char *dir = getenv("TMPDIR");
  if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
  size_t n = strlen(dir);
  bool slash = dir[n - 1] == '/';
  size_t need = n + (slash ? 0 : 1);   // characters, the final separator included
  if (buffer == nullptr || need + 1 > size) return uint32_t(need + 1);
  for (size_t i = 0; i < n; i++) buffer[i] = dir[i] == '/' ? '\\' : dir[i];
  if (!slash) buffer[n] = '\\';
  buffer[need] = '\0';
  return uint32_t(need);
}

bool CreatePlatformFolder(const char *path) {
  char p[kPathCapacity];
  if (!ToPosixPath(path, p)) return false;
  return mkdir(p, 0755) == 0;
}

bool MovePlatformFile(const char *from, const char *to) {
  char a[kPathCapacity], b[kPathCapacity];
  if (!ToPosixPath(from, a) || !ToPosixPath(to, b)) return false;
  struct stat st;
  if (lstat(b, &st) == 0) return false;
  return rename(a, b) == 0;
}

bool OpenFolderScan(FolderScan *scan, const char *folder) {
  if (scan == nullptr) return false;
  scan->handle = 0;
  scan->firstPending = false;
  if (folder == nullptr || folder[0] == '\0') return false;
  StrCopy(scan->folder, folder, kPathCapacity);
  int32_t n = StrLength(scan->folder);
  if (n == 0 || (scan->folder[n - 1] != '\\' && scan->folder[n - 1] != '/')) StrAppendChar(scan->folder, '\\', kPathCapacity);
  char p[kPathCapacity];
  if (!ToPosixPath(scan->folder, p)) return false;
  DIR *dir = opendir(p);
  if (dir == nullptr) return false;
  scan->handle = reinterpret_cast<intptr_t>(dir);
  return true;
}

bool NextFolderEntry(FolderScan *scan, FolderEntry *entry) {
  if (scan == nullptr || scan->handle == 0) return false;
  DIR *dir = reinterpret_cast<DIR *>(scan->handle);
  for (;;) {
    struct dirent *d = readdir(dir);
    if (d == nullptr) return false;
    if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
    char full[kPathCapacity], p[kPathCapacity];
    StrCopy(full, scan->folder, kPathCapacity);
    StrAppend(full, d->d_name, kPathCapacity);
    struct stat st;
    if (!ToPosixPath(full, p) || stat(p, &st) != 0) continue;
    StrCopy(entry->name, d->d_name, sizeof entry->name);
    entry->isFolder = S_ISDIR(st.st_mode);
    entry->isReadOnly = (st.st_mode & S_IWUSR) == 0;
    return true;
  }
}

void CloseFolderScan(FolderScan *scan) {
  if (scan == nullptr || scan->handle == 0) return;
  closedir(reinterpret_cast<DIR *>(scan->handle));
  scan->handle = 0;
}
