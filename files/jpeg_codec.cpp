// jpeg_codec.cpp -- the encoder, the decoder and the libjpeg managers they run on.
//
// Error handling follows libjpeg's own pattern. Every operation sets a jump point before its
// first library call; the error exit destroys the library object (which frees every pool,
// our managers and work buffers included) and jumps back, and the operation returns
// kJpegFailed. Between the jump point and the last library call the operation keeps nothing
// that the jump could leave behind: no heap blocks, no objects with destructors.
#include "files/jpeg_codec.h"

#include <cstring>

#include "files/jpeg_internal.h"
#include "files/jpeg_tables.h"
#include "imagestore/pixel_access.h"

// ---- Error manager -------------------------------------------------------------------------

static void JpegErrorExit(j_common_ptr cinfo) {
  JpegErrorRecord *record = reinterpret_cast<JpegErrorRecord *>(cinfo->err);
  jpeg_destroy(cinfo);
  longjmp(record->jump, 1);
}

// The plug-in has no console: messages are dropped.
static void JpegOutputMessage(j_common_ptr) {}

static void JpegResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

jpeg_error_mgr *InitJpegErrorManager(JpegErrorRecord *record) {
  jpeg_error_mgr *manager = jpeg_std_error(&record->manager);
  manager->error_exit = JpegErrorExit;
  manager->output_message = JpegOutputMessage;
  manager->reset_error_mgr = JpegResetErrorManager;
  return manager;
}

// ---- Memory destination --------------------------------------------------------------------

static JpegMemoryDestinationRecord *DestinationOf(j_compress_ptr cinfo) {
  return reinterpret_cast<JpegMemoryDestinationRecord *>(cinfo->dest);
}

// Appends n bytes of the work buffer to the caller's block.
static void AppendToBlock(j_compress_ptr cinfo, int32_t n) {
  JpegMemoryDestinationRecord *dest = DestinationOf(cinfo);
  if (n <= 0) return;
  if (n > dest->capacity - dest->count) ERREXIT(cinfo, JERR_FILE_WRITE);
  std::memcpy(dest->block + dest->count, dest->buffer, size_t(n));
  dest->count += n;
}

static void InitDestination(j_compress_ptr cinfo) {
  JpegMemoryDestinationRecord *dest = DestinationOf(cinfo);
  dest->buffer = static_cast<JOCTET *>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kJpegWorkBufferSize));
  dest->count = 0;
  dest->manager.next_output_byte = dest->buffer;
  dest->manager.free_in_buffer = kJpegWorkBufferSize;
}

static boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  JpegMemoryDestinationRecord *dest = DestinationOf(cinfo);
  AppendToBlock(cinfo, kJpegWorkBufferSize);
  dest->manager.next_output_byte = dest->buffer;
  dest->manager.free_in_buffer = kJpegWorkBufferSize;
  return TRUE;
}

static void TermDestination(j_compress_ptr cinfo) {
  JpegMemoryDestinationRecord *dest = DestinationOf(cinfo);
  AppendToBlock(cinfo, kJpegWorkBufferSize - int32_t(dest->manager.free_in_buffer));
  dest->manager.next_output_byte = dest->buffer;
  dest->manager.free_in_buffer = kJpegWorkBufferSize;
}

void JpegMemoryDest(j_compress_ptr cinfo, uint8_t *block, int32_t capacity) {
  auto *dest = static_cast<JpegMemoryDestinationRecord *>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegMemoryDestinationRecord)));
  dest->manager.init_destination = InitDestination;
  dest->manager.empty_output_buffer = EmptyOutputBuffer;
  dest->manager.term_destination = TermDestination;
  dest->block = block;
  dest->capacity = capacity < 0 ? 0 : capacity;
  dest->count = 0;
  dest->buffer = nullptr;
  cinfo->dest = &dest->manager;
}

int32_t JpegMemoryDestCount(j_compress_ptr cinfo) { return DestinationOf(cinfo)->count; }

// ---- Memory source -------------------------------------------------------------------------

static JpegMemorySourceRecord *SourceOf(j_decompress_ptr cinfo) {
  return reinterpret_cast<JpegMemorySourceRecord *>(cinfo->src);
}

