// host_options.h -- the command line of the stand-in host (kivahost).
//
// Every option of the program lands in one HostOptions record; nothing else in the host reads
// argv. The record is plain data with fixed-size path buffers so that the platform layer can
// rewrite the paths in place (absolute Unix paths become drive paths under Wine) before the
// session opens any file.
#ifndef KIVAGLOBE_HOST_HOST_OPTIONS_H
#define KIVAGLOBE_HOST_HOST_OPTIONS_H

#include <cstddef>
#include <cstdint>

#include "host/host_colour.h"
#include "plugin/host_interface.h"

constexpr size_t kHostPathSize = 1024;

// Most --set options on one command line.
constexpr int32_t kHostMaxSettings = 64;

// Most --ui-step options on one command line.
constexpr int32_t kHostMaxUiSteps = 256;

// Largest document side: the interface's rectangles hold signed 16-bit coordinates.
constexpr int32_t kHostMaxSide = 30000;

enum HostMaskKind : int32_t {
  kHostMaskNone = 0,
  kHostMaskEllipse = 1,   // an ellipse inscribed in the document
  kHostMaskFile = 2,      // a grey image file of the document's size, 255 = selected
};

struct HostOptions {
  char pluginPath[kHostPathSize];    // --plugin FILE (required)
  char inPath[kHostPathSize];        // --in FILE: PNG or JPEG; empty for a canvas
  char outPath[kHostPathSize];       // --out FILE.png; empty for none
  char logPath[kHostPathSize];       // --log FILE: JSON lines; empty for none
  char maskPath[kHostPathSize];      // --mask FILE
  int32_t width;                     // --size WxH, default 1024 x 1024
  int32_t height;
  bool sizeGiven;
  bool gray;                         // --gray
  bool multichannel;                 // --multichannel
  int32_t depth;                     // --depth 8|16
  int32_t maskKind;                  // HostMaskKind
  int32_t refuseBuffersFrom;         // --refuse-buffers N: 0 never
  int32_t refuseHostBuffersFrom;     // --refuse-host-buffers N: 0 never
  int32_t abortAtRow;                // --abort-at ROW: -1 never
  int32_t advanceErrorAt;            // --advance-error N[:CODE]: the N-th advanceState call
  int16_t advanceErrorCode;          //   fails with CODE (default -108); 0 never
  OSType4 hostSig;                   // --host-sig XXXX, default '8BIM'
  bool about;                        // --about: the About selector alone
  bool dialog;                       // --dialog: Parameters before Prepare
  bool haveSelector;                 // --selector N: that selector alone
  int16_t selector;
  bool closeDialogs;                 // --close-dialogs: answer every plug-in dialog with Cancel
  bool noModeCheck;                  // --no-mode-check: run even where the modes do not fit
  bool noAdvanceState;               // --no-advance-state: offer no advanceState callback
  bool help;                         // --help

  // What real editors do that a host from our own declarations would not do by itself.
  bool handleSizeZero;               // --handle-size-zero: GetHandleSize answers 0 for the
                                     //   host's handles
  bool finishAfterError;             // --finish-after-error: Finish after a Continue error or
                                     //   an abort
  bool repeat;                       // --repeat: a second session, the handles restored from
                                     //   their bytes ("repeat last filter")
  bool transparent;                  // --transparent: a layer with editable transparency
                                     //   (filter case 4, or 5 with a selection)
  bool storePreviewOutput;           // --store-preview-output: a sampled request's output is
                                     //   stored at the next advanceState

  // Recorded actions (host/host_scripting.cpp). The --set and --mode texts point into argv.
  char recordPath[kHostPathSize];    // --record FILE: save what Finish writes
  char playPath[kHostPathSize];      // --play FILE: replay a recorded descriptor
  const char *sets[kHostMaxSettings];   // --set "name=value", in order
  int32_t setCount;
  const char *modeName;              // --mode NAME: the output mode by its name
  bool listParameters;               // --list-parameters

  // Driving the plug-in's dialog (host/ui_driver.h): a file of steps, or steps one by one.
  char uiPath[kHostPathSize];        // --ui FILE
  const char *uiSteps[kHostMaxUiSteps];   // --ui-step "STEP", in order (point into argv)
  int32_t uiStepCount;

  // The host's colour picker (host/host_colour.h): --host-colour R,G,B or cancel.
  HostColourAnswer hostColour;
};

// Fills `options` with the defaults.
void DefaultHostOptions(HostOptions *options);

// Parses argv[1..argc-1]. On failure writes a one-line reason to `error` and returns false.
bool ParseHostOptions(int argc, const char *const *argv, HostOptions *options, char *error,
                      size_t errorSize);

// The usage text printed by --help and after an option error.
extern const char kHostUsage[];

#endif  // KIVAGLOBE_HOST_HOST_OPTIONS_H
