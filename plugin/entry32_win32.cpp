// entry32_win32.cpp -- the exported entry points of Kivaglobe32 and its DLL entry point.
//
// The host calls ENTRYPOINT (named by the property list's code property) for every selector;
// it is entry and dispatcher in one and keeps no statics of the host's pointers. The module
// also exports the main dialog's window procedure as ZuvederuProc (dialog/main_dialog_win32.cpp),
// which the host never calls.
#include <windows.h>

#include "clouds/cloud_hooks_install.h"
#include "dialog/dialog_commands.h"
#include "files/file_hooks_install.h"
#include "plugin/dispatch.h"
#include "plugin/host_utils.h"

extern "C" void KV_HOSTAPI ENTRYPOINT(int16_t selector, FilterRecord *filterRecord, intptr_t *dataSlot,
                                      int16_t *result) {
  InstallPluginFileHooks();
  InstallCloudHooks();
  InstallDialogCommands();
  DispatchSelector(selector, filterRecord, dataSlot, result);
}

// Keeps the instance when the module is attached to the process, and accepts every call.
static BOOL KeepModuleHandle(HINSTANCE instance, DWORD reason) {
  if (reason == DLL_PROCESS_ATTACH) SetDllInstance(instance);
  return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  return KeepModuleHandle(instance, reason);
}
