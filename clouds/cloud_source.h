// cloud_source.h -- where a satellite cloud picture comes from, and how its address is completed.
//
// A CloudSource names the picture's address, where the earth disc lies in it, how its grey
// levels map to cloud density and which clean-up steps it needs. Ten sources are built in; a
// downloaded source list (cloud_files.h) replaces them with up to twelve. Addresses of the
// dated sources carry date codes (">y", ">m", ...) or get a time stamp appended, both from the
// current UTC date and hour.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_SOURCE_H
#define KIVAGLOBE_CLOUDS_CLOUD_SOURCE_H

#include <cstdint>

constexpr int32_t kCloudSourceCount = 12;        // slots of the source table and of the list file
constexpr int32_t kBuiltInCloudSourceCount = 10;
constexpr int32_t kCloudTextCapacity = 260;      // the URL and label fields, NUL included
constexpr int32_t kBuiltInListVersion = 6;

enum : int16_t {
  kCloudSourceOk = 0,
  kCloudSourceNoRecord = 1,
  kCloudSourceMissing = 3,   // no such source, or its completed address would not fit
};

// Values of urlForm.
enum : int32_t {
  kUrlAsIs = 0,
  kUrlNoonStamp = 1,     // + "yymmdd1200.gif" of yesterday (see ReducedDay)
  kUrlHourStamp = 2,     // + "yymmddhh00.gif" of today, the hour in steps of 3
  kUrlDateCodes = 3,     // the ">x" codes replaced in place
};

// Bits of flags.
enum : int32_t {
  kCloudRemoveOverlay = 1,
  kCloudDetectDisc = 2,
};

struct CloudSource {
  float boxX, boxWidth, boxY, boxHeight;   // the earth disc's box in picture pixels
  float blackLevel, whiteLevel;            // grey levels (0..1) of no cloud and of full cloud
  int32_t overlayIndex1, overlayIndex2;    // palette indices of the overlay drawing; -1 none
  int32_t variant;                         // kept through the list file; nothing reads it
  int32_t urlForm;
  int32_t flags;
  float threshold;                         // grey level (0..1) for finding the disc box
  int32_t extra[8];                        // spare words, kept through the list file
  uint8_t present;                         // 1 when the record holds a source
  char url[kCloudTextCapacity];
  char label[kCloudTextCapacity];
};

// The current UTC date and hour that the address codes are made from.
struct UtcDateHour {
  uint32_t year, month, day, hour;
};

// The fresh values, then row `index` of the built-in table (present 1): 0 for 0..9, else 3.
int16_t GetCloudSource(int32_t index, CloudSource *record);

// The day used by the noon stamp and the day codes: yesterday, except on the first of a month,
// which stays 1 (the month is never changed).
uint32_t ReducedDay(uint32_t day);

// Append the stamps to a URL field of kCloudTextCapacity bytes; false, and the URL unchanged,
// when the stamp would not fit.
bool MakeNoonTimeStamp(char *url, const UtcDateHour &when);
bool MakeHourTimeStamp(char *url, const UtcDateHour &when);

// Replaces the date codes of the URL in place (the result is never longer).
void ExpandUrlTemplate(char *url, const UtcDateHour &when);

// Completes the record's address by its urlForm; false when the result would not fit.
bool CompleteCloudUrl(CloudSource *record, const UtcDateHour &when);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_SOURCE_H
