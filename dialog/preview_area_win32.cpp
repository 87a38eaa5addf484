// preview_area_win32.cpp -- the preview's frame and picture (see preview_area.h).
#include <windows.h>

#include "dialog/control_ids.h"
#include "dialog/control_table.h"
#include "dialog/preview_area.h"
#include "dialog/preview_zoom.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"
#include "plugin/host_utils.h"
#include "plugin/preview.h"
#include "plugin/rect16.h"
#include "render/composite.h"

void GetPreviewItemRect(void *dialog, Rect16 *out) {
  RECT r;
  HWND item = GetDlgItem(static_cast<HWND>(dialog), kIdPreview);
  if (item != nullptr) {
    GetWindowRect(item, &r);
    MapWindowPoints(nullptr, static_cast<HWND>(dialog), reinterpret_cast<POINT *>(&r), 2);
  } else {
    const LayoutRect l = GetDialogLayoutRect(kIdPreview);
    r = RECT{l.left, l.top, l.right, l.bottom};
  }
  SetRect16(out, int16_t(r.left), int16_t(r.top), int16_t(r.right), int16_t(r.bottom));
}

bool ShowPreviewRect(PluginGlobals *globals, const HostPixelMap *source, const HostVRect *sourceRect, int32_t left,
                     int32_t top, void *context) {
  FilterRecord *record = globals->filterRecord;
  if (!HostDisplayPixelsAvailable(record->displayPixels) || source->baseAddr == nullptr) return true;
  HostPixelMap map = *source;
  if (map.bounds.left > map.bounds.right) {
    const int32_t swap = map.bounds.left;
    map.bounds.left = map.bounds.right;
    map.bounds.right = swap;
  }
  const DeepConversion plan = PlanDeepConversion(map, record->depth);
  HostBufferID buffer = nullptr;
  void *converted = nullptr;
  if (plan.bytes > 0) {
    converted = AllocHostBuffer(plan.bytes, &buffer, record->bufferProcs);
    if (converted == nullptr) return false;   // no buffer: nothing shown
    ConvertDeepPixels(map, plan, static_cast<uint8_t *>(converted));
    map.baseAddr = converted;
    map.imageMode = plan.imageMode;
    map.rowBytes = plan.rowBytes;
    map.colBytes /= plan.sampleBytes;
    map.planeBytes = 1;
  }
  record->displayPixels(&map, sourceRect, top, left, context);
  if (converted != nullptr) FreeHostBuffer(&converted, &buffer, record->bufferProcs);
  return true;
}

// Where the last picture was drawn. A picture of another size or place (after a zoom, or a
// pan that reached an edge) leaves the old one's margin on the screen unless that is painted
// over, as it is when the place changes, whatever the caller asked for.
static RECT gShownPlace = {0, 0, 0, 0};

// Why the last preview render made no picture; null after one that did. The output buffer
// then holds nothing worth showing (black, or the picture of other settings), so the preview
// area says so instead, until a render succeeds.
static const char *gPreviewNotice = nullptr;
static bool gNoticeShown = false;

void RenderPreviewOrNotice(PluginGlobals *globals) {
  // Rows drawn while this render runs are its own, not a notice of the last one.
  gPreviewNotice = nullptr;
  UpdatePreviewImage(globals);
  const int16_t result = GetResult(globals);
  gPreviewNotice = PreviewNotice(result);
  // The failure is told on screen; the dialog goes on, and the next edit tries again. (OK and
  // Cancel write the result the host gets.)
  if (result != kResultOk) SetResult(globals, kResultOk);
}

// One line of text in the middle of the frame, in the dialog's font.
static void DrawPreviewNotice(HWND window, HDC dc, const Rect16 &frame, const char *text) {
  RECT inside = {frame.left, frame.top, frame.right, frame.bottom};
  FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const int saved = SaveDC(dc);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  if (font != nullptr) SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  InflateRect(&inside, -8, 0);
  DrawTextA(dc, text, -1, &inside, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  RestoreDC(dc, saved);
}

void DrawPreviewFrame(PluginGlobals *globals, void *dialog, bool erase, void *context) {
  if (dialog == nullptr) return;
  HWND window = static_cast<HWND>(dialog);
  HDC dc = static_cast<HDC>(context);
  const bool own = dc == nullptr;
  if (own) dc = GetDC(window);
  if (dc == nullptr) return;
  Rect16 frame;
  GetPreviewItemRect(dialog, &frame);
  InsetRect16(&frame, 2, 2);
  // The one-pixel black frame just outside the inset rectangle.
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RECT edge = {frame.left - 1, frame.top - 1, frame.right + 1, frame.bottom + 1};
  FrameRect(dc, &edge, black);

  FilterRecord *record = globals->filterRecord;
  const Rect16 &out = record->outRect;
  const int32_t width = out.right - out.left, height = out.bottom - out.top;
  int32_t left, top;
  PreviewImageOrigin(frame, width, height, &left, &top);
  const char *notice = gPreviewNotice;
  const bool showable = notice == nullptr && record->outData != nullptr && width > 0 && height > 0;
  if (showable) {
    HostPixelMap map = {};
    map.version = 1;
    map.bounds = HostVRect{out.top, out.left, out.bottom, out.right};
    map.imageMode = record->imageMode;
    map.rowBytes = record->outRowBytes;
    // Deep samples are 2 or 4 bytes each; the conversion makes them one.
    const ChannelClass channels = HostChannelClass(record);
    const int32_t sampleBytes = channels == kChannelClass16 ? 2 : (channels == kChannelClassFloat ? 4 : 1);
    map.colBytes = (record->outHiPlane - record->outLoPlane + 1) * sampleBytes;
    map.planeBytes = sampleBytes;
    map.baseAddr = record->outData;
    if (!ShowPreviewRect(globals, &map, &map.bounds, left, top, dc)) notice = kPreviewLowMemoryNotice;
  }
  const RECT place = showable && notice == nullptr ? RECT{left, top, left + width, top + height} : RECT{0, 0, 0, 0};
  // A notice on screen is painted over by whatever comes next, picture or not.
  if (!EqualRect(&place, &gShownPlace) || gNoticeShown) erase = true;
  gShownPlace = place;
  gNoticeShown = notice != nullptr;
  if (notice != nullptr) {
    DrawPreviewNotice(window, dc, frame, notice);
  } else if (erase) {
    const int saved = SaveDC(dc);
    if (showable) ExcludeClipRect(dc, left, top, left + width, top + height);
    RECT inside = {frame.left, frame.top, frame.right, frame.bottom};
    FillRect(dc, &inside, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RestoreDC(dc, saved);
  }
  if (own) ReleaseDC(window, dc);
}
