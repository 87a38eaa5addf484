// file_hooks_install.cpp -- the settings files behind the frame's file points.
#include "files/file_hooks_install.h"

#include "files/settings_file.h"
#include "files/temp_files.h"
#include "plugin/file_hooks.h"

void InstallPluginFileHooks() {
  gPluginFileHooks.loadCachedSettings = LoadCachedSettings;
  gPluginFileHooks.saveCachedSettings = SaveCachedSettings;
  gPluginFileHooks.loadMemoryDotMap = LoadMemoryDotMap;
  gPluginFileHooks.saveMemoryDotMap = SaveMemoryDotMap;
  gPluginFileHooks.saveUndoFile = SaveUndoFile;
  gPluginFileHooks.reloadUndoFile = ReloadUndoFile;
  gPluginFileHooks.writeDescriptorSettings = WriteDescriptorSettings;
}
