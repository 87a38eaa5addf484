// The dialog's commands and memory dots without windows: the files they write are read back
// byte by byte, thumbnails by djpeg (natively), and the user's part in the file and colour
// dialogs is played by procedures of the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "dialog/control_values.h"
#include "dialog/dialog_commands.h"
#include "dialog/file_dialogs.h"
#include "dialog/memory_dots.h"
#include "dialog/transfer.h"
#include "files/file_hooks_install.h"
#include "plugin/file_hooks.h"
#include "foundation/random.h"
#include "plugin/globals.h"
#include "tests/files/files_fixture.h"

// files/temp_files.h (its dot count shares its name with the dialog's).
void SaveMemoryDotMap(PluginGlobals *globals);

namespace {

using files_test::FilesTest;
using files_test::ReadWholeFile;
using files_test::WordAt;

// The controls' texts, check marks and selections, kept as a dialog would keep them.
std::map<int, std::string> gTexts;
std::map<int, int> gChecks, gSelections;
std::vector<int> gRepaints;
int gDialogToken;
void *const kDialog = &gDialogToken;

void SetText(void *, int id, const char *text) { gTexts[id] = text; }
int GetText(void *, int id, char *buffer, int size) {
  std::snprintf(buffer, size_t(size), "%s", gTexts[id].c_str());
  return int(std::strlen(buffer));
}
void SetCheck(void *, int id, int c) { gChecks[id] = c; }
int GetCheck(void *, int id) { return gChecks[id]; }
void SetSelection(void *, int id, int i) { gSelections[id] = i; }
int GetSelection(void *, int id) { return gSelections.count(id) ? gSelections[id] : -1; }
void Repaint(void *, int id) { gRepaints.push_back(id); }

// The user's answers to the dialogs.
struct User {
  std::string chosen;          // the file a file dialog answers with; empty: cancel
  int saveCalls = 0, openCalls = 0;
  std::string offeredName, offeredFolder, title;
  std::vector<std::string> told;
};
User gUser;

int FakeSave(char *path, char *, char *folder, int32_t, const char *title) {
  gUser.saveCalls++;
  gUser.offeredName = path;
  gUser.offeredFolder = folder != nullptr ? folder : "";
  gUser.title = title;
  if (gUser.chosen.empty()) return 0;
  std::snprintf(path, kFilePathSize, "%s", gUser.chosen.c_str());
  if (folder != nullptr) RememberFolder(path, folder);
  return 1;
}
int FakeOpen(char *path, char *, char *folder, int32_t, const char *title, PluginGlobals *) {
  gUser.openCalls++;
  gUser.title = title;
  path[0] = 0;
  if (gUser.chosen.empty()) return 0;
  std::snprintf(path, kFilePathSize, "%s", gUser.chosen.c_str());
  if (folder != nullptr) RememberFolder(path, folder);
  return 1;
}
void FakeTell(void *, const char *text) { gUser.told.push_back(text); }

class CommandsTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    gTexts.clear();
    gChecks.clear();
    gSelections.clear();
    gRepaints.clear();
    gUser = User{};
    saved_ = gFileDialogProcs;
    savedBackend_ = gControlBackend;
    gFileDialogProcs = FileDialogProcs{FakeSave, FakeOpen, nullptr, FakeTell};
    gControlBackend = ControlBackend{SetText, GetText, SetCheck, GetCheck, SetSelection, GetSelection, Repaint, nullptr};
    std::memset(&gControlTables, 0, sizeof gControlTables);
    ApplySliderRanges();
    // What the undo policy asks the dots (the rest of InstallDialogCommands is the dialog's
    // window side, which the Windows dialog tests of this program run without).
    gMemoryDotQueries = MemoryDotQueries{MemoryDotSlotState, MemoryDotShown};
    savedFileHooks_ = gPluginFileHooks;
    InstallPluginFileHooks();   // undo steps with their files
    ParametersToDialog(&globals_, kDialog);
    InitMemoryDotSlots(&globals_, kDialog);
  }
  void TearDown() override {
    gFileDialogProcs = saved_;
    gControlBackend = savedBackend_;
    gPluginFileHooks = savedFileHooks_;
    gMemoryDotQueries = MemoryDotQueries{};
    FilesTest::TearDown();
  }
  // A click on a dot with the buttons the press had, then the commit every click ends in.
  bool ClickDot(int slot, bool right = false, bool ctrl = false) {
    globals_.rightButtonFlag = right;
    globals_.ctrlKeyFlag = ctrl;
    bool changed = false;
    const int id = 121 + slot;
    HandleFileCommands(&globals_, kDialog, id, &changed);
    HandleUndoCommand(&globals_, kDialog, id, &changed);
    CommitControlChange(&globals_, id, kDialog);
    return changed;
  }
  uint32_t *Flags() { return globals_.runState->dotHasData; }
  std::string DotPath(int n) { return In("Kivaglobe memory dot " + std::to_string(n) + ".q1q"); }
  FileDialogProcs saved_;
  ControlBackend savedBackend_;
  PluginFileHooks savedFileHooks_;
};

