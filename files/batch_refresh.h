// batch_refresh.h -- the batch refresh of queued presets.
//
// A folder may hold presets that wait to be rendered: settings files named "*.q9q", written by
// hand or by another program without a thumbnail. The batch refresh loads each into the
// dialog, renders its preview, stores a fresh thumbnail into the file and marks it done by
// renaming it "*.q5q"; files already marked done are refreshed again.
//
// Only files whose extension is exactly ".q9q" or ".q5q" (ignoring case) take part: a name
// that merely contains the letters ("Q9Q-list.txt", "q9qlist") is not a preset and is left
// alone. A file is replaced only through the settings writer's safe save (a new file beside
// it that takes its place when complete). A file that cannot be read or that is read-only is
// skipped: not written and not renamed. A file that could not be saved is not renamed, so
// that it stays queued.
#ifndef KIVAGLOBE_FILES_BATCH_REFRESH_H
#define KIVAGLOBE_FILES_BATCH_REFRESH_H

#include <cstdint>

struct PluginGlobals;

// Set while a batch refresh runs; the presets page clears it when it ends.
extern bool gBatchRefreshRunning;

extern const char kFolderUnreadableMessage[];

// 1 for a name whose extension is ".q9q", 2 for ".q5q" (ignoring case), else 0. Only the
// file-name part of a path is looked at.
int32_t QueuedPresetKind(const char *name);

// The path with its ".q9q" extension replaced by ".q5q" (same length).
void MarkPresetDoneName(char *path);

struct BatchReport {
  int32_t refreshed;   // files saved with a fresh thumbnail
  int32_t renamed;     // of those, queued files now marked done
  int32_t skipped;     // matching files left alone: read-only, unreadable or not a whole preset
  int32_t failed;      // presets whose render or save failed; left as they were and not renamed
};

// The closing message's words, followed by the counts.
extern const char kBatchDoneMessage[];
extern const char kBatchStoppedMessage[];

// Answers the messages waiting for the dialog between two files, so that a click on Cancel
// can reach the batch: it sets batchCancel instead of closing the dialog. Null natively.
extern void (*gBatchPumpMessages)(PluginGlobals *globals, void *dialog);

enum : int16_t {
  kBatchDone = 0,
  kBatchNotStarted = 199,     // already running, no parameters, or the folder choice cancelled
  kBatchFolderUnreadable = 99,
  kBatchCancelled = 128,      // batchCancel was set during the run
};

// The command: asks for the folder (gGalleryDialogProcs), refreshes its queued presets in name
// order, and puts the current settings and their name back. A folder that cannot be listed is
// reported to the user; otherwise one message at the end gives the counts. batchCancel set
// while a file is refreshed stops the batch after that file. *report (when given) counts the
// files.
int16_t BatchRenderFolder(PluginGlobals *globals, void *dialog, BatchReport *report);

#endif  // KIVAGLOBE_FILES_BATCH_REFRESH_H
