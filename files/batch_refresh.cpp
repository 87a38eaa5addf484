// batch_refresh.cpp -- the batch refresh of queued presets (see batch_refresh.h).
#include "files/batch_refresh.h"

#include <cstdio>

#include "files/folder_listing.h"
#include "files/gallery_pages.h"
#include "files/settings_file.h"
#include "files/temp_files.h"
#include "files/thumbnails.h"
#include "foundation/strings.h"
#include "plugin/globals.h"
#include "plugin/preview.h"

bool gBatchRefreshRunning = false;

const char kFolderUnreadableMessage[] = "The folder of queued presets could not be read:";
const char kBatchDoneMessage[] = "The batch refresh is done.";
const char kBatchStoppedMessage[] = "The batch refresh was stopped.";

void (*gBatchPumpMessages)(PluginGlobals *globals, void *dialog) = nullptr;

int32_t QueuedPresetKind(const char *name) {
  char file[kPathCapacity], extension[kPathCapacity];
  FileNamePart(file, name, kPathCapacity);
  CopyExtension(extension, file, kPathCapacity);
  if (StrLength(extension) != 4) return 0;
  if (MatchAtOffsetNoCase(".q9q", extension, 4, 0)) return 1;
  if (MatchAtOffsetNoCase(".q5q", extension, 4, 0)) return 2;
  return 0;
}

void MarkPresetDoneName(char *path) {
  const int16_t n = StrLength(path);
  if (n < 4 || QueuedPresetKind(path) != 1) return;
  // The extension's letters keep their case: "A.Q9Q" becomes "A.Q5Q".
  path[n - 2] = '5';
}

static void Call(void (*proc)(PluginGlobals *, void *), PluginGlobals *globals, void *dialog) {
  if (proc != nullptr) proc(globals, dialog);
}

static void TellUser(PluginGlobals *globals, void *dialog, const char *text) {
  if (gGalleryDialogProcs.tellUser != nullptr)
    gGalleryDialogProcs.tellUser(globals, dialog, text);
  else
    ShowGalleryMessage(dialog, text);
}

enum RefreshOutcome { kRefreshed, kRefreshSkipped, kRefreshFailed, kRefreshCancelled };

// Refreshes one preset. Only a whole preset is written over, and only with a thumbnail of its
// own render: a render that failed would leave the previous preset's picture (or the grey
// gradient) in the thumbnail, and the file would be marked done without one.
static RefreshOutcome RefreshPreset(PluginGlobals *globals, void *dialog, ParameterBlock *p, const FileSpec *spec,
                                    const char *name) {
  if (!SettingsFileIsWholePreset(globals, spec)) return kRefreshSkipped;
  FillThumbnailGradient(globals);
  SetDefaultParameters(globals);
  if (ReadSettingsApply(globals, spec) != 0) return kRefreshSkipped;
  StrCopy(p->settingsName, name, kParameterTextSize);
  Call(gGalleryDialogProcs.parametersToDialog, globals, dialog);
  if (p->batchCancel) return kRefreshCancelled;
  Call(gGalleryDialogProcs.dialogToParameters, globals, dialog);
  // The render's own result decides; an earlier failure of the dialog's is not this file's. The
  // thumbnail is taken from the host's output buffer (when the host has one to offer), which
  // only a render of this preset fills: without one it holds the previous preset's planet.
  const FilterRecord *r = globals->filterRecord;
  const bool fromOutput = r != nullptr && r->advanceState != nullptr;
  const bool renders = HostSupportsPreview(globals) && r->inData != nullptr;
  const int16_t before = GetResult(globals);
  SetResult(globals, kResultOk);
  UpdatePreviewImage(globals);
  const bool failed = GetResult(globals) != kResultOk || (fromOutput && !renders);
  SetResult(globals, before);
  Call(gGalleryDialogProcs.repaintAfterPreview, globals, dialog);
  if (failed) return kRefreshFailed;
  CaptureOutputThumbnail(globals);
  return SaveSettingsFile(globals, spec) == 0 ? kRefreshed : kRefreshFailed;
}

