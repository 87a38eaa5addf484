// image_lists.h -- the module's table of the dialog's icon image lists.
//
// The main dialog keeps up to 200 image lists (its icon bitmaps) in a module table that lives
// as long as the module; they are destroyed when the run's buffers are freed. Destroying goes
// through a procedure that the dialog installs (the system's image-list destroyer), so that
// this table stays portable. Every entry is cleared once it is destroyed, so freeing twice
// destroys nothing the second time.
#ifndef KIVAGLOBE_PLUGIN_IMAGE_LISTS_H
#define KIVAGLOBE_PLUGIN_IMAGE_LISTS_H

constexpr int kImageListTableSize = 200;

typedef void (*ImageListDestroyProc)(void *imageList);

// The table itself (null entries are empty).
extern void *gImageListTable[kImageListTableSize];

// Installs the destroyer; null leaves destroyed entries to be cleared only.
void SetImageListDestroyer(ImageListDestroyProc destroy);

// Destroys every non-null entry and clears it.
void DestroyImageListTable();

#endif  // KIVAGLOBE_PLUGIN_IMAGE_LISTS_H
