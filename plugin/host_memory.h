// host_memory.h -- memory through the host's buffer and handle procedures, with a fallback to
// the platform's global memory when the host offers none or refuses.
//
// Buffers carry the run's large blocks (the run state, the row buffer, every image tile);
// handles carry the two records the host keeps for us (the globals and the parameter block).
#ifndef KIVAGLOBE_PLUGIN_HOST_MEMORY_H
#define KIVAGLOBE_PLUGIN_HOST_MEMORY_H

#include <cstddef>
#include <cstdint>

#include "plugin/host_interface.h"

// ---- Buffers ------------------------------------------------------------------------------

// True when the buffer procedures are version 2 with at least 5 entries, all present.
bool HostBufferProcsUsable(const HostBufferProcs *procs);

// The host's buffer procedures. AllocateBuffer clears the identifier first and returns -108
// when the procedures are unusable.
int16_t AllocateBuffer(HostBufferProcs *procs, int32_t size, HostBufferID *identifier);
char *LockBuffer(HostBufferProcs *procs, HostBufferID identifier, bool moveHigh);
void UnlockBuffer(HostBufferProcs *procs, HostBufferID identifier);
void FreeBuffer(HostBufferProcs *procs, HostBufferID identifier);

// A zero-filled block of `size` bytes: from the host when `identifier` and usable `procs` are
// given and the host allocates and locks it (the identifier is set), otherwise from global
// memory (the identifier is set to 0). Null only when both fail.
void *AllocHostBuffer(int32_t size, HostBufferID *identifier, HostBufferProcs *procs);

// Frees what AllocHostBuffer gave and clears both slots; nothing when *pointer is null.
void FreeHostBuffer(void **pointer, HostBufferID *identifier, HostBufferProcs *procs);

// Global memory: a movable, zero-filled block, locked. Null on failure.
void *NewPointer(size_t size);
void DisposePointer(void *pointer);

// Test seam: after `remaining` more successful NewPointer calls, every further call fails.
// A negative value (the default) means no limit.
void SetNewPointerLimit(int32_t remaining);

// Test seam: the number of NewPointer blocks not yet disposed of.
int32_t OutstandingPointers();

// The size of a NewPointer block, and the block resized (movable, the growth zero-filled, the
// contents kept up to the smaller size). ResizePointer returns the block's new address, or null
// when it cannot be resized (the old block is then untouched).
size_t PointerSize(void *pointer);
void *ResizePointer(void *pointer, size_t size);

// ---- Handles ------------------------------------------------------------------------------

// True when the handle procedures are version 1 with at least 8 entries and new, dispose,
// get size and set size present.
bool HostHandleProcsUsable(const HostHandleProcs *procs);

// Each goes to the host's procedure when `procs` is usable, else to the emulation in global
// memory (a 12-byte master record tagged "OTOF" whose first word points at the block).
// Locking an emulated handle gives the block (which stays locked in global memory for its
// whole life); unlocking it does nothing.
HostHandle HostNewHandle(HostHandleProcs *procs, int32_t size);
void HostDisposeHandle(HostHandleProcs *procs, HostHandle handle);
int32_t HostGetHandleSize(HostHandleProcs *procs, HostHandle handle);
int16_t HostSetHandleSize(HostHandleProcs *procs, HostHandle handle, int32_t size);
char *HostLockHandle(HostHandleProcs *procs, HostHandle handle, bool moveHigh);
void HostUnlockHandle(HostHandleProcs *procs, HostHandle handle);

// Result of the last emulated handle call: 0, -108, -109 or -111.
int16_t EmulatedHandleResult();

// True when HostDisposeHandle can dispose of `handle`: the host's handle procedures are usable,
// or the handle is one the emulation made. A host's handle without usable procedures cannot be
// disposed of by the plug-in; the emulation leaves it alone (-109) and never reads it.
bool HostCanDisposeHandle(const HostHandleProcs *procs, HostHandle handle);

#endif  // KIVAGLOBE_PLUGIN_HOST_MEMORY_H
