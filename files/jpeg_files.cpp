// jpeg_files.cpp -- the marker scanner, the file loader and the file writers of JPEG pictures.
#include "files/jpeg_files.h"

#include "files/jpeg_codec.h"
#include "foundation/binary_io.h"
#include "imagestore/level_build.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"

// ---- Scanning ------------------------------------------------------------------------------

// A big-endian 16-bit value, or -1 when a byte is missing (with the matching error recorded).
static int32_t ReadLength(FileHandle file, int16_t *error) {
  int32_t high = ReadU8OrEOF(file);
  if (high < 0) {
    *error = kScanLengthHighUnread;
    return -1;
  }
  int32_t low = ReadU8OrEOF(file);
  if (low < 0) {
    *error = kScanLengthLowUnread;
    return -1;
  }
  return (high << 8) | low;
}

static bool IsFrameMarker(int32_t marker) {
  switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC5: case 0xC6: case 0xC7:
    case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
      return true;
    default:
      return false;
  }
}

int32_t ScanJpegHeader(FileHandle file, int16_t *error, int32_t *width, int32_t *height, int32_t *components) {
  int16_t localError = 0;
  int16_t *err = error != nullptr ? error : &localError;
  *err = 0;
  int32_t w = 0, h = 0, n = 0;
  int32_t marker = 0;

  if (ReadU8OrEOF(file) != 0xFF || ReadU8OrEOF(file) != 0xD8) {
    *err = kScanNotJpeg;
  } else {
    for (;;) {
      // The next marker: skip to an FF, skip the FF fill bytes, and take the byte after them.
      int32_t c;
      do {
        c = ReadU8OrEOF(file);
      } while (c >= 0 && c != 0xFF);
      while (c == 0xFF) c = ReadU8OrEOF(file);
      if (c < 0) {
        *err = kScanByteUnread;
        break;
      }
      marker = c;
      if (marker == 0xDA || marker == 0xD9) break;
      int32_t length = ReadLength(file, err);
      if (length < 0) break;
      if (IsFrameMarker(marker)) {
        int32_t precision = ReadU8OrEOF(file);
        int32_t h1 = ReadU8OrEOF(file), h0 = ReadU8OrEOF(file);
        int32_t w1 = ReadU8OrEOF(file), w0 = ReadU8OrEOF(file);
        int32_t count = ReadU8OrEOF(file);
        if (precision < 0 || h0 < 0 || w0 < 0 || count < 0 || h1 < 0 || w1 < 0) {
          *err = kScanByteUnread;
          break;
        }
        h = (h1 << 8) | h0;
        w = (w1 << 8) | w0;
        n = count;
        if (SkipBytes(3 * count, file) != 0) {
          *err = kScanByteUnread;
          break;
        }
        if (length != 8 + 3 * count) *err = kScanBadFrame;
      } else if (length < 2) {
        *err = kScanBadLength;
      } else if (SkipBytes(length - 2, file) != 0) {
        *err = kScanByteUnread;
        break;
      }
    }
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  if (components != nullptr) *components = n;
  return marker;
}

int16_t ReadJpegFileInfo(const FileSpec *spec, int32_t *width, int32_t *height, int32_t *components) {
  if (width != nullptr) *width = 0;
  if (height != nullptr) *height = 0;
  if (components != nullptr) *components = 0;
  FileHandle file = kNoFile;
  int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != 0) return opened;
  int16_t error = 0;
  ScanJpegHeader(file, &error, width, height, components);
  ClosePlatformFile(file);
  return 0;
}

int16_t ReadFileHead(const FileSpec *spec, uint8_t *block, int32_t n, int32_t *got) {
  if (got != nullptr) *got = 0;
  FileHandle file = kNoFile;
  int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != 0) return opened;
  int64_t size = 0;
  int16_t result = 0;
  if (!PlatformFileRemaining(file, &size) || block == nullptr) {
    result = kFileReadError;
  } else {
    int32_t count = size < int64_t(n) ? int32_t(size) : n;
    if (count > 0) result = ReadBlock(file, block, count);
    if (result == 0 && got != nullptr) *got = count;
  }
  ClosePlatformFile(file);
  return result;
}

// ---- Loading -------------------------------------------------------------------------------

int16_t LoadJpegFileImage(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals) {
  if (image == nullptr) return kLoadNoMemory;
  FileHandle file = kNoFile;
  int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != 0) return opened;
  int64_t fileSize = 0;
  bool sized = PlatformFileRemaining(file, &fileSize);
  int16_t scanError = 0;
  int32_t width = 0, height = 0, components = 0;
  ScanJpegHeader(file, &scanError, &width, &height, &components);
  ClosePlatformFile(file);
  if (width == 0 || height == 0) return kLoadNoFrame;
  if (!sized) return kFileReadError;
  if (fileSize <= 0 || fileSize > kJpegFileLimit) return kJpegFailed;

  if (!CreateImageForPlanes(image, width, height, 4, 0)) return kLoadNoMemory;
  HostBufferProcs *procs = globals != nullptr && globals->filterRecord != nullptr
                               ? globals->filterRecord->bufferProcs
                               : image->hostBufferProcs;
  HostBufferID bufferId = nullptr;
  void *buffer = AllocHostBuffer(int32_t(fileSize), &bufferId, procs);
  if (buffer == nullptr) {
    FreeImageTiles(image);
    return kLoadNoMemory;
  }
  int32_t got = 0;
  int16_t result = ReadFileHead(spec, static_cast<uint8_t *>(buffer), int32_t(fileSize), &got);
  if (result == 0) {
    const Rect16 all = {0, 0, int16_t(height), int16_t(width)};
    if (DecodeJpegToImage(image, &all, static_cast<const uint8_t *>(buffer), got) != kJpegOk) result = kJpegFailed;
  }
  FreeHostBuffer(&buffer, &bufferId, procs);
  if (result != 0) {
    FreeImageTiles(image);
    return result;
  }
  RebuildAllLevels(image);
  return 0;
}

