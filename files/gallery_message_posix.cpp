// gallery_message_posix.cpp -- without windows there is no one to show a message to.
#include "files/gallery_pages.h"

void ShowGalleryMessage(void *, const char *) {}
