// thumbnails.h -- the preset thumbnail: the 128 x 128 picture of the planet (workImage of the
// PluginGlobals, packed 8-bit) that settings files carry, memory dots and the open dialog
// show, and gallery pages print.
//
// The picture is captured from the host's output after a render, read from settings files,
// and copied or resampled to and from other images. Every operation does nothing when the
// thumbnail image has no tiles. Beside the picture the globals record its width and height as
// the readers found them (0 when a file had none); painting needs both.
//
// The empty look is a vertical grey ramp: row y is grey 255 - y, white at the top.
#ifndef KIVAGLOBE_FILES_THUMBNAILS_H
#define KIVAGLOBE_FILES_THUMBNAILS_H

#include <cstdint>

#include "foundation/file_locations.h"
#include "imagestore/image_store.h"

struct PluginGlobals;

// The thumbnail image when it has tiles, else null.
TiledMipImage *ThumbnailImage(PluginGlobals *globals);

// Binds a scratch image record to the globals: the host's buffer procedures, the globals as
// owner, the thumbnail's kernel table.
void BindScratchImage(PluginGlobals *globals, TiledMipImage *image);

// Paints the empty look and rebuilds the levels.
void FillThumbnailGradient(PluginGlobals *globals);

// Takes the thumbnail from the host's output buffer: the largest square centred on the
// output rectangle, resampled to the thumbnail's size. Nothing without a thumbnail image or
// when the host offers no advanceState.
void CaptureOutputThumbnail(PluginGlobals *globals);

// Copies `rect` (in the host image's coordinates, inside the output rectangle) of the host's
// output buffer into level 0 of a packed 8-bit image, pixel (c, r) of the image from pixel
// (rect.left + c, rect.top + r) of the host image. 8-bit grey or RGB bytes, 16-bit values
// 0..32768 as min(((v + 1) >> 7) & 511, 255), 32-bit floats through SqrtToByte; one plane is
// grey, three or more are R, G, B. Pixels of the rectangle outside the output rectangle, and
// images of other modes or depths, are left as they are. The levels are not rebuilt.
void CopyOutputRectToImage(PluginGlobals *globals, const Rect16 *rect, TiledMipImage *image);

// The thumbnail copied (equal sizes) or resampled into another image, and back; the reverse
// only from an image with tiles.
void CopyThumbnailTo(PluginGlobals *globals, TiledMipImage *image);
void CopyThumbnailFrom(PluginGlobals *globals, TiledMipImage *image);

// The memory-dot preview: the empty look, then the picture of the file (read for its picture
// only). False when the file has none or `image` cannot be made size x size; else `image`
// holds the picture at that size.
bool LoadPresetThumbnail(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals, int32_t size);

// Paints the thumbnail into a window's control rectangle (Windows; elsewhere nothing).
void PaintThumbnail(PluginGlobals *globals, void *window, const Rect16 *rect);

// The open dialog's preview: false without a window or rectangle. Paints the empty look; then
// false when there is no name or the name does not contain ".q1q" (ignoring case); else reads
// the file's picture, paints again and answers true.
bool PaintPresetThumbnail(PluginGlobals *globals, const FileSpec *spec, void *window, const Rect16 *rect);

#endif  // KIVAGLOBE_FILES_THUMBNAILS_H
