// properties_test.cpp -- how the host reads and judges a plug-in's property list and its
// command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/enable_expression.h"
#include "host/host_platform.h"
#include "host/host_options.h"
#include "host/plugin_properties.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"

namespace {

std::string gError;

bool Read(const std::vector<uint8_t> &bytes, PluginProperties *p, OSType4 codeKey = kPiplKeyCodeWin64) {
  char error[512] = "";
  bool ok = ReadPluginProperties(bytes.data(), bytes.size(), codeKey, p, error, sizeof error);
  gError = error;
  return ok;
}

TEST(PluginProperties, ReadsEveryPropertyTheHostUses) {
  PiplBuilder b = FilterPipl(kPiplKeyCodeWin64, "PluginMain");
  std::vector<uint8_t> cases;
  for (const PiplFilterCaseInfo &c : kPiplFilterCases) cases.insert(cases.end(), {c.inputHandling, c.outputHandling, c.flags1, c.flags2});
  b.Add(kPiplKeyFilterCases, cases);
  PluginProperties p;
  ASSERT_TRUE(Read(b.Bytes(), &p)) << gError;
  EXPECT_TRUE(p.haveKind);
  EXPECT_EQ(p.kind, kPiplKindFilter);
  EXPECT_STREQ(p.name, "Kivaglobe...");
  EXPECT_STREQ(p.category, "Corvalane");
  EXPECT_TRUE(p.haveEntry);
  EXPECT_STREQ(p.entryName, "PluginMain");
  EXPECT_EQ(p.modes, 0x5000);
  EXPECT_STREQ(p.enableExpression, kPiplEnableExpression);
  ASSERT_TRUE(p.haveFilterCases);
  EXPECT_EQ(p.filterCases[0].flags1, 1);
  EXPECT_EQ(p.filterCases[6].flags1, 3);
}

TEST(PluginProperties, TheModeFlagsAreReadByteByByte) {
  // Without an enable expression the flag bytes decide. 50 00 is grayscale (0x40) and RGB
  // (0x10) in the first byte; 00 50 is Lab (0x40) and RGB48 (0x10) in the second.
  char error[256];
  PluginProperties p;
  PiplBuilder grayRgb;
  grayRgb.AddCode(kPiplKeyKind, kPiplKindFilter).Add(kPiplKeyModes, {0x50, 0x00});
  ASSERT_TRUE(Read(grayRgb.Bytes(), &p)) << gError;
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeGrayScale, 8, error, sizeof error)) << error;
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeRGB, 8, error, sizeof error)) << error;
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeLab, 8, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeRGB48, 16, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeIndexed, 8, error, sizeof error));

  PiplBuilder labRgb48;
  labRgb48.AddCode(kPiplKeyKind, kPiplKindFilter).Add(kPiplKeyModes, {0x00, 0x50});
  ASSERT_TRUE(Read(labRgb48.Bytes(), &p)) << gError;
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeRGB, 8, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeGrayScale, 8, error, sizeof error));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeLab, 8, error, sizeof error)) << error;
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeRGB48, 16, error, sizeof error)) << error;
}

TEST(PluginProperties, TakesTheCodePropertyOfTheHostsWidthOnly) {
  PiplBuilder b = FilterPipl(kPiplKeyCodeWin32, "ENTRYPOINT");
  PluginProperties p;
  ASSERT_TRUE(Read(b.Bytes(), &p, kPiplKeyCodeWin64));
  EXPECT_FALSE(p.haveEntry);
  char error[256];
  EXPECT_FALSE(CheckPluginRunnable(p, kPiplKeyCodeWin64, error, sizeof error));
  EXPECT_NE(std::string(error).find("'8664'"), std::string::npos) << error;

  ASSERT_TRUE(Read(b.Bytes(), &p, kPiplKeyCodeWin32));
  EXPECT_STREQ(p.entryName, "ENTRYPOINT");
  EXPECT_TRUE(CheckPluginRunnable(p, kPiplKeyCodeWin32, error, sizeof error));
  EXPECT_EQ(HostCodePropertyKey(), sizeof(void *) == 8 ? kPiplKeyCodeWin64 : kPiplKeyCodeWin32);
}