static void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo)->startOfFile = true; }

// Hands out the next bytes of the block, at most a buffer's worth. A stream that stops short
// of its end marker gets one, with a warning, so that what arrived is still shown.
static boolean FillInputBuffer(j_decompress_ptr cinfo) {
  JpegMemorySourceRecord *src = SourceOf(cinfo);
  int32_t remaining = src->size - src->offset;
  int32_t n = remaining < kJpegWorkBufferSize ? remaining : kJpegWorkBufferSize;
  if (n <= 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  } else {
    std::memcpy(src->buffer, src->block + src->offset, size_t(n));
    src->offset += n;
  }
  src->manager.next_input_byte = src->buffer;
  src->manager.bytes_in_buffer = size_t(n);
  src->startOfFile = false;
  return TRUE;
}

static void SkipInputData(j_decompress_ptr cinfo, long count) {
  JpegMemorySourceRecord *src = SourceOf(cinfo);
  if (count <= 0) return;
  size_t n = size_t(count);
  while (n > src->manager.bytes_in_buffer) {
    n -= src->manager.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  src->manager.next_input_byte += n;
  src->manager.bytes_in_buffer -= n;
}

static void TermSource(j_decompress_ptr) {}

void JpegMemorySource(j_decompress_ptr cinfo, const uint8_t *block, int32_t size) {
  auto *src = static_cast<JpegMemorySourceRecord *>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegMemorySourceRecord)));
  src->buffer = static_cast<JOCTET *>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegWorkBufferSize));
  src->manager.init_source = InitSource;
  src->manager.fill_input_buffer = FillInputBuffer;
  src->manager.skip_input_data = SkipInputData;
  src->manager.resync_to_restart = jpeg_resync_to_restart;
  src->manager.term_source = TermSource;
  src->manager.next_input_byte = nullptr;
  src->manager.bytes_in_buffer = 0;
  src->block = block;
  src->size = size < 0 ? 0 : size;
  src->offset = 0;
  src->startOfFile = true;
  cinfo->src = &src->manager;
}

// ---- Our header markers --------------------------------------------------------------------

void WriteIccProfileMarkers(j_compress_ptr cinfo, const uint8_t *data, int32_t size) {
  if (data == nullptr || size <= 0) return;
  int32_t chunks = size / kIccChunkBytes + (size % kIccChunkBytes != 0 ? 1 : 0);
  if (chunks > 255) return;   // the sequence numbers are single bytes
  static const char kIccName[12] = "ICC_PROFILE";
  for (int32_t sequence = 1; sequence <= chunks; sequence++) {
    int32_t offset = (sequence - 1) * kIccChunkBytes;
    int32_t length = size - offset < kIccChunkBytes ? size - offset : kIccChunkBytes;
    jpeg_write_m_header(cinfo, JPEG_APP0 + 2, unsigned(length + 14));
    for (char c : kIccName) jpeg_write_m_byte(cinfo, uint8_t(c));
    jpeg_write_m_byte(cinfo, sequence);
    jpeg_write_m_byte(cinfo, chunks);
    for (int32_t i = 0; i < length; i++) jpeg_write_m_byte(cinfo, data[offset + i]);
  }
}

void WriteJpegFileHeader(j_compress_ptr cinfo, const uint8_t *icc, int32_t iccSize, IptcBuilder *iptc,
                         const ExifBuffer *exif) {
  jpeg_write_marker(cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(kMakerWebAddress),
                    unsigned(kMakerWebAddressLength + 1));
  if (exif != nullptr && exif->start != nullptr && exif->count > 0 && exif->count <= kJpegMaxMarkerPayload) {
    jpeg_write_marker(cinfo, JPEG_APP0 + 1, exif->start, unsigned(exif->count));
  }
  WriteIccProfileMarkers(cinfo, icc, iccSize);
  if (iptc != nullptr) {
    if (iptc->start == nullptr) BuildIptcResource(iptc, true, false);
    if (iptc->start != nullptr && iptc->count > 0 && iptc->count <= kJpegMaxMarkerPayload) {
      jpeg_write_marker(cinfo, JPEG_APP0 + 13, iptc->start, unsigned(iptc->count));
    }
  }
}

