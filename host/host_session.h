// host_session.h -- one use of a plug-in by the stand-in host, from the document to the report.
//
// A session owns the document, the filter record with its callbacks, the host's memory and
// the plug-in's data slot. It runs in four steps, which the program does one after the other
// and the tests can take apart:
//
//   OpenHostSession    makes the document, reads and judges the plug-in's property list,
//                      finds its entry and fills the filter record;
//   RunHostSession     calls the selectors: About alone (--about), one selector (--selector),
//                      or [Parameters,] Prepare, Start, Continue until the request rectangles
//                      come back empty, Finish after success; one line per call on `out`;
//   FinishHostSession  disposes of the plug-in's data-slot handle as an editor does when it
//                      unloads a plug-in, reports what is outstanding, writes --out;
//   CloseHostSession   frees everything, the parameters handle included.
//
// The callbacks of the filter record (advanceState, progressProc, abortProc, displayPixels)
// have no context argument; they work on the current session, set by OpenHostSession.
//
// The host offers integral sampling (samplingSupport 1), as an editor does for the preview of
// a plug-in's dialog: a request with an input rate of k x 65536 gets every k-th pixel of every
// k-th row (delivery.h), and the output of such a request is only shown, never kept in the
// document. --advance-error N[:CODE] makes the N-th advanceState call fail with CODE.
#ifndef KIVAGLOBE_HOST_HOST_SESSION_H
#define KIVAGLOBE_HOST_HOST_SESSION_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "host/delivery.h"
#include "host/descriptor_procs.h"
#include "host/document.h"
#include "host/host_log.h"
#include "host/host_options.h"
#include "host/host_platform.h"
#include "host/memory_procs.h"
#include "host/plugin_properties.h"
#include "plugin/host_interface.h"

// Exit statuses of the program.
enum HostStatus : int {
  kHostStatusOk = 0,
  kHostStatusPluginError = 1,   // a selector returned a non-zero result
  kHostStatusCannotRun = 2,     // bad options, files, or a plug-in the host refuses
  kHostStatusLeak = 3,          // memory outstanding at exit
};

// One call of the entry.
struct HostCall {
  int16_t selector;
  int16_t result;
};

// What displayPixels was last given, as a plain image of its source rectangle.
struct DisplayCapture {
  int32_t calls;
  HostImage image;        // channels 3 (RGB modes) or 1; 1 or 2 bytes per sample
  HostVRect sourceRect;
  int32_t destinationRow;
  int32_t destinationColumn;
  int32_t imageMode;
};

struct HostSession {
  HostOptions options;
  FILE *out;                       // the report: one line per selector and the totals
  HostLog log;

  HostImage source;                // the document as it was before the run; inData reads it
  HostImage destination;           // what outData writes; the document after the run
  HostImage mask;                  // the selection (one byte per pixel) when haveMask
  bool haveMask;
  int16_t imageMode;
  Rect16 filterRect;               // the selection's bounds, or the whole document

  HostMemory memory;
  HostBufferProcs bufferProcs;
  HostHandleProcs handleProcs;
  HostPlatformData platformData;
  FilterRecord record;

  PluginModule module;
  PluginProperties properties;
  PluginEntryProc entry;
  intptr_t dataSlot;

  // What advanceState last delivered. The output buffer is written back into the destination
  // before the next delivery and after every return of the entry.
  PlaneBuffer inBuffer;
  PlaneBuffer outBuffer;
  PlaneBuffer maskBuffer;
  bool outputIsPreview;            // the last request was sampled: its output is not kept
  int32_t highestRowRequested;     // the bottom-most document row a request of the run
                                   // reached (previews do not count); -1 none

  std::vector<HostCall> calls;
  int32_t bufferSpace;             // what Prepare asked for
  int32_t advanceStateCalls;
  int32_t progressCalls;
  std::vector<int32_t> progressDone;   // the done count of every progress call, in order
  int32_t abortCalls;
  bool abortAnswered;              // the abort test has answered yes
  int32_t continueLimit;           // Continue calls allowed before the host gives up
  bool continueLimitHit;
  int32_t dialogsAnswered;
  DisplayCapture display;
  int32_t progressShown;           // percent last drawn on stderr, -1 none
  bool ran;                        // RunHostSession got as far as calling the plug-in
  bool outputWritten;

  // Recorded actions: the descriptor procedures and what the terminology names.
  HostDescriptorStore scripting;
  Terminology terminology;
};

// Selector names for the report: "About", ..., "Finish"; null for other values.
const char *SelectorName(int16_t selector);

// Opens a session for `options` on a loaded `module`, reporting to `out` (stdout in the
// program). False, with the reason in `error`, when the document cannot be made or the host
// refuses the plug-in; the session must still be closed.
bool OpenHostSession(HostSession *session, const HostOptions &options, const PluginModule &module, FILE *out,
                     char *error, size_t errorSize);

// Runs the selectors the options ask for. Returns kHostStatusOk or kHostStatusPluginError.
int RunHostSession(HostSession *session);

// Calls the entry once with `selector` (the result word starts at 0), prints "Name: result"
// and records the call. Returns the result.
int16_t CallSelector(HostSession *session, int16_t selector);

// Disposes of the data-slot handle, prints the outstanding counts and writes --out. Returns
// kHostStatusLeak when more than the parameters handle is left, else kHostStatusOk (or
// kHostStatusCannotRun when the output cannot be written).
int FinishHostSession(HostSession *session);

// Frees the session's memory (the parameters handle too) and closes the log.
void CloseHostSession(HostSession *session);

// The whole program: parses argv, loads the plug-in and runs a session. Returns the exit status.
int RunHost(int argc, const char *const *argv);

// Recorded actions (host_scripting.cpp). OpenHostSession calls the first: it reads the
// terminology when the options need it, offers the descriptor procedures with playInfo 1
// (--dialog) or 2, and hands the plug-in the descriptor of --play, --set and --mode (printing
// the parameter list for --list-parameters). FinishHostSession calls the second: it saves the
// descriptor Finish wrote to --record and gives the host's descriptor handle back.
bool OpenSessionScripting(HostSession *session, char *error, size_t errorSize);
int CloseSessionScripting(HostSession *session);

// Called by the platform layer when it answered a dialog of the plug-in.
void NoteDialogAnswered(HostSession *session, const char *title, bool forced);

#endif  // KIVAGLOBE_HOST_HOST_SESSION_H
