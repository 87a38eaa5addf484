// fake_host.cpp -- the in-process stand-in host of the plug-in tests (see fake_host.h).
#include "tests/plugin/fake_host.h"

#include <cstdlib>
#include <cstring>

#include "plugin/dispatch.h"
#include "plugin/host_memory.h"

namespace {

FakeHost *gHost = nullptr;

// A handle is the address of the record's first member, the block pointer.
struct FakeHandleRecord {
  char *block;
  int32_t size;
  char spare[12];   // room for the emulation's look at a foreign handle's tag
};

struct FakeBufferRecord {
  char *data;
  int32_t size;
};

HostHandle KV_HOSTAPI NewHandleProc(int32_t size) {
  gHost->handleCalls++;
  if (gHost->refuseHandlesFrom > 0 && gHost->handleCalls >= gHost->refuseHandlesFrom) return nullptr;
  if (size < 0) return nullptr;
  auto *record = new FakeHandleRecord{};
  record->size = size;
  record->block = static_cast<char *>(std::malloc(size_t(size) + 1));
  std::memset(record->block, kFakeHostGarbage, size_t(size));
  auto handle = reinterpret_cast<HostHandle>(record);
  gHost->liveHandles.insert(handle);
  return handle;
}

FakeHandleRecord *Known(HostHandle handle) {
  return gHost->liveHandles.count(handle) ? reinterpret_cast<FakeHandleRecord *>(handle) : nullptr;
}

void KV_HOSTAPI DisposeHandleProc(HostHandle handle) {
  FakeHandleRecord *record = Known(handle);
  if (record == nullptr) return;
  gHost->liveHandles.erase(handle);
  gHost->handleDisposals++;
  std::free(record->block);
  delete record;
}

int32_t KV_HOSTAPI GetHandleSizeProc(HostHandle handle) {
  FakeHandleRecord *record = Known(handle);
  return record == nullptr ? 0 : record->size;
}

OSErr16 KV_HOSTAPI SetHandleSizeProc(HostHandle handle, int32_t size) {
  FakeHandleRecord *record = Known(handle);
  if (record == nullptr) return kResultNilHandleSetSize;
  char *block = static_cast<char *>(std::realloc(record->block, size_t(size) + 1));
  if (block == nullptr) return kResultMemFull;
  if (size > record->size) std::memset(block + record->size, kFakeHostGarbage, size_t(size - record->size));
  record->block = block;
  record->size = size;
  return kResultOk;
}

char *KV_HOSTAPI LockHandleProc(HostHandle handle, HostBool) {
  FakeHandleRecord *record = Known(handle);
  return record == nullptr ? nullptr : record->block;
}

void KV_HOSTAPI UnlockHandleProc(HostHandle) {}

OSErr16 KV_HOSTAPI AllocateBufferProc(int32_t size, HostBufferID *id) {
  int call = int(gHost->bufferRequests.size()) + 1;
  gHost->bufferRequests.push_back(size);
  *id = nullptr;
  if (gHost->refuseBuffersFrom > 0 && call >= gHost->refuseBuffersFrom) return kResultMemFull;
  if (gHost->refusedBufferCalls.count(call)) return kResultMemFull;
  auto *record = new FakeBufferRecord;
  record->size = size;
  record->data = static_cast<char *>(std::malloc(size_t(size) + 1));
  std::memset(record->data, kFakeHostGarbage, size_t(size));
  *id = reinterpret_cast<HostBufferID>(record);
  gHost->liveBuffers.insert(*id);
  return kResultOk;
}

char *KV_HOSTAPI LockBufferProc(HostBufferID id, HostBool) {
  if (gHost->refuseBufferLocks || !gHost->liveBuffers.count(id)) return nullptr;
  return reinterpret_cast<FakeBufferRecord *>(id)->data;
}

void KV_HOSTAPI UnlockBufferProc(HostBufferID) {}

void KV_HOSTAPI FreeBufferProc(HostBufferID id) {
  if (!gHost->liveBuffers.count(id)) return;
  gHost->liveBuffers.erase(id);
  gHost->bufferFrees++;
  auto *record = reinterpret_cast<FakeBufferRecord *>(id);
  std::free(record->data);
  delete record;
}

int32_t KV_HOSTAPI BufferSpaceProc() { return 64 << 20; }

OSErr16 KV_HOSTAPI AdvanceStateProc() {
  gHost->advanceStateCalls++;
  return kResultOk;
}

OSErr16 KV_HOSTAPI DisplayPixelsProc(const HostPixelMap *, const HostVRect *, int32_t, int32_t, void *) {
  return kResultOk;
}

void KV_HOSTAPI DispatchEntry(int16_t selector, FilterRecord *record, intptr_t *data, int16_t *result) {
  DispatchSelector(selector, record, data, result);
}

}  // namespace

