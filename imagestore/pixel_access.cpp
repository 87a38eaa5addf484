// pixel_access.cpp -- the single-pixel accessors and the dispatchers by storage format.
//
// Every accessor is the same three steps: refuse what cannot be addressed (LevelUsable), apply
// its edge policy, then load or store one element at the tile address. The element is always
// moved with memcpy, which compiles to a plain load or store.
#include "imagestore/pixel_access.h"

#include <bit>

#include "imagestore/tile_access.h"

using tile_access::Clamp;
using tile_access::LevelUsable;
using tile_access::Load;
using tile_access::PixelAddress;
using tile_access::Store;

namespace {

// The pixel at the clamped point, or null when the level cannot be addressed.
const uint8_t *ClampedPixel(const TiledMipImage *image, int32_t level, int32_t x, int32_t y,
                            uint32_t pixelBytes) {
  if (!LevelUsable(image, level, pixelBytes)) return nullptr;
  x = Clamp(x, 0, image->levelMaxX[level]);
  y = Clamp(y, 0, image->levelMaxY[level]);
  return PixelAddress(image, level, x, y, pixelBytes);
}

// The pixel at the point, or null when the point lies outside the level or the level cannot be
// addressed.
uint8_t *CheckedPixel(TiledMipImage *image, int32_t level, int32_t x, int32_t y, uint32_t pixelBytes) {
  if (!LevelUsable(image, level, pixelBytes)) return nullptr;
  if (x < 0 || x > image->levelMaxX[level] || y < 0 || y > image->levelMaxY[level]) return nullptr;
  return PixelAddress(image, level, x, y, pixelBytes);
}

}  // namespace

void PutPixelGray8Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t value) {
  if (uint8_t *p = CheckedPixel(image, level, x, y, 1)) *p = uint8_t(value);
}

int32_t GetPixelGray8(int32_t x, int32_t y, const TiledMipImage *image, int32_t level) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 1);
  return p ? *p : 0;
}

int32_t GetPixelU16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 2);
  return p ? Load<uint16_t>(p) : 0;
}

int32_t GetPixelI32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 4);
  return p ? Load<int32_t>(p) : 0;
}

void GetPixelU32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, uint32_t *word) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 4);
  *word = p ? Load<uint32_t>(p) : 0;
}

float GetPixelF32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 4);
  return p ? Load<float>(p) : 0.0f;
}

void PutPixelPacked8Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                            int32_t c1, int32_t c2, int32_t c3) {
  if (uint8_t *p = CheckedPixel(image, level, x, y, 4)) {
    Store<uint32_t>(p, (uint32_t(c0) & 255) << 24 | (uint32_t(c1) & 255) << 16 |
                           (uint32_t(c2) & 255) << 8 | (uint32_t(c3) & 255));
  }
}

void GetPixelPacked8(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                     int32_t *c1, int32_t *c2, int32_t *c3) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 4);
  uint32_t word = p ? Load<uint32_t>(p) : 0;
  *c0 = int32_t(word >> 24);
  *c1 = int32_t((word >> 16) & 255);
  *c2 = int32_t((word >> 8) & 255);
  *c3 = int32_t(word & 255);
}

void PutPixelRgba16Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                           int32_t c1, int32_t c2, int32_t c3) {
  if (uint8_t *p = CheckedPixel(image, level, x, y, 8)) {
    Store<uint16_t>(p, uint16_t(c0));
    Store<uint16_t>(p + 2, uint16_t(c1));
    Store<uint16_t>(p + 4, uint16_t(c2));
    Store<uint16_t>(p + 6, uint16_t(c3));
  }
}

void GetPixelRgba16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                    int32_t *c1, int32_t *c2, int32_t *c3) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 8);
  *c0 = p ? Load<uint16_t>(p) : 0;
  *c1 = p ? Load<uint16_t>(p + 2) : 0;
  *c2 = p ? Load<uint16_t>(p + 4) : 0;
  *c3 = p ? Load<uint16_t>(p + 6) : 0;
}

void PutPixelRgbaF32Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, float c0,
                            float c1, float c2, float c3) {
  if (uint8_t *p = CheckedPixel(image, level, x, y, 16)) {
    Store<float>(p, c0);
    Store<float>(p + 4, c1);
    Store<float>(p + 8, c2);
    Store<float>(p + 12, c3);
  }
}

void GetPixelRgba32(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, uint32_t *c0,
                    uint32_t *c1, uint32_t *c2, uint32_t *c3) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 16);
  *c0 = p ? Load<uint32_t>(p) : 0;
  *c1 = p ? Load<uint32_t>(p + 4) : 0;
  *c2 = p ? Load<uint32_t>(p + 8) : 0;
  *c3 = p ? Load<uint32_t>(p + 12) : 0;
}

void PutPixelRgb16Checked(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0,
                          int32_t c1, int32_t c2) {
  if (uint8_t *p = CheckedPixel(image, level, x, y, 6)) {
    Store<int16_t>(p, int16_t(c0));
    Store<int16_t>(p + 2, int16_t(c1));
    Store<int16_t>(p + 4, int16_t(c2));
  }
}

