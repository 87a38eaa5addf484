// file_hooks.cpp -- the table of file procedures; empty until the module installs them.
#include "plugin/file_hooks.h"

PluginFileHooks gPluginFileHooks = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
