// settings_read.cpp -- the reader of settings files of every version, 1 to 40.
//
// The file is read word by word into a scratch copy of the ParameterBlock, in the order in
// which each version wrote it, and the upgrades of older versions are applied to the scratch
// copy as soon as the values they depend on are in. Only when the whole fixed part of the
// file's version has been read is anything applied: in apply mode the carried fields are
// copied into the live block, and a legacy picture goes into the thumbnail. A short, empty or
// unknown file therefore leaves everything as it was. (Reading into the live block directly,
// an empty cached-settings file would have set planetSize to whatever a failed read left in
// the word: 0x41000000 on one system.)
//
// Version history, as the reader sees it (V is the file's version word):
//
//     V >= 2   spare colour, land texture, cloud coverage, real Luna (off/on was 0/1 - 1 before 11)
//     V >= 3   output mode; before 32 only "composite" survives, every other mode becomes normal
//     V >= 4   cities, cloud viscosity, lunar climate
//     V >= 5   ice, cloud texture (inverted before 13)
//     V >= 8   light and axis vectors
//     V >= 12  random seed; 14 cloud coriolis; 17 cloud image; 18 desert and ice colours
//     V >= 22  legacy picture block (until 39); 23 city colour; 30 map centre; 40 thumbnail
//
// Steps that set values for old versions (land complexity 57 before 19, no craters before 20,
// land texture 50 before 21, air depth / 0.3 and no cities before 24, land texture scaled by
// cloud texture before 25, the land colour of version 30) follow in the order in which the
// versions introduced them.
#include <cstring>

#include "files/jpeg_codec.h"
#include "files/settings_fields.h"
#include "files/settings_file.h"
#include "files/thumbnails.h"
#include "foundation/binary_io.h"
#include "foundation/fast_math.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"
#include "plugin/output_passes.h"

