// dialog_commands.cpp -- the main dialog's button commands (see dialog_commands.h).
#include "dialog/dialog_commands.h"

#include <cstring>

#include "dialog/control_ids.h"
#include "dialog/control_values.h"
#include "dialog/dialog_hooks.h"
#include "dialog/file_dialogs.h"
#include "dialog/memory_dots.h"
#include "dialog/transfer.h"
#include "files/gallery_pages.h"
#include "files/progress_box.h"
#include "files/settings_file.h"
#include "files/thumbnails.h"
#include "foundation/random.h"
#include "foundation/strings.h"
#include "plugin/globals.h"
#include "plugin/randomiser.h"

const char kPsdFailedMessage[] =
    "The layered document could not be written (the disk may be full or the folder read-only). "
    "No document was left in its place.";
const char kSaveFailedMessage[] =
    "The settings file could not be written (the disk may be full or the folder read-only). "
    "A file of that name was left as it was.";
const char kLoadFailedMessage[] = "The settings file could not be read. The settings were left as they were.";

namespace {

constexpr char kSaveTitle[] = "Save a settings file";
constexpr char kOpenTitle[] = "Open a settings file";
constexpr char kEmptySettingsName[] = "Kivaglobe settings.q1q";

void Tell(void *dialog, const char *text) {
  if (gFileDialogProcs.tellUser != nullptr) gFileDialogProcs.tellUser(dialog, text);
}

// The chosen file's name becomes the settings' name, shown by label 76.
void TakeSettingsName(ParameterBlock *p, const char *path) {
  char name[kParameterTextSize];
  FileNamePart(name, path, kParameterTextSize);
  if (name[0] != 0) StrCopy(p->settingsName, name, kParameterTextSize);
}

// The last '.' of the file-name part, or -1.
int32_t ExtensionDot(const char *name) {
  int32_t dot = -1;
  for (int32_t i = 0; name[i] != 0; i++) {
    if (name[i] == '.') dot = i;
    if (name[i] == '\\' || name[i] == '/') dot = -1;
  }
  return dot;
}

}  // namespace

void NormalizeSettingsName(char *name) {
  if (name == nullptr) return;
  if (name[0] == 0) {
    StrCopy(name, kEmptySettingsName, kParameterTextSize);
    return;
  }
  int32_t cut = ExtensionDot(name);
  if (cut < 0) cut = int32_t(std::strlen(name));
  // The name is shortened rather than the extension lost when it would not fit.
  if (cut > kParameterTextSize - 5) cut = kParameterTextSize - 5;
  std::memcpy(name + cut, ".q1q", 5);
}

void RepaintSettingsName(void *dialog) {
  if (gControlBackend.repaint != nullptr) gControlBackend.repaint(dialog, kIdSettingsName);
}

void HandleUndoCommand(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  if (id == kIdUndo) {
    PopUndo(globals);
    ParametersToDialog(globals, dialog);
    *changed = true;
    RepaintSettingsName(dialog);
  }
  const bool dot = id >= kIdFirstMemoryDot && id <= kIdLastMemoryDot;
  if ((id == kIdUndo || UndoPolicyFor(id, globals) != kUndoNone) && !dot) DeselectMemoryDots(globals, dialog);
}

void HandleDefaultsCommand(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  if (id != kIdDefaults) return;
  SetDefaultParameters(globals);
  SetPlainSettingsName(globals);
  ParametersToDialog(globals, dialog);
  *changed = true;
  RepaintSettingsName(dialog);
}

void ApplyRandomSettings(PluginGlobals *globals, void *dialog, bool *changed) {
  ParametersToDialog(globals, dialog);
  *changed = true;
  NameRandomPreset(globals);
  RepaintSettingsName(dialog);
}

void HandleDiceCommand(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  if (id != kIdDice) return;
  RandomiseSettings(globals);
  ApplyRandomSettings(globals, dialog, changed);
}

void HandleRandomSeedCommand(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  if (id != kIdRandomSeed) return;
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  p->randomSeed = uint32_t(CallRand() & 0x7FF);
  ApplyRandomSettings(globals, dialog, changed);
}

bool SaveSettingsDialog(PluginGlobals *globals, void *dialog) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || gFileDialogProcs.chooseSaveFile == nullptr) return false;
  // The name is proposed without its extension; the dialog adds ".q1q".
  char path[kFilePathSize];
  StrCopy(path, p->settingsName, kFilePathSize);
  const int32_t dot = ExtensionDot(path);
  if (dot >= 0) path[dot] = 0;
  char fileName[kFilePathSize] = "";
  if (gFileDialogProcs.chooseSaveFile(path, fileName, p->settingsFolder, kFileKindPreset, kSaveTitle) == 0) return false;
  FileSpec spec{};
  StrCopy(spec.path, path, kPathCapacity);
  if (SaveSettingsFile(globals, &spec) != 0) {
    Tell(dialog, kSaveFailedMessage);
    return false;
  }
  TakeSettingsName(p, path);
  return true;
}

