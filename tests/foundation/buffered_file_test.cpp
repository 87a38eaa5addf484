// Tests of the buffered writer and reader: batching, byte order, the end of the file, and
// write failures that must reach the caller.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/binary_io.h"
#include "foundation/buffered_file.h"
#include "tests/foundation/test_files.h"

namespace {

using BufferedFileTest = ScratchFolder;

TEST_F(BufferedFileTest, WritesGoOutIn400ByteBatches) {
  FileHandle f = Open("batch.bin", true);
  BufferedFile bf;
  BufWriterInit(&bf, f);
  for (int i = 0; i < 1000; i++) {
    BufWriteU8(uint8_t(i), &bf);
    // The file grows only when a whole buffer went out.
    if (i == 398) {
      EXPECT_EQ(FileSize(In("batch.bin")), 0);
    } else if (i == 399) {
      EXPECT_EQ(FileSize(In("batch.bin")), 400);
    } else if (i == 998) {
      EXPECT_EQ(FileSize(In("batch.bin")), 800);
    }
  }
  EXPECT_EQ(bf.pending, 200);
  EXPECT_EQ(BufWriterFlush(&bf), 0);
  EXPECT_EQ(bf.pending, 0);
  EXPECT_EQ(BufWriterFlush(&bf), 0);   // nothing pending: nothing written
  EXPECT_EQ(BufWriterClose(&bf), 0);
  EXPECT_EQ(ReadWholeFile(In("batch.bin")), CountingBytes(1000));
}

TEST_F(BufferedFileTest, MultiByteValuesGoLowByteFirst) {
  FileHandle f = Open("le.bin", true);
  BufferedFile bf;
  BufWriterInit(&bf, f);
  BufWriteU32LE(0x01020304u, &bf);
  BufWriteU16LE(0x0102, &bf);
  BufWriteU32LE(ByteSwap32(0x01020304u), &bf);
  BufWriteU16LE(ByteSwap16(0x0102), &bf);
  EXPECT_EQ(BufWriterClose(&bf), 0);
  EXPECT_EQ(ReadWholeFile(In("le.bin")), (std::vector<uint8_t>{4, 3, 2, 1, 2, 1, 1, 2, 3, 4, 1, 2}));
}

TEST_F(BufferedFileTest, ReadsAheadAndFlagsTheEndOfTheFile) {
  WriteWholeFile(In("450.bin"), CountingBytes(450));
  FileHandle f = Open("450.bin", false);
  BufferedFile bf;
  BufWriterInit(&bf, f);
  EXPECT_EQ(BufReadU8(&bf), 0);
  EXPECT_EQ(bf.available, 399);   // one read of 400 bytes
  for (int i = 1; i < 400; i++) ASSERT_EQ(BufReadU8(&bf), uint8_t(i));
  EXPECT_EQ(bf.available, 0);
  EXPECT_EQ(BufReadU8(&bf), uint8_t(400));
  EXPECT_EQ(bf.available, 49);    // the second read delivered the last 50
  for (int i = 401; i < 450; i++) ASSERT_EQ(BufReadU8(&bf), uint8_t(i));
  EXPECT_EQ(bf.error, 0);
  EXPECT_FALSE(bf.atEnd);
  // Past the end: 0, and the flags tell the caller.
  EXPECT_EQ(BufReadU8(&bf), 0);
  EXPECT_EQ(BufReadU8(&bf), 0);
  EXPECT_EQ(bf.error, -19);
  EXPECT_TRUE(bf.atEnd);
  ClosePlatformFile(f);
}

TEST_F(BufferedFileTest, AFailedWriteIsKeptAndReported) {
  // A handle open for reading refuses every write, as a full disk would.
  WriteWholeFile(In("full.bin"), CountingBytes(10));
  FileHandle f = Open("full.bin", false);
  BufferedFile bf;
  BufWriterInit(&bf, f);
  for (int i = 0; i < 1000; i++) BufWriteU8(uint8_t(i), &bf);
  EXPECT_EQ(bf.error, -20);
  EXPECT_EQ(BufWriterFlush(&bf), -20);
  EXPECT_EQ(BufWriterFlush(&bf), -20);   // sticky
  EXPECT_EQ(BufWriterClose(&bf), -20);
  EXPECT_EQ(ReadWholeFile(In("full.bin")), CountingBytes(10));

  // The failure of the last, partial buffer alone is reported too.
  FileHandle g = Open("full.bin", false);
  BufferedFile small;
  BufWriterInit(&small, g);
  BufWriteU16LE(7, &small);
  EXPECT_EQ(small.error, 0);
  EXPECT_EQ(BufWriterClose(&small), -20);
}

}  // namespace
