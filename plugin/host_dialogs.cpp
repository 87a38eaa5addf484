// host_dialogs.cpp -- the About box and the refusals (see host_dialogs.h).
//
// The dialog templates and their procedures come with the program's dialog resources; until
// then these calls show nothing, and the callers report exactly as they will with the boxes
// (the About selector returns 0, a refusal returns 1).
#include "plugin/host_dialogs.h"

bool aboutBoxOpen = false;

void ShowAboutBox() {}

void ShowHostRefusal() {}

void ShowModeRefusal() {}
