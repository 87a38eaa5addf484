// host_memory.cpp -- memory through the host's buffer and handle procedures, with the fallback
// to global memory (NewPointer, global_memory_*.cpp) when the host offers none or refuses.
//
// Buffers: a block comes from the host when it allocates and locks it; otherwise from global
// memory, and the identifier 0 records that. Either way the caller gets a zero-filled block
// (hosts do not clear their buffers).
//
// Handles: a host that offers no usable handle procedures gets an emulation. An emulated
// handle is the address of a 12-byte master record in global memory; the record's first
// pointer-sized word holds the address of the block (a second global-memory allocation) and
// bytes 8..11 hold the tag "OTOF". So *handle is the block, as with the host's own handles.
// Blocks in global memory stay locked for their whole life, so locking an emulated handle just
// hands out the block, and unlocking it does nothing. The emulation knows its own handles by a
// registry of the master records it made, not by their tag: a handle the host made (a
// descriptor handle can reach the emulation when the host offers descriptor procedures but no
// usable handle procedures) may be a block of 8 bytes, and reading a tag at bytes 8..11 of it
// would read past its end. The registry is kept in the C heap, not in global memory, so that
// it is not counted among the plug-in's global blocks, and it is freed when it empties. The
// last emulated call's outcome is kept
// in a module word (EmulatedHandleResult): 0, -108 (no memory), -109 (null handle to get the
// size of or dispose of), -111 (null handle to resize).
#include "plugin/host_memory.h"

#include <cstdlib>
#include <cstring>

// ---- Buffers --------------------------------------------------------------------------------

bool HostBufferProcsUsable(const HostBufferProcs *procs) {
  return procs != nullptr && procs->bufferProcsVersion == kCurrentBufferProcsVersion &&
         procs->numBufferProcs >= kCurrentBufferProcsCount && procs->allocateProc != nullptr &&
         procs->lockProc != nullptr && procs->unlockProc != nullptr && procs->freeProc != nullptr &&
         procs->spaceProc != nullptr;
}

int16_t AllocateBuffer(HostBufferProcs *procs, int32_t size, HostBufferID *identifier) {
  *identifier = nullptr;
  if (!HostBufferProcsUsable(procs)) return kResultMemFull;
  return procs->allocateProc(size, identifier);
}

char *LockBuffer(HostBufferProcs *procs, HostBufferID identifier, bool moveHigh) {
  return procs->lockProc(identifier, HostBool(moveHigh));
}

void UnlockBuffer(HostBufferProcs *procs, HostBufferID identifier) { procs->unlockProc(identifier); }

void FreeBuffer(HostBufferProcs *procs, HostBufferID identifier) { procs->freeProc(identifier); }

void *AllocHostBuffer(int32_t size, HostBufferID *identifier, HostBufferProcs *procs) {
  if (size < 0) {
    if (identifier != nullptr) *identifier = nullptr;
    return nullptr;
  }
  if (identifier != nullptr && HostBufferProcsUsable(procs)) {
    HostBufferID id = nullptr;
    if (AllocateBuffer(procs, size, &id) == kResultOk && id != nullptr) {
      char *block = LockBuffer(procs, id, true);
      if (block != nullptr) {
        std::memset(block, 0, size_t(size));
        *identifier = id;
        return block;
      }
      // The host gave a buffer it cannot lock: give it back before falling back, or it
      // would stay allocated with nobody holding its identifier.
      FreeBuffer(procs, id);
    }
  }
  if (identifier != nullptr) *identifier = nullptr;
  return NewPointer(size_t(size));
}

void FreeHostBuffer(void **pointer, HostBufferID *identifier, HostBufferProcs *procs) {
  if (pointer == nullptr || *pointer == nullptr) return;
  if (identifier != nullptr && *identifier != nullptr) {
    if (HostBufferProcsUsable(procs)) {
      UnlockBuffer(procs, *identifier);
      FreeBuffer(procs, *identifier);
    }
  } else {
    DisposePointer(*pointer);
  }
  if (identifier != nullptr) *identifier = nullptr;
  *pointer = nullptr;
}

// ---- Handles --------------------------------------------------------------------------------

