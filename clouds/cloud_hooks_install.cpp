// cloud_hooks_install.cpp -- the cloud cache behind the renderer's cloud point.
#include "clouds/cloud_hooks_install.h"

#include "clouds/cloud_files.h"
#include "render/render_setup.h"

void InstallCloudHooks() { gReadCloudCacheHook = ReadCloudCache; }
