// cloud_fetch.h -- fetching a source's picture: from its cache file, or downloaded, imported and
// cached; and refreshing the source list from the maker's server.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_FETCH_H
#define KIVAGLOBE_CLOUDS_CLOUD_FETCH_H

#include <cstdint>

#include "clouds/cloud_source.h"

struct PluginGlobals;
struct FileSpec;

// The address of the source list.
extern const char kCloudListUrl[];

// A picture that arrived and imported, but whose cache file could not be written (a full disk,
// a read-only file, a path too long): the previous cache stays, and the picture is not taken
// as loaded, since the next render would not find it.
constexpr int16_t kFetchNotCached = 96;

// With cacheFirst, the source's cache file when it loads; otherwise (or when it does not)
// DownloadCloudImage. Returns the download's or import's result, 0 for a loaded cache.
int16_t FetchClouds(int32_t index, bool cacheFirst, PluginGlobals *globals);

// A downloaded picture into the cloud image and, when the import succeeded, into the source's
// cache file. The import's result, or the cache's error: a picture that cannot be kept is
// reported, not lost without a word.
int16_t ImportAndCacheClouds(int32_t index, const FileSpec *picture, const CloudSource *source,
                             PluginGlobals *globals);
// The same for a file whose kind `name` tells (a download's side file, named for its target).
int16_t ImportAndCacheCloudsNamed(int32_t index, const FileSpec *picture, const char *name, const CloudSource *source,
                                  PluginGlobals *globals);

// Resolves the source, downloads its picture beside "Kivaglobe clouds.gif" or ".jpg" of the
// temporary folder, imports it and, when the import succeeded, writes the source's cache file;
// only then does the download take the old picture file's place. cloudImage and
// cloudImageOverride become the source number in any case. The download's result when it
// failed, else the import's, else kFetchNotCached or 0.
int16_t DownloadCloudImage(int32_t index, PluginGlobals *globals);

// The one message that tells the user why a fetch failed (result not 0): no connection, the
// server's status, a cut transfer, not a picture, a cache that could not be written, Cancel.
// `report` is the download's (LastDownloadReport).
void DescribeFetchFailure(int16_t result, const struct DownloadReport *report, char *text, int32_t capacity);

// Downloads the list into a side file and puts it in place of "Kivaglobe URLs v3" only when the
// download ended well and the file reads as a whole list: an error page or a broken transfer
// never replaces a good list. 0, the download's result, or the list reader's error.
int16_t DownloadCloudSourceList(PluginGlobals *globals);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_FETCH_H
