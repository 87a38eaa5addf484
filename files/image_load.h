// image_load.h -- pictures that enter the program as TiledMipImages: the built-in texture maps
// carried in the plug-in module, and raw sample buffers.
//
// The texture maps are raw 8-bit samples, row by row, without a header, stored as resources of
// type RT_RCDATA (10) in the module (texture_maps.h finds them; in the native build the same
// bytes are linked in as arrays):
//
//     146, 148, 149, 150   384 x 384   crater height fields: 128 is "no change", the border is
//                                      exactly 128, a bowl below 128 and a raised rim above
//     151                  512 x 512   the lunar relief of the "Real Luna" option: the near side
//                                      as an orthographic disc, 128 outside it
//
// The start-up initialisation and the render set-up load them into five one-channel 8-bit
// images of the globals (storage format 0), with all levels built.
#ifndef KIVAGLOBE_FILES_IMAGE_LOAD_H
#define KIVAGLOBE_FILES_IMAGE_LOAD_H

#include <cstdint>

struct TiledMipImage;

// ---- The built-in texture maps ---------------------------------------------------------------

constexpr int32_t kLunarReliefResource = 151;
constexpr int32_t kLunarReliefSize = 512;
constexpr int32_t kCraterTextureCount = 4;
constexpr int32_t kCraterTextureResources[kCraterTextureCount] = {146, 148, 149, 150};
constexpr int32_t kCraterTextureSize = 384;
constexpr int32_t kTextureNeutralValue = 128;   // the height sample that changes nothing

// ---- Loading ---------------------------------------------------------------------------------

// Creates `image` (bound beforehand, InitImageRecord) at width x height for `planes` planes
// (CreateImageForPlanes: 1 plane -> storage format 0, 2 -> format 2, more -> format 3; false when
// that fails), finds resource `resourceId` of type RT_RCDATA in the plug-in module and copies its
// samples with CopyRawBytesToImage (all levels built). True on success.
//
// False, with the image created and every sample 0 (levels built), when the resource is missing
// or holds fewer bytes than width x height samples need (1 byte per sample for one plane, 3 for
// a format 3 image, 2 for format 2).
bool LoadImageFromResource(TiledMipImage *image, int32_t resourceId, int32_t width, int32_t height,
                           int32_t planes);

// The part of LoadImageFromResource after the resource lookup: `bytes` holds `byteCount` bytes
// (null or too few gives the empty image and false).
bool LoadImageFromRawBytes(TiledMipImage *image, const uint8_t *bytes, uint32_t byteCount,
                           int32_t width, int32_t height, int32_t planes);

// Copies a raw buffer of width x height samples into level 0 and rebuilds all levels. A format 0
// image gets sample (x, y) = bytes[y * width + x]; a format 3 image takes three bytes (red,
// green, blue) at (y * width + x) * 3 and alpha 255; other formats get nothing copied. The
// samples written are those of the image's level 0, each read with x and y clamped into the
// width x height picture; the buffer must hold the whole picture.
void CopyRawBytesToImage(const uint8_t *bytes, TiledMipImage *image, int32_t width, int32_t height);

#endif  // KIVAGLOBE_FILES_IMAGE_LOAD_H
