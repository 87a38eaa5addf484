// Values into and out of the controls, the transfer list, the commit's undo policy and the
// Cancel snapshot.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "dialog/control_ids.h"
#include "dialog/control_values.h"
#include "dialog/popup_items.h"
#include "dialog/transfer.h"
#include "tests/dialog/dialog_fixture.h"

using ValueTest = DialogTest;

// Oracle: the value the slider takes (the whole part of the number, within 0..100) written
// in decimal is what the edit shows after the read, whatever was typed.
TEST_F(ValueTest, SliderEditsAreClampedAndRewrittenToTheValueInUse) {
  struct Case { const char *typed; double read; const char *shown; };
  const Case cases[] = {
      {"250", 100, "100"}, {"-3", 0, "0"},   {"abc", 0, "0"},      {"", 0, "0"},
      {"42", 42, "42"},    {"42.9", 42, "42"}, {"1e9", 100, "100"}, {"-0.5", 0, "0"},
      {"50abc", 50, "50"}, {" 7", 7, "7"},   {"0", 0, "0"},        {"100", 100, "100"},
  };
  for (const Case &c : cases) {
    gFakeWindow.texts[kIdAirBrightnessEdit] = c.typed;
    gFakeWindow.textWrites.clear();
    const double v = ReadControlValue(FakeDialog(), kIdAirBrightness);
    EXPECT_EQ(v, c.read) << c.typed;
    EXPECT_EQ(gFakeWindow.texts[kIdAirBrightnessEdit], c.shown) << c.typed;
    // A number inside the range is left as the user typed it.
    if (std::strcmp(c.typed, c.shown) == 0) {
      EXPECT_TRUE(gFakeWindow.textWrites.empty()) << c.typed;
    }
  }
  // Not-a-number and the infinities, where the C library reads them (glibc does; the Windows
  // runtime reads 0): the minimum for not-a-number, the ends for the infinities, and the edit
  // shows what is used.
  struct Special { const char *typed; double where; };
  const Special specials[] = {{"nan", 0}, {"-nan", 0}, {"NAN", 0}, {"inf", 100}, {"-inf", 0}};
  for (const Special &c : specials) {
    const double parsed = std::atof(c.typed);
    const bool read = parsed != 0.0 || std::isnan(parsed);
    gFakeWindow.texts[kIdAirBrightnessEdit] = c.typed;
    const double v = ReadControlValue(FakeDialog(), kIdAirBrightness);
    EXPECT_EQ(v, read ? c.where : 0.0) << c.typed;
    EXPECT_EQ(gFakeWindow.texts[kIdAirBrightnessEdit], read && c.where != 0 ? "100" : "0") << c.typed;
  }
  EXPECT_EQ(ClampSliderNumber(std::nan(""), 0, 100), 0.0);
  EXPECT_EQ(ClampSliderNumber(-std::nan(""), 5, 100), 5.0);
  // Asked through its edit, the slider answers the same.
  gFakeWindow.texts[kIdAirBrightnessEdit] = "250";
  EXPECT_EQ(ReadControlValue(FakeDialog(), kIdAirBrightnessEdit), 100);
}

TEST_F(ValueTest, ProgramWrittenEditTextsStopThePreviewTimer) {
  PutControlValue(FakeDialog(), kIdSeaLevel, 70);
  EXPECT_EQ(gFakeWindow.texts[kIdSeaLevelEdit], "70");
  EXPECT_EQ(GetControlValue(kIdSeaLevel), 70);
  EXPECT_EQ(gFakeWindow.timerKills, 1);
  PutControlValue(FakeDialog(), kIdSeaLevelEdit, 12.5f);   // through the edit's id
  EXPECT_EQ(gFakeWindow.texts[kIdSeaLevelEdit], "12.5");
  EXPECT_EQ(GetControlValue(kIdSeaLevel), 12);
  EXPECT_EQ(gFakeWindow.timerKills, 2);
  // No dialog: nothing written, no timer touched.
  SetEditNumber(nullptr, kIdSeaLevelEdit, 3);
  EXPECT_EQ(gFakeWindow.timerKills, 2);
  EXPECT_EQ(GetEditNumber(nullptr, kIdSeaLevelEdit), 0.0);
  EXPECT_EQ(GetEditNumber(FakeDialog(), 65535), 0.0);
}

