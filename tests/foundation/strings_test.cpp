// Tests of the string and file-name routines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/strings.h"

namespace {

// A field of `capacity` bytes followed by guard bytes that no operation may touch.
struct GuardedField {
  explicit GuardedField(int32_t capacity) : bytes(size_t(capacity) + 16, '#'), capacity(capacity) {}
  char *data() { return bytes.data(); }
  bool GuardIntact() const {
    for (size_t i = size_t(capacity); i < bytes.size(); i++) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
  std::vector<char> bytes;
  int32_t capacity;
};

TEST(StrLength, CountsUpTo32767AndTreatsNullAsEmpty) {
  EXPECT_EQ(StrLength(nullptr), 0);
  EXPECT_EQ(StrLength(""), 0);
  EXPECT_EQ(StrLength("abc"), 3);
  std::string big(40000, 'x');
  EXPECT_EQ(StrLength(big.c_str()), 32767);
}

TEST(StrCopyAppend, NeverWritePastTheCapacityAndAlwaysTerminate) {
  // A 259-character address in a 260-byte field, then a date code and an extension.
  GuardedField url(kPathCapacity);
  std::string address = "http://" + std::string(252, 'a');
  ASSERT_EQ(address.size(), 259u);
  StrCopy(url.data(), address.c_str(), kPathCapacity);
  EXPECT_EQ(std::string(url.data()), address);
  StrAppend(url.data(), "2403011200", kPathCapacity);
  EXPECT_FALSE(AppendGifExtension(url.data(), kPathCapacity));
  EXPECT_FALSE(AppendJpgExtension(url.data(), kPathCapacity));
  StrAppendChar(url.data(), 'z', kPathCapacity);
  EXPECT_EQ(std::string(url.data()), address);
  EXPECT_TRUE(url.GuardIntact());

  // Too long a source is cut at capacity - 1.
  GuardedField small(8);
  StrCopy(small.data(), "abcdefghijkl", 8);
  EXPECT_STREQ(small.data(), "abcdefg");
  StrCopy(small.data(), "abc", 8);
  StrAppend(small.data(), "defghij", 8);
  EXPECT_STREQ(small.data(), "abcdefg");
  EXPECT_TRUE(small.GuardIntact());

  // A destination without a NUL inside its capacity is terminated, not overrun.
  GuardedField full(4);
  memset(full.data(), 'q', 4);
  StrAppend(full.data(), "x", 4);
  EXPECT_STREQ(full.data(), "qqq");
  EXPECT_TRUE(full.GuardIntact());

  char d[16];
  StrCopy(d, nullptr, sizeof d);
  EXPECT_STREQ(d, "");
}

TEST(StrCopyAppend, ExtensionsGoWholeWhenTheyFit) {
  char name[16] = "clouds";
  EXPECT_TRUE(AppendGifExtension(name, sizeof name));
  EXPECT_STREQ(name, "clouds.gif");
  char photo[12] = "pic.png";
  EXPECT_TRUE(AppendJpgExtension(photo, sizeof photo));
  EXPECT_STREQ(photo, "pic.png.jpg");
  char tight[8] = "abcd";
  EXPECT_FALSE(AppendGifExtension(tight, sizeof tight));   // "abcd.gif" needs 9 bytes
  EXPECT_STREQ(tight, "abcd");
  char s[4] = "ab";
  StrAppendChar(s, 'c', sizeof s);
  StrAppendChar(s, 'd', sizeof s);
  EXPECT_STREQ(s, "abc");
  StrAppendChar(nullptr, 'x', 4);
}

TEST(FindSubstring, SearchesWithAndWithoutCase) {
  EXPECT_EQ(FindSubstring(".gif", "clouds.GIF", true), 6);
  EXPECT_EQ(FindSubstring(".gif", "clouds.GIF", false), -1);
  EXPECT_EQ(FindSubstring("abc", "abc", false), 0);
  EXPECT_EQ(FindSubstring("b", "abcb", false), 1);
  EXPECT_EQ(FindSubstring("", "abc", true), -1);
  EXPECT_EQ(FindSubstring("a", "", true), -1);
  EXPECT_EQ(FindSubstring(nullptr, "abc", true), -1);
  EXPECT_EQ(FindSubstring("abcd", "abc", true), -1);
  // Callers test the low 16 bits of a failure against 65535.
  EXPECT_EQ(FindSubstring("zz", "abc", true) & 0xFFFF, 0xFFFF);
  // Only ASCII letters fold: 0xC9 and 0xE9 stay different.
  EXPECT_EQ(FindSubstring("\xE9", "\xC9", true), -1);
  EXPECT_TRUE(MatchAtOffsetNoCase("AbC", "xxabc", 3, 2));
  EXPECT_FALSE(MatchAtOffset("AbC", "xxabc", 3, 2));
  EXPECT_EQ(LowerAsciiChar('Q'), 'q');
  EXPECT_EQ(LowerAsciiChar('['), '[');
}

TEST(FindLastChar, AnswersTheLastIndexOrTheLastCharacter) {
  EXPECT_EQ(FindLastChar("a\\b\\c", '\\'), 3);
  EXPECT_EQ(FindLastChar("abc", '\\'), 2);   // absent: length - 1
  EXPECT_EQ(FindLastChar("", '\\'), -1);
  EXPECT_EQ(FindLastChar(nullptr, '\\'), -1);
}

TEST(FileKinds, LookForTheExtensionAnywhereIgnoringCase) {
  EXPECT_TRUE(IsGifName("http://x/a.GIF?x=1"));
  EXPECT_FALSE(IsGifName(""));
  EXPECT_FALSE(IsGifName(nullptr));
  EXPECT_TRUE(IsJpegName("photo.jpeg.txt"));
  EXPECT_TRUE(IsJpegName("A.JPG"));
  EXPECT_FALSE(IsJpegName("a.jp"));
  EXPECT_FALSE(IsJpegName(nullptr));
}

TEST(PathParts, SplitAtTheLastBackslash) {
  char d[kPathCapacity];
  FolderPart(d, "C:\\a\\b.q1q", sizeof d);
  EXPECT_STREQ(d, "C:\\a\\");
  FolderPart(d, "b.q1q", sizeof d);
  EXPECT_STREQ(d, "b.q1q");
  FolderPart(d, "", sizeof d);
  EXPECT_STREQ(d, "");
  FileNamePart(d, "C:\\a\\b.q1q", sizeof d);
  EXPECT_STREQ(d, "b.q1q");
  FileNamePart(d, "C:\\a\\", sizeof d);
  EXPECT_STREQ(d, "");
  FileNamePart(d, "b.q1q", sizeof d);
  EXPECT_STREQ(d, "b.q1q");

  // In place, as the FileSpec routines use them.
  char p[kPathCapacity] = "C:\\x\\y\\name.q1q";
  FileNamePart(p, p, sizeof p);
  EXPECT_STREQ(p, "name.q1q");
  char q[kPathCapacity] = "C:\\x\\y\\name.q1q";
  FolderPart(q, q, sizeof q);
  EXPECT_STREQ(q, "C:\\x\\y\\");

  // A small destination is cut, never overrun.
  GuardedField small(4);
  FolderPart(small.data(), "C:\\abc\\d", 4);
  EXPECT_STREQ(small.data(), "C:\\");
  EXPECT_TRUE(small.GuardIntact());
  FolderPart(nullptr, "a", 4);
  FileNamePart(d, nullptr, sizeof d);
}

TEST(Extensions, OnlyADotInTheFileNamePartCounts) {
  char a[kPathCapacity] = "C:\\my.dir\\file";
  StripExtension(a);
  EXPECT_STREQ(a, "C:\\my.dir\\file");
  char b[kPathCapacity] = "a.b.c";
  StripExtension(b);
  EXPECT_STREQ(b, "a.b");
  char c[kPathCapacity] = "C:\\my.dir\\myq9q.q1q";
  StripExtension(c);
  EXPECT_STREQ(c, "C:\\my.dir\\myq9q");
  char e[kPathCapacity] = "C:/my.dir/file";
  StripExtension(e);
  EXPECT_STREQ(e, "C:/my.dir/file");
  StripExtension(nullptr);

  char d[kPathCapacity];
  CopyExtension(d, "x.tar.gz", sizeof d);
  EXPECT_STREQ(d, ".gz");
  CopyExtension(d, "*.q1q", sizeof d);
  EXPECT_STREQ(d, ".q1q");
  CopyExtension(d, "x", sizeof d);
  EXPECT_STREQ(d, "");
  CopyExtension(d, ".", sizeof d);
  EXPECT_STREQ(d, "");
  CopyExtension(d, "a.", sizeof d);
  EXPECT_STREQ(d, ".");
  CopyExtension(d, "C:\\my.dir\\file", sizeof d);
  EXPECT_STREQ(d, "");
  CopyExtension(d, nullptr, sizeof d);
  EXPECT_STREQ(d, "");
  GuardedField small(3);
  CopyExtension(small.data(), "a.jpeg", 3);
  EXPECT_STREQ(small.data(), ".j");
  EXPECT_TRUE(small.GuardIntact());
}

TEST(MakeFileNameSafe, WorkedExamples) {
  char a[] = "a/b:c\\d\te";
  MakeFileNameSafe(a);
  EXPECT_STREQ(a, "a_b_c_d e");
  char b[] = "\xE9\x8E";
  MakeFileNameSafe(b);
  EXPECT_EQ(uint8_t(b[0]), 0x89);
  EXPECT_EQ(b[1], '_');
  // 0xDC ('U' with diaeresis) folds onto '|', which Windows refuses in a name.
  char c[] = "\xDC" "ber";
  MakeFileNameSafe(c);
  EXPECT_STREQ(c, "_ber");
  char d[] = "my planet";
  SafeNameNoSpaces(d);
  EXPECT_STREQ(d, "my_planet");
  MakeFileNameSafe(nullptr);
  SafeNameNoSpaces(nullptr);
}

TEST(MakeFileNameSafe, NoByteValueLeavesACharacterWindowsRefuses) {
  for (int v = 1; v < 256; v++) {
    char s[2] = {char(v), 0};
    MakeFileNameSafe(s);
    unsigned char r = static_cast<unsigned char>(s[0]);
    EXPECT_GE(r, 32) << v;
    EXPECT_EQ(strchr("<>:\"/\\|?*", r), nullptr) << "byte " << v << " became " << int(r);
    if (v >= 32 && v < 127 && strchr("<>:\"/\\|?*", v) == nullptr) {
      EXPECT_EQ(r, v);
    }
  }
}

TEST(NumericFilters, KeepDigitsSignsAndOptionallyThePoint) {
  char a[] = "-12.5 px";
  KeepNumericChars(a);
  EXPECT_STREQ(a, "-125");
  char b[] = "-12.5 px";
  FilterNumericChars(b, true);
  EXPECT_STREQ(b, "-12.5");
  char c[] = "+1e3";
  KeepNumericChars(c);
  EXPECT_STREQ(c, "+13");
  FilterNumericChars(nullptr, true);
  // A string longer than the 255-character working copy is filtered from its first 255.
  std::string big(1000, '7');
  KeepNumericChars(big.data());
  EXPECT_EQ(strlen(big.c_str()), 255u);
}

TEST(PascalStrings, ConvertInPlace) {
  unsigned char buf[256];
  std::string s300(300, 'k');
  memcpy(buf, s300.c_str(), 255);
  buf[255] = 'k';   // no NUL anywhere in the buffer
  CToPascalString(buf);
  EXPECT_EQ(buf[0], 255);
  EXPECT_EQ(buf[1], 'k');
  EXPECT_EQ(buf[255], 'k');
  PascalToCString(buf);
  EXPECT_EQ(strlen(reinterpret_cast<char *>(buf)), 255u);

  unsigned char b2[256];
  std::string s200(200, 'm');
  memcpy(b2, s200.c_str(), 201);
  CToPascalString(b2);
  EXPECT_EQ(b2[0], 200);
  PascalToCString(b2);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(b2)), s200);

  unsigned char b3[256] = {5, 'L', 'a', 'y', 'e', 'r', 'X', 'Y'};
  PascalToCString(b3);
  EXPECT_STREQ(reinterpret_cast<char *>(b3), "Layer");
  unsigned char empty[256] = {0};
  CToPascalString(empty);
  EXPECT_EQ(empty[0], 0);
  CToPascalString(nullptr);
  PascalToCString(nullptr);
}

}  // namespace
