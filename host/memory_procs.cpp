// memory_procs.cpp -- handle and buffer procedures that keep count.
#include "host/memory_procs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// The memory the procedures work on (see the header).
static HostMemory *gMemory = nullptr;

void InitHostMemory(HostMemory *memory, int32_t refuseBuffersFrom, int32_t refuseHostBuffersFrom, HostLog *log) {
  memory->handles.clear();
  memory->buffers.clear();
  memory->globalBlocks.clear();
  memory->handleSerial = 0;
  memory->bufferSerial = 0;
  memory->bufferRequests = 0;
  memory->refuseBuffersFrom = refuseBuffersFrom;
  memory->refuseHostBuffersFrom = refuseHostBuffersFrom;
  memory->outOfMemory = false;
  memory->refusedBuffers = 0;
  memory->refusedGlobalAllocs = 0;
  memory->globalAllocs = 0;
  memory->badCalls = 0;
  memory->handleSizeZero = false;
  memory->log = log;
}

// A new block record of `size` bytes (at least one byte is allocated), filled with the fresh
// pattern; null when the size is negative or the allocation fails.
static HostBlock *NewBlock(int32_t size, int32_t serial) {
  if (size < 0) return nullptr;
  HostBlock *b = static_cast<HostBlock *>(std::malloc(sizeof(HostBlock)));
  if (b == nullptr) return nullptr;
  b->block = static_cast<char *>(std::malloc(size_t(size > 0 ? size : 1)));
  if (b->block == nullptr) {
    std::free(b);
    return nullptr;
  }
  std::memset(b->block, kHostFreshByte, size_t(size));
  b->size = size;
  b->locks = 0;
  b->serial = serial;
  return b;
}

static void FreeBlock(HostBlock *b) {
  std::free(b->block);
  std::free(b);
}

// Removes `b` from `list`; false when it is not there.
static bool Forget(std::vector<HostBlock *> *list, HostBlock *b) {
  auto it = std::find(list->begin(), list->end(), b);
  if (it == list->end()) return false;
  *it = list->back();
  list->pop_back();
  return true;
}

HostBlock *FindHandle(HostMemory *memory, HostHandle handle) {
  for (HostBlock *b : memory->handles)
    if (reinterpret_cast<HostHandle>(&b->block) == handle) return b;
  return nullptr;
}

static HostBlock *FindBuffer(HostMemory *memory, HostBufferID id) {
  for (HostBlock *b : memory->buffers)
    if (reinterpret_cast<HostBufferID>(b) == id) return b;
  return nullptr;
}

// Logs a call with a value the host never gave.
static void BadCall(HostMemory *m, const char *event) {
  m->badCalls++;
  LogBegin(m->log, event);
  LogBool(m->log, "unknown", true);
  LogEnd(m->log);
}

// ---- Handle procedures ---------------------------------------------------------------------

static HostHandle KV_HOSTAPI NewHandleProc(int32_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr) return nullptr;
  HostBlock *b = NewBlock(size, m->handleSerial + 1);
  LogBegin(m->log, "newHandle");
  LogInt(m->log, "size", size);
  if (b != nullptr) {
    m->handleSerial++;
    m->handles.push_back(b);
    LogInt(m->log, "handle", b->serial);
  } else {
    LogBool(m->log, "refused", true);
  }
  LogEnd(m->log);
  return b != nullptr ? reinterpret_cast<HostHandle>(&b->block) : nullptr;
}

bool DisposeHostHandle(HostMemory *m, HostHandle handle, const char *event) {
  HostBlock *b = FindHandle(m, handle);
  if (b == nullptr) return false;
  LogBegin(m->log, event);
  LogInt(m->log, "handle", b->serial);
  LogEnd(m->log);
  Forget(&m->handles, b);
  FreeBlock(b);
  return true;
}

static void KV_HOSTAPI DisposeHandleProc(HostHandle handle) {
  HostMemory *m = gMemory;
  if (m == nullptr || handle == nullptr) return;   // disposing of null is allowed and does nothing
  if (!DisposeHostHandle(m, handle, "disposeHandle")) BadCall(m, "disposeHandle");
}

static void KV_HOSTAPI DisposeRegularHandleProc(HostHandle handle) {
  HostMemory *m = gMemory;
  if (m == nullptr || handle == nullptr) return;
  if (!DisposeHostHandle(m, handle, "disposeRegularHandle")) BadCall(m, "disposeRegularHandle");
}

