// run_state.cpp -- sizing, allocation and release of the run: the row buffer, the small work
// buffers and the RunState, all from the host's buffer procedures (with the global-memory
// fallback of host_memory.cpp), and the run's lookup tables.
//
// The row buffer holds 216 bytes per column; its width is fixed at Prepare from the filter
// rectangle and only grows afterwards (GrowRowBuffer). The host is told the whole need through
// bufferSpace before Start, so that it keeps that much memory free for us.
//
// A run ends in exactly one of two ways: AllocateRunBuffers fails and frees what it got, or
// EndRun frees everything. FreeHostBuffer clears each slot it frees, so FreeRunBuffers can be
// called any number of times.
#include <cstring>

#include "plugin/file_hooks.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"
#include "plugin/image_lists.h"
#include "plugin/run_start.h"

void RecordRectSize(PluginGlobals *globals, const Rect16 *rect, int32_t zoom) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p != nullptr) p->zoomDivisor = uint32_t(zoom);
  globals->rectWidth = rect->right - rect->left;
  globals->rectHeight = rect->bottom - rect->top;
  globals->rowFirst = 0;
  globals->columnFirst = 0;
  globals->columnLast = globals->rectWidth - 1;
  globals->rowLast = globals->rectHeight - 1;
}

void ComputeRowSizes(PluginGlobals *globals) {
  int32_t w = globals->rectWidth;
  int32_t h = globals->rectHeight;
  globals->rowWidthPlus3 = w + 3;
  globals->rowWidthPlus3Twice = 2 * (w + 3);
  globals->rowHeightPlus3 = h + 3;
  globals->rowWidthPlus2178 = w + 2178;
  int32_t longer = w > h ? w : h;
  int32_t square = 2 * (longer + 4);
  int32_t wide = 3 * w + 2184;
  globals->rowBufferColumns = square > wide ? square : wide;
}

void SetBufferSizes(PluginGlobals *globals) {
  int32_t *sizes = globals->bufferSizes;
  for (int i = 0; i < kBufferSizeCount; i++) sizes[i] = kSmallBufferSize;
  sizes[1] = kUnallocatedBufferSize;
  sizes[kRowBufferSizeIndex] = globals->rowBufferColumns * kRowBufferBytesPerColumn;
  globals->filterRecord->bufferSpace = sizes[kRowBufferSizeIndex] + kBufferSpaceExtra;
}

// The RunState of the run this module allocated and has not freed yet. A globals block whose
// runState is this one holds a live run; any other non-null runState is a stale copy (an
// editor's repeat can hand the plug-in a globals block restored from the bytes of an earlier
// session) and is never followed.
static RunState *gLiveRunState = nullptr;

bool RunIsLive(const PluginGlobals *globals) {
  return globals->runState != nullptr && globals->runState == gLiveRunState;
}

void EndLiveRun(PluginGlobals *globals) {
  if (RunIsLive(globals)) EndRun(globals);
}

void ResetGlobalImages(PluginGlobals *globals) {
  // A host that calls Prepare or Start again while a run is live would otherwise have the
  // run's buffers forgotten here, still allocated.
  EndLiveRun(globals);
  for (int i = 0; i < kRunBufferSlotCount; i++) {
    globals->buffers[i] = nullptr;
    globals->bufferIds[i] = nullptr;
  }
  globals->runState = nullptr;
  globals->runStateId = nullptr;
  HostBufferProcs *procs = globals->filterRecord->bufferProcs;
  InitImageRecord(&globals->workImage, procs, globals, nullptr);
  for (TiledMipImage &image : globals->imageSet) InitImageRecord(&image, procs, globals, nullptr);
}

static void AllocSlot(PluginGlobals *globals, RunBufferSlot slot, int32_t size) {
  globals->buffers[slot] = AllocHostBuffer(size, &globals->bufferIds[slot], globals->filterRecord->bufferProcs);
}

static void FreeSlot(PluginGlobals *globals, RunBufferSlot slot) {
  FreeHostBuffer(&globals->buffers[slot], &globals->bufferIds[slot], globals->filterRecord->bufferProcs);
}

bool AllocateRunBuffers(PluginGlobals *globals) {
  ResetGlobalImages(globals);
  const int32_t *sizes = globals->bufferSizes;
  AllocSlot(globals, kBufferRow, sizes[kRowBufferSizeIndex]);
  AllocSlot(globals, kBufferWork32, 2 * sizes[3]);
  AllocSlot(globals, kBufferWork0, sizes[0]);
  AllocSlot(globals, kBufferWork2, sizes[2]);
  AllocSlot(globals, kBufferWork5, sizes[5]);
  AllocSlot(globals, kBufferWork6, sizes[6]);
  // AllocHostBuffer hands out zero-filled blocks, so the new RunState starts cleared: its
  // counters, tables and undo slots hold no leftovers of an earlier run or another program.
  globals->runState = static_cast<RunState *>(
      AllocHostBuffer(int32_t(sizeof(RunState)), &globals->runStateId, globals->filterRecord->bufferProcs));
  AllocSlot(globals, kBufferWork7, sizes[7]);
  AllocSlot(globals, kBufferWork8, sizes[8]);

  // The buffers sized by bufferSizes[5] and [6] are not needed for the run to go on.
  void *const *b = globals->buffers;
  bool complete = b[kBufferRow] != nullptr && b[kBufferWork32] != nullptr && b[kBufferWork0] != nullptr &&
                  b[kBufferWork2] != nullptr && b[kBufferWork7] != nullptr && b[kBufferWork8] != nullptr &&
                  globals->runState != nullptr;
  if (complete) {
    // The kernel table is there before anything can resample, and the export image is bound
    // before anything can free it. The renderer's and the dialog's initial run values are set
    // here by their owners; the cleared RunState already holds every zero among them.
    RunState *run = globals->runState;
    gLiveRunState = run;
    BuildDefaultKernelTable(&run->kernelTable);
    InitImageRecord(&run->exportImage, globals->filterRecord->bufferProcs, globals, &run->kernelTable);
    return true;
  }
  FreeRunBuffers(globals);
  FailRun(globals);
  return false;
}

