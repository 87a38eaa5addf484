// cloud_files.h -- the cloud cache files, the downloadable source list, and the resolution of a
// source number into a ready address.
//
// Cache "Kivaglobe cached clouds NN" (NN the source number) in the temporary folder, big-endian:
//   0 magic FEDCABB0, 4 version 1, 8 width, 12 height, 16..31 the disc box as four integers
//   (x, width, y, height), 32 the source number, 36.. every pyramid level's pixels, one byte
//   each, level after level, rows from the top.
// Source list "Kivaglobe URLs v3", big-endian: magic FEDCABB0, version, then 12 entries. An
// entry is a presence word (0: a source follows; anything else: none, and the entry ends), six
// fixed-point words (box, black, white), five words (overlays, variant, urlForm, flags), the
// fixed-point threshold, eight spare words, then the URL and the label, each as a length word
// and that many bytes plus a NUL. Fixed point is the value x 100000 as a signed integer.
//
// Every reader here checks before it changes anything: a short, damaged or hostile file leaves
// the cloud image and the source table as they were.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_FILES_H
#define KIVAGLOBE_CLOUDS_CLOUD_FILES_H

#include <cstdint>

#include "clouds/cloud_source.h"
#include "foundation/file_io.h"

struct PluginGlobals;
struct FileSpec;

constexpr uint32_t kCloudFileMagic = 0xFEDCABB0u;
constexpr int32_t kCloudCacheHeaderBytes = 36;
extern const char kCloudListName[];   // "Kivaglobe URLs v3"

// ---- Sources --------------------------------------------------------------------------------

// The record of source `index` with its address completed for `when` (the current UTC time in
// ResolveCloudSource). The source list is tried once per run. 1 without a record, 3 for a source
// that does not exist or whose completed address would not fit its field, else 0.
int16_t ResolveCloudSource(int32_t index, CloudSource *record, PluginGlobals *globals);
int16_t ResolveCloudSourceAt(int32_t index, CloudSource *record, PluginGlobals *globals, const UtcDateHour &when);

// ---- Source list ----------------------------------------------------------------------------

// Reads the list into a table of its own and, only when all 12 entries read, makes it the run's
// table with its version and listLoaded 1. The open error, -19 for a short or damaged list, 25 for
// a wrong magic, else 0.
int16_t ReadCloudSourceList(PluginGlobals *globals);
// The list file's 12 entries into `table` and its version word, for judging a file before it
// becomes the list. 0, the open error, -19 or 25 as above.
int16_t ReadCloudSourceListFile(const FileSpec *spec, CloudSource table[kCloudSourceCount], int32_t *version);
// The built-in table as a list file (sources 10 and 11 absent). 0, or the first error.
int16_t WriteCloudSourceList(PluginGlobals *globals);
// One entry; present 1 when a source was read. The URL and label lengths must be 0..259.
int16_t ReadCloudSource(CloudSource *record, FileHandle file);
int16_t WriteCloudSource(const CloudSource *record, FileHandle file);

// ---- Cache ----------------------------------------------------------------------------------

// The cache file's name for a source: "Kivaglobe cached clouds %02d".
void CloudCacheSpec(int32_t index, FileSpec *spec);
// Bytes of every level of a width x height pyramid.
int64_t CloudPyramidBytes(int32_t width, int32_t height);

// loaded = 0; then, when the source's cache file is whole (magic, sizes 1..16384, length), the
// cloud image is replaced by its picture, loaded = 1 and the parameter block's cloudImage,
// cloudImageOverride and cloudCacheLoaded are set. Anything else leaves the image as it was.
void ReadCloudCache(PluginGlobals *globals, int32_t index);
// Writes the cloud image with a header taken from the image itself, beside the cache file and
// then in its place (a safe save); nothing when it has no tiles. 0, or the open or write error
// (the old cache then stays as it was). The source list and a downloaded picture are saved the
// same way, so a broken transfer, a full disk or a failing write leaves the old file byte for
// byte; a read-only file is not replaced (99).
int16_t WriteCloudCache(PluginGlobals *globals, int32_t index);

// Fills the header's fractions from its box and image size.
void SetCloudHeaderSpans(PluginGlobals *globals);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_FILES_H
