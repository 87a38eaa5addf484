// cloud_source.cpp -- the built-in cloud sources and the completion of their addresses.
//
// The hosts are reserved example domains: the plug-in ships without a live picture server, and
// a downloaded source list supplies real addresses. Tests reach their loopback server through
// the download's redirection seam (cloud_download.h), never through these names.
#include "clouds/cloud_source.h"

#include <cstdio>
#include <cstring>

#include "foundation/strings.h"

namespace {

#define KV_WEATHER_SERVER "http://weather.example.org"
#define KV_ARCHIVE_SERVER "http://satellite.example.net"

struct BuiltInSource {
  const char *label;
  float box[4];
  float black, white;
  int32_t overlay1, overlay2, variant, urlForm, flags;
  const char *url;
};

const BuiltInSource kBuiltIn[kBuiltInCloudSourceCount] = {
    {"GOES-10 infrared 18 km", {1, 473, 15, 450}, 0.4f, 0.9f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/west/latest_westirhem.gif"},
    {"GOES-10 water vapor 18 km", {1, 473, 15, 450}, 0.4f, 0.9f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/west/latest_westwvhem.gif"},
    {"GOES-10 visible light 18 km", {1, 474, 15, 450}, 0.4f, 1.0f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/west/latest_westvishem.gif"},
    {"GOES-8 infrared 18 km", {3, 475, 14, 450}, 0.4f, 0.9f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/east/latest_eastirhem.gif"},
    {"GOES-8 water vapor 18 km", {3, 475, 14, 450}, 0.4f, 0.9f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/east/latest_eastwvhem.gif"},
    {"GOES-8 visible light 18 km", {3, 475, 14, 450}, 0.4f, 1.0f, 2, -1, 1, 0, 1,
     KV_WEATHER_SERVER "/data/east/latest_eastvishem.gif"},
    {"GOES-West visible 4 km", {52, 2709, 273, 2652}, 0.6f, 1.0f, 0, 1, 2, 3, 0,
     KV_ARCHIVE_SERVER "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES11_1_S1.jpeg"},
    {"GOES-West infrared 4 km", {52, 2709, 273, 2697}, 0.0f, 1.0f, 0, 1, 2, 3, 0,
     KV_ARCHIVE_SERVER "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES11_4_S1.jpeg"},
    {"Meteosat 2G water vapor 4 km", {79, 3554, 56, 3595}, 0.0f, 1.0f, 0, 1, 2, 3, 0,
     KV_ARCHIVE_SERVER "/xrit/000.0E/MSG/>c>y/>p/>q/600/>c>y_>p_>q_600_MSG2_5_S1.jpeg"},
    {"METEOSAT-7 infrared 4 km", {49, 2402, 52, 2397}, 0.25f, 1.0f, 0, 1, 2, 3, 0,
     KV_ARCHIVE_SERVER "/xrit/057.0E/MET/>c>y/>p/>q/1800/>c>y_>p_>q_1800_MET7_2_S1.jpeg"},
};

void FreshCloudSource(CloudSource *r) {
  std::memset(r, 0, sizeof *r);
  r->boxX = 1;
  r->boxWidth = 473;
  r->boxY = 15;
  r->boxHeight = 450;
  r->blackLevel = 0;
  r->whiteLevel = 1;
  r->overlayIndex1 = -1;
  r->overlayIndex2 = -1;
  r->variant = 1;
  r->urlForm = kUrlAsIs;
  r->threshold = 0.5f;
  StrCopy(r->label, "n/a", kCloudTextCapacity);
}

// Appends the stamp and ".gif" whole, or nothing.
bool AppendStamp(char *url, const char *stamp) {
  const size_t length = std::strlen(url);
  if (length + std::strlen(stamp) + 4 >= size_t(kCloudTextCapacity)) return false;
  StrAppend(url, stamp, kCloudTextCapacity);
  return AppendGifExtension(url, kCloudTextCapacity);
}

}  // namespace

int16_t GetCloudSource(int32_t index, CloudSource *record) {
  FreshCloudSource(record);
  if (index < 0 || index >= kBuiltInCloudSourceCount) return kCloudSourceMissing;
  const BuiltInSource &s = kBuiltIn[index];
  record->boxX = s.box[0];
  record->boxWidth = s.box[1];
  record->boxY = s.box[2];
  record->boxHeight = s.box[3];
  record->blackLevel = s.black;
  record->whiteLevel = s.white;
  record->overlayIndex1 = s.overlay1;
  record->overlayIndex2 = s.overlay2;
  record->variant = s.variant;
  record->urlForm = s.urlForm;
  record->flags = s.flags;
  record->present = 1;
  StrCopy(record->url, s.url, kCloudTextCapacity);
  StrCopy(record->label, s.label, kCloudTextCapacity);
  return kCloudSourceOk;
}

uint32_t ReducedDay(uint32_t day) { return day > 1 ? day - 1 : 1; }

bool MakeNoonTimeStamp(char *url, const UtcDateHour &when) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%02u%02u%02u1200", when.year % 100, when.month, ReducedDay(when.day));
  return AppendStamp(url, stamp);
}

bool MakeHourTimeStamp(char *url, const UtcDateHour &when) {
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%02u%02u%02u%02u00", when.year % 100, when.month, when.day,
                when.hour / 3 * 3);
  return AppendStamp(url, stamp);
}

void ExpandUrlTemplate(char *url, const UtcDateHour &when) {
  const uint32_t day = ReducedDay(when.day);
  const uint32_t h = when.hour;
  struct Code {
    char letter;
    uint32_t value;
    bool twoDigits;
  };
  const Code codes[12] = {{'c', when.year / 100, true}, {'y', when.year % 100, true}, {'m', when.month, true},
                          {'d', day, true},             {'h', h, true},               {'i', h / 3 * 3, true},
                          {'j', h / 4 * 4, true},       {'k', h / 6 * 6, true},       {'l', h / 8 * 8, true},
                          {'n', h / 12 * 12, true},     {'p', when.month, false},     {'q', day, false}};
  char result[kCloudTextCapacity];
  size_t out = 0;
  const size_t length = std::strlen(url);
  for (size_t i = 0; i < length; i++) {
    bool matched = false;
    if (url[i] == '>' && i + 1 < length) {
      for (const Code &code : codes) {
        if (url[i + 1] != code.letter) continue;
        char digits[16];
        const int n = std::snprintf(digits, sizeof digits, code.twoDigits ? "%02u" : "%u", code.value % 100);
        for (int k = 0; k < n && out + 1 < sizeof result; k++) result[out++] = digits[k];
        i++;   // the code's letter is passed over
        matched = true;
        break;
      }
    }
    if (!matched && out + 1 < sizeof result) result[out++] = url[i];
  }
  result[out] = 0;
  StrCopy(url, result, kCloudTextCapacity);
}

bool CompleteCloudUrl(CloudSource *record, const UtcDateHour &when) {
  switch (record->urlForm) {
    case kUrlNoonStamp:
      return MakeNoonTimeStamp(record->url, when);
    case kUrlHourStamp:
      return MakeHourTimeStamp(record->url, when);
    case kUrlDateCodes:
      ExpandUrlTemplate(record->url, when);
      return true;
    default:
      return true;
  }
}