TEST(PluginProperties, SkipsPropertiesOfOtherVendorsAndUnknownKeys) {
  PiplBuilder b;
  b.AddCode(kPiplKeyKind, FourCC('8', 'B', 'F', 'X'), FourCC('a', 'c', 'm', 'e'))   // not ours: ignored
      .AddCString(FourCC('z', 'z', 'z', 'z'), "whatever, of odd length")
      .AddCode(kPiplKeyKind, kPiplKindFilter)
      .AddCString(kPiplKeyCodeWin64, "Main");
  PluginProperties p;
  ASSERT_TRUE(Read(b.Bytes(), &p)) << gError;
  EXPECT_EQ(p.kind, kPiplKindFilter);
  EXPECT_STREQ(p.entryName, "Main");
}

TEST(PluginProperties, RefusesMalformedLists) {
  PiplBuilder b = FilterPipl(kPiplKeyCodeWin64, "PluginMain");
  std::vector<uint8_t> good = b.Bytes();
  PluginProperties p;

  // Cut anywhere inside the properties: never read past the end.
  for (size_t n = 0; n < good.size(); n++) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
    EXPECT_FALSE(Read(cut, &p)) << "cut at " << n;
  }
  // A count larger than the properties present.
  std::vector<uint8_t> more = good;
  more[6] = uint8_t(b.count + 1);
  EXPECT_FALSE(Read(more, &p));
  // A length that runs past the end.
  std::vector<uint8_t> longer = good;
  longer[kPiplHeaderSize + 12] = 0xFF;
  EXPECT_FALSE(Read(longer, &p));
  // A bad reserved word.
  std::vector<uint8_t> word = good;
  word[0] = 2;
  EXPECT_FALSE(Read(word, &p));
  // An entry name without its terminator.
  PiplBuilder unterminated;
  unterminated.AddCode(kPiplKeyKind, kPiplKindFilter).Add(kPiplKeyCodeWin64, {'M', 'a', 'i', 'n'});
  EXPECT_FALSE(Read(unterminated.Bytes(), &p));
  // A name longer than its property.
  PiplBuilder name;
  name.Add(kPiplKeyName, {200, 'a', 'b', 'c'});
  EXPECT_FALSE(Read(name.Bytes(), &p));
}

TEST(PluginProperties, RefusesAPluginThatIsNotAFilter) {
  PiplBuilder b;
  b.AddCode(kPiplKeyKind, FourCC('8', 'B', 'X', 'M')).AddCString(kPiplKeyCodeWin64, "PluginMain");
  PluginProperties p;
  ASSERT_TRUE(Read(b.Bytes(), &p));
  char error[256];
  EXPECT_FALSE(CheckPluginRunnable(p, kPiplKeyCodeWin64, error, sizeof error));
  EXPECT_NE(std::string(error).find("'8BXM'"), std::string::npos) << error;

  PiplBuilder none;
  none.AddCString(kPiplKeyCodeWin64, "PluginMain");
  ASSERT_TRUE(Read(none.Bytes(), &p));
  EXPECT_FALSE(CheckPluginRunnable(p, kPiplKeyCodeWin64, error, sizeof error));
}

TEST(PluginProperties, TheEnableExpressionDecidesOverTheModeFlags) {
  PluginProperties p;
  ASSERT_TRUE(Read(FilterPipl(kPiplKeyCodeWin64, "PluginMain").Bytes(), &p));
  char error[512];
  // The flags name only grey and RGB; the expression adds the 16-bit modes.
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeRGB, 8, error, sizeof error));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeGrayScale, 8, error, sizeof error));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeRGB48, 16, error, sizeof error));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeGray16, 16, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeMultichannel, 8, error, sizeof error));
  EXPECT_NE(std::string(error).find("MultichannelMode"), std::string::npos) << error;
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeCMYK, 8, error, sizeof error));

  // Without an expression the flags decide, and they name 16-bit modes by their own bits.
  PiplBuilder flags;
  flags.AddCode(kPiplKeyKind, kPiplKindFilter).AddModes(kPiplModeRGB | kPiplModeGray16);
  ASSERT_TRUE(Read(flags.Bytes(), &p));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeRGB, 8, error, sizeof error));
  EXPECT_TRUE(CheckPluginEnablesMode(p, kModeGray16, 16, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeGrayScale, 8, error, sizeof error));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeRGB96, 32, error, sizeof error));   // no bit at all

  // An expression the host cannot read refuses the plug-in.
  PiplBuilder odd;
  odd.AddCode(kPiplKeyKind, kPiplKindFilter).AddCString(kPiplKeyEnable, "in (PSHOP_ImageMode, FancyMode)");
  ASSERT_TRUE(Read(odd.Bytes(), &p));
  EXPECT_FALSE(CheckPluginEnablesMode(p, kModeRGB, 8, error, sizeof error));
  EXPECT_NE(std::string(error).find("cannot be read"), std::string::npos) << error;
}

