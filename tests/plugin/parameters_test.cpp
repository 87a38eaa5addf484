// The planet's defaults, the snapshot copy of the look fields, and the undo toggle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "plugin/dispatch.h"
#include "plugin/host_memory.h"
#include "plugin/run_start.h"
#include "tests/plugin/fake_host.h"

namespace {

class ParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHostInit(&host, 200, 100);
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
    g = FakeHostGlobals(&host);
    p = FakeHostParameters(&host);
  }
  void TearDown() override {
    if (g->runState != nullptr) FreeRunBuffers(g);
    FakeHostRelease(&host);
  }
  // A run in progress, as Start leaves it before the dialog: buffers, RunState, undo slots.
  void BeginRun() {
    g->resultPtr = &host.result;
    ASSERT_TRUE(AllocateRunBuffers(g));
    StartupInit(g);
  }
  FakeHost host;
  PluginGlobals *g = nullptr;
  ParameterBlock *p = nullptr;
};

TEST_F(ParametersTest, TheDefaultPlanet) {
  EXPECT_EQ(p->randomSeed, 21u);
  EXPECT_EQ(p->outputMode, 1u);
  EXPECT_EQ(p->cloudImage, 0u);
  EXPECT_EQ(p->centerX, 0.5f);
  EXPECT_EQ(p->centerY, 0.5f);
  EXPECT_EQ(p->lightVector[0], -0.68f);
  EXPECT_EQ(p->lightVector[1], -0.68f);
  // z makes the light a unit vector: the square root in double of 1 minus the two float squares.
  float square = -0.68f * -0.68f;
  EXPECT_EQ(p->lightVector[2], float(std::sqrt(1.0 - double(square) - double(square))));
  EXPECT_NEAR(p->lightVector[2], 0.2742261f, 1e-7f);
  EXPECT_EQ(p->axisVector[0], 0.0f);
  EXPECT_EQ(p->axisVector[1], -1.0f);
  EXPECT_EQ(p->axisVector[2], 0.0f);

  struct Colour {
    const ParameterColor *colour;
    uint16_t r, g, b;
  } colours[] = {{&p->landColor, 0x3B1C, 0x42D1, 0x9CC5},   {&p->airColor, 0x6BF0, 0x8311, 0x9CC5},
                 {&p->seaColor, 0x0CD9, 0x1721, 0x47F5},    {&p->desertColor, 0xE3E3, 0xC8C8, 0x9191},
                 {&p->iceColor, 0xE1E1, 0xE3E3, 0xEFEF},    {&p->cloudColor, 0xFFFF, 0xFFFF, 0xFFFF},
                 {&p->cityColor, 0x70A3, 0x6147, 0x3333}};
  for (const Colour &c : colours) {
    EXPECT_EQ(c.colour->red, c.r);
    EXPECT_EQ(c.colour->green, c.g);
    EXPECT_EQ(c.colour->blue, c.b);
  }

  // The 29 look words in layout order.
  const uint32_t expected[29] = {33, 50, 80, 80, 65, 57, 0,  30, 4,  50, 33, 0,   0, 0, 50,
                                 50, 40, 50, 50, 50, 50, 50, 4,  0, 57, 100, 0, 20, 50};
  const uint32_t *words = &p->airDepth;
  for (int i = 0; i < 29; i++) EXPECT_EQ(words[i], expected[i]) << "look word " << i;
  EXPECT_EQ(&words[28], &p->cloudTexture);
}

TEST_F(ParametersTest, DefaultsRewriteTheLookButNotTheRunFields) {
  p->planetSize = 3;
  p->landColor.green = 1;
  p->randomSeed = 2047;
  p->centerX = 0.1f;
  p->spareWordA = 12;
  p->zoomDivisor = 4;
  p->spareColor = {1, 2, 3};
  std::strcpy(p->settingsName, "mine.q1q");
  SetDefaultParameters(g);
  EXPECT_EQ(p->planetSize, 65u);
  EXPECT_EQ(p->landColor.green, 0x42D1);
  EXPECT_EQ(p->randomSeed, 21u);
  EXPECT_EQ(p->centerX, 0.5f);
  EXPECT_EQ(p->spareWordA, 12);
  EXPECT_EQ(p->zoomDivisor, 4u);
  EXPECT_EQ(p->spareColor.green, 2);
  EXPECT_STREQ(p->settingsName, "mine.q1q");
  SetPlainSettingsName(g);
  EXPECT_STREQ(p->settingsName, "plain settings.q1q");
}