// The first word of a version-40 settings file's thumbnail block (byte 284).
uint32_t ThumbnailBlockWord(const std::vector<uint8_t> &file) { return file.size() >= 288 ? WordAt(file, 71) : 0xDEAD; }

TEST_F(CommandsTest, DotClicksStoreRecallForgetAndKeepTheirFilesAndFlags) {
  SetDistinctValues();
  PaintThumbnail(5);
  // Plain click on an empty dot: stored with its picture, selected, kept by the flag.
  ClickDot(3);
  EXPECT_EQ(Flags()[3], 1u);
  EXPECT_EQ(gMemoryDots.state[3], kDotSelected);
  EXPECT_EQ(gMemoryDots.shownDot, 3);
  std::vector<uint8_t> dot3 = ReadWholeFile(DotPath(3));
  ASSERT_GE(dot3.size(), 300u);
  EXPECT_EQ(WordAt(dot3, 0), 40u);
  EXPECT_EQ(WordAt(dot3, 1), 0x1234u);   // landColor red, as set
  EXPECT_EQ(ThumbnailBlockWord(dot3), 1u);
  // The stored dot's undo step was pushed with its file.
  EXPECT_EQ(globals_.runState->undoSlots[globals_.undoSlot].slotInFile, 1);

  // Ctrl on an empty dot: stored and selected, not kept; the first dot is only filled now.
  ClickDot(9, false, true);
  EXPECT_EQ(Flags()[9], 0u);
  EXPECT_EQ(gMemoryDots.state[9], kDotSelected);
  EXPECT_EQ(gMemoryDots.state[3], kDotFilled);
  int32_t fallback = 0, bitmap = 0;
  MemoryDotBitmaps(gMemoryDots.state[9], Flags()[9] != 0, false, &fallback, &bitmap);
  EXPECT_EQ(bitmap, 202);

  // A plain click on a filled dot brings its settings back.
  Block()->landColor.red = 7;
  Block()->seaLevel = 3;
  EXPECT_TRUE(ClickDot(3));
  EXPECT_EQ(Block()->landColor.red, 0x1234);
  EXPECT_NE(Block()->seaLevel, 3u);
  EXPECT_EQ(gMemoryDots.state[3], kDotSelected);
  EXPECT_EQ(gMemoryDots.state[9], kDotFilled);

  // Ctrl on a filled dot: no longer kept, still filled for now.
  ClickDot(3, false, true);
  EXPECT_EQ(Flags()[3], 0u);
  EXPECT_NE(gMemoryDots.state[3], kDotEmpty);

  // Right click: emptied, thumbnail cleared, the file stays.
  ClickDot(3, true);
  EXPECT_EQ(gMemoryDots.state[3], kDotEmpty);
  EXPECT_EQ(gMemoryDots.shownDot, -1);
  EXPECT_FALSE(gMemoryDots.previewShown);
  EXPECT_EQ(ReadWholeFile(DotPath(3)), dot3);
}

TEST_F(CommandsTest, ClearingTheDotThumbnailLeavesThePictureLaterPresetsCarry) {
  PaintThumbnail(2);
  ClickDot(0);
  HoverMemoryDot(&globals_, kDialog, false, 1);   // an empty dot under the pointer
  ClickDot(0, true);                              // and the filled one forgotten
  ASSERT_NE(globals_.workImage.tiles, nullptr);
  gUser.chosen = In("after.q1q");
  bool changed = false;
  HandleFileCommands(&globals_, kDialog, 26, &changed);
  std::vector<uint8_t> preset = ReadWholeFile(In("after.q1q"));
  EXPECT_EQ(ThumbnailBlockWord(preset), 1u);
}

