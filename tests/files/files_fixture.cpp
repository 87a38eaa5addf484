// files_fixture.cpp -- the shared fixture of the files tests (see files_fixture.h).
#include "tests/files/files_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"

namespace files_test {

int32_t FilesTest::liveBuffers_ = 0;

namespace {

// Buffers of the stand-in host: plain heap blocks, filled with garbage as a host's would be.
struct BufferRecord {
  char *data;
};

OSErr16 KV_HOSTAPI AllocateBuffer(int32_t size, HostBufferID *id) {
  if (size < 0) return kResultMemFull;
  auto *record = new BufferRecord{static_cast<char *>(std::malloc(size_t(size) + 1))};
  if (record->data == nullptr) {
    delete record;
    return kResultMemFull;
  }
  std::memset(record->data, 0xA5, size_t(size));
  *id = reinterpret_cast<HostBufferID>(record);
  FilesTest::liveBuffers_++;
  return 0;
}

char *KV_HOSTAPI LockBuffer(HostBufferID id, HostBool) { return reinterpret_cast<BufferRecord *>(id)->data; }
void KV_HOSTAPI UnlockBuffer(HostBufferID) {}
void KV_HOSTAPI FreeBuffer(HostBufferID id) {
  auto *record = reinterpret_cast<BufferRecord *>(id);
  std::free(record->data);
  delete record;
  FilesTest::liveBuffers_--;
}
int32_t KV_HOSTAPI BufferSpace() { return 256 << 20; }

std::string gTempFolder;

uint32_t ScratchTempFolder(char *buffer, uint32_t size) {
  if (gTempFolder.size() + 1 > size) return uint32_t(gTempFolder.size() + 1);
  std::memcpy(buffer, gTempFolder.c_str(), gTempFolder.size() + 1);
  return uint32_t(gTempFolder.size());
}

}  // namespace

std::string SystemPath(const std::string &path) {
  std::string p = path;
  if (std::filesystem::path::preferred_separator == '/') {
    for (char &c : p) {
      if (c == '\\') c = '/';
    }
  }
  return p;
}

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *f = std::fopen(SystemPath(path).c_str(), "rb");
  if (f == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  std::fclose(f);
  return bytes;
}

void WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(SystemPath(path).c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool FileExists(const std::string &path) {
  std::error_code ec;
  return std::filesystem::exists(SystemPath(path), ec);
}

int32_t TakeEverySideName(const FileSpec *target) {
  int32_t taken = 0;
  FileSpec side;
  FileHandle file = kNoFile;
  while (taken < 100 && CreateSideFileSpec(target, &side, &file) == kSpecOk) {
    ClosePlatformFile(file);
    taken++;
  }
  return taken;
}

Words &Words::Add(uint32_t word) {
  bytes.push_back(uint8_t(word >> 24));
  bytes.push_back(uint8_t(word >> 16));
  bytes.push_back(uint8_t(word >> 8));
  bytes.push_back(uint8_t(word));
  return *this;
}

Words &Words::Add(std::initializer_list<uint32_t> words) {
  for (uint32_t w : words) Add(w);
  return *this;
}

Words &Words::AddBytes(const std::vector<uint8_t> &more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return *this;
}

uint32_t WordAt(const std::vector<uint8_t> &bytes, size_t i) {
  size_t o = 4 * i;
  return uint32_t(bytes.at(o)) << 24 | uint32_t(bytes.at(o + 1)) << 16 | uint32_t(bytes.at(o + 2)) << 8 |
         uint32_t(bytes.at(o + 3));
}

uint64_t Fnv1a(const std::vector<uint8_t> &bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

void FilesTest::SetUp() {
  // A scratch folder inside the real temporary folder serves as the temporary folder.
  SetTempFolderProc(nullptr);
  FileSpec temp;
  ASSERT_EQ(TempFileSpec(&temp, nullptr), 0);
  std::random_device rd;
  std::string name = "kvfiles-" + std::to_string(rd()) + "-" + std::to_string(rd());
  FileSpec made;
  ASSERT_EQ(MakeSubFolder(&temp, name.c_str(), &made), 0);
  folder_ = made.path;
  ASSERT_FALSE(folder_.empty());
  gTempFolder = folder_;
  SetTempFolderProc(ScratchTempFolder);

  bufferProcs_.bufferProcsVersion = kCurrentBufferProcsVersion;
  bufferProcs_.numBufferProcs = kCurrentBufferProcsCount;
  bufferProcs_.allocateProc = AllocateBuffer;
  bufferProcs_.lockProc = LockBuffer;
  bufferProcs_.unlockProc = UnlockBuffer;
  bufferProcs_.freeProc = FreeBuffer;
  bufferProcs_.spaceProc = BufferSpace;
  record_.bufferProcs = &bufferProcs_;
  record_.imageMode = kModeRGB;
  record_.planes = 3;
  record_.depth = 8;

  parametersBlock_.assign(sizeof(ParameterBlock), 0);
  parametersMaster_ = parametersBlock_.data();
  record_.parameters = &parametersMaster_;

  globals_.resultPtr = &result_;
  globals_.filterRecord = &record_;
  runStateBlock_.assign(sizeof(RunState), 0);
  globals_.runState = reinterpret_cast<RunState *>(runStateBlock_.data());
  SetDefaultParameters(&globals_);

  InitImageRecord(&globals_.workImage, &bufferProcs_, &globals_, nullptr);
  ASSERT_TRUE(CreateImage(&globals_.workImage, 128, 128, kFormatPacked8, 0));
  FillThumbnailBlack();
}

void FilesTest::FillThumbnailBlack() {
  TiledMipImage *t = Thumbnail();
  for (int32_t y = 0; y < t->levelHeight[0]; y++) {
    for (int32_t x = 0; x < t->levelWidth[0]; x++) PutPixelPacked8(x, y, t, 0, 0, 0, 0, 255);
  }
  RebuildAllLevels(t);
}

void FilesTest::TearDown() {
  FreeImageTiles(&globals_.workImage);
  SetTempFolderProc(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(SystemPath(folder_), ec);
  EXPECT_EQ(liveBuffers_, 0) << "host buffers left behind";
  liveBuffers_ = 0;
}

FileSpec FilesTest::Spec(const std::string &name) const {
  FileSpec spec{};
  JoinFileSpecPath(&spec, folder_.c_str(), name.c_str(), kPathCapacity);
  return spec;
}

void FilesTest::Bind(TiledMipImage *image) { InitImageRecord(image, &bufferProcs_, &globals_, nullptr); }

void FilesTest::MakePattern(TiledMipImage *image, int32_t width, int32_t height, uint32_t seed) {
  ASSERT_TRUE(CreateImage(image, width, height, kFormatPacked8, 0));
  for (int32_t y = 0; y < height; y++) {
    for (int32_t x = 0; x < width; x++) {
      int32_t r = int32_t((x * 255) / (width > 1 ? width - 1 : 1));
      int32_t g = int32_t((y * 255) / (height > 1 ? height - 1 : 1));
      int32_t b = int32_t((seed * 37 + uint32_t(x + y) * 3) & 255);
      PutPixelPacked8(x, y, image, 0, r, g, b, 255);
    }
  }
  RebuildAllLevels(image);
}

void FilesTest::PaintThumbnail(uint32_t seed) {
  TiledMipImage *t = Thumbnail();
  for (int32_t y = 0; y < 128; y++) {
    for (int32_t x = 0; x < 128; x++) {
      PutPixelPacked8(x, y, t, 0, 2 * x, 2 * y, int32_t((seed * 37 + uint32_t(x + y) * 3) & 255), 255);
    }
  }
  RebuildAllLevels(t);
}

void FilesTest::SetDistinctValues() {
  ParameterBlock *p = Block();
  p->landColor = {0x1234, 0x2345, 0x3456};
  p->airColor = {0x4567, 0x5678, 0x6789};
  p->seaColor = {0x789A, 0x89AB, 0x9ABC};
  p->desertColor = {0xABCD, 0xBCDE, 0xCDEF};
  p->iceColor = {0xDEF0, 0xEF01, 0xF012};
  p->cloudColor = {0x0123, 0x1122, 0x2233};
  p->cityColor = {0x3344, 0x4455, 0x5566};
  p->spareColor = {0x6677, 0x7788, 0x8899};
  uint32_t value = 1;
  for (uint32_t *w = &p->airDepth; w <= &p->cloudTexture; w++) *w = value++;
  p->realClouds = 1;
  p->backlighting = 0;
  p->realLuna = 1;
  p->lunarClimate = 1;
  p->outputMode = 9;
  p->randomSeed = 1999;
  p->cloudImage = 7;
  p->lightVector[0] = -0.684f;
  p->lightVector[1] = 0.25f;
  p->lightVector[2] = 0.7f;
  p->axisVector[0] = 0.1f;
  p->axisVector[1] = -0.99f;
  p->axisVector[2] = -0.333f;
  p->centerX = 0.3f;
  p->centerY = 0.75f;
}

}  // namespace files_test
