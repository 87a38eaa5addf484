// Tests of the typed file fields: byte order, fixed point, strings, counted strings, skipping,
// and what a short or failing file does to the readers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "foundation/binary_io.h"
#include "tests/foundation/test_files.h"

namespace {

class BinaryIo : public ScratchFolder {
 protected:
  // Writes the given bytes to a file and opens it for reading.
  FileHandle ReaderOver(const std::vector<uint8_t> &bytes, const std::string &name = "in.bin") {
    WriteWholeFile(In(name), bytes);
    return Open(name, false);
  }
};

TEST_F(BinaryIo, IntegersAreBigEndian) {
  FileHandle f = Open("ints.bin", true);
  EXPECT_EQ(WriteU32BE(0x01020304u, f), 0);
  EXPECT_EQ(WriteU16BE(0x0102, f), 0);
  EXPECT_EQ(WriteU8(0xFE, f), 0);
  EXPECT_EQ(WriteU32BE(0xFFFFFFFEu, f), 0);
  ClosePlatformFile(f);
  std::vector<uint8_t> want = {1, 2, 3, 4, 1, 2, 0xFE, 0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(ReadWholeFile(In("ints.bin")), want);

  FileHandle r = Open("ints.bin", false);
  uint32_t w = 0;
  uint8_t b = 0;
  EXPECT_EQ(ReadU32BE(&w, r), 0);
  EXPECT_EQ(w, 0x01020304u);
  EXPECT_EQ(ReadU8(&b, r), 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(ReadU8OrEOF(r), 2);
  EXPECT_EQ(ReadU8OrEOF(r), 0xFE);
  EXPECT_EQ(ReadU32BE(&w, r), 0);
  EXPECT_EQ(w, 0xFFFFFFFEu);
  EXPECT_EQ(ReadU8OrEOF(r), -1);
  ClosePlatformFile(r);

  EXPECT_EQ(ByteSwap32(0x01020304u), 0x04030201u);
  EXPECT_EQ(ByteSwap16(0x0102), 0x0201);
}

TEST_F(BinaryIo, FixedPointIsTruncatedAfterASinglePrecisionProduct) {
  struct Case {
    float value;
    int32_t stored;
  } cases[] = {
      {0.5f, 50000},     {-0.5f, -50000},   {0.123456f, 12345}, {0.29f, 29000},
      {0.7f, 70000},     {1e-5f, 1},        {-0.684f, -68400},  {0.0f, 0},
      {21474.8f, 2147480064},
      // Beyond the range and NaN: defined, saturated or 0.
      {1e9f, INT32_MAX}, {-1e9f, INT32_MIN}, {std::numeric_limits<float>::infinity(), INT32_MAX},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  FileHandle f = Open("fixed.bin", true);
  for (const Case &c : cases) EXPECT_EQ(WriteFixed5(c.value, f), 0);
  ClosePlatformFile(f);
  std::vector<uint8_t> bytes = ReadWholeFile(In("fixed.bin"));
  ASSERT_EQ(bytes.size(), 4 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    int32_t got = int32_t((uint32_t(bytes[4 * i]) << 24) | (uint32_t(bytes[4 * i + 1]) << 16) |
                          (uint32_t(bytes[4 * i + 2]) << 8) | bytes[4 * i + 3]);
    EXPECT_EQ(got, cases[i].stored) << "value " << cases[i].value;
  }
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0x00, 0x00, 0xC3, 0x50, 0xFF, 0xFF, 0x3C, 0xB0}));

  FileHandle r = ReaderOver({0x00, 0x00, 0x30, 0x39, 0xFF, 0xFF, 0x3C, 0xB0});
  float v = 0;
  EXPECT_EQ(ReadFixed5(&v, r), 0);
  EXPECT_EQ(v, 0.123450004f);
  EXPECT_EQ(ReadFixed5(&v, r), 0);
  EXPECT_EQ(v, -0.5f);
  ClosePlatformFile(r);
}

TEST_F(BinaryIo, StringsWithAndWithoutTerminator) {
  FileHandle f = Open("s.bin", true);
  EXPECT_EQ(WriteCStringNul("abc", f), 0);
  EXPECT_EQ(WriteCString("abc", f), 0);
  EXPECT_EQ(WriteCStringNul(nullptr, f), 99);
  EXPECT_EQ(WriteCString(nullptr, f), 99);
  EXPECT_EQ(WriteCStringNul("", f), 0);
  ClosePlatformFile(f);
  EXPECT_EQ(ReadWholeFile(In("s.bin")), (std::vector<uint8_t>{'a', 'b', 'c', 0, 'a', 'b', 'c', 0}));
}

TEST_F(BinaryIo, ShortReadsFailAndLeaveTheDestinationAlone) {
  // Two bytes where a word is expected: no byte-swapped leftovers reach the caller.
  FileHandle r = ReaderOver({0x12, 0x34});
  uint32_t w = 50;
  EXPECT_EQ(ReadU32BE(&w, r), -19);
  EXPECT_EQ(w, 50u);
  uint8_t b = 7;
  EXPECT_EQ(ReadU8(&b, r), -19);
  EXPECT_EQ(b, 7);
  float v = 1.25f;
  EXPECT_EQ(ReadFixed5(&v, r), -19);
  EXPECT_EQ(v, 1.25f);
  EXPECT_EQ(ReadU8OrEOF(r), -1);
  ClosePlatformFile(r);

  // A block cut short: nothing lands in the buffer, and the file is read to its end.
  r = ReaderOver(CountingBytes(10), "block.bin");
  std::vector<uint8_t> buf(16, 0xAA);
  EXPECT_EQ(ReadBlock(r, buf.data(), 16), -19);
  EXPECT_EQ(buf, std::vector<uint8_t>(16, 0xAA));
  EXPECT_EQ(ReadU8OrEOF(r), -1);
  ClosePlatformFile(r);

  r = ReaderOver(CountingBytes(10), "bytes.bin");
  int32_t count = 4;
  EXPECT_EQ(ReadBytes(r, &count, buf.data()), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(buf[3], 3);
  count = 7;
  EXPECT_EQ(ReadBytes(r, &count, buf.data()), -19);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(buf[0], 0);   // still the first read's bytes
  EXPECT_EQ(buf[4], 0xAA);
  count = 0;
  EXPECT_EQ(ReadBytes(r, &count, buf.data()), 0);
  ClosePlatformFile(r);
}

TEST_F(BinaryIo, WritesToAHandleThatCannotWriteFail) {
  WriteWholeFile(In("ro.bin"), CountingBytes(4));
  FileHandle r = Open("ro.bin", false);
  EXPECT_EQ(WriteU32BE(1, r), -20);
  EXPECT_EQ(WriteU8(1, r), -20);
  EXPECT_EQ(WriteFixed5(1.0f, r), -20);
  EXPECT_EQ(WriteCString("x", r), -20);
  EXPECT_EQ(WriteZeros(3, r), -20);
  int32_t count = 4;
  uint8_t four[4] = {9, 9, 9, 9};
  EXPECT_EQ(WriteBytes(r, &count, four), -20);
  EXPECT_EQ(count, 0);
  ClosePlatformFile(r);
  EXPECT_EQ(ReadWholeFile(In("ro.bin")), CountingBytes(4));
}

TEST_F(BinaryIo, ZerosAndRawBlocks) {
  FileHandle f = Open("z.bin", true);
  EXPECT_EQ(WriteZeros(0, f), 0);
  EXPECT_EQ(WriteZeros(-5, f), 0);
  EXPECT_EQ(WriteU8(1, f), 0);
  EXPECT_EQ(WriteZeros(3, f), 0);
  std::vector<uint8_t> block = CountingBytes(300);
  int32_t count = 300;
  EXPECT_EQ(WriteBytes(f, &count, block.data()), 0);
  EXPECT_EQ(count, 300);
  ClosePlatformFile(f);
  std::vector<uint8_t> got = ReadWholeFile(In("z.bin"));
  ASSERT_EQ(got.size(), 304u);
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 4), (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 4, got.end()), block);
}

