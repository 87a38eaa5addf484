// dialog_commands.h -- the button commands of the main dialog: undo, defaults, the dice, a new
// random seed, saving and loading a settings file, the layered export, the presets gallery
// page, the memory dots and their thumbnail.
//
// The dialog offers every click to each handler (dialog_hooks.h); a handler acts only on its
// own ids and sets *changed when the settings changed, which makes the dialog render the
// preview again. The undo step of a click is pushed by the commit that follows it.
#ifndef KIVAGLOBE_DIALOG_DIALOG_COMMANDS_H
#define KIVAGLOBE_DIALOG_DIALOG_COMMANDS_H

#include <cstdint>

struct PluginGlobals;

// A settings file that could not be written or read; a layered document not written.
extern const char kSaveFailedMessage[];
extern const char kLoadFailedMessage[];
extern const char kPsdFailedMessage[];

// The layered export: the save dialog (kind 2, "Save a PSD file") proposes `name` and the
// choice is kept in psdName; the progress box then writes the document (job 2). 199 when the
// user cancelled the choice or the box, or the export was refused; else the box's result.
int16_t SavePsdDialog(PluginGlobals *globals, const char *name);

// 74: the other undo slot back (a second press returns to where the first started). Every
// other id that pushes an undo step turns a selected memory dot back to filled, unless the
// click was on a dot: the settings no longer equal a dot's.
void HandleUndoCommand(PluginGlobals *globals, void *dialog, int id, bool *changed);
// 27: the default planet, named "plain settings.q1q".
void HandleDefaultsCommand(PluginGlobals *globals, void *dialog, int id, bool *changed);
// 72: a random planet, named "random settings.q1q".
void HandleDiceCommand(PluginGlobals *globals, void *dialog, int id, bool *changed);
// 75: a new random seed in 0..2047, named "random settings.q1q".
void HandleRandomSeedCommand(PluginGlobals *globals, void *dialog, int id, bool *changed);
// 26 save, 35 load, 71 layered export, 150 presets page, 119 the dot thumbnail, 121..145 dots.
void HandleFileCommands(PluginGlobals *globals, void *dialog, int id, bool *changed);

// The controls from the parameters, the preview to be rendered, the name "random
// settings.q1q" and its label repainted.
void ApplyRandomSettings(PluginGlobals *globals, void *dialog, bool *changed);

// A settings name as a file name to offer: empty becomes "Kivaglobe settings.q1q"; any other
// name gets its extension replaced by ".q1q". `name` holds 260 bytes.
void NormalizeSettingsName(char *name);

void RepaintSettingsName(void *dialog);

// The save dialog of settings files ("Save a settings file"), proposing the settings name in
// the settings folder; the chosen file is written safely (a failed write keeps the file it
// would have replaced, and the user is told). True when a file was written.
bool SaveSettingsDialog(PluginGlobals *globals, void *dialog);

// The open dialog of settings files ("Open a settings file") with the preset preview; the
// chosen file is read over the defaults. 0 when cancelled; 1 when read. A file that cannot be
// read leaves the settings as they were and the user is told (0).
int OpenSettingsDialog(PluginGlobals *globals, void *dialog);

// Fills the dialog's command table (dialog_hooks.h), the dots' answers to the undo policy and
// the gallery commands' dialog procedures. Idempotent; the exported entry calls it.
void InstallDialogCommands();

#endif  // KIVAGLOBE_DIALOG_DIALOG_COMMANDS_H
