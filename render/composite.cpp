// composite.cpp -- CompositePixel and the preview's copy of the stored image.
//
// All buffer addresses below count elements of the channel width (bytes, 16-bit words or
// floats); the host's row strides are in bytes and are divided accordingly.
#include "render/composite.h"

#include <cstring>

#include "foundation/fast_math.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "render/frame_routines.h"

namespace {

using ClassInfo = ChannelClassInfo;

ClassInfo DescribeClass(ChannelClass kind) {
  switch (kind) {
    case kChannelClass8: return {kind, 255.0f, 255, 255, 255, 204};
    case kChannelClass16: return {kind, 32768.0f, 32768, 32768, 32640, 26112};
    default: return {kind, 1.0f, 1, 1, 1, 1};
  }
}

int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// True when the checker square of (column, row) is the darker one.
bool DarkSquare(int32_t column, int32_t row) { return ((column ^ row) & 8) != 0; }

// The host buffers' element addressing of one pixel.
struct HostPixelAddress {
  int64_t output;   // element index of the pixel's channel 0 in outData
  int64_t input;    // element index in inData
};

// The bytes of one channel element of a class.
int32_t ElementBytes(ChannelClass kind) { return kind == kChannelClass8 ? 1 : (kind == kChannelClass16 ? 2 : 4); }

// The element indices of pixel (column, row) from the plane counts and the host's row strides in
// elements; the strides count for the host's buffers (target 1) only.
HostPixelAddress AddressWithStrides(int32_t outPlanes, int32_t inPlanes, int64_t outRowElements,
                                    int64_t inRowElements, uint32_t target, int32_t column, int32_t row) {
  HostPixelAddress a;
  a.output = int64_t(outPlanes) * column;
  a.input = int64_t(inPlanes) * column;
  if (target == 1) {
    a.output += outRowElements * row;
    a.input += inRowElements * row;
  }
  return a;
}

HostPixelAddress AddressHostPixel(const FilterRecord *record, uint32_t target, ChannelClass kind, int32_t column,
                                  int32_t row) {
  const int32_t elementBytes = ElementBytes(kind);
  return AddressWithStrides(record->planes, record->inHiPlane - record->inLoPlane + 1,
                            record->outRowBytes / elementBytes, record->inRowBytes / elementBytes, target, column,
                            row);
}

// Reads channel k of the host input at element index `at`, in the class's units.
int32_t ReadInputChannel(const FilterRecord *record, ChannelClass kind, int64_t at) {
  if (kind == kChannelClass8) return static_cast<const uint8_t *>(record->inData)[at];
  return static_cast<const uint16_t *>(record->inData)[at];
}

// Writes channel values to the host output (targets 0 and 1) for an integer class.
void WriteHostInteger(const FilterRecord *record, ChannelClass kind, int64_t at, const int32_t *channels,
                      int32_t count, bool withAlpha, int32_t alpha) {
  const int32_t alphaIndex = record->outLayerPlanes;
  const bool alphaFits = withAlpha && alphaIndex >= count && alphaIndex < record->planes;
  if (kind == kChannelClass8) {
    uint8_t *out = static_cast<uint8_t *>(record->outData) + at;
    for (int32_t k = 0; k < count; k++) out[k] = uint8_t(channels[k]);
    if (alphaFits) out[alphaIndex] = uint8_t(alpha);
  } else {
    uint16_t *out = static_cast<uint16_t *>(record->outData) + at;
    for (int32_t k = 0; k < count; k++) out[k] = uint16_t(channels[k]);
    if (alphaFits) out[alphaIndex] = uint16_t(alpha);
  }
}

void WriteHostFloat(const FilterRecord *record, int64_t at, const float *channels, int32_t count, bool withAlpha,
                    float alpha) {
  float *out = static_cast<float *>(record->outData) + at;
  for (int32_t k = 0; k < count; k++) out[k] = channels[k];
  const int32_t alphaIndex = record->outLayerPlanes;
  if (withAlpha && alphaIndex >= count && alphaIndex < record->planes) out[alphaIndex] = alpha;
}

// The preview (target 1) of integer channel values: the colour over the checkerboard, weighted
// by the selection mask (and, on a transparent layer, by the pixel's alpha).
void WritePreviewInteger(PluginGlobals *globals, const ClassInfo &info, int64_t at, int32_t column, int32_t row,
                         int32_t *channels, int32_t count, bool transparent, int32_t alpha) {
  const FilterRecord *record = globals->filterRecord;
  const int32_t checker = DarkSquare(column, row) ? info.checkerDark : info.checkerLight;
  int32_t m = GetMaskValue(column, row, globals);
  int32_t outAlpha = alpha;
  if (info.kind == kChannelClass8) {
    if (m > 127) m += 1;
    if (transparent) {
      m = (m * alpha) >> 8;
      outAlpha = 255;
    }
    for (int32_t k = 0; k < count; k++) channels[k] = (checker * (256 - m) + m * channels[k]) >> 8;
  } else {
    if (transparent) {
      m = int32_t((int64_t(m) * alpha) >> 15);
      outAlpha = 32768;
    }
    for (int32_t k = 0; k < count; k++) {
      channels[k] = int32_t((int64_t(checker) * (255 - m) + int64_t(m) * channels[k]) >> 8);
    }
  }
  WriteHostInteger(record, info.kind, at, channels, count, transparent, outAlpha);
}

void WritePreviewFloat(PluginGlobals *globals, int64_t at, int32_t column, int32_t row, float *channels,
                       int32_t count, bool transparent, float alpha) {
  const FilterRecord *record = globals->filterRecord;
  const float checker = DarkSquare(column, row) ? 0.8f : 1.0f;
  float m = float(GetMaskValue(column, row, globals)) * 0.003921568627451f;
  if (transparent) m *= alpha;
  for (int32_t k = 0; k < count; k++) channels[k] = (1.0f - m) * checker + m * channels[k];
  WriteHostFloat(record, at, channels, count, transparent, m);
}

// Over-range spill: the excess of the channels above the ceiling, 60/256 of it, goes to the
// channels that are not over. Negative channels become 0 first.
void SpillOverRange(int32_t c[3], int32_t ceiling) {
  int32_t flags = 0;
  int64_t total = 0;
  for (int k = 0; k < 3; k++) {
    if (c[k] < 0) c[k] = 0;
    if (c[k] > ceiling) {
      flags |= 1 << k;
      total += int64_t(c[k]) - ceiling;
    }
  }
  // Capped so that the sums below stay within 32 bits; channels that far over are clamped anyway.
  if (total > (int64_t(1) << 30)) total = int64_t(1) << 30;
  const int32_t spill = int32_t((total * 60) >> 8);
  const int32_t half = spill >> 1;
  int32_t &r = c[0], &g = c[1], &b = c[2];
  switch (flags) {
    case 1:
      g += half;
      b += half;
      if (g > ceiling) b += g - ceiling;
      if (b > ceiling) g += b - ceiling;
      break;
    case 2:
      r += half;
      b += half;
      if (r > ceiling) b += r - ceiling;
      if (b > ceiling) r += b - ceiling;
      break;
    case 4:
      r += half;
      g += half;
      if (r > ceiling) g += r - ceiling;
      if (g > ceiling) r += g - ceiling;
      break;
    case 3: b += spill; break;
    case 5: g += spill; break;
    case 6: r += spill; break;
    default: break;   // none or all three over
  }
}

// The underlying pixel of the target, for composite mode.
void ReadUnderlying(PluginGlobals *globals, uint32_t target, ChannelClass kind, const HostPixelAddress &at,
                    int32_t column, int32_t row, bool grey, int32_t under[3]) {
  const FilterRecord *record = globals->filterRecord;
  under[0] = under[1] = under[2] = 0;
  if (target == 2) {
    const RunState *run = globals->runState;
    const TiledMipImage *image = run != nullptr ? run->renderTargetImage : nullptr;
    int32_t alpha = 0;
    if (image != nullptr) GetPixel4Fwd(column, row, image, 0, &under[0], &under[1], &under[2], &alpha);
    return;
  }
  if (record->inData == nullptr) return;
  under[0] = ReadInputChannel(record, kind, at.input);
  if (grey) {
    under[1] = under[2] = under[0];
  } else {
    under[1] = ReadInputChannel(record, kind, at.input + 1);
    under[2] = ReadInputChannel(record, kind, at.input + 2);
  }
}

}  // namespace