TEST(EnableExpression, EvaluatesTheLanguage) {
  EXPECT_EQ(EvaluateEnableExpression(kPiplEnableExpression, kModeRGB48, 16), kEnableYes);
  EXPECT_EQ(EvaluateEnableExpression(kPiplEnableExpression, kModeLab, 8), kEnableNo);
  EXPECT_EQ(EvaluateEnableExpression("PSHOP_ImageDepth == 16", kModeRGB48, 16), kEnableYes);
  EXPECT_EQ(EvaluateEnableExpression("PSHOP_ImageDepth != 16", kModeRGB48, 16), kEnableNo);
  EXPECT_EQ(EvaluateEnableExpression("in(PSHOP_ImageMode,RGBMode) && !(PSHOP_ImageDepth == 8)", kModeRGB, 8),
            kEnableNo);
  EXPECT_EQ(EvaluateEnableExpression("false || PSHOP_ImageMode == GrayScaleMode", kModeGrayScale, 8), kEnableYes);
  EXPECT_EQ(EvaluateEnableExpression("true", kModeCMYK, 8), kEnableYes);
  // Operators bind as in C: && before ||.
  EXPECT_EQ(EvaluateEnableExpression("true || false && false", kModeRGB, 8), kEnableYes);
}

TEST(EnableExpression, RefusesWhatItCannotRead) {
  const char *const bad[] = {"",   "in PSHOP_ImageMode, RGBMode", "in (PSHOP_ImageMode, RGBMode",
                             "RGBMode RGBMode", "PSHOP_ImageMode ==", "(true", "index", "!= 3",
                             "99999999999 == 1"};
  for (const char *text : bad) EXPECT_EQ(EvaluateEnableExpression(text, kModeRGB, 8), kEnableUnreadable) << text;
  // Deep nesting is refused, not recursed into without bound.
  std::string deep(100000, '(');
  EXPECT_EQ(EvaluateEnableExpression(deep.c_str(), kModeRGB, 8), kEnableUnreadable);
  std::string negations(100000, '!');
  negations += "true";
  EXPECT_EQ(EvaluateEnableExpression(negations.c_str(), kModeRGB, 8), kEnableUnreadable);
  std::string fine = std::string(20, '(') + "true" + std::string(20, ')');
  EXPECT_EQ(EvaluateEnableExpression(fine.c_str(), kModeRGB, 8), kEnableYes);
}

#ifdef KV_PIPL_DIR
// The property lists the build writes for the two deliverables, read as the host reads them.
TEST(PluginProperties, ReadsTheDeliverablesPropertyLists) {
  const struct {
    const char *file;
    OSType4 codeKey;
    const char *entry;
  } lists[] = {{"/pipl64.bin", kPiplKeyCodeWin64, "PluginMain"}, {"/pipl32.bin", kPiplKeyCodeWin32, "ENTRYPOINT"}};
  for (const auto &list : lists) {
    char path[kHostPathSize];
    std::snprintf(path, sizeof path, "%s%s", KV_PIPL_DIR, list.file);
    MapHostPath(path, sizeof path);
    std::string bytes = ReadTextFile(path);
    ASSERT_FALSE(bytes.empty()) << path;
    PluginProperties p;
    ASSERT_TRUE(Read(std::vector<uint8_t>(bytes.begin(), bytes.end()), &p, list.codeKey)) << gError;
    char error[512];
    EXPECT_TRUE(CheckPluginRunnable(p, list.codeKey, error, sizeof error)) << error;
    EXPECT_STREQ(p.entryName, list.entry);
    EXPECT_STREQ(p.name, "Kivaglobe...");
    EXPECT_STREQ(p.category, "Corvalane");
    EXPECT_TRUE(p.haveFilterCases);
    for (int16_t mode : {kModeRGB, kModeGrayScale})
      EXPECT_TRUE(CheckPluginEnablesMode(p, mode, 8, error, sizeof error)) << error;
    for (int16_t mode : {kModeRGB48, kModeGray16})
      EXPECT_TRUE(CheckPluginEnablesMode(p, mode, 16, error, sizeof error)) << error;
    EXPECT_FALSE(CheckPluginEnablesMode(p, kModeMultichannel, 8, error, sizeof error));
  }
}
#endif

