// composite.h -- writing shaded pixels into the surface a render is aimed at.
//
// The shader hands every pixel over as four floats, 1.0 meaning a full channel (brighter values
// allowed). CompositePixel turns them into the channel values of the render target and writes
// them:
//
//   target 0  the host's output buffer of the current row (the filter run)
//   target 1  the dialog preview buffer, over an 8 x 8 checkerboard and through the selection
//             mask
//   target 2  level 0 of the export image that the run state designates (off-screen passes)
//
// The channel class follows the host image: 8-bit (0..255), 16-bit (0..32768) or float (0..1).
// In the integer classes a channel that runs over its ceiling spills part of the excess into the
// others before everything is clamped, so over-bright colours turn toward white rather than
// toward a saturated primary. The output mode decides how alpha and the underlying pixel take
// part: "composite" adds the planet over the host's picture (or carries the air's alpha on a
// transparent layer), the map and mask modes are opaque.
#ifndef KIVAGLOBE_RENDER_COMPOSITE_H
#define KIVAGLOBE_RENDER_COMPOSITE_H

#include <cstdint>

struct PluginGlobals;
struct FilterRecord;
struct TiledMipImage;

// What the shader says with each pixel: the layer opacity that becomes alpha in composite mode
// on a transparent layer, and how much of the underlying pixel the planet hides (0..1 each).
struct CompositeWeights {
  float opacity;
  float coverage;
};

// The channel classes of the host image.
enum ChannelClass : int32_t {
  kChannelClass8 = 0,       // grey or RGB, depth below 9
  kChannelClass16 = 1,      // Gray16 or RGB48 at depth 16 (and anything else not 8-bit or float)
  kChannelClassFloat = 2,   // RGB96 or Gray32, or depth 32
};
ChannelClass HostChannelClass(const FilterRecord *record);

// Writes the pixel (column, row) of the render target; coordinates outside it are pulled to its
// edge. The colour record may be scaled in place.
void CompositePixel(int32_t column, int32_t row, float colour[4], PluginGlobals *globals,
                    const CompositeWeights *weights);

// The constants of a channel class.
struct ChannelClassInfo {
  ChannelClass kind;
  float scale;        // what 1.0 becomes
  int32_t ceiling;    // M of the spill
  int32_t full;       // the full channel value
  int32_t checkerLight;
  int32_t checkerDark;
};

// What CompositePixel looks up before it writes anything: the parameter block, the target, its
// size and channel class. None of it changes while a row is shaded, so the shader reads it once
// a row (PrepareCompositeTarget) and writes each pixel through CompositePixelTo, which gives the
// same result as CompositePixel with the same globals.
struct CompositeTarget {
  PluginGlobals *globals;
  FilterRecord *record;
  bool writable;              // false: nothing to write (no parameters, no buffer, empty target)
  uint32_t target;            // 0, 1 or 2 as above
  uint32_t outputMode;
  TiledMipImage *image;       // target 2
  int32_t width;
  int32_t height;
  ChannelClassInfo info;
  bool grey;
  bool transparent;
  int32_t count;              // colour channels written: 1 or 3
  int64_t outRowElements;     // target 1: the row strides in elements
  int64_t inRowElements;
  int32_t inPlanes;
};
void PrepareCompositeTarget(PluginGlobals *globals, CompositeTarget *out);
void CompositePixelTo(const CompositeTarget *target, int32_t column, int32_t row, float colour[4],
                      const CompositeWeights *weights);

// CompositePixelTo for pixels firstColumn .. firstColumn + count - 1 of one row, pixel i given as
// the channel values acc[0][i], acc[1][i], acc[2][i] in units of channelMax (its colour record
// is float(acc) / channelMax and 1.0) with weights[i]; the same writes, four pixels'
// arithmetic at a time.
// The preview's write of CompositePixelTo (target 1, integer class) for channel values c and
// alpha as the mode left them; column and row inside the target.
void CompositePreviewChannelsTo(const CompositeTarget *target, int32_t column, int32_t row, const int32_t c[3],
                                int32_t alpha);

void CompositeRunTo(const CompositeTarget *target, int32_t firstColumn, int32_t row, int32_t count,
                    const int32_t *const acc[3], const CompositeWeights *weights, float channelMax);

// One preview row (currentRowCopy) copied from the host's input buffer to the preview buffer, with
// the checkerboard and mask rules of CompositePixel's preview target. Nothing unless the render
// target is 1 and the host supplied both buffers.
void CompositeStoredImageRow(PluginGlobals *globals);

// Every row of the host's input rectangle through CompositeStoredImageRow, the mask and input row
// bounds first set to the whole recorded rectangle.
void CompositeStoredImage(PluginGlobals *globals);

#endif  // KIVAGLOBE_RENDER_COMPOSITE_H
