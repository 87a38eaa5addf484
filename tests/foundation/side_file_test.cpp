// Tests of new files and the side files of safe saves: a side file is always a file that did
// not exist, beside its target, on short paths and on paths too long for a suffix.
// Oracle throughout: the file system itself, looked at through std::filesystem and stdio
// (which names exist, and what bytes a file holds), never through the code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "foundation/file_io.h"
#include "foundation/file_locations.h"
#include "foundation/strings.h"
#include "tests/foundation/test_files.h"

namespace {

class SideFiles : public ScratchFolder {
 protected:
  // A path of exactly `length` bytes in the scratch folder (through sub-folders, as no single
  // name may pass 255 bytes); the file itself is not made.
  std::string PathOfLength(size_t length) {
    std::string folder = folder_;
    while (length > folder.size() + 200) {
      FileSpec parent, made;
      StrCopy(parent.path, folder.c_str(), kPathCapacity);
      EXPECT_EQ(MakeSubFolder(&parent, std::string(std::min<size_t>(length - folder.size() - 100, 200), 'd').c_str(), &made), 0);
      folder = made.path;
    }
    EXPECT_GT(length, folder.size());
    return folder + std::string(length - folder.size() - 4, 'n') + ".psd";
  }
  static std::set<std::string> Listing(const std::string &folder) {
    std::set<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(SystemPath(folder))) names.insert(e.path().filename().string());
    return names;
  }
  static std::string FolderOf(const std::string &path) { return path.substr(0, path.find_last_of('\\') + 1); }
};

const std::vector<uint8_t> kUserBytes = {'m', 'i', 'n', 'e', 0, 1, 2, 3};

TEST_F(SideFiles, CreatingANewFileNeverOpensAnExistingOne) {
  WriteWholeFile(In("taken"), kUserBytes);
  std::filesystem::create_directory(SystemPath(In("folder")));
  struct Case {
    const char *name;
    bool created;
  } cases[] = {{"fresh", true}, {"taken", false}, {"folder", false}, {"no such folder\\x", false}};
  for (const Case &c : cases) {
    FileHandle f = 12345;
    bool made = CreateNewPlatformFile(In(c.name).c_str(), &f);
    EXPECT_EQ(made, c.created) << c.name;
    if (made) {
      int32_t written = 0;
      EXPECT_TRUE(WritePlatformFile(f, "ab", 2, &written));
      EXPECT_TRUE(ClosePlatformFile(f));
      EXPECT_EQ(ReadWholeFile(In(c.name)), std::vector<uint8_t>({'a', 'b'}));
    } else {
      EXPECT_EQ(f, 12345) << c.name;
    }
  }
  EXPECT_EQ(ReadWholeFile(In("taken")), kUserBytes);
  EXPECT_TRUE(std::filesystem::is_directory(SystemPath(In("folder"))));
}

// The user's own "NAME.new" (a file or a folder) is passed over, not opened, and keeps its bytes.
TEST_F(SideFiles, NamesThatExistArePassedOver) {
  struct Case {
    std::vector<const char *> taken;   // suffixes made before the call ("/" ending: a folder)
    const char *expected;
  } cases[] = {
      {{}, ".new"},
      {{".new"}, ".new2"},
      {{".new/"}, ".new2"},
      {{".new", ".new2", ".new3"}, ".new4"},
  };
  int index = 0;
  for (const Case &c : cases) {
    std::string target = In("doc" + std::to_string(index++) + ".psd");
    WriteWholeFile(target, kUserBytes);
    for (const char *t : c.taken) {
      if (t[strlen(t) - 1] == '/') {
        std::filesystem::create_directory(SystemPath(target + std::string(t, strlen(t) - 1)));
      } else {
        WriteWholeFile(target + t, kUserBytes);
      }
    }
    FileSpec spec, side;
    memset(spec.head, 7, sizeof spec.head);
    StrCopy(spec.path, target.c_str(), kPathCapacity);
    FileHandle f = kNoFile;
    ASSERT_EQ(CreateSideFileSpec(&spec, &side, &f), 0) << c.expected;
    EXPECT_EQ(std::string(side.path), target + c.expected);
    EXPECT_EQ(memcmp(side.head, spec.head, sizeof side.head), 0);
    EXPECT_TRUE(ClosePlatformFile(f));
    EXPECT_EQ(FileSize(side.path), 0) << "a side file starts empty";
    EXPECT_EQ(ReadWholeFile(target), kUserBytes);
    for (const char *t : c.taken) {
      if (t[strlen(t) - 1] != '/') {
        EXPECT_EQ(ReadWholeFile(target + t), kUserBytes) << t;
      }
    }
  }
}