ChannelClass HostChannelClass(const FilterRecord *record) {
  const int16_t mode = record->imageMode;
  if ((mode == kModeGrayScale || mode == kModeRGB) && record->depth < 9) return kChannelClass8;
  if (mode == kModeRGB96 || mode == kModeGray32 || record->depth == 32) return kChannelClassFloat;
  return kChannelClass16;
}

void PrepareCompositeTarget(PluginGlobals *globals, CompositeTarget *out) {
  FilterRecord *record = globals->filterRecord;
  out->globals = globals;
  out->record = record;
  out->writable = false;
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  out->target = p->renderTarget;
  out->outputMode = p->outputMode;
  // The target's size as TargetWidth and TargetHeight give it, from the one parameter block
  // read above.
  out->image = nullptr;
  if (out->target == 2) {
    out->image = globals->runState != nullptr ? globals->runState->renderTargetImage : nullptr;
    out->width = out->image != nullptr ? out->image->levelWidth[0] : 0;
    out->height = out->image != nullptr ? out->image->levelHeight[0] : 0;
  } else {
    out->width = int32_t(record->outRect.right) - int32_t(record->outRect.left);
    out->height = int32_t(record->outRect.bottom) - int32_t(record->outRect.top);
  }
  if (out->width < 1 || out->height < 1) return;
  if (out->target != 2 && record->outData == nullptr) return;
  out->info = DescribeClass(HostChannelClass(record));
  out->grey = record->planes < 3;
  out->transparent = HasEditableTransparency(globals);
  out->count = out->grey ? 1 : 3;
  const int32_t elementBytes = ElementBytes(out->info.kind);
  out->inPlanes = record->inHiPlane - record->inLoPlane + 1;
  out->outRowElements = record->outRowBytes / elementBytes;
  out->inRowElements = record->inRowBytes / elementBytes;
  out->writable = true;
}

