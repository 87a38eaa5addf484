// jpeg_markers.h -- the payloads of the markers we add to every JPEG: the comment, the Exif
// block naming the program, and the IPTC resource with its keywords.
//
// Writers of nested formats need a section's length before they write the section, so every
// builder here runs in one of two ways: measuring (nothing is allocated or written, the byte
// count is returned) or building (the bytes are written into a block of the builder's own).
// A builder is built once: building a record that already holds a block returns 0 and leaves
// it alone; FreeExifBlock / FreeIptcBuffer give the block back.
//
// Blocks come from NewPointer (global memory). A builder that cannot get its block writes
// nothing and counts 0. A null builder counts 0.
#ifndef KIVAGLOBE_FILES_JPEG_MARKERS_H
#define KIVAGLOBE_FILES_JPEG_MARKERS_H

#include <cstdint>

// The text of the comment marker and of the IPTC source dataset: our web address, exactly 27
// characters. The comment carries it with its NUL (28 bytes), the IPTC dataset without.
extern const char kMakerWebAddress[];
constexpr int32_t kMakerWebAddressLength = 27;

// ---- Exif ----------------------------------------------------------------------------------
//
// A big-endian TIFF structure with one IFD of one entry, the tag that names the software that
// made the picture ("Kivaglobe"). 36 bytes, 42 with the "Exif\0\0" prefix of the APP1 marker.

constexpr int32_t kExifBlockSize = 1000;

struct ExifBuffer {
  uint8_t *start;   // the block; null until built
  uint8_t *write;   // the next byte to write
  int32_t count;    // bytes written (or counted while measuring)
};

// Clears the record (no block). For a fresh record, or one whose block was freed.
void ResetExifBlock(ExifBuffer *exif);

// Measures or builds the payload, with or without the prefix. Returns the byte count; 0 when
// the record already holds a block or the block cannot be had.
int32_t BuildExifBlock(ExifBuffer *exif, bool prefix, bool measure);

// Gives the block back and clears the record. Nothing for a null record.
void FreeExifBlock(ExifBuffer *exif);

// Append to a block being built, or only count while the record has no block.
void PutExifByte(ExifBuffer *exif, uint8_t value);
void PutExifU16BE(ExifBuffer *exif, uint16_t value);
void PutExifString(ExifBuffer *exif, const char *text, bool withNul);

// ---- IPTC ----------------------------------------------------------------------------------
//
// Record-2 datasets (1C 02, dataset number, 16-bit big-endian length, bytes): the record
// version, our web address as the source, today's UTC date, the caption "Made with Kivaglobe",
// the keyword "Kivaglobe" and then one keyword dataset per listed keyword. The data is padded
// to an even length. The resource wraps it: ["Photoshop 3.0\0"] "8BIM" 04 04 00 00 length32.

constexpr int32_t kIptcKeywordSlots = 21;
constexpr int32_t kIptcKeywordSize = 50;    // 49 characters and the NUL
constexpr int32_t kIptcMaxKeywords = 19;

struct IptcBuilder {
  uint8_t *start;     // the block; null until built
  uint8_t *write;     // the next byte to write
  int32_t count;      // bytes written (or counted while measuring)
  int32_t capacity;   // bytes in the block
  char keywords[kIptcKeywordSlots][kIptcKeywordSize];
  int32_t keywordCount;
};

// An empty keyword list and no block. For a fresh record, or one whose block was freed.
void InitIptcKeywords(IptcBuilder *iptc);

// Lists a keyword unless it is empty, longer than 49 characters, the list holds 19 already, or
// a listed keyword begins with it (ignoring ASCII case): "cloud" is refused while "Cloud mask"
// is listed, while "cloud mask" is taken next to "cloud". True when listed.
bool AddIptcKeyword(IptcBuilder *iptc, const char *text);

// Keyword i (0-based) into text (kIptcKeywordSize bytes); empty when there is none.
void GetIptcKeyword(const IptcBuilder *iptc, int32_t i, char *text);

// The IPTC data: measured (the record is not changed), or appended to the record's block.
// Returns the data's byte count (even).
int32_t BuildIptcData(IptcBuilder *iptc, bool measure);

// The resource around the data, with or without the "Photoshop 3.0" prefix. Building
// allocates a block of exactly the measured length. Returns the byte count; 0 when the record
// already holds a block or the block cannot be had.
int32_t BuildIptcResource(IptcBuilder *iptc, bool prefix, bool measure);

// Gives the block back (the keyword list stays). Nothing for a null record.
void FreeIptcBuffer(IptcBuilder *iptc);

// Append to a block being built, or only count while the record has no block.
void PutIptcByte(IptcBuilder *iptc, uint8_t value);
void PutIptcString(IptcBuilder *iptc, const char *text, int32_t length);
void PutIptcDataset(IptcBuilder *iptc, uint8_t dataset, const char *bytes, int32_t length);

#endif  // KIVAGLOBE_FILES_JPEG_MARKERS_H