int OpenSettingsDialog(PluginGlobals *globals, void *dialog) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || gFileDialogProcs.chooseOpenFile == nullptr) return 0;
  char path[kFilePathSize] = "";
  char fileName[kFilePathSize] = "";
  if (gFileDialogProcs.chooseOpenFile(path, fileName, p->settingsFolder, kFileKindPreset, kOpenTitle, globals) == 0)
    return 0;
  FileSpec spec{};
  StrCopy(spec.path, path, kPathCapacity);
  // Fields an older file does not carry get their defaults; a file that cannot be read must
  // not leave the user with the defaults instead of the planet they had.
  ParameterBlock before;
  std::memcpy(&before, p, sizeof before);
  SetDefaultParameters(globals);
  if (ReadSettingsApply(globals, &spec) != 0) {
    std::memcpy(p, &before, sizeof before);
    Tell(dialog, kLoadFailedMessage);
    return 0;
  }
  TakeSettingsName(p, path);
  return 1;
}

int16_t SavePsdDialog(PluginGlobals *globals, const char *name) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || gFileDialogProcs.chooseSaveFile == nullptr) return kProgressStopped;
  char path[kPathCapacity];
  StrCopy(path, name, kPathCapacity);
  if (gFileDialogProcs.chooseSaveFile(path, nullptr, nullptr, kFileKindPsd, "Save a PSD file") == 0)
    return kProgressStopped;
  StrCopy(p->psdName, path, kPathCapacity);
  FileSpec spec{};
  StrCopy(spec.path, path, kPathCapacity);
  uint8_t cancelled = 0;
  // OK and Cancel of the main dialog wait while the box's job runs.
  gProgressBoxOpen = true;
  const int16_t result = RunProgressDialog(globals, &spec, &cancelled, kJobLayeredDocument);
  gProgressBoxOpen = false;
  return result;
}

void HandleFileCommands(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  switch (id) {
    case kIdSaveSettings:
      CaptureOutputThumbnail(globals);
      NormalizeSettingsName(p->settingsName);
      SaveSettingsDialog(globals, dialog);
      RepaintSettingsName(dialog);
      return;
    case kIdLoadSettings:
      if (OpenSettingsDialog(globals, dialog) != 0) {
        ParametersToDialog(globals, dialog);
        *changed = true;
        RepaintSettingsName(dialog);
      }
      return;
    case kIdLayers: {
      // A cancel (of the file choice or of the box) and a refusal, which showed its own
      // message, are 199; anything else but success is a document that was not written.
      const int16_t result = SavePsdDialog(globals, "Kivaglobe layers.psd");
      if (result != 0 && result != kProgressStopped) Tell(dialog, kPsdFailedMessage);
      return;
    }
    case kIdGallery:
      ExportPresetsHtml(globals, dialog, kPagePresets);
      return;
    case kIdDotThumbnail:
      DotThumbnailClicked(globals, dialog, changed);
      return;
    default:
      MemoryDotClicked(globals, dialog, id, changed);
      return;
  }
}

// ---- Installing ----------------------------------------------------------------------------

namespace {

bool GalleryChooseFolder(PluginGlobals *globals, char *folder, int32_t kind) {
  return ChooseSourceFolder(globals, folder, kind);
}

bool GalleryChooseSave(PluginGlobals *globals, void *, int32_t kind, const char *title, const char *defaultName,
                       FileSpec *spec) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (spec == nullptr || gFileDialogProcs.chooseSaveFile == nullptr) return false;
  char path[kFilePathSize];
  StrCopy(path, defaultName != nullptr ? defaultName : "", kFilePathSize);
  // A page is offered in the folder of its pictures' source; that folder is not replaced.
  char folder[kFilePathSize] = "";
  if (p != nullptr) StrCopy(folder, p->sourceFolder, kFilePathSize);
  char fileName[kFilePathSize] = "";
  if (gFileDialogProcs.chooseSaveFile(path, fileName, folder, kind, title) == 0) return false;
  StrCopy(spec->path, path, kPathCapacity);
  return true;
}

void GalleryTellUser(PluginGlobals *, void *dialog, const char *text) { Tell(dialog, text); }

void GalleryParametersToDialog(PluginGlobals *globals, void *dialog) { ParametersToDialog(globals, dialog); }
void GalleryDialogToParameters(PluginGlobals *globals, void *dialog) { DialogToParameters(dialog, globals); }

}  // namespace

// The dialog's windowed parts: the command table, the dot painter, cursors and repaints
// (dialog_commands_win32.cpp; nothing without windows).
void InstallDialogWindowHooks();

void InstallDialogCommands() {
  gMemoryDotQueries.slotState = MemoryDotSlotState;
  gMemoryDotQueries.shownDot = MemoryDotShown;
  gGalleryDialogProcs.chooseSourceFolder = GalleryChooseFolder;
  gGalleryDialogProcs.chooseSaveFile = GalleryChooseSave;
  gGalleryDialogProcs.tellUser = GalleryTellUser;
  gGalleryDialogProcs.parametersToDialog = GalleryParametersToDialog;
  gGalleryDialogProcs.dialogToParameters = GalleryDialogToParameters;
  InstallDialogWindowHooks();
}