TEST_F(CommandsTest, OpeningStoresInTheFirstUnkeptDotAndTheMapIsWrittenWordForWord) {
  Flags()[0] = 1;
  AddMemoryDot(&globals_, kDialog);
  EXPECT_EQ(gMemoryDots.state[1], kDotSelected);
  EXPECT_EQ(Flags()[1], 0u);   // an automatic store keeps no flag
  // The next opening uses the same slot again.
  InitMemoryDotSlots(&globals_, kDialog);
  EXPECT_EQ(gMemoryDots.state[0], kDotFilled);
  EXPECT_EQ(gMemoryDots.state[1], kDotEmpty);
  AddMemoryDot(&globals_, kDialog);
  EXPECT_EQ(gMemoryDots.state[1], kDotSelected);
  EXPECT_FALSE(files_test::FileExists(DotPath(2)));

  // Plain-click stores of dots 0 and 7, nothing else kept: the map as the worked example.
  std::memset(Flags(), 0, 25 * sizeof(uint32_t));
  InitMemoryDotSlots(&globals_, kDialog);
  ClickDot(0);
  ClickDot(7);
  SaveMemoryDotMap(&globals_);
  std::vector<uint8_t> expected(104, 0);
  expected[3] = 0x28;
  expected[7] = 1;
  expected[35] = 1;
  EXPECT_EQ(ReadWholeFile(In("Kivaglobe memdot map 3")), expected);

  // With all 25 kept, an opening stores nothing.
  for (int s = 0; s < 25; s++) Flags()[s] = 1;
  std::remove(files_test::SystemPath(DotPath(12)).c_str());
  InitMemoryDotSlots(&globals_, kDialog);
  AddMemoryDot(&globals_, kDialog);
  for (int s = 0; s < 25; s++) EXPECT_NE(gMemoryDots.state[s], kDotSelected) << s;
  EXPECT_FALSE(files_test::FileExists(DotPath(12)));
}

TEST_F(CommandsTest, UndoTogglesBetweenTheLastTwoStates) {
  bool changed = false;
  const uint32_t opened = Block()->seaLevel;
  // Undo at once: nothing to go back to.
  HandleUndoCommand(&globals_, kDialog, 74, &changed);
  EXPECT_EQ(Block()->seaLevel, opened);
  // Two edits of the sea level slider (55, its edit 90), each committed.
  for (const char *typed : {"20", "70"}) {
    gTexts[90] = typed;
    CommitControlChange(&globals_, 55, kDialog);
  }
  ASSERT_EQ(Block()->seaLevel, 70u);
  HandleUndoCommand(&globals_, kDialog, 74, &changed);
  EXPECT_EQ(Block()->seaLevel, 20u);
  EXPECT_EQ(gTexts[90], "20");
  HandleUndoCommand(&globals_, kDialog, 74, &changed);
  EXPECT_EQ(Block()->seaLevel, 70u);
  EXPECT_TRUE(changed);
  // An undoable change turns the selected dot back to filled.
  ClickDot(4);
  HandleUndoCommand(&globals_, kDialog, 55, &changed);
  EXPECT_EQ(gMemoryDots.state[4], kDotFilled);
}