void GetPixelRgb16(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
                   int32_t *c1, int32_t *c2) {
  const uint8_t *p = ClampedPixel(image, level, x, y, 6);
  *c0 = p ? Load<int16_t>(p) : 0;
  *c1 = p ? Load<int16_t>(p + 2) : 0;
  *c2 = p ? Load<int16_t>(p + 4) : 0;
}

// ---- Dispatchers ------------------------------------------------------------------------

void PutPixel4(int32_t x, int32_t y, TiledMipImage *image, int32_t level, int32_t c0, int32_t c1,
               int32_t c2, int32_t c3) {
  if (image == nullptr) return;
  switch (image->storageFormat) {
    case kFormatPacked8:
      PutPixelPacked8Checked(x, y, image, level, c0, c1, c2, c3);
      break;
    case kFormatRgba16:
      PutPixelRgba16Checked(x, y, image, level, c0, c1, c2, c3);
      break;
    case kFormatRgbaF32:
      PutPixelRgbaF32Checked(x, y, image, level, std::bit_cast<float>(c0), std::bit_cast<float>(c1),
                             std::bit_cast<float>(c2), std::bit_cast<float>(c3));
      break;
    case kFormatSlope16:
      PutPixelRgb16Checked(x, y, image, level, c0, c1, c2);
      break;
    default:
      break;
  }
}

void GetPixel4(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, int32_t *c0,
               int32_t *c1, int32_t *c2, int32_t *c3) {
  if (image == nullptr) return;
  switch (image->storageFormat) {
    case kFormatPacked8:
      GetPixelPacked8(x, y, image, level, c0, c1, c2, c3);
      break;
    case kFormatRgba16:
      GetPixelRgba16(x, y, image, level, c0, c1, c2, c3);
      break;
    case kFormatRgbaF32: {
      uint32_t w0, w1, w2, w3;
      GetPixelRgba32(x, y, image, level, &w0, &w1, &w2, &w3);
      *c0 = int32_t(w0);
      *c1 = int32_t(w1);
      *c2 = int32_t(w2);
      *c3 = int32_t(w3);
      break;
    }
    case kFormatSlope16:
      GetPixelRgb16(x, y, image, level, c0, c1, c2);
      break;
    default:
      break;
  }
}

void PutPixel4Float(int32_t x, int32_t y, TiledMipImage *image, int32_t level, const float rgba[4]) {
  if (image == nullptr) return;
  if (image->storageFormat == kFormatPacked8 || image->storageFormat == kFormatRgba16) {
    // The channel's own range bounds the value: a product above it (1.01 on an 8-bit channel)
    // stays at full intensity instead of keeping only its low bits.
    const float top = image->storageFormat == kFormatPacked8 ? 255.0f : 65535.0f;
    int32_t c[4];
    for (int i = 0; i < 4; ++i) {
      float v = rgba[i] * image->scale;
      c[i] = !(v > 0.0f) ? 0 : v >= top ? int32_t(top) : int32_t(v);
    }
    PutPixel4(x, y, image, level, c[0], c[1], c[2], c[3]);
  } else if (image->storageFormat == kFormatRgbaF32) {
    PutPixelRgbaF32Checked(x, y, image, level, rgba[0], rgba[1], rgba[2], rgba[3]);
  }
}

int32_t GetPixel1(int32_t x, int32_t y, const TiledMipImage *image, int32_t level) {
  if (image == nullptr) return 0;
  const uint8_t *p = ClampedPixel(image, level, x, y, image->bytesPerPixel);
  if (p == nullptr) return 0;
  switch (image->storageFormat) {
    case kFormatGray8:
      return *p;
    case kFormatPacked8:
      return int32_t(Load<uint32_t>(p) >> 24);
    case kFormatScalar32:
    case kFormatRgbaF32:
      return Load<int32_t>(p);
    case kFormatSlope16:
      return Load<int16_t>(p);
    default:
      return Load<uint16_t>(p);
  }
}

void FetchPixelRGBA(int32_t x, int32_t y, const TiledMipImage *image, int32_t level, float rgba[4]) {
  rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
  if (image == nullptr) return;
  switch (image->storageFormat) {
    case kFormatPacked8:
    case kFormatRgba16: {
      int32_t c[4] = {0, 0, 0, 0};
      GetPixel4(x, y, image, level, &c[0], &c[1], &c[2], &c[3]);
      for (int i = 0; i < 4; ++i) rgba[i] = float(c[i]) * image->invScale;
      break;
    }
    case kFormatRgbaF32: {
      uint32_t w[4];
      GetPixelRgba32(x, y, image, level, &w[0], &w[1], &w[2], &w[3]);
      for (int i = 0; i < 4; ++i) rgba[i] = std::bit_cast<float>(w[i]);
      break;
    }
    case kFormatScalar32: {
      uint32_t word;
      GetPixelU32(x, y, image, level, &word);
      rgba[0] = rgba[1] = rgba[2] = std::bit_cast<float>(word);
      rgba[3] = 1.0f;
      break;
    }
    default: {
      float g = float(GetPixel1(x, y, image, level)) * image->invScale;
      rgba[0] = rgba[1] = rgba[2] = g;
      rgba[3] = 1.0f;
      break;
    }
  }
}
