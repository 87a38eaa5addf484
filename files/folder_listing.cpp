// folder_listing.cpp -- the sorted folder listing (see folder_listing.h).
#include "files/folder_listing.h"

#include <cstdlib>
#include <cstring>

#include "foundation/strings.h"
#include "plugin/host_memory.h"

int CompareEntryNames(const char *a, const char *b) {
  for (int32_t i = 0;; i++) {
    const unsigned char x = static_cast<unsigned char>(LowerAsciiChar(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAsciiChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) break;
  }
  return std::strcmp(a, b);
}

static int CompareEntries(const void *a, const void *b) {
  return CompareEntryNames(static_cast<const FolderEntry *>(a)->name, static_cast<const FolderEntry *>(b)->name);
}

bool ListFolderSorted(const char *folder, FolderListing *listing) {
  listing->entries = nullptr;
  listing->count = 0;
  FolderScan scan{};
  if (!OpenFolderScan(&scan, folder)) return false;
  int32_t capacity = 0;
  FolderEntry entry{};
  bool ok = true;
  while (NextFolderEntry(&scan, &entry)) {
    if (listing->count == capacity) {
      const int32_t grown = capacity == 0 ? 64 : capacity * 2;
      void *block = listing->entries == nullptr ? NewPointer(sizeof(FolderEntry) * size_t(grown))
                                                : ResizePointer(listing->entries, sizeof(FolderEntry) * size_t(grown));
      if (block == nullptr) {
        ok = false;
        break;
      }
      listing->entries = static_cast<FolderEntry *>(block);
      capacity = grown;
    }
    listing->entries[listing->count++] = entry;
  }
  CloseFolderScan(&scan);
  if (!ok) {
    FreeFolderListing(listing);
    return false;
  }
  if (listing->count > 1) std::qsort(listing->entries, size_t(listing->count), sizeof(FolderEntry), CompareEntries);
  return true;
}

void FreeFolderListing(FolderListing *listing) {
  if (listing->entries != nullptr) DisposePointer(listing->entries);
  listing->entries = nullptr;
  listing->count = 0;
}
