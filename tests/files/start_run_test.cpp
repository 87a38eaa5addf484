// The plug-in's run with its files: through the dispatcher, a Start without a scripting
// descriptor begins from the cached settings, and the end of every run writes the memory-dot
// map (the frame reaches the files through the table of plugin/file_hooks.h).
#include <gtest/gtest.h>

#include "files/file_hooks_install.h"
#include "files/temp_files.h"
#include "plugin/file_hooks.h"
#include "tests/files/files_fixture.h"
#include "tests/plugin/fake_host.h"

namespace files_test {
namespace {

class StartRun : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    InstallPluginFileHooks();
    FakeHostInit(&host_, 64, 48);
  }
  void TearDown() override {
    FakeHostRelease(&host_);
    gPluginFileHooks = PluginFileHooks{};
    FilesTest::TearDown();
  }
  // A cached-settings file whose planet size is `size` (written by the fixture's globals).
  void CacheSettings(uint32_t size) {
    Block()->planetSize = size;
    Block()->randomSeed = 1717;
    ASSERT_EQ(SaveCachedSettings(&globals_), 0);
  }
  FakeHost host_;
};

TEST_F(StartRun, StartWithoutDescriptorBeginsFromTheCachedSettings) {
  CacheSettings(77);
  EXPECT_EQ(FakeHostCall(&host_, kSelectorPrepare), kResultOk);
  EXPECT_EQ(FakeHostCall(&host_, kSelectorStart), kResultOk);
  ParameterBlock *p = FakeHostParameters(&host_);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->planetSize, 77u);
  EXPECT_EQ(p->randomSeed, 1717u);
}

TEST_F(StartRun, EveryRunEndsWithTheMemoryDotMap) {
  EXPECT_FALSE(FileExists(In("Kivaglobe memdot map 3")));
  for (int16_t result : FakeHostRun(&host_)) EXPECT_EQ(result, kResultOk);
  std::vector<uint8_t> map = ReadWholeFile(In("Kivaglobe memdot map 3"));
  ASSERT_EQ(map.size(), 104u);
  EXPECT_EQ(WordAt(map, 0), 40u);
  for (size_t n = 1; n < 26; n++) EXPECT_EQ(WordAt(map, n), 0u);

  // The flags come back at the next Start and go out again at its end, unchanged.
  Words w;
  w.Add(40);
  for (int n = 0; n < 25; n++) w.Add(n % 5 == 0 ? 1 : 0);
  WriteWholeFile(In("Kivaglobe memdot map 3"), w.bytes);
  for (int16_t result : FakeHostRun(&host_)) EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(ReadWholeFile(In("Kivaglobe memdot map 3")), w.bytes);
}

}  // namespace
}  // namespace files_test
