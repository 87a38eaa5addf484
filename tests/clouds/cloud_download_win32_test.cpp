// The download and the chooser under Wine, against an HTTP server of this program on
// 127.0.0.1 (a port the system picks). The product's addresses lie on reserved example
// domains; SetExampleDomainServer sends them to this server. A watcher thread plays the user:
// it reads the boxes' texts while they are open, clicks, and takes pictures of them.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clouds/cloud_chooser.h"
#include "clouds/cloud_download.h"
#include "clouds/cloud_fetch.h"
#include "clouds/cloud_files.h"
#include "clouds/cloud_import.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_dialogs.h"
#include "plugin/parameters.h"
#include "tests/files/files_fixture.h"

namespace {

using files_test::FilesTest;
using files_test::ReadWholeFile;
using files_test::Words;
using files_test::WriteWholeFile;

std::vector<uint8_t> Fixture(const std::string &name) {
  std::ifstream in(std::string(KV_CLOUDS_TEST_DATA) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Body3000() {
  std::vector<uint8_t> body(3000);
  for (size_t i = 0; i < body.size(); i++) body[i] = uint8_t(i * 7 + 3);
  return body;
}

// ---- The server ------------------------------------------------------------------------------

struct Route {
  int status;
  std::vector<uint8_t> body;
  bool announceLength;
  int holdAfter;   // bytes after which a repeated request's answer waits until released (-1: never)
  int closeAfter = -1;   // bytes of the body after which the connection closes (-1: all sent)
};

class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    listen(listener_, 16);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Accept(); });
  }
  ~LoopbackServer() {
    Release();
    closesocket(listener_);
    thread_.join();
    for (std::thread &t : workers_) t.join();
    WSACleanup();
  }
  std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
  void Set(const std::string &path, Route route) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_.emplace_back(path, std::move(route));
  }
  int Requests(const std::string &path) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const std::string &p : requested_) n += p == path ? 1 : 0;
    return n;
  }
  void Release() { released_ = true; }

 private:
  void Accept() {
    for (;;) {
      SOCKET s = accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) return;
      workers_.emplace_back([this, s] { Serve(s); });
    }
  }
  void Serve(SOCKET s) {
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int got = recv(s, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, size_t(got));
    }
    std::string path = request.substr(request.find(' ') + 1);
    path = path.substr(0, path.find(' '));
    if (path.rfind("http://", 0) == 0) path = path.substr(path.find('/', 7));
    Route route{404, {}, true, -1};
    bool again = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const std::string &p : requested_) again = again || p == path;
      requested_.push_back(path);
      bool found = false;
      for (const auto &r : routes_) {
        if (r.first == path) {
          route = r.second;
          found = true;
        }
      }
      if (!found) {
        const std::string page = "<html><body><h1>404 Not Found</h1></body></html>";
        route.body.assign(page.begin(), page.end());
      }
    }
    std::string head = "HTTP/1.1 " + std::to_string(route.status) + (route.status == 200 ? " OK" : " Error") + "\r\n";
    if (route.status == 401) head += "WWW-Authenticate: Basic realm=\"clouds\"\r\n";
    if (route.announceLength) head += "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
    head += "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    send(s, head.data(), int(head.size()), 0);
    size_t at = 0;
    // WinINet asks twice per download (opening the URL, then sending the request) and reads
    // the first answer to its end: only the answer it keeps is held back.
    if (route.holdAfter >= 0 && again) {
      send(s, reinterpret_cast<const char *>(route.body.data()), route.holdAfter, 0);
      at = size_t(route.holdAfter);
      for (int i = 0; i < 300 && !released_; i++) Sleep(100);
    }
    const size_t end = route.closeAfter >= 0 ? size_t(route.closeAfter) : route.body.size();
    if (at < end) send(s, reinterpret_cast<const char *>(route.body.data() + at), int(end - at), 0);
    shutdown(s, SD_SEND);
    Sleep(50);
    closesocket(s);
  }

  SOCKET listener_;
  int port_ = 0;
  std::thread thread_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::vector<std::pair<std::string, Route>> routes_;
  std::vector<std::string> requested_;
  std::atomic<bool> released_{false};
};

