// control_geometry.h -- the geometry of the program-drawn controls: where a slider's thumb
// sits and which value a drag point gives, the direction ball's drawing and dragging, the hit
// test that turns a mouse point into a control id, and the colour conversions of the swatches.
#ifndef KIVAGLOBE_DIALOG_CONTROL_GEOMETRY_H
#define KIVAGLOBE_DIALOG_CONTROL_GEOMETRY_H

#include <cstdint>

#include "dialog/control_table.h"

struct PluginGlobals;

// Thumb of a slider at `value` in [minValue, maxValue]: the left edge of a horizontal slider
// (at least as wide as high), the top edge of a vertical one.
int32_t SliderThumbPosition(const LayoutRect &r, int32_t value, int32_t minValue, int32_t maxValue);

// The value a drag to dialog point (x, y) gives (the grab point lies 4 pixels inside the
// thumb), clamped to [minValue, maxValue]. Points left of the dialog are negative, not huge.
int32_t SliderValueAt(const LayoutRect &r, int32_t x, int32_t y, int32_t minValue, int32_t maxValue);

// The ball's drawing for vector (x, y, z): the tip, the start of the line, and the line's
// colour (COLORREF): yellow when the vector points to the viewer (z >= 0), magenta otherwise.
struct BallDrawing {
  int32_t tipX, tipY;
  int32_t startX, startY;
  uint32_t lineColor;
};
BallDrawing DirectionBallDrawing(const LayoutRect &r, const float v[3]);

// The unit vector a drag to (x, y) gives; with Ctrl held it points straight at the viewer.
// z is never negative.
void DirectionBallVectorAt(const LayoutRect &r, int32_t x, int32_t y, bool ctrl, float v[3]);

// A control's rectangle in dialog client coordinates; false when the item does not exist.
typedef bool (*ControlRectProc)(void *dialog, int id, LayoutRect *r);

// The first id (lowest first) that is enabled, is the preview or of a kind the dialog tracks
// itself (sliders, balls, dots, thumbnail ...) and contains the point; -1 none.
int HitTestControls(void *dialog, int32_t x, int32_t y, const PluginGlobals *globals, ControlRectProc rectOf);

// A control's rectangle from the layout table (the rectangle of a control placed by it).
bool LayoutControlRect(void *dialog, int id, LayoutRect *r);

// RGB48 to COLORREF (0x00BBGGRR) by the high byte of each word, and back with the byte in the
// high half of its word.
uint32_t Rgb16ToColorRef(const uint16_t rgb[3]);
void ColorRefToRgb16(uint32_t colorRef, uint16_t rgb[3]);

#endif  // KIVAGLOBE_DIALOG_CONTROL_GEOMETRY_H
