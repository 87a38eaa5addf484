// jpeg_files.h -- JPEG files: the marker scanner that tells a file's picture size without
// decoding it, the whole-file loader into an image, and the writers of a picture into an open
// file (bare, or behind the settings file's thumbnail header words).
#ifndef KIVAGLOBE_FILES_JPEG_FILES_H
#define KIVAGLOBE_FILES_JPEG_FILES_H

#include <cstdint>

#include "files/jpeg_markers.h"
#include "foundation/file_locations.h"
#include "imagestore/image_store.h"

struct PluginGlobals;

// ---- Scanning ------------------------------------------------------------------------------

// Errors of the scanner.
enum : int16_t {
  kScanByteUnread = 1,        // a marker byte could not be read
  kScanLengthHighUnread = 2,  // the first byte of a length could not be read
  kScanLengthLowUnread = 3,   // the second byte of a length could not be read
  kScanBadLength = 5,         // a segment length below 2
  kScanBadFrame = 8,          // a frame header whose length does not match its components
  kScanNotJpeg = 9,           // the file does not start with FF D8
};

// Reads the file from its current position (through a buffer: the position afterwards is
// anywhere past the marker that ended the scan), up to the first SOS or EOI marker
// (or the end of the file) and reports the width, height and component count of the last
// frame header met (all 0 when there was none). Errors other than kScanNotJpeg are recorded
// in *error and scanning goes on. Returns the last marker read (0xDA, 0xD9, ...), or 0.
int32_t ScanJpegHeader(FileHandle file, int16_t *error, int32_t *width, int32_t *height, int32_t *components);

// The same scan over a block in memory.
int32_t ScanJpegBlock(const uint8_t *block, int32_t size, int16_t *error, int32_t *width, int32_t *height,
                      int32_t *components);

// Opens the file and scans it. 0 or the open error (99); the outs are 0 without a frame header.
int16_t ReadJpegFileInfo(const FileSpec *spec, int32_t *width, int32_t *height, int32_t *components);

// Reads min(file size, n) bytes from the start of the file into block; *got (when given)
// receives how many. 0, the open error (99) or -19.
int16_t ReadFileHead(const FileSpec *spec, uint8_t *block, int32_t n, int32_t *got);

// ---- Loading -------------------------------------------------------------------------------

// The loader refuses files larger than this.
constexpr int64_t kJpegFileLimit = 256 * 1024 * 1024;

enum : int16_t {
  kLoadNoFrame = 4,      // the file holds no frame header (not a JPEG, or no size)
  kLoadNoMemory = -108,  // the image or the file buffer could not be made
};

// Makes `image` at the file's picture size in packed 8-bit (format 3), decodes the file into
// it and rebuilds its levels. The file's size is checked first; the whole file then goes
// through a buffer from the host's buffer procedures (those of globals, else the image's).
// The picture's size is the library's reading of the header, and a picture beyond
// kJpegMaxPixels or kJpegMaxSide (jpeg_codec.h) is refused before the image is made.
// Results: 0; kLoadNoFrame (also an empty file); kLoadNoMemory; the open error (99) or the
// read error (-19); kJpegFailed (25) for a file larger than kJpegFileLimit, a picture beyond
// the bounds or a stream that does not decode. On every failure after the image was made its
// tiles are freed again, so that a failed load never leaves undefined pixels behind.
int16_t LoadJpegFileImage(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals);
// The same for a picture that must be whole (DecodeWholeJpegToImage): a file cut short is
// kJpegFailed, where LoadJpegFileImage shows what arrived.
int16_t LoadWholeJpegFileImage(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals);

// ---- Writing -------------------------------------------------------------------------------

enum : int16_t {
  kWriteJpegNullImage = 1,
  kWriteJpegNoTiles = 2,
  kWriteJpegNoMemory = 3,    // the image has no memory context (neither host procedures nor owner)
  kWriteJpegOutOfMemory = -108,   // the output block could not be had
};

// Encodes level 0 of the image at `quality` with the optional metadata and writes it to the
// open file. With headerFlag the stream is preceded by the words 1, max(16, width),
// max(16, height) and the stream's byte count (the settings file's thumbnail block). The
// output block holds the picture (max(16, w) x max(16, h) x 6 bytes), the measured metadata
// and a margin; when it cannot be had (or would pass 2 GB) the single word 0 is written (with
// headerFlag) and the result is kWriteJpegOutOfMemory (-20 when that word failed). When the
// encoder fails the word 0 is written (with headerFlag) and the result is kJpegFailed.
// Otherwise 0, or -20 when a write failed.
int16_t WriteImageAsJpeg(const TiledMipImage *image, FileHandle file, bool headerFlag, int32_t quality,
                         const uint8_t *icc, int32_t iccSize, IptcBuilder *iptc, ExifBuffer *exif);

// A picture for export: Exif (with prefix) and the IPTC resource with no extra keywords, the
// host's ICC profile when the filter record of the image's owner offers one, quality 80, no
// header words. With closeFlag the file is ended after the picture and closed. The output
// mode is not used: no keywords depend on it here. Result as WriteImageAsJpeg.
int16_t WriteJpegWithMetadata(const TiledMipImage *image, FileHandle file, uint32_t outputMode, bool closeFlag);

// WriteJpegWithMetadata into the file named by spec, saved safely (files/safe_save.h): a file
// of that name is replaced only by a whole picture and is kept when the picture could not be
// written. 0, 99 when the file is read-only or no side file could be made, or
// WriteJpegWithMetadata's result (a failed replacement: -20).
int16_t WriteJpegFileWithMetadata(const TiledMipImage *image, const FileSpec *spec, uint32_t outputMode);

#endif  // KIVAGLOBE_FILES_JPEG_FILES_H
