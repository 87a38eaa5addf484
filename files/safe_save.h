// safe_save.h -- saving over a file without ever losing it.
//
// A save writes its bytes into a new side file beside the target (CreateSideFileSpec: a name
// no file had, so nobody's file is opened or overwritten) and puts that file in the target's
// place only once it is whole. Until then the target is neither opened, emptied nor removed; a
// save that fails or is cancelled removes its own side file and nothing else.
#ifndef KIVAGLOBE_FILES_SAFE_SAVE_H
#define KIVAGLOBE_FILES_SAFE_SAVE_H

#include "foundation/file_locations.h"

struct SafeSave {
  FileSpec target;   // a copy: the caller's spec need not outlive the save
  FileSpec side;
  FileHandle file;   // the side file while it is open; a writer that closes it sets kNoFile
};

// Starts a save over `target`: refuses a read-only target and otherwise creates the side file,
// open for writing in save->file. False when the target is read-only or no side file could be
// made; nothing was created then.
bool BeginSafeSave(const FileSpec *target, SafeSave *save);

// Ends the save. The side file is closed unless its writer closed it already; when `whole` and
// the close succeeded it replaces the target. True when the target now holds the new bytes;
// false otherwise, with the side file removed and the target as it was.
bool EndSafeSave(SafeSave *save, bool whole);

#endif  // KIVAGLOBE_FILES_SAFE_SAVE_H
