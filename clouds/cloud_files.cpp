// cloud_files.cpp -- the cloud cache, the source list and the resolution of source numbers.
#include "clouds/cloud_files.h"

#include <cstdio>
#include <cstring>

#include "clouds/gif_decoder.h"
#include "files/safe_save.h"
#include "foundation/binary_io.h"
#include "foundation/buffered_file.h"
#include "foundation/clock.h"
#include "foundation/file_locations.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "plugin/parameters.h"

const char kCloudListName[] = "Kivaglobe URLs v3";

namespace {

// The first failure of a run of reads or writes is kept; later calls do nothing.
struct FieldRun {
  FileHandle file;
  int16_t error;
};

void GetWord(FieldRun *run, int32_t *value) {
  if (run->error != kFileOk) return;
  uint32_t word;
  run->error = ReadU32BE(&word, run->file);
  if (run->error == kFileOk) *value = int32_t(word);
}

void GetFixed(FieldRun *run, float *value) {
  if (run->error == kFileOk) run->error = ReadFixed5(value, run->file);
}

void PutWord(FieldRun *run, int32_t value) {
  if (run->error == kFileOk) run->error = WriteU32BE(uint32_t(value), run->file);
}

void PutFixed(FieldRun *run, float value) {
  if (run->error == kFileOk) run->error = WriteFixed5(value, run->file);
}

void GetCounted(FieldRun *run, char *text) {
  int32_t n = -1;
  GetWord(run, &n);
  if (run->error == kFileOk) run->error = ReadCounted(text, n, kCloudTextCapacity, run->file, kCountedRead);
}

void PutCounted(FieldRun *run, const char *text) {
  PutWord(run, int32_t(std::strlen(text)));
  if (run->error == kFileOk) run->error = WriteCStringNul(text, run->file);
}

// The cache's pixels are read in blocks of whole rows of at most this many bytes; the widest
// picture a cache may hold has a row that fits.
constexpr int32_t kPixelBlockBytes = 1 << 16;
static_assert(kMaxCloudPictureSide <= kPixelBlockBytes, "a cache row fits in one block");

// Reads exactly `count` bytes; false when the file ends first or a read fails.
bool ReadExactly(FileHandle file, uint8_t *out, int32_t count) {
  while (count > 0) {
    int32_t got = 0;
    if (!ReadPlatformFile(file, out, count, &got) || got <= 0) return false;
    out += got;
    count -= got;
  }
  return true;
}

// Reads the pixels of every level of a one-channel 8-bit pyramid, level after level and row
// after row from the top, from the file's position into the tiles. The preview reads the cache
// before every render, and a cloud picture may hold millions of pixels: they go from the file
// into the tiles a block and a tile row at a time, not byte by byte. False when the file ends
// early or a read fails.
bool ReadPyramidPixels(FileHandle file, TiledMipImage *image) {
  static uint8_t block[kPixelBlockBytes];
  for (int32_t level = 0; level <= image->coarsestLevel; level++) {
    const int32_t width = image->levelWidth[level], height = image->levelHeight[level];
    const int32_t across = image->levelTilesPerRow[level];
    const int32_t rowsPerBlock = kPixelBlockBytes / width;
    for (int32_t top = 0; top < height; top += rowsPerBlock) {
      const int32_t rows = rowsPerBlock < height - top ? rowsPerBlock : height - top;
      if (!ReadExactly(file, block, rows * width)) return false;
      for (int32_t r = 0; r < rows; r++) {
        const int32_t y = top + r;
        const uint8_t *source = block + size_t(r) * size_t(width);
        const int32_t first = image->levelFirstTile[level] + (y >> kTileShift) * across;
        for (int32_t t = first; t < first + across; t++) {
          const ImageTile &tile = image->tiles[t];
          std::memcpy(tile.pixels + size_t(y - tile.top) * size_t(tile.width), source + tile.left,
                      size_t(tile.width));
        }
      }
    }
  }
  return true;
}

}  // namespace

// ---- Sources ----------------------------------------------------------------------------------

int16_t ResolveCloudSourceAt(int32_t index, CloudSource *record, PluginGlobals *globals, const UtcDateHour &when) {
  if (record == nullptr) return kCloudSourceNoRecord;
  record->url[0] = 0;
  record->label[0] = 0;
  RunState *run = globals->runState;
  if (!run->cloudHeader.listLoaded && !run->cloudListTried) {
    run->cloudListTried = 1;
    ReadCloudSourceList(globals);
  }
  if (run->cloudHeader.listLoaded) {
    if (index < 0 || index >= kCloudSourceCount || !run->cloudSources[index].present) return kCloudSourceMissing;
    *record = run->cloudSources[index];
  } else {
    run->listVersion = kBuiltInListVersion;
    const int16_t result = GetCloudSource(index, record);
    if (result != kCloudSourceOk) return result;
  }
  return CompleteCloudUrl(record, when) ? kCloudSourceOk : kCloudSourceMissing;
}