// ---- Playing the user ----------------------------------------------------------------------

// A shown top-level window of this process with the title. Other test programs run beside this
// one on the same display, and the plug-in's own tests show windows titled "Kivaglobe" too.
struct OwnWindowSearch {
  const char *title;
  HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND w, LPARAM param) {
  OwnWindowSearch *search = reinterpret_cast<OwnWindowSearch *>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(w, &process);
  char text[256] = {};
  if (process != GetCurrentProcessId() || !IsWindowVisible(w) || GetWindowTextA(w, text, sizeof text) <= 0 ||
      std::strcmp(text, search->title) != 0)
    return TRUE;
  search->found = w;
  return FALSE;
}

HWND WaitForWindow(const char *title, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 20) {
    OwnWindowSearch search = {title, nullptr};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(20);
  }
  return nullptr;
}

std::string ItemText(HWND dialog, int id) {
  char text[300] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// The window's picture as a 24-bit BMP in the test's output folder.
void SaveWindowPicture(HWND window, const std::string &name) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // What the screen shows (Wine's PrintWindow paints the background only).
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(150);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> pixels(size_t(stride) * size_t(h));
  GetDIBits(memory, bitmap, 0, UINT(h), pixels.data(), reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = DWORD(file.bfOffBits + pixels.size());
  FILE *out = std::fopen(name.c_str(), "wb");
  if (out != nullptr) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Collects every text item 2 of the download box shows, until the box closes.
std::vector<std::string> WatchProgress(std::function<void(HWND)> during = nullptr) {
  std::vector<std::string> texts;
  HWND box = WaitForWindow("Download Status", 20000);
  if (box == nullptr) return texts;
  bool acted = false;
  while (IsWindow(box)) {
    const std::string text = ItemText(box, 2);
    if (texts.empty() || texts.back() != text) texts.push_back(text);
    if (during && !acted && text.find('%') != std::string::npos) {
      acted = true;
      during(box);
    }
    Sleep(15);
  }
  return texts;
}

bool Seen(const std::vector<std::string> &texts, const std::string &text) {
  for (const std::string &t : texts) {
    if (t == text) return true;
  }
  return false;
}

class CloudDownloadTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    InitImageRecord(&globals_.imageSet[0], &bufferProcs_, &globals_, nullptr);
    SetExampleDomainServer(server_.HostAndPort().c_str());
  }
  void TearDown() override {
    SetExampleDomainServer(nullptr);
    FreeImageTiles(&globals_.imageSet[0]);
    FilesTest::TearDown();
  }
  int16_t Download(const std::string &path, const std::string &file) {
    const std::string url = "http://clouds.example.com" + path;
    const FileSpec spec = Spec(file);
    return DownloadUrlToFile(url.c_str(), &spec);
  }
  LoopbackServer server_;
};

TEST_F(CloudDownloadTest, BodiesLengthsAndAnOlderLongerFile) {
  server_.Set("/body.dat", Route{200, Body3000(), true, -1});
  server_.Set("/nolength.dat", Route{200, Body3000(), false, -1});
  WriteWholeFile(In("got.dat"), std::vector<uint8_t>(10000, 0xEE));
  std::vector<std::string> texts;
  std::thread watcher([&] { texts = WatchProgress(); });
  EXPECT_EQ(Download("/body.dat", "got.dat"), 0);
  watcher.join();
  EXPECT_EQ(ReadWholeFile(In("got.dat")), Body3000());
  EXPECT_TRUE(Seen(texts, "100% of 2K"));
  EXPECT_GE(server_.Requests("/body.dat"), 1);

  std::thread watcher2([&] { texts = WatchProgress(); });
  EXPECT_EQ(Download("/nolength.dat", "got2.dat"), 0);
  watcher2.join();
  EXPECT_EQ(ReadWholeFile(In("got2.dat")), Body3000());
  EXPECT_TRUE(Seen(texts, "File unavailable."));
}

