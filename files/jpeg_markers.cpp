// jpeg_markers.cpp -- the Exif and IPTC builders (see jpeg_markers.h).
//
// Each builder writes through its own Put routines, which either store a byte and advance or,
// while the record has no block, only count. Measuring is therefore the building code run
// against a record without a block, and the two can never disagree about a length.
#include "files/jpeg_markers.h"

#include <cstdio>
#include <cstring>

#include "foundation/clock.h"
#include "foundation/strings.h"
#include "plugin/host_memory.h"

const char kMakerWebAddress[] = "http://www.example.com/kvg/";
static_assert(sizeof(kMakerWebAddress) == kMakerWebAddressLength + 1);

static const char kProgramName[] = "Kivaglobe";
static const char kCaptionText[] = "Made with Kivaglobe";
static const char kPhotoshopPrefix[] = "Photoshop 3.0";   // written with its NUL: 14 bytes

// ---- Exif ----------------------------------------------------------------------------------

void ResetExifBlock(ExifBuffer *exif) {
  if (exif == nullptr) return;
  exif->start = nullptr;
  exif->write = nullptr;
  exif->count = 0;
}

void PutExifByte(ExifBuffer *exif, uint8_t value) {
  if (exif->start != nullptr) {
    if (exif->write - exif->start >= kExifBlockSize) return;
    *exif->write++ = value;
  }
  exif->count++;
}

void PutExifU16BE(ExifBuffer *exif, uint16_t value) {
  PutExifByte(exif, uint8_t(value >> 8));
  PutExifByte(exif, uint8_t(value));
}

void PutExifString(ExifBuffer *exif, const char *text, bool withNul) {
  for (const char *c = text; *c != 0; c++) PutExifByte(exif, uint8_t(*c));
  if (withNul) PutExifByte(exif, 0);
}

// The payload: TIFF header, an IFD of one ASCII entry whose value follows the IFD.
static void PutExifPayload(ExifBuffer *exif, bool prefix) {
  if (prefix) {
    PutExifString(exif, "Exif", true);
    PutExifByte(exif, 0);
  }
  PutExifString(exif, "MM", false);   // big-endian
  PutExifU16BE(exif, 0x002A);
  PutExifU16BE(exif, 0x0000);         // first IFD at offset 8
  PutExifU16BE(exif, 0x0008);
  PutExifU16BE(exif, 0x0001);         // one entry
  PutExifU16BE(exif, 0x0131);         // the software that made the picture
  PutExifU16BE(exif, 0x0002);         // ASCII
  PutExifU16BE(exif, 0x0000);         // count 10: the name and its NUL
  PutExifU16BE(exif, 0x000A);
  PutExifU16BE(exif, 0x0000);         // value at offset 26, right after the IFD
  PutExifU16BE(exif, 0x001A);
  PutExifU16BE(exif, 0x0000);         // no next IFD
  PutExifU16BE(exif, 0x0000);
  PutExifString(exif, kProgramName, true);
}

int32_t BuildExifBlock(ExifBuffer *exif, bool prefix, bool measure) {
  if (exif == nullptr || exif->start != nullptr) return 0;
  exif->write = nullptr;
  exif->count = 0;
  if (!measure) {
    exif->start = static_cast<uint8_t *>(NewPointer(kExifBlockSize));
    if (exif->start == nullptr) return 0;
    exif->write = exif->start;
  }
  PutExifPayload(exif, prefix);
  return exif->count;
}

void FreeExifBlock(ExifBuffer *exif) {
  if (exif == nullptr) return;
  DisposePointer(exif->start);
  ResetExifBlock(exif);
}

// ---- IPTC ----------------------------------------------------------------------------------

void InitIptcKeywords(IptcBuilder *iptc) {
  if (iptc == nullptr) return;
  std::memset(iptc, 0, sizeof *iptc);
}

// True when `text` is where `keyword` begins, ignoring ASCII case.
static bool KeywordBeginsWith(const char *keyword, const char *text) {
  for (; *text != 0; keyword++, text++) {
    if (LowerAsciiChar(*keyword) != LowerAsciiChar(*text)) return false;
  }
  return true;
}

bool AddIptcKeyword(IptcBuilder *iptc, const char *text) {
  if (iptc == nullptr || text == nullptr) return false;
  size_t length = strnlen(text, kIptcKeywordSize);
  if (length == 0 || length > size_t(kIptcKeywordSize - 1)) return false;
  if (iptc->keywordCount < 0 || iptc->keywordCount >= kIptcMaxKeywords) return false;
  for (int32_t i = 0; i < iptc->keywordCount; i++) {
    if (KeywordBeginsWith(iptc->keywords[i], text)) return false;
  }
  std::memcpy(iptc->keywords[iptc->keywordCount], text, length);
  iptc->keywords[iptc->keywordCount][length] = 0;
  iptc->keywordCount++;
  return true;
}

