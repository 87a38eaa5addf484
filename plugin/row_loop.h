// row_loop.h -- the filter run's row loop: the host requests of one row (or of the whole filter
// rectangle), the row step, progress and abort, and the start of the render at Start.
//
// The host is asked for exactly one row of source and output at a time (and for the mask rows
// around it), through the request rectangles and advanceState. Each row is shaded into the
// host's output buffer; the host hears of progress on the first row, on every 32nd row and at
// once after a jump of 5 rows or more, and is asked whether the user aborted on every 32nd row.
#ifndef KIVAGLOBE_PLUGIN_ROW_LOOP_H
#define KIVAGLOBE_PLUGIN_ROW_LOOP_H

#include <cstdint>

#include "plugin/globals.h"

// The last step of Start: pan cleared, lookup tables, the run's image set, the filter rectangle
// recorded with zoom 1, the render set-up, the first row requested and, when the host offers
// advanceState, the first advanceState call (its result in the result word). A non-zero result
// word after the set-up (999, or an error of the set-up) stops before any request.
void StartRender(PluginGlobals *globals);

// One row: progress, the row shaded into the render target, the preview refreshed, the next row
// chosen (runActive cleared after the last), and the abort polled (-128 in the result word).
void RenderRowStep(PluginGlobals *globals);

// Renders every remaining row of the render target with RenderRowStep, until the run ends or
// the result word is non-zero (runActive is then cleared).
void RunUntilDone(PluginGlobals *globals);

// Sets the host request for currentRow (clamped into the filter rectangle): one row of input and
// output over the full width, rows r - 2 .. r + 1 of the mask when the host has one, all
// planes, no sampling, edge replication; and the row bounds relative to the filter's top.
void RequestNextRow(PluginGlobals *globals);

// As RequestNextRow for the whole filter rectangle at once.
void RequestWholeFilterRect(PluginGlobals *globals);

// Tells the host (or the export progress box) how far the render is, at the cadence above.
void ReportProgress(PluginGlobals *globals, int32_t done, int32_t total, int32_t extra);

// The host's abort answer on every 32nd call; false in between and always in the preview.
bool PollHostAbort(PluginGlobals *globals);

// The host offers advanceState.
bool HostHasAdvanceState(const PluginGlobals *globals);

// The export progress box of the exporters: shown on every row of a render into the export
// image. Null until an exporter installs it.
typedef void (*ExportProgressProc)(PluginGlobals *globals, int32_t done, int32_t total, int32_t extra);
extern ExportProgressProc gExportProgressProc;

#endif  // KIVAGLOBE_PLUGIN_ROW_LOOP_H
