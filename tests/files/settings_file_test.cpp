// The settings file: the version-40 layout word by word, round trips of every carried field,
// files of older versions built by hand from the format's history, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/settings_fields.h"
#include "files/settings_file.h"
#include "foundation/binary_io.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "tests/files/files_fixture.h"

namespace files_test {
namespace {

class SettingsFile : public FilesTest {
 protected:
  // Saves the current settings to `name` and returns the file's bytes.
  std::vector<uint8_t> Save(const std::string &name) {
    FileSpec spec = Spec(name);
    EXPECT_EQ(SaveSettingsFile(&globals_, &spec), 0);
    return ReadWholeFile(In(name));
  }
  int16_t Read(const std::string &name, int16_t mode, bool *found = nullptr) {
    FileSpec spec = Spec(name);
    return ReadSettingsFile(&globals_, &spec, mode, found);
  }
  // Writes bytes and reads them back in apply mode.
  int16_t ApplyBytes(const std::vector<uint8_t> &bytes, bool *found = nullptr) {
    WriteWholeFile(In("hand.q1q"), bytes);
    return Read("hand.q1q", kReadSettingsApply, found);
  }
  std::vector<uint8_t> BlockBytes() {
    const char *p = reinterpret_cast<const char *>(Block());
    return std::vector<uint8_t>(p, p + sizeof(ParameterBlock));
  }
  void DropThumbnail() { FreeImageTiles(Thumbnail()); }

