// descriptor_test.cpp -- the host's side of recorded actions: the plug-in's terminology as
// the host reads it, descriptor files, --set and --mode, and the read and write procedures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/descriptor_procs.h"
#include "host/host_log.h"
#include "host/memory_procs.h"
#include "host/terminology.h"
#include "plugin/script_descriptor.h"

namespace {

std::vector<uint8_t> ReadAll(const char *path) {
  std::vector<uint8_t> bytes;
  FILE *f = std::fopen(path, "rb");
  if (f == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  std::fclose(f);
  return bytes;
}

class TerminologyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes = ReadAll(KV_AETE_FILE);
    ASSERT_FALSE(bytes.empty()) << KV_AETE_FILE;
    char error[256] = "";
    ASSERT_TRUE(ReadTerminology(bytes.data(), bytes.size(), &terminology, error, sizeof error)) << error;
  }
  std::vector<uint8_t> bytes;
  Terminology terminology;
};

TEST_F(TerminologyTest, TheResourceNamesThePluginsKeysInItsOrder) {
  EXPECT_STREQ(terminology.eventName, "Kivaglobe");
  ASSERT_EQ(terminology.parameters.size(), size_t(kScriptKeyCount));
  for (int32_t i = 0; i < kScriptKeyCount; i++) EXPECT_EQ(terminology.parameters[i].key, gScriptKeyList[i]) << i;
  const TerminologyParameter *mode = FindTerminologyParameter(terminology, "glue");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->type, kOutputModeType);
  EXPECT_EQ(FindTerminologyParameter(terminology, "X center")->type, FourCC('d', 'o', 'u', 'b'));
  EXPECT_EQ(FindTerminologyParameter(terminology, "Sea Level")->type, FourCC('l', 'o', 'n', 'g'));
  ASSERT_EQ(terminology.items.size(), 14u);
  EXPECT_STREQ(terminology.items[13].name, "bump w/o ocean");
  EXPECT_EQ(terminology.items[2].value, FourCC('L', 'G', '0', '3'));
}

// Only the Windows form is read: without the reserved word the version reads as 0.0, and a
// padding byte after an odd-length string (the Macintosh habit) derails the walk; neither
// may be half believed.
TEST_F(TerminologyTest, OnlyTheWindowsFormIsRead) {
  ASSERT_GE(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 0);
  char error[256];
  Terminology t;
  std::vector<uint8_t> noReservedWord(bytes.begin() + 2, bytes.end());
  EXPECT_FALSE(ReadTerminology(noReservedWord.data(), noReservedWord.size(), &t, error, sizeof error));
  EXPECT_NE(std::string(error).find("Windows form"), std::string::npos) << error;

  // The reply's empty description is the single byte at offset 76 (10 bytes of header, the
  // suite's 30, the event's 36 before it); a padded writer would put a zero after it.
  std::vector<uint8_t> padded = bytes;
  ASSERT_EQ(padded[10], 9);   // "Corvalane"
  ASSERT_EQ(padded[76], 0);
  padded.insert(padded.begin() + 77, 0);
  EXPECT_FALSE(ReadTerminology(padded.data(), padded.size(), &t, error, sizeof error));

  std::vector<uint8_t> trailing = bytes;
  trailing.push_back(0);
  EXPECT_FALSE(ReadTerminology(trailing.data(), trailing.size(), &t, error, sizeof error));
}

TEST_F(TerminologyTest, ACutResourceIsRefusedAtEveryLength) {
  char error[256];
  Terminology t;
  for (size_t n = 0; n < bytes.size(); n += 7) {
    EXPECT_FALSE(ReadTerminology(bytes.data(), n, &t, error, sizeof error)) << n;
  }
}

TEST_F(TerminologyTest, SettingsBuildTheDescriptorAndWrongOnesNameTheChoices) {
  HostDescriptorEntries entries;
  char error[4096] = "";
  ASSERT_TRUE(ApplySetting(terminology, "sea level=70", &entries, error, sizeof error)) << error;
  ASSERT_TRUE(ApplySetting(terminology, "random seed = 77", &entries, error, sizeof error)) << error;
  ASSERT_TRUE(ApplySetting(terminology, "sea level=71", &entries, error, sizeof error)) << error;
  ASSERT_TRUE(ApplySetting(terminology, "light x=0.25", &entries, error, sizeof error)) << error;
  ASSERT_TRUE(ApplyModeName(terminology, "lit map", &entries, error, sizeof error)) << error;
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].key, FourCC('0', '0', '2', '2'));
  EXPECT_EQ(entries[0].integer, 71);
  EXPECT_EQ(entries[1].integer, 77);
  EXPECT_EQ(entries[2].kind, kValueFloat);
  EXPECT_EQ(entries[3].kind, kValueEnum);
  EXPECT_EQ(uint32_t(entries[3].integer), FourCC('L', 'G', '0', '3'));

  EXPECT_FALSE(ApplySetting(terminology, "sea levle=70", &entries, error, sizeof error));
  EXPECT_NE(std::strstr(error, "sea level"), nullptr) << error;
  EXPECT_FALSE(ApplySetting(terminology, "sea level=high", &entries, error, sizeof error));
  EXPECT_NE(std::strstr(error, "integer"), nullptr) << error;
  EXPECT_FALSE(ApplySetting(terminology, "glue=3", &entries, error, sizeof error));
  EXPECT_NE(std::strstr(error, "\"lit map\""), nullptr) << error;
  EXPECT_FALSE(ApplyModeName(terminology, "flat", &entries, error, sizeof error));
  EXPECT_NE(std::strstr(error, "\"hypsometric\""), nullptr) << error;
  EXPECT_FALSE(ApplySetting(terminology, "sea level", &entries, error, sizeof error));
  EXPECT_EQ(entries.size(), 4u);

  std::string list = ListParameters(terminology);
  EXPECT_NE(list.find("planet size\t0014\tlong\n"), std::string::npos);
  EXPECT_NE(list.find("glue\tLGky\tLGty\n"), std::string::npos);
}

