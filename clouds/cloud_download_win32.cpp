// cloud_download_win32.cpp -- the download over WinINet with its modal "Download Status" box.
//
// The request is made before the box opens; the box's timer (992) then pulls one chunk per tick
// into the file: the first tick after 10 ms, the others a second apart. Every way out of the box
// goes through CloseDownload, which closes the handles and the file.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>

#include "clouds/cloud_download.h"
#include "clouds/cloud_source.h"
#include "dialog/main_dialog.h"
#include "foundation/binary_io.h"
#include "foundation/file_locations.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"

namespace {

constexpr UINT_PTR kDownloadTimer = 992;
constexpr int kCancelItem = 1;
constexpr int kStatusItem = 2;

// One download at a time: its state lives here while the box runs.
HWND gProgressDialog = nullptr;
int16_t gStatus = kDownloadFailed;
HINTERNET gInternet = nullptr;
HINTERNET gUrl = nullptr;
FileHandle gOutput = kNoFile;
int64_t gReceived = 0;
int64_t gContentLength = 1;
int64_t gAnnounced = -1;     // the length the body must reach; -1 when none was announced
int64_t gDrained = 0;        // bytes of a credentials demand's body, read and dropped
int32_t gHttpStatus = 0;
bool gCancelled = false;

HINSTANCE ModuleInstance() {
  return gModuleInstance != nullptr ? static_cast<HINSTANCE>(gModuleInstance) : GetModuleHandleA(nullptr);
}

void ShowDownloadStatus(const char *text, long number) {
  if (gProgressDialog == nullptr) return;
  char line[160];
  wsprintfA(line, "%s %ld", text, number);
  SetDlgItemTextA(gProgressDialog, kStatusItem, line);
}

void ShowDownloadProgress(int64_t count) {
  gReceived += count;
  char text[64];
  FormatDownloadProgress(gReceived, gContentLength, text, int32_t(sizeof text));
  if (gProgressDialog != nullptr) SetDlgItemTextA(gProgressDialog, kStatusItem, text);
}

HINTERNET OpenInternetSession(const char *url) {
  ShowDownloadStatus("begin MaybeDialUp", 0);
  DWORD state = 0;
  if (!InternetGetConnectedState(&state, 0) && state != 0) {
    ShowDownloadStatus("about to InternetGoOnline", 0);
    if (!InternetGoOnlineA(const_cast<char *>(url), nullptr, 0)) return nullptr;
    ShowDownloadStatus("about to InternetAutodial", 0);
    if (!InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr)) return nullptr;
  }
  ShowDownloadStatus("about to InternetOpen", 0);
  return InternetOpenA("Kivaglobe", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

void CloseHandles() {
  if (gUrl != nullptr) InternetCloseHandle(gUrl);
  if (gInternet != nullptr) InternetCloseHandle(gInternet);
  gUrl = nullptr;
  gInternet = nullptr;
}

void CloseDownload(HWND dialog, int16_t status) {
  KillTimer(dialog, kDownloadTimer);
  CloseHandles();
  if (gOutput != kNoFile) {
    // The file ends after the last byte received: an older, longer file keeps no tail.
    TruncateFileHere(gOutput);
    if (!ClosePlatformFile(gOutput)) status = kDownloadFailed;
  }
  gOutput = kNoFile;
  gStatus = status;
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
  EndDialog(dialog, 1);
  gProgressDialog = nullptr;
  NoteToolWindow(kToolDownloadBox, nullptr);
}

void DownloadTick(HWND dialog) {
  SetTimer(dialog, kDownloadTimer, 1000, nullptr);
  DWORD available = 0;
  if (!InternetQueryDataAvailable(gUrl, &available, 0, 0)) {
    ShowDownloadStatus("Connection failed", long(available));
    CloseDownload(dialog, kDownloadFailed);
    return;
  }
  if (available == 0) {
    ShowDownloadStatus("Starting EOF read", 0);
    char none[1];
    DWORD got = 0;
    InternetReadFile(gUrl, none, 0, &got);
    ShowDownloadStatus("Finished EOF read", 0);
    // A connection closed before the announced length is a broken transfer, not a short file.
    CloseDownload(dialog, TransferCutShort(gDrained + gReceived, gAnnounced) ? kDownloadFailed : kDownloadOk);
    return;
  }
  void *chunk = std::malloc(available);
  if (chunk == nullptr) return;   // nothing more on this tick
  ShowDownloadStatus("Starting InternetReadFile", long(available));
  DWORD got = 0;
  if (!InternetReadFile(gUrl, chunk, available, &got)) {
    std::free(chunk);
    ShowDownloadStatus("InternetReadFile error", 0);
    CloseDownload(dialog, kDownloadFailed);
    return;
  }
  ShowDownloadProgress(got);
  int32_t written = int32_t(got);
  const int16_t wrote = got > 0 ? WriteBytes(gOutput, &written, chunk) : int16_t(kFileOk);
  std::free(chunk);
  // A full disk or a failing write is a failed download, not a short picture.
  if (wrote != kFileOk || written != int32_t(got)) {
    CloseDownload(dialog, kDownloadFailed);
    return;
  }
  if (got == 0) CloseDownload(dialog, TransferCutShort(gDrained + gReceived, gAnnounced) ? kDownloadFailed : kDownloadOk);
}

INT_PTR CALLBACK DownloadProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      gProgressDialog = dialog;
      NoteToolWindow(kToolDownloadBox, dialog);
      gStatus = kDownloadFailed;
      CenterDialog(dialog);
      SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
      SetTimer(dialog, kDownloadTimer, 10, nullptr);
      return TRUE;
    case WM_TIMER:
      if (wParam == kDownloadTimer && gProgressDialog == dialog) DownloadTick(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancelItem && HIWORD(wParam) == 0) {
        gCancelled = true;
        CloseDownload(dialog, kDownloadFailed);
      }
      return TRUE;
    case WM_CLOSE:
      gCancelled = true;
      CloseDownload(dialog, kDownloadFailed);
      return TRUE;
    default:
      return FALSE;
  }
}