int16_t ResolveCloudSource(int32_t index, CloudSource *record, PluginGlobals *globals) {
  UtcDateHour when;
  GetUtcDateHour(&when.year, &when.month, &when.day, &when.hour);
  return ResolveCloudSourceAt(index, record, globals, when);
}

// ---- Source list ------------------------------------------------------------------------------

int16_t ReadCloudSource(CloudSource *record, FileHandle file) {
  record->present = 0;
  FieldRun run = {file, kFileOk};
  int32_t presence = -1;
  GetWord(&run, &presence);
  if (run.error != kFileOk || presence != 0) return run.error;
  GetFixed(&run, &record->boxX);
  GetFixed(&run, &record->boxWidth);
  GetFixed(&run, &record->boxY);
  GetFixed(&run, &record->boxHeight);
  GetFixed(&run, &record->blackLevel);
  GetFixed(&run, &record->whiteLevel);
  GetWord(&run, &record->overlayIndex1);
  GetWord(&run, &record->overlayIndex2);
  GetWord(&run, &record->variant);
  GetWord(&run, &record->urlForm);
  GetWord(&run, &record->flags);
  GetFixed(&run, &record->threshold);
  for (int32_t &word : record->extra) GetWord(&run, &word);
  GetCounted(&run, record->url);
  GetCounted(&run, record->label);
  if (run.error == kFileOk) record->present = 1;
  return run.error;
}

int16_t WriteCloudSource(const CloudSource *record, FileHandle file) {
  FieldRun run = {file, kFileOk};
  PutWord(&run, 0);
  PutFixed(&run, record->boxX);
  PutFixed(&run, record->boxWidth);
  PutFixed(&run, record->boxY);
  PutFixed(&run, record->boxHeight);
  PutFixed(&run, record->blackLevel);
  PutFixed(&run, record->whiteLevel);
  PutWord(&run, record->overlayIndex1);
  PutWord(&run, record->overlayIndex2);
  PutWord(&run, record->variant);
  PutWord(&run, record->urlForm);
  PutWord(&run, record->flags);
  PutFixed(&run, record->threshold);
  for (int32_t word : record->extra) PutWord(&run, word);
  PutCounted(&run, record->url);
  PutCounted(&run, record->label);
  return run.error;
}

int16_t ReadCloudSourceListFile(const FileSpec *spec, CloudSource table[kCloudSourceCount], int32_t *version) {
  FileHandle file = kNoFile;
  const int16_t opened = OpenFileSpec(spec, &file, kOpenForRead);
  if (opened != kSpecOk) return opened;
  std::memset(table, 0, sizeof(CloudSource) * kCloudSourceCount);
  FieldRun run = {file, kFileOk};
  int32_t magic = 0;
  GetWord(&run, &magic);
  if (run.error == kFileOk && uint32_t(magic) != kCloudFileMagic) run.error = 25;
  GetWord(&run, version);
  for (int32_t i = 0; i < kCloudSourceCount && run.error == kFileOk; i++) run.error = ReadCloudSource(&table[i], file);
  ClosePlatformFile(file);
  return run.error;
}

int16_t ReadCloudSourceList(PluginGlobals *globals) {
  FileSpec spec{};
  TempFileSpecForRead(&spec, kCloudListName);
  // The entries are read into a table of their own: a list that fails halfway (a damaged
  // download, a hostile length word) must not leave the run's table half overwritten.
  static CloudSource table[kCloudSourceCount];
  int32_t version = 0;
  const int16_t result = ReadCloudSourceListFile(&spec, table, &version);
  if (result != kFileOk) return result;
  RunState *state = globals->runState;
  std::memcpy(state->cloudSources, table, sizeof table);
  state->listVersion = version;
  state->cloudHeader.listLoaded = 1;
  return kFileOk;
}

