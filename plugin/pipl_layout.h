// pipl_layout.h -- the byte layout of the plug-in property list (resource 16000, type "PIPL"),
// which a host reads from the module's resources before it loads the code, and the values that
// Kivaglobe puts in it.
//
// Written by us from the published description of the property-list format; no vendor file
// was copied. resources/make_pipl.py writes the bytes by this layout; the stand-in host parses
// them with PiplFindProperty below; tests/plugin checks the one against the other.
//
// Layout on Windows (every multi-byte value little-endian, no alignment gaps):
//
//   offset 0   u16  reserved word, always 1
//          2   i32  property-list version, 0
//          6   i32  property count
//         10   properties, one after the other:
//                 u32  vendor, '8BIM'
//                 u32  key ('kind', 'name', ...)
//                 i32  id, 0
//                 u32  length of the data that follows, including its padding
//                 data, zero-padded to a multiple of 4 bytes
//
// A four-character code 'abcd' is stored as the little-endian 32-bit word 0x61626364, i.e.
// the bytes "dcba". Strings are either length-prefixed (one length byte, then the characters:
// name and category) or NUL-terminated (entry names, the enable expression, the scope string).
// A reader should step from one property to the next by (length + 3) & ~3, which is the
// length itself here.
//
// Property data used by Kivaglobe:
//   'kind'  u32 four-character code, '8BFM' for a filter
//   'name'  length-prefixed string "Kivaglobe..."
//   'catg'  length-prefixed string "Corvalane"
//   'vers'  u32 (major << 16) | minor of the interface version, 0x00040000 for 4.0
//   '8664'  NUL-terminated entry name of the x64 code, "PluginMain"   (Kivaglobe64)
//   'wx86'  NUL-terminated entry name of the x86 code, "ENTRYPOINT"   (Kivaglobe32)
//   'hstm'  terminology: i32 version 0, u32 class 'Kvgb', u32 event 'Kvgb',
//           i16 terminology resource id 16000, NUL-terminated scope "Corvalane Kivaglobe"
//   'mode'  two bytes of image-mode flags, byte by byte and not a little-endian number: the
//           first byte holds bitmap 0x80, grayscale 0x40, indexed 0x20, RGB 0x10, ...,
//           multichannel 0x01, the second duotone 0x80, Lab 0x40, Gray16 0x20, RGB48 0x10;
//           then 2 bytes of padding. Read as one big-endian word (PiplReadModeFlags), mode m
//           is the bit 0x8000 >> m; grayscale and RGB are the bytes 50 00
//   'enbl'  NUL-terminated enable expression
//   'fici'  seven 4-byte records, one per filter case 1..7: input handling, output handling,
//           flags byte 1, flags byte 2
#ifndef KIVAGLOBE_PLUGIN_PIPL_LAYOUT_H
#define KIVAGLOBE_PLUGIN_PIPL_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "plugin/host_interface.h"

// ---- The resource ---------------------------------------------------------------------------

constexpr int kPiplResourceId = 16000;
constexpr const char *kPiplResourceType = "PIPL";

constexpr uint16_t kPiplReservedWord = 1;
constexpr int32_t kPiplListVersion = 0;
constexpr size_t kPiplHeaderSize = 10;          // reserved word, version, count
constexpr size_t kPiplPropertyHeaderSize = 16;  // vendor, key, id, length
constexpr OSType4 kPiplVendor = FourCC('8', 'B', 'I', 'M');

// ---- Property keys ---------------------------------------------------------------------------