TEST_F(BinaryIo, CountedStringsAreBoundedByTheirBuffer) {
  // n = 10 reads 11 bytes: the string and the terminator the file carries.
  std::vector<uint8_t> file = {'h', 'e', 'l', 'l', 'o', 'w', 'o', 'r', 'l', 'd', 0, 'Z'};
  FileHandle r = ReaderOver(file);
  char buf[24];
  EXPECT_EQ(ReadCounted(buf, 10, sizeof buf, r, kCountedRead), 0);
  EXPECT_STREQ(buf, "helloworld");
  EXPECT_EQ(ReadU8OrEOF(r), 'Z');
  ClosePlatformFile(r);

  // Mode 2 empties the buffer and reads nothing.
  r = ReaderOver(file, "m2.bin");
  memcpy(buf, "old", 4);
  EXPECT_EQ(ReadCounted(buf, 10, sizeof buf, r, kCountedNoRead), 99);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(ReadU8OrEOF(r), 'h');
  EXPECT_EQ(ReadCounted(nullptr, 1, 10, r, kCountedRead), 99);
  ClosePlatformFile(r);

  // Hostile counts: negative, or too long for the 24-byte field. Nothing is read.
  r = ReaderOver(CountingBytes(600), "hostile.bin");
  EXPECT_EQ(ReadCounted(buf, -1, sizeof buf, r, kCountedRead), -19);
  EXPECT_EQ(ReadCounted(buf, 24, sizeof buf, r, kCountedRead), -19);
  EXPECT_EQ(ReadCounted(buf, 5000, sizeof buf, r, kCountedRead), -19);
  EXPECT_EQ(ReadCounted(buf, INT32_MAX, sizeof buf, r, kCountedRead), -19);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(ReadU8OrEOF(r), 0);
  // The largest count that fits: 23 characters and the terminator. The file's byte 23 is not
  // a NUL; the buffer is terminated all the same.
  EXPECT_EQ(ReadCounted(buf, 23, sizeof buf, r, kCountedRead), 0);
  EXPECT_EQ(strlen(buf), 23u);
  EXPECT_EQ(uint8_t(buf[0]), 1);
  ClosePlatformFile(r);

  // A file that ends inside the string.
  r = ReaderOver({'a', 'b', 'c'}, "cut.bin");
  memcpy(buf, "keep", 5);
  EXPECT_EQ(ReadCounted(buf, 10, sizeof buf, r, kCountedRead), -19);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(memcmp(buf + 1, "eep", 4), 0);
  ClosePlatformFile(r);
}

