// gif_decoder.h -- reads the first image of a GIF87a or GIF89a file into palette indices.
//
// The palette-picture cloud sources deliver GIF files; the cloud import turns each pixel's
// palette entry into a grey level. Only what that needs is kept: the palette of the first image,
// one index per pixel, the transparent index and the interlace flag. Later frames of an
// animation are passed over.
//
// The files come off the network, so the decoder trusts nothing in them: every read must
// deliver all the bytes it asks for (a file that ends before its trailer is no picture), the
// size of the picture is capped before anything is allocated, the LZW minimum code size must
// be 2..8, and an LZW code that names no string ends the pixel data (the pixels it does not
// cover stay 0, and the picture says it is not whole). Later frames are passed over by their
// sub-block lengths without being decoded: a few bytes of LZW data can stand for megabytes of
// pixels nobody looks at.
#ifndef KIVAGLOBE_CLOUDS_GIF_DECODER_H
#define KIVAGLOBE_CLOUDS_GIF_DECODER_H

#include <cstdint>

#include "foundation/file_io.h"

// The longest side a GIF (or a cloud cache) may have: far above the real satellite pictures
// (about 3600 pixels), far below what would exhaust a 32-bit host's memory.
constexpr int32_t kMaxCloudPictureSide = 16384;
// The most pixels a cloud picture may have, whatever its sides: the JPEG path's 16 megapixels
// (4096 x 4096, or 8192 x 2048 for a whole-world map). A GIF's screen costs a few bytes to
// claim and a byte per pixel to hold, a cache four thirds of that with its levels.
constexpr int64_t kMaxCloudPicturePixels = 16 * 1024 * 1024;

struct GifPicture {
  uint8_t *pixels;            // width x height indices, row by row (GifPixelIndex, SetGifPixel)
  int32_t width;
  int32_t height;
  int32_t colorCount;         // 1 + the highest index that a pixel uses
  int32_t red[256];           // the image's palette: its local table, else the global one;
  int32_t green[256];         // entries past the table are 0
  int32_t blue[256];
  int32_t indexFree[256];     // 1 while no pixel uses the index
  int32_t transparentIndex;   // from the graphic control extension; -1 without one
  uint32_t interlaced;        // the image descriptor's interlace bit
  uint8_t whole;              // 1 when the pixel data covered every pixel of the first image
  int32_t *valueList;         // a cyclic list of values for SetGifPixel's commands; never attached
  int32_t valueCount;
  int32_t valuePosition;
};

// Where the decoder takes its bytes from: a callback that must deliver exactly n bytes (false
// otherwise), so that the same decoder reads open files and, in tests and fuzzing, memory.
struct GifByteSource {
  bool (*read)(void *context, uint8_t *destination, int32_t n);
  void *context;
};

// The first image of the file, or null ("no picture"). The file position is left where the
// reading stopped; the caller closes the file.
GifPicture *DecodeGif(FileHandle file);
GifPicture *DecodeGifFromSource(const GifByteSource *source);
GifPicture *DecodeGifFromMemory(const uint8_t *data, int32_t size);

// A picture of zeros, colorCount 0, no transparency; null when the sides are not 1..16384, the
// picture holds more than kMaxCloudPicturePixels, or the memory cannot be had.
GifPicture *NewGifPicture(int32_t width, int32_t height);
void FreeGifPicture(GifPicture *picture);

// The palette index at (x, y); 0 outside the picture.
int32_t GifPixelIndex(const GifPicture *picture, int32_t x, int32_t y);

// Sets the index at (x, y) (ignored outside the picture). The negative values -2 to -5 are
// commands on the value list: -2 applies its next entry (unless that is -6), -4 moves on by one,
// -3 and -5 do nothing; without a list every command does nothing.
void SetGifPixel(GifPicture *picture, int32_t x, int32_t y, int32_t value);

#endif  // KIVAGLOBE_CLOUDS_GIF_DECODER_H
