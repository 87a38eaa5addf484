// cloud_hooks_install.h -- connects the renderer's and the run start's cloud-cache point
// (render/render_setup.h) to the cache reader of this library.
#ifndef KIVAGLOBE_CLOUDS_CLOUD_HOOKS_INSTALL_H
#define KIVAGLOBE_CLOUDS_CLOUD_HOOKS_INSTALL_H

// Idempotent and cheap: the exported entry calls it on every call.
void InstallCloudHooks();

#endif  // KIVAGLOBE_CLOUDS_CLOUD_HOOKS_INSTALL_H
