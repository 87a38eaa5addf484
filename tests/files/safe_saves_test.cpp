// Saves over an existing file, for each saver of the program that replaces a file: presets, JPEG
// pictures and HTML pages (the layered document has its own test in psd_export_test.cpp).
// Oracle: the file system -- what the folder lists and what bytes each file holds -- and the
// formats' own signatures (a settings file's version word 40, JPEG's FF D8, the page's doctype).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/html_page.h"
#include "files/jpeg_files.h"
#include "files/settings_file.h"
#include "foundation/binary_io.h"
#include "tests/files/files_fixture.h"

namespace files_test {
namespace {

enum Outcome { kWhole, kFailed };

class SafeSaves : public FilesTest {
 protected:
  std::set<std::string> Listing() {
    std::set<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(SystemPath(folder_))) names.insert(e.path().filename().string());
    return names;
  }

  // One save of each kind over `spec`; true when the saver reported success.
  static bool Settings(SafeSaves *t, const FileSpec *spec, Outcome outcome) {
    FreeImageTiles(t->Thumbnail());
    // A read-only target refuses the save.
    const auto path = SystemPath(spec->path);
    if (outcome == kFailed) std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    const bool ok = SaveSettingsFile(&t->globals_, spec) == 0;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return ok;
  }
  static bool Jpeg(SafeSaves *t, const FileSpec *spec, Outcome outcome) {
    TiledMipImage image;
    t->Bind(&image);
    if (outcome == kWhole) t->MakePattern(&image, 24, 16, 5);   // else an image without pixels
    const bool ok = WriteJpegFileWithMetadata(&image, spec, 1) == 0;
    FreeImageTiles(&image);
    return ok;
  }
  static bool Page(SafeSaves *, const FileSpec *spec, Outcome outcome) {
    HtmlPage page;
    if (HtmlBeginPage(spec, nullptr, &page, kPageOutputModes, 4) != kPageOk) return false;
    if (outcome == kFailed) page.result = kFileWriteError;   // as a full disk leaves it
    return HtmlEndPage(&page) == 0;
  }
};

using SaveProc = bool (*)(SafeSaves *t, const FileSpec *spec, Outcome outcome);

struct Saver {
  const char *name;
  SaveProc save;
  std::vector<uint8_t> signature;   // the first bytes of a whole file
};

const std::vector<uint8_t> kOld = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
const std::vector<uint8_t> kUsers = {'u', 's', 'e', 'r', 0, 1, 2};

// The user's own file under the first side name keeps its bytes; a whole save replaces the
// target and leaves no other new file; a failed one leaves the target and the folder as they were.
TEST_F(SafeSaves, NoSaveTouchesTheUsersSideNamedFileOrLosesTheOldOne) {
  const Saver savers[] = {
      {"preset.q1q", SafeSaves::Settings, {0, 0, 0, 40}},
      {"picture.jpg", SafeSaves::Jpeg, {0xFF, 0xD8}},
      {"page.html", SafeSaves::Page, {'<', '!', 'D', 'O', 'C'}},
  };
  for (const Saver &s : savers) {
    for (Outcome outcome : {kWhole, kFailed}) {
      SCOPED_TRACE(std::string(s.name) + (outcome == kWhole ? " whole" : " failed"));
      WriteWholeFile(In(s.name), kOld);
      WriteWholeFile(In(std::string(s.name) + ".new"), kUsers);
      std::set<std::string> before = Listing();
      FileSpec spec = Spec(s.name);
      EXPECT_EQ(s.save(this, &spec, outcome), outcome == kWhole);
      EXPECT_EQ(ReadWholeFile(In(std::string(s.name) + ".new")), kUsers);
      const std::vector<uint8_t> now = ReadWholeFile(In(s.name));
      if (outcome == kWhole) {
        ASSERT_GE(now.size(), s.signature.size());
        EXPECT_EQ(std::vector<uint8_t>(now.begin(), now.begin() + long(s.signature.size())), s.signature);
      } else {
        EXPECT_EQ(now, kOld);
      }
      std::set<std::string> after = Listing();
      after.erase("web_images");   // the page's picture folder
      before.erase("web_images");
      EXPECT_EQ(after, before);
    }
  }
}

}  // namespace
}  // namespace files_test
