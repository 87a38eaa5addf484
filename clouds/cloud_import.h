// cloud_import.h -- turns a downloaded satellite picture into the cloud image.
//
// The cloud image is the first image of the run's image set: gray 8-bit, 0 no cloud, 255 full
// cloud, all levels built. The run state's CloudHeader says where the earth disc lies in it. A
// GIF picture's pixels take the green value of their palette entry, a JPEG picture's the grey of
// its colours; both are stretched from the source's black level to its white level. Palette
// pictures may have their overlay drawing (coast lines, grid, text) painted over from the
// surrounding clouds, and their disc box found from the picture.
//
// An import builds the new image beside the current one and replaces it only when the new one
// is complete: a file that is no picture, or a picture that cannot be held, leaves the previous
// clouds and the header's `loaded` as they were.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_IMPORT_H
#define KIVAGLOBE_CLOUDS_CLOUD_IMPORT_H

#include <cstdint>

#include "clouds/cloud_source.h"
#include "clouds/gif_decoder.h"

struct PluginGlobals;
struct FileSpec;
struct TiledMipImage;
struct Rect16;

enum : int16_t {
  kImportOk = 0,
  kImportNoGif = 25,        // no GIF picture, or no image could be made for it
  kImportNoJpeg = 99,       // no JPEG picture, or no image could be made for it
};

// The cloud value of a grey level g (0..1): (g - black) / (white - black), clamped to 0..1,
// times 255, truncated. A white level equal to the black one counts as a range of 1.
int32_t CloudValueFromGray(float g, float blackLevel, float whiteLevel);

// By the file's name: ".gif" -> the GIF import, ".jpg" or ".jpeg" -> the JPEG import (a name
// with both runs both; either one succeeding is success). 25 for a name with neither.
int16_t ImportCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals);
// The same for a file whose kind `name` tells (a download's side file, named for its target).
int16_t ImportCloudImageNamed(int32_t index, const FileSpec *spec, const char *name, const CloudSource *source,
                              PluginGlobals *globals);
// 0, the open error, or 25.
int16_t ImportGifCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals);
// 0 or 99.
int16_t ImportJpegCloudImage(int32_t index, const FileSpec *spec, const CloudSource *source, PluginGlobals *globals);

// Creates `cloud` (gray 8-bit) at the rectangle's size and fills it from the packed colour image;
// false when it cannot be created.
bool GrayLevelsFromRgb(const TiledMipImage *colour, TiledMipImage *cloud, const Rect16 *rect, const CloudSource *source);

// Paints the pixels of the two overlay indices inside the box (x, width, y, height; clamped to
// the picture) with the mean of their usable neighbours, in up to 4 passes. Repaired pixels take
// globals->overlayReplacementIndex, so that they feed their neighbours within the same pass.
void RemoveOverlayColors(PluginGlobals *globals, int32_t overlay1, int32_t overlay2, GifPicture *picture,
                         TiledMipImage *cloud, const float box[4]);
// One pixel; 1 when no neighbour could be used, else 0.
int32_t FillFromNeighbours(PluginGlobals *globals, int32_t overlay1, int32_t overlay2, GifPicture *picture,
                           TiledMipImage *cloud, int32_t x, int32_t y);

// The disc box scanned from the image: the first and last columns and rows that hold at least
// 5 pixels below the threshold t (0..255). box = x, width, y, height, as the scans leave them
// (the width or height is 0 or negative when no column or row qualifies).
void DetectDiscBox(const TiledMipImage *cloud, int32_t t, float box[4]);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_IMPORT_H
