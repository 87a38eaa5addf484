// file_dialogs.h -- the common dialogs the main dialog opens over itself: the save-file and
// open-file dialogs (settings files get a template with a live thumbnail of the selected
// preset), the colour picker (the host's when it offers one, else the Windows one), a short
// notice to the user, and the folder chooser built on the open dialog.
//
// The dialogs themselves need windows (file_dialogs_win32.cpp; without windows every dialog
// answers "cancelled"). The commands reach them through FileDialogProcs, so that tests can
// stand in for the user; InstallDialogCommands fills it with the platform's dialogs.
#ifndef KIVAGLOBE_DIALOG_FILE_DIALOGS_H
#define KIVAGLOBE_DIALOG_FILE_DIALOGS_H

#include <cstddef>
#include <cstdint>

struct PluginGlobals;

constexpr int kFilePathSize = 260;

// Which files a file dialog lists.
enum FileKind : int32_t {
  kFileKindBitmap = 0,
  kFileKindPreset = 1,
  kFileKindPsd = 2,
  kFileKindHtml = 3,
  kFileKindLDraw = 4,
  kFileKindAll = 5,
  kFileKindWavefront = 6,
};

// The preset thumbnail's control in the open dialog's templates "FANCY_OPEN4" (Kivaglobe64)
// and "FANCY_OPEN2" (Kivaglobe32).
constexpr int kPresetPreviewControl = 123;

// The one-entry filter of a file dialog: description, NUL, pattern, NUL, NUL. The save dialog
// knows kinds 0..4 and 6, the open dialog 0, 1 and 5; any other kind leaves the filter empty
// (two NULs). Returns the bytes used.
size_t BuildFileFilter(int32_t kind, bool forSave, char *filter, size_t size);

// The extension a typed name without one gets: the pattern without "*.", or null for "*.*"
// and for kinds the dialog does not know.
const char *DefaultExtension(int32_t kind, bool forSave);

// After a dialog was accepted: the folder of `path` (up to and including its last backslash
// or '/') into `folder`, 260 bytes. A path without a separator leaves the folder empty.
void RememberFolder(const char *path, char *folder);

// The dialogs, as the commands call them. chooseSaveFile and chooseOpenFile follow the rules
// of ChooseSaveFile and ChooseOpenFile below; pickColor answers true when a colour was
// accepted (the colour is then replaced); tellUser shows a short message over the dialog.
struct FileDialogProcs {
  int (*chooseSaveFile)(char *path, char *fileName, char *folder, int32_t kind, const char *title);
  int (*chooseOpenFile)(char *path, char *fileName, char *folder, int32_t kind, const char *title,
                        PluginGlobals *globals);
  bool (*pickColorWindows)(uint16_t rgb[3]);
  void (*tellUser)(void *dialog, const char *text);
};
extern FileDialogProcs gFileDialogProcs;

// The save dialog: `path` (260) proposes a name and receives the chosen path; `fileName` (260,
// may be null) receives the chosen name alone; `folder` (260, may be null) is where the dialog
// starts and, when the user accepted, becomes the chosen file's folder. 1 when the user
// accepted, 0 when cancelled or when another file dialog is already open (one is never
// nested in another).
int ChooseSaveFile(char *path, char *fileName, char *folder, int32_t kind, const char *title);

// The open dialog: as the save dialog, but `path` is emptied first and the file must exist.
// Settings files (kind 1) are shown with the thumbnail of the selected preset.
int ChooseOpenFile(char *path, char *fileName, char *folder, int32_t kind, const char *title,
                   PluginGlobals *globals);

// The Windows colour dialog, started at `rgb` (RGB48; only the high bytes count) with the 16
// custom colours the module keeps while it is loaded. Accepted: each byte of the choice becomes
// the high byte of its channel (low byte 0). Cancelled: false, `rgb` unchanged.
bool PickColorWindowsDialog(uint16_t rgb[3]);

// A short message in a box owned by the dialog, with an OK button.
void TellUser(void *dialog, const char *text);

// The colour picker of the main dialog's swatches: the host's colour services when the host
// offers them, else gFileDialogProcs.pickColorWindows. With the host's picker the components
// sent are the high bytes of the three channels and the prompt goes as a length-prefixed
// string; a colour the host returns is shifted back into the high bytes. A host that answers
// with an error (the user cancelled) leaves `rgb` unchanged and gives false.
bool PickColor(PluginGlobals *globals, const char *prompt, uint16_t rgb[3]);

// Asks for any file in a folder (the open dialog of `kind`, titled "Choose any file in the
// source folder", starting in `folder`); when one is chosen, `folder` (260) becomes that
// file's folder, ending in a backslash, and the answer is true. Cancelled, or a file dialog is
// already open: `folder` unchanged, false.
bool ChooseSourceFolder(PluginGlobals *globals, char *folder, int32_t kind);

#endif  // KIVAGLOBE_DIALOG_FILE_DIALOGS_H
