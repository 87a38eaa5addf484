// host_platform_posix.cpp -- the native twin of host_platform_win32.cpp. No Windows plug-in
// can be loaded here; the native tests give the session a PluginModule of their own, whose
// entry is a function of the test program.
#include <cstdio>
#include <cstring>

#include "host/host_platform.h"

bool LoadPluginModule(const char *path, PluginModule *module, char *error, size_t errorSize) {
  std::memset(module, 0, sizeof(*module));
  std::snprintf(error, errorSize, "cannot load the plug-in %s: plug-ins run only in the Windows builds", path);
  return false;
}

void UnloadPluginModule(PluginModule *module) { std::memset(module, 0, sizeof(*module)); }

void MapHostPath(char *path, size_t capacity) {}

void WriteStandardError(const char *text, size_t size) { std::fwrite(text, 1, size, stderr); }

void BeginPluginCall(HostSession *session) {}
void EndPluginCall(HostSession *session) {}