void CompositePixel(int32_t column, int32_t row, float colour[4], PluginGlobals *globals,
                    const CompositeWeights *weights) {
  CompositeTarget target;
  PrepareCompositeTarget(globals, &target);
  CompositePixelTo(&target, column, row, colour, weights);
}

void CompositePixelTo(const CompositeTarget *t, int32_t column, int32_t row, float colour[4],
                      const CompositeWeights *weights) {
  if (!t->writable) return;
  PluginGlobals *globals = t->globals;
  FilterRecord *record = t->record;
  const uint32_t target = t->target;
  TiledMipImage *image = t->image;
  column = ClampInt(column, 0, t->width - 1);
  row = ClampInt(row, 0, t->height - 1);

  const ClassInfo &info = t->info;
  const ChannelClass kind = info.kind;
  const bool grey = t->grey;
  const bool transparent = t->transparent;
  const int32_t count = t->count;
  // AddressHostPixel's figures from the strides divided once a row.
  const HostPixelAddress at =
      AddressWithStrides(record->planes, t->inPlanes, t->outRowElements, t->inRowElements, target, column, row);

  for (int k = 0; k < 4; k++) colour[k] *= info.scale;

  if (kind == kChannelClassFloat) {
    float c[3] = {colour[0], colour[1], colour[2]};
    const float alpha = colour[3] < 0.0f ? 0.0f : (colour[3] > 1.0f ? 1.0f : colour[3]);
    if (grey) {
      c[0] = (77.0f * c[0] + 150.0f * c[1] + 28.0f * c[2]) * 0.003921568627451f;
      c[1] = c[2] = c[0];
    }
    if (target == 0) {
      WriteHostFloat(record, at.output, c, count, transparent, alpha);
    } else if (target == 1) {
      WritePreviewFloat(globals, at.output, column, row, c, count, transparent, alpha);
    } else if (image->storageFormat == kFormatGray8) {
      // One byte a pixel: the grey (the packed writer would refuse the image).
      const float y = grey ? c[0] : (77.0f * c[0] + 150.0f * c[1] + 28.0f * c[2]) * 0.003921568627451f;
      PutPixelGray8Checked(column, row, image, 0, SqrtToByte(y));
    } else if (image->storageFormat == kFormatPacked8) {
      PutPixelPacked8Checked(column, row, image, 0, SqrtToByte(c[0]), SqrtToByte(c[1]), SqrtToByte(c[2]),
                             SqrtToByte(alpha));
    } else {
      PutPixelRgbaF32Checked(column, row, image, 0, c[0], c[1], c[2], alpha);
    }
    return;
  }

  int32_t c[3] = {TruncateFloatToInt32(colour[0]), TruncateFloatToInt32(colour[1]), TruncateFloatToInt32(colour[2])};
  int32_t alpha = ClampInt(TruncateFloatToInt32(colour[3] * 1.007f), 0, info.full);
  SpillOverRange(c, info.ceiling);
  if (grey) {
    const int64_t y = (77 * int64_t(c[0]) + 150 * int64_t(c[1]) + 28 * int64_t(c[2])) >> 8;
    c[0] = int32_t(y > INT32_MAX ? INT32_MAX : y);
    // The export image has three colour channels: a grey pixel fills all of them.
    c[1] = c[2] = c[0];
  }
  for (int k = 0; k < 3; k++) {
    if (c[k] > info.ceiling) c[k] = info.ceiling;
  }

  const uint32_t mode = t->outputMode;
  if (mode == 2) {
    if (transparent) {
      alpha = ClampInt(TruncateFloatToInt32(weights->opacity * info.scale), 0, info.full);
    } else {
      int32_t under[3];
      ReadUnderlying(globals, target, kind, at, column, row, grey, under);
      for (int k = 0; k < 3; k++) {
        const int32_t v = TruncateFloatToInt32(float(under[k]) * (1.0f - weights->coverage) + float(c[k]));
        c[k] = v > info.full ? info.full : v;
      }
    }
  } else if ((mode >= 3 && mode <= 11) || mode == 13 || mode == 14) {
    alpha = info.full;
    for (int k = 0; k < 3; k++) c[k] = ClampInt(c[k], 0, info.full);
  }

  if (target == 0) {
    WriteHostInteger(record, kind, at.output, c, count, transparent, alpha);
  } else if (target == 1) {
    WritePreviewInteger(globals, info, at.output, column, row, c, count, transparent, alpha);
  } else if (image->storageFormat == kFormatGray8) {
    // One byte a pixel: the grey (the packed writer would refuse the image).
    const int32_t y = grey ? c[0] : int32_t((77 * int64_t(c[0]) + 150 * int64_t(c[1]) + 28 * int64_t(c[2])) >> 8);
    PutPixelGray8Checked(column, row, image, 0, kind == kChannelClass8 ? y : ClampInt(((y + 1) >> 7) & 511, 0, 255));
  } else if (kind == kChannelClass8) {
    PutPixelPacked8Checked(column, row, image, 0, c[0], c[1], c[2], alpha);
  } else if (image->storageFormat == kFormatPacked8) {
    auto to8 = [](int32_t v) { return ClampInt(((v + 1) >> 7) & 511, 0, 255); };
    PutPixelPacked8Checked(column, row, image, 0, to8(c[0]), to8(c[1]), to8(c[2]), to8(alpha));
  } else {
    PutPixelRgba16Checked(column, row, image, 0, c[0], c[1], c[2], alpha);
  }
}

