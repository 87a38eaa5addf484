// files_fixture.h -- what the settings-file and JPEG tests share: a stand-in for the host
// (a filter record with heap-backed buffer procedures and a parameters handle), the globals
// with a run state and the 128 x 128 thumbnail image, a scratch folder that serves as the
// temporary folder, and helpers to look at files independently of the code under test.
#ifndef KIVAGLOBE_TESTS_FILES_FILES_FIXTURE_H
#define KIVAGLOBE_TESTS_FILES_FILES_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file_locations.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"

namespace files_test {

// The system's form of a path made by the foundation.
std::string SystemPath(const std::string &path);
std::vector<uint8_t> ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes);
bool FileExists(const std::string &path);
// Makes an empty file of every name a safe save over `target` could write to, so that the next
// save finds no side file; the count of names taken.
int32_t TakeEverySideName(const FileSpec *target);

// A run of big-endian words, for building settings files by hand.
struct Words {
  std::vector<uint8_t> bytes;
  Words &Add(uint32_t word);
  Words &AddSigned(int32_t word) { return Add(uint32_t(word)); }
  Words &Add(std::initializer_list<uint32_t> words);
  Words &AddBytes(const std::vector<uint8_t> &more);
};

// Big-endian word i of a byte vector.
uint32_t WordAt(const std::vector<uint8_t> &bytes, size_t i);

// FNV-1a, 64 bits.
uint64_t Fnv1a(const std::vector<uint8_t> &bytes);

// The host, the globals and the folders of one test.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file of the scratch folder: its spec, and its path in the Windows form.
  FileSpec Spec(const std::string &name) const;
  std::string In(const std::string &name) const { return folder_ + name; }

  ParameterBlock *Block() { return reinterpret_cast<ParameterBlock *>(parametersBlock_.data()); }
  TiledMipImage *Thumbnail() { return &globals_.workImage; }

  // Binds an image record to this host.
  void Bind(TiledMipImage *image);
  // A packed 8-bit picture with a smooth, deterministic pattern.
  void MakePattern(TiledMipImage *image, int32_t width, int32_t height, uint32_t seed);
  // Fills the thumbnail with the pattern of `seed`, or with opaque black.
  void PaintThumbnail(uint32_t seed);
  void FillThumbnailBlack();
  // Values for every field a settings file carries, none of them a default.
  void SetDistinctValues();

  FilterRecord record_{};
  HostBufferProcs bufferProcs_{};
  std::vector<char> parametersBlock_;
  char *parametersMaster_ = nullptr;
  PluginGlobals globals_{};
  int16_t result_ = 0;
  std::vector<uint8_t> runStateBlock_;
  std::string folder_;   // the scratch folder, ending in a backslash


 public:
  static int32_t liveBuffers_;   // host buffers handed out and not yet freed
};

}  // namespace files_test

#endif  // KIVAGLOBE_TESTS_FILES_FILES_FIXTURE_H
