// png_writer.h -- a small PNG writer for the stand-in host's --out.
//
// The host must write 16-bit PNG files for 16-bit documents, which stb_image_write cannot do,
// so it writes its own: a signature, IHDR, one IDAT holding a zlib stream made of stored
// (uncompressed) deflate blocks, and IEND. Stored blocks make the files large but need no
// compressor; every PNG reader accepts them. Rows are written with filter type 0 (none).
#ifndef KIVAGLOBE_HOST_PNG_WRITER_H
#define KIVAGLOBE_HOST_PNG_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// CRC-32 of PNG chunks (polynomial 0xEDB88320, reflected). Pass the previous value to
// continue a running CRC; start with 0.
uint32_t PngCrc32(const uint8_t *data, size_t size, uint32_t crc);

// Adler-32 of the zlib stream; start with 1.
uint32_t PngAdler32(const uint8_t *data, size_t size, uint32_t adler);

// Encodes `height` rows of `width` pixels with `channels` (1 grey, 2 grey+alpha, 3 RGB,
// 4 RGBA) samples of `bitDepth` 8 or 16 bits. `pixels` holds the rows one after the other
// without gaps; 8-bit samples are bytes, 16-bit samples are uint16_t in the machine's order
// (0..65535). The PNG bytes are appended to `out`. False on bad arguments.
bool EncodePng(const void *pixels, int32_t width, int32_t height, int channels, int bitDepth,
               std::vector<uint8_t> *out);

// EncodePng into the file `path` (created or truncated). False when encoding or writing fails.
bool WritePngFile(const char *path, const void *pixels, int32_t width, int32_t height, int channels,
                  int bitDepth);

#endif  // KIVAGLOBE_HOST_PNG_WRITER_H
