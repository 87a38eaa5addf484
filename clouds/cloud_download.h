// cloud_download.h -- fetching a URL into a file, with the modal "Download Status" box.
//
// One download at a time: the box's timer pulls the data chunk by chunk (nothing runs in another
// thread), so the host's message loop keeps running. The file is cut after the last byte
// written, so a shorter body never keeps an older file's tail.
//
// Platform seam: cloud_download_win32.cpp (WinINet and the dialog) and cloud_download_posix.cpp,
// which has no internet and answers 98.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_DOWNLOAD_H
#define KIVAGLOBE_CLOUDS_CLOUD_DOWNLOAD_H

#include <cstdint>

struct FileSpec;

enum : int16_t {
  kDownloadOk = 0,
  kDownloadNoFile = 95,      // the output file cannot be created
  kDownloadNoUrl = 97,       // the URL cannot be opened
  kDownloadNoInternet = 98,  // no internet handle
  kDownloadFailed = 99,      // a download already running, a failed transfer or write, Cancel
};

// 0 only when the whole body arrived: a server that announced a length and closed before
// sending it all gives 99, like any other broken transfer.
int16_t DownloadUrlToFile(const char *url, const FileSpec *spec);

// What the last download came to, for the message that tells the user why it failed.
struct DownloadReport {
  int16_t result;         // DownloadUrlToFile's result
  int32_t httpStatus;     // the server's status code; 0 when no answer came
  uint8_t cancelled;      // the user pressed Cancel or closed the box
  int64_t received;       // bytes of the body written
  int64_t announced;      // the length the server announced; -1 for none
};
const DownloadReport *LastDownloadReport();
// The download code's own record of the report (its platform twins fill it).
DownloadReport *DownloadReportRecord();

// The progress text for a running total against the announced length (1 when none was
// announced): "%d%% of %dK", or "File unavailable." beyond 100 %.
void FormatDownloadProgress(int64_t received, int64_t contentLength, char *text, int32_t capacity);

// The announced content length from the header's text: a positive decimal number, else 1
// (unknown), so that no progress is ever divided by 0 or by junk.
int64_t ParseContentLength(const char *text);
// The same text as the length the body must reach: the decimal number (0 too), or -1 when the
// text is none.
int64_t ParseAnnouncedLength(const char *text);

// True when a transfer that ended after `received` bytes is short of the announced length.
bool TransferCutShort(int64_t received, int64_t announced);

// Test seam: addresses on the reserved example domains (a host ending in ".example.com",
// ".example.net", ".example.org" or those names themselves) are sent to this server instead,
// e.g. "127.0.0.1:8080"; null restores them. The product's own servers are such names, so only
// a test program, which sets this, ever reaches a server with them. Fills `out` with the address
// to open; false when it does not fit.
void SetExampleDomainServer(const char *hostAndPort);
bool RedirectExampleDomain(const char *url, char *out, int32_t capacity);

#endif  // KIVAGLOBE_CLOUDS_CLOUD_DOWNLOAD_H
