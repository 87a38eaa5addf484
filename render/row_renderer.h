// row_renderer.h -- one output row at a time: the view of a render and the row step.
//
// The row loop of the filter run and the off-screen passes call RenderRow once per row, rows in
// order from 0. Row 0 fills the view (SetupRenderView) from the ParameterBlock, the filter
// rectangle and the set-up's results; every row flips the row parity, so that each pixel record
// keeps the previous row's slot while the current one is written, and then hands the row to the
// shader.
#ifndef KIVAGLOBE_RENDER_ROW_RENDERER_H
#define KIVAGLOBE_RENDER_ROW_RENDERER_H

#include <cstdint>

struct PluginGlobals;
struct RenderView;

// Renders row globals->currentRowCopy of the render target. Nothing is shaded when the run
// state or the row buffer is missing, or when the row buffer holds fewer than target width + 2
// records.
void RenderRow(PluginGlobals *globals);

// Fills the view; also sets craterLevelBias, modelAxis and reliefGain of the run state.
void SetupRenderView(PluginGlobals *globals, RenderView *view);

#endif  // KIVAGLOBE_RENDER_ROW_RENDERER_H
