// psd_export.cpp -- the layered document (see psd_export.h).
//
// All multi-byte values of the document are big-endian. The bytes go out through a
// BufferedFile, whose errors are sticky: a failed write is found when the file is flushed and
// closed, and the document is then discarded. Nothing is written while measuring, and the
// channel data is counted without rendering, so that a whole document can be measured before
// the export image is made.
#include "files/psd_export.h"

#include <cstdio>
#include <cstring>

#include "files/safe_save.h"
#include "files/jpeg_markers.h"
#include "files/picture_keywords.h"
#include "foundation/binary_io.h"
#include "foundation/buffered_file.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_dialogs.h"
#include "plugin/output_passes.h"

static void ShowPsdRefusal(int32_t width, int32_t height, int32_t bytesPerChannel) {
  char size[48];
  std::snprintf(size, sizeof size, "%d x %d", int(width), int(height));
  char depth[16];
  std::snprintf(depth, sizeof depth, "%d", int(bytesPerChannel * 8));
  SetMessageArgs(size, depth, nullptr, nullptr);
  ShowMessageDialog("PSD_TOO_LARGE");
  SetMessageArgs(nullptr, nullptr, nullptr, nullptr);
}

void (*gPsdRefusalProc)(int32_t width, int32_t height, int32_t bytesPerChannel) = ShowPsdRefusal;

static const char *const kLayerNames[kLayerCount] = {
    "lit map",    "map color", "land color", "land bump", "bump w/o ocean", "ocean mask",
    "air color",  "cloud mask", "cloud bump", "cities",   "mural"};

const char *LayerName(int32_t layer) {
  if (layer < 1 || layer > kLayerCount) return "a layer";
  return kLayerNames[layer - 1];
}

int32_t PsdBytesPerChannel(const FilterRecord *record) {
  const int16_t mode = record->imageMode;
  if ((mode == kModeGrayScale || mode == kModeRGB) && record->depth <= 8) return 1;
  if ((mode == kModeGray16 || mode == kModeRGB48) && record->depth == 16) return 2;
  if (mode == kModeRGB96 || mode == kModeGray32 || record->depth == 32) return 4;
  return 1;
}

void DescribeLayerExport(PluginGlobals *globals, LayerExportDescription *d) {
  const FilterRecord *r = globals->filterRecord;
  d->channelsPerLayer = 4;
  d->layerCount = kLayerCount;
  d->width = r->filterRect.right - r->filterRect.left;
  d->height = r->filterRect.bottom - r->filterRect.top;
  d->firstLayer = 0;
  d->outputMode = 0;
  d->spare = -1;
  d->bytesPerChannel = PsdBytesPerChannel(r);
  d->oneFilePerLayer = 0;
  d->currentLayer = 0;
}

// ---- The writer ------------------------------------------------------------------------------

