// file_replace.h -- the file operations that saving a file safely needs beyond file_io.h:
// putting a finished file in place of another, removing a file, and asking whether a file's
// attributes refuse writing.
//
// Twins: file_replace_win32.cpp (MoveFileExA, DeleteFileA, GetFileAttributesA) and
// file_replace_posix.cpp. Paths are in the Windows form, as everywhere above the seams.
#ifndef KIVAGLOBE_FILES_FILE_REPLACE_H
#define KIVAGLOBE_FILES_FILE_REPLACE_H

// Moves `from` onto `to`, replacing `to` when it exists, in one step where the system offers
// one. False when the system refuses; both files are then as they were.
bool ReplacePlatformFile(const char *from, const char *to);

// Removes a file; false when it could not be removed (or did not exist).
bool DeletePlatformFile(const char *path);

// True when the file exists and its attributes refuse writing (read-only).
bool PlatformFileReadOnly(const char *path);

#endif  // KIVAGLOBE_FILES_FILE_REPLACE_H