// Around the 260-byte limit: ".new" while it fits with its terminator (up to 255 bytes), then a
// name of the target's own length in its folder, which a 256-259 byte path needs.
TEST_F(SideFiles, LongPathsGetANameOfTheirOwnLength) {
  for (size_t length : {250u, 255u, 256u, 257u, 259u}) {
    std::string target = PathOfLength(length);
    ASSERT_EQ(target.size(), length);
    WriteWholeFile(target, kUserBytes);
    FileSpec spec, side;
    StrCopy(spec.path, target.c_str(), kPathCapacity);
    FileHandle f = kNoFile;
    ASSERT_EQ(CreateSideFileSpec(&spec, &side, &f), 0) << length;
    EXPECT_TRUE(ClosePlatformFile(f));
    std::string got = side.path;
    if (length + 5 <= 260) {
      EXPECT_EQ(got, target + ".new") << length;
    } else {
      EXPECT_EQ(got.size(), length);
      EXPECT_EQ(FolderOf(got), FolderOf(target));
      EXPECT_NE(got, target);
    }
    EXPECT_EQ(FileSize(got), 0) << length;
    EXPECT_EQ(ReadWholeFile(target), kUserBytes) << length;
  }
}

// Property: every call hands out a new name of its own, the tries are bounded, and the call that
// finds no free name creates nothing and leaves its outputs alone.
TEST_F(SideFiles, TriesAreBoundedAndTheLastRefusalCreatesNothing) {
  for (size_t length : {120u, 257u}) {
    std::string target = PathOfLength(length);
    WriteWholeFile(target, kUserBytes);
    FileSpec spec;
    StrCopy(spec.path, target.c_str(), kPathCapacity);
    std::set<std::string> handedOut;
    int16_t result = 0;
    for (int call = 0; call < 64 && result == 0; call++) {
      FileSpec side;
      memset(&side, 'x', sizeof side);
      FileHandle f = 4321;
      result = CreateSideFileSpec(&spec, &side, &f);
      if (result == 0) {
        EXPECT_TRUE(ClosePlatformFile(f));
        EXPECT_TRUE(handedOut.insert(side.path).second) << "handed out twice: " << side.path;
        EXPECT_EQ(FolderOf(side.path), FolderOf(target));
      } else {
        EXPECT_EQ(f, 4321);
        EXPECT_EQ(side.path[0], 'x');
      }
    }
    EXPECT_NE(result, 0) << "no end to the names for a " << length << "-byte path";
    EXPECT_GE(handedOut.size(), 5u);
    std::set<std::string> before = Listing(FolderOf(target));
    FileSpec side;
    FileHandle f = kNoFile;
    EXPECT_NE(CreateSideFileSpec(&spec, &side, &f), 0);
    EXPECT_EQ(Listing(FolderOf(target)), before);
    EXPECT_EQ(ReadWholeFile(target), kUserBytes);
  }
}

TEST_F(SideFiles, TargetsThatNameNoFileAreRefused) {
  std::set<std::string> before = Listing(folder_);
  FileSpec spec, side;
  FileHandle f = kNoFile;
  for (std::string path : {std::string(), folder_, folder_ + "sub/", std::string("C:")}) {
    StrCopy(spec.path, path.c_str(), kPathCapacity);
    EXPECT_EQ(CreateSideFileSpec(&spec, &side, &f), kSpecOpenFailed) << path;
  }
  EXPECT_EQ(CreateSideFileSpec(nullptr, &side, &f), kSpecNull);
  EXPECT_EQ(CreateSideFileSpec(&spec, nullptr, &f), kSpecNull);
  EXPECT_EQ(CreateSideFileSpec(&spec, &side, nullptr), kSpecNull);
  EXPECT_EQ(Listing(folder_), before);
}

}  // namespace
