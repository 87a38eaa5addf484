// thumbnail_paint_posix.cpp -- the native build has no windows to paint into.
#include "files/thumbnails.h"

void PaintThumbnail(PluginGlobals *, void *, const Rect16 *) {}
