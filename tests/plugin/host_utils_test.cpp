// The host utility layer: descriptor availability, string appending with a capacity, the
// depth class, the module instance.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/host_utils.h"
#include "tests/plugin/fake_host.h"

namespace {

// Stand-ins for the 18 read and 16 write procedures: only their presence is tested.
HostDescriptorRef KV_HOSTAPI OpenRead(HostDescriptorHandle, DescriptorKeyIDArray) { return nullptr; }
OSErr16 KV_HOSTAPI CloseRead(HostDescriptorRef) { return 0; }
HostBool KV_HOSTAPI GetKey(HostDescriptorRef, DescriptorKeyID *, DescriptorTypeID *, int32_t *) { return 0; }
OSErr16 KV_HOSTAPI GetInteger(HostDescriptorRef, int32_t *) { return 0; }
OSErr16 KV_HOSTAPI GetFloat(HostDescriptorRef, double *) { return 0; }
OSErr16 KV_HOSTAPI GetUnitFloat(HostDescriptorRef, DescriptorUnitID *, double *) { return 0; }
OSErr16 KV_HOSTAPI GetBoolean(HostDescriptorRef, HostBool *) { return 0; }
OSErr16 KV_HOSTAPI GetHandle(HostDescriptorRef, HostHandle *) { return 0; }
OSErr16 KV_HOSTAPI GetEnumerated(HostDescriptorRef, DescriptorEnumID *) { return 0; }
OSErr16 KV_HOSTAPI GetClass(HostDescriptorRef, DescriptorClassID *) { return 0; }
OSErr16 KV_HOSTAPI GetReference(HostDescriptorRef, void *) { return 0; }
OSErr16 KV_HOSTAPI GetObject(HostDescriptorRef, DescriptorClassID *, HostDescriptorHandle *) { return 0; }
OSErr16 KV_HOSTAPI GetCount(HostDescriptorRef, uint32_t *) { return 0; }
OSErr16 KV_HOSTAPI GetString(HostDescriptorRef, unsigned char *) { return 0; }
OSErr16 KV_HOSTAPI GetPinnedInteger(HostDescriptorRef, int32_t, int32_t, int32_t *) { return 0; }
OSErr16 KV_HOSTAPI GetPinnedFloat(HostDescriptorRef, const double *, const double *, double *) { return 0; }
OSErr16 KV_HOSTAPI GetPinnedUnitFloat(HostDescriptorRef, const double *, const double *, DescriptorUnitID *,
                                      double *) {
  return 0;
}

struct Descriptors {
  HostReadDescriptorProcs read{kCurrentReadDescriptorProcsVersion,
                               kCurrentReadDescriptorProcsCount,
                               OpenRead,
                               CloseRead,
                               GetKey,
                               GetInteger,
                               GetFloat,
                               GetUnitFloat,
                               GetBoolean,
                               GetHandle,
                               GetHandle,
                               GetEnumerated,
                               GetClass,
                               GetReference,
                               GetObject,
                               GetCount,
                               GetString,
                               GetPinnedInteger,
                               GetPinnedFloat,
                               GetPinnedUnitFloat};
  HostWriteDescriptorProcs write{kCurrentWriteDescriptorProcsVersion, kCurrentWriteDescriptorProcsCount};
  HostDescriptorParameters parameters{0, kPlayDisplay, kRecordDialogOptional, nullptr, &write, &read};
};

TEST(HostUtilsTest, DescriptorProceduresMustBeCompleteAndOfVersionZero) {
  bool newer = true;
  EXPECT_FALSE(HostDescriptorAvailable(nullptr, &newer));
  EXPECT_FALSE(newer);

  Descriptors d;
  EXPECT_TRUE(HostDescriptorAvailable(&d.parameters, &newer));
  EXPECT_FALSE(newer);
  EXPECT_TRUE(HostDescriptorAvailable(&d.parameters, nullptr));

  Descriptors newerParameters;
  newerParameters.parameters.descriptorParametersVersion = 1;
  EXPECT_FALSE(HostDescriptorAvailable(&newerParameters.parameters, &newer));
  EXPECT_TRUE(newer);

  Descriptors newerRead;
  newerRead.read.readDescriptorProcsVersion = 1;
  EXPECT_FALSE(HostDescriptorAvailable(&newerRead.parameters, &newer));
  EXPECT_TRUE(newer);

  Descriptors shortRead;
  shortRead.read.numReadDescriptorProcs = 17;
  EXPECT_FALSE(HostDescriptorAvailable(&shortRead.parameters, &newer));
  EXPECT_FALSE(newer);

  Descriptors missingRead;
  missingRead.read.getPinnedUnitFloatProc = nullptr;
  EXPECT_FALSE(HostDescriptorAvailable(&missingRead.parameters, nullptr));

  Descriptors shortWrite;
  shortWrite.write.numWriteDescriptorProcs = 15;
  EXPECT_FALSE(HostDescriptorAvailable(&shortWrite.parameters, nullptr));

  Descriptors noWrite;
  noWrite.parameters.writeDescriptorProcs = nullptr;
  EXPECT_FALSE(HostDescriptorAvailable(&noWrite.parameters, nullptr));
}

TEST(HostUtilsTest, FinishWithDescriptorsStillAnswersZero) {
  FakeHost host;
  FakeHostInit(&host, 4, 4);
  Descriptors d;
  host.record.descriptorParameters = &d.parameters;
  EXPECT_EQ(FakeHostCall(&host, kSelectorFinish), kResultOk);
  FakeHostRelease(&host);
}

TEST(HostUtilsTest, AppendStopsAtTheDestinationsCapacity) {
  char path[16] = "C:\\queue";
  EXPECT_EQ(AppendCString(path, sizeof path, "\\*.*"), 12);
  EXPECT_STREQ(path, "C:\\queue\\*.*");
  // Only three more characters fit in 16 bytes with the terminator.
  EXPECT_EQ(AppendCString(path, sizeof path, "abcdef"), 15);
  EXPECT_STREQ(path, "C:\\queue\\*.*abc");
  EXPECT_EQ(AppendCString(path, sizeof path, "x"), 15);
  EXPECT_STREQ(path, "C:\\queue\\*.*abc");

  char one[1] = {'z'};   // not even terminated: the capacity keeps the write inside
  EXPECT_EQ(AppendCString(one, 1, "abc"), 0);
  EXPECT_EQ(one[0], 0);
  EXPECT_EQ(AppendCString(one, 0, "abc"), 0);
}

TEST(HostUtilsTest, AppendNeverGrowsAStringPast32767Characters) {
  std::string big(40000, 'a');
  big[32760] = 0;
  EXPECT_EQ(AppendCString(big.data(), big.size(), "0123456789"), 32767);
  EXPECT_EQ(std::strlen(big.data()), 32767u);
  EXPECT_EQ(big[32766], '6');
}

TEST(HostUtilsTest, ChannelDepthClasses) {
  FakeHost host;
  FakeHostInit(&host, 4, 4);
  PluginGlobals globals{};
  globals.filterRecord = &host.record;
  struct {
    int16_t mode;
    int32_t depth;
    int32_t expected;
  } cases[] = {{kModeRGB, 8, 3},     {kModeGrayScale, 8, 3}, {kModeRGB48, 16, 4}, {kModeGray16, 16, 4},
               {kModeRGB48, 8, 3},   {kModeRGB96, 32, 9},    {kModeGray32, 0, 9}, {kModeRGB, 32, 9},
               {kModeLab48, 16, 3}};
  for (const auto &c : cases) {
    host.record.imageMode = c.mode;
    host.record.depth = c.depth;
    EXPECT_EQ(ChannelDepthClass(&globals), c.expected) << c.mode << "/" << c.depth;
  }
  FakeHostRelease(&host);
}

TEST(HostUtilsTest, TheDispatcherPublishesTheModuleInstance) {
  int marker;
  void *before = GetDLLInstance(nullptr);
  SetDllInstance(&marker);
  FakeHost host;
  FakeHostInit(&host, 4, 4);
  FakeHostCall(&host, kSelectorAbout);
  EXPECT_EQ(gModuleInstance, &marker);
  SetDllInstance(before);
  FakeHostRelease(&host);
}

}  // namespace
