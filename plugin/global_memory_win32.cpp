// global_memory_win32.cpp -- NewPointer and its kin in Windows global memory: movable,
// zero-initialised blocks that stay locked from allocation to disposal, so that the address
// handed out is stable. The posix twin (global_memory_posix.cpp) serves the native build.
#include <windows.h>

#include "plugin/host_memory.h"

static int32_t gNewPointerLimit = -1;   // successful allocations left; negative: no limit
static int32_t gOutstandingPointers = 0;

void SetNewPointerLimit(int32_t remaining) { gNewPointerLimit = remaining; }

int32_t OutstandingPointers() { return gOutstandingPointers; }

void *NewPointer(size_t size) {
  if (gNewPointerLimit == 0) return nullptr;
  // A movable block of size 0 would be discarded at once and could not be locked.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size == 0 ? 1 : size);
  if (memory == nullptr) return nullptr;
  void *pointer = GlobalLock(memory);
  if (pointer == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  if (gNewPointerLimit > 0) gNewPointerLimit--;
  gOutstandingPointers++;
  return pointer;
}

void DisposePointer(void *pointer) {
  if (pointer == nullptr) return;
  HGLOBAL memory = GlobalHandle(pointer);
  if (memory == nullptr) return;
  GlobalUnlock(memory);
  GlobalFree(memory);
  gOutstandingPointers--;
}

size_t PointerSize(void *pointer) {
  if (pointer == nullptr) return 0;
  HGLOBAL memory = GlobalHandle(pointer);
  return memory == nullptr ? 0 : GlobalSize(memory);
}

void *ResizePointer(void *pointer, size_t size) {
  if (pointer == nullptr) return nullptr;
  HGLOBAL memory = GlobalHandle(pointer);
  if (memory == nullptr) return nullptr;
  // A locked movable block may not be moved: unlock it for the reallocation, and lock the old
  // block again when the reallocation fails.
  GlobalUnlock(memory);
  HGLOBAL resized = GlobalReAlloc(memory, size == 0 ? 1 : size, GMEM_MOVEABLE | GMEM_ZEROINIT);
  if (resized == nullptr) {
    GlobalLock(memory);
    return nullptr;
  }
  return GlobalLock(resized);
}
