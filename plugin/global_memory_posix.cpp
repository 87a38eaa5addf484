// global_memory_posix.cpp -- the native twin of global_memory_win32.cpp: zero-filled heap
// blocks with their size kept in a small header, so that PointerSize answers as GlobalSize
// does. Only the native build (tests, fuzzers) uses it.
#include <cstdlib>
#include <cstring>

#include "plugin/host_memory.h"

namespace {

// The header keeps the block's size and keeps the block 16-byte aligned.
struct alignas(16) PointerHeader {
  size_t size;
};

PointerHeader *HeaderOf(void *pointer) { return static_cast<PointerHeader *>(pointer) - 1; }

int32_t gNewPointerLimit = -1;   // successful allocations left; negative: no limit
int32_t gOutstandingPointers = 0;

}  // namespace

void SetNewPointerLimit(int32_t remaining) { gNewPointerLimit = remaining; }

int32_t OutstandingPointers() { return gOutstandingPointers; }

void *NewPointer(size_t size) {
  if (gNewPointerLimit == 0) return nullptr;
  if (size == 0) size = 1;
  if (size > SIZE_MAX - sizeof(PointerHeader)) return nullptr;
  auto *header = static_cast<PointerHeader *>(std::calloc(1, sizeof(PointerHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  if (gNewPointerLimit > 0) gNewPointerLimit--;
  gOutstandingPointers++;
  return header + 1;
}

void DisposePointer(void *pointer) {
  if (pointer == nullptr) return;
  std::free(HeaderOf(pointer));
  gOutstandingPointers--;
}

size_t PointerSize(void *pointer) { return pointer == nullptr ? 0 : HeaderOf(pointer)->size; }

void *ResizePointer(void *pointer, size_t size) {
  if (pointer == nullptr) return nullptr;
  if (size == 0) size = 1;
  if (size > SIZE_MAX - sizeof(PointerHeader)) return nullptr;
  size_t oldSize = HeaderOf(pointer)->size;
  auto *header = static_cast<PointerHeader *>(std::realloc(HeaderOf(pointer), sizeof(PointerHeader) + size));
  if (header == nullptr) return nullptr;
  if (size > oldSize) std::memset(reinterpret_cast<char *>(header + 1) + oldSize, 0, size - oldSize);
  header->size = size;
  return header + 1;
}
