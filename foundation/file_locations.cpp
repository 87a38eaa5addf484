// file_locations.cpp -- names of files and folders, and opening them.
#include "foundation/file_locations.h"

#include <cstring>

static TempFolderProc g_tempFolderProc = GetPlatformTempFolder;

void SetTempFolderProc(TempFolderProc proc) { g_tempFolderProc = proc != nullptr ? proc : GetPlatformTempFolder; }

// The system answers the length it wrote, or, when the buffer is too small, the size it would
// need; both 0 and an answer of 260 or more are failures here.
int16_t TempFileSpec(FileSpec *spec, const char *name) {
  if (spec == nullptr) return kSpecNull;
  char folder[kPathCapacity];
  uint32_t n = g_tempFolderProc(folder, kPathCapacity);
  if (n == 0 || n >= uint32_t(kPathCapacity)) StrCopy(folder, "C:\\Windows\\Temp\\", kPathCapacity);
  folder[kPathCapacity - 1] = '\0';
  if (name != nullptr && StrLength(folder) + StrLength(name) >= kPathCapacity) {
    spec->path[0] = '\0';
    return kSpecOk;
  }
  StrCopy(spec->path, folder, kPathCapacity);
  if (name != nullptr) StrAppend(spec->path, name, kPathCapacity);
  return kSpecOk;
}

int16_t TempFileSpecForWrite(FileSpec *spec, const char *name) { return TempFileSpec(spec, name); }

int16_t TempFileSpecForRead(FileSpec *spec, const char *name) { return TempFileSpec(spec, name); }

void JoinFileSpecPath(FileSpec *spec, const char *folder, const char *name, int32_t limit) {
  if (spec == nullptr) return;
  if (folder == nullptr || name == nullptr) {
    spec->path[0] = '\0';
    return;
  }
  if (limit > kPathCapacity) limit = kPathCapacity;
  int32_t f = StrLength(folder);
  int32_t n = StrLength(name);
  bool separator = f != 0 && folder[f - 1] != '\\' && folder[f - 1] != '/';
  if (f + n + 1 + (separator ? 1 : 0) > limit) {
    spec->path[0] = '\0';
    return;
  }
  // Built aside: the folder may be this very path.
  char joined[kPathCapacity];
  StrCopy(joined, folder, kPathCapacity);
  if (separator) StrAppendChar(joined, '\\', kPathCapacity);
  StrAppend(joined, name, kPathCapacity);
  memcpy(spec->path, joined, sizeof joined);
}

// The folder's own success is not examined: an existing folder is used as it is, and one that
// could not be made shows when a file in it cannot be opened.
int16_t MakeSubFolder(const FileSpec *parent, const char *name, FileSpec *result) {
  if (parent == nullptr || name == nullptr || result == nullptr) return kSubFolderNullArgument;
  int32_t p = StrLength(parent->path);
  int32_t n = StrLength(name);
  if (p + n + 1 >= kPathCapacity) {
    result->path[0] = '\0';
    return kSpecOk;
  }
  char folder[kPathCapacity];
  StrCopy(folder, parent->path, kPathCapacity);
  StrAppend(folder, name, kPathCapacity);
  StrAppendChar(folder, '\\', kPathCapacity);
  memcpy(result->path, folder, sizeof folder);
  CreatePlatformFolder(result->path);
  return kSpecOk;
}

int16_t SpecFolderPart(const FileSpec *source, FileSpec *result) {
  if (source == nullptr || result == nullptr) return kFolderPartNullArgument;
  FolderPart(result->path, source->path, kPathCapacity);
  return kSpecOk;
}

void SpecFileName(const FileSpec *spec, char *destination, int32_t capacity) {
  if (spec == nullptr || destination == nullptr) return;
  FileNamePart(destination, spec->path, capacity);
}

void SetFileSpecText(FileSpec *spec, const char *source, int32_t n) {
  if (spec == nullptr || source == nullptr || n <= 0) return;
  if (n > kPathCapacity) n = kPathCapacity;
  memmove(spec->path, source, size_t(n));
  spec->path[kPathCapacity - 1] = '\0';
}

int16_t OpenFileSpec(const FileSpec *spec, FileHandle *file, int16_t mode) {
  if (spec == nullptr || file == nullptr) return kSpecOpenFailed;
  char path[kPathCapacity];
  StrCopy(path, spec->path, kPathCapacity);
  return OpenPlatformFile(path, mode == kOpenForWrite, file) ? kSpecOk : kSpecOpenFailed;
}

// Creates the file `name` when no file has that name and hands it out as the side file.
static bool CreateSideName(const char *name, const FileSpec *target, FileSpec *side, FileHandle *file) {
  FileHandle made = kNoFile;
  if (!CreateNewPlatformFile(name, &made)) return false;
  memcpy(side->head, target->head, sizeof side->head);
  StrCopy(side->path, name, kPathCapacity);
  *file = made;
  return true;
}

// The order of the names matters only for what a user finds after a crash: "x.psd.new" says
// what it is. The same-length names serve the paths of 255 to 259 bytes, where the suffix would
// push the path past what the system's ANSI calls accept; the marks are characters that every
// file system the plug-in meets allows and that no case folding maps onto another.
int16_t CreateSideFileSpec(const FileSpec *target, FileSpec *side, FileHandle *file) {
  if (target == nullptr || side == nullptr || file == nullptr) return kSpecNull;
  static const char *const kSuffixes[] = {".new", ".new2", ".new3", ".new4", ".new5",
                                          ".new6", ".new7", ".new8", ".new9"};
  static const char kMarks[] = "~_!#$%&-=+";
  size_t length = strnlen(target->path, kPathCapacity);
  if (length == 0 || length >= size_t(kPathCapacity)) return kSpecOpenFailed;
  const char last = target->path[length - 1];
  if (last == '\\' || last == '/' || last == ':') return kSpecOpenFailed;

  char name[kPathCapacity];
  for (const char *suffix : kSuffixes) {
    size_t n = strlen(suffix);
    if (length + n + 1 > size_t(kPathCapacity)) continue;
    memcpy(name, target->path, length);
    memcpy(name + length, suffix, n + 1);
    if (CreateSideName(name, target, side, file)) return kSpecOk;
  }
  for (const char *mark = kMarks; *mark != '\0'; mark++) {
    if (*mark == last) continue;
    memcpy(name, target->path, length + 1);
    name[length - 1] = *mark;
    if (CreateSideName(name, target, side, file)) return kSpecOk;
  }
  return kSpecOpenFailed;
}

int16_t TruncateFileHere(FileHandle file) {
  TruncatePlatformFile(file);
  return kSpecOk;
}
