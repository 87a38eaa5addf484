// output_passes.h -- the output modes' names and layer order, and the two off-screen passes
// that render a whole picture into the export image instead of the host's output buffer.
//
// Both passes borrow the host request, the pan, the zoom divisor, the output mode and the render
// target, drive the ordinary row loop with render target 2, and put everything back before they
// return, cancelled or not. Cancellation is reported through the caller's byte flag; rows
// already rendered stay in the export image.
#ifndef KIVAGLOBE_PLUGIN_OUTPUT_PASSES_H
#define KIVAGLOBE_PLUGIN_OUTPUT_PASSES_H

#include <cstdint>

#include "plugin/globals.h"

constexpr int32_t kOutputModeCount = 14;
constexpr int32_t kLayerCount = 11;

// The output modes that a layered export renders, by layer index 0..10.
extern const uint32_t LayerModeTable[kLayerCount];

// The name of output mode 1..14; "" for any other value.
const char *OutputModeName(uint32_t mode);

// The export progress box's part in a pass: its cancel request is read by the whole-image pass,
// and a pass that is cancelled tells the box. Filled by the exporters; null members are skipped.
struct ExportBoxHooks {
  bool (*cancelRequested)(PluginGlobals *globals);   // the box is open and its Cancel was pressed
  void (*requestCancel)(PluginGlobals *globals);
};
extern ExportBoxHooks gExportBoxHooks;

// Renders output mode LayerModeTable[layerIndex] into `image` (the run's export image) at the
// document's size. Null image or a layer index outside 0..10: nothing happens.
void RenderLayerPass(PluginGlobals *globals, TiledMipImage *image, int32_t layerIndex, uint8_t *cancelFlag);

// The layered exporters' entry: RenderLayerPass with the first four arguments.
void RenderLayer(PluginGlobals *globals, TiledMipImage *image, int32_t layerIndex, uint8_t *cancelFlag,
                 const void *description);

// Renders the current output mode into `image` at the image's own size.
void RenderWholeImage(PluginGlobals *globals, TiledMipImage *image, int32_t unused, uint8_t *cancelFlag);

#endif  // KIVAGLOBE_PLUGIN_OUTPUT_PASSES_H