void FakeHostInit(FakeHost *host, int width, int height) {
  host->record = FilterRecord{};
  host->handleProcs = HostHandleProcs{kCurrentHandleProcsVersion, kCurrentHandleProcsCount, NewHandleProc,
                                      DisposeHandleProc, GetHandleSizeProc, SetHandleSizeProc, LockHandleProc,
                                      UnlockHandleProc, nullptr, DisposeHandleProc};
  host->bufferProcs = HostBufferProcs{kCurrentBufferProcsVersion, kCurrentBufferProcsCount, AllocateBufferProc,
                                      LockBufferProc, UnlockBufferProc, FreeBufferProc, BufferSpaceProc};
  host->platform = HostPlatformData{0};
  host->dataSlot = 0;
  host->result = 0;
  host->entry = DispatchEntry;
  host->handleCalls = 0;
  host->handleDisposals = 0;
  host->liveHandles.clear();
  host->refuseHandlesFrom = 0;
  host->bufferRequests.clear();
  host->liveBuffers.clear();
  host->refuseBuffersFrom = 0;
  host->refusedBufferCalls.clear();
  host->refuseBufferLocks = false;
  host->bufferFrees = 0;
  host->advanceStateCalls = 0;

  FilterRecord &r = host->record;
  r.imageSize = HostPoint{int16_t(height), int16_t(width)};
  r.planes = 3;
  r.filterRect = Rect16{0, 0, int16_t(height), int16_t(width)};
  r.imageMode = kModeRGB;
  r.depth = 8;
  r.hostSig = FourCC('K', 'V', 'H', 'S');
  r.wholeSize = r.imageSize;
  r.handleProcs = &host->handleProcs;
  r.bufferProcs = &host->bufferProcs;
  r.platformData = &host->platform;
  r.advanceState = AdvanceStateProc;
  r.displayPixels = DisplayPixelsProc;
  r.filterCase = kFilterCaseFlatImageNoSelection;
  gHost = host;
}

int16_t FakeHostCall(FakeHost *host, int16_t selector) {
  gHost = host;
  host->entry(selector, &host->record, &host->dataSlot, &host->result);
  return host->result;
}

std::vector<int16_t> FakeHostRun(FakeHost *host) {
  std::vector<int16_t> results;
  results.push_back(FakeHostCall(host, kSelectorPrepare));
  if (results.back() != kResultOk) return results;
  results.push_back(FakeHostCall(host, kSelectorStart));
  if (results.back() != kResultOk) return results;
  // A host stops calling Continue once the plug-in asks for nothing more.
  for (int guard = 0; guard < 100000; guard++) {
    const FilterRecord &r = host->record;
    if (IsEmptyRequest(r.inRect) && IsEmptyRequest(r.outRect) && IsEmptyRequest(r.maskRect)) break;
    results.push_back(FakeHostCall(host, kSelectorContinue));
    if (results.back() != kResultOk) return results;
  }
  results.push_back(FakeHostCall(host, kSelectorFinish));
  return results;
}

PluginGlobals *FakeHostGlobals(FakeHost *host) {
  if (host->dataSlot == 0) return nullptr;
  return reinterpret_cast<PluginGlobals *>(*reinterpret_cast<HostHandle>(host->dataSlot));
}

ParameterBlock *FakeHostParameters(FakeHost *host) {
  if (host->record.parameters == nullptr) return nullptr;
  return reinterpret_cast<ParameterBlock *>(*host->record.parameters);
}

HostHandle FakeHostNewHandle(FakeHost *host, int32_t size) {
  gHost = host;
  return NewHandleProc(size);
}

void FakeHostRelease(FakeHost *host) {
  gHost = host;
  HostHandleProcs *procs = host->record.handleProcs;
  if (host->dataSlot != 0) HostDisposeHandle(procs, reinterpret_cast<HostHandle>(host->dataSlot));
  if (host->record.parameters != nullptr) HostDisposeHandle(procs, host->record.parameters);
  host->dataSlot = 0;
  host->record.parameters = nullptr;
  // Anything else still held by the fake host is a leak of the test or the plug-in: the tests
  // check the counts before they release; here the memory is simply returned.
  for (HostHandle h : std::set<HostHandle>(host->liveHandles)) DisposeHandleProc(h);
  for (HostBufferID b : std::set<HostBufferID>(host->liveBuffers)) FreeBufferProc(b);
}

bool IsEmptyRequest(const Rect16 &r) { return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0; }
