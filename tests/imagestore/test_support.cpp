// Shared helpers of the image store tests.
#include "tests/imagestore/test_support.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "imagestore/pixel_access.h"
#include "imagestore/tile_access.h"

namespace test_support {
namespace {

FakeHostBuffers gHost;

OSErr16 KV_HOSTAPI FakeAllocate(int32_t size, HostBufferID *id) {
  *id = nullptr;
  const bool fail = gHost.failAt >= 0 && (gHost.failFromThenOn ? gHost.allocations >= gHost.failAt
                                                               : gHost.allocations == gHost.failAt);
  if (fail) {
    if (!gHost.failFromThenOn) gHost.failAt = -2;  // one refusal only
    return kResultMemFull;
  }
  void *block = std::malloc(size_t(size > 0 ? size : 1));
  if (block == nullptr) return kResultMemFull;
  std::memset(block, 0xCD, size_t(size > 0 ? size : 1));
  gHost.allocations++;
  gHost.outstanding++;
  *id = static_cast<HostBufferID>(block);
  return kResultOk;
}

char *KV_HOSTAPI FakeLock(HostBufferID id, HostBool) { return reinterpret_cast<char *>(id); }
void KV_HOSTAPI FakeUnlock(HostBufferID) {}
void KV_HOSTAPI FakeFree(HostBufferID id) {
  std::free(id);
  gHost.outstanding--;
}
int32_t KV_HOSTAPI FakeSpace() { return 1 << 30; }

void Fnv(uint64_t *h, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    *h ^= (v >> (8 * i)) & 255;
    *h *= 0x100000001b3ull;
  }
}

}  // namespace

FakeHostBuffers *ResetFakeHost() {
  gHost.procs = HostBufferProcs{kCurrentBufferProcsVersion, kCurrentBufferProcsCount, FakeAllocate,
                                FakeLock, FakeUnlock, FakeFree, FakeSpace};
  gHost.outstanding = 0;
  gHost.allocations = 0;
  gHost.failAt = -1;
  gHost.failFromThenOn = false;
  return &gHost;
}

FakeHostBuffers *FakeHost() { return &gHost; }

const ResampleKernelTable *TestKernelTable() {
  static ResampleKernelTable table;
  static bool built = false;
  if (!built) {
    BuildDefaultKernelTable(&table);
    built = true;
  }
  return &table;
}

void BindImage(TiledMipImage *image) {
  if (gHost.procs.allocateProc == nullptr) ResetFakeHost();
  InitImageRecord(image, &gHost.procs, nullptr, TestKernelTable());
}

