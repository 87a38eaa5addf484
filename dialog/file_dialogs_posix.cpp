// file_dialogs_posix.cpp -- without windows every common dialog answers "cancelled" and no
// message is shown.
#include "dialog/file_dialogs.h"

int ChooseSaveFile(char *, char *, char *, int32_t, const char *) { return 0; }

int ChooseOpenFile(char *path, char *, char *, int32_t, const char *, PluginGlobals *) {
  if (path != nullptr) path[0] = 0;
  return 0;
}

bool PickColorWindowsDialog(uint16_t[3]) { return false; }

void TellUser(void *, const char *) {}
