// cloud_chooser_posix.cpp -- the native build shows no dialogs.
#include "clouds/cloud_chooser.h"

bool RunCloudChooser(PluginGlobals *globals) { return false; }

void FillChooseClouds(void *dialog, int32_t *checkedId, PluginGlobals *globals) {}
