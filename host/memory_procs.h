// memory_procs.h -- the stand-in host's handle and buffer procedures, and its account of the
// plug-in's own global memory.
//
// Everything the plug-in gets from the host is recorded, so that at exit the host can say what
// is still outstanding. A handle is a pointer to the first member of a HostBlock (the master
// pointer, which points at the block); a buffer identifier is the address of its HostBlock.
// The host recognises only values it handed out: a call with anything else is counted as a
// bad call and logged, never dereferenced.
//
// New blocks are filled with kHostFreshByte, not zeros, as a real host's memory would be: a
// plug-in that reads memory before writing it shows the pattern.
//
// Refusals: from the N-th buffer allocation on (`refuseBuffersFrom`), the buffer procedure
// answers -108 and the plug-in's global-memory allocations fail too (the host patches the
// plug-in's import of them, see host_platform.h); `refuseHostBuffersFrom` refuses only the
// buffer procedure.
//
// The procedures have no context argument, so they work on one current HostMemory, set by
// InstallMemoryProcs: the host runs one session at a time.
#ifndef KIVAGLOBE_HOST_MEMORY_PROCS_H
#define KIVAGLOBE_HOST_MEMORY_PROCS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_log.h"
#include "plugin/host_interface.h"

constexpr uint8_t kHostFreshByte = 0xA5;
// What the space procedure and maxSpace report: 1 GiB.
constexpr int32_t kHostBufferSpace = 1 << 30;

struct HostBlock {
  char *block;       // first member: a handle points here
  int32_t size;
  int32_t locks;
  int32_t serial;    // 1, 2, ... in order of allocation: the name the log uses
};

struct HostMemory {
  std::vector<HostBlock *> handles;
  std::vector<HostBlock *> buffers;
  std::vector<void *> globalBlocks;   // the plug-in's global-memory blocks, by their HGLOBAL
  int32_t handleSerial;
  int32_t bufferSerial;
  int32_t bufferRequests;             // calls of the allocate procedure
  int32_t refuseBuffersFrom;          // 0: never
  int32_t refuseHostBuffersFrom;      // 0: never
  bool outOfMemory;                   // the plug-in's global memory fails from now on
  int32_t refusedBuffers;
  int32_t refusedGlobalAllocs;
  int32_t globalAllocs;               // the plug-in's global-memory allocations that succeeded
  int32_t badCalls;                   // calls with a handle or identifier the host never gave
  bool handleSizeZero;                // GetHandleSize answers 0 for the host's own handles, as
                                      //   some editors do (--handle-size-zero)
  HostLog *log;
};

void InitHostMemory(HostMemory *memory, int32_t refuseBuffersFrom, int32_t refuseHostBuffersFrom, HostLog *log);

// Makes `memory` the current one and fills the two procedure records.
void InstallMemoryProcs(HostMemory *memory, HostBufferProcs *bufferProcs, HostHandleProcs *handleProcs);

// Frees every block that is left and forgets the current memory when it is this one.
void ReleaseHostMemory(HostMemory *memory);

// The host's own use of handles: the record of a handle it gave, or null.
HostBlock *FindHandle(HostMemory *memory, HostHandle handle);
// Disposes of a handle the host gave (as the dispose procedure, logged as `event`); false when
// the value is not one.
bool DisposeHostHandle(HostMemory *memory, HostHandle handle, const char *event);

inline int32_t OutstandingHandles(const HostMemory &m) { return int32_t(m.handles.size()); }
inline int32_t OutstandingBuffers(const HostMemory &m) { return int32_t(m.buffers.size()); }
inline int32_t OutstandingGlobalBlocks(const HostMemory &m) { return int32_t(m.globalBlocks.size()); }

// The plug-in's global memory, reported by the platform's patched imports. Each works on the
// current memory and does nothing when there is none.
bool GlobalAllocAllowed(size_t size);     // false once out of memory (the refusal is logged)
void NoteGlobalAlloc(void *block, size_t size);
void NoteGlobalFree(void *block);
void NoteGlobalReAlloc(void *oldBlock, void *newBlock, size_t size);

#endif  // KIVAGLOBE_HOST_MEMORY_PROCS_H
