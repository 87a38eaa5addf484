// file_hooks.h -- the points at which the plug-in frame calls the settings files.
//
// The files (files/, the kv_files library) are built on the frame: they need the globals, the
// parameter block and the host's memory. The frame in turn must save and load a few files at
// fixed points of a run. So that the frame does not depend on the files, it calls them through
// this table of procedures, which the module fills once (InstallPluginFileHooks in
// files/file_hooks_install.h, called by the exported entry). A procedure left null is simply
// not called: the frame then runs without its files, as its own tests do.
//
//   loadCachedSettings   Start, when the host passes no scripting descriptor
//   saveCachedSettings   Start, after the main dialog closed with OK
//   loadMemoryDotMap     Start, at the end of the initialisation
//   saveMemoryDotMap     EndRun, before the run is freed
//   saveUndoFile         PushUndo with its file (0 when the file was written)
//   reloadUndoFile       PopUndo of a slot whose state is also in its file
//   writeDescriptorSettings   Finish, into the host's open write descriptor
#ifndef KIVAGLOBE_PLUGIN_FILE_HOOKS_H
#define KIVAGLOBE_PLUGIN_FILE_HOOKS_H

#include <cstdint>

#include "plugin/host_interface.h"

struct PluginGlobals;

struct PluginFileHooks {
  int16_t (*loadCachedSettings)(PluginGlobals *globals);
  int16_t (*saveCachedSettings)(PluginGlobals *globals);
  void (*loadMemoryDotMap)(PluginGlobals *globals);
  void (*saveMemoryDotMap)(PluginGlobals *globals);
  int16_t (*saveUndoFile)(PluginGlobals *globals, int32_t slot);
  int16_t (*reloadUndoFile)(PluginGlobals *globals, int32_t slot);
  int16_t (*writeDescriptorSettings)(PluginGlobals *globals, HostDescriptorRef descriptor);
};

extern PluginFileHooks gPluginFileHooks;

#endif  // KIVAGLOBE_PLUGIN_FILE_HOOKS_H
