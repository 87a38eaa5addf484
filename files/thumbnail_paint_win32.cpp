// thumbnail_paint_win32.cpp -- painting the thumbnail into a dialog control, pixel by pixel.
//
// The control is small (the open dialog's preview, a memory-dot tooltip), so SetPixelV on the
// window's device context is fast enough and needs no bitmap of our own.
#include <windows.h>

#include "files/thumbnails.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"
#include "plugin/rect16.h"

void PaintThumbnail(PluginGlobals *globals, void *window, const Rect16 *rect) {
  if (ThumbnailImage(globals) == nullptr || window == nullptr || rect == nullptr) return;
  if (globals->thumbnailWidth == 0 || globals->thumbnailHeight == 0) return;
  int32_t width = rect->right - rect->left;
  int32_t height = rect->bottom - rect->top;
  if (width <= 0 || height <= 0) return;
  HWND hwnd = static_cast<HWND>(window);
  HDC dc = GetDC(hwnd);
  if (dc == nullptr) return;

  // A rectangle of the control's size centred on the control: the picture fills it.
  Rect16 area = {0, 0, int16_t(height), int16_t(width)};
  CenterRect16On(&area, rect);
  TiledMipImage picture;
  BindScratchImage(globals, &picture);
  if (CreateImage(&picture, width, height, kFormatPacked8, 0)) {
    CopyThumbnailTo(globals, &picture);
    for (int32_t y = 0; y < height; y++) {
      for (int32_t x = 0; x < width; x++) {
        int32_t r, g, b, a;
        GetPixelPacked8(x, y, &picture, 0, &r, &g, &b, &a);
        SetPixelV(dc, area.left + x, area.top + y, RGB(r, g, b));
      }
    }
    FreeImageTiles(&picture);
  }
  ReleaseDC(hwnd, dc);
}