TEST_F(BinaryIo, SkipBytesLandsWhereItShould) {
  for (int32_t n : {0, 1, 255, 256, 257, 300, 512, 513, 999}) {
    FileHandle r = ReaderOver(CountingBytes(1000), "skip.bin");
    EXPECT_EQ(SkipBytes(n, r), 0) << n;
    EXPECT_EQ(ReadU8OrEOF(r), n % 256) << n;
    ClosePlatformFile(r);
  }
  FileHandle r = ReaderOver(CountingBytes(10), "skip.bin");
  EXPECT_EQ(SkipBytes(-3, r), 0);
  EXPECT_EQ(SkipBytes(10, r), 0);
  EXPECT_EQ(SkipBytes(1, r), -19);
  ClosePlatformFile(r);
}

// Skips go through the file in blocks of 256 (the last, partial block a byte at a time) and
// writes of zeros end at their first failure: counted in calls of the file seam, a
// byte-at-a-time skip of 100000 bytes would be 100000 reads, and zeros that kept going after a
// failure one write per byte.
TEST_F(BinaryIo, SkipsReadInBlocksAndFailedZerosStopAtOnce) {
  FileHandle r = ReaderOver(CountingBytes(100003), "batch.bin");
  uint32_t before = PlatformReadCalls();
  EXPECT_EQ(SkipBytes(100000, r), 0);
  EXPECT_LE(PlatformReadCalls() - before, 100000u / 256 + 256);
  EXPECT_EQ(ReadU8OrEOF(r), 100000 % 256);
  ClosePlatformFile(r);

  WriteWholeFile(In("ro2.bin"), CountingBytes(4));
  r = Open("ro2.bin", false);
  before = PlatformWriteCalls();
  EXPECT_EQ(WriteZeros(1000, r), -20);
  EXPECT_EQ(PlatformWriteCalls() - before, 1u);
  ClosePlatformFile(r);
}

TEST_F(BinaryIo, SkippingAHugeCountStopsAtTheEndOfTheFile) {
  FileHandle r = ReaderOver(CountingBytes(700), "huge.bin");
  // Eight million reads past the end would stall the caller; the skip stops at the first.
  EXPECT_EQ(SkipBytes(INT32_MAX, r), -19);
  ClosePlatformFile(r);
  EXPECT_EQ(ReadNothing(nullptr, kNoFile), 0);
}

}  // namespace
