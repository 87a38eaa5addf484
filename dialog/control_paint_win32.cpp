// control_paint_win32.cpp -- the painters, the swatches, the background and the cursors (see
// control_paint.h).
//
// Every GDI object made here is released: the bitmaps and the font live from the dialog's
// start to its end (ReleaseDialogPictures), pens, brushes and memory contexts only for the
// one drawing that needs them, and every device context fetched is given back.
#include <windows.h>

#include <cstring>

#include "dialog/control_geometry.h"
#include "dialog/control_paint.h"
#include "dialog/control_values.h"
#include "dialog/dialog_hooks.h"
#include "plugin/globals.h"
#include "plugin/host_utils.h"

namespace {

PluginGlobals *gRunningGlobals = nullptr;

// The pictures the painters draw, by resource id.
constexpr int kPictureIds[] = {kTrackBitmapA, kTrackBitmapB, kThumbBitmap, kBallBitmap, kBackgroundBitmap,
                               202, 203, 208, 210, 211, 212, 213, 214, 215, 216, 217};
constexpr int kPictureCount = sizeof kPictureIds / sizeof kPictureIds[0];
HBITMAP gPictures[kPictureCount];
HFONT gFont = nullptr;
HICON gTipIcon = nullptr;
constexpr int kMaxKeptIcons = 32;
HICON gKeptIcons[kMaxKeptIcons];
int gKeptIconCount = 0;
int gCursorState = 0;   // 0 arrow, 2 panning, 3 preview, 4 wait

HINSTANCE Module() { return static_cast<HINSTANCE>(gModuleInstance); }

HBITMAP Picture(int id) {
  for (int i = 0; i < kPictureCount; i++)
    if (kPictureIds[i] == id) return gPictures[i];
  return nullptr;
}

// The bitmap at (x, y) in its own size; false when there is no such picture.
bool DrawPicture(HDC dc, int id, int x, int y) {
  HBITMAP bitmap = Picture(id);
  if (bitmap == nullptr) return false;
  BITMAP info;
  if (GetObjectA(bitmap, sizeof info, &info) == 0) return false;
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return false;
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  return true;
}

void FillColor(HDC dc, const RECT &r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// Top and left edges in one colour, bottom and right in another (one pixel each).
void DrawBevel(HDC dc, const RECT &r, COLORREF topLeft, COLORREF bottomRight) {
  FillColor(dc, RECT{r.left, r.top, r.right, r.top + 1}, topLeft);
  FillColor(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, topLeft);
  FillColor(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
  FillColor(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

void FrameColor(HDC dc, const RECT &r, COLORREF color) { DrawBevel(dc, r, color, color); }

RECT ToRect(const LayoutRect &r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// The part of the background picture behind a control.
void PaintBackgroundPatch(HDC dc, const RECT &r) {
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  if (!DrawPicture(dc, kBackgroundBitmap, 0, 0)) FillColor(dc, r, RGB(255, 255, 255));
  RestoreDC(dc, saved);
}

// Text in the dialog's 8-point Arial: mode 0 left, 1 centred, 2 right; a 14-pixel line centred
// in the rectangle.
void DrawControlText(RECT r, int mode, const char *text, int verticalOffset, COLORREF color, HDC dc) {
  HGDIOBJ oldFont = gFont != nullptr ? SelectObject(dc, gFont) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  r.bottom -= 2;
  OffsetRect(&r, 0, verticalOffset + ((r.bottom - r.top) - 14) / 2);
  const int length = int(std::strlen(text));
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text, length, &size);
  int x = r.left;
  if (mode == 2) x += (r.right - r.left) - size.cx;
  if (mode == 1) x += ((r.right - r.left) - size.cx) / 2;
  TextOutA(dc, x, r.top, text, length);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
}

void PaintLabel(HDC dc, int id, const RECT &r, PluginGlobals *globals) {
  PaintBackgroundPatch(dc, r);
  const int32_t alignment = GetLabelAlignment(id);
  const int mode = alignment == kAlignLeft ? 0 : (alignment == kAlignRight ? 2 : 1);
  const COLORREF color = IsControlEnabled(globals, id) ? RGB(0, 0, 0) : RGB(0x8C, 0x8C, 0x8C);
  DrawControlText(r, mode, GetUiString(GetLabelStringId(id)), -2, color, dc);
}

void PaintSettingsName(HDC dc, const RECT &r, PluginGlobals *globals) {
  PaintBackgroundPatch(dc, r);
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  char name[kParameterTextSize];
  std::memcpy(name, p->settingsName, sizeof name);
  name[sizeof name - 1] = 0;
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  RECT t = r;
  t.left += 1;
  if (gFont != nullptr) SelectObject(dc, gFont);
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, name, int(std::strlen(name)), &size);
  if (size.cx <= t.right - t.left) {
    DrawControlText(t, 1, name, -2, RGB(0, 0, 0), dc);
  } else {
    // A name wider than the label starts at its left edge and ends in "...", rather than
    // being centred and cut at both ends. The line is placed as DrawControlText places it.
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    t.bottom -= 2;
    OffsetRect(&t, 0, -2 + ((t.bottom - t.top) - 14) / 2);
    DrawTextA(dc, name, -1, &t, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  RestoreDC(dc, saved);
}

void PaintSlider(HDC dc, int id, const LayoutRect &lr, PluginGlobals *globals) {
  const bool enabled = IsControlEnabled(globals, id);
  const RECT r = ToRect(lr);
  const int32_t track = gControlTables.bitmapId[id];
  bool drawn = false;
  if (enabled && track > 0) drawn = DrawPicture(dc, track, r.left, r.top);
  if (!drawn) {
    const RECT box = {r.left, r.top, r.right - 2, r.top + 11};
    if (enabled) {
      FillColor(dc, box, 0xFFDEDE);
      FrameColor(dc, box, RGB(0, 0, 0));
      const RECT inner = {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
      DrawBevel(dc, inner, 0x8C8C8C, RGB(255, 255, 255));
    } else {
      FillColor(dc, box, 0xDEDEDE);
      FrameColor(dc, box, 0x8C8C8C);
    }
  }
  if (!enabled) return;
  const int32_t value = gControlTables.value[id];
  const int32_t position = SliderThumbPosition(lr, value, gControlTables.minValue[id], gControlTables.maxValue[id]);
  const bool horizontal = (r.right - r.left) >= (r.bottom - r.top);
  const int x = horizontal ? position : r.left + 1;
  const int y = horizontal ? r.top + 1 : position;
  if (!DrawPicture(dc, kThumbBitmap, x, y)) {
    const RECT thumb = {x, y, x + 12, y + 10};
    FillColor(dc, thumb, RGB(0x30, 0x30, 0x30));
  }
}

void PaintDirectionBall(HDC dc, int id, const LayoutRect &lr, PluginGlobals *globals) {
  const bool enabled = IsControlEnabled(globals, id);
  const RECT r = ToRect(lr);
  const int32_t picture = enabled ? gControlTables.bitmapId[id] : gControlTables.spareBitmapId[id];
  if (!(picture > 0 && DrawPicture(dc, picture, r.left, r.top))) {
    PaintBackgroundPatch(dc, r);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
  }
  if (!enabled) return;
  float v[3];
  GetControlVector(id, v);
  const BallDrawing d = DirectionBallDrawing(lr, v);
  HPEN pen = CreatePen(PS_SOLID, 1, d.lineColor);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  MoveToEx(dc, d.startX, d.startY, nullptr);
  LineTo(dc, d.tipX, d.tipY);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  if (gTipIcon != nullptr) {
    DrawIconEx(dc, d.tipX - 2, d.tipY - 2, gTipIcon, 0, 0, 0, nullptr, DI_NORMAL);
  } else {
    FillColor(dc, RECT{d.tipX - 2, d.tipY - 2, d.tipX + 3, d.tipY + 3}, d.lineColor);
  }
}

// A dot without the memory dots' own painter: the empty face, pressed or not, 2 pixels down.
void PaintPlainDot(HDC dc, int id, const RECT &r) {
  const bool pressed = (gControlTables.value[id] & kPressedBit) != 0;
  DrawPicture(dc, pressed ? 210 : 203, r.left, r.top + 2);
}

// The swatch: a raised face (sunken when disabled), the colour inside, focus marks.
void DrawColorSwatch(HDC dc, RECT r, const uint16_t rgb[3], UINT state) {
  const bool focused = (state & ODS_FOCUS) != 0;
  if (state & ODS_DISABLED) {
    FrameColor(dc, r, 0x8C8C8C);
    FillColor(dc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, 0xDEDEDE);
  } else {
    RECT face = r;
    if (focused) {
      FrameColor(dc, face, RGB(0, 0, 0));
      InflateRect(&face, -1, -1);
    }
    if (state & ODS_SELECTED) {
      FrameColor(dc, face, RGB(0, 0, 0));
      InflateRect(&face, -1, -1);
      FrameColor(dc, face, 0x808080);
    } else {
      DrawBevel(dc, face, 0xF0F0F0, RGB(0, 0, 0));
      InflateRect(&face, -1, -1);
      DrawBevel(dc, face, RGB(255, 255, 255), 0x808080);
    }
    InflateRect(&face, -1, -1);
    FillColor(dc, face, 0xDEDEDE);
  }
  RECT inside = r;
  if (focused) {
    inside = RECT{r.left + 3, r.top + 3, r.right - 4, r.bottom - 4};
  } else {
    InflateRect(&inside, -2, -2);
  }
  FillColor(dc, inside, Rgb16ToColorRef(rgb));
  if (focused) {
    RECT focus = {r.left + 4, r.top + 4, r.right - 5, r.bottom - 5};
    DrawFocusRect(dc, &focus);
  }
}

}  // namespace

PluginGlobals *RunningDialogGlobals() { return gRunningGlobals; }
void SetRunningDialogGlobals(PluginGlobals *globals) { gRunningGlobals = globals; }

void LoadDialogPictures() {
  ReleaseDialogPictures();
  for (int i = 0; i < kPictureCount; i++)
    gPictures[i] = static_cast<HBITMAP>(LoadImageA(Module(), MAKEINTRESOURCEA(kPictureIds[i]), IMAGE_BITMAP, 0, 0, 0));
  gTipIcon = static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(kBallTipIcon), IMAGE_ICON, 0, 0, 0));
  // 8 points at 96 dots per inch.
  gFont = CreateFontA(-MulDiv(8, 96, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
}

void KeepDialogIcon(void *icon) {
  if (icon == nullptr) return;
  if (gKeptIconCount < kMaxKeptIcons) {
    gKeptIcons[gKeptIconCount++] = static_cast<HICON>(icon);
  } else {
    DestroyIcon(static_cast<HICON>(icon));
  }
}

void ReleaseDialogPictures() {
  for (HBITMAP &bitmap : gPictures) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = nullptr;
  }
  if (gFont != nullptr) DeleteObject(gFont);
  gFont = nullptr;
  if (gTipIcon != nullptr) DestroyIcon(gTipIcon);
  gTipIcon = nullptr;
  for (int i = 0; i < gKeptIconCount; i++) DestroyIcon(gKeptIcons[i]);
  gKeptIconCount = 0;
}

bool GetControlClientRect(void *dialog, int id, LayoutRect *out) {
  HWND item = GetDlgItem(static_cast<HWND>(dialog), id);
  if (item == nullptr) return false;
  RECT r;
  GetWindowRect(item, &r);
  MapWindowPoints(nullptr, static_cast<HWND>(dialog), reinterpret_cast<POINT *>(&r), 2);
  *out = LayoutRect{r.left, r.top, r.right, r.bottom};
  return true;
}

void PaintControlOn(void *context, int id, void *dialog, PluginGlobals *globals) {
  if (dialog == nullptr || globals == nullptr || id < 0 || id >= kControlIdCount) return;
  LayoutRect lr;
  if (!GetControlClientRect(dialog, id, &lr)) return;
  HDC dc = static_cast<HDC>(context);
  const bool own = dc == nullptr;
  if (own) dc = GetDC(static_cast<HWND>(dialog));
  if (dc == nullptr) return;
  const RECT r = ToRect(lr);
  const int32_t kind = GetControlKind(id);
  if (id == kIdZoomLabel) {
    // A plain push button: Windows draws it.
  } else if (id == kIdSettingsName) {
    PaintSettingsName(dc, r, globals);
  } else if (id == kIdDotThumbnail) {
    DrawPicture(dc, 217, r.left, r.top);
    // The shown memory dot's picture over the background.
    if (gDialogHooks.paintMemoryDot != nullptr) gDialogHooks.paintMemoryDot(globals, dialog, dc, id, 0);
  } else if (kind == kKindSlider) {
    PaintSlider(dc, id, lr, globals);
  } else if (kind == kKindLabel) {
    PaintLabel(dc, id, r, globals);
  } else if (kind == kKindBackground) {
    PaintBackgroundPatch(dc, r);
  } else if (kind == kKindMemoryDot) {
    if (gDialogHooks.paintMemoryDot != nullptr) {
      gDialogHooks.paintMemoryDot(globals, dialog, dc, id, gControlTables.value[id]);
    } else {
      PaintPlainDot(dc, id, r);
    }
  } else if (kind == kKindDirectionBall) {
    PaintDirectionBall(dc, id, lr, globals);
  }
  if (id > 0 && kind == kKindColorSwatch) {
    // The swatches are drawn the same way when the program repaints them as when Windows asks.
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = UINT(id);
    item.hDC = dc;
    item.rcItem = r;
    if (!IsWindowEnabled(GetDlgItem(static_cast<HWND>(dialog), id))) item.itemState |= ODS_DISABLED;
    MainDialogDrawItem(dialog, id, &item, globals);
  }
  if (own) ReleaseDC(static_cast<HWND>(dialog), dc);
}

void PaintControl(int id, void *dialog, PluginGlobals *globals) { PaintControlOn(nullptr, id, dialog, globals); }

void PaintAllControls(void *context, void *dialog, PluginGlobals *globals) {
  for (int id = 0; id < kControlIdCount; id++) PaintControlOn(context, id, dialog, globals);
}

void RepaintControl(void *dialog, int id) {
  if (gRunningGlobals == nullptr || dialog == nullptr) return;
  PaintControl(id, dialog, gRunningGlobals);
}

bool MainDialogDrawItem(void *dialog, int id, const void *drawItem, PluginGlobals *globals) {
  const int32_t kind = GetControlKind(id);
  if (kind == kKindPushButton || kind == kKindReserved5 || kind == kKindIconButton) return false;
  if (kind != kKindColorSwatch) return true;
  const auto *item = static_cast<const DRAWITEMSTRUCT *>(drawItem);
  uint16_t rgb[3];
  GetControlColor(id, rgb);
  RECT r = item->rcItem;
  // Windows hands the item's own context and rectangle; the program's repaint the dialog's.
  if (item->hwndItem != nullptr) GetClientRect(item->hwndItem, &r);
  DrawColorSwatch(item->hDC, r, rgb, item->itemState);
  (void)dialog;
  (void)globals;
  return true;
}

void PaintDialogBackground(void *dialog, void *context, bool erase) {
  HDC dc = static_cast<HDC>(context);
  RECT client;
  GetClientRect(static_cast<HWND>(dialog), &client);
  if (erase) FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawPicture(dc, kBackgroundBitmap, 0, 0);
}

void SetWaitCursor() {
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  gCursorState = 4;
}

void RestoreArrowCursor() {
  if (gCursorState == 0) return;
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  gCursorState = 0;
}

void SetPanCursor() {
  HCURSOR cursor = LoadCursorA(Module(), MAKEINTRESOURCEA(kPanCursorId));
  SetCursor(cursor != nullptr ? cursor : LoadCursorA(nullptr, IDC_SIZEALL));
  gCursorState = 2;
}

void SetPreviewCursor() {
  HCURSOR cursor = LoadCursorA(Module(), MAKEINTRESOURCEA(kPreviewCursorId));
  SetCursor(cursor != nullptr ? cursor : LoadCursorA(nullptr, IDC_CROSS));
  gCursorState = 3;
}
