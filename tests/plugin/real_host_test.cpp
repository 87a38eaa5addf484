// What real editors do that a host built from our own declarations would not: a GetHandleSize
// that answers 0 for the host's handles, Prepare and Start again while a run is live, a
// globals block restored from the bytes of an earlier session, the host's own small
// descriptor handle reaching the handle emulation, and a descriptor close error on the
// dialog's road.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/dispatch.h"
#include "plugin/file_hooks.h"
#include "plugin/host_memory.h"
#include "tests/plugin/fake_descriptor.h"
#include "tests/plugin/fake_host.h"

namespace {

int32_t KV_HOSTAPI SizeUnknown(HostHandle) { return 0; }

class RealHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHostInit(&host, 40, 30);
    pointersBefore = OutstandingPointers();
  }
  void TearDown() override {
    FakeHostRelease(&host);
    EXPECT_EQ(OutstandingPointers(), pointersBefore);
  }
  void ExpectNothingButTheTwoHandles() {
    EXPECT_TRUE(host.liveBuffers.empty()) << host.liveBuffers.size() << " buffers outstanding";
    EXPECT_EQ(host.liveHandles.size(), 2u);
  }
  FakeHost host;
  int32_t pointersBefore = 0;
};

TEST_F(RealHostTest, AHandleSizeOfZeroKeepsTheBlockAndTheRun) {
  host.handleProcs.getSizeProc = SizeUnknown;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  HostHandle block = host.record.parameters;
  FakeHostParameters(&host)->planetSize = 77;
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  ASSERT_NE(FakeHostGlobals(&host)->runState, nullptr);
  const int advanceBefore = host.advanceStateCalls;
  ASSERT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
  // Continue found the run and asked for the 29 rows after Start's first, then freed it.
  EXPECT_EQ(host.advanceStateCalls - advanceBefore, 29);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  EXPECT_EQ(HostHandle(host.record.parameters), block);
  EXPECT_EQ(FakeHostParameters(&host)->planetSize, 77u);
  EXPECT_EQ(host.handleDisposals, 0);
  ExpectNothingButTheTwoHandles();
}

TEST_F(RealHostTest, PrepareAndStartAgainWhileARunIsLiveFreeTheRunFirst) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  const size_t heldByOneRun = host.liveBuffers.size();
  ASSERT_GT(heldByOneRun, 8u);
  // The host abandons the run and starts over.
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_EQ(host.liveBuffers.size(), heldByOneRun);
  while (!IsEmptyRequest(host.record.inRect)) ASSERT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
  ExpectNothingButTheTwoHandles();
}

TEST_F(RealHostTest, StalePointersInARestoredGlobalsBlockAreNotFollowed) {
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  // An editor's repeat restores the globals' bytes from an earlier session: the run pointers
  // point at memory that is no longer the plug-in's (here: a poisoned block of the test).
  PluginGlobals *g = FakeHostGlobals(&host);
  static unsigned char gone[64];
  std::memset(gone, 0xA5, sizeof gone);
  g->runState = reinterpret_cast<RunState *>(gone);
  g->runStateId = reinterpret_cast<HostBufferID>(gone + 8);
  g->buffers[kBufferRow] = gone + 16;
  g->bufferIds[kBufferRow] = reinterpret_cast<HostBufferID>(gone + 24);
  g->runActive = 1;
  EXPECT_EQ(FakeHostRun(&host), (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));
  for (unsigned char byte : gone) ASSERT_EQ(byte, 0xA5);
  ExpectNothingButTheTwoHandles();
}

