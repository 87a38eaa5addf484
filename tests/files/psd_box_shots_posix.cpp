// psd_box_shots_posix.cpp -- natively there is no box to picture.
#include "tests/files/psd_box_shots.h"

void StartBoxShots(FilterRecord *, const std::string &) {}
std::string StopBoxShots() { return "no box without windows"; }