TEST_F(CommandsTest, DefaultsDiceAndSeedNameTheSettings) {
  SetDistinctValues();
  bool changed = false;
  HandleDefaultsCommand(&globals_, kDialog, 27, &changed);
  EXPECT_TRUE(changed);
  EXPECT_STREQ(Block()->settingsName, "plain settings.q1q");
  EXPECT_EQ(Block()->randomSeed, 21u);
  EXPECT_EQ(Block()->outputMode, 1u);
  EXPECT_EQ(std::count(gRepaints.begin(), gRepaints.end(), 76), 1);

  changed = false;
  HandleDiceCommand(&globals_, kDialog, 72, &changed);
  EXPECT_TRUE(changed);
  EXPECT_STREQ(Block()->settingsName, "random settings.q1q");

  HandleDefaultsCommand(&globals_, kDialog, 27, &changed);
  SeedRandom(12345);
  uint32_t highest = 0;
  for (int i = 0; i < 300; i++) {
    HandleRandomSeedCommand(&globals_, kDialog, 75, &changed);
    EXPECT_LE(Block()->randomSeed, 2047u);
    highest = std::max(highest, Block()->randomSeed);
  }
  EXPECT_GT(highest, 1023u);   // the whole range is reached, not half of it
  EXPECT_STREQ(Block()->settingsName, "random settings.q1q");
  // Other ids leave the settings alone.
  changed = false;
  HandleRandomSeedCommand(&globals_, kDialog, 74, &changed);
  HandleDefaultsCommand(&globals_, kDialog, 72, &changed);
  EXPECT_FALSE(changed);
}

TEST_F(CommandsTest, SettingsNamesAreOfferedAsPresetFiles) {
  const char *const cases[][2] = {{"", "Kivaglobe settings.q1q"}, {"my planet.psd", "my planet.q1q"},
                                  {"noext", "noext.q1q"}, {"a.b.q1q", "a.b.q1q"}};
  for (const auto &c : cases) {
    char name[260];
    std::snprintf(name, sizeof name, "%s", c[0]);
    NormalizeSettingsName(name);
    EXPECT_STREQ(name, c[1]);
  }
  char filter[64];
  BuildFileFilter(2, true, filter, sizeof filter);
  EXPECT_STREQ(filter + sizeof "Photoshop files (*.psd)", "*.psd");
  EXPECT_STREQ(DefaultExtension(2, true), "psd");
  EXPECT_EQ(DefaultExtension(5, false), nullptr);   // all files: no extension added
  char folder[260] = "old";
  RememberFolder("C:\\a\\b\\x.q1q", folder);
  EXPECT_STREQ(folder, "C:\\a\\b\\");
}

