// dispatch.cpp -- the selector dispatcher and the handlers (see dispatch.h).
//
// Memory ownership across calls: the PluginGlobals handle is made on the first call that is
// not About and lives in the data slot until the host disposes of it; it is locked on entry to
// every call and unlocked on the way out. The ParameterBlock lives in the filter record's
// parameters handle, belongs to the host, and is made once. The run (RunState, row buffer,
// small buffers) lives from Start to the end of the run and never outlives a call that ends
// the filter: every path out of Start or Continue that ends the filter frees it.
#include "plugin/dispatch.h"

#include <cstring>

#include "plugin/file_hooks.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_memory.h"
#include "plugin/host_utils.h"
#include "plugin/row_loop.h"
#include "plugin/run_start.h"
#include "plugin/script_descriptor.h"

PluginGlobals *AllocateGlobals(int16_t *result, FilterRecord *filterRecord, HostHandleProcs *handleProcs,
                               int32_t size, intptr_t *dataSlot, GlobalsInitProc initProc) {
  PluginGlobals *globals = nullptr;
  if (*dataSlot != 0) {
    globals = reinterpret_cast<PluginGlobals *>(
        HostLockHandle(handleProcs, reinterpret_cast<HostHandle>(*dataSlot), true));
    if (globals == nullptr) return nullptr;
  } else {
    HostHandle handle = HostNewHandle(handleProcs, size);
    if (handle == nullptr) return nullptr;
    globals = reinterpret_cast<PluginGlobals *>(HostLockHandle(handleProcs, handle, true));
    if (globals == nullptr) {
      HostDisposeHandle(handleProcs, handle);
      return nullptr;
    }
    // A host's new handle holds whatever was in memory before; start from zeros.
    std::memset(globals, 0, size_t(size));
    initProc(globals);
    *dataSlot = reinterpret_cast<intptr_t>(handle);
  }
  globals->resultPtr = result;
  *result = kResultOk;
  globals->filterRecord = filterRecord;
  return globals;
}

void InitGlobals(PluginGlobals *) {}

// Copies a NUL-terminated string into a field of the block.
static void SetTextField(char *field, const char *text) {
  size_t length = strnlen(text, kParameterTextSize - 1);
  std::memcpy(field, text, length);
  field[length] = 0;
}

void ValidateParameters(PluginGlobals *globals) {
  if (globals == nullptr) return;
  FilterRecord *record = globals->filterRecord;
  HostHandleProcs *procs = record->handleProcs;
  if (record->parameters != nullptr) {
    // A block smaller than ours (left by another build or version of the plug-in) would be
    // read and written past its end: replace it with a new one. A size of 0 says nothing:
    // some hosts answer 0 for every handle of their own, and replacing the block on every
    // call would lose the parameters and, with them, the live run.
    const int32_t size = HostGetHandleSize(procs, record->parameters);
    if (size <= 0 || size >= int32_t(sizeof(ParameterBlock))) return;
    EndLiveRun(globals);
    HostDisposeHandle(procs, record->parameters);
    record->parameters = nullptr;
  }

  ResetGlobalImages(globals);
  globals->buffers[kBufferWork7] = nullptr;
  globals->buffers[kBufferWork8] = nullptr;
  // The main dialog's window (mainDialogWindow) is cleared here with the dialog.

  HostHandle handle = HostNewHandle(procs, int32_t(sizeof(ParameterBlock)));
  if (handle == nullptr) {
    SetResult(globals, kResultMemFull);
    return;
  }
  record->parameters = handle;
  auto *p = reinterpret_cast<ParameterBlock *>(*handle);
  // Fields without an initial value (file names, run fields) start empty, not with whatever
  // the host's memory held.
  std::memset(p, 0, sizeof(ParameterBlock));
  p->livePreview = 0;
  p->formatFlag = 1;
  p->previewOff = 0;
  p->globals = globals;
  p->spareWordA = -1;
  p->spareWordB = -1;
  p->zoomDivisor = 1;
  p->renderTarget = 0;
  p->spareSetting = 1;
  p->outputMode = 1;
  p->optionFlagA = 1;
  p->optionFlagB = 1;
  p->spareWordC = 0;
  p->controlText1[0] = 0;
  p->controlText2[0] = 0;
  p->controlText3[0] = 0;
  SetTextField(p->settingsName, kDefaultSettingsName);
  SetDefaultParameters(globals);
}

void DoParameters(PluginGlobals *globals) {
  ValidateParameters(globals);
  ParameterBlock *p = GetParameterBlock(globals);
  if (p != nullptr) p->showDialog = 1;
}

void DoPrepare(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  record->bufferSpace = 0;
  ValidateParameters(globals);
  record->bufferSpace = 0;
  globals->savedFilterRect = record->filterRect;
  RecordRectSize(globals, &record->filterRect, 1);
  ComputeRowSizes(globals);
  SetBufferSizes(globals);
  ResetRunFlags(globals);
}