  // The words of a file of version v up to the end of what every version >= 18 carries
  // (through iceColor), with easily recognised values: colour channel k is 0x1000 + k, the
  // slider words count up from 11.
  Words OldFile(uint32_t v, uint32_t outputMode = 5, uint32_t airDepth = 30) {
    Words w;
    w.Add(v);
    for (uint32_t k = 0; k < 9; k++) w.Add(0x1000 + k);              // land, air, sea
    w.Add({airDepth, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 1, 0, 24, 25});
    w.Add({26, 27, 28, 29, 30});                                     // craters, cloud edges, setting
    w.Add({0x2000, 0x2001, 0x2002, 0x2100, 0x2101, 0x2102});         // cloud colour twice
    if (v >= 2) w.Add({0x2200, 0x2201, 0x2202, 40, 41, 1});          // spare, land tex, coverage, luna
    if (v >= 3) w.Add({outputMode, 1});
    if (v >= 4) w.Add({44, 45, 1});                                  // cities, viscosity, climate
    if (v >= 5) w.Add({47, 48});                                     // ice, cloud texture
    if (v >= 8) w.AddSigned(-68).AddSigned(-68).AddSigned(27);       // light x 100
    if (v >= 8) w.AddSigned(0).AddSigned(-100).AddSigned(5);         // axis x 100
    if (v >= 12) w.Add(1234);
    if (v >= 14) w.Add(77);
    if (v >= 16) w.Add(1);
    if (v >= 17) w.Add(6);
    if (v >= 18) w.Add({0x3000, 0x3001, 0x3002, 0x3100, 0x3101, 0x3102});
    return w;
  }
};

// ---- Writing ---------------------------------------------------------------------------------

TEST_F(SettingsFile, Version40LayoutWordByWord) {
  SetDistinctValues();
  DropThumbnail();
  std::vector<uint8_t> f = Save("layout.q1q");
  ASSERT_EQ(f.size(), 288u) << "71 words and the empty thumbnail block";
  const ParameterBlock *p = Block();
  EXPECT_EQ(WordAt(f, 0), 40u);
  EXPECT_EQ(WordAt(f, 1), 0x1234u);
  EXPECT_EQ(WordAt(f, 9), 0x9ABCu);
  EXPECT_EQ(WordAt(f, 10), p->airDepth);
  EXPECT_EQ(WordAt(f, 16), p->reliefSetting);
  EXPECT_EQ(WordAt(f, 21), 1u);                      // realClouds as a whole word
  EXPECT_EQ(WordAt(f, 29), p->cloudSetting);
  for (int i = 0; i < 2; i++) {                      // the cloud colour twice
    EXPECT_EQ(WordAt(f, 30 + 3 * i), 0x0123u);
    EXPECT_EQ(WordAt(f, 32 + 3 * i), 0x2233u);
  }
  EXPECT_EQ(WordAt(f, 36), 0x6677u);                 // spare colour
  EXPECT_EQ(WordAt(f, 39), p->landTexture);
  EXPECT_EQ(WordAt(f, 42), 9u);                      // output mode at byte 168
  EXPECT_EQ(WordAt(f, 43), 1u);                      // marker
  EXPECT_EQ(WordAt(f, 44), p->cities);
  EXPECT_EQ(int32_t(WordAt(f, 49)), -68);            // -0.684 x 100, truncated
  EXPECT_EQ(int32_t(WordAt(f, 51)), 69);             // 0.7f x 100 = 69.99999..., truncated
  EXPECT_EQ(int32_t(WordAt(f, 53)), -99);
  EXPECT_EQ(int32_t(WordAt(f, 54)), -33);
  EXPECT_EQ(WordAt(f, 55), 1999u);
  EXPECT_EQ(WordAt(f, 57), 1u);                      // marker
  EXPECT_EQ(WordAt(f, 58), 7u);                      // cloud image
  EXPECT_EQ(WordAt(f, 59), 0xABCDu);
  EXPECT_EQ(WordAt(f, 64), 0xF012u);
  EXPECT_EQ(WordAt(f, 65), 0u);                      // legacy picture block, empty
  EXPECT_EQ(WordAt(f, 66), 0x3344u);
  EXPECT_EQ(WordAt(f, 69), 19660u);                  // 0.3f x 65536 = 19660.8
  EXPECT_EQ(WordAt(f, 70), 49152u);                  // 0.75 x 65536
  EXPECT_EQ(WordAt(f, 71), 0u);                      // no thumbnail
  EXPECT_EQ(p->settingsVersion, 1u) << "the writer leaves the marker value in the block";
}

TEST_F(SettingsFile, ThumbnailBlockHoldsACompleteJpeg) {
  PaintThumbnail(3);
  std::vector<uint8_t> f = Save("thumb.q1q");
  ASSERT_GT(f.size(), 300u);
  EXPECT_EQ(WordAt(f, 71), 1u);
  EXPECT_EQ(WordAt(f, 72), 128u);
  EXPECT_EQ(WordAt(f, 73), 128u);
  uint32_t n = WordAt(f, 74);
  EXPECT_EQ(f.size(), 300u + n) << "the stream is not padded";
  EXPECT_EQ(f[300], 0xFF);
  EXPECT_EQ(f[301], 0xD8);
  EXPECT_EQ(f[f.size() - 2], 0xFF);
  EXPECT_EQ(f[f.size() - 1], 0xD9);
}

// Every field a file carries comes back; the floats within the truncation of their scale.
TEST_F(SettingsFile, RoundTripOfEveryCarriedField) {
  SetDistinctValues();
  PaintThumbnail(5);
  ParameterBlock saved = *Block();
  Save("round.q1q");

  SetDefaultParameters(&globals_);
  Block()->spareColor = {1, 2, 3};
  Block()->reliefSetting = 999;
  FillThumbnailBlack();
  bool found = false;
  ASSERT_EQ(Read("round.q1q", kReadSettingsApply, &found), 0);
  EXPECT_TRUE(found);
  const ParameterBlock *p = Block();
  for (int32_t i = 0; i < kSettingsFieldCount; i++) {
    const SettingsField *field = &kSettingsFields[i];
    switch (field->kind) {
      case kFieldColor:
        EXPECT_EQ(SettingsFieldChannel(p, field), SettingsFieldChannel(&saved, field)) << "entry " << i;
        break;
      case kFieldWord:
      case kFieldCheckBox:
      case kFieldOutputMode:
        EXPECT_EQ(SettingsFieldWord(p, field), SettingsFieldWord(&saved, field)) << "entry " << i;
        break;
      default: break;
    }
  }
  EXPECT_FLOAT_EQ(p->lightVector[0], -0.68f);
  EXPECT_FLOAT_EQ(p->lightVector[1], 0.25f);
  EXPECT_FLOAT_EQ(p->lightVector[2], 0.69f);
  EXPECT_FLOAT_EQ(p->axisVector[0], 0.1f);
  EXPECT_FLOAT_EQ(p->axisVector[1], -0.99f);
  EXPECT_FLOAT_EQ(p->axisVector[2], -0.33f);
  EXPECT_EQ(p->centerX, float(19660.0 / 65536.0));
  EXPECT_EQ(p->centerY, 0.75f);
  EXPECT_EQ(globals_.thumbnailWidth, 128);
  EXPECT_EQ(globals_.thumbnailHeight, 128);

  // The thumbnail survives the trip through the JPEG within the codec's loss.
  int64_t error = 0;
  for (int32_t y = 0; y < 128; y += 3) {
    for (int32_t x = 0; x < 128; x += 3) {
      int32_t r, g, b, a;
      GetPixelPacked8(x, y, Thumbnail(), 0, &r, &g, &b, &a);
      error += std::abs(r - 2 * x) + std::abs(g - 2 * y);
      EXPECT_EQ(a, 255);
    }
  }
  EXPECT_LT(error / (43 * 43 * 2), 4) << "mean error per channel";
}

TEST_F(SettingsFile, DefaultPlanetKeepsItsExactValuesButLightZ) {
  DropThumbnail();
  ParameterBlock before = *Block();
  Save("defaults.q1q");
  Block()->centerX = 0.1f;
  ASSERT_EQ(Read("defaults.q1q", kReadSettingsApply), 0);
  EXPECT_EQ(Block()->centerX, 0.5f);
  EXPECT_FLOAT_EQ(Block()->lightVector[0], -0.68f);
  EXPECT_FLOAT_EQ(Block()->lightVector[2], 0.27f) << "0.2742261 x 100 truncates to 27";
  EXPECT_EQ(Block()->planetSize, before.planetSize);
}

// The same values give the same bytes in every build (native, win64, win32): the recorded
// hashes were made by one build and are checked by all.
TEST_F(SettingsFile, SameBytesInEveryBuild) {
  SetDistinctValues();
  DropThumbnail();
  std::vector<uint8_t> plain = Save("golden-plain.q1q");
  EXPECT_EQ(plain.size(), 288u);
  EXPECT_EQ(Fnv1a(plain), 0xd343c75faf6f87baull) << std::hex << Fnv1a(plain);

  ASSERT_TRUE(CreateImage(Thumbnail(), 128, 128, kFormatPacked8, 0));
  PaintThumbnail(11);
  std::vector<uint8_t> pictured = Save("golden-thumb.q1q");
  EXPECT_EQ(pictured.size(), 5767u);
  EXPECT_EQ(Fnv1a(pictured), 0x6121c993cda0fb72ull) << std::hex << Fnv1a(pictured);
}

// ---- Saving safely -----------------------------------------------------------------------------

TEST_F(SettingsFile, SavingReplacesALongerFileAndLeavesNoScratchFile) {
  WriteWholeFile(In("long.q1q"), std::vector<uint8_t>(5000, 0x77));
  DropThumbnail();
  std::vector<uint8_t> f = Save("long.q1q");
  EXPECT_EQ(f.size(), 288u);
  EXPECT_FALSE(FileExists(In("long.q1q.new")));
}

TEST_F(SettingsFile, AFailedSaveKeepsThePreviousFile) {
  DropThumbnail();
  SetDistinctValues();
  std::vector<uint8_t> good = Save("keep.q1q");
  SetDefaultParameters(&globals_);

  // The new file cannot be made: a folder holds the first side name, files all the others.
  FileSpec made;
  FileSpec folder = Spec("");
  ASSERT_EQ(MakeSubFolder(&folder, "keep.q1q.new", &made), 0);
  FileSpec spec = Spec("keep.q1q");
  ASSERT_GT(TakeEverySideName(&spec), 0);
  EXPECT_EQ(SaveSettingsFile(&globals_, &spec), kSettingsOpenFailed);
  EXPECT_EQ(ReadWholeFile(In("keep.q1q")), good);
}

TEST_F(SettingsFile, AFailedReplacementKeepsTheTargetAndRemovesTheNewFile) {
  DropThumbnail();
  // The target is a folder: the finished new file cannot take its place.
  FileSpec made;
  FileSpec folder = Spec("");
  ASSERT_EQ(MakeSubFolder(&folder, "target.q1q", &made), 0);
  FileSpec spec = Spec("target.q1q");
  EXPECT_EQ(SaveSettingsFile(&globals_, &spec), kSettingsWriteFailed);
  EXPECT_FALSE(FileExists(In("target.q1q.new")));
}

// ---- Older versions ----------------------------------------------------------------------------

TEST_F(SettingsFile, Version1ReadsItsWordsAndGetsEveryUpgradeThatAppliesToIt) {
  ParameterBlock &p = *Block();
  p.outputMode = 11;
  p.cloudTexture = 60;
  p.realLuna = 0;
  p.cities = 9;
  p.randomSeed = 555;
  Words w = OldFile(1);
  ASSERT_EQ(ApplyBytes(w.bytes), 0);
  EXPECT_EQ(p.landColor.red, 0x1000);
  EXPECT_EQ(p.seaColor.blue, 0x1008);
  EXPECT_EQ(p.airDepth, 100u) << "30 / 0.3: version 1 predates the air depth rescaling of 24";
  EXPECT_EQ(p.desert, 75u) << "100 - 25 before version 15";
  EXPECT_EQ(p.cloudSetting, 30u);
  EXPECT_EQ(p.cloudColor.red, 0x1000) << "before 7 the clouds took the land colour";
  EXPECT_EQ(p.ice, 100u);
  EXPECT_EQ(p.airBrightness, 50u);
  EXPECT_EQ(p.outputMode, 2u) << "mode 11 of the block becomes composite";
  EXPECT_EQ(p.landComplexity, 57u);
  EXPECT_EQ(p.craterCount, 0u);
  EXPECT_EQ(p.landTexture, 30u) << "50, scaled by the cloud texture 60";
  EXPECT_EQ(p.realLuna, 0u) << "no real-Luna step for a version that has no such word";
  EXPECT_EQ(p.cloudTexture, 60u) << "no inversion for a version that has no such word";
  EXPECT_EQ(p.cities, 0u);
  EXPECT_EQ(p.randomSeed, 555u);
}

TEST_F(SettingsFile, Version21) {
  ParameterBlock &p = *Block();
  p.cityColor = {1, 2, 3};
  p.centerX = 0.125f;
  Words w = OldFile(21, 11, 50);
  ASSERT_EQ(ApplyBytes(w.bytes), 0);
  EXPECT_EQ(p.desert, 25u);
  EXPECT_EQ(p.spareColor.green, 0x2201);
  EXPECT_EQ(p.cloudColor.red, 0x2100) << "the second copy wins";
  EXPECT_EQ(p.realLuna, 1u);
  EXPECT_EQ(p.outputMode, 2u);
  EXPECT_EQ(p.cloudTexture, 48u);
  EXPECT_EQ(p.ice, 47u);
  EXPECT_FLOAT_EQ(p.lightVector[0], -0.68f);
  EXPECT_FLOAT_EQ(p.axisVector[1], -1.0f);
  EXPECT_EQ(p.randomSeed, 1234u);
  EXPECT_EQ(p.cloudCoriolis, 77u);
  EXPECT_EQ(p.cloudImage, 6u);
  EXPECT_EQ(p.iceColor.blue, 0x3102);
  EXPECT_EQ(p.landComplexity, 16u);
  EXPECT_EQ(p.craterCount, 26u);
  EXPECT_EQ(p.landTexture, 19u) << "40 x 48 / 100";
  EXPECT_EQ(p.airDepth, 166u) << "50 / 0.3, not clamped";
  EXPECT_EQ(p.cities, 0u);
  EXPECT_EQ(p.cityColor.red, 1) << "no city colour before 23";
  EXPECT_EQ(p.centerX, 0.125f);
}

TEST_F(SettingsFile, OlderRealLunaAndCloudTextureSteps) {
  Words w = OldFile(10);
  ASSERT_EQ(ApplyBytes(w.bytes), 0);
  EXPECT_EQ(Block()->realLuna, 2u) << "before 11 the check box was stored one lower";
  EXPECT_EQ(Block()->cloudTexture, 52u) << "before 13 the cloud texture was inverted";
}

TEST_F(SettingsFile, Version22CarriesALegacyPicture) {
  Words w = OldFile(22);
  w.Add({1, 4, 4});
  for (int i = 0; i < 16; i++) w.bytes.insert(w.bytes.end(), {200, 100, 50});
  bool found = false;
  ASSERT_EQ(ApplyBytes(w.bytes, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(globals_.thumbnailWidth, 4);
  int32_t r, g, b, a;
  GetPixelPacked8(64, 64, Thumbnail(), 0, &r, &g, &b, &a);
  EXPECT_NEAR(r, 200, 2);
  EXPECT_NEAR(g, 100, 2);
  EXPECT_NEAR(b, 50, 2);
}

// Sizes that differ: the first, clamped, is both width and height; with or without a
// thumbnail image the reader lands on the same next word.
TEST_F(SettingsFile, LegacyPictureIsSkippedByExactlyItsSize) {
  for (bool withThumbnail : {true, false}) {
    if (!withThumbnail) DropThumbnail();
    Words w = OldFile(23);
    w.Add({1, 3, 7});
    for (int i = 0; i < 9; i++) w.bytes.insert(w.bytes.end(), {1, 2, 3});
    w.Add({0x4000, 0x4001, 0x4002});
    ASSERT_EQ(ApplyBytes(w.bytes), 0);
    EXPECT_EQ(Block()->cityColor.red, 0x4000) << withThumbnail;
    EXPECT_EQ(Block()->cityColor.blue, 0x4002) << withThumbnail;
  }
}

TEST_F(SettingsFile, Version23RescalesTheAirDepthWithoutClamping) {
  Words w = OldFile(23, 5, 30);
  w.Add({0, 0x4000, 0x4001, 0x4002});
  Block()->cities = 40;
  ASSERT_EQ(ApplyBytes(w.bytes), 0);
  EXPECT_EQ(Block()->airDepth, 100u);
  EXPECT_EQ(Block()->cities, 0u);
  EXPECT_EQ(Block()->cityColor.green, 0x4001);
}

TEST_F(SettingsFile, Versions29To32) {
  struct Case {
    uint32_t version, mode, wantMode;
    bool centre;
  } cases[] = {{29, 5, 1, false}, {30, 5, 1, true}, {31, 11, 2, true}, {31, 5, 1, true}, {32, 5, 5, true}};
  for (const Case &c : cases) {
    SetDefaultParameters(&globals_);
    Block()->centerX = 0.125f;
    Words w = OldFile(c.version, c.mode);
    w.Add({0, 0x4000, 0x4001, 0x4002});
    if (c.version >= 30) w.Add({16384, 8192});
    ASSERT_EQ(ApplyBytes(w.bytes), 0) << c.version;
    EXPECT_EQ(Block()->outputMode, c.wantMode) << c.version;
    EXPECT_EQ(Block()->centerX, c.centre ? 0.25f : 0.125f) << c.version;
    if (c.version == 30) {
      EXPECT_EQ(Block()->landColor.red, 0x1E1E);
      EXPECT_EQ(Block()->landColor.green, 0x3C3C);
    } else {
      EXPECT_EQ(Block()->landColor.red, 0x1000) << c.version;
    }
  }
}

TEST_F(SettingsFile, Version39EndsAfterTheCentre) {
  Words w = OldFile(39, 7);
  w.Add({0, 0x4000, 0x4001, 0x4002, 32768, 32768});
  bool found = true;
  ASSERT_EQ(ApplyBytes(w.bytes, &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(Block()->outputMode, 7u);
  EXPECT_EQ(Block()->landTexture, 40u);
  EXPECT_EQ(Block()->airDepth, 30u);
  EXPECT_EQ(Block()->centerY, 0.5f);
}

TEST_F(SettingsFile, PictureModeNeverTouchesTheParameters) {
  Words w = OldFile(23);
  w.Add({1, 2, 2});
  for (int i = 0; i < 4; i++) w.bytes.insert(w.bytes.end(), {9, 9, 9});
  w.Add({0x4000, 0x4001, 0x4002});
  WriteWholeFile(In("old.q1q"), w.bytes);
  std::vector<uint8_t> before = BlockBytes();
  bool found = false;
  ASSERT_EQ(Read("old.q1q", kReadSettingsThumbnail, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(BlockBytes(), before);

  SetDistinctValues();
  Save("new.q1q");
  SetDefaultParameters(&globals_);
  before = BlockBytes();
  ASSERT_EQ(Read("new.q1q", kReadSettingsThumbnail, &found), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(BlockBytes(), before);
}

// ---- Damaged files -----------------------------------------------------------------------------

TEST_F(SettingsFile, EmptyFileChangesNothing) {
  std::vector<uint8_t> before = BlockBytes();
  EXPECT_EQ(ApplyBytes({}), kSettingsIncomplete);
  EXPECT_EQ(BlockBytes(), before);
  EXPECT_EQ(Block()->planetSize, 65u);
}

TEST_F(SettingsFile, UnknownVersionsChangeNothing) {
  std::vector<uint8_t> before = BlockBytes();
  for (uint32_t version : {0u, 41u, 1000u, 0x89504E47u, 0xFFFFFFFFu}) {
    Words w = OldFile(40);
    w.bytes[0] = uint8_t(version >> 24);
    w.bytes[1] = uint8_t(version >> 16);
    w.bytes[2] = uint8_t(version >> 8);
    w.bytes[3] = uint8_t(version);
    w.Add({0, 0x4000, 0x4001, 0x4002, 1, 1, 0});
    EXPECT_EQ(ApplyBytes(w.bytes), kSettingsIncomplete) << version;
    EXPECT_EQ(BlockBytes(), before) << version;
  }
}

// Every cut inside the fixed part leaves the block as it was; a cut inside the thumbnail
// block applies the parameters and keeps the thumbnail.
TEST_F(SettingsFile, EveryTruncationIsAllOrNothing) {
  SetDistinctValues();
  PaintThumbnail(7);
  std::vector<uint8_t> whole = Save("whole.q1q");
  ParameterBlock written = *Block();
  ASSERT_GT(whole.size(), 400u);

  for (size_t length = 0; length < whole.size(); length += length < 300 ? 1 : 97) {
    SetDefaultParameters(&globals_);
    FillThumbnailBlack();
    std::vector<uint8_t> before = BlockBytes();
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(length));
    bool found = true;
    int16_t result = ApplyBytes(cut, &found);
    EXPECT_FALSE(found) << length;
    int32_t r, g, b, a;
    GetPixelPacked8(10, 10, Thumbnail(), 0, &r, &g, &b, &a);
    EXPECT_EQ(r + g + b, 0) << "the thumbnail stays as it was, " << length;
    if (length < 284) {
      EXPECT_EQ(result, kSettingsIncomplete) << length;
      EXPECT_EQ(BlockBytes(), before) << length;
    } else {
      EXPECT_EQ(result, 0) << length;
      EXPECT_EQ(Block()->planetSize, written.planetSize) << length;
      EXPECT_EQ(Block()->cityColor.blue, written.cityColor.blue) << length;
    }
  }
}

TEST_F(SettingsFile, ThumbnailBlockCountsAreChecked) {
  struct Case {
    uint32_t version, count;
    size_t bytes;
  } cases[] = {{1, 0, 0}, {1, 49153, 49153}, {1, 0xFFFFFFFFu, 16}, {1, 0x80000000u, 16}, {2, 16, 16}, {1, 100, 100}};
  for (const Case &c : cases) {
    SetDefaultParameters(&globals_);
    DropThumbnail();
    std::vector<uint8_t> fixed = Save("fixed.q1q");
    ASSERT_TRUE(CreateImage(Thumbnail(), 128, 128, kFormatPacked8, 0));
    FillThumbnailBlack();
    fixed.resize(284);
    Words w;
    w.AddBytes(fixed).Add({c.version, 128, 128, c.count});
    w.bytes.resize(w.bytes.size() + c.bytes, 0x5A);   // not a JPEG
    Block()->planetSize = 3;
    bool found = true;
    EXPECT_EQ(ApplyBytes(w.bytes, &found), 0) << c.count;
    EXPECT_FALSE(found) << c.count;
    EXPECT_EQ(Block()->planetSize, 65u) << "the parameters are complete, " << c.count;
    int32_t r, g, b, a;
    GetPixelPacked8(5, 5, Thumbnail(), 0, &r, &g, &b, &a);
    EXPECT_EQ(r + g + b, 0) << c.count;
  }
}


// ---- What the dialog writes -----------------------------------------------------------------

// Presets as the dialog writes them read back exactly as the file says: sliders at 0, 100 and
// between, boxes on and off, every mode, directions as the ball makes them (inside, on its
// edge, Ctrl's (0, 0, 1)), centres at 0, 1 and between. Oracle: the file's own words, decoded
// by the layout (word 42 the mode, 49..54 the vectors x 100, 69..70 the centre x 65536).
TEST_F(SettingsFile, PresetsTheDialogWritesReadBackUnchanged) {
  DropThumbnail();
  uint32_t state = 12345;
  auto next = [&state](uint32_t n) { return ((state = state * 1664525u + 1013904223u) >> 8) % n; };
  for (int round = 0; round < 200; round++) {
    ParameterBlock *p = Block();
    for (uint32_t *word = &p->airDepth; word <= &p->cloudTexture; word++) *word = round < 2 ? 100 * uint32_t(round) : next(101);
    for (uint32_t *box : {&p->realClouds, &p->backlighting, &p->realLuna, &p->lunarClimate}) *box = next(2);
    p->outputMode = 1 + uint32_t(round % 14);
    for (float *v : {p->lightVector, p->axisVector}) {
      const float dx = float(int(next(81)) - 40), dy = float(int(next(81)) - 40);
      const float r = std::max(33.0f, std::sqrt(dx * dx + dy * dy)), x = round % 9 ? dx / r : 0, y = round % 9 ? dy / r : 0;
      const float z = std::sqrt(std::max(0.0f, 1.0f - x * x - y * y)), length = std::sqrt(x * x + y * y + z * z);
      v[0] = x / length, v[1] = y / length, v[2] = z / length;
    }
    p->centerX = round < 2 ? float(round) : float(next(65537)) / 65536.0f;
    const std::vector<uint8_t> f = Save("dialog.q1q");
    const ParameterBlock written = *p;
    SetDefaultParameters(&globals_);
    ASSERT_EQ(Read("dialog.q1q", kReadSettingsApply), 0) << round;
    EXPECT_EQ(std::memcmp(&p->airDepth, &written.airDepth, 29 * sizeof(uint32_t)), 0) << round;
    EXPECT_EQ(p->outputMode, WordAt(f, 42)) << round;
    for (size_t i = 0; i < 3; i++) {
      EXPECT_EQ(p->lightVector[i], float(int32_t(WordAt(f, 49 + i)) * 0.01)) << round;
      EXPECT_EQ(p->axisVector[i], float(int32_t(WordAt(f, 52 + i)) * 0.01)) << round;
    }
    EXPECT_EQ(p->centerX, float(int32_t(WordAt(f, 69)) / 65536.0)) << round;
  }
}

}  // namespace
}  // namespace files_test