int16_t WriteCloudSourceList(PluginGlobals *globals) {
  FileSpec spec{};
  TempFileSpecForWrite(&spec, kCloudListName);
  SafeSave save;
  if (!BeginSafeSave(&spec, &save)) return kSpecOpenFailed;
  const FileHandle file = save.file;
  FieldRun run = {file, kFileOk};
  PutWord(&run, int32_t(kCloudFileMagic));
  PutWord(&run, kBuiltInListVersion);
  for (int32_t i = 0; i < kCloudSourceCount && run.error == kFileOk; i++) {
    CloudSource source;
    if (GetCloudSource(i, &source) == kCloudSourceOk) {
      run.error = WriteCloudSource(&source, file);
    } else {
      PutWord(&run, -1);
    }
  }
  if (!EndSafeSave(&save, run.error == kFileOk) && run.error == kFileOk) run.error = kFileWriteError;
  return run.error;
}

// ---- Cache ------------------------------------------------------------------------------------

void CloudCacheSpec(int32_t index, FileSpec *spec) {
  char name[64];
  std::snprintf(name, sizeof name, "Kivaglobe cached clouds %02d", int(index));
  TempFileSpec(spec, name);
}

int64_t CloudPyramidBytes(int32_t width, int32_t height) {
  int64_t total = 0;
  const int32_t coarsest = CoarsestLevelIndex(width, height);
  for (int32_t level = 0; level <= coarsest; level++) {
    int32_t w = 0;
    int32_t h = 0;
    LevelSize(width, height, level, 0, &w, &h);
    total += int64_t(w) * int64_t(h);
  }
  return total;
}

void SetCloudHeaderSpans(PluginGlobals *globals) {
  CloudHeader &h = globals->runState->cloudHeader;
  h.lastColumn = h.imageWidth - 1;
  h.lastRow = h.imageHeight - 1;
  const float w = float(h.imageWidth > 0 ? h.imageWidth : 1);
  const float hh = float(h.imageHeight > 0 ? h.imageHeight : 1);
  h.offsetU = h.boxX / w;
  h.spanU = h.boxWidth / w;
  h.offsetV = h.boxY / hh;
  h.spanV = h.boxHeight / hh;
}

namespace {

// A box word of a cache is taken only within this magnitude: every such integer is exact as a
// float, and goes back into a word unchanged (and defined) when the cache is written again.
// The other boxes are bounded already: a list's fixed-point words, the disc scan's columns.
constexpr int32_t kLargestBoxWord = 1 << 24;

bool BoxWordUsable(int32_t word) { return word >= -kLargestBoxWord && word <= kLargestBoxWord; }

// The content key of a source's cache picture (image_store.h): kept through renewals, dropped
// by every creation, free and level build of the image, so a record re-created over recycled
// memory is never taken for the cached picture.
uint32_t CacheContentKey(int32_t index) { return 0x434C0000u | (uint32_t(index) & 0xFFFFu); }

// Remembers that the cloud image holds the picture of this cache file as it is now.
void NoteCacheFile(PluginGlobals *globals, int32_t index, FileHandle file) {
  RunState *run = globals->runState;
  run->cloudCacheKnown = PlatformFileStamp(file, &run->cloudCacheSize, &run->cloudCacheTime) ? 1 : 0;
  MarkImageContent(&globals->imageSet[0], CacheContentKey(index));
}

// True when the cloud image still holds the picture of the source's cache file: the image
// marked for the source, a loaded picture of its size, and the file unchanged in size and time.
bool CacheFileUnchanged(PluginGlobals *globals, int32_t index, FileHandle file) {
  const RunState *run = globals->runState;
  const TiledMipImage &image = globals->imageSet[0];
  if (!run->cloudCacheKnown || !ImageHoldsContent(&image, CacheContentKey(index)) ||
      image.baseWidth != run->cloudHeader.imageWidth || image.baseHeight != run->cloudHeader.imageHeight) {
    return false;
  }
  int64_t size = 0, time = 0;
  return PlatformFileStamp(file, &size, &time) && size == run->cloudCacheSize && time == run->cloudCacheTime;
}

void MarkCacheLoaded(PluginGlobals *globals, int32_t index) {
  globals->runState->cloudHeader.loaded = 1;
  ParameterBlock *p = GetParameterBlock(globals);
  p->cloudImageOverride = index;
  p->cloudImage = uint32_t(index);
  p->cloudCacheLoaded = 1;
}

}  // namespace