// ---- Encoding ------------------------------------------------------------------------------

// A channel 0..1 as a byte: clamped, times 255, truncated; NaN counts as 0.
static JSAMPLE ChannelToSample(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  return JSAMPLE(int32_t(value * 255.0f));
}

static void InstallTables(j_compress_ptr cinfo, int32_t quality) {
  int32_t decile = QualityDecile(quality);
  unsigned int table[64];
  for (int i = 0; i < 64; i++) table[i] = kLuminanceTables[decile][i];
  jpeg_add_quant_table(cinfo, 0, table, 100, FALSE);
  for (int i = 0; i < 64; i++) table[i] = kChrominanceTables[decile][i];
  jpeg_add_quant_table(cinfo, 1, table, 100, FALSE);
  int32_t sampling = LuminanceSampling(quality);
  for (int c = 0; c < cinfo->num_components; c++) {
    cinfo->comp_info[c].h_samp_factor = c == 0 ? sampling : 1;
    cinfo->comp_info[c].v_samp_factor = c == 0 ? sampling : 1;
  }
}

// What one encoding needs, handed to the library-facing part in one piece.
struct EncodeJob {
  const TiledMipImage *image;
  const Rect16 *rect;
  uint8_t *block;
  int32_t capacity;
  int32_t quality;
  int32_t width;    // the encoded size
  int32_t height;
  const uint8_t *icc;
  int32_t iccSize;
  IptcBuilder *iptc;
  const ExifBuffer *exif;
  int32_t byteCount;   // out
};

// Every library call of an encoding. A library error leaves this function by the error exit.
static void EncodeWithLibrary(j_compress_ptr cinfo, EncodeJob *job) {
  jpeg_create_compress(cinfo);
  cinfo->mem->max_memory_to_use = kJpegMemoryLimit;
  JpegMemoryDest(cinfo, job->block, job->capacity);
  cinfo->image_width = JDIMENSION(job->width);
  cinfo->image_height = JDIMENSION(job->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  cinfo->optimize_coding = TRUE;
  InstallTables(cinfo, job->quality);
  jpeg_start_compress(cinfo, TRUE);
  WriteJpegFileHeader(cinfo, job->icc, job->iccSize, job->iptc, job->exif);

  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               JDIMENSION(job->width * 3), 1);
  for (int32_t y = 0; y < job->height; y++) {
    JSAMPLE *out = row[0];
    for (int32_t x = 0; x < job->width; x++) {
      float rgba[4];
      FetchPixelRGBA(job->rect->left + x, job->rect->top + y, job->image, 0, rgba);
      *out++ = ChannelToSample(rgba[0]);
      *out++ = ChannelToSample(rgba[1]);
      *out++ = ChannelToSample(rgba[2]);
    }
    jpeg_write_scanlines(cinfo, row, 1);
  }
  jpeg_finish_compress(cinfo);
  job->byteCount = JpegMemoryDestCount(cinfo);
  jpeg_destroy_compress(cinfo);
}

// The jump point of an encoding: kJpegFailed when the library gave up.
static int16_t RunEncoder(EncodeJob *job) {
  jpeg_compress_struct cinfo;
  JpegErrorRecord error;
  cinfo.err = InitJpegErrorManager(&error);
  if (setjmp(error.jump)) return kJpegFailed;   // the object is destroyed already
  EncodeWithLibrary(&cinfo, job);
  return kJpegOk;
}

int16_t EncodeImageToJpeg(const TiledMipImage *image, const Rect16 *rect, uint8_t *block, int32_t capacity,
                          int32_t quality, int32_t *byteCount, const uint8_t *icc, int32_t iccSize,
                          IptcBuilder *iptc, const ExifBuffer *exif) {
  if (byteCount != nullptr) *byteCount = 0;
  if (image == nullptr || image->tiles == nullptr) return kJpegNoImage;
  if (rect == nullptr || block == nullptr) return kJpegFailed;
  const int32_t width = rect->right - rect->left;
  const int32_t height = rect->bottom - rect->top;
  EncodeJob job = {image, rect, block, capacity, quality,
                   width > kJpegMinimumSide ? width : kJpegMinimumSide,
                   height > kJpegMinimumSide ? height : kJpegMinimumSide,
                   icc, iccSize, iptc, exif, 0};
  int16_t result = RunEncoder(&job);
  if (result == kJpegOk && byteCount != nullptr) *byteCount = job.byteCount;
  return result;
}