constexpr OSType4 kPiplKeyKind = FourCC('k', 'i', 'n', 'd');
constexpr OSType4 kPiplKeyName = FourCC('n', 'a', 'm', 'e');
constexpr OSType4 kPiplKeyCategory = FourCC('c', 'a', 't', 'g');
constexpr OSType4 kPiplKeyVersion = FourCC('v', 'e', 'r', 's');
constexpr OSType4 kPiplKeyCodeWin64 = FourCC('8', '6', '6', '4');
constexpr OSType4 kPiplKeyCodeWin32 = FourCC('w', 'x', '8', '6');
constexpr OSType4 kPiplKeyTerminology = FourCC('h', 's', 't', 'm');
constexpr OSType4 kPiplKeyModes = FourCC('m', 'o', 'd', 'e');
constexpr OSType4 kPiplKeyEnable = FourCC('e', 'n', 'b', 'l');
constexpr OSType4 kPiplKeyFilterCases = FourCC('f', 'i', 'c', 'i');

constexpr OSType4 kPiplKindFilter = FourCC('8', 'B', 'F', 'M');

// ---- Supported modes -------------------------------------------------------------------------

// The flag of an image mode 0..15 (host numbering, host_interface.h) in the 'mode' word, the
// property's two flag bytes read first byte high (PiplReadModeFlags).
constexpr uint16_t PiplModeBit(int mode) { return uint16_t(0x8000u >> mode); }

constexpr uint16_t kPiplModeBitmap = PiplModeBit(kModeBitmap);            // 0x8000
constexpr uint16_t kPiplModeGrayScale = PiplModeBit(kModeGrayScale);      // 0x4000
constexpr uint16_t kPiplModeIndexed = PiplModeBit(kModeIndexed);          // 0x2000
constexpr uint16_t kPiplModeRGB = PiplModeBit(kModeRGB);                  // 0x1000
constexpr uint16_t kPiplModeCMYK = PiplModeBit(kModeCMYK);                // 0x0800
constexpr uint16_t kPiplModeMultichannel = PiplModeBit(kModeMultichannel);  // 0x0100
constexpr uint16_t kPiplModeGray16 = PiplModeBit(kModeGray16);            // 0x0020
constexpr uint16_t kPiplModeRGB48 = PiplModeBit(kModeRGB48);              // 0x0010
static_assert(kPiplModeRGB == 0x1000 && kPiplModeGray16 == 0x0020);

// ---- Filter case information -----------------------------------------------------------------

struct PiplFilterCaseInfo {
  uint8_t inputHandling;
  uint8_t outputHandling;
  uint8_t flags1;
  uint8_t flags2;
};
static_assert(sizeof(PiplFilterCaseInfo) == 4);
constexpr int kPiplFilterCaseCount = 7;   // the cases 1..7 of host_interface.h, in that order

// Input and output handling.
enum : uint8_t {
  kPiplHandlingCantFilter = 0,
  kPiplHandlingStraightData = 1,
  kPiplHandlingBlackMat = 2,
  kPiplHandlingGrayMat = 3,
  kPiplHandlingWhiteMat = 4,
  kPiplHandlingDefringe = 5,
  kPiplHandlingBlackZap = 6,
  kPiplHandlingGrayZap = 7,
  kPiplHandlingWhiteZap = 8,
  kPiplHandlingFillMask = 9,
  kPiplHandlingBackgroundZap = 10,
  kPiplHandlingForegroundZap = 11,
};

// Bits of flags1.
enum : uint8_t {
  kPiplCaseDontCopyToDestination = 0x01,
  kPiplCaseWorksWithBlankData = 0x02,
  kPiplCaseFiltersLayerMasks = 0x04,
  kPiplCaseWritesOutsideSelection = 0x08,
};

// ---- Kivaglobe's values ----------------------------------------------------------------------

constexpr const char *kPiplName = "Kivaglobe...";
constexpr const char *kPiplCategory = "Corvalane";
constexpr uint32_t kPiplFilterVersion = 0x00040000;   // 4.0
constexpr const char *kPiplEntryWin64 = "PluginMain";
constexpr const char *kPiplEntryWin32 = "ENTRYPOINT";
constexpr int32_t kPiplTerminologyVersion = 0;
constexpr OSType4 kPiplTerminologyClass = FourCC('K', 'v', 'g', 'b');
constexpr OSType4 kPiplTerminologyEvent = FourCC('K', 'v', 'g', 'b');
constexpr int16_t kPiplTerminologyResource = 16000;
constexpr const char *kPiplTerminologyScope = "Corvalane Kivaglobe";
constexpr uint16_t kPiplSupportedModes = kPiplModeGrayScale | kPiplModeRGB;   // 0x5000
constexpr const char *kPiplEnableExpression =
    "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ";