TEST_F(CloudDownloadTest, CredentialsDemandIsDrainedAndNotRetried) {
  server_.Set("/secret.gif", Route{401, std::vector<uint8_t>(120, 'x'), true, -1});
  // Wine asks for the credentials in a window of its own: the user cancels it.
  std::thread watcher([] {
    HWND ask = WaitForWindow("Authentication Required", 15000);
    if (ask != nullptr) PostMessageA(ask, WM_COMMAND, IDCANCEL, 0);
    WatchProgress();
  });
  EXPECT_EQ(Download("/secret.gif", "secret.gif"), 0);
  watcher.join();
  EXPECT_GE(server_.Requests("/secret.gif"), 1);
  EXPECT_TRUE(ReadWholeFile(In("secret.gif")).empty());
}

TEST_F(CloudDownloadTest, CancelLeavesAPartialFileAndASecondDownloadIsRefused) {
  server_.Set("/slow.dat", Route{200, Body3000(), true, 1000});
  int16_t second = -1;
  std::thread watcher([&] {
    WatchProgress([&](HWND box) {
      second = Download("/body.dat", "second.dat");
      Click(box, 1);
    });
  });
  EXPECT_EQ(Download("/slow.dat", "slow.dat"), 99);
  watcher.join();
  server_.Release();
  EXPECT_EQ(second, 99);
  const std::vector<uint8_t> partial = ReadWholeFile(In("slow.dat"));
  EXPECT_EQ(partial.size(), 1000u);
  EXPECT_EQ(server_.Requests("/body.dat"), 0);
}

// The main dialog, as it ends, closes a download still running, as its Cancel would. Oracle: the
// result and the partial file of a Cancel (the test above).
TEST_F(CloudDownloadTest, TheMainDialogsEndClosesARunningDownload) {
  server_.Set("/slow.dat", Route{200, Body3000(), true, 1000});
  std::thread watcher([] { WatchProgress([](HWND) { CloseToolWindows(); }); });
  EXPECT_EQ(Download("/slow.dat", "slow.dat"), 99);
  watcher.join();
  server_.Release();
  EXPECT_EQ(ReadWholeFile(In("slow.dat")).size(), 1000u);
}

TEST_F(CloudDownloadTest, ErrorPageIsDownloadedButNotImported) {
  // A picture in place, then source 0 answered with a 404 page: the import fails, the picture
  // and its cache stay.
  const std::vector<uint8_t> gif = Fixture("gif/legal/cloud_overlay_20x16.gif");
  server_.Set("/data/west/latest_westirhem.gif", Route{200, gif, true, -1});
  std::thread watcher([] { WatchProgress(); });
  EXPECT_EQ(FetchClouds(0, false, &globals_), 0);
  watcher.join();
  ASSERT_EQ(globals_.runState->cloudHeader.loaded, 1);
  FileSpec cache{};
  CloudCacheSpec(0, &cache);
  const std::vector<uint8_t> cached = ReadWholeFile(cache.path);
  ASSERT_EQ(cached.size(), 36u + 20 * 16 + 10 * 8 + 6 * 4 + 4 * 2 + 2 * 1 + 1);
  EXPECT_EQ(GetPixelGray8(3, 5, &globals_.imageSet[0], 0), 204);

  std::thread watcher2([] { WatchProgress(); });
  EXPECT_EQ(FetchClouds(1, false, &globals_), 25);   // nothing is served there: 404
  watcher2.join();
  EXPECT_EQ(globals_.runState->cloudHeader.loaded, 1);
  EXPECT_EQ(globals_.runState->cloudHeader.sourceIndex, 0);
  EXPECT_EQ(GetPixelGray8(3, 5, &globals_.imageSet[0], 0), 204);
  FileSpec otherCache{};
  CloudCacheSpec(1, &otherCache);
  EXPECT_FALSE(files_test::FileExists(otherCache.path));
  EXPECT_EQ(ReadWholeFile(cache.path), cached);
}

// A list of twelve sources, version 7; source 11 is a GIF on the test server.
std::vector<uint8_t> TwelveSourceList() {
  Words w;
  w.Add(kCloudFileMagic).Add(7);
  for (int i = 0; i < 12; i++) {
    w.Add(0).Add({0, 2000000, 0, 1600000, 40000, 90000});
    w.AddSigned(2).AddSigned(-1).Add({1, 0, 1, 50000, 0, 0, 0, 0, 0, 0, 0, 0});
    const std::string url = "http://clouds.example.com/list" + std::to_string(i) + ".gif";
    const std::string label = "Listed source " + std::to_string(i);
    w.Add(uint32_t(url.size())).AddBytes(std::vector<uint8_t>(url.begin(), url.end())).AddBytes({0});
    w.Add(uint32_t(label.size())).AddBytes(std::vector<uint8_t>(label.begin(), label.end())).AddBytes({0});
  }
  return w.bytes;
}

