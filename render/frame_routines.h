// frame_routines.h -- the plug-in frame's small queries that the renderer calls per row and per
// pixel: the size of the render target, the host's selection mask, the layer's transparency, and
// the angle of a point seen from a rectangle's centre (the light and axis azimuths).
//
// They read the filter record and the run state only, so they stay portable; the native tests
// drive them through an in-memory filter record.
#ifndef KIVAGLOBE_RENDER_FRAME_ROUTINES_H
#define KIVAGLOBE_RENDER_FRAME_ROUTINES_H

#include <cstdint>

#include "plugin/host_interface.h"

struct PluginGlobals;

// Width and height of the render target: the filter record's outRect, or, when renderTarget is
// 2, level 0 of the export image that the run state designates (0 when there is none).
int32_t TargetWidth(const PluginGlobals *globals);
int32_t TargetHeight(const PluginGlobals *globals);

// The host's selection-mask byte at (x, y) of the current request, x and y relative to the
// filter rectangle: 0 outside columnFirst..columnLast and rowFirst..rowLast, 255 when the host
// has no mask, 0 for a row outside the requested mask rows (maskRowFirst..maskRowLast).
int32_t GetMaskValue(int32_t x, int32_t y, const PluginGlobals *globals);

// The host's filter case is editable transparency (4 or 5).
bool HasEditableTransparency(const PluginGlobals *globals);

// The angle in whole degrees 0..359 of `point` seen from the centre of `rect`, measured with the
// rectangle's aspect: 0 straight up, 90 to the right, 180 down, 270 to the left.
void RectCenterAngle(const Rect16 *rect, HostPoint point, int32_t *angle);

#endif  // KIVAGLOBE_RENDER_FRAME_ROUTINES_H