constexpr PiplFilterCaseInfo kPiplFilterCases[kPiplFilterCaseCount] = {
    {kPiplHandlingStraightData, kPiplHandlingStraightData, kPiplCaseDontCopyToDestination, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData, kPiplCaseDontCopyToDestination, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData, kPiplCaseDontCopyToDestination, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData,
     kPiplCaseDontCopyToDestination | kPiplCaseWorksWithBlankData, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData,
     kPiplCaseDontCopyToDestination | kPiplCaseWorksWithBlankData, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData,
     kPiplCaseDontCopyToDestination | kPiplCaseWorksWithBlankData, 0},
    {kPiplHandlingStraightData, kPiplHandlingStraightData,
     kPiplCaseDontCopyToDestination | kPiplCaseWorksWithBlankData, 0},
};
constexpr int kPiplPropertyCount = 9;   // kind, name, catg, vers, code, hstm, mode, enbl, fici

// ---- Reading ---------------------------------------------------------------------------------

// Little-endian reads from a byte buffer.
inline uint32_t PiplReadU32(const uint8_t *p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t PiplReadU16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

// The 'mode' property's flag bytes as one word: the first byte is the high one, whatever the
// byte order of the rest of the list.
inline uint16_t PiplReadModeFlags(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }

// Finds the first '8BIM' property with `key` in a property list of `size` bytes. On success
// sets *data to its first data byte and *length to its data length (clipped to the list) and
// returns true; false when the list is malformed or has no such property.
inline bool PiplFindProperty(const uint8_t *list, size_t size, OSType4 key, const uint8_t **data,
                             uint32_t *length) {
  if (list == nullptr || size < kPiplHeaderSize || PiplReadU16(list) != kPiplReservedWord) return false;
  uint32_t count = PiplReadU32(list + 6);
  size_t at = kPiplHeaderSize;
  for (uint32_t i = 0; i < count; i++) {
    if (size - at < kPiplPropertyHeaderSize) return false;
    uint32_t vendor = PiplReadU32(list + at);
    uint32_t propertyKey = PiplReadU32(list + at + 4);
    uint32_t propertyLength = PiplReadU32(list + at + 12);
    at += kPiplPropertyHeaderSize;
    if (propertyLength > size - at) return false;
    if (vendor == kPiplVendor && propertyKey == key) {
      *data = list + at;
      *length = propertyLength;
      return true;
    }
    size_t step = (size_t(propertyLength) + 3) & ~size_t(3);
    if (step > size - at) return false;
    at += step;
  }
  return false;
}

// A length-prefixed string property copied into a NUL-terminated buffer of `capacity` bytes.
inline bool PiplReadPascalString(const uint8_t *data, uint32_t length, char *out, size_t capacity) {
  if (length < 1 || capacity == 0 || size_t(data[0]) + 1 > length || size_t(data[0]) + 1 > capacity) return false;
  std::memcpy(out, data + 1, data[0]);
  out[data[0]] = 0;
  return true;
}

// A NUL-terminated string property of `length` bytes starting at `data + skip`, checked to be
// terminated inside the property; returns the string or null.
inline const char *PiplCString(const uint8_t *data, uint32_t length, uint32_t skip) {
  if (skip >= length || std::memchr(data + skip, 0, length - skip) == nullptr) return nullptr;
  return reinterpret_cast<const char *>(data + skip);
}

#endif  // KIVAGLOBE_PLUGIN_PIPL_LAYOUT_H
