// jpeg_files.cpp -- the marker scanner, the file loader and the file writers of JPEG pictures.
#include "files/jpeg_files.h"

#include "files/safe_save.h"
#include "files/jpeg_codec.h"
#include "foundation/binary_io.h"
#include "imagestore/level_build.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"

// ---- Scanning ------------------------------------------------------------------------------

namespace {

// The scanner's bytes: a block in memory, or a file read 4096 bytes at a time into the
// buffer. A byte-by-byte read of the file costs a system call per byte: seconds for a file of
// megabytes of fill.
struct ScanSource {
  FileHandle file;        // kNoFile for a block
  const uint8_t *bytes;   // the block, or the buffer
  int32_t count;          // bytes in it
  int32_t next;
  uint8_t buffer[4096];
};

bool Refill(ScanSource *source) {
  if (source->file == kNoFile) return false;
  int32_t got = 0;
  if (!ReadPlatformFile(source->file, source->buffer, int32_t(sizeof source->buffer), &got) || got <= 0) return false;
  source->bytes = source->buffer;
  source->count = got;
  source->next = 0;
  return true;
}

// The next byte, or -1 at the end.
int32_t NextByte(ScanSource *source) {
  if (source->next >= source->count && !Refill(source)) return -1;
  return source->bytes[source->next++];
}

// Passes over n bytes; false when the source ends first.
bool SkipSource(ScanSource *source, int32_t n) {
  while (n > 0) {
    if (source->next >= source->count && !Refill(source)) return false;
    int32_t step = source->count - source->next;
    if (step > n) step = n;
    source->next += step;
    n -= step;
  }
  return true;
}

// A big-endian 16-bit value, or -1 when a byte is missing (with the matching error recorded).
int32_t ReadLength(ScanSource *source, int16_t *error) {
  int32_t high = NextByte(source);
  if (high < 0) {
    *error = kScanLengthHighUnread;
    return -1;
  }
  int32_t low = NextByte(source);
  if (low < 0) {
    *error = kScanLengthLowUnread;
    return -1;
  }
  return (high << 8) | low;
}

bool IsFrameMarker(int32_t marker) {
  switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC5: case 0xC6: case 0xC7:
    case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
      return true;
    default:
      return false;
  }
}

