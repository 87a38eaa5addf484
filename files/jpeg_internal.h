// jpeg_internal.h -- the libjpeg-facing records of the JPEG code: the memory destination and
// source managers, the error manager and the marker writers. Only the JPEG sources and their
// tests include this header (it pulls in jpeglib.h); everything else goes through
// jpeg_codec.h.
#ifndef KIVAGLOBE_FILES_JPEG_INTERNAL_H
#define KIVAGLOBE_FILES_JPEG_INTERNAL_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "files/jpeg_markers.h"

// The error manager: the library's record and the jump back into the operation that started
// the library. Nothing that needs a destructor may live between the setjmp and the library
// calls.
struct JpegErrorRecord {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

// Installs the error exit (destroy the library object, jump back), a silent message output
// and a reset of the warning count. Returns the manager to store in the object's err.
jpeg_error_mgr *InitJpegErrorManager(JpegErrorRecord *record);

// The destination: the library's manager, then the caller's block, its capacity, the bytes
// appended so far and the 4096-byte work buffer (from the library's image pool). A full work
// buffer is appended to the block; appending past the capacity is the library error
// JERR_FILE_WRITE.
struct JpegMemoryDestinationRecord {
  jpeg_destination_mgr manager;
  uint8_t *block;
  int32_t capacity;
  int32_t count;
  JOCTET *buffer;
};

void JpegMemoryDest(j_compress_ptr cinfo, uint8_t *block, int32_t capacity);
int32_t JpegMemoryDestCount(j_compress_ptr cinfo);

// The source: the library's manager, then the caller's block, its size, the offset of the
// next byte to hand out, the 4096-byte buffer (from the permanent pool) and the start-of-file
// flag. Each refill hands out up to 4096 of the bytes that remain; past the end it hands out
// an end-of-image marker with a warning (an empty block is the error JERR_INPUT_EMPTY).
struct JpegMemorySourceRecord {
  jpeg_source_mgr manager;
  const uint8_t *block;
  int32_t size;
  int32_t offset;
  JOCTET *buffer;
  bool startOfFile;
};

void JpegMemorySource(j_decompress_ptr cinfo, const uint8_t *block, int32_t size);

// Our markers after the library's header markers; called right after jpeg_start_compress. A
// payload longer than 65533 bytes is left out.
void WriteJpegFileHeader(j_compress_ptr cinfo, const uint8_t *icc, int32_t iccSize, IptcBuilder *iptc,
                         const ExifBuffer *exif);

// The ICC profile in APP2 chunks of at most 65519 bytes, numbered 1..n of n. A profile that
// would need more than 255 chunks is left out.
void WriteIccProfileMarkers(j_compress_ptr cinfo, const uint8_t *data, int32_t size);

constexpr int32_t kJpegMaxMarkerPayload = 65533;

#endif  // KIVAGLOBE_FILES_JPEG_INTERNAL_H
