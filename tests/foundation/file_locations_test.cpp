// Tests of the file specs: the temporary folder, joined paths and their limit, subfolders,
// opening without emptying, truncation, and the folder listing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/binary_io.h"
#include "foundation/file_locations.h"
#include "tests/foundation/test_files.h"

namespace {

std::string SystemTemp() {
  char buf[kPathCapacity];
  uint32_t n = GetPlatformTempFolder(buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf) : std::string();
}

// Stand-ins for the system's answer, through the test seam.
uint32_t TempFails(char *, uint32_t) { return 0; }
uint32_t TempTooLong(char *, uint32_t) { return 300; }
uint32_t TempOf250(char *buffer, uint32_t size) {
  std::string p = "C:\\" + std::string(246, 't') + "\\";
  if (p.size() + 1 > size) return uint32_t(p.size() + 1);
  memcpy(buffer, p.c_str(), p.size() + 1);
  return uint32_t(p.size());
}

struct TempSeam {
  explicit TempSeam(TempFolderProc proc) { SetTempFolderProc(proc); }
  ~TempSeam() { SetTempFolderProc(nullptr); }
};

// A FileSpec with guard bytes behind it.
struct GuardedSpec {
  FileSpec spec;
  char guard[32];
  GuardedSpec() {
    memset(&spec, 'p', sizeof spec);
    memset(guard, '#', sizeof guard);
  }
  bool GuardIntact() const {
    for (char c : guard) {
      if (c != '#') return false;
    }
    return true;
  }
};

TEST(TempFileSpec, NamesAFileInTheTemporaryFolder) {
  std::string temp = SystemTemp();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  FileSpec s;
  EXPECT_EQ(TempFileSpec(&s, "abc"), 0);
  EXPECT_EQ(std::string(s.path), temp + "abc");
  EXPECT_EQ(TempFileSpecForWrite(&s, "Kivaglobe cached settings C"), 0);
  EXPECT_EQ(std::string(s.path), temp + "Kivaglobe cached settings C");
  EXPECT_EQ(TempFileSpecForRead(&s, nullptr), 0);
  EXPECT_EQ(std::string(s.path), temp);
  EXPECT_EQ(TempFileSpec(nullptr, "abc"), 1);
}

TEST(TempFileSpec, FallsBackWhenTheSystemCannotAnswer) {
  FileSpec s;
  {
    TempSeam seam(TempFails);
    EXPECT_EQ(TempFileSpec(&s, "abc"), 0);
    EXPECT_STREQ(s.path, "C:\\Windows\\Temp\\abc");
  }
  {
    // The answer "300 bytes needed" is a failure, not a length.
    TempSeam seam(TempTooLong);
    EXPECT_EQ(TempFileSpec(&s, "abc"), 0);
    EXPECT_STREQ(s.path, "C:\\Windows\\Temp\\abc");
  }
}

TEST(TempFileSpec, AFolderAndNameThatDoNotFitLeaveThePathEmpty) {
  TempSeam seam(TempOf250);
  GuardedSpec g;
  EXPECT_EQ(TempFileSpec(&g.spec, "Kivaglobe cached settings C"), 0);
  EXPECT_STREQ(g.spec.path, "");
  EXPECT_TRUE(g.GuardIntact());
  EXPECT_EQ(TempFileSpec(&g.spec, "abc"), 0);   // 250 + 3 fits
  EXPECT_EQ(strlen(g.spec.path), 253u);
  FileHandle f = 1234;
  g.spec.path[0] = '\0';
  EXPECT_EQ(OpenFileSpec(&g.spec, &f, kOpenForRead), 99);
  EXPECT_EQ(f, 1234);
}

TEST(JoinFileSpecPath, AddsASeparatorOnlyWhenNeeded) {
  FileSpec s;
  JoinFileSpecPath(&s, "C:\\a", "b", 260);
  EXPECT_STREQ(s.path, "C:\\a\\b");
  JoinFileSpecPath(&s, "C:\\a\\", "b", 260);
  EXPECT_STREQ(s.path, "C:\\a\\b");
  JoinFileSpecPath(&s, "C:/a/", "b", 260);
  EXPECT_STREQ(s.path, "C:/a/b");
  JoinFileSpecPath(&s, "", "b", 260);
  EXPECT_STREQ(s.path, "b");
  // The folder may be the FileSpec's own path.
  JoinFileSpecPath(&s, "C:\\x", "y", 260);
  JoinFileSpecPath(&s, s.path, "z.q1q", 260);
  EXPECT_STREQ(s.path, "C:\\x\\y\\z.q1q");
  JoinFileSpecPath(&s, nullptr, "b", 260);
  EXPECT_STREQ(s.path, "");
  JoinFileSpecPath(nullptr, "a", "b", 260);
}

TEST(JoinFileSpecPath, RespectsTheLimit) {
  std::string name(59, 'n');
  GuardedSpec g;
  JoinFileSpecPath(&g.spec, std::string(200, 'f').c_str(), name.c_str(), 260);   // 261 bytes
  EXPECT_STREQ(g.spec.path, "");
  JoinFileSpecPath(&g.spec, std::string(199, 'f').c_str(), name.c_str(), 260);
  EXPECT_EQ(strlen(g.spec.path), 259u);
  // A limit above the field's size is the field's size.
  JoinFileSpecPath(&g.spec, std::string(250, 'f').c_str(), name.c_str(), 100000);
  EXPECT_STREQ(g.spec.path, "");
  EXPECT_TRUE(g.GuardIntact());
}

TEST(FileSpecParts, FolderNameAndRawText) {
  FileSpec a, b;
  StrCopy(a.path, "C:\\pages\\index.html", kPathCapacity);
  EXPECT_EQ(SpecFolderPart(&a, &b), 0);
  EXPECT_STREQ(b.path, "C:\\pages\\");
  EXPECT_EQ(SpecFolderPart(nullptr, &b), 398);
  EXPECT_EQ(SpecFolderPart(&a, nullptr), 398);
  char name[kPathCapacity];
  SpecFileName(&a, name, sizeof name);
  EXPECT_STREQ(name, "index.html");
  SpecFileName(nullptr, name, sizeof name);

  // 300 raw bytes into a 260-byte path: cut and terminated.
  GuardedSpec g;
  std::string raw(300, 'r');
  SetFileSpecText(&g.spec, raw.c_str(), 300);
  EXPECT_EQ(strlen(g.spec.path), 259u);
  EXPECT_TRUE(g.GuardIntact());
  SetFileSpecText(&g.spec, "abc", 4);
  EXPECT_STREQ(g.spec.path, "abc");
  SetFileSpecText(&g.spec, "zzz", 0);
  EXPECT_STREQ(g.spec.path, "abc");
}

using FileSpecFiles = ScratchFolder;

TEST_F(FileSpecFiles, OpeningForWritingKeepsTheOldTailUntilTruncated) {
  WriteWholeFile(In("keep.bin"), CountingBytes(1000));
  WriteWholeFile(In("cut.bin"), CountingBytes(1000));
  FileSpec s;
  FileHandle f = kNoFile;
  JoinFileSpecPath(&s, folder_.c_str(), "keep.bin", 260);
  ASSERT_EQ(OpenFileSpec(&s, &f, kOpenForWrite), 0);
  for (int i = 0; i < 10; i++) WriteU8(0xEE, f);
  ClosePlatformFile(f);
  EXPECT_EQ(FileSize(In("keep.bin")), 1000);

  JoinFileSpecPath(&s, folder_.c_str(), "cut.bin", 260);
  ASSERT_EQ(OpenFileSpec(&s, &f, kOpenForWrite), 0);
  for (int i = 0; i < 10; i++) WriteU8(0xEE, f);
  EXPECT_EQ(TruncateFileHere(f), 0);
  ClosePlatformFile(f);
  EXPECT_EQ(ReadWholeFile(In("cut.bin")), std::vector<uint8_t>(10, 0xEE));

  // A missing file is created for writing, and refused for reading.
  JoinFileSpecPath(&s, folder_.c_str(), "new.bin", 260);
  FileHandle g = 4321;
  EXPECT_EQ(OpenFileSpec(&s, &g, kOpenForRead), 99);
  EXPECT_EQ(g, 4321);
  EXPECT_EQ(OpenFileSpec(&s, &g, kOpenForWrite), 0);
  ClosePlatformFile(g);
  EXPECT_EQ(FileSize(In("new.bin")), 0);
  EXPECT_EQ(OpenFileSpec(nullptr, &g, kOpenForRead), 99);

  // A folder is not a file.
  StrCopy(s.path, folder_.c_str(), kPathCapacity);
  g = 4321;
  EXPECT_EQ(OpenFileSpec(&s, &g, kOpenForRead), 99);
  EXPECT_EQ(g, 4321);
}

TEST_F(FileSpecFiles, SubFoldersAreMadeOnceAndUsedAfterwards) {
  FileSpec parent, made;
  StrCopy(parent.path, folder_.c_str(), kPathCapacity);
  EXPECT_EQ(MakeSubFolder(&parent, "web_images", &made), 0);
  EXPECT_EQ(std::string(made.path), folder_ + "web_images\\");
  EXPECT_TRUE(std::filesystem::is_directory(SystemPath(made.path)));
  EXPECT_EQ(MakeSubFolder(&parent, "web_images", &made), 0);
  EXPECT_EQ(std::string(made.path), folder_ + "web_images\\");
  EXPECT_EQ(MakeSubFolder(nullptr, "x", &made), 396);
  EXPECT_EQ(MakeSubFolder(&parent, nullptr, &made), 396);
  EXPECT_EQ(MakeSubFolder(&parent, "x", nullptr), 396);

  // A page folder near the limit: no overflow, no folder, an empty path.
  GuardedSpec g;
  StrCopy(parent.path, ("C:\\" + std::string(250, 'p') + "\\").c_str(), kPathCapacity);
  EXPECT_EQ(MakeSubFolder(&parent, "web_images", &g.spec), 0);
  EXPECT_STREQ(g.spec.path, "");
  EXPECT_TRUE(g.GuardIntact());
}

TEST_F(FileSpecFiles, SafeNamesCanBeCreated) {
  // "Über" would otherwise become "|ber", which Windows refuses.
  char name[kPathCapacity] = "\xDC" "ber <1>: \"a|b\"?*.jpg";
  MakeFileNameSafe(name);
  FileSpec s;
  JoinFileSpecPath(&s, folder_.c_str(), name, 260);
  FileHandle f = kNoFile;
  ASSERT_EQ(OpenFileSpec(&s, &f, kOpenForWrite), 0) << name;
  ClosePlatformFile(f);
  EXPECT_TRUE(std::filesystem::exists(SystemPath(s.path)));
}

TEST_F(FileSpecFiles, FolderListingAndRenames) {
  WriteWholeFile(In("a.q9q"), {1});
  WriteWholeFile(In("b.txt"), {2});
  FileSpec parent, sub;
  StrCopy(parent.path, folder_.c_str(), kPathCapacity);
  MakeSubFolder(&parent, "inner", &sub);
  std::filesystem::permissions(SystemPath(In("b.txt")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);

  FolderScan scan;
  ASSERT_TRUE(OpenFolderScan(&scan, folder_.c_str()));
  FolderEntry e;
  int files = 0, folders = 0, readOnly = 0;
  while (NextFolderEntry(&scan, &e)) {
    EXPECT_STRNE(e.name, ".");
    EXPECT_STRNE(e.name, "..");
    if (e.isFolder) {
      folders++;
      EXPECT_STREQ(e.name, "inner");
    } else {
      files++;
    }
    if (e.isReadOnly) {
      readOnly++;
      EXPECT_STREQ(e.name, "b.txt");
    }
  }
  CloseFolderScan(&scan);
  EXPECT_EQ(files, 2);
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(readOnly, 1);
  std::filesystem::permissions(SystemPath(In("b.txt")), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);

  // Without the final backslash too; a missing folder cannot be listed.
  std::string bare = folder_.substr(0, folder_.size() - 1);
  ASSERT_TRUE(OpenFolderScan(&scan, bare.c_str()));
  int n = 0;
  while (NextFolderEntry(&scan, &e)) n++;
  CloseFolderScan(&scan);
  EXPECT_EQ(n, 3);
  EXPECT_FALSE(OpenFolderScan(&scan, In("missing").c_str()));
  EXPECT_FALSE(OpenFolderScan(&scan, ""));   // not the root of the drive
  EXPECT_FALSE(OpenFolderScan(&scan, nullptr));

  EXPECT_TRUE(MovePlatformFile(In("a.q9q").c_str(), In("a.q5q").c_str()));
  EXPECT_FALSE(std::filesystem::exists(SystemPath(In("a.q9q"))));
  EXPECT_EQ(ReadWholeFile(In("a.q5q")), std::vector<uint8_t>{1});
  EXPECT_FALSE(MovePlatformFile(In("a.q5q").c_str(), In("b.txt").c_str()));   // never replaces
}

}  // namespace
