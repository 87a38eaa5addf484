// image_copy.h -- whole-image copies and resamples between two TiledMipImages.
//
// They serve thumbnails, imports and exports, pixel by pixel through the accessors and the
// trilinear sampler; none of them touches tile memory itself.
#ifndef KIVAGLOBE_IMAGESTORE_IMAGE_COPY_H
#define KIVAGLOBE_IMAGESTORE_IMAGE_COPY_H

#include <cstdint>

#include "imagestore/image_store.h"

// Copies the overlap of two levels (anchored at their top-left corners) pixel by pixel through
// FetchPixelRGBA and PutPixel4Float. Only formats 3, 4 and 9 copy, and only between images of
// the same format; the trip through floats is exact for them. Nothing for an image without tiles
// or a level either image lacks.
void CopyImagePlane(const TiledMipImage *source, TiledMipImage *destination, int32_t sourceLevel,
                    int32_t destinationLevel);

// Fills destinationRect of level 0 of a packed 8-bit (format 3) destination from a trilinear
// sample of the whole source, then rebuilds the destination's levels. The sampling level is
// log2(sourceRect width / destinationRect width) - bias, within 0 .. the source's coarsest level;
// pixel (c, r) of the rectangle samples the source at ((2c + 1) / 2W, (2r + 1) / 2H). Channels
// 0..2 become trunc(value x 255) within 0..255, channel 3 is 255. Parts of the rectangle outside
// the destination are skipped. Nothing at all when either image is null or has no tiles, or when
// the destination is not format 3; an empty destination rectangle only rebuilds the levels.
void ResampleImageInto(const TiledMipImage *source, TiledMipImage *destination, const Rect16 *sourceRect,
                       const Rect16 *destinationRect, float bias);

// Copies level 0 of the source into a destination of the same size, or resamples it (bias 0.5)
// into a destination of another size, and rebuilds the destination's levels.
void CopyOrResampleImage(const TiledMipImage *source, TiledMipImage *destination);

#endif  // KIVAGLOBE_IMAGESTORE_IMAGE_COPY_H