TEST_F(ValueTest, CheckBoxesAndTheCombo) {
  PutControlValue(FakeDialog(), kIdRealLuna, 1);
  EXPECT_EQ(gFakeWindow.checks[kIdRealLuna], 1);
  gFakeWindow.checks[kIdRealLuna] = 2;   // indeterminate is not checked
  EXPECT_EQ(ReadControlValue(FakeDialog(), kIdRealLuna), 0);
  EXPECT_EQ(GetControlValue(kIdRealLuna), 0);
  gFakeWindow.checks[kIdRealLuna] = 1;
  EXPECT_EQ(ReadControlValue(FakeDialog(), kIdRealLuna), 1);

  PutControlValue(FakeDialog(), kIdMapMode, 3);
  EXPECT_EQ(gFakeWindow.selections[kIdMapMode], 2);
  EXPECT_EQ(ReadControlValue(FakeDialog(), kIdMapMode), 3);
  PutControlValue(FakeDialog(), kIdMapMode, 14);
  EXPECT_EQ(gFakeWindow.selections[kIdMapMode], 13);
  EXPECT_EQ(ReadControlValue(FakeDialog(), kIdMapMode), 14);
  // Modes outside the list clear the selection and read back as 0.
  for (float mode : {0.0f, 15.0f}) {
    PutControlValue(FakeDialog(), kIdMapMode, mode);
    EXPECT_EQ(ReadControlValue(FakeDialog(), kIdMapMode), 0) << mode;
  }
}

TEST_F(ValueTest, TransferRoundTripKeepsEveryCarriedField) {
  ParameterBlock *p = Params();
  p->seaLevel = 70;
  p->cloudCoriolis = 3;
  p->realClouds = 1;
  p->lunarClimate = 1;
  p->outputMode = 14;
  p->cityColor = ParameterColor{0x1234, 0xABCD, 0xFFFF};
  p->lightVector[0] = 0.6f;
  p->lightVector[1] = -0.8f;
  p->lightVector[2] = 0.0f;
  ParameterBlock before;
  std::memcpy(&before, p, sizeof before);

  ParametersToDialog(globals, FakeDialog());
  EXPECT_EQ(gFakeWindow.texts[kIdSeaLevelEdit], "70");
  EXPECT_EQ(gFakeWindow.texts[kIdCloudCoriolisEdit], "3");
  EXPECT_EQ(gFakeWindow.checks[kIdRealClouds], 1);
  EXPECT_EQ(gFakeWindow.selections[kIdMapMode], 13);
  // 23 slider edits written, each once.
  EXPECT_EQ(gFakeWindow.textWrites.size(), 23u);

  // Scribble over the block's carried fields, then read the dialog back.
  p->seaLevel = 1;
  p->outputMode = 2;
  p->cityColor = ParameterColor{0, 0, 0};
  p->lightVector[0] = 9;
  p->realClouds = 0;
  DialogToParameters(FakeDialog(), globals);
  EXPECT_EQ(std::memcmp(&before, p, sizeof before), 0);
}

TEST_F(ValueTest, ReadingTheDialogClampsWhatWasTyped) {
  ParametersToDialog(globals, FakeDialog());
  gFakeWindow.texts[kIdPlanetSizeEdit] = "150";
  gFakeWindow.texts[kIdDesertEdit] = std::isnan(std::atof("nan")) ? "nan" : "-7";
  gFakeWindow.texts[kIdIceEdit] = "33.7";
  DialogToParameters(FakeDialog(), globals);
  EXPECT_EQ(Params()->planetSize, 100u);
  EXPECT_EQ(gFakeWindow.texts[kIdPlanetSizeEdit], "100");
  EXPECT_EQ(Params()->desert, 0u);
  EXPECT_EQ(gFakeWindow.texts[kIdDesertEdit], "0");
  EXPECT_EQ(Params()->ice, 33u);   // truncated toward zero
}

static int32_t gSlotState = 0;
static int32_t gShownDot = -1;

TEST_F(ValueTest, UndoPolicyByControl) {
  gMemoryDotQueries = MemoryDotQueries{[](const PluginGlobals *, int) { return gSlotState; },
                                       [](const PluginGlobals *) { return gShownDot; }};
  for (int id : {2, 3, 26, 32, 33, 34, 74, 150}) EXPECT_EQ(UndoPolicyFor(id, globals), kUndoNone) << id;
  EXPECT_EQ(UndoPolicyFor(35, globals), kUndoWithFile);
  EXPECT_EQ(UndoPolicyFor(777, globals), kUndoMemory);
  EXPECT_EQ(UndoPolicyFor(18, globals), kUndoNone);   // the preview
  for (int id : {10, 48, 7, 100, 73, 17, 72, 75, 27, 71, 116}) EXPECT_EQ(UndoPolicyFor(id, globals), kUndoMemory) << id;
  for (int id : {4, 77, 25, 76, 5}) EXPECT_EQ(UndoPolicyFor(id, globals), kUndoNone) << id;

  gSlotState = 0;
  EXPECT_EQ(UndoPolicyFor(130, globals), kUndoNone);
  gSlotState = 1;
  globals->ctrlKeyFlag = 0;
  EXPECT_EQ(UndoPolicyFor(130, globals), kUndoWithFile);
  globals->ctrlKeyFlag = 1;
  EXPECT_EQ(UndoPolicyFor(130, globals), kUndoNone);
  gSlotState = 2;
  globals->ctrlKeyFlag = 0;
  EXPECT_EQ(UndoPolicyFor(145, globals), kUndoWithFile);

  gShownDot = -1;
  EXPECT_EQ(UndoPolicyFor(119, globals), kUndoNone);
  gShownDot = 4;
  EXPECT_EQ(UndoPolicyFor(119, globals), kUndoWithFile);
  gMemoryDotQueries = MemoryDotQueries{nullptr, nullptr};
  EXPECT_EQ(UndoPolicyFor(130, globals), kUndoNone);
}

