// Host buffers with the global-memory fallback, global memory itself (GlobalAlloc in the
// Windows builds), and handles through the host or through the emulation.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/host_memory.h"
#include "tests/plugin/fake_host.h"

namespace {

class HostMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pointersBefore = OutstandingPointers();
    FakeHostInit(&host, 8, 8);
  }
  void TearDown() override {
    SetNewPointerLimit(-1);
    EXPECT_EQ(OutstandingPointers(), pointersBefore);
    EXPECT_TRUE(host.liveBuffers.empty());
    FakeHostRelease(&host);
  }
  bool AllZero(const void *block, size_t size) {
    const unsigned char *bytes = static_cast<const unsigned char *>(block);
    for (size_t i = 0; i < size; i++)
      if (bytes[i] != 0) return false;
    return true;
  }
  FakeHost host;
  int32_t pointersBefore = 0;
};

TEST_F(HostMemoryTest, ABufferFromTheHostComesZeroFilledAndGoesBack) {
  HostBufferID id = nullptr;
  void *block = AllocHostBuffer(1000, &id, &host.bufferProcs);
  ASSERT_NE(block, nullptr);
  EXPECT_NE(id, nullptr);
  EXPECT_EQ(host.liveBuffers.size(), 1u);
  EXPECT_TRUE(AllZero(block, 1000));   // the fake host filled it with 0xA5
  FreeHostBuffer(&block, &id, &host.bufferProcs);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(id, nullptr);
  EXPECT_TRUE(host.liveBuffers.empty());
  FreeHostBuffer(&block, &id, &host.bufferProcs);   // an empty slot: nothing
  EXPECT_EQ(host.bufferFrees, 1);
}

TEST_F(HostMemoryTest, UnusableBufferProceduresAreNotCalled) {
  HostBufferProcs variants[4] = {host.bufferProcs, host.bufferProcs, host.bufferProcs, host.bufferProcs};
  variants[0].bufferProcsVersion = 1;
  variants[1].bufferProcsVersion = 3;
  variants[2].numBufferProcs = 4;
  variants[3].spaceProc = nullptr;
  for (HostBufferProcs &procs : variants) {
    EXPECT_FALSE(HostBufferProcsUsable(&procs));
    HostBufferID id = reinterpret_cast<HostBufferID>(1);
    EXPECT_EQ(AllocateBuffer(&procs, 16, &id), kResultMemFull);
    EXPECT_EQ(id, nullptr);
    void *block = AllocHostBuffer(64, &id, &procs);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(id, nullptr);
    EXPECT_TRUE(AllZero(block, 64));
    FreeHostBuffer(&block, &id, &procs);
  }
  EXPECT_TRUE(HostBufferProcsUsable(&host.bufferProcs));
  EXPECT_FALSE(HostBufferProcsUsable(nullptr));
  EXPECT_TRUE(host.bufferRequests.empty());
}

TEST_F(HostMemoryTest, WithoutAnIdentifierSlotTheBlockComesFromGlobalMemory) {
  void *block = AllocHostBuffer(64, nullptr, &host.bufferProcs);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(host.bufferRequests.empty());
  FreeHostBuffer(&block, nullptr, &host.bufferProcs);
  EXPECT_EQ(block, nullptr);
}

TEST_F(HostMemoryTest, ARefusedBufferFallsBackToGlobalMemory) {
  host.refuseBuffersFrom = 1;
  HostBufferID id = nullptr;
  void *block = AllocHostBuffer(4096, &id, &host.bufferProcs);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(id, nullptr);
  EXPECT_EQ(OutstandingPointers(), pointersBefore + 1);
  FreeHostBuffer(&block, &id, &host.bufferProcs);
}

TEST_F(HostMemoryTest, ABufferThatCannotBeLockedIsGivenBackBeforeTheFallback) {
  host.refuseBufferLocks = true;
  HostBufferID id = nullptr;
  void *block = AllocHostBuffer(256, &id, &host.bufferProcs);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(id, nullptr);
  EXPECT_EQ(host.bufferRequests.size(), 1u);
  EXPECT_TRUE(host.liveBuffers.empty());   // not left allocated at the host
  FreeHostBuffer(&block, &id, &host.bufferProcs);
}

TEST_F(HostMemoryTest, WhenBothRefuseThereIsNoBlock) {
  host.refuseBuffersFrom = 1;
  SetNewPointerLimit(0);
  HostBufferID id = reinterpret_cast<HostBufferID>(1);
  EXPECT_EQ(AllocHostBuffer(16, &id, &host.bufferProcs), nullptr);
  EXPECT_EQ(id, nullptr);
  EXPECT_EQ(AllocHostBuffer(-1, &id, &host.bufferProcs), nullptr);
}

