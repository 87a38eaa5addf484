// cloud_fetch.cpp -- cache or download, import and cache; the source list's download.
#include "clouds/cloud_fetch.h"

#include <cstdio>

#include "clouds/cloud_download.h"
#include "clouds/cloud_files.h"
#include "clouds/cloud_import.h"
#include "files/safe_save.h"
#include "foundation/binary_io.h"
#include "foundation/file_locations.h"
#include "foundation/strings.h"
#include "plugin/globals.h"
#include "plugin/parameters.h"

const char kCloudListUrl[] = "http://www.example.com/dl/kivaglobe-data-v3.dat";


int16_t ImportAndCacheClouds(int32_t index, const FileSpec *picture, const CloudSource *source,
                             PluginGlobals *globals) {
  return ImportAndCacheCloudsNamed(index, picture, picture->path, source, globals);
}

int16_t ImportAndCacheCloudsNamed(int32_t index, const FileSpec *picture, const char *name, const CloudSource *source,
                                  PluginGlobals *globals) {
  const int16_t result = ImportCloudImageNamed(index, picture, name, source, globals);
  // Only a picture that was just imported is cached: a failed download or import must not
  // put the previous picture (possibly another source's) under this source's name.
  if (result != kImportOk) return result;
  if (WriteCloudCache(globals, index) == kFileOk) return kImportOk;
  // The next render looks for the picture in the cache and would not find it there.
  globals->runState->cloudHeader.loaded = 0;
  return kFetchNotCached;
}

int16_t DownloadCloudImage(int32_t index, PluginGlobals *globals) {
  CloudSource source;
  ResolveCloudSource(index, &source, globals);   // a source without a record has no URL: its download fails
  char name[64];
  StrCopy(name, "Kivaglobe clouds", int32_t(sizeof name));
  if (IsGifName(source.url)) AppendGifExtension(name, int32_t(sizeof name));
  if (IsJpegName(source.url)) AppendJpgExtension(name, int32_t(sizeof name));
  // The download goes beside the picture of the last download, which it replaces only once
  // it imported and was cached.
  FileSpec spec{};
  TempFileSpecForWrite(&spec, name);
  SafeSave save;
  int16_t result = kDownloadNoFile;
  if (BeginSafeSave(&spec, &save)) {
    ClosePlatformFile(save.file);
    save.file = kNoFile;
    result = DownloadUrlToFile(source.url, &save.side);
    if (result == kDownloadOk) result = ImportAndCacheCloudsNamed(index, &save.side, spec.path, &source, globals);
    EndSafeSave(&save, result == kDownloadOk);
  } else {
    *DownloadReportRecord() = DownloadReport{result, 0, 0, 0, -1};
  }
  ParameterBlock *p = GetParameterBlock(globals);
  p->cloudImageOverride = index;
  p->cloudImage = uint32_t(index);
  return result;
}

void DescribeFetchFailure(int16_t result, const DownloadReport *report, char *text, int32_t capacity) {
  char what[200];
  const bool answered = report->httpStatus != 0;
  const bool statusOk = report->httpStatus >= 200 && report->httpStatus < 300;
  if (result == kFetchNotCached) {
    StrCopy(what, "The new clouds could not be saved in the temporary folder (the disk may be full or the file "
            "read-only).", int32_t(sizeof what));
  } else if (report->result == kDownloadOk) {
    // The transfer went well: the server's answer was no picture.
    if (answered && !statusOk) {
      std::snprintf(what, sizeof what, "The server answered with status %d instead of a picture.",
                    int(report->httpStatus));
    } else {
      StrCopy(what, "What the server sent is not a whole GIF or JPEG picture.", int32_t(sizeof what));
    }
  } else if (report->cancelled) {
    StrCopy(what, "The download was cancelled.", int32_t(sizeof what));
  } else if (report->result == kDownloadNoInternet) {
    StrCopy(what, "No internet connection could be opened.", int32_t(sizeof what));
  } else if (report->result == kDownloadNoUrl) {
    StrCopy(what, "The picture's server could not be reached.", int32_t(sizeof what));
  } else if (report->result == kDownloadNoFile) {
    StrCopy(what, "The picture could not be saved in the temporary folder.", int32_t(sizeof what));
  } else if (TransferCutShort(report->received, report->announced)) {
    std::snprintf(what, sizeof what, "The connection closed after %lld of %lld bytes of the picture.",
                  static_cast<long long>(report->received), static_cast<long long>(report->announced));
  } else {
    StrCopy(what, "The connection failed during the download.", int32_t(sizeof what));
  }
  std::snprintf(text, size_t(capacity), "%s The previous clouds stay.", what);
}

int16_t FetchClouds(int32_t index, bool cacheFirst, PluginGlobals *globals) {
  if (cacheFirst) {
    ReadCloudCache(globals, index);
    if (globals->runState->cloudHeader.loaded) return 0;
  }
  return DownloadCloudImage(index, globals);
}

int16_t DownloadCloudSourceList(PluginGlobals *globals) {
  FileSpec list{};
  TempFileSpecForWrite(&list, kCloudListName);
  SafeSave save;
  if (!BeginSafeSave(&list, &save)) return kDownloadNoFile;
  ClosePlatformFile(save.file);
  save.file = kNoFile;
  int16_t result = DownloadUrlToFile(kCloudListUrl, &save.side);
  // Only a file that reads as a whole list replaces the list: not an error page, not a list
  // cut short.
  if (result == kDownloadOk) {
    static CloudSource table[kCloudSourceCount];
    int32_t version = 0;
    result = ReadCloudSourceListFile(&save.side, table, &version);
  }
  if (!EndSafeSave(&save, result == kFileOk) && result == kFileOk) result = kFileWriteError;
  return result;
}