namespace {

struct PsdWriter {
  BufferedFile *file;         // null while measuring
  uint64_t count;             // bytes written or counted
  bool tooLong;               // a length field would not hold its length
  PluginGlobals *globals;
  const LayerExportDescription *d;
  TiledMipImage *image;       // the export image (null while measuring)
  uint8_t *cancelFlag;
  IptcBuilder *iptc;          // built before the resources are written; may be null
  ExifBuffer *exif;
  const uint8_t *icc;
  int32_t iccSize;
};

typedef void (*SectionProc)(PsdWriter *w);

void PutU8(PsdWriter *w, uint8_t v) {
  w->count += 1;
  if (w->file != nullptr) BufWriteU8(v, w->file);
}

void PutU16(PsdWriter *w, uint16_t v) {
  PutU8(w, uint8_t(v >> 8));
  PutU8(w, uint8_t(v));
}

void PutU32(PsdWriter *w, uint32_t v) {
  PutU16(w, uint16_t(v >> 16));
  PutU16(w, uint16_t(v));
}

void PutLength(PsdWriter *w, uint64_t length) {
  if (length > kPsdMaxLength) w->tooLong = true;
  PutU32(w, uint32_t(length));
}

void PutBytes(PsdWriter *w, const void *bytes, uint64_t n) {
  const uint8_t *b = static_cast<const uint8_t *>(bytes);
  if (w->file == nullptr) {
    w->count += n;
    return;
  }
  for (uint64_t i = 0; i < n; i++) PutU8(w, b[i]);
}

void PutZeros(PsdWriter *w, uint64_t n) {
  if (w->file == nullptr) {
    w->count += n;
    return;
  }
  for (uint64_t i = 0; i < n; i++) PutU8(w, 0);
}

void PutTag(PsdWriter *w, const char tag[5]) { PutBytes(w, tag, 4); }

// The bytes that `section` writes, counted by running it in measuring mode.
uint64_t Measure(const PsdWriter *w, SectionProc section) {
  PsdWriter m = *w;
  m.file = nullptr;
  m.image = nullptr;
  m.count = 0;
  section(&m);
  return m.count;
}

uint64_t RoundUp(uint64_t n, uint64_t multiple) { return (n + multiple - 1) / multiple * multiple; }

bool OneChannel(const PsdWriter *w) { return w->d->channelsPerLayer == 1; }

uint32_t StorageFormatOf(const LayerExportDescription *d) {
  return d->bytesPerChannel == 2 ? kFormatRgba16 : d->bytesPerChannel == 4 ? kFormatRgbaF32 : kFormatPacked8;
}

// ---- File header and colour mode data ----

// The header's channel count: 3 for 1- and 4-byte channels, 4 for 2-byte channels (the 16-bit
// document carries an opaque alpha plane in its merged picture), 1 for a one-channel document.
uint16_t HeaderChannels(const PsdWriter *w) {
  if (OneChannel(w)) return 1;
  return w->d->bytesPerChannel == 2 ? 4 : 3;
}

void WritePsdHeader(PsdWriter *w) {
  PutTag(w, "8BPS");
  PutU16(w, 1);
  PutZeros(w, 6);
  PutU16(w, HeaderChannels(w));
  PutU32(w, uint32_t(w->d->height));
  PutU32(w, uint32_t(w->d->width));
  PutU16(w, uint16_t(w->d->bytesPerChannel * 8));
  PutU16(w, OneChannel(w) ? 1 : 3);
}

const uint8_t kHdrToningBlock[74] = {
    0x68, 0x64, 0x72, 0x74, 0x00, 0x00, 0x00, 0x03, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x08, 0x00, 0x44, 0x00, 0x65, 0x00, 0x66, 0x00, 0x61, 0x00, 0x75,
    0x00, 0x6c, 0x00, 0x74, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xff, 0x00, 0xff, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x41, 0x80,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x3f, 0x80, 0x00, 0x00};

void WriteColorModeData(PsdWriter *w) {
  if (w->d->bytesPerChannel != 4) {
    PutU32(w, 0);
    return;
  }
  PutU32(w, sizeof kHdrToningBlock);
  PutBytes(w, kHdrToningBlock, sizeof kHdrToningBlock);
}

// ---- Image resources ----

const uint16_t kPrintRecord[60] = {
    40,   0,    72,   72,   0,     0,    743,  594,  0xFFF7, 0xFFF7, 783,  603,  8194, 1320, 1020,
    0,    0,    360,  360,  0,     0,    3715, 2970, 372,    50,     2970, 18600, 75,  1,    257,
    0,    1,    9999, 1,    1,     0,    0,    0,    0,      0,      0,    0,    0,    0,    0,
    1,    100,  768,  0,    0,     0,    515,  8369, 1024,   4608,   768,  17664, 0,   13892, 24864};

void ResourceHead(PsdWriter *w, uint16_t id, uint64_t size) {
  PutTag(w, "8BIM");
  PutU16(w, id);
  PutU16(w, 0);   // the empty name: a length byte 0 and its pad byte
  PutLength(w, size);
}

void PadToEven(PsdWriter *w, uint64_t size) {
  if (size % 2 != 0) PutU8(w, 0);
}

void PutResourceBytes(PsdWriter *w, uint16_t id, const uint8_t *data, uint64_t size) {
  ResourceHead(w, id, size);
  PutBytes(w, data, size);
  PadToEven(w, size);
}

void WriteResourceList(PsdWriter *w) {
  ResourceHead(w, 1001, 120);
  for (uint16_t v : kPrintRecord) PutU16(w, v);

  ResourceHead(w, 1005, 16);
  for (int k = 0; k < 2; k++) {
    PutU16(w, 72);
    PutU16(w, 0);
    PutU16(w, 1);
    PutU16(w, 1);
  }

  // Nine bytes of data; the tenth is the resource's pad byte.
  ResourceHead(w, 1011, 9);
  PutZeros(w, 8);
  PutU8(w, 1);
  PadToEven(w, 9);

  ResourceHead(w, 1016, 112);
  for (int k = 0; k < 4; k++) {
    PutU16(w, 0);
    for (int i = 0; i < 11; i++) PutU16(w, 0xFFFF);
    PutU16(w, 1000);
    PutU16(w, 0);
  }

  PutResourceBytes(w, 1035, reinterpret_cast<const uint8_t *>(kMakerWebAddress), kMakerWebAddressLength);

  // Padded like every other resource: an odd profile would otherwise shift every resource
  // after it to an odd offset, where readers no longer find their "8BIM".
  if (w->icc != nullptr && w->iccSize > 0) PutResourceBytes(w, 1039, w->icc, uint64_t(w->iccSize));

  // The IPTC resource carries its own "8BIM", id, name and size, and is even.
  if (w->iptc != nullptr && w->iptc->start != nullptr) {
    PutBytes(w, w->iptc->start, uint64_t(w->iptc->count));
    PadToEven(w, uint64_t(w->iptc->count));
  }
  if (w->exif != nullptr && w->exif->start != nullptr)
    PutResourceBytes(w, 1058, w->exif->start, uint64_t(w->exif->count));

  const bool layered = w->d->oneFilePerLayer == 0;
  const uint64_t layers = uint64_t(w->d->layerCount);
  if (w->d->bytesPerChannel == 4 && layered) {
    static const uint8_t k1069[6] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x0C};
    PutResourceBytes(w, 1069, k1069, 6);
    ResourceHead(w, 1072, layers);
    for (uint64_t k = 0; k < layers; k++) PutU8(w, 1);
    PadToEven(w, layers);
  }
  if (layered) {
    ResourceHead(w, 1024, 2);
    PutU16(w, uint16_t(layers));
    ResourceHead(w, 1026, 2 * layers);
    PutZeros(w, 2 * layers);
  }
}