TEST_F(ParametersTest, ASnapshotCarriesTheLookFieldsOnly) {
  static ParameterBlock snapshot;
  std::memset(&snapshot, 0, sizeof snapshot);
  std::strcpy(p->settingsName, "storm.q1q");
  p->spareColor = {7, 8, 9};
  p->cloudTexture = 61;
  p->reliefSetting = 12;
  p->outputMode = 9;
  p->axisVector[2] = 0.25f;
  SaveParameterSnapshot(&snapshot, g);
  EXPECT_STREQ(snapshot.settingsName, "storm.q1q");
  EXPECT_EQ(snapshot.spareColor.blue, 9);
  EXPECT_EQ(snapshot.cloudTexture, 61u);
  EXPECT_EQ(snapshot.cloudImage, 0u);   // not copied: still the snapshot's zero
  EXPECT_EQ(snapshot.centerX, 0.0f);

  // Everything of the look changes, and so do the fields outside it.
  SetDefaultParameters(g);
  std::strcpy(p->settingsName, "other.q1q");
  p->cloudImage = 4;
  p->centerX = 0.75f;
  p->centerY = 0.25f;
  p->zoomDivisor = 3;
  RestoreParameterSnapshot(&snapshot, g);
  EXPECT_STREQ(p->settingsName, "storm.q1q");
  EXPECT_EQ(p->spareColor.red, 7);
  EXPECT_EQ(p->cloudTexture, 61u);
  EXPECT_EQ(p->reliefSetting, 12u);
  EXPECT_EQ(p->outputMode, 9u);
  EXPECT_EQ(p->axisVector[2], 0.25f);
  EXPECT_EQ(p->lightVector[0], -0.68f);
  EXPECT_EQ(p->cloudImage, 4u);
  EXPECT_EQ(p->centerX, 0.75f);
  EXPECT_EQ(p->centerY, 0.25f);
  EXPECT_EQ(p->zoomDivisor, 3u);
}

TEST_F(ParametersTest, ASnapshotLeavesItsSlotFlagsAlone) {
  static ParameterBlock snapshot;
  std::memset(&snapshot, 0, sizeof snapshot);
  snapshot.slotValid = 1;
  snapshot.slotInFile = 1;
  SaveParameterSnapshot(&snapshot, g);
  EXPECT_EQ(snapshot.slotValid, 1);
  EXPECT_EQ(snapshot.slotInFile, 1);
}

TEST_F(ParametersTest, UndoRightAfterTheFirstPushRestoresNothing) {
  BeginRun();
  p->planetSize = 10;
  PushUndo(g, true);
  p->planetSize = 20;
  PopUndo(g);
  EXPECT_EQ(p->planetSize, 20u);
}

TEST_F(ParametersTest, UndoTogglesBetweenTheTwoNewestStates) {
  BeginRun();
  p->planetSize = 10;   // state A
  PushUndo(g, true);
  p->planetSize = 20;   // state B
  PushUndo(g, false);
  p->planetSize = 30;   // an edit not yet pushed
  PopUndo(g);
  EXPECT_EQ(p->planetSize, 10u);
  PopUndo(g);
  EXPECT_EQ(p->planetSize, 20u);
  PopUndo(g);
  EXPECT_EQ(p->planetSize, 10u);
  // The undo files come with the settings files: for now no slot is marked as written.
  EXPECT_EQ(g->runState->undoSlots[0].slotInFile, 0);
  EXPECT_EQ(g->runState->undoSlots[1].slotInFile, 0);
}

TEST_F(ParametersTest, StartClearsTheUndoSlots) {
  BeginRun();
  PushUndo(g, false);
  PushUndo(g, false);
  StartupInit(g);
  EXPECT_EQ(g->undoSlot, 0);
  p->planetSize = 44;
  PopUndo(g);
  EXPECT_EQ(p->planetSize, 44u);
}

TEST_F(ParametersTest, UndoOutsideARunDoesNothing) {
  ASSERT_EQ(g->runState, nullptr);
  PushUndo(g, true);
  PopUndo(g);
  EXPECT_EQ(g->undoSlot, 0);
}

}  // namespace