namespace {

// Reads words until the first failure; later reads do nothing and leave their destinations.
struct WordReader {
  FileHandle file;
  int16_t error;
};

bool ReadWord(WordReader *reader, uint32_t *value) {
  if (reader->error != 0) return false;
  uint32_t word = 0;
  reader->error = ReadU32BE(&word, reader->file);
  if (reader->error != 0) return false;
  *value = word;
  return true;
}

void ReadColor(WordReader *reader, ParameterColor *color) {
  uint32_t word;
  if (ReadWord(reader, &word)) color->red = uint16_t(word);
  if (ReadWord(reader, &word)) color->green = uint16_t(word);
  if (ReadWord(reader, &word)) color->blue = uint16_t(word);
}

// A float stored x 100 or x 65536: the signed word times 0.01 or 1/65536 in double.
void ReadScaled(WordReader *reader, float *value, double factor) {
  uint32_t word;
  if (ReadWord(reader, &word)) *value = float(double(int32_t(word)) * factor);
}

void ReadVector(WordReader *reader, float vector[3]) {
  for (int i = 0; i < 3; i++) ReadScaled(reader, &vector[i], 0.01);
}

void SkipWord(WordReader *reader) {
  uint32_t ignored;
  ReadWord(reader, &ignored);
}

// trunc(value / 0.3) within the range of a word.
uint32_t DivideByThreeTenths(uint32_t value) {
  double scaled = double(value) / 0.3;
  if (scaled >= 4294967295.0) return UINT32_MAX;
  return uint32_t(scaled);
}

// Reads the fixed part of a file of version v (1..40) into `s`, with the upgrades. The legacy
// picture of versions 22..39 goes into `legacy`.
void ReadFixedPart(PluginGlobals *globals, WordReader *reader, uint32_t v, ParameterBlock *s, TiledMipImage *legacy,
                   int32_t *legacySide, bool *legacyFound) {
  ReadColor(reader, &s->landColor);
  ReadColor(reader, &s->airColor);
  ReadColor(reader, &s->seaColor);
  uint32_t *const firstWords[15] = {&s->airDepth,      &s->cloudHeight, &s->cloudShadows, &s->sunset,
                                    &s->planetSize,    &s->landComplexity, &s->reliefSetting, &s->stormSize,
                                    &s->stormCount,    &s->stormSwirl,  &s->airBrightness, &s->realClouds,
                                    &s->backlighting,  &s->seaLevel,    &s->desert};
  for (uint32_t *word : firstWords) ReadWord(reader, word);
  if (v < 15) s->desert = 100 - s->desert;

  ReadWord(reader, &s->craterCount);
  ReadWord(reader, &s->craterSize);
  ReadWord(reader, &s->craterTexture);
  ReadWord(reader, &s->cloudEdges);
  ReadWord(reader, &s->cloudSetting);
  ReadColor(reader, &s->cloudColor);
  ReadColor(reader, &s->cloudColor);   // the second copy wins

  if (v >= 2) {
    ReadColor(reader, &s->spareColor);
    ReadWord(reader, &s->landTexture);
    ReadWord(reader, &s->cloudCoverage);
    ReadWord(reader, &s->realLuna);
    if (v < 11) s->realLuna = s->realLuna + 1;
  }
  if (v >= 3) {
    ReadWord(reader, &s->outputMode);
    SkipWord(reader);   // marker
  }
  if (v < 32) s->outputMode = s->outputMode == 11 ? 2 : 1;
  if (v >= 4) {
    ReadWord(reader, &s->cities);
    ReadWord(reader, &s->cloudViscosity);
    ReadWord(reader, &s->lunarClimate);
  }
  if (v >= 5) {
    ReadWord(reader, &s->ice);
    ReadWord(reader, &s->cloudTexture);
    if (v < 13) s->cloudTexture = 100 - s->cloudTexture;
  }
  if (v < 7) {
    s->cloudColor = s->landColor;
    s->ice = 100;
    s->airBrightness = 50;
  }
  if (v >= 8) ReadVector(reader, s->lightVector);
  if (v < 9) s->landTexture = 0;
  if (v >= 8) ReadVector(reader, s->axisVector);
  if (v >= 12) ReadWord(reader, &s->randomSeed);
  if (v >= 14) ReadWord(reader, &s->cloudCoriolis);
  if (v >= 16) SkipWord(reader);   // marker
  if (v >= 17) ReadWord(reader, &s->cloudImage);
  if (v >= 18) {
    ReadColor(reader, &s->desertColor);
    ReadColor(reader, &s->iceColor);
  }
  if (v < 19) s->landComplexity = 57;
  if (v < 20) s->craterCount = 0;
  if (v < 21) s->landTexture = 50;
  if (v >= 22 && reader->error == 0) {
    reader->error = ReadLegacyPicture(globals, reader->file, legacy, legacySide, legacyFound);
  }
  if (v >= 23) ReadColor(reader, &s->cityColor);
  if (v < 24) {
    s->cities = 0;
    s->airDepth = DivideByThreeTenths(s->airDepth);
  }
  if (v < 25) {
    // In 32-bit integers, as the old files were made: the product wraps, the quotient rounds
    // toward zero.
    int32_t product = int32_t(s->cloudTexture * s->landTexture);
    s->landTexture = uint32_t(product / 100);
  }
  if (v >= 30) {
    ReadScaled(reader, &s->centerX, 1.0 / 65536.0);
    ReadScaled(reader, &s->centerY, 1.0 / 65536.0);
  }
  if (v == 30) s->landColor = {0x1E1E, 0x3C3C, 0x1E1E};
}

// Takes a buffer for the thumbnail stream from the host (or global memory).
void *TakeThumbnailBuffer(PluginGlobals *globals, HostBufferID *id) {
  HostBufferProcs *procs = globals->filterRecord != nullptr ? globals->filterRecord->bufferProcs : nullptr;
  return AllocHostBuffer(kThumbnailBufferSize, id, procs);
}

void GiveThumbnailBuffer(PluginGlobals *globals, void **buffer, HostBufferID *id) {
  HostBufferProcs *procs = globals->filterRecord != nullptr ? globals->filterRecord->bufferProcs : nullptr;
  FreeHostBuffer(buffer, id, procs);
}

int32_t ClampSide(uint32_t word) {
  int32_t side = int32_t(word);
  if (side < 0) return 0;
  return side > kLegacyPictureMaxSide ? kLegacyPictureMaxSide : side;
}

}  // namespace

