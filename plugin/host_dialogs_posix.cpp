// host_dialogs_posix.cpp -- without windows no box is shown: each call answers as if the user
// had closed the box at once (1, the Cancel button), and no browser is opened.
#include "plugin/host_dialogs.h"

void ShowAboutBox() {}
void ShowHostRefusal() { ShowMessageDialog("REFUSAL2"); }
void ShowModeRefusal() { ShowMessageDialog("REFUSAL3"); }
int ShowInfoBox() { return 0; }
int ShowMessageDialog(const char *) { return 1; }
void CenterDialog(void *) {}
void OpenHomePage() {}
void OpenInBrowser(const char *) {}

void PostWindowClose(void *) {}
