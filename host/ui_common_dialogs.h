// ui_common_dialogs.h -- the dialog driver's steps for the common dialogs a plug-in opens over
// its own (ui_driver.h):
//
//   file NAME        answer the open file dialog with NAME: its name field filled, OK pressed
//   file-select NAME select the entry NAME in the open file dialog's list, as a click on it
//                    would (the dialog shows what it shows for a selection; nothing is chosen)
//   file-cancel      cancel the open file dialog
//   colour R G B     answer the open Windows colour dialog with R, G, B (0..255), then OK
//   colour-cancel    cancel the open colour dialog
//
// The steps wait (up to the driver's step time) for such a dialog to be the topmost one; a file
// dialog is told by its name field, the colour dialog by its red, green and blue fields. An
// absolute Unix NAME is given to the dialog as the path the plug-in would see.
#ifndef KIVAGLOBE_HOST_UI_COMMON_DIALOGS_H
#define KIVAGLOBE_HOST_UI_COMMON_DIALOGS_H

#include <cstddef>
#include <cstdint>

struct UiStep;

enum CommonDialogStepResult { kCommonStepDone, kCommonStepAgain, kCommonStepFailed };

// Runs one of the five steps against the topmost dialog `dialog`; `waitedMs` is how long the
// step has been tried. A failure leaves a reason.
CommonDialogStepResult RunCommonDialogStep(const UiStep &step, void *dialog, uint32_t waitedMs, char *reason,
                                           size_t reasonSize);

#endif  // KIVAGLOBE_HOST_UI_COMMON_DIALOGS_H
