// gallery_test_support.cpp -- see gallery_test_support.h.
#include "tests/files/gallery_test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "files/gallery_pages.h"
#include "foundation/strings.h"
#include "tests/files/files_fixture.h"
#define STBI_ONLY_JPEG
#include <stb_image.h>   // the host's decoder (host/stb_image_impl.cpp)
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

GalleryCalls *gCalls = nullptr;

bool ChooseFolder(PluginGlobals *, char *folder, int32_t kind) {
  gCalls->folderKinds.push_back(kind);
  if (gCalls->folder.empty()) return false;
  StrCopy(folder, gCalls->folder.c_str(), kPathCapacity);
  return true;
}

bool ChooseSave(PluginGlobals *, void *, int32_t, const char *title, const char *defaultName, FileSpec *spec) {
  gCalls->saveTitles.push_back(title);
  gCalls->saveNames.push_back(defaultName);
  if (gCalls->pageFile.empty()) return false;
  StrCopy(spec->path, gCalls->pageFile.c_str(), kPathCapacity);
  return true;
}

void Tell(PluginGlobals *, void *, const char *text) { gCalls->messages.push_back(text); }
void Open(const char *path) { gCalls->opened.push_back(path); }

}  // namespace

void RecordGalleryCalls(GalleryCalls *calls) {
  gCalls = calls;
  gGalleryDialogProcs = GalleryDialogProcs{};
  gGalleryDialogProcs.chooseSourceFolder = ChooseFolder;
  gGalleryDialogProcs.chooseSaveFile = ChooseSave;
  gGalleryDialogProcs.tellUser = Tell;
  gGalleryDialogProcs.openInBrowser = Open;
}

std::vector<std::string> FolderNames(const std::string &folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(files_test::SystemPath(folder), ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    std::string x = a, y = b;
    for (char &c : x) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (char &c : y) c = char(std::tolower(static_cast<unsigned char>(c)));
    return x != y ? x < y : a < b;
  });
  return names;
}

void MakeReadOnly(const std::string &path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
#else
  chmod(files_test::SystemPath(path).c_str(), 0444);
#endif
}

void MakeWritable(const std::string &path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  chmod(files_test::SystemPath(path).c_str(), 0644);
#endif
}

uint32_t PlanetSizeOf(const std::vector<uint8_t> &bytes) {
  if (bytes.size() < 60) return 0;
  return uint32_t(bytes[56]) << 24 | uint32_t(bytes[57]) << 16 | uint32_t(bytes[58]) << 8 | bytes[59];
}

std::vector<PageCell> PageCells(const std::string &html) {
  std::vector<PageCell> cells;
  const std::string img = "<img src=\"web_images/", alt = "\" alt=\"", font = "Arial\">", end = "</font>";
  for (size_t at = html.find(img); at != std::string::npos; at = html.find(img, at + 1)) {
    const size_t a = html.find(alt, at), q = html.find('"', a + alt.size()), f = html.find(font, q), e = html.find(end, f);
    if (a == std::string::npos || html.find('>', at) < a || e == std::string::npos) continue;   // a frame image
    cells.push_back({html.substr(at + img.size(), a - at - img.size()), html.substr(a + alt.size(), q - a - alt.size()),
                     html.substr(f + font.size(), e - f - font.size())});
  }
  return cells;
}

std::string AsReferences(const std::string &utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    uint32_t u = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    for (int k = 1; k <= extra && i + size_t(k) < utf8.size(); k++) u = (u << 6) | (uint8_t(utf8[i + size_t(k)]) & 0x3F);
    i += size_t(extra) + 1;
    out += u < 0x80 ? std::string(1, char(u)) : "&#" + std::to_string(u) + ";";
  }
  return out;
}

double MeanLevel(const std::vector<uint8_t> &jpeg) {
  int w = 0, h = 0, n = 0;
  unsigned char *data = stbi_load_from_memory(jpeg.data(), int(jpeg.size()), &w, &h, &n, 3);
  if (data == nullptr) return -1000;
  double sum = 0;
  for (size_t i = 0; i < size_t(w) * size_t(h) * 3; i++) sum += data[i];
  stbi_image_free(data);
  return sum / (double(w) * double(h) * 3);
}
