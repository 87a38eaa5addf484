// image_lists.cpp -- the module's table of the dialog's image lists (see image_lists.h).
#include "plugin/image_lists.h"

void *gImageListTable[kImageListTableSize];

static ImageListDestroyProc gDestroyImageList = nullptr;

void SetImageListDestroyer(ImageListDestroyProc destroy) { gDestroyImageList = destroy; }

void DestroyImageListTable() {
  for (void *&entry : gImageListTable) {
    if (entry == nullptr) continue;
    if (gDestroyImageList != nullptr) gDestroyImageList(entry);
    entry = nullptr;
  }
}
