// dialog_hooks.cpp -- the table of the commands built beside the main dialog, and the busy
// flags of the boxes that open over it (see dialog_hooks.h).
#include "dialog/dialog_hooks.h"

DialogHooks gDialogHooks = {};
bool gFileDialogOpen = false;
bool gProgressBoxOpen = false;
