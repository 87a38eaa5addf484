// control_geometry.cpp -- slider, ball and hit-test geometry (see control_geometry.h).
#include "dialog/control_geometry.h"

#include <cmath>

#include "dialog/control_values.h"

int32_t SliderThumbPosition(const LayoutRect &r, int32_t value, int32_t minValue, int32_t maxValue) {
  int32_t range = maxValue - minValue;
  if (range < 1) range = 1;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (width >= height) return r.left + 1 + (value - minValue) * (width - 15) / range;
  return r.bottom - 14 - (value - minValue) * (height - 15) / range;
}

int32_t SliderValueAt(const LayoutRect &r, int32_t x, int32_t y, int32_t minValue, int32_t maxValue) {
  int32_t range = maxValue - minValue;
  if (range < 1) range = 1;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  x -= 4;
  int32_t value;
  if (width >= height) {
    const int32_t span = width - 14 > 0 ? width - 14 : 1;
    value = minValue + (x - (r.left + 1)) * range / span;
  } else {
    const int32_t span = height - 12 > 0 ? height - 12 : 1;
    value = maxValue - (y - (r.top + 1)) * range / span;
  }
  if (value < minValue) value = minValue;
  if (value > maxValue) value = maxValue;
  return value;
}

BallDrawing DirectionBallDrawing(const LayoutRect &r, const float v[3]) {
  BallDrawing d;
  d.tipX = r.left + 42 + int32_t(33.0f * v[0]);
  d.tipY = r.top + 41 + int32_t(33.0f * v[1]);
  d.startX = r.left + 41 + int32_t((33.0f * v[0] + 0.5f) / 2.9f);
  d.startY = r.top + 40 + int32_t((33.0f * v[1] + 0.5f) / 2.9f);
  d.lineColor = v[2] >= 0.0f ? 0x00FFFFu : 0xFF00FFu;
  return d;
}

void DirectionBallVectorAt(const LayoutRect &r, int32_t x, int32_t y, bool ctrl, float v[3]) {
  const float dx = float(x - r.left - 43);
  const float dy = float(y - r.top - 41);
  float radius = std::sqrt(dx * dx + dy * dy);
  if (radius < 33.0f) radius = 33.0f;
  float vx = dx / radius, vy = dy / radius;
  if (ctrl) vx = vy = 0.0f;
  const float rest = 1.0f - vx * vx - vy * vy;
  float vz = std::sqrt(rest > 0.0f ? rest : 0.0f);
  const float length = std::sqrt(vx * vx + vy * vy + vz * vz);
  if (length != 0.0f) {
    vx /= length;
    vy /= length;
    vz /= length;
  }
  v[0] = vx;
  v[1] = vy;
  v[2] = vz;
}

int HitTestControls(void *dialog, int32_t x, int32_t y, const PluginGlobals *globals, ControlRectProc rectOf) {
  for (int id = 0; id < kControlIdCount; id++) {
    if (!IsControlEnabled(globals, id)) continue;
    const int32_t kind = GetControlKind(id);
    const bool tracked = id == kIdPreview || kind == 0 || kind == 9 || kind == 10 || kind == 14 || kind == 17 ||
                         kind == 18 || kind == 19 || kind == 23 || kind == 25 || kind == 26;
    if (!tracked) continue;
    LayoutRect r;
    if (!rectOf(dialog, id, &r)) continue;
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return id;
  }
  return -1;
}

bool LayoutControlRect(void *, int id, LayoutRect *r) {
  *r = GetDialogLayoutRect(id);
  return r->right > r->left && r->bottom > r->top;
}

uint32_t Rgb16ToColorRef(const uint16_t rgb[3]) {
  return uint32_t(rgb[0] >> 8) | (uint32_t(rgb[1] >> 8) << 8) | (uint32_t(rgb[2] >> 8) << 16);
}

void ColorRefToRgb16(uint32_t colorRef, uint16_t rgb[3]) {
  rgb[0] = uint16_t((colorRef & 0xFF) << 8);
  rgb[1] = uint16_t(((colorRef >> 8) & 0xFF) << 8);
  rgb[2] = uint16_t(((colorRef >> 16) & 0xFF) << 8);
}
