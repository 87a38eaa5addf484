// host_dialogs.cpp -- the open flags of the About and info boxes (see host_dialogs.h); the
// boxes themselves are in host_dialogs_win32.cpp and host_dialogs_posix.cpp.
#include "plugin/host_dialogs.h"

bool aboutBoxOpen = false;
bool infoBoxOpen = false;
