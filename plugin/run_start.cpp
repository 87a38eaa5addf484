// run_start.cpp -- the reset at Prepare and the initialisation at Start (see run_start.h).
//
// Both are built up step by step as the subsystems they prepare arrive: the comments mark
// where the image records, the cached settings, the cloud cache, the texture maps and the
// memory dots come in, in the order in which they run.
#include "plugin/run_start.h"

#include "dialog/main_dialog.h"
#include "foundation/random.h"
#include "plugin/file_hooks.h"
#include "render/render_setup.h"
#include "plugin/host_dialogs.h"
#include "plugin/script_descriptor.h"

static const Rect16 kEmptyRect = {0, 0, 0, 0};


void ClearRequestRects(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  record->inRect = kEmptyRect;
  record->outRect = kEmptyRect;
  record->maskRect = kEmptyRect;
}

void ResetRunFlags(PluginGlobals *globals) {
  // The run flags of the renderer and the dialog, and the open-window flags of the other tool
  // windows, are cleared here by their owners. No box of an earlier run is thought open.
  aboutBoxOpen = false;
  infoBoxOpen = false;
  const Rect16 &filter = globals->filterRecord->filterRect;
  ParameterBlock *p = GetParameterBlock(globals);
  if (p != nullptr) {
    p->halfWidth = uint32_t((filter.right - filter.left) / 2);
    p->halfHeight = uint32_t((filter.bottom - filter.top) / 2);
  }
  SeedRandomFromTime();
  globals->dialogOutcome = 0;
}

void StartupInit(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  // 1-2. The image-set records and the work image are bound with the run's kernel table (the
  //      export image was bound when the run was allocated); the work image is made at
  //      128 x 128. The dialog's mouse flags are cleared.
  RunState *run = globals->runState;
  HostBufferProcs *procs = globals->filterRecord->bufferProcs;
  InitImageRecord(&globals->workImage, procs, globals, &run->kernelTable);
  for (TiledMipImage &image : globals->imageSet) InitImageRecord(&image, procs, globals, &run->kernelTable);
  CreateImageEx(&globals->workImage, 128, 128, kFormatPacked8, 0, 0);
  globals->rightButtonFlag = 0;
  globals->ctrlKeyFlag = 0;
  // 3.   Without a scripting descriptor, the filter starts from the last accepted settings.
  if (!HasScriptDescriptor(globals) && gPluginFileHooks.loadCachedSettings != nullptr) {
    gPluginFileHooks.loadCachedSettings(globals);
  }
  if (globals->firstParametersCall) {
    globals->firstParametersCall = 0;
    static const uint32_t kFirstExportOptions[5] = {0, 0, 1, 100, 100};
    for (int i = 0; i < 5; i++) p->exportOptions[i] = kFirstExportOptions[i];
  }
  p->settingsFolder[0] = 0;
  p->psdName[0] = 0;
  p->sourceFolder[0] = 0;
  globals->thumbnailWidth = 0;
  globals->thumbnailHeight = 0;
  p->cloudImageOverride = -1;
  // 6.   The cloud cache of the chosen source.
  ReadCloudCacheForIndex(globals, int32_t(p->cloudImage));
  globals->textureSize = 512;
  // 7.   The built-in texture maps are loaded here (image files).
  p->cloudCacheLoaded = 0;
  for (uint32_t &flag : run->dotHasData) flag = 0;   // until the memory-dot map says otherwise
  run->undoSlots[0].slotValid = 0;
  run->undoSlots[1].slotValid = 0;
  globals->undoSlot = 0;
  // 9.   The shown memory dot is reset here (main dialog); the memory-dot map is loaded.
  if (gPluginFileHooks.loadMemoryDotMap != nullptr) gPluginFileHooks.loadMemoryDotMap(globals);
  p->exportSizeMode = 3;
}

void RunStartDialog(PluginGlobals *globals) {
  // The dialog sets the result word itself: 0 for OK, -128 for Cancel (or a host error that
  // its first preview reported and that it could not recover from).
  RunParameterDialog(globals);
}
