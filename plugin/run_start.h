// run_start.h -- the parts of the run's start and end that the frame does on its own: the
// reset at Prepare, the initialisation at Start, and the empty request rectangles that tell
// the host that the filter is done.
#ifndef KIVAGLOBE_PLUGIN_RUN_START_H
#define KIVAGLOBE_PLUGIN_RUN_START_H

#include "plugin/globals.h"

// inRect, outRect and maskRect := (0, 0, 0, 0).
void ClearRequestRects(PluginGlobals *globals);

// End of Prepare: the planet's centre at the middle of the filter rectangle, and the shared
// random generator seeded from the clock.
void ResetRunFlags(PluginGlobals *globals);

// Start, right after the run buffers were allocated: the first-call export options, the
// per-run fields of the ParameterBlock, the texture size and the undo slots.
void StartupInit(PluginGlobals *globals);

// Start's dialog step: runs the main dialog. OK leaves the result word 0 and the dialog's
// settings in the block; Cancel leaves -128 and the block as the dialog found it.
void RunStartDialog(PluginGlobals *globals);

#endif  // KIVAGLOBE_PLUGIN_RUN_START_H
