// cloud_download.cpp -- the portable parts of the download: progress text, content length and
// the example-domain redirection that tests use.
#include "clouds/cloud_download.h"

#include <cstdio>
#include <cstring>

#include "foundation/strings.h"

namespace {
char gExampleServer[64];
DownloadReport gReport = {0, 0, 0, 0, -1};
}  // namespace

const DownloadReport *LastDownloadReport() { return &gReport; }
DownloadReport *DownloadReportRecord() { return &gReport; }

bool TransferCutShort(int64_t received, int64_t announced) { return announced >= 0 && received < announced; }

void FormatDownloadProgress(int64_t received, int64_t contentLength, char *text, int32_t capacity) {
  if (contentLength < 1) contentLength = 1;
  const int64_t percent = received * 100 / contentLength;
  if (percent > 100) {
    StrCopy(text, "File unavailable.", capacity);
    return;
  }
  int64_t kilobytes = contentLength / 1024;
  if (kilobytes == 0) kilobytes = 1;
  std::snprintf(text, size_t(capacity), "%d%% of %lldK", int(percent), static_cast<long long>(kilobytes));
}

int64_t ParseAnnouncedLength(const char *text) {
  int64_t value = 0;
  int32_t digits = 0;
  const char *p = text;
  while (*p == ' ') p++;
  for (; *p >= '0' && *p <= '9' && digits < 15; p++, digits++) value = value * 10 + (*p - '0');
  while (*p == ' ' || *p == '\r' || *p == '\n') p++;
  if (digits == 0 || *p != 0) return -1;
  return value;
}

int64_t ParseContentLength(const char *text) {
  const int64_t value = ParseAnnouncedLength(text);
  return value >= 1 ? value : 1;
}

void SetExampleDomainServer(const char *hostAndPort) {
  StrCopy(gExampleServer, hostAndPort != nullptr ? hostAndPort : "", int32_t(sizeof gExampleServer));
}

bool RedirectExampleDomain(const char *url, char *out, int32_t capacity) {
  static const char kScheme[] = "http://";
  const size_t schemeLength = sizeof kScheme - 1;
  const char *host = url;
  const char *hostEnd = nullptr;
  if (gExampleServer[0] != 0 && std::strncmp(url, kScheme, schemeLength) == 0) {
    host = url + schemeLength;
    hostEnd = host + std::strcspn(host, "/:?");
  }
  bool redirect = false;
  if (hostEnd != nullptr) {
    static const char *const kDomains[] = {"example.com", "example.net", "example.org"};
    const size_t hostLength = size_t(hostEnd - host);
    for (const char *domain : kDomains) {
      const size_t n = std::strlen(domain);
      if (hostLength == n && std::strncmp(host, domain, n) == 0) redirect = true;
      if (hostLength > n && host[hostLength - n - 1] == '.' && std::strncmp(hostEnd - n, domain, n) == 0) redirect = true;
    }
  }
  if (!redirect) {
    if (std::strlen(url) + 1 > size_t(capacity)) return false;
    StrCopy(out, url, capacity);
    return true;
  }
  // Past the host: an explicit port is dropped with it.
  const char *rest = hostEnd;
  if (*rest == ':') rest += std::strcspn(rest, "/?");
  const int n = std::snprintf(out, size_t(capacity), "%s%s%s", kScheme, gExampleServer, rest);
  return n > 0 && n < capacity;
}