// ---- Values the dialog can hold ----------------------------------------------------------------

namespace {

// The sliders of the dialog, each 0..100.
uint32_t ParameterBlock::*const kSliderFields[] = {
    &ParameterBlock::airDepth,      &ParameterBlock::cloudHeight,   &ParameterBlock::cloudShadows,
    &ParameterBlock::sunset,        &ParameterBlock::planetSize,    &ParameterBlock::landComplexity,
    &ParameterBlock::stormSize,     &ParameterBlock::stormCount,    &ParameterBlock::stormSwirl,
    &ParameterBlock::airBrightness, &ParameterBlock::seaLevel,      &ParameterBlock::desert,
    &ParameterBlock::craterCount,   &ParameterBlock::craterSize,    &ParameterBlock::craterTexture,
    &ParameterBlock::landTexture,   &ParameterBlock::cloudCoverage, &ParameterBlock::cloudEdges,
    &ParameterBlock::cities,        &ParameterBlock::cloudViscosity, &ParameterBlock::cloudCoriolis,
    &ParameterBlock::ice,           &ParameterBlock::cloudTexture};

// Air depth in files before version 24 counted 0..100 on a scale that the reader divides by
// 0.3: such a file may bring up to 333.
constexpr uint32_t kOldAirDepthLimit = 333;

// A direction the ball made comes back a little short of unit length (each component loses
// less than 0.01 to the file's truncation), and one a recorded action set may be a little off
// unit length in either direction; the renderer draws such a light or axis as meant. Those are
// kept exactly as read, so a preset reads back as it was written. Only a vector far from unit
// length (a light of length 1000 turns the planet black) is scaled to unit length.
constexpr double kShortestKept = 0.9;
constexpr double kLongestKept = 1.1;

void SettleDirection(float v[3], const float fallback[3]) {
  const double q = double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2];
  if (!(q > 1e-12) || q > 1e30) {
    // No direction (or none that float arithmetic can scale): the default one.
    for (int i = 0; i < 3; i++) v[i] = fallback[i];
    return;
  }
  if (q >= kShortestKept * kShortestKept && q <= kLongestKept * kLongestKept) return;
  NormaliseVec3f(v);
}

float SettleFraction(float value) {
  if (!(value >= 0.0f)) return 0.0f;   // NaN too
  return value > 1.0f ? 1.0f : value;
}

}  // namespace

void ClampSettingsFields(ParameterBlock *s, uint32_t version) {
  // A word is read as the signed number the file meant: an old file's "100 - x" of a large x
  // is below 0, not above 100.
  for (uint32_t ParameterBlock::*field : kSliderFields) {
    const uint32_t limit = field == &ParameterBlock::airDepth && version < 24 ? kOldAirDepthLimit : 100;
    const int32_t value = int32_t(s->*field);
    s->*field = value < 0 ? 0 : uint32_t(value) > limit ? limit : uint32_t(value);
  }
  // The map-mode list has no entry for another mode: the planet, as for a new block.
  if (s->outputMode < 1 || s->outputMode > uint32_t(kOutputModeCount)) s->outputMode = 1;
  ParameterBlock defaults;
  std::memset(&defaults, 0, sizeof defaults);
  SetDefaultParameterValues(&defaults);
  SettleDirection(s->lightVector, defaults.lightVector);
  SettleDirection(s->axisVector, defaults.axisVector);
  s->centerX = SettleFraction(s->centerX);
  s->centerY = SettleFraction(s->centerY);
}

// ---- Picture blocks --------------------------------------------------------------------------

