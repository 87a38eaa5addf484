// file_io.h -- the platform seam under the binary file routines and the file specs: file
// handles, the temporary folder, folders and renames.
//
// Two twins implement it: file_io_win32.cpp (CreateFileA, ReadFile, WriteFile, SetEndOfFile,
// GetTempPathA, CreateDirectoryA, FindFirstFileA, MoveFileA) and file_io_posix.cpp for the
// native build. Paths are Windows paths in both: the posix twin reports its temporary folder
// with backslashes (TMPDIR or /tmp, e.g. "\tmp\") and turns every backslash of a path into '/'
// just before the system call, so the path logic above this seam runs unchanged on Linux.
#ifndef KIVAGLOBE_FOUNDATION_FILE_IO_H
#define KIVAGLOBE_FOUNDATION_FILE_IO_H

#include <cstdint>

// An open file: a HANDLE on Windows, a descriptor on posix, widened to a pointer-sized integer.
typedef intptr_t FileHandle;
constexpr FileHandle kNoFile = -1;

// Opens an existing file for reading, or (forWrite) opens or creates a file for writing without
// emptying it: bytes beyond what is written stay. Others may read the file meanwhile. A folder
// cannot be opened. False when the system refuses; *file is then unchanged.
bool OpenPlatformFile(const char *path, bool forWrite, FileHandle *file);

// Creates a file that does not exist yet and opens it for writing. False when a file or folder
// of that name exists, or the system refuses; nothing is then created and *file is unchanged.
// The test of existence and the creation are one system call, so a file that appears meanwhile
// is never opened.
bool CreateNewPlatformFile(const char *path, FileHandle *file);

// Reads up to count bytes; *got receives how many arrived (fewer only at the end of the file).
// False when the system call fails.
bool ReadPlatformFile(FileHandle file, void *buffer, int32_t count, int32_t *got);

// Writes count bytes; *written receives how many went out. False when the call fails.
bool WritePlatformFile(FileHandle file, const void *buffer, int32_t count, int32_t *written);

// Test seam: how many ReadPlatformFile and WritePlatformFile calls were made so far. A reader
// that goes a byte at a time shows here as a count of calls rather than as seconds.
uint32_t PlatformReadCalls();
uint32_t PlatformWriteCalls();

// Bytes between the file position and the end of the file; false when that cannot be told.
bool PlatformFileRemaining(FileHandle file, int64_t *remaining);

// The open file's size and the time of its last change (in the system's own units; only
// compared for equality). False when they cannot be told.
bool PlatformFileStamp(FileHandle file, int64_t *size, int64_t *time);

// Moves the file position to the end of the file.
bool SeekPlatformFileEnd(FileHandle file);

// Sets the end of the file at the current position.
bool TruncatePlatformFile(FileHandle file);

// Closes the handle; false when the system reports a failure (a delayed write error).
bool ClosePlatformFile(FileHandle file);

// The temporary folder, ending in a backslash, as GetTempPathA answers: the length written
// (without the NUL) when it fits `size` bytes, else the size needed (NUL included), and 0 on
// failure.
uint32_t GetPlatformTempFolder(char *buffer, uint32_t size);

// Creates a folder; false when it could not be made (or exists already).
bool CreatePlatformFolder(const char *path);

// Renames or moves a file; false on failure (also when the target exists).
bool MovePlatformFile(const char *from, const char *to);

// ---- Listing a folder --------------------------------------------------------------------

struct FolderEntry {
  char name[260];     // the bare name, NUL-terminated
  bool isFolder;
  bool isReadOnly;
};

// A folder listing in progress. "." and ".." are not listed.
struct FolderScan {
  intptr_t handle;    // the system's search handle or directory stream; 0 when closed
  char folder[260];   // the folder, ending in a backslash
  FolderEntry first;  // Windows: the entry the search found on opening, not yet handed out
  bool firstPending;
};

// Starts listing every entry of a folder (with or without a final backslash). False when the
// folder cannot be listed.
bool OpenFolderScan(FolderScan *scan, const char *folder);

// The next entry; false at the end of the listing.
bool NextFolderEntry(FolderScan *scan, FolderEntry *entry);

void CloseFolderScan(FolderScan *scan);

#endif  // KIVAGLOBE_FOUNDATION_FILE_IO_H
