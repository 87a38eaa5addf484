// safe_save.cpp -- saving over a file without ever losing it (see safe_save.h).
#include "files/safe_save.h"

#include "files/file_replace.h"

// The read-only test comes first: the replacement would fail on Windows only after the whole
// document was written, and the posix rename would not fail at all.
bool BeginSafeSave(const FileSpec *target, SafeSave *save) {
  save->file = kNoFile;
  save->side.path[0] = '\0';
  if (target == nullptr || target->path[0] == '\0' || PlatformFileReadOnly(target->path)) return false;
  save->target = *target;
  return CreateSideFileSpec(target, &save->side, &save->file) == kSpecOk;
}

bool EndSafeSave(SafeSave *save, bool whole) {
  if (save->side.path[0] == '\0') return false;
  if (save->file != kNoFile && !ClosePlatformFile(save->file)) whole = false;
  save->file = kNoFile;
  if (whole && ReplacePlatformFile(save->side.path, save->target.path)) return true;
  DeletePlatformFile(save->side.path);
  return false;
}
