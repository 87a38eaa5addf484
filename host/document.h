// document.h -- the stand-in host's one document: its pixels, its selection and their files.
//
// A HostImage is a plain pixel array: `channels` interleaved samples per pixel, one byte each
// (8-bit documents, masks) or one uint16_t each (16-bit documents, whose channels run
// 0..32768 as the host's 16-bit modes hold them). Rows follow each other without gaps.
#ifndef KIVAGLOBE_HOST_DOCUMENT_H
#define KIVAGLOBE_HOST_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_options.h"

struct HostImage {
  int32_t width;
  int32_t height;
  int32_t channels;         // samples per pixel
  int32_t bytesPerSample;   // 1 or 2
  std::vector<uint8_t> data;
};

// The white point of 16-bit documents.
constexpr int32_t kHost16BitWhite = 32768;

inline size_t HostImageRowBytes(const HostImage &image) {
  return size_t(image.width) * size_t(image.channels) * size_t(image.bytesPerSample);
}
inline size_t HostImagePixelBytes(const HostImage &image) {
  return size_t(image.channels) * size_t(image.bytesPerSample);
}
inline uint8_t *HostImagePixel(HostImage *image, int32_t x, int32_t y) {
  return image->data.data() + size_t(y) * HostImageRowBytes(*image) + size_t(x) * HostImagePixelBytes(*image);
}
inline const uint8_t *HostImagePixel(const HostImage &image, int32_t x, int32_t y) {
  return image.data.data() + size_t(y) * HostImageRowBytes(image) + size_t(x) * HostImagePixelBytes(image);
}

// A black image.
void MakeHostImage(HostImage *image, int32_t width, int32_t height, int32_t channels, int32_t bytesPerSample);

// Sample conversions between the file's range and the document's.
inline uint16_t Expand8To16(uint8_t v) { return uint16_t((uint32_t(v) * kHost16BitWhite + 127) / 255); }
inline uint16_t FromPng16(uint16_t v) { return uint16_t((uint32_t(v) * kHost16BitWhite + 32767) / 65535); }
inline uint16_t ToPng16(uint16_t v) {
  uint32_t wide = (uint32_t(v) * 65535u + kHost16BitWhite / 2) / kHost16BitWhite;
  return uint16_t(wide > 65535 ? 65535 : wide);
}

// Loads a PNG or JPEG picture (through stb_image) as a document of `channels` (1 grey or 3
// colour) and `bytesPerSample` (1, or 2 for 0..32768). A 16-bit PNG keeps its precision in a
// 16-bit document. False, with a reason in `error`, when the file cannot be read or is larger
// than kHostMaxSide.
bool LoadHostImage(const char *path, int32_t channels, int32_t bytesPerSample, HostImage *image,
                   char *error, size_t errorSize);

// The selection: one byte per pixel, 255 selected, 0 not.
// An ellipse inscribed in the document: a pixel is selected when its centre lies inside.
void MakeEllipseMask(int32_t width, int32_t height, HostImage *mask);
// A grey picture of exactly `width` x `height`.
bool LoadMaskImage(const char *path, int32_t width, int32_t height, HostImage *mask, char *error,
                   size_t errorSize);

// Writes the document as PNG: grey or RGB, 16-bit samples for a 16-bit document (0..32768
// spread to 0..65535). Documents of another channel count write their first three channels
// (or the first one).
bool SaveHostImagePng(const HostImage &image, const char *path, char *error, size_t errorSize);

#endif  // KIVAGLOBE_HOST_DOCUMENT_H
