// The scripting descriptor: the key table, the reader at Start, Finish's writer and the
// round trip of a recorded action through the two.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "files/settings_fields.h"
#include "files/settings_file.h"
#include "plugin/dispatch.h"
#include "plugin/host_memory.h"
#include "plugin/file_hooks.h"
#include "plugin/script_descriptor.h"
#include "tests/plugin/fake_descriptor.h"
#include "tests/plugin/fake_host.h"

namespace {

constexpr DescriptorKeyID Key(const char (&k)[5]) { return FourCC(k[0], k[1], k[2], k[3]); }

class ScriptDescriptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHostInit(&host, 64, 48);
    FakeDescriptorInit(&fake, host.record.handleProcs);
    host.record.descriptorParameters = &fake.parameters;
    savedHooks = gPluginFileHooks;
    gPluginFileHooks = PluginFileHooks{};
    gPluginFileHooks.writeDescriptorSettings = WriteDescriptorSettings;
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
    g = FakeHostGlobals(&host);
    p = FakeHostParameters(&host);
  }
  void TearDown() override {
    gPluginFileHooks = savedHooks;
    if (fake.parameters.descriptor != nullptr) HostDisposeHandle(host.record.handleProcs, fake.parameters.descriptor);
    FakeHostRelease(&host);
  }
  // A block holding the defaults, to compare with.
  ParameterBlock Defaults() {
    ParameterBlock saved = *p;
    SetDefaultParameters(g);
    ParameterBlock defaults = *p;
    *p = saved;
    return defaults;
  }
  FakeHost host;
  FakeDescriptor fake;
  PluginFileHooks savedHooks;
  PluginGlobals *g = nullptr;
  ParameterBlock *p = nullptr;
};

bool SameLook(const ParameterBlock &a, const ParameterBlock &b) {
  ParameterBlock x, y;
  std::memset(&x, 0, sizeof x);
  std::memset(&y, 0, sizeof y);
  CopySettingsFields(&x, &a);
  CopySettingsFields(&y, &b);
  return std::memcmp(&x, &y, sizeof x) == 0;
}

TEST(ScriptKeys, TheTableListsTheKeysInWritingOrderAndEndsWithZero) {
  EXPECT_EQ(kScriptKeys[0].key, Key("0001"));
  EXPECT_EQ(kScriptKeys[24].key, Key("24p5"));
  EXPECT_EQ(kScriptKeys[33].key, Key("LGky"));
  EXPECT_EQ(kScriptKeys[58].key, Key("0058"));
  EXPECT_EQ(FindScriptKey(Key("0033")), nullptr);
  EXPECT_EQ(gScriptKeyList[kScriptKeyCount], 0u);
  // The writer's keyed entries are the same keys in the same order.
  int32_t n = 0;
  for (int32_t i = 0; i < kSettingsFieldCount; i++) {
    if (kSettingsFields[i].key == 0) continue;
    ASSERT_LT(n, kScriptKeyCount);
    EXPECT_EQ(kSettingsFields[i].key, gScriptKeyList[n]) << n;
    EXPECT_EQ(kSettingsFields[i].offset, kScriptKeys[n].offset) << n;
    n++;
  }
  EXPECT_EQ(n, kScriptKeyCount);
}

TEST(ScriptKeys, OutputModeCodesConvertOnlyTheirOwnEnumeration) {
  for (uint32_t mode = 1; mode <= 14; mode++) {
    OSType4 code = 0;
    WriteOutputModeCode(mode, kOutputModeType, &code);
    uint32_t back = 99;
    EXPECT_TRUE(ReadOutputModeCode(kOutputModeType, code, &back));
    EXPECT_EQ(back, mode);
  }
  OSType4 code = 0;
  WriteOutputModeCode(1, kOutputModeType, &code);
  EXPECT_EQ(code, FourCC('L', 'G', '0', '1'));
  WriteOutputModeCode(0, kOutputModeType, &code);
  EXPECT_EQ(code, kNoOutputModeCode);
  WriteOutputModeCode(15, kOutputModeType, &code);
  EXPECT_EQ(code, kNoOutputModeCode);
  WriteOutputModeCode(3, FourCC('X', 'X', 't', 'y'), &code);
  EXPECT_EQ(code, kNoOutputModeCode);
  uint32_t mode = 7;
  EXPECT_FALSE(ReadOutputModeCode(kOutputModeType, FourCC('L', 'G', '1', '5'), &mode));
  EXPECT_EQ(mode, 0u);
  mode = 7;
  EXPECT_FALSE(ReadOutputModeCode(kOutputModeType, FourCC('L', 'G', '0', '0'), &mode));
  EXPECT_EQ(mode, 0u);
  EXPECT_FALSE(ReadOutputModeCode(FourCC('X', 'X', 't', 'y'), FourCC('L', 'G', '0', '3'), &mode));
  EXPECT_FALSE(ReadOutputModeCode(kOutputModeType, FourCC('L', 'G', '1', ':'), &mode));
}