void DoStart(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  ValidateParameters(globals);
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;   // -108 is already in the result word
  p->livePreview = HostAdvanceStateAvailable(record->advanceState) &&
                   HostDisplayPixelsAvailable(record->displayPixels) && p->previewOff == 0;

  bool allocated = AllocateRunBuffers(globals);
  if (!allocated || GetResult(globals) != kResultOk) {
    // A failed allocation has freed what it got and emptied the rectangles. Nothing has been
    // shown, so the host gets its own out-of-memory code, which it reports to the user; a
    // positive code would tell it that the plug-in had done so, and the filter would seem to
    // do nothing.
    if (allocated) {
      EndRun(globals);
      ClearRequestRects(globals);
      SetResult(globals, kResultAlreadyShown);
      return;
    }
    SetResult(globals, kResultMemFull);
    return;
  }
  StartupInit(globals);
  globals->filterWidth = record->filterRect.right - record->filterRect.left;
  globals->filterHeight = record->filterRect.bottom - record->filterRect.top;

  if (kRefusesHostWithoutAdvanceState && !HostAdvanceStateAvailable(record->advanceState)) {
    ShowHostRefusal();
    SetResult(globals, kResultAlreadyShown);
  }
  if (record->imageMode == kModeMultichannel) {
    ShowModeRefusal();
    SetResult(globals, kResultAlreadyShown);
  }
  if (GetResult(globals) != kResultOk) {
    EndRun(globals);
    ClearRequestRects(globals);
    SetResult(globals, kResultAlreadyShown);
    return;
  }

  // A recorded action replaces the parameters and decides whether the dialog shows; a close
  // error of its descriptor stays in the result word.
  ReadScriptParameters(globals);

  // Parameters, or a recorded action played with its dialog, asks for the main dialog. The
  // entry state becomes the first undo step; then the main dialog runs (RunStartDialog), and
  // its OK writes 0 over a close error of the descriptor, so the planet renders. A Cancel
  // leaves -128 in the result word and ends the run; an accepted planet is cached for the next
  // run that gets no recorded action.
  if (p->showDialog != 0) {
    PushUndo(globals, true);
    SetResult(globals, kResultOk);
    p->showDialog = 0;
    RunStartDialog(globals);
    if (GetResult(globals) != kResultOk) {
      EndRun(globals);
      ClearRequestRects(globals);
      return;
    }
    if (gPluginFileHooks.saveCachedSettings != nullptr) gPluginFileHooks.saveCachedSettings(globals);
  }

  // Without the dialog, a close error of the descriptor ends the run here, with the code kept.
  if (GetResult(globals) != kResultOk) {
    EndRun(globals);
    ClearRequestRects(globals);
    return;
  }

  p->renderTarget = 0;
  StartRender(globals);
  if (GetResult(globals) != kResultOk) {
    // No row loop follows: 999 (no work image), an error of the set-up or of the first
    // advanceState. The run is freed (the memory-dot map saved as at a normal end) and the
    // empty rectangles tell the host that the filter is done; the code stays, except 999:
    // a positive code tells a host that the plug-in has already told the user, and nobody
    // has. The host's own out-of-memory code makes the host say it.
    EndRun(globals);
    ClearRequestRects(globals);
    if (GetResult(globals) == kResultNoWorkImage) SetResult(globals, kResultMemFull);
  }
}

void DoContinue(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  // A Continue after the run has ended (or without one) has nothing left to render.
  if (globals->runState == nullptr || !globals->runActive) {
    ClearRequestRects(globals);
    return;
  }
  // Without advanceState the host delivers the next row itself on the next Continue call.
  const bool advance = HostHasAdvanceState(globals);
  for (;;) {
    RenderRowStep(globals);
    if (GetResult(globals) != kResultOk) globals->runActive = 0;
    if (GetResult(globals) == kResultOk) RequestNextRow(globals);
    if (!globals->runActive || !advance) break;
    SetResult(globals, CallHostProc(record->advanceState));
    if (GetResult(globals) != kResultOk) {
      globals->runActive = 0;   // the host's code stays in the result word
      break;
    }
  }
  if (globals->runActive) return;
  EndRun(globals);
  ClearRequestRects(globals);
}

void DoFinish(PluginGlobals *globals) { WriteScriptParameters(globals); }

void DispatchSelector(int16_t selector, FilterRecord *filterRecord, intptr_t *dataSlot, int16_t *result) {
  gModuleInstance = GetDLLInstance(nullptr);

  if (selector == kSelectorAbout) {
    // About touches neither the data slot nor the parameters.
    *result = kResultOk;
    aboutBoxOpen = false;
    ShowAboutBox();
    return;
  }

  bool slotWasEmpty = *dataSlot == 0;
  PluginGlobals *globals = AllocateGlobals(result, filterRecord, filterRecord->handleProcs,
                                           int32_t(sizeof(PluginGlobals)), dataSlot, InitGlobals);
  if (globals == nullptr) {
    *result = kResultMemFull;
    return;
  }
  if (selector == kSelectorParameters) globals->firstParametersCall = slotWasEmpty ? 1 : 0;

  ValidateParameters(globals);
  if (*result == kResultOk) {
    switch (selector) {
      case kSelectorParameters: DoParameters(globals); break;
      case kSelectorPrepare: DoPrepare(globals); break;
      case kSelectorStart: DoStart(globals); break;
      case kSelectorContinue: DoContinue(globals); break;
      case kSelectorFinish: DoFinish(globals); break;
      default: *result = kResultBadSelector; break;
    }
  }

  if (*dataSlot != 0) HostUnlockHandle(filterRecord->handleProcs, reinterpret_cast<HostHandle>(*dataSlot));
}