// A host's own descriptor handle is a bare master pointer, 8 bytes in 64-bit. The emulation
// must not read a tag behind it; under AddressSanitizer such a read is a heap overflow.
TEST_F(RealHostTest, TheEmulationNeverReadsPastAHostsSmallHandle) {
  HostHandle small = reinterpret_cast<HostHandle>(new char *[1]());
  EXPECT_EQ(HostGetHandleSize(nullptr, small), 0);
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandle);
  EXPECT_FALSE(HostCanDisposeHandle(nullptr, small));
  HostDisposeHandle(nullptr, small);   // left alone
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandle);
  delete[] reinterpret_cast<char **>(small);

  // Bytes that happen to carry the emulation's tag after a host's master pointer do not make
  // the handle ours.
  alignas(8) char lookalike[16] = {};
  void *block = NewPointer(32);
  std::memcpy(lookalike, &block, sizeof block);
  std::memcpy(lookalike + 8, "OTOF", 4);
  EXPECT_EQ(HostGetHandleSize(nullptr, reinterpret_cast<HostHandle>(lookalike)), 0);
  EXPECT_FALSE(HostCanDisposeHandle(nullptr, reinterpret_cast<HostHandle>(lookalike)));
  DisposePointer(block);

  HostHandle ours = HostNewHandle(nullptr, 24);
  ASSERT_NE(ours, nullptr);
  EXPECT_TRUE(HostCanDisposeHandle(nullptr, ours));
  EXPECT_EQ(HostGetHandleSize(nullptr, ours), 24);
  HostDisposeHandle(nullptr, ours);
  EXPECT_EQ(EmulatedHandleResult(), kResultOk);
}

// Descriptor procedures without usable handle procedures: the descriptor handle the host made
// cannot be disposed of by the plug-in, so it stays with the host instead of being dropped.
TEST_F(RealHostTest, AHostsDescriptorIsKeptWhenThePluginCannotDisposeOfIt) {
  FakeDescriptor fake;
  FakeDescriptorInit(&fake, nullptr);   // descriptor handles of 8 bytes from the heap
  host.record.handleProcs = nullptr;
  host.record.descriptorParameters = &fake.parameters;
  FakeDescriptorSet(&fake, {IntegerEntry(FourCC('0', '0', '1', '4'), 40)});
  HostHandle given = fake.parameters.descriptor;
  ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  ASSERT_EQ(FakeHostCall(&host, kSelectorStart), kResultOk);
  EXPECT_EQ(FakeHostParameters(&host)->planetSize, 40u);
  EXPECT_EQ(fake.parameters.descriptor, given);
  while (!IsEmptyRequest(host.record.inRect)) ASSERT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
  host.record.descriptorParameters = nullptr;
  delete[] reinterpret_cast<char **>(given);
  EXPECT_TRUE(host.liveBuffers.empty());
}

// A close error of the descriptor ends a silent run with that code; played with the dialog,
// the dialog's OK writes 0 and the planet renders.
TEST_F(RealHostTest, ACloseErrorEndsOnlyARunWithoutTheDialog) {
  const PluginFileHooks saved = gPluginFileHooks;
  gPluginFileHooks = PluginFileHooks{};
  for (int16_t playInfo : {kPlaySilent, kPlayDisplay}) {
    SCOPED_TRACE(playInfo);
    FakeDescriptor fake;
    FakeDescriptorInit(&fake, host.record.handleProcs);
    host.record.descriptorParameters = &fake.parameters;
    fake.parameters.playInfo = playInfo;
    fake.closeResult = -1716;
    FakeDescriptorSet(&fake, {IntegerEntry(FourCC('0', '0', '1', '4'), 40)});
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
    const int16_t start = FakeHostCall(&host, kSelectorStart);
    if (playInfo == kPlaySilent) {
      EXPECT_EQ(start, -1716);
      EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
    } else {
      EXPECT_EQ(start, kResultOk);
      EXPECT_EQ(FakeHostParameters(&host)->showDialog, 0u);
      EXPECT_FALSE(IsEmptyRequest(host.record.inRect));
      while (!IsEmptyRequest(host.record.inRect)) ASSERT_EQ(FakeHostCall(&host, kSelectorContinue), kResultOk);
    }
    EXPECT_EQ(FakeHostGlobals(&host)->runState, nullptr);
    EXPECT_TRUE(host.liveBuffers.empty());
    host.record.descriptorParameters = nullptr;
  }
  gPluginFileHooks = saved;
}

}  // namespace