int16_t BatchRenderFolder(PluginGlobals *globals, void *dialog, BatchReport *report) {
  BatchReport counts{};
  if (report != nullptr) *report = counts;
  ParameterBlock *p = GetParameterBlock(globals);
  if (gBatchRefreshRunning || p == nullptr) return kBatchNotStarted;
  gBatchRefreshRunning = true;
  if (gGalleryDialogProcs.chooseSourceFolder == nullptr ||
      !gGalleryDialogProcs.chooseSourceFolder(globals, p->sourceFolder, kChooseQueuedFiles)) {
    gBatchRefreshRunning = false;
    return kBatchNotStarted;
  }
  // The parked settings come back from the scratch dot; the name shown with them is not part
  // of a settings file and is kept here.
  SaveMemoryDot(globals, kMemoryDotScratch);
  char name[kParameterTextSize];
  StrCopy(name, p->settingsName, kParameterTextSize);
  const uint32_t spare = p->spareSetting;
  p->spareSetting = 1;
  if (gGalleryDialogProcs.invalidateDialog != nullptr) gGalleryDialogProcs.invalidateDialog(dialog);

  FolderListing listing{};
  int16_t result = kBatchDone;
  if (!ListFolderSorted(p->sourceFolder, &listing)) {
    result = kBatchFolderUnreadable;
    char text[sizeof kFolderUnreadableMessage + kParameterTextSize + 4];
    std::snprintf(text, sizeof text, "%s\r\n%s", kFolderUnreadableMessage, p->sourceFolder);
    TellUser(globals, dialog, text);
  }
  // A Cancel pressed before the batch began is not one for the batch.
  p->batchCancel = 0;
  for (int32_t i = 0; i < listing.count && result == kBatchDone; i++) {
    const FolderEntry &entry = listing.entries[i];
    if (gGalleryDialogProcs.waitCursor != nullptr) gGalleryDialogProcs.waitCursor();
    const int32_t kind = QueuedPresetKind(entry.name);
    if (entry.isFolder || kind == 0) continue;
    FileSpec spec{};
    JoinFileSpecPath(&spec, p->sourceFolder, entry.name, kPathCapacity);
    if (entry.isReadOnly || spec.path[0] == 0) {
      counts.skipped++;
      continue;
    }
    switch (RefreshPreset(globals, dialog, p, &spec, entry.name)) {
      case kRefreshSkipped:
        counts.skipped++;
        break;
      case kRefreshFailed:
        counts.failed++;
        break;
      case kRefreshCancelled:
        break;
      case kRefreshed:
        counts.refreshed++;
        if (kind == 1) {
          FileSpec done = spec;
          MarkPresetDoneName(done.path);
          // A file of the new name may exist already: the file then stays queued.
          if (MovePlatformFile(spec.path, done.path)) counts.renamed++;
        }
        break;
    }
    if (gBatchPumpMessages != nullptr) gBatchPumpMessages(globals, dialog);
    if (p->batchCancel) result = kBatchCancelled;
  }
  if (result != kBatchFolderUnreadable) {
    char text[sizeof kBatchStoppedMessage + 160];
    std::snprintf(text, sizeof text,
                  "%s\r\n%d refreshed, %d skipped (read-only, unreadable or not a preset), %d failed.",
                  result == kBatchCancelled ? kBatchStoppedMessage : kBatchDoneMessage, int(counts.refreshed),
                  int(counts.skipped), int(counts.failed));
    TellUser(globals, dialog, text);
  }
  FreeFolderListing(&listing);
  p->spareSetting = spare;
  LoadMemoryDot(globals, kMemoryDotScratch);
  StrCopy(p->settingsName, name, kParameterTextSize);
  p->batchCancel = 0;
  gBatchRefreshRunning = false;
  if (gGalleryDialogProcs.arrowCursor != nullptr) gGalleryDialogProcs.arrowCursor();
  if (report != nullptr) *report = counts;
  return result;
}
