// row_renderer.cpp -- SetupRenderView and RenderRow.
#include "render/row_renderer.h"

#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"
#include "foundation/exact_math.h"
#include "render/frame_routines.h"
#include "render/render_setup.h"
#include "render/shader.h"

namespace {

// ln 384: the crater textures' size.
constexpr double kLogCraterTextureSize = 5.950642552587727;
constexpr double kLn2 = 0.6931471805599453;

// Whole part and fraction of a mip level, the level clamped to 0..coarsest (NaN counts as 0).
void SplitLevel(float level, int32_t coarsest, float *whole, float *fraction) {
  if (IsNanFloat(level) || level < 0.0f) level = 0.0f;
  if (level > float(coarsest)) level = float(coarsest);
  const float w = float(TruncateToInt32(level));
  *whole = w;
  *fraction = level - w;
}

}  // namespace

void SetupRenderView(PluginGlobals *globals, RenderView *view) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  const Rect16 &filter = globals->filterRecord->filterRect;
  const int32_t width = int32_t(filter.right) - int32_t(filter.left);
  const int32_t height = int32_t(filter.bottom) - int32_t(filter.top);
  const int32_t zoom = p->zoomDivisor == 0 ? 1 : int32_t(p->zoomDivisor > 0x7FFFFFFFu ? 0x7FFFFFFFu : p->zoomDivisor);
  const uint32_t mode = p->outputMode;

  view->rowParity = 0;
  view->invWidth = 1.0f / float(TargetWidth(globals));
  view->invHeight = 1.0f / float(TargetHeight(globals));
  view->unitScale = 1.0f;
  view->coriolisFactor = float(p->cloudCoriolis) * 0.04f;
  view->realCloudsOn = (p->realClouds != 0 && run->cloudHeader.loaded) ? p->realClouds : 0;
  view->isMap = mode >= 3;
  view->isLit = mode == 1 || mode == 2 || mode == 3 || mode == 8 || mode == 12 || mode == 13;

  float radius;
  if (view->isMap) {
    radius = float(height) * 0.5f / float(zoom);
  } else {
    const int32_t size = PixelSizeFromPercent(p->planetSize, width, height) / zoom;
    radius = size == 0 ? 0.0f : float(size) - 0.5f;
  }
  if (radius == 0.0f) radius = 1.0f;
  view->radiusPixels = radius;
  view->radius = radius;
  view->logRadius = ExactLogF(radius);
  view->logDiameter = ExactLogF(2.0f * radius);
  view->width = float(width);
  view->height = float(height);

  const CloudHeader &cloud = run->cloudHeader;
  view->logCloudSpan = ExactLogF(cloud.boxWidth);
  const float cloudLevel = float((double(view->logCloudSpan) - double(view->logDiameter)) / kLn2);
  SplitLevel(cloudLevel, globals->imageSet[0].coarsestLevel, &view->cloudLevel, &view->cloudLevelFraction);
  const float lunarLevel = float(ExactLog(512.0 / (2.0 * double(radius))) / kLn2);
  SplitLevel(lunarLevel, globals->imageSet[1].coarsestLevel, &view->lunarLevel, &view->lunarLevelFraction);

  view->centreX = TruncateToInt32((float(width) * p->centerX - float(p->panX)) / float(zoom));
  view->centreY = TruncateToInt32((float(height) * p->centerY - float(p->panY)) / float(zoom));
  view->landTextureFactor = float(p->landTexture) * 0.02f;

  run->craterLevelBias = float(double(view->logDiameter) - kLogCraterTextureSize);
  run->modelAxis[0] = -p->axisVector[0];
  run->modelAxis[1] = -p->axisVector[1];
  run->modelAxis[2] = p->axisVector[2];
  run->reliefGain = float(p->landComplexity) * 0.01f * 0.225f + 0.6f;
}

void RenderRow(PluginGlobals *globals) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  if (run == nullptr || p == nullptr || globals->buffers[kBufferRow] == nullptr) return;
  const int32_t targetWidth = TargetWidth(globals);
  const int64_t records = globals->bufferSizes[kRowBufferSizeIndex] / kRowBufferBytesPerColumn;
  if (targetWidth < 1 || int64_t(targetWidth) + 2 > records) return;

  RenderView *view = &globals->renderView;
  const int32_t row = globals->currentRowCopy;
  if (row == 0) SetupRenderView(globals, view);
  view->rowParity ^= 1;

  if (p->outputMode == 13) {
    // The accumulator that this row's cells fill with their top-side shares starts empty; on the
    // first row the other one does too.
    float *record = static_cast<float *>(globals->buffers[kBufferRow]);
    const int32_t filled = kRecordContour + 1 - (row & 1);
    const int32_t other = kRecordContour + (row & 1);
    for (int32_t k = 0; k < targetWidth + 2; k++, record += kPixelRecordFloats) {
      record[filled] = 0.0f;
      if (row == 0) record[other] = 0.0f;
    }
  }
  ShadeRowPixels(globals, view);
}
