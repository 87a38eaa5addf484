// entry64_win32.cpp -- the exported entry of Kivaglobe64 and its DLL entry point.
//
// The host loads the module, reads the property list, and calls PluginMain (named by the
// list's code property) for every selector. The entry keeps the three pointers that the host
// passes in module statics and hands the call to the dispatcher; other code reaches the filter
// record through the PluginGlobals, never through these statics.
#include <windows.h>

#include "clouds/cloud_hooks_install.h"
#include "dialog/dialog_commands.h"
#include "files/file_hooks_install.h"
#include "plugin/dispatch.h"
#include "plugin/host_utils.h"

static FilterRecord *gEntryFilterRecord = nullptr;
static intptr_t *gEntryDataSlot = nullptr;
static int16_t *gEntryResult = nullptr;

extern "C" void PluginMain(int16_t selector, FilterRecord *filterRecord, intptr_t *dataSlot, int16_t *result) {
  gEntryFilterRecord = filterRecord;
  gEntryDataSlot = dataSlot;
  gEntryResult = result;
  InstallPluginFileHooks();
  InstallCloudHooks();
  InstallDialogCommands();
  DispatchSelector(selector, gEntryFilterRecord, gEntryDataSlot, gEntryResult);
}

// Whatever the reason, the instance is kept and the module accepts the call.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reason;
  (void)reserved;
  SetDllInstance(instance);
  return TRUE;
}
