// main_dialog.h -- the main dialog: the modal window in which the user edits the planet
// around a live preview, opened by Start when the host asks for the dialog.
#ifndef KIVAGLOBE_DIALOG_MAIN_DIALOG_H
#define KIVAGLOBE_DIALOG_MAIN_DIALOG_H

struct PluginGlobals;

// Runs "ZUVEDERUSANSPARAM" modally, owned by the host's window; true when the user pressed OK
// (result word 0, the dialog's settings in the block), false for Cancel (result word -128,
// the block as it was when the dialog opened). A dialog that cannot be made is a Cancel, after
// kDialogFailedMessage. Without windows (the native build): true at once, nothing changed.
bool RunParameterDialog(PluginGlobals *globals);

constexpr const char *kDialogFailedMessage =
    "The Kivaglobe dialog could not be opened, so the filter was not applied. Closing other "
    "windows or restarting the program may help.";

// The main dialog's window while it runs, null otherwise (the info box watches it).
void *MainDialogWindow();

#endif  // KIVAGLOBE_DIALOG_MAIN_DIALOG_H
