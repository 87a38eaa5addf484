// host_platform.h -- the few places where the stand-in host needs the operating system.
//
// host_platform_win32.cpp loads a plug-in module (LoadLibrary, its property-list resource, its
// exports), patches the module's imports of the global-memory allocator so that the host can
// count and refuse the plug-in's own fallback allocations, answers the plug-in's dialogs when
// asked to, and turns absolute Unix paths into drive paths (Wine maps the Unix root to Z:).
// host_platform_posix.cpp is its twin for the native build, where no Windows plug-in can be
// loaded: the native tests hand the session a PluginModule of their own.
#ifndef KIVAGLOBE_HOST_HOST_PLATFORM_H
#define KIVAGLOBE_HOST_HOST_PLATFORM_H

#include <cstddef>
#include <cstdint>

// A loaded plug-in as the session sees it.
struct PluginModule {
  void *module;                          // the platform's module handle (or a test's context)
  const uint8_t *properties;             // the property-list resource, null when it has none
  size_t propertiesSize;
  void *(*findExport)(void *module, const char *name);   // an exported function, or null
  intptr_t (*hostWindow)(void);          // the window handed to the plug-in; may be null
  const uint8_t *terminology;            // the terminology resource (16000, 'AETE'), or null
  size_t terminologySize;
};

// Loads the plug-in at `path`. False, with a reason, when it cannot be loaded.
bool LoadPluginModule(const char *path, PluginModule *module, char *error, size_t errorSize);
void UnloadPluginModule(PluginModule *module);

// Rewrites a path given on the command line into one the platform's file calls accept.
void MapHostPath(char *path, size_t capacity);

// Writes `size` bytes to the standard error in one piece (the progress line). The runtime's
// unbuffered standard error sends each character on its own, which under Wine is a server round
// trip a character.
void WriteStandardError(const char *text, size_t size);

// Brackets every call of the plug-in's entry: while it runs, dialogs the plug-in opens are
// answered when the session asks for it (--close-dialogs).
struct HostSession;
void BeginPluginCall(HostSession *session);
void EndPluginCall(HostSession *session);

#endif  // KIVAGLOBE_HOST_HOST_PLATFORM_H