void ReadCloudCache(PluginGlobals *globals, int32_t index) {
  RunState *run = globals->runState;
  run->cloudHeader.loaded = 0;
  FileSpec spec{};
  CloudCacheSpec(index, &spec);
  FileHandle file = kNoFile;
  if (OpenFileSpec(&spec, &file, kOpenForRead) != kSpecOk) return;

  // The set-up reads the cache before every preview: a picture of millions of pixels that is
  // already in the image is not read again while its file is unchanged.
  if (CacheFileUnchanged(globals, index, file)) {
    ClosePlatformFile(file);
    MarkCacheLoaded(globals, index);
    return;
  }

  // The header is judged whole before the current image is touched: its sizes, its box, and
  // that the file holds every level's pixels.
  FieldRun fields = {file, kFileOk};
  int32_t magic = 0, version = 0, width = 0, height = 0, box[4] = {}, source = -1;
  GetWord(&fields, &magic);
  GetWord(&fields, &version);
  GetWord(&fields, &width);
  GetWord(&fields, &height);
  for (int32_t &b : box) GetWord(&fields, &b);
  GetWord(&fields, &source);
  int64_t remaining = -1;
  const bool sane = fields.error == kFileOk && uint32_t(magic) == kCloudFileMagic && width >= 1 && height >= 1 &&
                    width <= kMaxCloudPictureSide && height <= kMaxCloudPictureSide &&
                    int64_t(width) * int64_t(height) <= kMaxCloudPicturePixels &&
                    PlatformFileRemaining(file, &remaining) && remaining >= CloudPyramidBytes(width, height);
  if (!sane) {
    ClosePlatformFile(file);
    return;
  }

  TiledMipImage *image = &globals->imageSet[0];
  TiledMipImage fresh;
  InitImageRecord(&fresh, image->hostBufferProcs, image->owner, image->kernelTable);
  if (!CreateImage(&fresh, width, height, kFormatGray8, 0)) {
    ClosePlatformFile(file);
    return;
  }
  const bool read = ReadPyramidPixels(file, &fresh);
  if (!read) {
    ClosePlatformFile(file);
    FreeImageTiles(&fresh);
    return;
  }
  fresh.levelState = 2;
  FreeImageTiles(image);
  *image = fresh;
  NoteCacheFile(globals, index, file);
  ClosePlatformFile(file);

  CloudHeader &h = run->cloudHeader;
  h.imageWidth = width;
  h.imageHeight = height;
  h.sourceIndex = source;
  // A box without area would mirror the picture and give the renderer the logarithm of a
  // negative span; one of words beyond any picture would not come back out as the same words.
  // The whole picture stands in for either.
  bool boxUsable = box[1] > 0 && box[3] > 0;
  for (int32_t b : box) boxUsable = boxUsable && BoxWordUsable(b);
  h.boxX = boxUsable ? float(box[0]) : 0.0f;
  h.boxWidth = boxUsable ? float(box[1]) : float(width);
  h.boxY = boxUsable ? float(box[2]) : 0.0f;
  h.boxHeight = boxUsable ? float(box[3]) : float(height);
  SetCloudHeaderSpans(globals);
  MarkCacheLoaded(globals, index);
}

int16_t WriteCloudCache(PluginGlobals *globals, int32_t index) {
  const TiledMipImage *image = &globals->imageSet[0];
  if (image->tileCount == 0 || image->tiles == nullptr) return kFileOk;
  const CloudHeader &h = globals->runState->cloudHeader;
  FileSpec spec{};
  CloudCacheSpec(index, &spec);
  SafeSave save;
  if (!BeginSafeSave(&spec, &save)) return kSpecOpenFailed;
  const FileHandle file = save.file;
  FieldRun fields = {file, kFileOk};
  PutWord(&fields, int32_t(kCloudFileMagic));
  PutWord(&fields, 1);
  PutWord(&fields, image->baseWidth);
  PutWord(&fields, image->baseHeight);
  PutWord(&fields, int32_t(h.boxX));
  PutWord(&fields, int32_t(h.boxWidth));
  PutWord(&fields, int32_t(h.boxY));
  PutWord(&fields, int32_t(h.boxHeight));
  PutWord(&fields, h.sourceIndex);
  if (fields.error != kFileOk) {
    EndSafeSave(&save, false);
    return fields.error;
  }
  BufferedFile writer;
  BufWriterInit(&writer, file);
  for (int32_t level = 0; level <= image->coarsestLevel; level++) {
    for (int32_t y = 0; y < image->levelHeight[level]; y++) {
      for (int32_t x = 0; x < image->levelWidth[level]; x++) {
        BufWriteU8(uint8_t(GetPixelGray8(x, y, image, level)), &writer);
      }
    }
  }
  // The new cache takes the old one's place only once it is whole: a full disk or a failing
  // write leaves the old cache as it was.
  int16_t result = BufWriterFlush(&writer);
  if (!EndSafeSave(&save, result == kFileOk) && result == kFileOk) result = kFileWriteError;
  return result;
}