int16_t ReadLegacyPicture(PluginGlobals *globals, FileHandle file, TiledMipImage *picture, int32_t *side,
                          bool *found) {
  *found = false;
  *side = 0;
  WordReader reader = {file, 0};
  uint32_t present = 0, first = 0, second = 0;
  if (!ReadWord(&reader, &present)) return reader.error;
  if (present == 0) return 0;
  ReadWord(&reader, &first);
  ReadWord(&reader, &second);   // not used: the pictures are square
  if (reader.error != 0) return reader.error;
  const int32_t n = ClampSide(first);
  *side = n;
  const int32_t rowBytes = n * 3;
  if (ThumbnailImage(globals) == nullptr || !CreateImage(picture, n, n, kFormatPacked8, 0)) {
    return SkipBytes(rowBytes * n, file);
  }
  uint8_t row[kLegacyPictureMaxSide * 3];
  for (int32_t y = 0; y < n; y++) {
    int16_t read = ReadBlock(file, row, rowBytes);
    if (read != 0) return read;
    for (int32_t x = 0; x < n; x++) {
      PutPixelPacked8Checked(x, y, picture, 0, row[3 * x], row[3 * x + 1], row[3 * x + 2], 255);
    }
  }
  RebuildAllLevels(picture);
  *found = true;
  return 0;
}

int16_t ReadThumbnailBlock(PluginGlobals *globals, FileHandle file, bool *found) {
  globals->thumbnailWidth = 0;
  globals->thumbnailHeight = 0;
  WordReader reader = {file, 0};
  uint32_t version = 0, width = 0, height = 0, byteCount = 0;
  if (!ReadWord(&reader, &version)) return reader.error;
  if (version == 0) return 0;
  ReadWord(&reader, &width);
  ReadWord(&reader, &height);
  ReadWord(&reader, &byteCount);
  if (reader.error != 0) return reader.error;
  const int32_t w = ClampSide(width);
  const int32_t h = ClampSide(height);
  globals->thumbnailWidth = w;
  globals->thumbnailHeight = w;

  // Only a block of version 1 whose stream fits the buffer is read; anything else is skipped.
  if (version == 1 && byteCount > 0 && byteCount <= uint32_t(kThumbnailBufferSize) && ThumbnailImage(globals) != nullptr) {
    HostBufferID bufferId = nullptr;
    void *buffer = TakeThumbnailBuffer(globals, &bufferId);
    if (buffer != nullptr) {
      int16_t result = ReadBlock(file, buffer, int32_t(byteCount));
      if (result == 0) {
        TiledMipImage picture;
        BindScratchImage(globals, &picture);
        if (CreateImage(&picture, w, h, kFormatPacked8, 0)) {
          const Rect16 all = {0, 0, int16_t(h), int16_t(w)};
          // A frame larger than the block says is refused before it is decoded: the picture
          // is read on every selection in the open dialog, and a huge progressive frame of
          // thousands of scans would keep it busy for a minute.
          if (DecodeJpegToImageWithin(&picture, &all, static_cast<const uint8_t *>(buffer), int32_t(byteCount), w,
                                      h) == kJpegOk) {
            RebuildAllLevels(&picture);
            CopyThumbnailFrom(globals, &picture);
            if (found != nullptr) *found = true;
          }
          FreeImageTiles(&picture);
        }
      }
      GiveThumbnailBuffer(globals, &buffer, &bufferId);
      return result;
    }
  }
  if (byteCount > uint32_t(INT32_MAX)) return kFileReadError;
  return SkipBytes(int32_t(byteCount), file);
}

// ---- The reader --------------------------------------------------------------------------------