TEST_F(ScriptDescriptorTest, ADescriptorWithOnlyTheModeGivesTheDefaultPlanetInThatMode) {
  p->planetSize = 3;
  p->landColor.red = 1;
  p->randomSeed = 1234;
  FakeDescriptorSet(&fake, {EnumEntry(Key("LGky"), kOutputModeType, FourCC('L', 'G', '0', '3'))});
  ParameterBlock expected = Defaults();
  expected.outputMode = 3;
  EXPECT_EQ(ReadScriptParameters(g), 0);
  EXPECT_TRUE(SameLook(*p, expected));
  EXPECT_EQ(p->outputMode, 3u);
  EXPECT_EQ(p->showDialog, 0u);
  EXPECT_EQ(host.result, kResultOk);
  // The reader closed its token and disposed of the descriptor.
  EXPECT_EQ(fake.opens, fake.closes);
  EXPECT_EQ(fake.parameters.descriptor, nullptr);
}

TEST_F(ScriptDescriptorTest, ValuesGoIntoTheirFieldsAsTheTableSays) {
  FakeDescriptorSet(&fake, {
                               IntegerEntry(Key("0001"), 255),
                               IntegerEntry(Key("0002"), 0x3B),
                               IntegerEntry(Key("0014"), 40),
                               IntegerEntry(Key("0045"), 77),
                               IntegerEntry(Key("0022"), -5),   // no range test: stored as is
                               BooleanEntry(Key("0021"), true),
                               FloatEntry(Key("0039"), 0.25),
                               FloatEntry(Key("0057"), -0.5),
                               IntegerEntry(Key("0033"), 9),    // not ours: skipped
                               EnumEntry(Key("LGky"), kOutputModeType, FourCC('L', 'G', '1', '4')),
                           });
  ReadScriptParameters(g);
  EXPECT_EQ(p->landColor.red, 0xFF00);
  EXPECT_EQ(p->landColor.green, 0x3B00);
  EXPECT_EQ(p->planetSize, 40u);
  EXPECT_EQ(p->randomSeed, 77u);
  EXPECT_EQ(p->seaLevel, uint32_t(-5));
  EXPECT_EQ(p->backlighting, 1u);
  EXPECT_EQ(p->lightVector[0], 0.25f);
  EXPECT_EQ(p->centerX, -0.5f);
  EXPECT_EQ(p->outputMode, 14u);
}

TEST_F(ScriptDescriptorTest, ForeignOrMistypedValuesDoNotCorruptTheBlock) {
  ParameterBlock defaults = Defaults();
  FakeDescriptorSet(&fake, {
                               EnumEntry(Key("LGky"), FourCC('X', 'X', 't', 'y'), FourCC('L', 'G', '0', '3')),
                               FloatEntry(Key("0014"), 40.0),            // an integer key with a float
                               IntegerEntry(Key("0039"), 3),             // a float key with an integer
                               FloatEntry(Key("0040"), 1e300),           // beyond the float range
                               FloatEntry(Key("0041"), -1e300),
                           });
  ReadScriptParameters(g);
  EXPECT_EQ(p->outputMode, 0u);   // a foreign enumeration gives mode 0
  EXPECT_EQ(p->planetSize, defaults.planetSize);
  EXPECT_EQ(p->lightVector[0], defaults.lightVector[0]);
  EXPECT_EQ(p->lightVector[1], FLT_MAX);
  EXPECT_EQ(p->lightVector[2], -FLT_MAX);
}

TEST_F(ScriptDescriptorTest, OnlyCloseErrorsOtherThanMissingParametersReachTheHost) {
  FakeDescriptorSet(&fake, {IntegerEntry(Key("0014"), 40)});
  fake.closeResult = kResultParamNotFound;
  ReadScriptParameters(g);
  EXPECT_EQ(host.result, kResultOk);
  EXPECT_EQ(p->planetSize, 40u);

  FakeDescriptorSet(&fake, {IntegerEntry(Key("0014"), 41)});
  fake.closeResult = -1716;
  ReadScriptParameters(g);
  EXPECT_EQ(host.result, -1716);
  EXPECT_EQ(p->planetSize, 41u);
  host.result = kResultOk;
}