static int32_t KV_HOSTAPI GetHandleSizeProc(HostHandle handle) {
  HostMemory *m = gMemory;
  if (m == nullptr) return 0;
  HostBlock *b = FindHandle(m, handle);
  if (b == nullptr) {
    BadCall(m, "getHandleSize");
    return 0;
  }
  const int32_t size = m->handleSizeZero ? 0 : b->size;
  LogBegin(m->log, "getHandleSize");
  LogInt(m->log, "handle", b->serial);
  LogInt(m->log, "result", size);
  LogEnd(m->log);
  return size;
}

static OSErr16 KV_HOSTAPI SetHandleSizeProc(HostHandle handle, int32_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr) return kResultNilHandle;
  HostBlock *b = FindHandle(m, handle);
  if (b == nullptr) {
    BadCall(m, "setHandleSize");
    return kResultNilHandle;
  }
  OSErr16 result = kResultOk;
  char *grown = size >= 0 ? static_cast<char *>(std::realloc(b->block, size_t(size > 0 ? size : 1))) : nullptr;
  if (grown == nullptr) {
    result = kResultMemFull;
  } else {
    if (size > b->size) std::memset(grown + b->size, kHostFreshByte, size_t(size - b->size));
    b->block = grown;
    b->size = size;
  }
  LogBegin(m->log, "setHandleSize");
  LogInt(m->log, "handle", b->serial);
  LogInt(m->log, "size", size);
  LogInt(m->log, "result", result);
  LogEnd(m->log);
  return result;
}

static char *KV_HOSTAPI LockHandleProc(HostHandle handle, HostBool moveHigh) {
  HostMemory *m = gMemory;
  if (m == nullptr) return nullptr;
  HostBlock *b = FindHandle(m, handle);
  if (b == nullptr) {
    BadCall(m, "lockHandle");
    return nullptr;
  }
  b->locks++;
  LogBegin(m->log, "lockHandle");
  LogInt(m->log, "handle", b->serial);
  LogEnd(m->log);
  return b->block;
}

static void KV_HOSTAPI UnlockHandleProc(HostHandle handle) {
  HostMemory *m = gMemory;
  if (m == nullptr) return;
  HostBlock *b = FindHandle(m, handle);
  if (b == nullptr) {
    BadCall(m, "unlockHandle");
    return;
  }
  if (b->locks > 0) b->locks--;
  LogBegin(m->log, "unlockHandle");
  LogInt(m->log, "handle", b->serial);
  LogEnd(m->log);
}

static void KV_HOSTAPI RecoverSpaceProc(int32_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr) return;
  LogBegin(m->log, "recoverSpace");
  LogInt(m->log, "size", size);
  LogEnd(m->log);
}

// ---- Buffer procedures ---------------------------------------------------------------------

static OSErr16 KV_HOSTAPI AllocateBufferProc(int32_t size, HostBufferID *bufferID) {
  HostMemory *m = gMemory;
  if (bufferID != nullptr) *bufferID = nullptr;
  if (m == nullptr || bufferID == nullptr) return kResultMemFull;
  m->bufferRequests++;
  const int32_t n = m->bufferRequests;
  if (m->refuseBuffersFrom > 0 && n >= m->refuseBuffersFrom) m->outOfMemory = true;
  const bool refuse = m->outOfMemory || (m->refuseHostBuffersFrom > 0 && n >= m->refuseHostBuffersFrom);
  HostBlock *b = refuse ? nullptr : NewBlock(size, m->bufferSerial + 1);
  LogBegin(m->log, "allocateBuffer");
  LogInt(m->log, "request", n);
  LogInt(m->log, "size", size);
  OSErr16 result = kResultOk;
  if (b == nullptr) {
    m->refusedBuffers++;
    result = kResultMemFull;
  } else {
    m->bufferSerial++;
    m->buffers.push_back(b);
    *bufferID = reinterpret_cast<HostBufferID>(b);
    LogInt(m->log, "buffer", b->serial);
  }
  LogInt(m->log, "result", result);
  LogEnd(m->log);
  return result;
}

static char *KV_HOSTAPI LockBufferProc(HostBufferID id, HostBool moveHigh) {
  HostMemory *m = gMemory;
  if (m == nullptr) return nullptr;
  HostBlock *b = FindBuffer(m, id);
  if (b == nullptr) {
    BadCall(m, "lockBuffer");
    return nullptr;
  }
  b->locks++;
  LogBegin(m->log, "lockBuffer");
  LogInt(m->log, "buffer", b->serial);
  LogEnd(m->log);
  return b->block;
}

