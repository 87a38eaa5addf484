// png_writer.cpp -- PNG files with stored deflate blocks.
#include "host/png_writer.h"

#include <cstdio>
#include <cstring>

uint32_t PngCrc32(const uint8_t *data, size_t size, uint32_t crc) {
  // The table is built on first use; the host is single-threaded.
  static uint32_t table[256];
  static bool built = false;
  if (!built) {
    for (uint32_t n = 0; n < 256; n++) {
      uint32_t c = n;
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    built = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < size; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t PngAdler32(const uint8_t *data, size_t size, uint32_t adler) {
  uint32_t a = adler & 0xFFFF, b = adler >> 16;
  // 5552 is the largest run for which b cannot overflow 32 bits before the modulo.
  while (size > 0) {
    size_t run = size < 5552 ? size : 5552;
    size -= run;
    while (run-- > 0) {
      a += *data++;
      b += a;
    }
    a %= 65521;
    b %= 65521;
  }
  return (b << 16) | a;
}

static void PutU32(std::vector<uint8_t> *out, uint32_t v) {
  out->push_back(uint8_t(v >> 24));
  out->push_back(uint8_t(v >> 16));
  out->push_back(uint8_t(v >> 8));
  out->push_back(uint8_t(v));
}

// Appends a chunk: length, type, data, CRC of type and data.
static void PutChunk(std::vector<uint8_t> *out, const char *type, const uint8_t *data, size_t size) {
  PutU32(out, uint32_t(size));
  size_t typeAt = out->size();
  out->insert(out->end(), type, type + 4);
  if (size > 0) out->insert(out->end(), data, data + size);
  PutU32(out, PngCrc32(out->data() + typeAt, size + 4, 0));
}

bool EncodePng(const void *pixels, int32_t width, int32_t height, int channels, int bitDepth,
               std::vector<uint8_t> *out) {
  if (pixels == nullptr || width <= 0 || height <= 0 || channels < 1 || channels > 4 ||
      (bitDepth != 8 && bitDepth != 16))
    return false;
  static const uint8_t kColorType[5] = {0, 0, 4, 2, 6};
  const size_t sampleBytes = size_t(bitDepth / 8);
  const size_t rowBytes = size_t(width) * size_t(channels) * sampleBytes;

  // The filtered image: a filter byte (0) before every row, 16-bit samples big-endian.
  std::vector<uint8_t> raw;
  raw.reserve((rowBytes + 1) * size_t(height));
  const uint8_t *bytes = static_cast<const uint8_t *>(pixels);
  for (int32_t y = 0; y < height; y++) {
    raw.push_back(0);
    const uint8_t *row = bytes + size_t(y) * rowBytes;
    if (bitDepth == 8) {
      raw.insert(raw.end(), row, row + rowBytes);
    } else {
      for (size_t i = 0; i < rowBytes; i += 2) {
        uint16_t v;
        std::memcpy(&v, row + i, 2);
        raw.push_back(uint8_t(v >> 8));
        raw.push_back(uint8_t(v));
      }
    }
  }

  // The zlib stream: header (deflate, 32K window, no dictionary, check bits), stored blocks of
  // at most 65535 bytes, Adler-32 of the uncompressed data.
  std::vector<uint8_t> z;
  z.reserve(raw.size() + raw.size() / 65535 * 5 + 16);
  z.push_back(0x78);
  z.push_back(0x01);
  size_t at = 0;
  do {
    size_t run = raw.size() - at < 65535 ? raw.size() - at : 65535;
    bool last = at + run == raw.size();
    z.push_back(last ? 1 : 0);   // BFINAL, BTYPE 00 (stored)
    z.push_back(uint8_t(run));
    z.push_back(uint8_t(run >> 8));
    z.push_back(uint8_t(~run));
    z.push_back(uint8_t(~run >> 8));
    z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + run));
    at += run;
  } while (at < raw.size());
  PutU32(&z, PngAdler32(raw.data(), raw.size(), 1));

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out->insert(out->end(), kSignature, kSignature + 8);
  uint8_t header[13];
  header[0] = uint8_t(uint32_t(width) >> 24);
  header[1] = uint8_t(uint32_t(width) >> 16);
  header[2] = uint8_t(uint32_t(width) >> 8);
  header[3] = uint8_t(width);
  header[4] = uint8_t(uint32_t(height) >> 24);
  header[5] = uint8_t(uint32_t(height) >> 16);
  header[6] = uint8_t(uint32_t(height) >> 8);
  header[7] = uint8_t(height);
  header[8] = uint8_t(bitDepth);
  header[9] = kColorType[channels];
  header[10] = 0;   // compression: deflate
  header[11] = 0;   // filter method 0
  header[12] = 0;   // no interlace
  PutChunk(out, "IHDR", header, sizeof header);
  // The stream is cut into IDAT chunks of at most 1 MiB: a chunk's length must stay below 2^31.
  for (size_t from = 0; from < z.size(); from += size_t(1) << 20) {
    size_t piece = z.size() - from < (size_t(1) << 20) ? z.size() - from : size_t(1) << 20;
    PutChunk(out, "IDAT", z.data() + from, piece);
  }
  PutChunk(out, "IEND", nullptr, 0);
  return true;
}

bool WritePngFile(const char *path, const void *pixels, int32_t width, int32_t height, int channels,
                  int bitDepth) {
  std::vector<uint8_t> png;
  if (!EncodePng(pixels, width, height, channels, bitDepth, &png)) return false;
  FILE *file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (std::fclose(file) != 0) ok = false;
  return ok;
}