TEST_F(CloudDownloadTest, ChooserLabelsUpdateThisListAndOk) {
  server_.Set("/dl/kivaglobe-data-v3.dat", Route{200, TwelveSourceList(), true, -1});
  server_.Set("/list11.gif", Route{200, Fixture("gif/legal/cloud_overlay_20x16.gif"), true, -1});
  Block()->cloudImage = 40;   // names no source: the chooser starts on source 0
  struct Seen {
    std::vector<std::string> labels;
    std::vector<bool> enabled;
    std::string version;
    bool checkedFirst = false;
  } before, after;
  bool secondOpen = true;
  auto look = [](HWND d, Seen *s) {
    for (int id = 6; id <= 17; id++) {
      s->labels.push_back(ItemText(d, id));
      s->enabled.push_back(IsWindowEnabled(GetDlgItem(d, id)) != FALSE);
    }
    s->version = ItemText(d, 20);
    s->checkedFirst = IsDlgButtonChecked(d, 6) == BST_CHECKED;
  };
  std::thread user([&] {
    HWND d = WaitForWindow("Choose clouds", 20000);
    if (d == nullptr) return;
    Sleep(300);
    look(d, &before);
    SaveWindowPicture(d, "chooser_builtin.bmp");
    secondOpen = RunCloudChooser(&globals_);
    Click(d, 4);   // Update this list
    WatchProgress();
    for (int i = 0; i < 400 && ItemText(d, 20) == before.version; i++) Sleep(50);
    Sleep(200);
    look(d, &after);
    SaveWindowPicture(d, "chooser_list.bmp");
    Click(d, 17);
    Sleep(200);
    Click(d, 1);
    WatchProgress([](HWND box) { SaveWindowPicture(box, "download_progress.bmp"); });
  });
  const bool chosen = RunCloudChooser(&globals_);
  user.join();
  EXPECT_TRUE(chosen);
  EXPECT_FALSE(secondOpen);
  ASSERT_EQ(before.labels.size(), 12u);
  EXPECT_EQ(before.labels[0], "GOES-10 infrared 18 km");
  EXPECT_EQ(before.labels[9], "METEOSAT-7 infrared 4 km");
  for (int i = 0; i < 10; i++) EXPECT_TRUE(before.enabled[size_t(i)]) << i;
  EXPECT_FALSE(before.enabled[10]);
  EXPECT_FALSE(before.enabled[11]);
  EXPECT_EQ(before.version, "v. 06");
  EXPECT_TRUE(before.checkedFirst);
  ASSERT_EQ(after.labels.size(), 12u);
  for (int i = 0; i < 12; i++) {
    EXPECT_TRUE(after.enabled[size_t(i)]) << i;
    EXPECT_EQ(after.labels[size_t(i)], "Listed source " + std::to_string(i));
  }
  EXPECT_EQ(after.version, "v. 07");
  // OK fetched source 11: loaded, chosen, and its cache file holds it.
  EXPECT_EQ(globals_.runState->cloudHeader.loaded, 1);
  EXPECT_EQ(Block()->cloudImage, 11u);
  EXPECT_EQ(Block()->cloudImageOverride, 11);
  FileSpec cache{};
  CloudCacheSpec(11, &cache);
  const std::vector<uint8_t> file = ReadWholeFile(cache.path);
  ASSERT_GE(file.size(), 36u);
  EXPECT_EQ(files_test::WordAt(file, 0), kCloudFileMagic);
  EXPECT_EQ(files_test::WordAt(file, 2), 20u);
  EXPECT_EQ(files_test::WordAt(file, 3), 16u);
  EXPECT_EQ(files_test::WordAt(file, 5), 20u);   // the list's box width
  EXPECT_EQ(files_test::WordAt(file, 8), 11u);
}