static void KV_HOSTAPI UnlockBufferProc(HostBufferID id) {
  HostMemory *m = gMemory;
  if (m == nullptr) return;
  HostBlock *b = FindBuffer(m, id);
  if (b == nullptr) {
    BadCall(m, "unlockBuffer");
    return;
  }
  if (b->locks > 0) b->locks--;
  LogBegin(m->log, "unlockBuffer");
  LogInt(m->log, "buffer", b->serial);
  LogEnd(m->log);
}

static void KV_HOSTAPI FreeBufferProc(HostBufferID id) {
  HostMemory *m = gMemory;
  if (m == nullptr) return;
  HostBlock *b = FindBuffer(m, id);
  if (b == nullptr) {
    BadCall(m, "freeBuffer");
    return;
  }
  LogBegin(m->log, "freeBuffer");
  LogInt(m->log, "buffer", b->serial);
  LogEnd(m->log);
  Forget(&m->buffers, b);
  FreeBlock(b);
}

static int32_t KV_HOSTAPI BufferSpaceProc(void) {
  HostMemory *m = gMemory;
  if (m != nullptr) {
    LogBegin(m->log, "bufferSpace");
    LogInt(m->log, "result", kHostBufferSpace);
    LogEnd(m->log);
  }
  return kHostBufferSpace;
}

void InstallMemoryProcs(HostMemory *memory, HostBufferProcs *bufferProcs, HostHandleProcs *handleProcs) {
  gMemory = memory;
  bufferProcs->bufferProcsVersion = kCurrentBufferProcsVersion;
  bufferProcs->numBufferProcs = kCurrentBufferProcsCount;
  bufferProcs->allocateProc = AllocateBufferProc;
  bufferProcs->lockProc = LockBufferProc;
  bufferProcs->unlockProc = UnlockBufferProc;
  bufferProcs->freeProc = FreeBufferProc;
  bufferProcs->spaceProc = BufferSpaceProc;
  handleProcs->handleProcsVersion = kCurrentHandleProcsVersion;
  handleProcs->numHandleProcs = kCurrentHandleProcsCount;
  handleProcs->newProc = NewHandleProc;
  handleProcs->disposeProc = DisposeHandleProc;
  handleProcs->getSizeProc = GetHandleSizeProc;
  handleProcs->setSizeProc = SetHandleSizeProc;
  handleProcs->lockProc = LockHandleProc;
  handleProcs->unlockProc = UnlockHandleProc;
  handleProcs->recoverSpaceProc = RecoverSpaceProc;
  handleProcs->disposeRegularHandleProc = DisposeRegularHandleProc;
}

void ReleaseHostMemory(HostMemory *memory) {
  for (HostBlock *b : memory->handles) FreeBlock(b);
  for (HostBlock *b : memory->buffers) FreeBlock(b);
  memory->handles.clear();
  memory->buffers.clear();
  // The plug-in's global blocks belong to the platform's allocator; the platform layer frees
  // what is left when it unloads the plug-in. Here they are only forgotten.
  memory->globalBlocks.clear();
  if (gMemory == memory) gMemory = nullptr;
}

// ---- The plug-in's global memory -------------------------------------------------------------

bool GlobalAllocAllowed(size_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr || !m->outOfMemory) return true;
  m->refusedGlobalAllocs++;
  LogBegin(m->log, "globalAlloc");
  LogInt(m->log, "size", int64_t(size));
  LogBool(m->log, "refused", true);
  LogEnd(m->log);
  return false;
}

void NoteGlobalAlloc(void *block, size_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr) return;
  if (block != nullptr) {
    m->globalBlocks.push_back(block);
    m->globalAllocs++;
  }
  LogBegin(m->log, "globalAlloc");
  LogInt(m->log, "size", int64_t(size));
  LogBool(m->log, "refused", block == nullptr);
  LogEnd(m->log);
}

void NoteGlobalFree(void *block) {
  HostMemory *m = gMemory;
  if (m == nullptr || block == nullptr) return;
  auto it = std::find(m->globalBlocks.begin(), m->globalBlocks.end(), block);
  // A block from before the session (or from elsewhere) is not counted.
  if (it == m->globalBlocks.end()) return;
  *it = m->globalBlocks.back();
  m->globalBlocks.pop_back();
  LogBegin(m->log, "globalFree");
  LogEnd(m->log);
}

void NoteGlobalReAlloc(void *oldBlock, void *newBlock, size_t size) {
  HostMemory *m = gMemory;
  if (m == nullptr || newBlock == nullptr) return;
  auto it = std::find(m->globalBlocks.begin(), m->globalBlocks.end(), oldBlock);
  if (it != m->globalBlocks.end()) *it = newBlock;
  LogBegin(m->log, "globalReAlloc");
  LogInt(m->log, "size", int64_t(size));
  LogEnd(m->log);
}