void GetIptcKeyword(const IptcBuilder *iptc, int32_t i, char *text) {
  if (text == nullptr) return;
  text[0] = 0;
  if (iptc == nullptr || i < 0 || i >= iptc->keywordCount || i >= kIptcKeywordSlots) return;
  StrCopy(text, iptc->keywords[i], kIptcKeywordSize);
}

void PutIptcByte(IptcBuilder *iptc, uint8_t value) {
  if (iptc->start != nullptr) {
    if (iptc->write - iptc->start >= iptc->capacity) return;
    *iptc->write++ = value;
  }
  iptc->count++;
}

void PutIptcString(IptcBuilder *iptc, const char *text, int32_t length) {
  for (int32_t i = 0; i < length; i++) PutIptcByte(iptc, uint8_t(text[i]));
}

void PutIptcDataset(IptcBuilder *iptc, uint8_t dataset, const char *bytes, int32_t length) {
  PutIptcByte(iptc, 0x1C);
  PutIptcByte(iptc, 0x02);
  PutIptcByte(iptc, dataset);
  PutIptcByte(iptc, uint8_t(length >> 8));
  PutIptcByte(iptc, uint8_t(length));
  PutIptcString(iptc, bytes, length);
}

// Record-2 dataset numbers.
enum : uint8_t {
  kIptcRecordVersion = 0,
  kIptcKeyword = 25,
  kIptcDateCreated = 55,
  kIptcSource = 115,
  kIptcCaption = 120,
};

// The datasets, through the Put routines; returns the bytes they added.
static int32_t PutIptcData(IptcBuilder *iptc) {
  int32_t before = iptc->count;
  static const char kVersion[2] = {0x00, 0x02};
  PutIptcDataset(iptc, kIptcRecordVersion, kVersion, 2);
  PutIptcDataset(iptc, kIptcSource, kMakerWebAddress, kMakerWebAddressLength);
  uint32_t year, month, day, hour;
  GetUtcDateHour(&year, &month, &day, &hour);
  char date[32];
  std::snprintf(date, sizeof date, "%04u%02u%02u", year % 10000u, month % 100u, day % 100u);
  PutIptcDataset(iptc, kIptcDateCreated, date, 8);
  PutIptcDataset(iptc, kIptcCaption, kCaptionText, int32_t(sizeof kCaptionText - 1));
  PutIptcDataset(iptc, kIptcKeyword, kProgramName, int32_t(sizeof kProgramName - 1));
  int32_t listed = iptc->keywordCount < kIptcKeywordSlots ? iptc->keywordCount : kIptcKeywordSlots;
  for (int32_t i = 0; i < listed; i++) {
    int32_t length = int32_t(strnlen(iptc->keywords[i], kIptcKeywordSize - 1));
    if (length > 0) PutIptcDataset(iptc, kIptcKeyword, iptc->keywords[i], length);
  }
  if ((iptc->count - before) & 1) PutIptcByte(iptc, 0);
  return iptc->count - before;
}

int32_t BuildIptcData(IptcBuilder *iptc, bool measure) {
  if (iptc == nullptr) return 0;
  if (measure) {
    IptcBuilder counter = *iptc;
    counter.start = nullptr;
    counter.write = nullptr;
    counter.count = 0;
    return PutIptcData(&counter);
  }
  return PutIptcData(iptc);
}

int32_t BuildIptcResource(IptcBuilder *iptc, bool prefix, bool measure) {
  if (iptc == nullptr) return 0;
  int32_t data = BuildIptcData(iptc, true);
  int32_t total = (prefix ? int32_t(sizeof kPhotoshopPrefix) : 0) + 12 + data;
  if (measure) return total;
  if (iptc->start != nullptr) return 0;
  // The block is exactly as long as the measure: 19 keywords of 49 characters need more than
  // a fixed-size block would hold.
  iptc->start = static_cast<uint8_t *>(NewPointer(size_t(total)));
  iptc->count = 0;
  if (iptc->start == nullptr) {
    iptc->write = nullptr;
    iptc->capacity = 0;
    return 0;
  }
  iptc->write = iptc->start;
  iptc->capacity = total;
  if (prefix) PutIptcString(iptc, kPhotoshopPrefix, int32_t(sizeof kPhotoshopPrefix));
  PutIptcString(iptc, "8BIM", 4);
  PutIptcByte(iptc, 0x04);   // resource 0x0404: IPTC data
  PutIptcByte(iptc, 0x04);
  PutIptcByte(iptc, 0x00);   // empty name, padded to even length
  PutIptcByte(iptc, 0x00);
  PutIptcByte(iptc, uint8_t(uint32_t(data) >> 24));
  PutIptcByte(iptc, uint8_t(uint32_t(data) >> 16));
  PutIptcByte(iptc, uint8_t(uint32_t(data) >> 8));
  PutIptcByte(iptc, uint8_t(data));
  PutIptcData(iptc);
  return iptc->count;
}

void FreeIptcBuffer(IptcBuilder *iptc) {
  if (iptc == nullptr) return;
  DisposePointer(iptc->start);
  iptc->start = nullptr;
  iptc->write = nullptr;
  iptc->count = 0;
  iptc->capacity = 0;
}