void WriteImageResources(PsdWriter *w) {
  PutLength(w, Measure(w, WriteResourceList));
  WriteResourceList(w);
}

// ---- Layer records ----

// The layer name as a length byte and its characters, padded with zeros to a multiple of four
// bytes; a record without a name has a 32-bit 0 instead.
void WriteLayerName(PsdWriter *w, const char *name) {
  const uint64_t length = name != nullptr ? std::strlen(name) : 0;
  if (length == 0) {
    PutU32(w, 0);
    return;
  }
  PutU8(w, uint8_t(length));
  PutBytes(w, name, length);
  PutZeros(w, RoundUp(length + 1, 4) - (length + 1));
}

uint64_t ChannelBytes(const LayerExportDescription *d) {
  return uint64_t(d->bytesPerChannel) * uint64_t(d->height) * uint64_t(d->width) + 2;
}

int32_t RecordChannels(const PsdWriter *w) { return OneChannel(w) ? 1 : 4; }

void WriteLayerRecord(PsdWriter *w, int32_t layer) {
  PutU32(w, 0);
  PutU32(w, 0);
  PutU32(w, uint32_t(w->d->height));
  PutU32(w, uint32_t(w->d->width));
  PutU16(w, uint16_t(RecordChannels(w)));
  static const int16_t kIds[4] = {-1, 0, 1, 2};
  for (int32_t c = 0; c < RecordChannels(w); c++) {
    PutU16(w, uint16_t(OneChannel(w) ? 0 : kIds[c]));
    PutLength(w, ChannelBytes(w->d));
  }
  PutTag(w, "8BIM");
  PutTag(w, "norm");
  PutU8(w, 255);
  PutU8(w, 0);
  PutU8(w, w->d->bytesPerChannel == 4 ? 8 : 40);
  PutU8(w, 0);
  const char *name = LayerName(layer);
  const uint64_t nameLength = RoundUp(std::strlen(name) + 1, 4);
  PutU32(w, uint32_t(48 + nameLength));
  PutU32(w, 0);
  PutU32(w, 40);
  for (int k = 0; k < 5; k++) {
    static const uint8_t kRange[8] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF};
    PutBytes(w, kRange, sizeof kRange);
  }
  WriteLayerName(w, name);
}

void WriteLayerRecords(PsdWriter *w) {
  PutU16(w, uint16_t(w->d->layerCount));
  for (int32_t k = 1; k <= w->d->layerCount; k++) WriteLayerRecord(w, w->d->firstLayer + k);
}

