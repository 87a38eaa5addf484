// document.cpp -- making, loading and saving the stand-in host's document.
#include "host/document.h"

#include <cstdio>
#include <cstring>

#include "host/png_writer.h"
#include "stb_image.h"

void MakeHostImage(HostImage *image, int32_t width, int32_t height, int32_t channels, int32_t bytesPerSample) {
  image->width = width;
  image->height = height;
  image->channels = channels;
  image->bytesPerSample = bytesPerSample;
  image->data.assign(size_t(width) * size_t(height) * size_t(channels) * size_t(bytesPerSample), 0);
}

static void Fail(char *error, size_t errorSize, const char *what, const char *path) {
  if (error != nullptr && errorSize > 0) std::snprintf(error, errorSize, "%s: %s", what, path);
}

bool LoadHostImage(const char *path, int32_t channels, int32_t bytesPerSample, HostImage *image,
                   char *error, size_t errorSize) {
  int w = 0, h = 0, fileChannels = 0;
  if (!stbi_info(path, &w, &h, &fileChannels)) {
    Fail(error, errorSize, "cannot read the picture", path);
    return false;
  }
  if (w < 1 || h < 1 || w > kHostMaxSide || h > kHostMaxSide) {
    Fail(error, errorSize, "the picture is larger than the host's documents can be", path);
    return false;
  }
  MakeHostImage(image, w, h, channels, bytesPerSample);
  const size_t samples = size_t(w) * size_t(h) * size_t(channels);
  if (bytesPerSample == 2 && stbi_is_16_bit(path)) {
    stbi_us *wide = stbi_load_16(path, &w, &h, nullptr, channels);
    if (wide == nullptr) {
      Fail(error, errorSize, "cannot decode the picture", path);
      return false;
    }
    uint16_t *out = reinterpret_cast<uint16_t *>(image->data.data());
    for (size_t i = 0; i < samples; i++) out[i] = FromPng16(wide[i]);
    stbi_image_free(wide);
    return true;
  }
  stbi_uc *narrow = stbi_load(path, &w, &h, nullptr, channels);
  if (narrow == nullptr) {
    Fail(error, errorSize, "cannot decode the picture", path);
    return false;
  }
  if (bytesPerSample == 1) {
    std::memcpy(image->data.data(), narrow, samples);
  } else {
    uint16_t *out = reinterpret_cast<uint16_t *>(image->data.data());
    for (size_t i = 0; i < samples; i++) out[i] = Expand8To16(narrow[i]);
  }
  stbi_image_free(narrow);
  return true;
}

void MakeEllipseMask(int32_t width, int32_t height, HostImage *mask) {
  MakeHostImage(mask, width, height, 1, 1);
  // Pixel centres (x + 0.5, y + 0.5) against the ellipse with semi-axes w/2 and h/2, in
  // integers: ((2x + 1 - w) / w)^2 + ((2y + 1 - h) / h)^2 <= 1, scaled by w^2 h^2.
  const int64_t w = width, h = height;
  for (int32_t y = 0; y < height; y++) {
    int64_t dy = 2 * int64_t(y) + 1 - h;
    for (int32_t x = 0; x < width; x++) {
      int64_t dx = 2 * int64_t(x) + 1 - w;
      bool inside = dx * dx * h * h + dy * dy * w * w <= w * w * h * h;
      mask->data[size_t(y) * size_t(width) + size_t(x)] = inside ? 255 : 0;
    }
  }
}

bool LoadMaskImage(const char *path, int32_t width, int32_t height, HostImage *mask, char *error,
                   size_t errorSize) {
  if (!LoadHostImage(path, 1, 1, mask, error, errorSize)) return false;
  if (mask->width != width || mask->height != height) {
    Fail(error, errorSize, "the selection picture is not the document's size", path);
    return false;
  }
  return true;
}

bool SaveHostImagePng(const HostImage &image, const char *path, char *error, size_t errorSize) {
  const int outChannels = image.channels >= 3 ? 3 : 1;
  const size_t pixels = size_t(image.width) * size_t(image.height);
  bool ok;
  if (image.bytesPerSample == 1 && image.channels == outChannels) {
    // Already the file's layout: no copy of the whole picture.
    ok = WritePngFile(path, image.data.data(), image.width, image.height, outChannels, 8);
  } else if (image.bytesPerSample == 1) {
    std::vector<uint8_t> samples(pixels * size_t(outChannels));
    for (size_t i = 0; i < pixels; i++)
      for (int c = 0; c < outChannels; c++)
        samples[i * size_t(outChannels) + size_t(c)] = image.data[i * size_t(image.channels) + size_t(c)];
    ok = WritePngFile(path, samples.data(), image.width, image.height, outChannels, 8);
  } else {
    const uint16_t *in = reinterpret_cast<const uint16_t *>(image.data.data());
    std::vector<uint16_t> samples(pixels * size_t(outChannels));
    for (size_t i = 0; i < pixels; i++)
      for (int c = 0; c < outChannels; c++)
        samples[i * size_t(outChannels) + size_t(c)] = ToPng16(in[i * size_t(image.channels) + size_t(c)]);
    ok = WritePngFile(path, samples.data(), image.width, image.height, outChannels, 16);
  }
  if (!ok) Fail(error, errorSize, "cannot write the picture", path);
  return ok;
}