TEST_F(ScriptDescriptorTest, PlayInfoDecidesTheDialogEvenWithoutADescriptor) {
  fake.parameters.playInfo = kPlayDisplay;
  p->planetSize = 3;
  EXPECT_EQ(ReadScriptParameters(g), 1);   // no descriptor: nothing read, the dialog asked for
  EXPECT_EQ(p->showDialog, 1u);
  EXPECT_EQ(p->planetSize, 3u);            // defaults are not applied without a token

  FakeDescriptorSet(&fake, {});
  EXPECT_EQ(ReadScriptParameters(g), 1);   // an empty descriptor with the dialog
  EXPECT_EQ(p->showDialog, 1u);
  EXPECT_EQ(p->planetSize, Defaults().planetSize);
}

// Played with its dialog, an empty action takes the dialog's road at Start: the entry state is
// pushed for undo, the dialog's request is cleared, the accepted planet is cached, and the run
// renders the defaults.
int gCachedSaves = 0;
std::vector<uint32_t> gUndoFilePlanetSizes;
int16_t CountCachedSave(PluginGlobals *) {
  gCachedSaves++;
  return 0;
}
int16_t NoteUndoFile(PluginGlobals *globals, int32_t) {
  gUndoFilePlanetSizes.push_back(GetParameterBlock(globals)->planetSize);
  return 0;
}

TEST_F(ScriptDescriptorTest, AnEmptyActionPlayedWithItsDialogTakesTheDialogsRoad) {
  gCachedSaves = 0;
  gUndoFilePlanetSizes.clear();
  gPluginFileHooks.saveCachedSettings = CountCachedSave;
  gPluginFileHooks.saveUndoFile = NoteUndoFile;
  fake.parameters.playInfo = kPlayDisplay;
  FakeDescriptorSet(&fake, {});
  p->planetSize = 3;
  std::vector<int16_t> results = FakeHostRun(&host);
  for (int16_t r : results) EXPECT_EQ(r, kResultOk);
  p = FakeHostParameters(&host);
  EXPECT_EQ(p->showDialog, 0u);
  EXPECT_EQ(p->planetSize, Defaults().planetSize);
  EXPECT_EQ(gCachedSaves, 1);
  EXPECT_EQ(gUndoFilePlanetSizes, std::vector<uint32_t>{Defaults().planetSize});
}

TEST_F(ScriptDescriptorTest, PspHostsAndUnusableProceduresReadNothing) {
  FakeDescriptorSet(&fake, {IntegerEntry(Key("0014"), 40)});
  p->showDialog = 1;
  host.record.hostSig = FourCC('P', 'S', 'P', '9');
  EXPECT_EQ(ReadScriptParameters(g), 0);
  EXPECT_FALSE(HasScriptDescriptor(g));
  EXPECT_EQ(p->showDialog, 1u);
  EXPECT_EQ(fake.opens, 0);

  host.record.hostSig = FourCC('8', 'B', 'I', 'M');
  fake.readProcs.numReadDescriptorProcs = 17;
  EXPECT_EQ(ReadScriptParameters(g), 1);
  EXPECT_FALSE(HasScriptDescriptor(g));
  EXPECT_EQ(fake.opens, 0);
  EXPECT_NE(p->planetSize, 40u);
}

TEST_F(ScriptDescriptorTest, HasScriptDescriptorClosesWhatItOpenedAndKeepsTheDescriptor) {
  EXPECT_FALSE(HasScriptDescriptor(g));   // nothing to open
  FakeDescriptorSet(&fake, {IntegerEntry(Key("0014"), 40)});
  fake.closeResult = kResultParamNotFound;
  EXPECT_TRUE(HasScriptDescriptor(g));
  EXPECT_EQ(fake.opens, 1);
  EXPECT_EQ(fake.closes, 1);
  EXPECT_NE(fake.parameters.descriptor, nullptr);
  EXPECT_EQ(host.result, kResultOk);
  fake.refuseOpen = true;
  EXPECT_FALSE(HasScriptDescriptor(g));
}

