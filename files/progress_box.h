// progress_box.h -- the export progress box: a small modal box, "RUVIZ_PROGRESS", whose one
// button shows how far a long export is and stops it when pressed. The box starts its job
// from a one-shot timer, so that it is on screen before the work begins, and closes itself when
// the job ends.
//
// While the box is open it is the exports' progress report (gExportProgressProc) and their
// cancel (gExportBoxHooks): the row loop tells it every row, and it answers the clicks on its
// button between rows. Without windows (progress_box_posix.cpp) the "box" is a text and a flag,
// and the job runs at once.
#ifndef KIVAGLOBE_FILES_PROGRESS_BOX_H
#define KIVAGLOBE_FILES_PROGRESS_BOX_H

#include <cstdint>

#include "foundation/file_locations.h"
#include "plugin/globals.h"

// The box's jobs.
enum : uint32_t {
  kJobLayeredDocument = 2,   // ExportLayersPsd
  kJobFlatJpeg = 5,          // ExportRenderJpeg
};

constexpr int kProgressButton = 2;          // the button that shows the percentage
constexpr uint32_t kProgressTimer = 993;    // starts the job
constexpr uint32_t kProgressDelayMs = 1000;
constexpr int16_t kProgressStopped = 199;   // cancelled, or a box is open already

// Runs `job` on `spec` inside the box. *cancelled is cleared first; when a box is open already
// it is brought to the top and the result is 199. Otherwise the result is 199 with *cancelled
// set when the user cancelled, else the job's own result (0 when the file was written).
int16_t RunProgressDialog(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelled, uint32_t job);

// When a box is open: its button reads "Cancelling..." and the job's cancel flag is set.
void RequestCancel(PluginGlobals *globals);

// When a box is open: its button shows the percentage of the export and the box comes to the
// top; the clicks waiting for the box are answered.
void ShowProgressPercent(PluginGlobals *globals, int32_t done, int32_t total, int32_t layerCount);

// ((layer x total + done) x 100) / (layerCount x total) in 32-bit integers; 0 when the
// divisor is not positive, and never above 100.
int32_t ProgressPercent(int32_t layer, int32_t done, int32_t total, int32_t layerCount);

// Runs the job stored in the run state with the run's cancel flag (the box's timer does this).
int16_t RunProgressJob(PluginGlobals *globals);

// The flat JPEG export (job 5): the current output mode rendered at the filter rectangle's
// size and written with our metadata. -99 when the image cannot be made, 199 when cancelled,
// else the open or write result; only a 0 leaves a file.
int16_t ExportRenderJpeg(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag);

// ---- The platform's box (progress_box_win32.cpp, progress_box_posix.cpp) ----

// Shows the box modally and returns the job's result once it has closed.
int16_t RunProgressBox(PluginGlobals *globals);
bool ProgressBoxOpen();
void BringProgressBoxToTop();
// Sets the button's text (only when it changed) and answers the box's waiting messages.
void SetProgressBoxText(const char *text);
void PumpProgressBox();
// The open box's window (null when none, and always natively), and its button's text.
void *ProgressBoxWindow();
const char *ProgressBoxText();

#endif  // KIVAGLOBE_FILES_PROGRESS_BOX_H
