// main_dialog_posix.cpp -- without windows there is no dialog: the parameters are accepted as
// they stand, and the value operations have no window back end.
#include "dialog/control_values.h"
#include "dialog/main_dialog.h"

ControlBackend gControlBackend = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

bool RunParameterDialog(PluginGlobals *) { return true; }

void *MainDialogWindow() { return nullptr; }
