// thumbnails.cpp -- the thumbnail operations that need no window (see thumbnails.h).
#include "files/thumbnails.h"

#include <cstring>

#include "files/settings_file.h"
#include "foundation/strings.h"
#include "imagestore/image_copy.h"
#include "imagestore/kernel_table.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "plugin/rect16.h"

TiledMipImage *ThumbnailImage(PluginGlobals *globals) {
  if (globals == nullptr || globals->workImage.tiles == nullptr) return nullptr;
  return &globals->workImage;
}

void BindScratchImage(PluginGlobals *globals, TiledMipImage *image) {
  HostBufferProcs *procs = globals != nullptr && globals->filterRecord != nullptr ? globals->filterRecord->bufferProcs
                                                                                  : nullptr;
  const ResampleKernelTable *table = globals != nullptr ? globals->workImage.kernelTable : nullptr;
  InitImageRecord(image, procs, globals, table);
}

void FillThumbnailGradient(PluginGlobals *globals) {
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail == nullptr) return;
  for (int32_t y = 0; y < thumbnail->levelHeight[0]; y++) {
    int32_t grey = y < 255 ? 255 - y : 0;
    for (int32_t x = 0; x < thumbnail->levelWidth[0]; x++) PutPixelPacked8Checked(x, y, thumbnail, 0, grey, grey, grey, 255);
  }
  RebuildAllLevels(thumbnail);
}

// ---- Capture -------------------------------------------------------------------------------

// The byte of a 16-bit host value 0..32768.
static int32_t Byte16(uint16_t v) {
  int32_t b = ((int32_t(v) + 1) >> 7) & 511;
  return b < 255 ? b : 255;
}

enum HostSampleKind { kSampleNone, kSample8, kSample16, kSampleFloat };

static HostSampleKind SampleKindOf(const FilterRecord *record) {
  int32_t mode = record->imageMode;
  int32_t depth = record->depth;
  if (mode == kModeRGB96 || mode == kModeGray32 || depth == 32) return kSampleFloat;
  if ((mode == kModeGray16 || mode == kModeRGB48) && depth == 16) return kSample16;
  if ((mode == kModeGrayScale || mode == kModeRGB) && depth <= 8) return kSample8;
  return kSampleNone;
}

static int32_t SampleByte(const uint8_t *p, HostSampleKind kind) {
  switch (kind) {
    case kSample8: return *p;
    case kSample16: {
      uint16_t v;
      std::memcpy(&v, p, sizeof v);
      return Byte16(v);
    }
    case kSampleFloat: {
      float f;
      std::memcpy(&f, p, sizeof f);
      return SqrtToByte(f);
    }
    default: return 0;
  }
}

void CopyOutputRectToImage(PluginGlobals *globals, const Rect16 *rect, TiledMipImage *image) {
  if (globals == nullptr || rect == nullptr || image == nullptr || image->tiles == nullptr) return;
  const FilterRecord *record = globals->filterRecord;
  if (record == nullptr || record->outData == nullptr) return;
  const HostSampleKind kind = SampleKindOf(record);
  if (kind == kSampleNone) return;
  const int32_t sampleBytes = kind == kSample8 ? 1 : kind == kSample16 ? 2 : 4;
  const int32_t planes = record->planes > 0 ? record->planes : 1;
  const int32_t pixelBytes = planes * sampleBytes;
  const Rect16 &out = record->outRect;
  const auto *base = static_cast<const uint8_t *>(record->outData);

  // outData holds outRect, its top-left pixel first; only what lies inside it can be read.
  for (int32_t r = 0; r < rect->bottom - rect->top; r++) {
    int32_t row = rect->top + r;
    if (row < out.top || row >= out.bottom) continue;
    const uint8_t *line = base + int64_t(row - out.top) * record->outRowBytes;
    for (int32_t c = 0; c < rect->right - rect->left; c++) {
      int32_t column = rect->left + c;
      if (column < out.left || column >= out.right) continue;
      const uint8_t *pixel = line + int64_t(column - out.left) * pixelBytes;
      int32_t red = SampleByte(pixel, kind);
      int32_t green = red, blue = red;
      if (planes >= 3) {
        green = SampleByte(pixel + sampleBytes, kind);
        blue = SampleByte(pixel + 2 * sampleBytes, kind);
      }
      PutPixelPacked8Checked(c, r, image, 0, red, green, blue, 255);
    }
  }
}

void CaptureOutputThumbnail(PluginGlobals *globals) {
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail == nullptr || globals->filterRecord == nullptr || globals->filterRecord->advanceState == nullptr) return;
  // The resampling below weighs with the run's kernel table.
  if (globals->runState != nullptr) BuildLanczosKernelTable(&globals->runState->kernelTable);
  FillThumbnailGradient(globals);
  const Rect16 out = globals->filterRecord->outRect;
  int32_t width = out.right - out.left;
  int32_t height = out.bottom - out.top;
  int32_t side = width < height ? width : height;
  if (side <= 0) return;
  Rect16 square = {0, 0, int16_t(side), int16_t(side)};
  CenterRect16On(&square, &out);

  TiledMipImage picture;
  BindScratchImage(globals, &picture);
  if (!CreateImage(&picture, side, side, kFormatPacked8, 0)) return;
  CopyOutputRectToImage(globals, &square, &picture);
  RebuildAllLevels(&picture);
  CopyOrResampleImage(&picture, thumbnail);
  FreeImageTiles(&picture);
}

// ---- Copies --------------------------------------------------------------------------------

void CopyThumbnailTo(PluginGlobals *globals, TiledMipImage *image) {
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail == nullptr || image == nullptr) return;
  CopyOrResampleImage(thumbnail, image);
}

void CopyThumbnailFrom(PluginGlobals *globals, TiledMipImage *image) {
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail == nullptr || image == nullptr || image->tiles == nullptr) return;
  CopyOrResampleImage(image, thumbnail);
}

// ---- Previews --------------------------------------------------------------------------------

bool LoadPresetThumbnail(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals, int32_t size) {
  FillThumbnailGradient(globals);
  bool found = false;
  ReadSettingsFile(globals, spec, kReadSettingsThumbnail, &found);
  if (!found) return false;
  if (image == nullptr || !CreateImage(image, size, size, kFormatPacked8, 0)) return false;
  CopyThumbnailTo(globals, image);
  return true;
}

bool PaintPresetThumbnail(PluginGlobals *globals, const FileSpec *spec, void *window, const Rect16 *rect) {
  if (window == nullptr || rect == nullptr) return false;
  FillThumbnailGradient(globals);
  PaintThumbnail(globals, window, rect);
  if (spec == nullptr || spec->path[0] == 0 || FindSubstring(".q1q", spec->path, true) < 0) return false;
  ReadSettingsFile(globals, spec, kReadSettingsThumbnail, nullptr);
  PaintThumbnail(globals, window, rect);
  return true;
}
