// gallery_test_support.cpp -- see gallery_test_support.h.
#include "tests/files/gallery_test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "files/gallery_pages.h"
#include "foundation/strings.h"
#include "tests/files/files_fixture.h"
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