// ---- Channel data ----

// Sample (x, y) of channel c (0 red, 1 green, 2 blue, 3 alpha) of the export image, as the
// document stores it: a byte, a 16-bit value in 0..65535 or the float's bits.
uint32_t ImageSample(const TiledMipImage *image, int32_t bytesPerChannel, int32_t x, int32_t y, int32_t c) {
  if (bytesPerChannel == 4) {
    uint32_t v[4] = {0, 0, 0, 0};
    GetPixelRgba32(x, y, image, 0, &v[0], &v[1], &v[2], &v[3]);
    return v[c];
  }
  int32_t v[4] = {0, 0, 0, 0};
  GetPixel4(x, y, image, 0, &v[0], &v[1], &v[2], &v[3]);
  if (bytesPerChannel == 1) return uint32_t(v[c] & 0xFF);
  // The image's 16-bit scale is 0..32768; the document's is 0..65535.
  const int32_t s = v[c] >= 32768 ? 65535 : v[c] * 2;
  return uint32_t(s < 0 ? 0 : s);
}

void PutSample(PsdWriter *w, uint32_t v) {
  switch (w->d->bytesPerChannel) {
    case 1: PutU8(w, uint8_t(v)); break;
    case 2: PutU16(w, uint16_t(v)); break;
    default: PutU32(w, v); break;
  }
}

bool Cancelled(const PsdWriter *w) { return w->cancelFlag != nullptr && *w->cancelFlag != 0; }

// One layer's channels in the record's order: alpha, red, green, blue. A cancel stops the
// writing at the next row; the document is then thrown away.
void WriteLayerChannelData(PsdWriter *w) {
  const LayerExportDescription *d = w->d;
  static const int32_t kOrder[4] = {3, 0, 1, 2};
  if (w->file == nullptr) {
    w->count += ChannelBytes(d) * uint64_t(RecordChannels(w));
    return;
  }
  for (int32_t c = 0; c < RecordChannels(w); c++) {
    const int32_t channel = OneChannel(w) ? 0 : kOrder[c];
    PutU16(w, 0);
    for (int32_t y = 0; y < d->height && !Cancelled(w); y++)
      for (int32_t x = 0; x < d->width; x++) PutSample(w, ImageSample(w->image, d->bytesPerChannel, x, y, channel));
    BufWriterFlush(w->file);
  }
}

void WriteLayerInfoBody(PsdWriter *w) {
  WriteLayerRecords(w);
  const LayerExportDescription *d = w->d;
  for (int32_t k = 1; k <= d->layerCount; k++) {
    if (w->file != nullptr) {
      if (Cancelled(w)) return;
      RenderLayer(w->globals, w->image, d->firstLayer + k - 1, w->cancelFlag, d);
      if (Cancelled(w)) return;
    }
    WriteLayerChannelData(w);
    if (w->file != nullptr) w->globals->progressLayer += 1;
  }
}

// The layer information with its length field: L, then the records and the channel data.
void WriteLayerChannels(PsdWriter *w) {
  PutLength(w, Measure(w, WriteLayerInfoBody));
  WriteLayerInfoBody(w);
}

void WriteLayerMaskSection(PsdWriter *w) {
  const uint64_t withLength = Measure(w, WriteLayerChannels);   // L + 4
  const uint64_t padded = RoundUp(withLength, 4);               // P
  switch (w->d->bytesPerChannel) {
    case 1:
      PutLength(w, withLength + 4);
      WriteLayerChannels(w);
      PutU32(w, 0);
      break;
    case 2:
      PutLength(w, padded + 28);
      PutU32(w, 0);
      PutU32(w, 0);
      PutTag(w, "8BIM");
      PutTag(w, "Mt16");
      PutU32(w, 0);
      PutTag(w, "8BIM");
      PutTag(w, "Lr16");
      WriteLayerChannels(w);
      PutZeros(w, padded - withLength);
      break;
    default: {
      PutLength(w, padded + 68);
      PutU32(w, 0);
      PutU32(w, 0);
      PutTag(w, "8BIM");
      PutTag(w, "Mt32");
      PutU32(w, 0);
      PutTag(w, "8BIM");
      PutTag(w, "Lr32");
      WriteLayerChannels(w);
      PutZeros(w, padded - withLength);
      PutTag(w, "8BIM");
      PutTag(w, "LMsk");
      PutU32(w, 14);
      static const uint8_t kMask[16] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x32, 0x80, 0x00, 0x00, 0x00};
      PutBytes(w, kMask, sizeof kMask);
      PutTag(w, "8BIM");
      PutTag(w, "Pat3");
      PutU32(w, 0);
      break;
    }
  }
}

