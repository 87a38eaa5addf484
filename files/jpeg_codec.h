// jpeg_codec.h -- JPEG compression of a TiledMipImage into a memory block, and decompression
// of a memory block into a TiledMipImage, over libjpeg(-turbo).
//
// The encoder always uses our own quantisation tables and sampling (jpeg_tables.h), optimal
// Huffman coding, and writes our comment, Exif, ICC and IPTC markers right after the library's
// own header markers:
//
//     SOI, JFIF APP0, [Adobe APP14], COM (our address), [APP1 Exif], [APP2 ICC chunks...],
//     [APP13 IPTC], then the library's tables, frame and scans.
//
// A library error never returns into the library: the error exit destroys the library object
// and jumps back to the operation, which then reports kJpegFailed. Nothing here prints.
#ifndef KIVAGLOBE_FILES_JPEG_CODEC_H
#define KIVAGLOBE_FILES_JPEG_CODEC_H

#include <cstdint>

#include "files/jpeg_markers.h"
#include "imagestore/image_store.h"

enum : int16_t {
  kJpegOk = 0,
  kJpegNoImage = 1,     // a null image or an image without tiles
  kJpegFailed = 25,     // the library gave up (a damaged stream, a full output block, ...)
};

// Pictures smaller than this are encoded at this size in either direction: the pixels past
// the image's edge repeat its edge pixels.
constexpr int32_t kJpegMinimumSide = 16;

// Profile bytes in one APP2 marker of an ICC profile.
constexpr int32_t kIccChunkBytes = 65519;

// Bytes of the work buffers of the memory source and destination.
constexpr int32_t kJpegWorkBufferSize = 4096;

// Memory the library may use for one picture (whole-image coefficient buffers of progressive
// streams, optimal Huffman coding): beyond it the operation fails instead of growing.
constexpr int32_t kJpegMemoryLimit = 256 * 1024 * 1024;

// The largest picture any decoding takes: 16 megapixels (4096 x 4096, or 8192 x 2048 for a
// whole-world cloud map), with neither side above 32767, the image store's limit. The cloud
// pictures are a few thousand pixels wide, and the thumbnails 128; a packed 8-bit image of
// this size with its levels is about 90 MB, which Kivaglobe32 can still find. A frame header
// is checked against it before anything of the picture's size is made.
constexpr int64_t kJpegMaxPixels = 16 * 1024 * 1024;
constexpr int32_t kJpegMaxSide = 32767;

// Test seam: a lower pixel bound for every decoding (0 restores kJpegMaxPixels). The fuzz
// targets run under the sanitizers with a time limit per input, within which a picture of
// kJpegMaxPixels cannot be decoded; they lower the bound instead of skipping large pictures.
void SetJpegPixelLimit(int64_t pixels);

// The most scans a decoding reads. Encoders make 10 (libjpeg's progressive script) to a few
// dozen; a stream of thousands of tiny scans over a large frame would keep the decoder busy for
// a minute, so the decoder gives up after this many.
constexpr int32_t kJpegMaxScans = 100;

// Encodes level 0 of `image` over `rect` (top, left, bottom, right; the encoded size is
// max(16, width) x max(16, height)) at `quality` (clamped to 0..99) into `block`, a buffer of
// `capacity` bytes, and stores the stream's length in *byteCount (0 on failure). The ICC
// profile (iccSize bytes; none when 0), the IPTC builder and the Exif buffer are optional.
// The IPTC resource is built, with its "Photoshop 3.0" prefix, when the builder holds none.
// Results: 0, kJpegNoImage, kJpegFailed (also when the stream does not fit the block).
int16_t EncodeImageToJpeg(const TiledMipImage *image, const Rect16 *rect, uint8_t *block, int32_t capacity,
                          int32_t quality, int32_t *byteCount, const uint8_t *icc, int32_t iccSize,
                          IptcBuilder *iptc, const ExifBuffer *exif);

// Decodes the stream in block[0 .. size) into level 0 of a gray 8-bit (format 0) or packed
// 8-bit (format 3) image, row y of the picture into row rect.top + y, column x into
// rect.left + x. Three-component pictures go into format 3 as (R, G, B, 255) and into format 0
// as (77 R + 150 G + 28 B) >> 8; one-component pictures as (v, v, v, 255) or v. Pixels outside
// the image are dropped. The levels are not rebuilt. A stream that ends early is completed
// with an end marker (its missing rows come out grey), as libjpeg does for files.
// Results: 0; kJpegNoImage; kJpegFailed for a stream the library refuses, a picture of
// another component count (CMYK) or an image of another format.
int16_t DecodeJpegToImage(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size);

// DecodeJpegToImage for a stream whose frame may be at most maxWidth x maxHeight (and within
// kJpegMaxPixels): a larger frame is kJpegFailed before any of it is decoded. Every decoding
// also fails after kJpegMaxScans scans.
int16_t DecodeJpegToImageWithin(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size,
                                int32_t maxWidth, int32_t maxHeight);

// DecodeJpegToImage for a picture that must have arrived whole (a download): a stream that
// runs out before its end marker, or whose scan data stops short, is kJpegFailed as soon as the
// decoder meets the end, instead of being completed with grey rows.
int16_t DecodeWholeJpegToImage(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size);

// Decodes the stream as DecodeWholeJpegToImage would, into no image, up to its first row:
// kJpegFailed when it runs out before that row (a header without its scan, a progressive
// stream cut anywhere). Cheap for a single-scan stream; lets a loader refuse a picture header
// with no picture before it makes an image of the header's size.
int16_t ProbeWholeJpegStream(const uint8_t *block, int32_t size);

// The picture size and component count from the library's own reading of the stream's header
// (the frame it will decode, not a marker-by-marker guess). kJpegOk, or kJpegFailed with the
// outs 0 when the library finds no complete header.
int16_t ReadJpegStreamSize(const uint8_t *block, int32_t size, int32_t *width, int32_t *height,
                           int32_t *components);

#endif  // KIVAGLOBE_FILES_JPEG_CODEC_H
