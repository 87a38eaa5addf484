// Files written from the same values must come out byte for byte the same in every build: the
// native one, Kivaglobe64's and Kivaglobe32's. Each build's test program writes the same files
// and compares them with the bytes (or the hash of the bytes) recorded here, so the builds agree
// without ever meeting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/binary_io.h"
#include "foundation/buffered_file.h"
#include "foundation/colour.h"
#include "foundation/fast_math.h"
#include "foundation/random.h"
#include "foundation/vector_math.h"
#include "tests/foundation/test_files.h"

namespace {

// FNV-1a, 64 bits.
uint64_t Fnv1a(const std::vector<uint8_t> &bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

uint32_t FloatBits(float f) {
  uint32_t u;
  memcpy(&u, &f, sizeof u);
  return u;
}

class Golden : public ScratchFolder {
 protected:
  // Runs `write` on a fresh file and returns the file's bytes.
  template <typename Writer>
  std::vector<uint8_t> Written(const char *name, Writer write) {
    FileHandle f = Open(name, true);
    write(f);
    EXPECT_TRUE(ClosePlatformFile(f));
    return ReadWholeFile(In(name));
  }
};

TEST_F(Golden, TypedAndBufferedFields) {
  std::vector<uint8_t> got = Written("fields.bin", [](FileHandle f) {
    WriteU32BE(0x01020304u, f);
    WriteU16BE(0x0102, f);
    WriteU8(0x80, f);
    WriteZeros(2, f);
    WriteFixed5(0.5f, f);
    WriteFixed5(-0.5f, f);
    WriteFixed5(0.123456f, f);
    WriteFixed5(0.29f, f);
    WriteFixed5(0.7f, f);
    WriteCStringNul("ab", f);
    WriteCString("cd", f);
    BufferedFile bf;
    BufWriterInit(&bf, f);
    BufWriteU32LE(0x01020304u, &bf);
    BufWriteU16LE(0x0102, &bf);
    BufWriteU16LE(ByteSwap16(0x0A0B), &bf);
    BufWriteU8(0xFF, &bf);
    BufWriterFlush(&bf);
  });
  const std::vector<uint8_t> want = {
      0x01, 0x02, 0x03, 0x04,  0x01, 0x02,  0x80,  0x00, 0x00,
      0x00, 0x00, 0xC3, 0x50,  0xFF, 0xFF, 0x3C, 0xB0,  0x00, 0x00, 0x30, 0x39,
      0x00, 0x00, 0x71, 0x48,  0x00, 0x01, 0x11, 0x70,
      'a', 'b', 0x00,  'c', 'd',
      0x04, 0x03, 0x02, 0x01,  0x02, 0x01,  0x0A, 0x0B,  0xFF,
  };
  EXPECT_EQ(got, want);
}

// Fixed-point forms of a sweep of values: the single-precision product must not drift in
// either Windows build (x87 arithmetic would change about 45 per cent of these).
TEST_F(Golden, FixedPointSweep) {
  std::vector<uint8_t> got = Written("fixed.bin", [](FileHandle f) {
    for (int k = -3000; k <= 3000; k++) WriteFixed5(float(k) / 1000.0f, f);
    for (int k = 0; k < 2000; k++) WriteFixed5(float(k) * 0.00001f, f);
  });
  EXPECT_EQ(got.size(), 4u * 8001u);
  EXPECT_EQ(Fnv1a(got), 0x090803170369601dull) << std::hex << Fnv1a(got);
}

TEST_F(Golden, ColourConversions) {
  std::vector<uint8_t> got = Written("colour.bin", [](FileHandle f) {
    BufferedFile bf;
    BufWriterInit(&bf, f);
    for (int ri = 0; ri <= 16; ri++)
      for (int gi = 0; gi <= 16; gi++)
        for (int bi = 0; bi <= 16; bi++) {
          float h, s, l, r, g, b;
          RgbToHsl(ri / 16.0f, gi * 0.0625f, bi / 17.0f, &h, &s, &l);
          HslToRgb(h, s, l, &r, &g, &b);
          for (float v : {h, s, l, r, g, b}) BufWriteU32LE(FloatBits(v), &bf);
          HslToRgbPerceptual(ri / 16.0f, gi / 16.0f, bi / 16.0f, &r, &g, &b);
          for (float v : {r, g, b}) BufWriteU32LE(FloatBits(v), &bf);
          BufWriteU32LE(FloatBits(HueLuminance(ri / 16.0f, gi / 16.0f)), &bf);
          float c[3] = {ri / 5.0f - 0.4f, gi / 7.0f, bi / 3.0f};
          RollOffHighlights(c);
          for (float v : c) BufWriteU32LE(FloatBits(v), &bf);
          int32_t ir = ri * 4096, ig = gi * 3000 - 7000, ib = bi * 5000;
          RollOffHighlightsScaled(&ir, &ig, &ib, 32768.0f, 1.0f / 32768.0f);
          for (int32_t v : {ir, ig, ib}) BufWriteU32LE(uint32_t(v), &bf);
        }
    EXPECT_EQ(BufWriterFlush(&bf), 0);
  });
  EXPECT_EQ(Fnv1a(got), 0xc4d587d5a21cd4f8ull) << std::hex << Fnv1a(got);
}

TEST_F(Golden, RandomAndFastMaths) {
  std::vector<uint8_t> got = Written("maths.bin", [](FileHandle f) {
    BufferedFile bf;
    BufWriterInit(&bf, f);
    SeedRandom(20240301);
    for (int i = 0; i < 500; i++) BufWriteU16LE(uint16_t(CallRand()), &bf);
    for (int i = 0; i < 500; i++) BufWriteU32LE(uint32_t(RandomInRange(-50, 1000 + i)), &bf);
    for (float x = 1e-4f; x < 1e5f; x *= 1.37f) {
      BufWriteU32LE(FloatBits(FastSqrtF(x)), &bf);
      BufWriteU32LE(FloatBits(RecipSqrtF(x)), &bf);
      BufWriteU32LE(FloatBits(RecipSqrtApproxF(x)), &bf);
      BufWriteU32LE(FloatBits(CallSqrtf(x)), &bf);
    }
    for (int i = 0; i < 300; i++) {
      float u, v;
      PixelToTexCoord(i * 7, i * 3, &u, &v, 2048.0f, 1023.0f);
      BufWriteU32LE(FloatBits(u), &bf);
      BufWriteU32LE(FloatBits(v), &bf);
      PixelToTexCoordF(i * 0.37f, i * 1.5f, &u, &v, 333.0f, 77.0f);
      BufWriteU32LE(FloatBits(u), &bf);
      BufWriteU32LE(FloatBits(v), &bf);
      int32_t w = 100 + i * 13, h = 5000 - i * 11;
      FitSizeToLongSide(&w, &h, 300);
      BufWriteU32LE(uint32_t(w), &bf);
      BufWriteU32LE(uint32_t(h), &bf);
    }
    EXPECT_EQ(BufWriterFlush(&bf), 0);
  });
  EXPECT_EQ(Fnv1a(got), 0xa127c61a6076bf2cull) << std::hex << Fnv1a(got);
}

// The rotation matrices go through the runtime's sin and cos, which the native and the Windows
// runtime libraries may round differently.
TEST_F(Golden, RotationMatrices) {
  std::vector<uint8_t> got = Written("rotation.bin", [](FileHandle f) {
    BufferedFile bf;
    BufWriterInit(&bf, f);
    for (int i = 0; i < 200; i++) {
      float axis[3] = {0.1f * i - 3.0f, 1.0f, 0.5f - 0.01f * i};
      float k = float(1.0 / sqrt(double(axis[0]) * axis[0] + double(axis[1]) * axis[1] + double(axis[2]) * axis[2]));
      for (float &a : axis) a *= k;
      float m[16] = {0};
      RotateVectorAboutAxis(axis, 0.05f * i - 2.0f, m);
      float v[3] = {0.3f, -0.6f, 0.7f}, out[3];
      VectorTimesMatrix(v, m, out);
      for (float x : m) BufWriteU32LE(FloatBits(x), &bf);
      for (float x : out) BufWriteU32LE(FloatBits(x), &bf);
    }
    EXPECT_EQ(BufWriterFlush(&bf), 0);
  });
  EXPECT_EQ(Fnv1a(got), 0x4e74291275fe03baull) << std::hex << Fnv1a(got);
}

}  // namespace