int32_t ScanSourceHeader(ScanSource *source, int16_t *error, int32_t *width, int32_t *height, int32_t *components) {
  int16_t localError = 0;
  int16_t *err = error != nullptr ? error : &localError;
  *err = 0;
  int32_t w = 0, h = 0, n = 0;
  int32_t marker = 0;

  if (NextByte(source) != 0xFF || NextByte(source) != 0xD8) {
    *err = kScanNotJpeg;
  } else {
    for (;;) {
      // The next marker: skip to an FF, skip the FF fill bytes, and take the byte after them.
      int32_t c;
      do {
        c = NextByte(source);
      } while (c >= 0 && c != 0xFF);
      while (c == 0xFF) c = NextByte(source);
      if (c < 0) {
        *err = kScanByteUnread;
        break;
      }
      marker = c;
      if (marker == 0xDA || marker == 0xD9) break;
      int32_t length = ReadLength(source, err);
      if (length < 0) break;
      if (IsFrameMarker(marker)) {
        int32_t precision = NextByte(source);
        int32_t h1 = NextByte(source), h0 = NextByte(source);
        int32_t w1 = NextByte(source), w0 = NextByte(source);
        int32_t count = NextByte(source);
        if (precision < 0 || h0 < 0 || w0 < 0 || count < 0 || h1 < 0 || w1 < 0) {
          *err = kScanByteUnread;
          break;
        }
        h = (h1 << 8) | h0;
        w = (w1 << 8) | w0;
        n = count;
        if (!SkipSource(source, 3 * count)) {
          *err = kScanByteUnread;
          break;
        }
        if (length != 8 + 3 * count) *err = kScanBadFrame;
      } else if (length < 2) {
        *err = kScanBadLength;
      } else if (!SkipSource(source, length - 2)) {
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

}  // namespace

int32_t ScanJpegHeader(FileHandle file, int16_t *error, int32_t *width, int32_t *height, int32_t *components) {
  ScanSource source;
  source.file = file;
  source.bytes = source.buffer;
  source.count = 0;
  source.next = 0;
  return ScanSourceHeader(&source, error, width, height, components);
}

int32_t ScanJpegBlock(const uint8_t *block, int32_t size, int16_t *error, int32_t *width, int32_t *height,
                      int32_t *components) {
  ScanSource source;
  source.file = kNoFile;
  source.bytes = block;
  source.count = block != nullptr && size > 0 ? size : 0;
  source.next = 0;
  return ScanSourceHeader(&source, error, width, height, components);
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

// The file's bytes into a host buffer, the file's size checked before anything is read.
static int16_t ReadWholeFileBuffer(const FileSpec *spec, HostBufferProcs *procs, void **buffer, HostBufferID *id,
                                   int32_t *size) {
  FileHandle file = kNoFile;
  int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != 0) return opened;
  int64_t fileSize = 0;
  int16_t result = 0;
  if (!PlatformFileRemaining(file, &fileSize)) {
    result = kFileReadError;
  } else if (fileSize <= 0) {
    result = kLoadNoFrame;
  } else if (fileSize > kJpegFileLimit) {
    result = kJpegFailed;
  } else {
    *buffer = AllocHostBuffer(int32_t(fileSize), id, procs);
    if (*buffer == nullptr) {
      result = kLoadNoMemory;
    } else {
      result = ReadBlock(file, *buffer, int32_t(fileSize));
      *size = int32_t(fileSize);
      if (result != 0) FreeHostBuffer(buffer, id, procs);
    }
  }
  ClosePlatformFile(file);
  return result;
}

static int16_t LoadJpegFile(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals, bool wholeOnly) {
  if (image == nullptr) return kLoadNoMemory;
  HostBufferProcs *procs = globals != nullptr && globals->filterRecord != nullptr
                               ? globals->filterRecord->bufferProcs
                               : image->hostBufferProcs;
  HostBufferID bufferId = nullptr;
  void *buffer = nullptr;
  int32_t size = 0;
  int16_t result = ReadWholeFileBuffer(spec, procs, &buffer, &bufferId, &size);
  if (result != 0) return result;
  const uint8_t *bytes = static_cast<const uint8_t *>(buffer);

  // The scanner tells a file with no frame at all; the size is the library's own reading of
  // the header, which is what it will decode (the two differ for a frame header hidden where
  // only the scanner looks), and it is checked before the image is made.
  int16_t scanError = 0;
  int32_t scannedWidth = 0, scannedHeight = 0, components = 0;
  ScanJpegBlock(bytes, size, &scanError, &scannedWidth, &scannedHeight, &components);
  int32_t width = 0, height = 0;
  bool made = false;
  if (scannedWidth == 0 || scannedHeight == 0) {
    result = kLoadNoFrame;
  } else if (ReadJpegStreamSize(bytes, size, &width, &height, &components) != kJpegOk) {
    result = kJpegFailed;   // no header the library takes, or a picture beyond the bounds
  } else if (wholeOnly && ProbeWholeJpegStream(bytes, size) != kJpegOk) {
    result = kJpegFailed;   // a header of a large picture whose data never came
  } else if (!(made = CreateImageForPlanes(image, width, height, 4, 0))) {
    result = kLoadNoMemory;
  } else {
    const Rect16 all = {0, 0, int16_t(height), int16_t(width)};
    const int16_t decoded =
        wholeOnly ? DecodeWholeJpegToImage(image, &all, bytes, size) : DecodeJpegToImage(image, &all, bytes, size);
    if (decoded != kJpegOk) result = kJpegFailed;
  }
  FreeHostBuffer(&buffer, &bufferId, procs);
  if (result != 0) {
    if (made) FreeImageTiles(image);
    return result;
  }
  RebuildAllLevels(image);
  return 0;
}

int16_t LoadJpegFileImage(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals) {
  return LoadJpegFile(spec, image, globals, false);
}

int16_t LoadWholeJpegFileImage(const FileSpec *spec, TiledMipImage *image, PluginGlobals *globals) {
  return LoadJpegFile(spec, image, globals, true);
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
    // No picture: the settings file still gets its block word, and the caller learns why.
    int16_t result = headerFlag ? WriteU32BE(0, file) : int16_t(0);
    return result != 0 ? result : int16_t(kWriteJpegOutOfMemory);
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

int16_t WriteJpegFileWithMetadata(const TiledMipImage *image, const FileSpec *spec, uint32_t outputMode) {
  // A picture that could not be made leaves neither a cut file nor a lost old one behind.
  SafeSave save;
  if (!BeginSafeSave(spec, &save)) return kSpecOpenFailed;
  int16_t result = WriteJpegWithMetadata(image, save.file, outputMode, true);
  save.file = kNoFile;
  if (!EndSafeSave(&save, result == 0) && result == 0) result = kFileWriteError;
  return result;
}