// ---- Writing -------------------------------------------------------------------------------

// Room for the library's own markers (SOI, JFIF, tables, frame, scan headers), our comment and
// the ICC chunk headers beyond the profile's bytes, with a generous margin.
constexpr int64_t kJpegBlockMargin = 1024;
constexpr int64_t kIccChunkOverhead = 20;

// The first failure of a sequence of writes.
static void KeepFirstError(int16_t *first, int16_t result) {
  if (*first == 0) *first = result;
}

int16_t WriteImageAsJpeg(const TiledMipImage *image, FileHandle file, bool headerFlag, int32_t quality,
                         const uint8_t *icc, int32_t iccSize, IptcBuilder *iptc, ExifBuffer *exif) {
  if (image == nullptr) return kWriteJpegNullImage;
  if (image->tiles == nullptr) return kWriteJpegNoTiles;
  if (image->hostBufferProcs == nullptr && image->owner == nullptr) return kWriteJpegNoMemory;

  const int32_t width = image->levelWidth[0] > kJpegMinimumSide ? image->levelWidth[0] : kJpegMinimumSide;
  const int32_t height = image->levelHeight[0] > kJpegMinimumSide ? image->levelHeight[0] : kJpegMinimumSide;

  // The block holds the picture at 6 bytes a pixel (far more than any stream of ours needs)
  // plus every byte of metadata measured here, so that a large ICC profile can never push the
  // picture out of it.
  int64_t iccBytes = icc != nullptr && iccSize > 0 ? int64_t(iccSize) : 0;
  int64_t iptcBytes = 0;
  if (iptc != nullptr) iptcBytes = iptc->start != nullptr ? iptc->count : BuildIptcResource(iptc, true, true);
  int64_t exifBytes = exif != nullptr && exif->start != nullptr ? exif->count : 0;
  int64_t chunks = iccBytes / kIccChunkBytes + 1;
  int64_t capacity = int64_t(width) * int64_t(height) * 6 + iccBytes + chunks * kIccChunkOverhead + iptcBytes +
                     exifBytes + kJpegBlockMargin;

  HostBufferProcs *procs = image->hostBufferProcs;
  HostBufferID blockId = nullptr;
  void *block = capacity <= INT32_MAX ? AllocHostBuffer(int32_t(capacity), &blockId, procs) : nullptr;
  if (block == nullptr) {
    return headerFlag ? WriteU32BE(0, file) : int16_t(0);
  }

  const Rect16 all = {0, 0, int16_t(image->levelHeight[0]), int16_t(image->levelWidth[0])};
  int32_t byteCount = 0;
  int16_t encoded = EncodeImageToJpeg(image, &all, static_cast<uint8_t *>(block), int32_t(capacity), quality,
                                      &byteCount, icc, iccSize, iptc, exif);
  int16_t result = 0;
  if (encoded != kJpegOk) {
    if (headerFlag) KeepFirstError(&result, WriteU32BE(0, file));
    KeepFirstError(&result, kJpegFailed);
  } else {
    if (headerFlag) {
      KeepFirstError(&result, WriteU32BE(1, file));
      KeepFirstError(&result, WriteU32BE(uint32_t(width), file));
      KeepFirstError(&result, WriteU32BE(uint32_t(height), file));
      KeepFirstError(&result, WriteU32BE(uint32_t(byteCount), file));
    }
    int32_t count = byteCount;
    KeepFirstError(&result, WriteBytes(file, &count, block));
  }
  FreeHostBuffer(&block, &blockId, procs);
  return result;
}

int16_t WriteJpegWithMetadata(const TiledMipImage *image, FileHandle file, uint32_t outputMode, bool closeFlag) {
  (void)outputMode;
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  ExifBuffer exif;
  ResetExifBlock(&exif);
  BuildExifBlock(&exif, true, false);

  const uint8_t *icc = nullptr;
  int32_t iccSize = 0;
  const FilterRecord *record =
      image != nullptr && image->owner != nullptr ? image->owner->filterRecord : nullptr;
  if (record != nullptr && record->iCCprofileData != nullptr && *record->iCCprofileData != nullptr &&
      record->iCCprofileSize > 0) {
    icc = reinterpret_cast<const uint8_t *>(*record->iCCprofileData);
    iccSize = record->iCCprofileSize;
  }

  int16_t result = WriteImageAsJpeg(image, file, false, 80, icc, iccSize, &iptc, &exif);
  FreeIptcBuffer(&iptc);
  FreeExifBlock(&exif);
  if (closeFlag) {
    TruncateFileHere(file);
    if (!ClosePlatformFile(file) && result == 0) result = kFileWriteError;
  }
  return result;
}
