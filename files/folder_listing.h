// folder_listing.h -- the entries of a folder, sorted by name.
//
// The system lists a folder in whatever order its file system keeps: NTFS sorts names, other
// file systems (and Wine over them) do not. The gallery pages and the batch refresh go through
// this sorted list, so that they treat files in the same order, and write the same page, on
// every machine.
#ifndef KIVAGLOBE_FILES_FOLDER_LISTING_H
#define KIVAGLOBE_FILES_FOLDER_LISTING_H

#include <cstdint>

#include "foundation/file_io.h"

struct FolderListing {
  FolderEntry *entries;   // `count` entries in global memory, null when empty
  int32_t count;
};

// Lists every entry of the folder ("." and ".." excluded), sorted by name ignoring the case of
// ASCII letters, then by bytes. False (and an empty listing) when the folder cannot be listed
// or the memory for the list cannot be had.
bool ListFolderSorted(const char *folder, FolderListing *listing);

void FreeFolderListing(FolderListing *listing);

// The order of the listing: <0, 0 or >0.
int CompareEntryNames(const char *a, const char *b);

#endif  // KIVAGLOBE_FILES_FOLDER_LISTING_H