// Sends the request until it is answered with something other than a demand for credentials
// that the user chose to answer.
void SendRequest() {
  for (;;) {
    HttpSendRequestA(gUrl, nullptr, 0, nullptr, 0);
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!HttpQueryInfoA(gUrl, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) return;
    gHttpStatus = int32_t(code);
    if (code != HTTP_STATUS_DENIED && code != HTTP_STATUS_PROXY_AUTH_REQ) return;
    char drain[50];
    DWORD got = 0;
    gDrained = 0;
    do {
      got = 0;
      if (!InternetReadFile(gUrl, drain, sizeof drain, &got)) break;
      gDrained += got;
    } while (got > 0);
    const DWORD answer = InternetErrorDlg(GetDesktopWindow(), gUrl, ERROR_INTERNET_INCORRECT_PASSWORD,
                                          FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                              FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                          nullptr);
    if (answer != ERROR_INTERNET_FORCE_RETRY) return;
  }
}

int16_t RunDownload(const char *url, const FileSpec *spec) {
  if (gProgressDialog != nullptr) {
    BringWindowToTop(gProgressDialog);
    return kDownloadFailed;
  }
  char address[kCloudTextCapacity + 80];
  if (url == nullptr || !RedirectExampleDomain(url, address, int32_t(sizeof address))) return kDownloadNoUrl;
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  gInternet = OpenInternetSession(address);
  if (gInternet == nullptr) return kDownloadNoInternet;
  DeleteUrlCacheEntryA(address);
  gUrl = InternetOpenUrlA(gInternet, address, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_RAW_DATA, 0);
  if (gUrl == nullptr) {
    CloseHandles();
    return kDownloadNoUrl;
  }
  SendRequest();
  char lengthText[51];
  DWORD size = sizeof lengthText - 1;
  gContentLength = 1;
  gAnnounced = -1;
  if (HttpQueryInfoA(gUrl, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr)) {
    lengthText[size < sizeof lengthText ? size : sizeof lengthText - 1] = 0;
    gContentLength = ParseContentLength(lengthText);
    gAnnounced = ParseAnnouncedLength(lengthText);
  }
  gReceived = 0;
  gOutput = kNoFile;
  if (OpenFileSpec(spec, &gOutput, kOpenForWrite) != kSpecOk) {
    CloseHandles();
    return kDownloadNoFile;
  }
  gStatus = kDownloadFailed;
  // Over the chooser that asked for it while that is open (a new source list), else over the
  // main dialog (a picture, fetched as the chooser ends); either waits until the box closes.
  HWND owner = static_cast<HWND>(OpenToolWindow(kToolCloudChooser));
  if (owner == nullptr) owner = static_cast<HWND>(MainDialogWindow());
  if (DialogBoxParamA(ModuleInstance(), "DOWNLOAD_PROGRESS", owner, DownloadProgressProc, 0) == -1) {
    // The box could not be made: nothing was transferred.
    CloseHandles();
    ClosePlatformFile(gOutput);
    gOutput = kNoFile;
    gProgressDialog = nullptr;
    return kDownloadFailed;
  }
  return gStatus;
}

}  // namespace

int16_t DownloadUrlToFile(const char *url, const FileSpec *spec) {
  // A second download while one runs is refused without touching the running one's report.
  if (gProgressDialog != nullptr) return RunDownload(url, spec);
  gHttpStatus = 0;
  gDrained = 0;
  gCancelled = false;
  gReceived = 0;
  gAnnounced = -1;
  const int16_t result = RunDownload(url, spec);
  *DownloadReportRecord() = DownloadReport{result, gHttpStatus, uint8_t(gCancelled ? 1 : 0), gReceived, gAnnounced};
  return result;
}