// ---- Merged picture ----

// The last layer rendered (the mural) over a checkerboard of 8 x 8 squares: one plane per
// channel of the header, so that readers that take the header's count and those that read to
// the end agree. The 16-bit document's fourth plane is opaque.
void WriteMergedImageData(PsdWriter *w) {
  const LayerExportDescription *d = w->d;
  const int32_t planes = HeaderChannels(w);
  PutU16(w, 0);
  if (w->file == nullptr) {
    w->count += uint64_t(planes) * uint64_t(d->bytesPerChannel) * uint64_t(d->height) * uint64_t(d->width);
    return;
  }
  for (int32_t c = 0; c < planes; c++) {
    for (int32_t y = 0; y < d->height; y++) {
      for (int32_t x = 0; x < d->width; x++) {
        const bool dark = ((x ^ y) & 8) != 0;
        if (c == 3) {
          PutSample(w, d->bytesPerChannel == 2 ? 65535 : 0xFFFFFFFFu);
          continue;
        }
        if (d->bytesPerChannel == 1) {
          int32_t v[4] = {0, 0, 0, 0};
          GetPixelPacked8(x, y, w->image, 0, &v[0], &v[1], &v[2], &v[3]);
          const int32_t checker = dark ? 204 : 255, a = v[3];
          PutU8(w, uint8_t((checker * (255 - a) + v[c] * a) / 255));
        } else if (d->bytesPerChannel == 2) {
          int32_t v[4] = {0, 0, 0, 0};
          GetPixelRgba16(x, y, w->image, 0, &v[0], &v[1], &v[2], &v[3]);
          const int64_t checker = dark ? 26112 : 32640;
          const int64_t a = v[3] > 32768 ? 32768 : v[3];
          const int64_t out = (int64_t(v[c]) * a + checker * (32768 - a)) >> 15;
          PutU16(w, uint16_t(out >= 32768 ? 65535 : out * 2));
        } else {
          uint32_t bits[4] = {0, 0, 0, 0};
          GetPixelRgba32(x, y, w->image, 0, &bits[0], &bits[1], &bits[2], &bits[3]);
          float v, a;
          std::memcpy(&v, &bits[c], 4);
          std::memcpy(&a, &bits[3], 4);
          const float checker = dark ? 0.8f : 1.0f;
          const float out = v * a + checker * (1.0f - a);
          uint32_t outBits;
          std::memcpy(&outBits, &out, 4);
          PutU32(w, outBits);
        }
      }
    }
  }
}

void WriteDocument(PsdWriter *w) {
  WritePsdHeader(w);
  WriteColorModeData(w);
  WriteImageResources(w);
  WriteLayerMaskSection(w);
  WriteMergedImageData(w);
}

// The host's ICC profile, when the filter record offers one.
void HostProfile(const PluginGlobals *globals, const uint8_t **icc, int32_t *size) {
  *icc = nullptr;
  *size = 0;
  const FilterRecord *r = globals != nullptr ? globals->filterRecord : nullptr;
  if (r != nullptr && r->iCCprofileData != nullptr && *r->iCCprofileData != nullptr && r->iCCprofileSize > 0) {
    *icc = reinterpret_cast<const uint8_t *>(*r->iCCprofileData);
    *size = r->iCCprofileSize;
  }
}

// The metadata blocks: the keywords listed, then the IPTC resource (without the "Photoshop 3.0"
// prefix) and the Exif payload (without "Exif") built at their measured lengths.
void BuildMetadata(PluginGlobals *globals, const LayerExportDescription *d, IptcBuilder *iptc, ExifBuffer *exif) {
  InitIptcKeywords(iptc);
  AddHdrKeywords(iptc, d);
  AddModeKeywords(iptc, globals);
  ResetExifBlock(exif);
  BuildIptcResource(iptc, false, false);
  BuildExifBlock(exif, false, false);
}