TEST_F(ValueTest, CommitPushesUndoOnlyWhenThePolicySays) {
  RunState *run = globals->runState;
  ParametersToDialog(globals, FakeDialog());
  gFakeWindow.texts[kIdSeaLevelEdit] = "12";
  CommitControlChange(globals, kIdZoomIn, FakeDialog());
  EXPECT_EQ(Params()->seaLevel, 12u);   // read anyway
  EXPECT_FALSE(run->undoSlots[0].slotValid || run->undoSlots[1].slotValid);
  CommitControlChange(globals, kIdSeaLevel, FakeDialog());
  const int slot = globals->undoSlot;
  EXPECT_TRUE(run->undoSlots[slot].slotValid);
  EXPECT_EQ(run->undoSlots[slot].seaLevel, 12u);
  EXPECT_FALSE(run->undoSlots[slot].slotInFile);
  gFakeWindow.texts[kIdSeaLevelEdit] = "13";
  CommitControlChange(globals, kIdWholeDialog, FakeDialog());
  EXPECT_NE(globals->undoSlot, slot);
  EXPECT_EQ(run->undoSlots[globals->undoSlot].seaLevel, 13u);
}

TEST_F(ValueTest, CancelSnapshotPutsBackTheLookTheCentreAndTheCloudImage) {
  ParameterBlock *p = Params();
  p->centerX = 0.5f;
  p->centerY = 0.5f;
  p->halfWidth = 500;
  p->halfHeight = 300;
  p->cloudImage = 2;
  ParameterBlock entry;
  std::memcpy(&entry, p, sizeof entry);
  CancelSnapshot snapshot;
  SaveCancelSnapshot(&snapshot, globals);
  p->seaLevel = 3;
  p->landColor = ParameterColor{1, 2, 3};
  p->randomSeed = 999;
  p->axisVector[2] = -1;
  p->outputMode = 7;
  std::strcpy(p->settingsName, "random settings.q1q");
  p->centerX = 0.1f;
  p->centerY = 0.9f;
  p->halfWidth = 100;
  p->halfHeight = 540;
  p->cloudImage = 5;
  RestoreCancelSnapshot(&snapshot, globals);
  EXPECT_EQ(std::memcmp(&entry, p, sizeof entry), 0);
}

TEST(PopupItems, MapModeEntries) {
  ResetPopupItems();
  EXPECT_EQ(gPopupItems.lastIndex, -1);
  EXPECT_EQ(gPopupItems.items[399].targetId, 1);
  FillMapModeItems();
  EXPECT_EQ(gPopupItems.lastIndex, 13);
  for (int i = 0; i < 14; i++) {
    EXPECT_EQ(gPopupItems.items[i].commandId, 2001 + i);
    EXPECT_EQ(gPopupItems.items[i].value, i + 1);
    EXPECT_EQ(gPopupItems.items[i].targetId, 73);
  }
  SetControlValue(nullptr, 73, 0);
  EXPECT_EQ(ApplyPopupItem(2003), 73);
  EXPECT_EQ(GetControlValue(73), 3);
  EXPECT_EQ(ApplyPopupItem(2999), 73);   // unknown: the first entry
  EXPECT_EQ(GetControlValue(73), 1);
  // Filling again does not grow the table.
  FillMapModeItems();
  EXPECT_EQ(gPopupItems.lastIndex, 13);
  // A full table takes no more.
  ResetPopupItems();
  for (int i = 0; i < 400; i++) ASSERT_NE(AddPopupItem(i, 9), 0);
  EXPECT_EQ(AddPopupItem(1, 9), 0);
  EXPECT_EQ(gPopupItems.lastIndex, 399);

  EXPECT_TRUE(MapModeComboDisabled(kModeRGB96, 32));
  EXPECT_TRUE(MapModeComboDisabled(kModeGray32, 32));
  EXPECT_TRUE(MapModeComboDisabled(kModeRGB, 32));
  EXPECT_FALSE(MapModeComboDisabled(kModeRGB48, 16));
  EXPECT_FALSE(MapModeComboDisabled(kModeRGB, 8));
}