namespace {

// What the opening of a settings file holds: its version, the fields of its fixed part, and
// the square thumbnail an older writer put there. The caller frees `legacy` (FreeImageTiles).
struct SettingsOpening {
  uint32_t version = 0;
  ParameterBlock fields;
  TiledMipImage legacy;
  int32_t legacySide = 0;
  bool legacyFound = false;
};

// Reads the version word and the fixed part over a copy of `start` (zeros when null). False
// when the version is not one this reader knows or the part is cut short.
bool ReadSettingsOpening(PluginGlobals *globals, WordReader *reader, const ParameterBlock *start,
                         SettingsOpening *opening) {
  if (start != nullptr) {
    std::memcpy(&opening->fields, start, sizeof opening->fields);
  } else {
    std::memset(&opening->fields, 0, sizeof opening->fields);
  }
  BindScratchImage(globals, &opening->legacy);
  if (!ReadWord(reader, &opening->version) || opening->version < 1 || opening->version > kSettingsFileVersion)
    return false;
  ReadFixedPart(globals, reader, opening->version, &opening->fields, &opening->legacy, &opening->legacySide,
                &opening->legacyFound);
  return reader->error == 0;
}

}  // namespace

int16_t ReadSettingsFile(PluginGlobals *globals, const FileSpec *spec, int16_t mode, bool *found) {
  if (found != nullptr) *found = false;
  if (globals == nullptr) return kSettingsOpenFailed;
  FileHandle file = kNoFile;
  if (OpenFileSpec(spec, &file, kOpenForRead) != 0) return kSettingsOpenFailed;

  ParameterBlock *live = GetParameterBlock(globals);
  SettingsOpening opening;
  WordReader reader = {file, 0};
  const int16_t result = ReadSettingsOpening(globals, &reader, live, &opening) ? 0 : kSettingsIncomplete;
  if (result == 0) {
    ClampSettingsFields(&opening.fields, opening.version);
    if (mode == kReadSettingsApply && live != nullptr) CopySettingsFields(live, &opening.fields);
    if (opening.version >= 22) {
      globals->thumbnailWidth = opening.legacySide;
      globals->thumbnailHeight = opening.legacySide;
      if (opening.legacyFound) {
        FillThumbnailGradient(globals);
        CopyThumbnailFrom(globals, &opening.legacy);
        if (found != nullptr) *found = true;
      }
    }
    if (opening.version >= kSettingsFileVersion) ReadThumbnailBlock(globals, file, found);
  }
  FreeImageTiles(&opening.legacy);
  ClosePlatformFile(file);
  return result;
}

// A file that merely starts with a small number (a 400-byte binary whose first word is 7) reads
// as a preset of that version; what gives it away is its length, which no version writes.
bool SettingsFileIsWholePreset(PluginGlobals *globals, const FileSpec *spec) {
  if (globals == nullptr) return false;
  FileHandle file = kNoFile;
  if (OpenFileSpec(spec, &file, kOpenForRead) != 0) return false;
  SettingsOpening opening;
  WordReader reader = {file, 0};
  bool whole = ReadSettingsOpening(globals, &reader, nullptr, &opening);
  // The thumbnail's stream is the last thing in the file: exactly its byte count must remain.
  uint32_t byteCount = 0;
  if (whole && opening.version >= kSettingsFileVersion) {
    uint32_t blockVersion = 0, width = 0, height = 0;
    whole = ReadWord(&reader, &blockVersion);
    if (whole && blockVersion != 0) {
      whole = ReadWord(&reader, &width) && ReadWord(&reader, &height) && ReadWord(&reader, &byteCount);
    }
  }
  int64_t remaining = -1;
  whole = whole && PlatformFileRemaining(file, &remaining) && remaining == int64_t(byteCount);
  FreeImageTiles(&opening.legacy);
  ClosePlatformFile(file);
  return whole;
}

int16_t ReadSettingsApply(PluginGlobals *globals, const FileSpec *spec) {
  return ReadSettingsFile(globals, spec, kReadSettingsApply, nullptr);
}

int16_t ReadSettingsMode(PluginGlobals *globals, const FileSpec *spec, int16_t mode) {
  return ReadSettingsFile(globals, spec, mode, nullptr);
}

int16_t ReloadSettingsFile(PluginGlobals *globals, const FileSpec *spec) {
  return ReadSettingsMode(globals, spec, kReadSettingsApply);
}