void CompositePreviewChannelsTo(const CompositeTarget *t, int32_t column, int32_t row, const int32_t c[3],
                                int32_t alpha) {
  int32_t channels[3] = {c[0], c[1], c[2]};
  const HostPixelAddress at =
      AddressWithStrides(t->record->planes, t->inPlanes, t->outRowElements, t->inRowElements, 1, column, row);
  WritePreviewInteger(t->globals, t->info, at.output, column, row, channels, t->count, t->transparent, alpha);
}

void CompositeStoredImageRow(PluginGlobals *globals) {
  const FilterRecord *record = globals->filterRecord;
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || p->renderTarget != 1 || record->inData == nullptr || record->outData == nullptr) return;
  const ChannelClass kind = HostChannelClass(record);
  const ClassInfo info = DescribeClass(kind);
  const bool grey = record->planes < 3;
  const bool transparent = HasEditableTransparency(globals);
  const bool inputAlpha = transparent && record->outTransparencyMask != 0;
  const int32_t count = grey ? 1 : 3;
  const int32_t row = globals->currentRowCopy;
  const int32_t width = TargetWidth(globals);
  for (int32_t column = 0; column < width; column++) {
    const HostPixelAddress at = AddressHostPixel(record, 1, kind, column, row);
    if (kind == kChannelClassFloat) {
      const float *in = static_cast<const float *>(record->inData) + at.input;
      float c[3] = {in[0], grey ? in[0] : in[1], grey ? in[0] : in[2]};
      const float alpha = inputAlpha ? in[record->inLayerPlanes] : 1.0f;
      WritePreviewFloat(globals, at.output, column, row, c, count, transparent, alpha);
    } else {
      int32_t c[3];
      c[0] = ReadInputChannel(record, kind, at.input);
      c[1] = grey ? c[0] : ReadInputChannel(record, kind, at.input + 1);
      c[2] = grey ? c[0] : ReadInputChannel(record, kind, at.input + 2);
      const int32_t alpha = inputAlpha ? ReadInputChannel(record, kind, at.input + record->inLayerPlanes) : info.full;
      WritePreviewInteger(globals, info, at.output, column, row, c, count, transparent, alpha);
    }
  }
}

void CompositeStoredImage(PluginGlobals *globals) {
  globals->maskRowFirst = 0;
  globals->maskRowLast = globals->rowLast;
  globals->inRowFirst = 0;
  globals->inRowLast = globals->rowLast;
  const Rect16 &in = globals->filterRecord->inRect;
  const int32_t rows = int32_t(in.bottom) - int32_t(in.top);
  for (int32_t row = 0; row < rows; row++) {
    globals->currentRowCopy = row;
    CompositeStoredImageRow(globals);
  }
}
