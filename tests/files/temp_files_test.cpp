// Files of the temporary folder: the cached settings, the memory dots and their map, and the
// undo files behind PushUndo and PopUndo.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_hooks_install.h"
#include "files/settings_file.h"
#include "files/temp_files.h"
#include "plugin/file_hooks.h"
#include "tests/files/files_fixture.h"

namespace files_test {
namespace {

class TempFiles : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    InstallPluginFileHooks();
  }
  void TearDown() override {
    gPluginFileHooks = PluginFileHooks{};
    FilesTest::TearDown();
  }
  void MakeReadOnly(const std::string &name) {
    std::filesystem::permissions(SystemPath(In(name)), std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);
  }
  void MakeWritable(const std::string &name) {
    std::filesystem::permissions(SystemPath(In(name)), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
  }
};

TEST_F(TempFiles, CachedSettingsComeBack) {
  SetDistinctValues();
  EXPECT_EQ(SaveCachedSettings(&globals_), 0);
  EXPECT_TRUE(FileExists(In("Kivaglobe cached settings C")));
  SetDefaultParameters(&globals_);
  EXPECT_EQ(LoadCachedSettings(&globals_), 0);
  EXPECT_EQ(Block()->planetSize, 5u);
  EXPECT_EQ(Block()->randomSeed, 1999u);
}

// An empty cached-settings file (left by a failed first save, say) must not start every later
// run with a planet size of 0x41000000.
TEST_F(TempFiles, EmptyCachedSettingsChangeNothing) {
  WriteWholeFile(In("Kivaglobe cached settings C"), {});
  LoadCachedSettings(&globals_);
  EXPECT_EQ(Block()->planetSize, 65u);
  EXPECT_EQ(Block()->landComplexity, 57u);
}

TEST_F(TempFiles, MissingCachedSettingsChangeNothing) {
  Block()->planetSize = 12;
  EXPECT_EQ(LoadCachedSettings(&globals_), kSettingsOpenFailed);
  EXPECT_EQ(Block()->planetSize, 12u);
}

TEST_F(TempFiles, MemoryDotNames) {
  FileSpec spec;
  EXPECT_EQ(MemoryDotSpec(&spec, 12, true), 0);
  EXPECT_EQ(std::string(spec.path), In("Kivaglobe memory dot 12.q1q"));
  EXPECT_EQ(MemoryDotSpec(&spec, 25, false), 0);
  EXPECT_EQ(std::string(spec.path), In("Kivaglobe memory dot 25.q1q"));
  EXPECT_EQ(MemoryDotSpec(&spec, 0, false), 0);
  EXPECT_EQ(std::string(spec.path), In("Kivaglobe memory dot 0.q1q"));
}

TEST_F(TempFiles, MemoryDotRoundTrip) {
  SetDistinctValues();
  EXPECT_EQ(SaveMemoryDot(&globals_, 3), 0);
  SetDefaultParameters(&globals_);
  EXPECT_EQ(LoadMemoryDot(&globals_, 3), 0);
  EXPECT_EQ(Block()->randomSeed, 1999u);
  // A dot whose file is missing changes nothing.
  SetDefaultParameters(&globals_);
  EXPECT_EQ(LoadMemoryDot(&globals_, 4), 0);
  EXPECT_EQ(Block()->randomSeed, 21u);
}

TEST_F(TempFiles, MapHoldsTheFormatWordAndTheFlags) {
  RunState *run = globals_.runState;
  run->dotHasData[0] = 1;
  run->dotHasData[7] = 1;
  SaveMemoryDotMap(&globals_);
  std::vector<uint8_t> map = ReadWholeFile(In("Kivaglobe memdot map 3"));
  ASSERT_EQ(map.size(), 104u);
  EXPECT_EQ(WordAt(map, 0), 40u);
  for (size_t n = 0; n < 25; n++) EXPECT_EQ(WordAt(map, 1 + n), n == 0 || n == 7 ? 1u : 0u) << n;

  for (uint32_t &flag : run->dotHasData) flag = 0;
  LoadMemoryDotMap(&globals_);
  for (size_t n = 0; n < 25; n++) EXPECT_EQ(run->dotHasData[n], n == 0 || n == 7 ? 1u : 0u) << n;
}

TEST_F(TempFiles, ShortMapSetsOnlyWhatItHolds) {
  Words w;
  w.Add({40, 1, 0});
  w.bytes.push_back(0);   // half a word
  WriteWholeFile(In("Kivaglobe memdot map 3"), w.bytes);
  RunState *run = globals_.runState;
  run->dotHasData[2] = 1;
  LoadMemoryDotMap(&globals_);
  EXPECT_EQ(run->dotHasData[0], 1u);
  EXPECT_EQ(run->dotHasData[1], 0u);
  EXPECT_EQ(run->dotHasData[2], 1u) << "a flag the file does not hold stays";
}

// The map is rewritten in place; a longer old file keeps its tail, which no reader reaches.
TEST_F(TempFiles, MapOverALongerFile) {
  WriteWholeFile(In("Kivaglobe memdot map 3"), std::vector<uint8_t>(200, 0xEE));
  SaveMemoryDotMap(&globals_);
  std::vector<uint8_t> map = ReadWholeFile(In("Kivaglobe memdot map 3"));
  ASSERT_EQ(map.size(), 200u);
  EXPECT_EQ(WordAt(map, 0), 40u);
  EXPECT_EQ(WordAt(map, 25), 0u);
  EXPECT_EQ(map[104], 0xEE);
}

// Undo with files: popping a file-backed slot also brings back the map centre and the cloud
// image, which a snapshot does not hold.
TEST_F(TempFiles, UndoFilesBringBackWhatSnapshotsLack) {
  ParameterBlock &p = *Block();
  p.centerX = 0.25f;
  p.cloudImage = 3;
  p.planetSize = 40;
  PushUndo(&globals_, true);   // slot 1
  EXPECT_TRUE(FileExists(In("Kivaglobe undo 1")));
  p.centerX = 0.75f;
  p.cloudImage = 5;
  p.planetSize = 90;
  PushUndo(&globals_, true);   // slot 0
  EXPECT_TRUE(FileExists(In("Kivaglobe undo 0")));

  PopUndo(&globals_);
  EXPECT_EQ(p.planetSize, 40u);
  EXPECT_EQ(p.centerX, 0.25f);
  EXPECT_EQ(p.cloudImage, 3u);
  PopUndo(&globals_);
  EXPECT_EQ(p.planetSize, 90u);
  EXPECT_EQ(p.centerX, 0.75f);
  EXPECT_EQ(p.cloudImage, 5u);
}

// When the undo file cannot be written, an older file of that name (another run's) must not
// be taken for the slot's state.
TEST_F(TempFiles, UnwrittenUndoFileIsNeverReadBack) {
  ParameterBlock &p = *Block();
  p.centerX = 0.125f;
  p.cloudImage = 9;
  ASSERT_EQ(SaveUndoFile(&globals_, 1), 0);   // a stale file from earlier
  MakeReadOnly("Kivaglobe undo 1");

  p.centerX = 0.25f;
  p.cloudImage = 3;
  p.planetSize = 40;
  PushUndo(&globals_, true);   // slot 1: its file cannot be written
  EXPECT_EQ(globals_.runState->undoSlots[1].slotInFile, 0);
  p.centerX = 0.75f;
  p.planetSize = 90;
  PushUndo(&globals_, true);   // slot 0
  PopUndo(&globals_);
  EXPECT_EQ(p.planetSize, 40u);
  EXPECT_EQ(p.centerX, 0.75f) << "restored from the snapshot only";
  EXPECT_EQ(p.cloudImage, 3u);
  MakeWritable("Kivaglobe undo 1");
}

}  // namespace
}  // namespace files_test