TEST_F(CommandsTest, SaveAndLoadGoThroughTheFileDialogs) {
  SetDistinctValues();
  PaintThumbnail(9);
  std::snprintf(Block()->settingsName, 260, "%s", "blue world.psd");
  gUser.chosen = In("saved.q1q");
  bool changed = false;
  HandleFileCommands(&globals_, kDialog, 26, &changed);
  EXPECT_EQ(gUser.title, "Save a settings file");
  EXPECT_EQ(gUser.offeredName, "blue world");
  EXPECT_STREQ(Block()->settingsName, "saved.q1q");
  EXPECT_EQ(std::string(Block()->settingsFolder), In(""));
  const std::vector<uint8_t> saved = ReadWholeFile(In("saved.q1q"));
  ASSERT_GE(saved.size(), 300u);
  EXPECT_EQ(ThumbnailBlockWord(saved), 1u);
  EXPECT_EQ(WordAt(saved, 72), 128u);
  EXPECT_EQ(WordAt(saved, 73), 128u);
  const uint32_t n = WordAt(saved, 74);
  ASSERT_EQ(saved.size(), 300u + n);
#ifndef _WIN32
  // djpeg, an independent decoder, reads the thumbnail as a 128 x 128 picture.
  const std::string jpeg = files_test::SystemPath(In("thumb.jpg"));
  files_test::WriteWholeFile(In("thumb.jpg"), std::vector<uint8_t>(saved.begin() + 300, saved.end()));
  FILE *pipe = popen(("djpeg -pnm '" + jpeg + "' | head -c 15").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char header[32] = "";
  const size_t got = std::fread(header, 1, sizeof header - 1, pipe);
  pclose(pipe);
  EXPECT_EQ(std::string(header, got).substr(0, 11), "P6\n128 128\n");
#endif

  // Loading: defaults first, then the file; the name becomes the file's.
  const ParameterBlock savedBlock = *Block();
  SetDefaultParameters(&globals_);
  Block()->cities = 99;
  changed = false;
  HandleFileCommands(&globals_, kDialog, 35, &changed);
  EXPECT_TRUE(changed);
  EXPECT_EQ(gUser.title, "Open a settings file");
  EXPECT_EQ(Block()->cities, savedBlock.cities);
  EXPECT_EQ(Block()->landColor.blue, 0x3456);
  EXPECT_STREQ(Block()->settingsName, "saved.q1q");

  // A cancelled open changes nothing.
  gUser.chosen.clear();
  changed = false;
  HandleFileCommands(&globals_, kDialog, 35, &changed);
  EXPECT_FALSE(changed);
}

TEST_F(CommandsTest, FailedSavesAndUnreadableFilesAreToldAndLoseNothing) {
  // A save into a folder that does not exist: the user is told.
  gUser.chosen = In("no such folder\\x.q1q");
  bool changed = false;
  HandleFileCommands(&globals_, kDialog, 26, &changed);
  ASSERT_EQ(gUser.told.size(), 1u);
  EXPECT_STREQ(gUser.told[0].c_str(), kSaveFailedMessage);

  // An empty file chosen to open: the settings stay as they were.
  files_test::WriteWholeFile(In("empty.q1q"), {});
  SetDistinctValues();
  const ParameterBlock before = *Block();
  gUser.chosen = In("empty.q1q");
  HandleFileCommands(&globals_, kDialog, 35, &changed);
  EXPECT_FALSE(changed);
  // (The dialog remembers the folder the user went to, read or not.)
  ParameterBlock expected = before;
  std::memcpy(expected.settingsFolder, Block()->settingsFolder, sizeof expected.settingsFolder);
  EXPECT_EQ(std::memcmp(&expected, Block(), sizeof expected), 0);
  ASSERT_EQ(gUser.told.size(), 2u);
  EXPECT_STREQ(gUser.told[1].c_str(), kLoadFailedMessage);

  // The layered export's file choice cancelled: nothing written, nothing told, no name kept.
  gUser.chosen.clear();
  std::memcpy(Block()->psdName, "older.psd", 10);
  HandleFileCommands(&globals_, kDialog, 71, &changed);
  EXPECT_EQ(gUser.title, "Save a PSD file");
  EXPECT_EQ(gUser.offeredName, "Kivaglobe layers.psd");
  EXPECT_STREQ(Block()->psdName, "older.psd");
  EXPECT_EQ(gUser.told.size(), 2u);
}

// ---- The host's colour picker ----

struct HostPicker {
  int calls = 0;
  int16_t answer = 0;
  int16_t give[3] = {};
  HostColorServicesInfo seen{};
  std::string prompt;
} gPicker;

OSErr16 KV_HOSTAPI HostColours(HostColorServicesInfo *info) {
  gPicker.calls++;
  gPicker.seen = *info;
  const unsigned char *p = info->selectorParameter.pickerPrompt;
  gPicker.prompt.assign(reinterpret_cast<const char *>(p + 1), p[0]);
  if (gPicker.answer == 0)
    for (int i = 0; i < 3; i++) info->colorComponents[i] = gPicker.give[i];
  return gPicker.answer;
}

TEST_F(CommandsTest, TheHostsPickerGivesHighBytesAndACancelChangesNothing) {
  gPicker = HostPicker{};
  record_.colorServices = HostColours;
  gPicker.give[0] = 10, gPicker.give[1] = 20, gPicker.give[2] = 30;
  uint16_t rgb[3] = {0x3B1C, 0x42D1, 0x9CC5};
  EXPECT_TRUE(PickColor(&globals_, "Land colour", rgb));
  EXPECT_EQ(rgb[0], 0x0A00);
  EXPECT_EQ(rgb[1], 0x1400);
  EXPECT_EQ(rgb[2], 0x1E00);
  EXPECT_EQ(gPicker.seen.colorComponents[0], 0x3B);
  EXPECT_EQ(gPicker.seen.colorComponents[2], 0x9C);
  EXPECT_EQ(gPicker.seen.selector, kColorServicesChooseColor);
  EXPECT_EQ(gPicker.seen.infoSize, int32_t(sizeof(HostColorServicesInfo)));
  EXPECT_EQ(gPicker.prompt, "Land colour");

  gPicker.answer = -128;   // the user cancelled
  uint16_t kept[3] = {0x1234, 0x5678, 0x9ABC};
  EXPECT_FALSE(PickColor(&globals_, "Sea colour", kept));
  EXPECT_EQ(kept[0], 0x1234);
  EXPECT_EQ(kept[2], 0x9ABC);

}

}  // namespace