TEST_F(CloudDownloadTest, AnErrorPageNeverReplacesTheSourceList) {
  const std::vector<uint8_t> good = TwelveSourceList();
  WriteWholeFile(In(kCloudListName), good);
  std::thread watcher([] { WatchProgress(); });
  EXPECT_EQ(DownloadCloudSourceList(&globals_), 25);   // the server has no list: a 404 page
  watcher.join();
  EXPECT_EQ(ReadWholeFile(In(kCloudListName)), good);
}

// Oracle: HTTP/1.1's message length (RFC 9112, 6.3: a body shorter than its Content-Length is
// incomplete) and the failures a user must tell apart. After a good fetch of source 0, OK in
// the chooser meets a transfer cut short, no server, an error status, a page that is no picture
// and Cancel; a list is cut short too. Each fetch says what failed, and the list, the picture
// file, the cache and the image stay byte for byte.
TEST_F(CloudDownloadTest, FailedFetchesSayWhyAndReplaceNothing) {
  const std::vector<uint8_t> gif = Fixture("gif/legal/cloud_overlay_20x16.gif"), list = TwelveSourceList();
  server_.Set("/data/west/latest_westirhem.gif", Route{200, gif, true, -1});
  std::thread first([] { WatchProgress(); });
  ASSERT_EQ(FetchClouds(0, false, &globals_), 0);
  first.join();
  WriteWholeFile(In(kCloudListName), list);
  FileSpec cache{};
  CloudCacheSpec(0, &cache);
  auto files = [&] {
    return std::vector<std::vector<uint8_t>>{ReadWholeFile(In(kCloudListName)),
                                             ReadWholeFile(In("Kivaglobe clouds.gif")), ReadWholeFile(cache.path)};
  };
  const auto kept = files();
  const std::string page = "<html><body>Maintenance</body></html>";
  server_.Set("/data/west/latest_westirhem.gif", Route{200, gif, true, -1, 50});
  server_.Set("/data/west/latest_westwvhem.gif", Route{200, std::vector<uint8_t>(page.begin(), page.end()), true, -1});
  server_.Set("/data/west/latest_westvishem.gif", Route{200, Body3000(), true, 1000});
  server_.Set("/dl/kivaglobe-data-v3.dat", Route{200, list, true, -1, int(list.size() / 2)});
  std::thread lister([] { WatchProgress(); });
  EXPECT_EQ(DownloadCloudSourceList(&globals_), 99);
  lister.join();
  const std::string cut = "The connection closed after 50 of " + std::to_string(gif.size()) + " bytes of the picture.";
  const struct {
    const char *what;
    int source;
    const char *server;   // null: the test's own
    std::string says;
  } cases[] = {
      {"cut_short", 0, nullptr, cut},
      {"no_server", 0, "127.0.0.1:1", "The picture's server could not be reached."},
      {"status_404", 3, nullptr, "The server answered with status 404 instead of a picture."},
      {"not_a_picture", 1, nullptr, "What the server sent is not a whole GIF or JPEG picture."},
      {"cancelled", 2, nullptr, "The download was cancelled."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SetExampleDomainServer(c.server != nullptr ? c.server : server_.HostAndPort().c_str());
    Block()->cloudImage = uint32_t(c.source);
    std::string said;
    std::thread user([&] {
      HWND d = WaitForWindow("Choose clouds", 20000);
      Click(d, 1);
      if (c.source == 2) WatchProgress([](HWND box) { Click(box, 1); });
      HWND box = WaitForWindow("Kivaglobe", 30000);
      said = ItemText(box, 0xFFFF);
      SaveWindowPicture(box, std::string("fetch_failed_") + c.what + ".bmp");
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_TRUE(RunCloudChooser(&globals_));
    user.join();
    EXPECT_EQ(said, c.says + " The previous clouds stay.");
    EXPECT_EQ(files(), kept);
    EXPECT_EQ(globals_.runState->cloudHeader.loaded, 1);
    EXPECT_EQ(GetPixelGray8(3, 5, &globals_.imageSet[0], 0), 204);
  }
  server_.Release();
}

}  // namespace