TEST_F(HostMemoryTest, GlobalMemoryIsZeroFilledResizableAndLimited) {
  SetNewPointerLimit(2);
  void *a = NewPointer(100);
  void *b = NewPointer(0);
  void *c = NewPointer(10);
  ASSERT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  SetNewPointerLimit(-1);
  EXPECT_GE(PointerSize(a), 100u);
  EXPECT_TRUE(AllZero(a, 100));
  std::memset(a, 0x5A, 100);
  void *grown = ResizePointer(a, 5000);
  ASSERT_NE(grown, nullptr);
  EXPECT_GE(PointerSize(grown), 5000u);
  const unsigned char *bytes = static_cast<unsigned char *>(grown);
  EXPECT_EQ(bytes[0], 0x5A);
  EXPECT_EQ(bytes[99], 0x5A);
  EXPECT_TRUE(AllZero(bytes + 100, 4900));
  DisposePointer(grown);
  DisposePointer(b);
  DisposePointer(nullptr);
}

// ---- Handles ----------------------------------------------------------------------------------

TEST_F(HostMemoryTest, UsableHandleProceduresAreTheHosts) {
  HostHandleProcs *procs = &host.handleProcs;
  EXPECT_TRUE(HostHandleProcsUsable(procs));
  HostHandle h = HostNewHandle(procs, 40);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(host.handleCalls, 1);
  EXPECT_TRUE(host.liveHandles.count(h));
  EXPECT_EQ(HostGetHandleSize(procs, h), 40);
  EXPECT_EQ(HostSetHandleSize(procs, h, 80), kResultOk);
  EXPECT_EQ(HostGetHandleSize(procs, h), 80);
  EXPECT_EQ(HostLockHandle(procs, h, true), *h);
  HostUnlockHandle(procs, h);
  HostDisposeHandle(procs, h);
  EXPECT_TRUE(host.liveHandles.empty());
}

TEST_F(HostMemoryTest, AnEmulatedHandleReadsAndLocksAsTheBlock) {
  HostHandle h = HostNewHandle(nullptr, 100);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(EmulatedHandleResult(), kResultOk);
  char *block = *h;
  ASSERT_NE(block, nullptr);
  EXPECT_NE(static_cast<void *>(block), static_cast<void *>(h));
  EXPECT_TRUE(AllZero(block, 100));
  // Locking gives the block, not the 12-byte master record: a caller writes 100 bytes there.
  EXPECT_EQ(HostLockHandle(nullptr, h, true), block);
  std::memset(HostLockHandle(nullptr, h, false), 0x3C, 100);
  HostUnlockHandle(nullptr, h);
  EXPECT_EQ(std::memcmp(reinterpret_cast<char *>(h) + 8, "OTOF", 4), 0);
  EXPECT_EQ(HostGetHandleSize(nullptr, h), 100);
  HostDisposeHandle(nullptr, h);
  EXPECT_EQ(EmulatedHandleResult(), kResultOk);
}

TEST_F(HostMemoryTest, ResizingAnEmulatedHandleKeepsItsContents) {
  HostHandle h = HostNewHandle(nullptr, 64);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 64; i++) (*h)[i] = char(i);
  ASSERT_EQ(HostSetHandleSize(nullptr, h, 6000), kResultOk);
  EXPECT_EQ(HostGetHandleSize(nullptr, h), 6000);
  for (int i = 0; i < 64; i++) ASSERT_EQ((*h)[i], char(i));
  EXPECT_TRUE(AllZero(*h + 64, 6000 - 64));
  ASSERT_EQ(HostSetHandleSize(nullptr, h, 10), kResultOk);
  for (int i = 0; i < 10; i++) ASSERT_EQ((*h)[i], char(i));
  EXPECT_EQ(HostLockHandle(nullptr, h, true), *h);
  HostDisposeHandle(nullptr, h);
}

TEST_F(HostMemoryTest, EmulatedCallsReportTheirResult) {
  HostDisposeHandle(nullptr, nullptr);
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandle);
  EXPECT_EQ(HostGetHandleSize(nullptr, nullptr), 0);
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandle);
  EXPECT_EQ(HostSetHandleSize(nullptr, nullptr, 10), kResultNilHandleSetSize);
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandleSetSize);
  EXPECT_EQ(HostLockHandle(nullptr, nullptr, true), nullptr);

  // The master record fits but the block does not: nothing stays allocated.
  SetNewPointerLimit(1);
  EXPECT_EQ(HostNewHandle(nullptr, 10), nullptr);
  EXPECT_EQ(EmulatedHandleResult(), kResultMemFull);
  SetNewPointerLimit(0);
  EXPECT_EQ(HostNewHandle(nullptr, 10), nullptr);
  EXPECT_EQ(EmulatedHandleResult(), kResultMemFull);
  SetNewPointerLimit(-1);
}

TEST_F(HostMemoryTest, AHandleThatIsNotOneOfOursIsLeftAlone) {
  // The host's own handle reaching the emulation (a host without handle procedures that still
  // passes a parameters handle): disposing of it must not free the host's memory.
  HostHandle foreign = FakeHostNewHandle(&host, 32);
  HostDisposeHandle(nullptr, foreign);
  EXPECT_EQ(EmulatedHandleResult(), kResultNilHandle);
  EXPECT_TRUE(host.liveHandles.count(foreign));
}

}  // namespace
