// pixel_access.h -- single-pixel reads and writes of a TiledMipImage.
//
// Every accessor takes (x, y, image, level) in that order, x and y being pixel coordinates inside
// the level, then the value(s) to write or pointers that receive the value(s). Each addresses one
// pixel layout, and follows one of two edge policies:
//
//   checked  a point outside 0..levelMaxX, 0..levelMaxY is ignored (nothing is written);
//   clamped  x and y are clamped into the level first, so a read always answers with the
//            nearest edge pixel.
//
// The "unchecked" writers of the layout table (PutPixelPacked8, PutPixelRgba16) are checked as
// well: a valid point costs the same either way, and a bad one is dropped instead of landing
// outside a tile.
//
// Every accessor also refuses, as if the image had no tiles, a null image, an image without
// tiles, a level outside 0..coarsestLevel and an image whose pixels are not the size of its
// layout (a packed 8-bit write into a gray 8-bit image, say). A refused get returns 0, or writes 0
// to its outputs; a refused put writes nothing.
#ifndef KIVAGLOBE_IMAGESTORE_PIXEL_ACCESS_H
#define KIVAGLOBE_IMAGESTORE_PIXEL_ACCESS_H

#include <cstdint>

#include "imagestore/image_store.h"

// One unsigned 8-bit channel (format 0).
void PutPixelGray8Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t value);
int32_t GetPixelGray8(int32_t x, int32_t y, const TiledMipImage *image, int32_t level);

// One 16-bit channel (formats 1 and 2): 0..65535.
int32_t GetPixelU16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level);

// One 32-bit channel (format 5), as a signed integer, as an unsigned word or as a float.
int32_t GetPixelI32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level);
void GetPixelU32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, uint32_t *word);
float GetPixelF32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level);

// Four 8-bit channels packed in one word (format 3): each value is taken as its low 8 bits and
// the word becomes c0 << 24 | c1 << 16 | c2 << 8 | c3.
void PutPixelPacked8Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                            int32_t c1, int32_t c2, int32_t c3);
inline void PutPixelPacked8(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                            int32_t c1, int32_t c2, int32_t c3) {
  PutPixelPacked8Checked(x, y, image, level, c0, c1, c2, c3);
}
void GetPixelPacked8(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                     int32_t *c1, int32_t *c2, int32_t *c3);

// Four 16-bit channels (format 4): each value is taken as its low 16 bits.
void PutPixelRgba16Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                           int32_t c1, int32_t c2, int32_t c3);
inline void PutPixelRgba16(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                           int32_t c1, int32_t c2, int32_t c3) {
  PutPixelRgba16Checked(x, y, image, level, c0, c1, c2, c3);
}
void GetPixelRgba16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                    int32_t *c1, int32_t *c2, int32_t *c3);

// Four 32-bit float channels (format 9); the get hands out the raw 32-bit words.
void PutPixelRgbaF32Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, float c0,
                            float c1, float c2, float c3);
void GetPixelRgba32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, uint32_t *c0,
                    uint32_t *c1, uint32_t *c2, uint32_t *c3);

// Three signed 16-bit channels (format 7): each value is taken as 16 bits; reads sign-extend.
void PutPixelRgb16Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                          int32_t c1, int32_t c2);
void GetPixelRgb16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                   int32_t *c1, int32_t *c2);

// ---- Dispatchers by storage format --------------------------------------------------------

// 3 -> PutPixelPacked8Checked; 4 -> PutPixelRgba16Checked; 9 -> the four words stored as they
// are (float bit patterns), checked; 7 -> PutPixelRgb16Checked with c0..c2 (c3 dropped); any
// other format -> nothing.
void PutPixel4(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0, int32_t c1,
               int32_t c2, int32_t c3);

// 3 -> GetPixelPacked8; 4 -> GetPixelRgba16; 9 -> GetPixelRgba32 (the float bit patterns);
// 7 -> GetPixelRgb16 into c0..c2, c3 left as it was; any other format -> nothing written.
void GetPixel4(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
               int32_t *c1, int32_t *c2, int32_t *c3);
inline void GetPixel4Fwd(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                         int32_t *c1, int32_t *c2, int32_t *c3) {
  GetPixel4(x, y, image, level, c0, c1, c2, c3);
}

// Formats 3 and 4: each value times the image's scale, clamped to the channel's range (0..255,
// 0..65535; NaN counts as 0) and truncated, then PutPixel4. Format 9: the floats stored as they
// are. Any other format: nothing.
void PutPixel4Float(int32_t x, int32_t y, TiledMipImage *image, int32_t level, const float rgba[4]);

// Channel 0 of the pixel at the clamped point, as an integer: a byte for formats 0 and 3, an
// unsigned 16-bit value for formats 1, 2 and 4, a signed 16-bit value for format 7 and the
// 32-bit word as a signed integer for formats 5 and 9. 0 for an image without tiles.
int32_t GetPixel1(int32_t x, int32_t y, const TiledMipImage *image, int32_t level);

// The pixel at the clamped point as four floats. Formats 3 and 4: the channels times invScale
// (0..1 for full-range data). Format 9: the four floats. Format 5: (f, f, f, 1) with f the word
// read as a float. Every other format: (g, g, g, 1), g = GetPixel1 x invScale. An image without
// tiles gives (0, 0, 0, 0) for formats 3, 4 and 9 and (0, 0, 0, 1) for the others.
void FetchPixelRGBA(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, float rgba[4]);

#endif  // KIVAGLOBE_IMAGESTORE_PIXEL_ACCESS_H