uint32_t Mix(uint32_t x, uint32_t y, uint32_t channel, uint32_t seed) {
  uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ (channel + 1) * 0xC2B2AE3Du ^ seed * 0x27D4EB2Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

void FillLevel0(TiledMipImage *image, uint32_t seed) {
  const uint32_t bytes = image->bytesPerPixel;
  for (int32_t y = 0; y < image->levelHeight[0]; ++y) {
    for (int32_t x = 0; x < image->levelWidth[0]; ++x) {
      uint32_t m[4];
      for (uint32_t c = 0; c < 4; ++c) m[c] = Mix(uint32_t(x), uint32_t(y), c, seed);
      uint8_t *p = tile_access::PixelAddress(image, 0, x, y, bytes);
      switch (image->storageFormat) {
        case kFormatGray8:
          PutPixelGray8Checked(x, y, image, 0, int32_t(m[0] & 255));
          break;
        case kFormatGray16:
        case kFormatPlain16:
          tile_access::Store<uint16_t>(p, uint16_t(m[0] % 32769));
          break;
        case kFormatPacked8:
          PutPixelPacked8Checked(x, y, image, 0, int32_t(m[0]), int32_t(m[1]), int32_t(m[2]), int32_t(m[3]));
          break;
        case kFormatRgba16:
          PutPixelRgba16Checked(x, y, image, 0, int32_t(m[0] % 32769), int32_t(m[1] % 32769),
                                int32_t(m[2] % 32769), int32_t(m[3] % 32769));
          break;
        case kFormatScalar32:
          tile_access::Store<float>(p, float(m[0] >> 8) * (2.0f / 16777216.0f));
          break;
        case kFormatSlope16:
          PutPixelRgb16Checked(x, y, image, 0, int32_t(m[0] & 0xFFFF) - 32768, int32_t(m[1] & 0xFFFF) - 32768,
                               int32_t(m[2] & 0xFFFF) - 32768);
          break;
        case kFormatRgbaF32:
          PutPixelRgbaF32Checked(x, y, image, 0, float(m[0] >> 8) * (2.0f / 16777216.0f),
                                 float(m[1] >> 8) * (2.0f / 16777216.0f), float(m[2] >> 8) * (2.0f / 16777216.0f),
                                 float(m[3] >> 8) * (2.0f / 16777216.0f));
          break;
        default:
          break;
      }
    }
  }
}

void FillLevel(TiledMipImage *image, int32_t level, const int32_t value[4]) {
  const uint32_t bytes = image->bytesPerPixel;
  for (int32_t y = 0; y < image->levelHeight[level]; ++y) {
    for (int32_t x = 0; x < image->levelWidth[level]; ++x) {
      uint8_t *p = tile_access::PixelAddress(image, level, x, y, bytes);
      switch (image->storageFormat) {
        case kFormatGray8:
          *p = uint8_t(value[0]);
          break;
        case kFormatGray16:
        case kFormatPlain16:
          tile_access::Store<uint16_t>(p, uint16_t(value[0]));
          break;
        case kFormatScalar32:
          tile_access::Store<int32_t>(p, value[0]);
          break;
        default:
          PutPixel4(x, y, image, level, value[0], value[1], value[2], value[3]);
          break;
      }
    }
  }
}

uint64_t LevelChecksum(const TiledMipImage *image, int32_t level) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (int32_t y = 0; y < image->levelHeight[level]; ++y) {
    for (int32_t x = 0; x < image->levelWidth[level]; ++x) {
      int32_t c[4] = {0, 0, 0, 0};
      uint32_t w[4] = {0, 0, 0, 0};
      switch (image->storageFormat) {
        case kFormatGray8:
          Fnv(&h, uint32_t(GetPixelGray8(x, y, image, level)));
          break;
        case kFormatGray16:
        case kFormatPlain16:
          Fnv(&h, uint32_t(GetPixelU16(x, y, image, level)));
          break;
        case kFormatPacked8:
          GetPixelPacked8(x, y, image, level, &c[0], &c[1], &c[2], &c[3]);
          for (int i = 0; i < 4; ++i) Fnv(&h, uint32_t(c[i]));
          break;
        case kFormatRgba16:
          GetPixelRgba16(x, y, image, level, &c[0], &c[1], &c[2], &c[3]);
          for (int i = 0; i < 4; ++i) Fnv(&h, uint32_t(c[i]));
          break;
        case kFormatScalar32:
          GetPixelU32(x, y, image, level, &w[0]);
          Fnv(&h, w[0]);
          break;
        case kFormatSlope16:
          GetPixelRgb16(x, y, image, level, &c[0], &c[1], &c[2]);
          for (int i = 0; i < 3; ++i) Fnv(&h, uint32_t(c[i]));
          break;
        case kFormatRgbaF32:
          GetPixelRgba32(x, y, image, level, &w[0], &w[1], &w[2], &w[3]);
          for (int i = 0; i < 4; ++i) Fnv(&h, w[i]);
          break;
        default:
          break;
      }
    }
  }
  return h;
}

uint64_t PyramidChecksum(const TiledMipImage *image) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (int32_t level = 0; level <= image->coarsestLevel; ++level) {
    uint64_t l = LevelChecksum(image, level);
    for (int i = 0; i < 8; ++i) {
      h ^= (l >> (8 * i)) & 255;
      h *= 0x100000001b3ull;
    }
  }
  return h;
}

}  // namespace test_support
