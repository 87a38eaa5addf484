// cloud_download_posix.cpp -- the native build has no internet: every download answers 98.
#include "clouds/cloud_download.h"

int16_t DownloadUrlToFile(const char *url, const FileSpec *spec) {
  *DownloadReportRecord() = DownloadReport{kDownloadNoInternet, 0, 0, 0, -1};
  return kDownloadNoInternet;
}
