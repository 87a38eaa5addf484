// progress_box_posix.cpp -- the progress box without windows: the job runs at once, and the
// button's text is kept for the tests to read.
#include <cstring>

#include "files/progress_box.h"

static bool gBoxOpen = false;
static char gBoxText[32] = "";

int16_t RunProgressBox(PluginGlobals *globals) {
  gBoxOpen = true;
  std::strcpy(gBoxText, "0%");
  globals->runState->jobCancel = 0;
  const int16_t result = RunProgressJob(globals);
  gBoxOpen = false;
  return result;
}

bool ProgressBoxOpen() { return gBoxOpen; }
void BringProgressBoxToTop() {}
void PumpProgressBox() {}
void *ProgressBoxWindow() { return nullptr; }
const char *ProgressBoxText() { return gBoxText; }

void SetProgressBoxText(const char *text) {
  std::strncpy(gBoxText, text, sizeof gBoxText - 1);
  gBoxText[sizeof gBoxText - 1] = 0;
}