namespace {

constexpr size_t kMasterRecordSize = 12;
constexpr size_t kMasterTagOffset = 8;
constexpr char kMasterTag[4] = {'O', 'T', 'O', 'F'};

int16_t gEmulatedResult = 0;

void *MasterBlock(HostHandle handle) { return *handle; }

void SetMasterBlock(HostHandle handle, void *block) { *handle = static_cast<char *>(block); }

// The master records made and not yet disposed of.
HostHandle *gEmulatedHandles = nullptr;
int32_t gEmulatedCount = 0;
int32_t gEmulatedCapacity = 0;

int32_t FindEmulatedHandle(HostHandle handle) {
  for (int32_t i = 0; i < gEmulatedCount; i++)
    if (gEmulatedHandles[i] == handle) return i;
  return -1;
}

bool RememberEmulatedHandle(HostHandle handle) {
  if (gEmulatedCount == gEmulatedCapacity) {
    int32_t capacity = gEmulatedCapacity == 0 ? 8 : gEmulatedCapacity * 2;
    void *grown = std::realloc(gEmulatedHandles, size_t(capacity) * sizeof(HostHandle));
    if (grown == nullptr) return false;
    gEmulatedHandles = static_cast<HostHandle *>(grown);
    gEmulatedCapacity = capacity;
  }
  gEmulatedHandles[gEmulatedCount++] = handle;
  return true;
}

void ForgetEmulatedHandle(int32_t index) {
  gEmulatedHandles[index] = gEmulatedHandles[--gEmulatedCount];
  if (gEmulatedCount == 0) {
    std::free(gEmulatedHandles);
    gEmulatedHandles = nullptr;
    gEmulatedCapacity = 0;
  }
}

// Ours when the registry holds it; only then is the tag read, as a second check.
bool IsEmulatedHandle(HostHandle handle) {
  if (handle == nullptr || FindEmulatedHandle(handle) < 0) return false;
  return std::memcmp(reinterpret_cast<char *>(handle) + kMasterTagOffset, kMasterTag, 4) == 0;
}

HostHandle EmulatedNewHandle(int32_t size) {
  gEmulatedResult = kResultOk;
  void *master = size < 0 ? nullptr : NewPointer(kMasterRecordSize);
  if (master == nullptr) {
    gEmulatedResult = kResultMemFull;
    return nullptr;
  }
  void *block = NewPointer(size_t(size));
  if (block == nullptr) {
    DisposePointer(master);
    gEmulatedResult = kResultMemFull;
    return nullptr;
  }
  auto handle = static_cast<HostHandle>(master);
  if (!RememberEmulatedHandle(handle)) {
    DisposePointer(block);
    DisposePointer(master);
    gEmulatedResult = kResultMemFull;
    return nullptr;
  }
  SetMasterBlock(handle, block);
  std::memcpy(static_cast<char *>(master) + kMasterTagOffset, kMasterTag, 4);
  return handle;
}

void EmulatedDisposeHandle(HostHandle handle) {
  // A handle that is not one of ours is left alone.
  if (handle == nullptr || !IsEmulatedHandle(handle)) {
    gEmulatedResult = kResultNilHandle;
    return;
  }
  gEmulatedResult = kResultOk;
  ForgetEmulatedHandle(FindEmulatedHandle(handle));
  DisposePointer(MasterBlock(handle));
  std::memset(handle, 0, kMasterRecordSize);
  DisposePointer(handle);
}

int32_t EmulatedGetHandleSize(HostHandle handle) {
  if (handle == nullptr || !IsEmulatedHandle(handle)) {
    gEmulatedResult = kResultNilHandle;
    return 0;
  }
  gEmulatedResult = kResultOk;
  return int32_t(PointerSize(MasterBlock(handle)));
}

int16_t EmulatedSetHandleSize(HostHandle handle, int32_t size) {
  if (handle == nullptr || !IsEmulatedHandle(handle)) {
    gEmulatedResult = kResultNilHandleSetSize;
    return gEmulatedResult;
  }
  void *block = size < 0 ? nullptr : ResizePointer(MasterBlock(handle), size_t(size));
  if (block == nullptr) {
    gEmulatedResult = kResultMemFull;
    return gEmulatedResult;
  }
  SetMasterBlock(handle, block);
  gEmulatedResult = kResultOk;
  return gEmulatedResult;
}

}  // namespace

bool HostHandleProcsUsable(const HostHandleProcs *procs) {
  return procs != nullptr && procs->handleProcsVersion == kCurrentHandleProcsVersion &&
         procs->numHandleProcs >= kCurrentHandleProcsCount && procs->newProc != nullptr &&
         procs->disposeProc != nullptr && procs->getSizeProc != nullptr && procs->setSizeProc != nullptr;
}

HostHandle HostNewHandle(HostHandleProcs *procs, int32_t size) {
  if (HostHandleProcsUsable(procs)) return procs->newProc(size);
  return EmulatedNewHandle(size);
}

void HostDisposeHandle(HostHandleProcs *procs, HostHandle handle) {
  if (HostHandleProcsUsable(procs)) {
    procs->disposeProc(handle);
    return;
  }
  EmulatedDisposeHandle(handle);
}

int32_t HostGetHandleSize(HostHandleProcs *procs, HostHandle handle) {
  if (HostHandleProcsUsable(procs)) return procs->getSizeProc(handle);
  return EmulatedGetHandleSize(handle);
}

int16_t HostSetHandleSize(HostHandleProcs *procs, HostHandle handle, int32_t size) {
  if (HostHandleProcsUsable(procs)) return procs->setSizeProc(handle, size);
  return EmulatedSetHandleSize(handle, size);
}

char *HostLockHandle(HostHandleProcs *procs, HostHandle handle, bool moveHigh) {
  if (handle == nullptr) return nullptr;
  if (HostHandleProcsUsable(procs)) {
    // A host whose record lacks the lock procedure keeps its blocks where they are.
    if (procs->lockProc == nullptr) return *handle;
    return procs->lockProc(handle, HostBool(moveHigh));
  }
  return static_cast<char *>(MasterBlock(handle));
}

void HostUnlockHandle(HostHandleProcs *procs, HostHandle handle) {
  if (handle == nullptr) return;
  if (HostHandleProcsUsable(procs) && procs->unlockProc != nullptr) procs->unlockProc(handle);
}

int16_t EmulatedHandleResult() { return gEmulatedResult; }

bool HostCanDisposeHandle(const HostHandleProcs *procs, HostHandle handle) {
  return handle != nullptr && (HostHandleProcsUsable(procs) || IsEmulatedHandle(handle));
}