// ---- The command line ------------------------------------------------------------------------

bool Parse(std::vector<const char *> args, HostOptions *o, std::string *why = nullptr) {
  args.insert(args.begin(), "kivahost");
  char error[256] = "";
  bool ok = ParseHostOptions(int(args.size()), args.data(), o, error, sizeof error);
  if (why != nullptr) *why = error;
  return ok;
}

TEST(HostOptions, DefaultsAndValues) {
  HostOptions o;
  ASSERT_TRUE(Parse({"--plugin", "k.8bf"}, &o));
  EXPECT_EQ(o.width, 1024);
  EXPECT_EQ(o.height, 1024);
  EXPECT_EQ(o.depth, 8);
  EXPECT_EQ(o.hostSig, FourCC('8', 'B', 'I', 'M'));
  EXPECT_EQ(o.abortAtRow, -1);
  EXPECT_EQ(o.maskKind, kHostMaskNone);

  ASSERT_TRUE(Parse({"--plugin", "k.8bf", "--size", "5000x100", "--depth", "16", "--gray", "--mask", "ellipse",
                     "--host-sig", "PSP9", "--abort-at", "31", "--refuse-buffers", "3", "--selector", "-1",
                     "--out", "o.png", "--log", "l.json"},
                    &o));
  EXPECT_EQ(o.width, 5000);
  EXPECT_EQ(o.height, 100);
  EXPECT_EQ(o.depth, 16);
  EXPECT_TRUE(o.gray);
  EXPECT_EQ(o.maskKind, kHostMaskEllipse);
  EXPECT_EQ(o.hostSig, FourCC('P', 'S', 'P', '9'));
  EXPECT_EQ(o.abortAtRow, 31);
  EXPECT_EQ(o.refuseBuffersFrom, 3);
  EXPECT_TRUE(o.haveSelector);
  EXPECT_EQ(o.selector, -1);
  EXPECT_STREQ(o.outPath, "o.png");

  ASSERT_TRUE(Parse({"--plugin", "k.8bf", "--mask", "sel.png"}, &o));
  EXPECT_EQ(o.maskKind, kHostMaskFile);
  EXPECT_STREQ(o.maskPath, "sel.png");
}

TEST(HostOptions, RefusesBadCommandLines) {
  HostOptions o;
  const std::vector<std::vector<const char *>> bad = {
      {},                                                    // no plug-in
      {"--plugin"},                                          // missing value
      {"--plugin", "k", "--size", "0x10"},
      {"--plugin", "k", "--size", "10x"},
      {"--plugin", "k", "--size", "40000x10"},               // beyond 16-bit rectangles
      {"--plugin", "k", "--size", "10x10junk"},
      {"--plugin", "k", "--depth", "12"},
      {"--plugin", "k", "--host-sig", "8BIMX"},
      {"--plugin", "k", "--refuse-buffers", "0"},
      {"--plugin", "k", "--selector", "40000"},
      {"--plugin", "k", "--gray", "--multichannel"},
      {"--plugin", "k", "--transparent", "--multichannel"},
      {"--plugin", "k", "--in", "a.png", "--size", "2x2"},
      {"--plugin", "k", "--about", "--dialog"},
      {"--plugin", "k", "--frobnicate"},
  };
  for (const auto &args : bad) {
    std::string why;
    EXPECT_FALSE(Parse(args, &o, &why)) << (args.empty() ? "(none)" : args.back());
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