// ---- Decoding ------------------------------------------------------------------------------

// Puts one decoded row into the image.
static void PutDecodedRow(TiledMipImage *image, const JSAMPLE *samples, int32_t components, int32_t columns,
                          int32_t left, int32_t y) {
  const bool packed = image->storageFormat == kFormatPacked8;
  for (int32_t x = 0; x < columns; x++) {
    const JSAMPLE *s = samples + x * components;
    int32_t r = s[0], g = s[0], b = s[0];
    if (components == 3) {
      g = s[1];
      b = s[2];
    }
    if (packed) {
      PutPixelPacked8Checked(left + x, y, image, 0, r, g, b, 255);
    } else {
      int32_t grey = components == 3 ? (77 * r + 150 * g + 28 * b) >> 8 : r;
      PutPixelGray8Checked(left + x, y, image, 0, grey);
    }
  }
}

// What one decoding needs, handed to the library-facing part in one piece.
struct DecodeJob {
  TiledMipImage *image;
  int32_t left;
  int32_t top;
  const uint8_t *block;
  int32_t size;
  int32_t maxWidth;    // the largest frame taken
  int32_t maxHeight;
  bool headerOnly;     // stop after the header: the frame's size in the outs below
  bool wholeOnly;      // a stream that runs out before its end is a failure, not grey rows
  bool firstRowOnly;   // no image: decode up to the first row, then stop
  int32_t width;       // out
  int32_t height;
  int32_t components;
  int16_t result;
};

// The progress monitor bounds the work of a stream: the library calls it between rows while
// it reads the scans of a multi-scan stream, and the error exit leaves the decoding.
static void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kJpegMaxScans) ERREXIT(cinfo, JERR_NOTIMPL);
}

static int64_t gPixelLimit = kJpegMaxPixels;

void SetJpegPixelLimit(int64_t pixels) {
  gPixelLimit = pixels > 0 && pixels < kJpegMaxPixels ? pixels : kJpegMaxPixels;
}

static bool FrameWithin(int64_t width, int64_t height, const DecodeJob *job) {
  return width > 0 && height > 0 && width <= job->maxWidth && height <= job->maxHeight && width <= kJpegMaxSide &&
         height <= kJpegMaxSide && width * height <= gPixelLimit;
}

// Every library call of a decoding. A library error leaves this function by the error exit.
static void DecodeWithLibrary(j_decompress_ptr cinfo, DecodeJob *job) {
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kJpegMemoryLimit;
  jpeg_progress_mgr progress = {};
  progress.progress_monitor = LimitScans;
  cinfo->progress = &progress;
  JpegMemorySource(cinfo, job->block, job->size);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(cinfo);
    job->result = kJpegFailed;
    return;
  }
  // The frame's size decides the whole-image buffers of a multi-scan stream and the work of
  // every scan: it is checked before the library sets any of that up.
  if (!FrameWithin(cinfo->image_width, cinfo->image_height, job)) {
    jpeg_destroy_decompress(cinfo);
    job->result = kJpegFailed;
    return;
  }
  if (job->headerOnly) {
    job->width = int32_t(cinfo->image_width);
    job->height = int32_t(cinfo->image_height);
    job->components = cinfo->num_components;
    jpeg_destroy_decompress(cinfo);
    job->result = kJpegOk;
    return;
  }
  jpeg_start_decompress(cinfo);
  const int32_t components = cinfo->output_components;
  if (components != 1 && components != 3) {
    jpeg_destroy_decompress(cinfo);
    job->result = kJpegFailed;
    return;
  }

  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               JDIMENSION(cinfo->output_width * JDIMENSION(components)), 1);
  if (job->firstRowOnly) {
    const bool got = jpeg_read_scanlines(cinfo, row, 1) == 1;
    jpeg_abort_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    job->result = got ? kJpegOk : kJpegFailed;
    return;
  }

  // Rows below the image would be dropped pixel by pixel: they are not decoded at all.
  const int32_t outputHeight = int32_t(cinfo->output_height);
  int32_t rows = job->image->levelHeight[0] - job->top;
  if (rows > outputHeight) rows = outputHeight;
  int32_t columns = int32_t(cinfo->output_width);
  if (columns > job->image->levelWidth[0] - job->left) columns = job->image->levelWidth[0] - job->left;

  while (int32_t(cinfo->output_scanline) < rows) {
    int32_t y = int32_t(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, row, 1) != 1) break;
    if (columns > 0) PutDecodedRow(job->image, row[0], components, columns, job->left, job->top + y);
  }
  if (int32_t(cinfo->output_scanline) == outputHeight) {
    jpeg_finish_decompress(cinfo);
  } else {
    jpeg_abort_decompress(cinfo);
  }
  jpeg_destroy_decompress(cinfo);
  job->result = kJpegOk;
}

