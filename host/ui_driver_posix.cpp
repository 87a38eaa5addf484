// ui_driver_posix.cpp -- the native twin of ui_driver_win32.cpp: no dialog can open here, so a
// script never runs (FinishUiDriver then reports its steps as not done) and nothing is painted.
#include "host/ui_driver.h"

void BeginUiDriverCall(HostSession *) {}
void EndUiDriverCall(HostSession *) {}
void PaintDisplayedImage(void *, const HostImage &, int32_t, int32_t) {}
