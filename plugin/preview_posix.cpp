// preview_posix.cpp -- without windows, the preview's "window" is handed to displayPixels as
// its context unchanged (the native tests record it).
#include "plugin/preview.h"

void *AcquirePreviewContext(void *window) { return window; }
void ReleasePreviewContext(void *, void *) {}