TEST(DescriptorFile, TheTextFormKeepsEveryValueExactly) {
  HostDescriptorEntries entries = {
      {FourCC('0', '0', '1', '4'), kValueInteger, 0, -40, 0.0},
      {FourCC('0', '0', '3', '9'), kValueFloat, 0, 0, 0.1f},
      {FourCC('0', '0', '2', '0'), kValueBoolean, 0, 1, 0.0},
      {FourCC('L', 'G', 'k', 'y'), kValueEnum, FourCC('L', 'G', 't', 'y'), int32_t(FourCC('L', 'G', '1', '4')), 0.0},
  };
  std::string text = FormatDescriptor(entries);
  EXPECT_NE(text.find("LGky enum LGty LG14\n"), std::string::npos) << text;
  HostDescriptorEntries back;
  char error[256] = "";
  ASSERT_TRUE(ParseDescriptor(text.c_str(), &back, error, sizeof error)) << error;
  ASSERT_EQ(back.size(), entries.size());
  for (size_t i = 0; i < back.size(); i++) {
    EXPECT_EQ(back[i].key, entries[i].key);
    EXPECT_EQ(back[i].kind, entries[i].kind);
    EXPECT_EQ(back[i].integer, entries[i].integer);
    EXPECT_EQ(back[i].real, entries[i].real);
    EXPECT_EQ(back[i].enumType, entries[i].enumType);
  }
  for (const char *bad : {"0014 long", "0014 long 4x", "001 long 4", "0014 text a", "0020 bool 2",
                          "LGky enum LGty", "0039 doub nan", "0014 long 99999999999"}) {
    EXPECT_FALSE(ParseDescriptor(bad, &back, error, sizeof error)) << bad;
    EXPECT_NE(std::strstr(error, "line 1"), nullptr);
  }
  EXPECT_TRUE(ParseDescriptor("# comment\r\n\n0014 long 3\r\n", &back, error, sizeof error));
  EXPECT_EQ(back.size(), 1u);
}

TEST(DescriptorProcs, ThePluginReadsWhatWasSetAndWritesALoggedDescriptor) {
  HostMemory memory;
  HostBufferProcs bufferProcs;
  HostHandleProcs handleProcs;
  HostLog log = {};
  InitHostMemory(&memory, 0, 0, &log);
  InstallMemoryProcs(&memory, &bufferProcs, &handleProcs);
  HostDescriptorStore store;
  InitDescriptorStore(&store, &handleProcs, kPlaySilent);
  SetPlayDescriptor(&store, {{FourCC('0', '0', '1', '4'), kValueInteger, 0, 40, 0.0},
                             {FourCC('0', '0', '3', '9'), kValueInteger, 0, 1, 0.0}});
  HostDescriptorParameters &p = store.parameters;
  HostDescriptorRef token = p.readDescriptorProcs->openReadDescriptorProc(p.descriptor, gScriptKeyList);
  ASSERT_NE(token, nullptr);
  DescriptorKeyID key;
  DescriptorTypeID type;
  int32_t flags;
  ASSERT_TRUE(p.readDescriptorProcs->getKeyProc(token, &key, &type, &flags));
  double real = 0;
  EXPECT_EQ(p.readDescriptorProcs->getFloatProc(token, &real), 0);   // an integer reads as a number
  EXPECT_EQ(real, 40.0);
  // One key left unread: the close reports parameters not read.
  EXPECT_EQ(p.readDescriptorProcs->closeReadDescriptorProc(token), kResultParamNotFound);

  HostDescriptorRef writer = p.writeDescriptorProcs->openWriteDescriptorProc();
  double half = 0.5;
  p.writeDescriptorProcs->putFloatProc(writer, FourCC('0', '0', '5', '7'), &half);
  p.writeDescriptorProcs->putEnumeratedProc(writer, kOutputModeKey, kOutputModeType, FourCC('L', 'G', '0', '2'));
  HostDescriptorHandle handle = nullptr;
  EXPECT_EQ(p.writeDescriptorProcs->closeWriteDescriptorProc(writer, &handle), 0);
  handleProcs.disposeProc(p.descriptor);
  p.descriptor = handle;
  HostDescriptorEntries recorded;
  ASSERT_TRUE(GetRecordedDescriptor(&store, &recorded));
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].real, 0.5);
  ASSERT_GE(store.log.size(), 3u);
  EXPECT_EQ(store.log[store.log.size() - 2], "put LGky enum LGty LG02");
  ReleaseDescriptorStore(&store);
  EXPECT_EQ(OutstandingHandles(memory), 0);
  ReleaseHostMemory(&memory);
}

}  // namespace
