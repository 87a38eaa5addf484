// file_locations.h -- names of files and folders, and opening them.
//
// Every file the plug-in reads or writes is named by a FileSpec: the cached settings, undo and
// memory-dot files and the cloud files in the temporary folder; presets, exports and pages in
// folders the user picks. A path that does not fit its 260-byte field is never cut short: the
// path is left empty instead, and the open that follows fails with 99, which the callers report
// in their own words.
//
// Opening for writing keeps an existing file's bytes beyond what is written. Writers of exported
// documents call TruncateFileHere after their last byte; settings, temporary and cloud files are
// left untruncated (their readers never reach an old tail).
#ifndef KIVAGLOBE_FOUNDATION_FILE_LOCATIONS_H
#define KIVAGLOBE_FOUNDATION_FILE_LOCATIONS_H

#include <cstdint>

#include "foundation/file_io.h"
#include "foundation/strings.h"

struct FileSpec {
  uint8_t head[8];            // not read or written by these operations
  char path[kPathCapacity];   // full path, NUL-terminated, ANSI code page
};

enum : int16_t {
  kSpecOk = 0,
  kSpecNull = 1,             // null FileSpec given to a temporary-folder operation
  kSpecOpenFailed = 99,      // the system refused to open the file
  kSubFolderNullArgument = 396,
  kFolderPartNullArgument = 398,
};

// Modes of OpenFileSpec: 1 writes (opens or creates, never empties); any other value reads an
// existing file.
enum : int16_t {
  kOpenForRead = 0,
  kOpenForWrite = 1,
};

// path = the system's temporary folder followed by the name (none when null). When the system
// cannot tell its temporary folder, or it does not fit, "C:\Windows\Temp\" stands in; when
// folder and name together do not fit, the path is left empty. 1 for a null FileSpec, else 0:
// the file itself is never looked at.
int16_t TempFileSpec(FileSpec *spec, const char *name);
// The same; most writers of temporary files call the first, most readers the second.
int16_t TempFileSpecForWrite(FileSpec *spec, const char *name);
int16_t TempFileSpecForRead(FileSpec *spec, const char *name);

// path = folder + separator + name; the backslash separator is added when the folder is not
// empty and does not end in '\' or '/'. The path is left empty when the result with its
// terminator would exceed `limit` bytes (at most 260), or when the folder or the name is null.
// The folder may be the FileSpec's own path.
void JoinFileSpecPath(FileSpec *spec, const char *folder, const char *name, int32_t limit);

// result path = parent path + name + backslash, and that folder is created (an existing folder
// is simply used). When it would not fit, the result path is left empty and nothing is created.
// 396 for a null argument, else 0.
int16_t MakeSubFolder(const FileSpec *parent, const char *name, FileSpec *result);

// result path = the source path's folder part (FolderPart). 398 for a null argument, else 0.
int16_t SpecFolderPart(const FileSpec *source, FileSpec *result);

// destination = the file-name part of the path (FileNamePart). Nothing for a null argument.
void SpecFileName(const FileSpec *spec, char *destination, int32_t capacity);

// Copies n bytes of source into the path (at most 260) and terminates the path at its last byte
// at the latest. Nothing for n <= 0 or a null argument.
void SetFileSpecText(FileSpec *spec, const char *source, int32_t n);

// Opens the path in the given mode and stores the handle. 99 when the system refuses (the handle
// destination is then unchanged), else 0.
int16_t OpenFileSpec(const FileSpec *spec, FileHandle *file, int16_t mode);

// Makes and opens for writing a new file beside the target, for a save that writes its new
// bytes first and only then puts them in the target's place. The side file is
// "<target path>.new" when no file has that name, else ".new2" ... ".new9"; the names that do
// not fit 260 bytes are left out, and after them comes a name of the target's own length in
// its folder: the last character of the file name changed to one of a few marks. Only a name
// that no file or folder has is ever used: an existing file is never opened for writing here.
// 0 with *side (path and head) and *file set; 1 for a null argument; 99 when the target names
// no file (an empty path, or one that ends in a separator) or every try was refused, and then
// nothing was created and *side and *file are unchanged.
int16_t CreateSideFileSpec(const FileSpec *target, FileSpec *side, FileHandle *file);

// Sets the end of the file at the current position. Always 0.
int16_t TruncateFileHere(FileHandle file);

// Test seam: the source of the temporary folder, GetPlatformTempFolder unless replaced.
// Passing null restores the system's.
typedef uint32_t (*TempFolderProc)(char *buffer, uint32_t size);
void SetTempFolderProc(TempFolderProc proc);

#endif  // KIVAGLOBE_FOUNDATION_FILE_LOCATIONS_H
