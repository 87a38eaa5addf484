// file_io_win32.cpp -- the file seam on Windows: kernel32's ANSI file calls.
#include "foundation/file_io.h"

#include <atomic>

#include <windows.h>

#include "foundation/strings.h"

static HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool OpenPlatformFile(const char *path, bool forWrite, FileHandle *file) {
  if (path == nullptr || file == nullptr || path[0] == '\0') return false;
  HANDLE h = CreateFileA(path, forWrite ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                         forWrite ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  *file = reinterpret_cast<FileHandle>(h);
  return true;
}

bool CreateNewPlatformFile(const char *path, FileHandle *file) {
  if (path == nullptr || file == nullptr || path[0] == '\0') return false;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  *file = reinterpret_cast<FileHandle>(h);
  return true;
}

static std::atomic<uint32_t> gReadCalls{0};
static std::atomic<uint32_t> gWriteCalls{0};

uint32_t PlatformReadCalls() { return gReadCalls.load(std::memory_order_relaxed); }
uint32_t PlatformWriteCalls() { return gWriteCalls.load(std::memory_order_relaxed); }

bool ReadPlatformFile(FileHandle file, void *buffer, int32_t count, int32_t *got) {
  gReadCalls.fetch_add(1, std::memory_order_relaxed);
  *got = 0;
  if (count < 0) return false;
  DWORD done = 0;
  BOOL ok = ReadFile(ToHandle(file), buffer, DWORD(count), &done, nullptr);
  *got = int32_t(done);
  return ok != FALSE;
}

bool WritePlatformFile(FileHandle file, const void *buffer, int32_t count, int32_t *written) {
  gWriteCalls.fetch_add(1, std::memory_order_relaxed);
  *written = 0;
  if (count < 0) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(ToHandle(file), buffer, DWORD(count), &done, nullptr);
  *written = int32_t(done);
  return ok != FALSE && done == DWORD(count);
}

bool PlatformFileRemaining(FileHandle file, int64_t *remaining) {
  LARGE_INTEGER size, here, zero;
  zero.QuadPart = 0;
  if (GetFileType(ToHandle(file)) != FILE_TYPE_DISK) return false;
  if (!GetFileSizeEx(ToHandle(file), &size)) return false;
  if (!SetFilePointerEx(ToHandle(file), zero, &here, FILE_CURRENT)) return false;
  *remaining = here.QuadPart < size.QuadPart ? size.QuadPart - here.QuadPart : 0;
  return true;
}

bool PlatformFileStamp(FileHandle file, int64_t *size, int64_t *time) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(ToHandle(file), &info)) return false;
  *size = int64_t((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  *time = int64_t((uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool SeekPlatformFileEnd(FileHandle file) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return SetFilePointerEx(ToHandle(file), zero, nullptr, FILE_END) != FALSE;
}

bool TruncatePlatformFile(FileHandle file) { return SetEndOfFile(ToHandle(file)) != FALSE; }

bool ClosePlatformFile(FileHandle file) { return CloseHandle(ToHandle(file)) != FALSE; }

uint32_t GetPlatformTempFolder(char *buffer, uint32_t size) { return GetTempPathA(size, buffer); }

bool CreatePlatformFolder(const char *path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool MovePlatformFile(const char *from, const char *to) { return MoveFileA(from, to) != FALSE; }

static void FillEntry(const WIN32_FIND_DATAA &found, FolderEntry *entry) {
  StrCopy(entry->name, found.cFileName, sizeof entry->name);
  entry->isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->isReadOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

static bool IsDotEntry(const char *name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// FindFirstFileA hands out the first entry as it opens the search; it is kept in the scan and
// given out by the first NextFolderEntry.
bool OpenFolderScan(FolderScan *scan, const char *folder) {
  if (scan == nullptr) return false;
  scan->handle = 0;
  scan->firstPending = false;
  if (folder == nullptr || folder[0] == '\0') return false;
  StrCopy(scan->folder, folder, kPathCapacity);
  int32_t n = StrLength(scan->folder);
  if (n == 0 || (scan->folder[n - 1] != '\\' && scan->folder[n - 1] != '/')) StrAppendChar(scan->folder, '\\', kPathCapacity);
  char pattern[kPathCapacity];
  StrCopy(pattern, scan->folder, kPathCapacity);
  if (StrLength(pattern) + 3 >= kPathCapacity) return false;
  StrAppend(pattern, "*.*", kPathCapacity);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern, &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  scan->handle = reinterpret_cast<intptr_t>(h);
  if (!IsDotEntry(found.cFileName)) {
    FillEntry(found, &scan->first);
    scan->firstPending = true;
  }
  return true;
}

bool NextFolderEntry(FolderScan *scan, FolderEntry *entry) {
  if (scan == nullptr || scan->handle == 0) return false;
  if (scan->firstPending) {
    scan->firstPending = false;
    *entry = scan->first;
    return true;
  }
  WIN32_FIND_DATAA found;
  while (FindNextFileA(reinterpret_cast<HANDLE>(scan->handle), &found)) {
    if (IsDotEntry(found.cFileName)) continue;
    FillEntry(found, entry);
    return true;
  }
  return false;
}

void CloseFolderScan(FolderScan *scan) {
  if (scan == nullptr || scan->handle == 0) return;
  FindClose(reinterpret_cast<HANDLE>(scan->handle));
  scan->handle = 0;
}