TEST_F(ScriptDescriptorTest, FinishPutsTheFiftyNineKeysInOrderAndMakesTheDialogOptional) {
  HostHandle old = FakeHostNewHandle(&host, 8);
  fake.parameters.descriptor = old;
  int disposalsBefore = host.handleDisposals;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
  EXPECT_EQ(fake.writerOpens, 1);
  EXPECT_EQ(host.handleDisposals, disposalsBefore + 1);   // the old descriptor
  EXPECT_NE(fake.parameters.descriptor, nullptr);   // a new handle (the allocator may reuse the old address)
  EXPECT_EQ(fake.parameters.recordInfo, kRecordDialogOptional);

  std::vector<FakeDescriptorEntry> puts = FakeDescriptorGet(&fake);
  ASSERT_EQ(puts.size(), size_t(kScriptKeyCount));
  for (int32_t i = 0; i < kScriptKeyCount; i++) {
    EXPECT_EQ(puts[i].key, gScriptKeyList[i]) << i;
    FakePut expected = kPutInteger;
    switch (kScriptKeys[i].kind) {
      case kScriptBoolean: expected = kPutBoolean; break;
      case kScriptFloat: expected = kPutFloat; break;
      case kScriptMode: expected = kPutEnumerated; break;
      default: break;
    }
    EXPECT_EQ(puts[i].put, expected) << i;
  }
  // Colours go as their high byte; the mode as its 'LGty' code.
  EXPECT_EQ(puts[0].integer, 0x3B);
  EXPECT_EQ(puts[33].type, kOutputModeType);
  EXPECT_EQ(uint32_t(puts[33].integer), FourCC('L', 'G', '0', '1'));
  EXPECT_EQ(p->settingsVersion, 1u);
}

TEST_F(ScriptDescriptorTest, FinishRecordsNothingWithoutUsableProcedures) {
  fake.writeProcs.numWriteDescriptorProcs = 15;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
  EXPECT_EQ(fake.writerOpens, 0);
  EXPECT_EQ(fake.parameters.recordInfo, kRecordDialogNone);
}

TEST_F(ScriptDescriptorTest, ARecordedActionReplaysToTheSamePlanetButTheColoursLowBytes) {
  p->planetSize = 40;
  p->outputMode = 5;
  p->realLuna = 1;
  p->lightVector[0] = 0.123f;
  p->centerY = 0.75f;
  p->seaColor = {0x1234, 0xFFFF, 0x00FF};
  ParameterBlock recorded = *p;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);

  // Another planet in between; then the action plays silently at Start.
  p->planetSize = 1;
  p->outputMode = 2;
  p->seaColor = {0, 0, 0};
  ReadScriptParameters(g);
  EXPECT_EQ(p->showDialog, 0u);
  for (ParameterColor ParameterBlock::*c :
       {&ParameterBlock::landColor, &ParameterBlock::airColor, &ParameterBlock::seaColor,
        &ParameterBlock::desertColor, &ParameterBlock::iceColor, &ParameterBlock::cloudColor,
        &ParameterBlock::cityColor}) {
    (recorded.*c).red &= 0xFF00;
    (recorded.*c).green &= 0xFF00;
    (recorded.*c).blue &= 0xFF00;
  }
  // The fields without a key keep whatever the defaults put there.
  recorded.reliefSetting = p->reliefSetting;
  recorded.cloudSetting = p->cloudSetting;
  recorded.spareColor = p->spareColor;
  EXPECT_TRUE(SameLook(*p, recorded));
  EXPECT_EQ(p->seaColor.red, 0x1200);
  EXPECT_EQ(p->seaColor.blue, 0x0000);
}

TEST_F(ScriptDescriptorTest, StartReadsTheDescriptorOfARecordedAction) {
  FakeDescriptorSet(&fake, {IntegerEntry(Key("0014"), 40),
                            EnumEntry(Key("LGky"), kOutputModeType, FourCC('L', 'G', '0', '3'))});
  std::vector<int16_t> results = FakeHostRun(&host);
  for (int16_t r : results) EXPECT_EQ(r, kResultOk);
  p = FakeHostParameters(&host);
  EXPECT_EQ(p->planetSize, 40u);
  EXPECT_EQ(p->outputMode, 3u);
  // Finish recorded the run again.
  EXPECT_EQ(fake.writerOpens, 1);
  EXPECT_EQ(fake.parameters.recordInfo, kRecordDialogOptional);
}

}  // namespace

namespace {

TEST_F(ScriptDescriptorTest, FinishCallsNoWriteProcedureThatTheHostLeftEmpty) {
  fake.writeProcs.putEnumeratedProc = nullptr;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
  EXPECT_EQ(fake.writerOpens, 0);
}

}  // namespace