// The warnings of a stream that ran out: the source invented the end marker, or the entropy
// decoder met a marker while a scan still needed data. For a picture that must be whole they
// end the decoding at once, before any of the missing rows is made up.
static void RefuseShortStream(j_common_ptr cinfo, int level) {
  if (level < 0 && (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)) {
    cinfo->err->error_exit(cinfo);
  }
}

// The jump point of a decoding: kJpegFailed when the library gave up.
static int16_t RunDecoder(DecodeJob *job) {
  jpeg_decompress_struct cinfo;
  JpegErrorRecord error;
  cinfo.err = InitJpegErrorManager(&error);
  if (job->wholeOnly) cinfo.err->emit_message = RefuseShortStream;
  if (setjmp(error.jump)) return kJpegFailed;   // the object is destroyed already
  DecodeWithLibrary(&cinfo, job);
  return job->result;
}

static int16_t DecodeInto(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size,
                          int32_t maxWidth, int32_t maxHeight, bool wholeOnly) {
  if (image == nullptr || image->tiles == nullptr) return kJpegNoImage;
  if (rect == nullptr || block == nullptr || size <= 0) return kJpegFailed;
  if (image->storageFormat != kFormatPacked8 && image->storageFormat != kFormatGray8) return kJpegFailed;
  DecodeJob job = {image, rect->left, rect->top, block, size, maxWidth, maxHeight, false, wholeOnly, false, 0, 0, 0,
                   kJpegFailed};
  return RunDecoder(&job);
}

int16_t DecodeJpegToImageWithin(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size,
                                int32_t maxWidth, int32_t maxHeight) {
  return DecodeInto(image, rect, block, size, maxWidth, maxHeight, false);
}

int16_t DecodeJpegToImage(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size) {
  return DecodeInto(image, rect, block, size, kJpegMaxSide, kJpegMaxSide, false);
}

int16_t DecodeWholeJpegToImage(TiledMipImage *image, const Rect16 *rect, const uint8_t *block, int32_t size) {
  return DecodeInto(image, rect, block, size, kJpegMaxSide, kJpegMaxSide, true);
}

int16_t ProbeWholeJpegStream(const uint8_t *block, int32_t size) {
  if (block == nullptr || size <= 0) return kJpegFailed;
  DecodeJob job = {nullptr, 0, 0, block, size, kJpegMaxSide, kJpegMaxSide, false, true, true, 0, 0, 0, kJpegFailed};
  return RunDecoder(&job);
}

int16_t ReadJpegStreamSize(const uint8_t *block, int32_t size, int32_t *width, int32_t *height,
                           int32_t *components) {
  *width = *height = *components = 0;
  if (block == nullptr || size <= 0) return kJpegFailed;
  DecodeJob job = {nullptr, 0, 0, block, size, kJpegMaxSide, kJpegMaxSide, true, false, false, 0, 0, 0, kJpegFailed};
  if (RunDecoder(&job) != kJpegOk) return kJpegFailed;
  *width = job.width;
  *height = job.height;
  *components = job.components;
  return kJpegOk;
}