bool Writable(const LayerExportDescription *d) {
  return d->width >= 1 && d->height >= 1 && d->width <= kPsdMaxSide && d->height <= kPsdMaxSide &&
         d->layerCount >= 1 && d->layerCount <= kLayerCount &&
         (d->bytesPerChannel == 1 || d->bytesPerChannel == 2 || d->bytesPerChannel == 4);
}

}  // namespace

bool MeasurePsdDocument(PluginGlobals *globals, const LayerExportDescription *d, PsdMeasure *m) {
  *m = PsdMeasure{};
  if (!Writable(d)) return false;
  IptcBuilder *iptc = nullptr;
  ExifBuffer exif{};
  static IptcBuilder keywords;   // large; measuring is not re-entered
  if (globals != nullptr) {
    iptc = &keywords;
    BuildMetadata(globals, d, iptc, &exif);
  }
  PsdWriter w{};
  w.globals = globals;
  w.d = d;
  w.iptc = iptc;
  w.exif = globals != nullptr ? &exif : nullptr;
  HostProfile(globals, &w.icc, &w.iccSize);
  m->layerInfo = Measure(&w, WriteLayerInfoBody);
  m->resources = Measure(&w, WriteResourceList);
  m->layerSection = Measure(&w, WriteLayerMaskSection) - 4;
  // The whole document once more, measuring, to see every length field against its width.
  WriteDocument(&w);
  m->total = w.count;
  if (iptc != nullptr) FreeIptcBuffer(iptc);
  FreeExifBlock(&exif);
  return !w.tooLong;
}

int16_t ExportLayersPsd(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag) {
  LayerExportDescription d;
  DescribeLayerExport(globals, &d);
  globals->progressLayer = 0;
  globals->progressExtra = kLayerCount;
  return WritePsdFile(globals, spec, cancelFlag, &d);
}

int16_t WritePsdFile(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag, LayerExportDescription *d) {
  RunState *run = globals->runState;
  if (run == nullptr) return kPsdNoImage;
  PsdMeasure measure;
  if (!MeasurePsdDocument(globals, d, &measure)) {
    if (gPsdRefusalProc != nullptr) gPsdRefusalProc(d->width, d->height, d->bytesPerChannel);
    return kPsdStopped;
  }

  static IptcBuilder iptc;   // one export at a time: the box refuses a second
  ExifBuffer exif;
  BuildMetadata(globals, d, &iptc, &exif);
  TiledMipImage *image = &run->exportImage;
  if (!CreateImageEx(image, d->width, d->height, StorageFormatOf(d), 0, 0)) {
    FreeIptcBuffer(&iptc);
    FreeExifBlock(&exif);
    return kPsdNoImage;
  }
  ParameterBlock *p = GetParameterBlock(globals);
  const uint32_t target = p->renderTarget;
  TiledMipImage *targetImage = run->renderTargetImage;
  p->renderTarget = 2;
  run->renderTargetImage = image;

  // The document goes into a new side file and takes the old one's place only when whole: a
  // cancel or a failure leaves the user's old document as it was.
  SafeSave save;
  int16_t result = kFileOk;
  if (!BeginSafeSave(spec, &save)) {
    result = kSpecOpenFailed;
  } else {
    BufferedFile file;
    BufWriterInit(&file, save.file);
    PsdWriter w{};
    w.file = &file;
    w.globals = globals;
    w.d = d;
    w.image = image;
    w.cancelFlag = cancelFlag;
    w.iptc = &iptc;
    w.exif = &exif;
    HostProfile(globals, &w.icc, &w.iccSize);
    WriteDocument(&w);
    result = BufWriterFlush(&file);
    if (BufWriterClose(&file) != kFileOk && result == kFileOk) result = kFileWriteError;
    save.file = kNoFile;
    // A cancelled document is short by design; any other shortfall is a fault of ours, and a
    // document whose lengths do not match what follows them must not be left behind.
    if (result == kFileOk && cancelFlag != nullptr && *cancelFlag != 0) result = kPsdStopped;
    if (result == kFileOk && w.count != measure.total) result = kFileWriteError;
    if (!EndSafeSave(&save, result == kFileOk) && result == kFileOk) result = kFileWriteError;
  }

  FreeImageTiles(image);
  p->renderTarget = target;
  run->renderTargetImage = targetImage;
  FreeIptcBuffer(&iptc);
  FreeExifBlock(&exif);
  return result;
}
