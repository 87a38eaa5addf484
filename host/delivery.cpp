// delivery.cpp -- copying requested rectangles and planes in and out of the document.
#include "host/delivery.h"

#include <cstring>

static int16_t Clamp16(int32_t v, int32_t low, int32_t high) {
  return int16_t(v < low ? low : (v > high ? high : v));
}

Rect16 ClampRectToImage(const Rect16 &rect, int32_t width, int32_t height) {
  Rect16 r;
  r.top = Clamp16(rect.top, 0, height);
  r.left = Clamp16(rect.left, 0, width);
  r.bottom = Clamp16(rect.bottom, 0, height);
  r.right = Clamp16(rect.right, 0, width);
  if (HostRectEmpty(r)) {
    r.bottom = r.top;
    r.right = r.left;
  }
  return r;
}

int32_t SampleStep(Fixed32 rate) { return rate < 0x20000 ? 1 : int32_t(rate >> 16); }

// Copies `count` pixels of `pixelBytes` each, `inStride` and `outStride` bytes apart. A run of
// whole pixels (every plane, no sampling) is one block: the row requests of a render come
// through here once a row in each direction, and a copy call per pixel (the runtime's memcpy is
// a call into a system DLL on Windows) cost more than the plug-in's own work on some rows.
static void CopyPixels(uint8_t *out, size_t outStride, const uint8_t *in, size_t inStride, size_t pixelBytes,
                       int32_t count) {
  if (inStride == pixelBytes && outStride == pixelBytes) {
    std::memcpy(out, in, pixelBytes * size_t(count));
    return;
  }
  for (int32_t x = 0; x < count; x++) {
    for (size_t b = 0; b < pixelBytes; b++) out[b] = in[b];
    out += outStride;
    in += inStride;
  }
}

bool FillPlaneBuffer(const HostImage &image, const Rect16 &rect, int32_t loPlane, int32_t hiPlane,
                     PlaneBuffer *buffer, int32_t step) {
  if (step < 1) step = 1;
  buffer->rect = rect;
  buffer->loPlane = loPlane < 0 ? 0 : loPlane;
  buffer->hiPlane = hiPlane > image.channels - 1 ? image.channels - 1 : hiPlane;
  buffer->rowBytes = 0;
  if (HostRectEmpty(rect) || buffer->hiPlane < buffer->loPlane) {
    buffer->bytes.clear();
    buffer->hiPlane = buffer->loPlane - 1;
    return false;
  }
  const int32_t planes = buffer->hiPlane - buffer->loPlane + 1;
  const int32_t width = rect.right - rect.left;
  const size_t sample = size_t(image.bytesPerSample);
  const size_t pixelOut = size_t(planes) * sample;
  buffer->rowBytes = int32_t(size_t(width) * pixelOut);
  // Every byte is written below, so a buffer of the same size (the next row of a render) is
  // used as it is, without clearing it first.
  buffer->bytes.resize(size_t(buffer->rowBytes) * size_t(rect.bottom - rect.top));
  uint8_t *out = buffer->bytes.data();
  const size_t stride = size_t(HostImagePixelBytes(image)) * size_t(step);
  for (int32_t y = rect.top; y < rect.bottom; y++) {
    const uint8_t *in = HostImagePixel(image, rect.left * step, y * step) + size_t(buffer->loPlane) * sample;
    CopyPixels(out, pixelOut, in, stride, pixelOut, width);
    out += buffer->rowBytes;
  }
  return true;
}

void StorePlaneBuffer(const PlaneBuffer &buffer, HostImage *image) {
  if (buffer.bytes.empty()) return;
  const int32_t planes = buffer.hiPlane - buffer.loPlane + 1;
  const int32_t width = buffer.rect.right - buffer.rect.left;
  const size_t sample = size_t(image->bytesPerSample);
  const size_t pixelIn = size_t(planes) * sample;
  const uint8_t *in = buffer.bytes.data();
  for (int32_t y = buffer.rect.top; y < buffer.rect.bottom; y++) {
    uint8_t *out = HostImagePixel(image, buffer.rect.left, y) + size_t(buffer.loPlane) * sample;
    CopyPixels(out, HostImagePixelBytes(*image), in, pixelIn, pixelIn, width);
    in += buffer.rowBytes;
  }
}

void BlendThroughMask(const HostImage &source, const HostImage &mask, HostImage *destination) {
  const size_t pixels = size_t(source.width) * size_t(source.height);
  const size_t channels = size_t(source.channels);
  for (size_t i = 0; i < pixels; i++) {
    const int64_t m = mask.data[i];
    if (m == 255) continue;
    for (size_t c = 0; c < channels; c++) {
      const size_t k = i * channels + c;
      int64_t s, d;
      if (source.bytesPerSample == 1) {
        s = source.data[k];
        d = destination->data[k];
      } else {
        uint16_t s16, d16;
        std::memcpy(&s16, source.data.data() + 2 * k, 2);
        std::memcpy(&d16, destination->data.data() + 2 * k, 2);
        s = s16;
        d = d16;
      }
      // s + (d - s) m / 255 == (s (255 - m) + d m) / 255, rounded half up; both terms >= 0.
      int64_t v = (s * (255 - m) + d * m + 127) / 255;
      if (source.bytesPerSample == 1) {
        destination->data[k] = uint8_t(v);
      } else {
        uint16_t v16 = uint16_t(v);
        std::memcpy(destination->data.data() + 2 * k, &v16, 2);
      }
    }
  }
}
