// host_utils.h -- small services over the host's interface and the platform: the module
// instance, availability tests of the host's callbacks and descriptor procedures, and a few
// string, time and image-depth helpers.
#ifndef KIVAGLOBE_PLUGIN_HOST_UTILS_H
#define KIVAGLOBE_PLUGIN_HOST_UTILS_H

#include <cstddef>
#include <cstdint>

#include "plugin/host_interface.h"

struct PluginGlobals;

// ---- The module instance ---------------------------------------------------------------------

// Stored by the DLL entry point (DllMain) when the module is loaded.
void SetDllInstance(void *instance);

// The module instance. The argument is the host's plug-in reference; the dispatcher passes
// null, which gives the instance that DllMain stored.
void *GetDLLInstance(void *pluginRef);

// The instance that dialogs, bitmaps and resource loads use; set by the dispatcher on every
// call from GetDLLInstance.
extern void *gModuleInstance;

// ---- Host callbacks --------------------------------------------------------------------------

bool HostAdvanceStateAvailable(HostAdvanceStateProc proc);
bool HostDisplayPixelsAvailable(HostDisplayPixelsProc proc);

// Calls a host callback that takes no argument and returns its result (advanceState).
int16_t CallHostProc(HostAdvanceStateProc proc);

// True when the descriptor parameters are present with version 0 and both procedure records
// are present: the read procedures with version 0 and all of their 18 entries, the write
// procedures with version 0 and at least 16 entries. A version above 0 sets *newerVersion
// (when given).
bool HostDescriptorAvailable(const HostDescriptorParameters *parameters, bool *newerVersion);

// ---- Strings, time, depth --------------------------------------------------------------------

constexpr int32_t kMaxCStringLength = 32767;

// Appends source to the NUL-terminated destination, a buffer of `capacity` bytes. The result
// is cut to capacity - 1 characters and to kMaxCStringLength; it is always terminated (for a
// capacity above 0). Returns the new length.
int32_t AppendCString(char *destination, size_t capacity, const char *source);

// About 60 ticks a second: the system's millisecond tick count / 17.
uint32_t TickCount();

// 3 for 8-bit images; 4 for 16-bit grayscale and RGB (image modes 10 and 11 at depth 16);
// 9 for 32-bit images (image modes 16 and 17, or depth 32).
int32_t ChannelDepthClass(const PluginGlobals *globals);

// Shows or hides a dialog item (Windows only).
void ShowHideItem(void *dialog, int item, bool show);

#endif  // KIVAGLOBE_PLUGIN_HOST_UTILS_H
