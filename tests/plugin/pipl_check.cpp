// pipl_check.cpp -- see pipl_check.h.
#include "tests/plugin/pipl_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/pipl_layout.h"

void CheckPropertyList(const uint8_t *list, size_t size, int width) {
  ASSERT_GE(size, kPiplHeaderSize);
  EXPECT_EQ(PiplReadU16(list), kPiplReservedWord);
  EXPECT_EQ(PiplReadU32(list + 2), uint32_t(kPiplListVersion));
  EXPECT_EQ(PiplReadU32(list + 6), uint32_t(kPiplPropertyCount));

  // Walk every property: vendor, id 0, a padded length, and nothing left over at the end.
  size_t at = kPiplHeaderSize;
  for (int i = 0; i < kPiplPropertyCount; i++) {
    ASSERT_LE(at + kPiplPropertyHeaderSize, size);
    EXPECT_EQ(PiplReadU32(list + at), kPiplVendor);
    EXPECT_EQ(PiplReadU32(list + at + 8), 0u);
    uint32_t length = PiplReadU32(list + at + 12);
    EXPECT_EQ(length % 4, 0u);
    at += kPiplPropertyHeaderSize + length;
  }
  EXPECT_EQ(at, size);
  // The four-character codes are little-endian words: 'kind' is stored as "dnik".
  EXPECT_EQ(std::memcmp(list + kPiplHeaderSize, "MIB8dnik", 8), 0);

  const uint8_t *data = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyKind, &data, &length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(PiplReadU32(data), kPiplKindFilter);

  char text[256];
  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyName, &data, &length));
  ASSERT_TRUE(PiplReadPascalString(data, length, text, sizeof text));
  EXPECT_STREQ(text, "Kivaglobe...");
  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyCategory, &data, &length));
  ASSERT_TRUE(PiplReadPascalString(data, length, text, sizeof text));
  EXPECT_STREQ(text, "Corvalane");

  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyVersion, &data, &length));
  EXPECT_EQ(PiplReadU32(data), 0x00040000u);

  OSType4 codeKey = width == 64 ? kPiplKeyCodeWin64 : kPiplKeyCodeWin32;
  OSType4 otherKey = width == 64 ? kPiplKeyCodeWin32 : kPiplKeyCodeWin64;
  ASSERT_TRUE(PiplFindProperty(list, size, codeKey, &data, &length));
  const char *entry = PiplCString(data, length, 0);
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry, width == 64 ? "PluginMain" : "ENTRYPOINT");
  EXPECT_FALSE(PiplFindProperty(list, size, otherKey, &data, &length));

  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyTerminology, &data, &length));
  ASSERT_GE(length, 14u);
  EXPECT_EQ(PiplReadU32(data), 0u);
  EXPECT_EQ(PiplReadU32(data + 4), FourCC('K', 'v', 'g', 'b'));
  EXPECT_EQ(PiplReadU32(data + 8), FourCC('K', 'v', 'g', 'b'));
  EXPECT_EQ(PiplReadU16(data + 12), 16000);
  const char *scope = PiplCString(data, length, 14);
  ASSERT_NE(scope, nullptr);
  EXPECT_STREQ(scope, "Corvalane Kivaglobe");

  // The mode flags are bytes as a host reads them: grayscale 0x40 and RGB 0x10 in the first
  // byte, nothing in the second (00 50 would declare Lab and RGB48 instead).
  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyModes, &data, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(data[0], 0x50);
  EXPECT_EQ(data[1], 0x00);
  EXPECT_EQ(data[2], 0x00);
  EXPECT_EQ(data[3], 0x00);
  uint16_t modes = PiplReadModeFlags(data);
  EXPECT_EQ(modes, 0x5000);
  EXPECT_TRUE(modes & PiplModeBit(kModeGrayScale));
  EXPECT_TRUE(modes & PiplModeBit(kModeRGB));
  EXPECT_FALSE(modes & PiplModeBit(kModeMultichannel));

  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyEnable, &data, &length));
  const char *expression = PiplCString(data, length, 0);
  ASSERT_NE(expression, nullptr);
  EXPECT_EQ(std::string(expression), "in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ");

  ASSERT_TRUE(PiplFindProperty(list, size, kPiplKeyFilterCases, &data, &length));
  ASSERT_EQ(length, 28u);
  const uint8_t expected[28] = {1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 3, 0, 1, 1, 3, 0, 1, 1, 3, 0, 1, 1, 3, 0};
  EXPECT_EQ(std::memcmp(data, expected, 28), 0);
  EXPECT_EQ(std::memcmp(data, kPiplFilterCases, 28), 0);

  // A list cut short is refused, not read past its end.
  std::vector<uint8_t> cut(list, list + size - 5);
  EXPECT_FALSE(PiplFindProperty(cut.data(), cut.size(), kPiplKeyFilterCases, &data, &length));
  EXPECT_TRUE(PiplFindProperty(cut.data(), cut.size(), kPiplKeyKind, &data, &length));
}
