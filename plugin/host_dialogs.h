// host_dialogs.h -- the boxes that the frame shows to the user on the host's behalf: the About
// box (selector About) and the two refusals at Start (a host without advanceState, a
// multichannel image).
#ifndef KIVAGLOBE_PLUGIN_HOST_DIALOGS_H
#define KIVAGLOBE_PLUGIN_HOST_DIALOGS_H

// Runs the About box modally, unless one is already open.
void ShowAboutBox();

// "The filter cannot run ..." for a host that lacks advanceState.
void ShowHostRefusal();

// The refusal of a multichannel image.
void ShowModeRefusal();

// The module flag of an open About box; the About selector clears it before showing the box.
extern bool aboutBoxOpen;

#endif  // KIVAGLOBE_PLUGIN_HOST_DIALOGS_H
