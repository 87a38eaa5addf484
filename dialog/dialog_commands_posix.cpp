// dialog_commands_posix.cpp -- without windows the dialog has no command table to fill.
void InstallDialogWindowHooks() {}
