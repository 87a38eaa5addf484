// cloud_chooser.h -- the "Choose clouds" dialog: one of up to twelve satellite pictures, fetched
// anew or from its cache first, and the source list refreshed from the maker's server.
//
// Platform seam: cloud_chooser_win32.cpp (the dialog) and cloud_chooser_posix.cpp (no dialog).
#ifndef KIVAGLOBE_CLOUDS_CLOUD_CHOOSER_H
#define KIVAGLOBE_CLOUDS_CLOUD_CHOOSER_H

#include <cstdint>

struct PluginGlobals;

// Item ids of CHOOSECLOUDS.
enum : int32_t {
  kChooserOk = 1,
  kChooserCancel = 2,
  kChooserTryCache = 3,
  kChooserUpdateList = 4,
  kChooserPrompt = 5,
  kChooserFirstRadio = 6,    // sources 0..11 are ids 6..17
  kChooserLastRadio = 17,
  kChooserWriteList = 18,    // a command without a control: writes the built-in list
  kChooserVersion = 20,
};

// Runs the chooser modally, owned by the main dialog when that runs. False when one is already
// open (it is brought to the front) or when it ended with Cancel; true after OK or Try cache
// first, whose fetch has then run. The caller then looks at the cloud header's `loaded`.
bool RunCloudChooser(PluginGlobals *globals);

// Fills the radio buttons (labels, enabled, the chosen source checked) and the version text;
// a cloudImage that names no source becomes 0. *checkedId receives the checked button's id.
void FillChooseClouds(void *dialog, int32_t *checkedId, PluginGlobals *globals);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_CHOOSER_H
