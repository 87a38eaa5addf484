// ui_driver.h -- the stand-in host drives a plug-in's dialog as a person would.
//
// --ui FILE and --ui-step "STEP" give a script of steps, one a line:
//
//   type ID TEXT      replace the text of control ID (an edit) with TEXT, as typed
//   click ID          a left click in the middle of control ID (a button: its click)
//   rclick ID         a right click in the middle of control ID
//   drag ID DX DY     press in the middle of control ID, move by DX, DY pixels, release
//   hold ID DX DY     the same press and moves, with the button still held afterwards
//   release           let go of the button that "hold" holds, where the mouse is
//   press ID          the command of button ID, as if it had been clicked
//   select ID INDEX   choose entry INDEX (0 is the first) of the drop-down list ID
//   wait-preview      wait until a typed change has had its delayed preview and the
//                     plug-in has stopped showing pixels
//   sleep MS          wait MS milliseconds
//   shot FILE.png     a picture of the dialog window, as it is on the screen
//   read ID           print the text of control ID in the host's report:
//                     UI text ID "TEXT"
//   wait-for ID       wait, up to ten minutes, until the topmost dialog holds control ID:
//                     a long job's box in front of it has closed
//   ok, cancel        press the dialog's OK or Cancel button
//
// Blank lines and lines starting with '#' are skipped. Steps act on the topmost dialog of the
// host's thread: a colour picker that a click opened gets the steps that follow it.
//
// The steps run inside the host's own process while the plug-in's modal dialog runs: before
// each call of the plug-in the host starts a thread timer, which the dialog's modal loop
// dispatches; each tick runs the next step. Mouse and button steps are posted, so they reach
// the dialog through its message loop as a person's would, and no window manager is needed.
// A step that cannot be done (no such control, ten seconds without the control appearing, a
// picture that cannot be written) fails the run: the host cancels the open dialogs and exits
// with status 2.
#ifndef KIVAGLOBE_HOST_UI_DRIVER_H
#define KIVAGLOBE_HOST_UI_DRIVER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/document.h"

enum UiStepKind : int32_t {
  kUiType,
  kUiClick,
  kUiRightClick,
  kUiDrag,
  kUiPress,
  kUiSelect,
  kUiWaitPreview,
  kUiSleep,
  kUiShot,
  kUiOk,
  kUiCancel,
  // The common dialogs' steps (ui_common_dialogs.h).
  kUiFile,
  kUiFileCancel,
  kUiColour,
  kUiColourCancel,
  kUiFileSelect,
  // A drag in two halves, and a control's text into the report.
  kUiHold,
  kUiRelease,
  kUiRead,
  kUiWaitFor,
  // A click with the Ctrl key held.
  kUiCtrlClick,
};

constexpr size_t kUiTextSize = 1024;

struct UiStep {
  int32_t kind;          // UiStepKind
  int32_t id;            // the control
  int32_t dx, dy;        // drag: the motion; select: dx is the index; sleep: dx is milliseconds
  char text[kUiTextSize];   // type: the text; shot: the file
};

// Parses one step. False, with a reason, for an unknown step, a missing or malformed number,
// or text that is too long.
bool ParseUiStep(const char *line, UiStep *step, char *error, size_t errorSize);

// Parses a whole script (the text of a --ui file): one step a line, blank lines and lines
// starting with '#' skipped. The reason of a failure names the line.
bool ParseUiScript(const char *text, std::vector<UiStep> *steps, char *error, size_t errorSize);

// A step as text again, for the host's report.
void FormatUiStep(const UiStep &step, char *out, size_t outSize);

struct HostSession;

// The script of the running session and how far it got (one session at a time).
struct UiDriverState {
  std::vector<UiStep> steps;
  size_t next;             // the step to run next
  bool failed;
  char failure[512];       // why, when failed
};
UiDriverState &CurrentUiDriver();

// Reads --ui and --ui-step into the session's script. False with a reason when the file
// cannot be read or a step is malformed. Called by OpenHostSession.
bool PrepareUiDriver(HostSession *session, char *error, size_t errorSize);

// Bracket each call of the plug-in's entry (the platform layer calls them): the driver runs
// while the plug-in runs.
void BeginUiDriverCall(HostSession *session);
void EndUiDriverCall(HostSession *session);

// At the end of the session: kHostStatusOk when there was no script or every step was done,
// otherwise kHostStatusCannotRun after printing what was left undone.
int FinishUiDriver(HostSession *session);

// displayPixels draws what it is given into the plug-in's device context (the platform
// context of the call), as an editor does. `image` holds the shown pixels (see
// DisplayCapture); 16-bit samples run 0..32768. Nothing happens without a context.
void PaintDisplayedImage(void *platformContext, const HostImage &image, int32_t destinationRow,
                         int32_t destinationColumn);

#endif  // KIVAGLOBE_HOST_UI_DRIVER_H
