// frame_routines.cpp -- render-target size, selection mask, transparency and the centre angle.
#include "render/frame_routines.h"

#include "foundation/fast_math.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"
#include "foundation/exact_math.h"

// The export image that an off-screen pass renders into, or null.
static const TiledMipImage *DesignatedExportImage(const PluginGlobals *globals) {
  const RunState *run = globals->runState;
  return run != nullptr ? run->renderTargetImage : nullptr;
}

static bool RenderingToExportImage(const PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(const_cast<PluginGlobals *>(globals));
  return p != nullptr && p->renderTarget == 2;
}

int32_t TargetWidth(const PluginGlobals *globals) {
  if (RenderingToExportImage(globals)) {
    const TiledMipImage *image = DesignatedExportImage(globals);
    return image != nullptr ? image->levelWidth[0] : 0;
  }
  const Rect16 &r = globals->filterRecord->outRect;
  return int32_t(r.right) - int32_t(r.left);
}

int32_t TargetHeight(const PluginGlobals *globals) {
  if (RenderingToExportImage(globals)) {
    const TiledMipImage *image = DesignatedExportImage(globals);
    return image != nullptr ? image->levelHeight[0] : 0;
  }
  const Rect16 &r = globals->filterRecord->outRect;
  return int32_t(r.bottom) - int32_t(r.top);
}

int32_t GetMaskValue(int32_t x, int32_t y, const PluginGlobals *globals) {
  if (x < 0 || x > globals->columnLast || y < 0 || y > globals->rowLast) return 0;
  const FilterRecord *record = globals->filterRecord;
  if (!record->haveMask || record->maskData == nullptr) return 255;
  if (y < globals->maskRowFirst || y > globals->maskRowLast) return 0;
  const uint8_t *mask = static_cast<const uint8_t *>(record->maskData);
  return mask[int64_t(y - globals->maskRowFirst) * record->maskRowBytes + x];
}

bool HasEditableTransparency(const PluginGlobals *globals) {
  const int16_t filterCase = globals->filterRecord->filterCase;
  return filterCase == kFilterCaseEditableTransparencyNoSelection ||
         filterCase == kFilterCaseEditableTransparencyWithSelection;
}

void RectCenterAngle(const Rect16 *rect, HostPoint point, int32_t *angle) {
  // Integer halves of the centre; the products are formed in 64 bits (a 16-bit offset times a
  // 16-bit side does not fit 32).
  const int64_t dx = int64_t(point.h) - (int32_t(rect->left) + int32_t(rect->right)) / 2;
  const int64_t dy = int64_t(point.v) - (int32_t(rect->top) + int32_t(rect->bottom)) / 2;
  const int64_t x = dx * (int32_t(rect->bottom) - int32_t(rect->top));
  const int64_t y = dy * (int32_t(rect->right) - int32_t(rect->left));
  if (y == 0) {
    *angle = x < 0 ? 270 : (x > 0 ? 90 : 0);
    return;
  }
  // The arctangent in single precision, turned into degrees in double.
  const float ratio = float(x) / float(-y);
  const float arc = float(ExactAtan(double(ratio)));
  double degrees = double(arc) * (180.0 / 3.141592653589793);
  if (-y < 1) degrees += 180.0;
  int32_t whole = TruncateToInt32(degrees);
  if (whole < 0) whole += 360;
  *angle = whole;
}