void GrowRowBuffer(PluginGlobals *globals) {
  const FilterRecord *record = globals->filterRecord;
  int32_t columns = record->inRect.right - record->inRect.left + 4;
  globals->rowBufferColumns = columns;
  int32_t bytes = columns * kRowBufferBytesPerColumn;
  if (bytes <= globals->bufferSizes[kRowBufferSizeIndex]) return;
  FreeSlot(globals, kBufferRow);
  globals->bufferSizes[kRowBufferSizeIndex] = bytes;
  AllocSlot(globals, kBufferRow, bytes);
  if (globals->buffers[kBufferRow] == nullptr) SetResult(globals, kResultUserCanceled);
}

void FreeRunBuffers(PluginGlobals *globals) {
  HostBufferProcs *procs = globals->filterRecord->bufferProcs;
  // Without a RunState (its allocation failed) there is no export image to free.
  if (globals->runState != nullptr) FreeImageTiles(&globals->runState->exportImage);
  DestroyImageListTable();
  FreeSlot(globals, kBufferWork32);
  FreeSlot(globals, kBufferWork0);
  FreeSlot(globals, kBufferRow);
  FreeImageTiles(&globals->workImage);
  FreeSlot(globals, kBufferWork1);
  FreeSlot(globals, kBufferWork2);
  FreeSlot(globals, kBufferWork5);
  FreeSlot(globals, kBufferWork6);
  if (globals->runState != nullptr && globals->runState == gLiveRunState) gLiveRunState = nullptr;
  FreeHostBuffer(reinterpret_cast<void **>(&globals->runState), &globals->runStateId, procs);
  FreeSlot(globals, kBufferWork7);
  FreeSlot(globals, kBufferWork8);
  for (TiledMipImage &image : globals->imageSet) FreeImageTiles(&image);
}

void EndRun(PluginGlobals *globals) {
  if (gPluginFileHooks.saveMemoryDotMap != nullptr) gPluginFileHooks.saveMemoryDotMap(globals);
  FreeRunBuffers(globals);
}

void FailRun(PluginGlobals *globals) {
  SetResult(globals, kResultRunFailed);
  ClearRequestRects(globals);
}

void BuildRunLookupTables(PluginGlobals *globals) {
  RunState *run = globals->runState;
  if (run == nullptr) return;
  for (int i = 0; i < kLookupTableSize; i++) run->tentTable[i] = i < 128 ? uint32_t(2 * i) : uint32_t(511 - 2 * i);
  // The odds x / (1 - x) of x = i / 255, as 1 / (1 / x - 1): x is held as a float, the rest is
  // done in double and stored as a float. The ends would divide by zero and are fixed instead.
  run->oddsTable[0] = 0.0f;
  for (int i = 1; i < kLookupTableSize - 1; i++) {
    float x = float(i) / 255.0f;
    run->oddsTable[i] = float(1.0 / (1.0 / double(x) - 1.0));
  }
  run->oddsTable[kLookupTableSize - 1] = 1e8f;
}

void AllocateWorkImage(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || p->cloudCacheLoaded) return;
  const Rect16 &r = globals->savedFilterRect;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  for (int32_t k = 0; k < kImageSetCount; k++) {
    TiledMipImage &image = globals->imageSet[k];
    // A built-in texture map loaded by an earlier render stays: the set-up loads the maps into
    // these records again and keeps what it finds there, which saves building their levels
    // before every preview.
    if (ImageHasContentMark(&image)) continue;
    // An image already of the filter's size is renewed, not made again: a new one would clear
    // a whole document's pyramid before every preview, pixels nobody reads before writing them.
    // The cloud image is the exception while the header says it holds clouds.
    const bool cloudsInUse = k == 0 && globals->runState != nullptr && globals->runState->cloudHeader.loaded;
    if (!cloudsInUse && RenewImageRecord(&image, width, height, kFormatGray8, 0)) continue;
    if (!CreateImageEx(&image, width, height, kFormatGray8, 0, 0)) {
      SetResult(globals, kResultNoWorkImage);
      return;
    }
  }
}

int32_t ExtraSetupHook(PluginGlobals *) { return 0; }
