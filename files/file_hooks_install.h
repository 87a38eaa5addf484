// file_hooks_install.h -- connects the plug-in frame's file points (plugin/file_hooks.h) to
// the settings files of this library.
#ifndef KIVAGLOBE_FILES_FILE_HOOKS_INSTALL_H
#define KIVAGLOBE_FILES_FILE_HOOKS_INSTALL_H

// Fills gPluginFileHooks. Idempotent and cheap: the exported entry calls it on every call.
void InstallPluginFileHooks();

#endif  // KIVAGLOBE_FILES_FILE_HOOKS_INSTALL_H
