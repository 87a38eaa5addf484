// png_writer.h -- the stand-in host's PNG writer (--out), through libpng.
//
// The host writes 8-bit and 16-bit PNG files (16-bit documents keep their depth), compressed:
// libpng with zlib at a fast level, each row filtered by Sub or Up as libpng chooses. Debian's
// libpng serves the native tree; the Windows trees link a static libpng and zlib cross-built
// from Debian's source packages.
#ifndef KIVAGLOBE_HOST_PNG_WRITER_H
#define KIVAGLOBE_HOST_PNG_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// CRC-32 of PNG chunks (polynomial 0xEDB88320, reflected). Pass the previous value to
// continue a running CRC; start with 0. zlib's routine.
uint32_t PngCrc32(const uint8_t *data, size_t size, uint32_t crc);

// Adler-32 of a zlib stream; start with 1. zlib's routine.
uint32_t PngAdler32(const uint8_t *data, size_t size, uint32_t adler);

// Encodes `height` rows of `width` pixels with `channels` (1 grey, 2 grey+alpha, 3 RGB,
// 4 RGBA) samples of `bitDepth` 8 or 16 bits. `pixels` holds the rows one after the other
// without gaps; 8-bit samples are bytes, 16-bit samples are uint16_t in the machine's order
// (0..65535). The PNG bytes are appended to `out`. False on bad arguments or when libpng fails.
bool EncodePng(const void *pixels, int32_t width, int32_t height, int channels, int bitDepth,
               std::vector<uint8_t> *out);

// The same, written straight into the file `path` (created or truncated), without holding the
// encoded file in memory. False when encoding or writing fails.
bool WritePngFile(const char *path, const void *pixels, int32_t width, int32_t height, int channels,
                  int bitDepth);

#endif  // KIVAGLOBE_HOST_PNG_WRITER_H
