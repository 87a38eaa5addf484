// psd_box_shots.h -- pictures of the export progress box while it works (Windows programs).
//
// StartBoxShots makes the host's abort test the observer: on the host's thread, between two
// rows, it saves the box as DIR/box_half.bmp once the button shows 50% or more, then presses the
// button, lets the box answer the click and saves it again as DIR/box_cancel.bmp. StopBoxShots
// takes the observer away and returns what went wrong ("" when both pictures were taken, and the
// button read "Cancelling..." after the click).
#ifndef KIVAGLOBE_TESTS_FILES_PSD_BOX_SHOTS_H
#define KIVAGLOBE_TESTS_FILES_PSD_BOX_SHOTS_H

#include <string>

#include "plugin/host_interface.h"

void StartBoxShots(FilterRecord *record, const std::string &dir);
std::string StopBoxShots();

#endif  // KIVAGLOBE_TESTS_FILES_PSD_BOX_SHOTS_H
