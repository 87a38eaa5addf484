// plugin_properties.h -- what the host reads from a plug-in's property list before it runs
// it, and whether the plug-in may run on the document.
//
// The byte layout is plugin/pipl_layout.h's. The host needs the kind (it runs filters only),
// the entry name of the code property for its own width ('8664' in a 64-bit host, 'wx86' in a
// 32-bit one), and the modes: the enable expression when there is one, else the
// supported-modes flags (which name 16-bit modes through their own bits).
#ifndef KIVAGLOBE_HOST_PLUGIN_PROPERTIES_H
#define KIVAGLOBE_HOST_PLUGIN_PROPERTIES_H

#include <cstddef>
#include <cstdint>

#include "plugin/host_interface.h"
#include "plugin/pipl_layout.h"

struct PluginProperties {
  OSType4 kind;
  bool haveKind;
  char name[256];                  // empty when absent
  char category[256];
  char entryName[256];             // of the code property for this host's width
  bool haveEntry;
  uint16_t modes;                  // supported-modes flags
  bool haveModes;
  char enableExpression[1024];
  bool haveEnable;
  PiplFilterCaseInfo filterCases[kPiplFilterCaseCount];
  bool haveFilterCases;
};

// The code property this host runs: '8664' for a 64-bit host, 'wx86' for a 32-bit one.
OSType4 HostCodePropertyKey();

// Walks the whole property list (every property must lie inside `size`) and collects what the
// host uses, reading the code property `codeKey`. False, with a reason, when the list is
// malformed; missing properties are left for CheckPluginRunnable to judge.
bool ReadPluginProperties(const uint8_t *list, size_t size, OSType4 codeKey, PluginProperties *properties,
                          char *error, size_t errorSize);

// Refuses, with a message for the user, a plug-in that is not a filter or has no code for
// this width.
bool CheckPluginRunnable(const PluginProperties &properties, OSType4 codeKey, char *error, size_t errorSize);

// Refuses, with a message, a plug-in whose modes do not include the document's mode.
bool CheckPluginEnablesMode(const PluginProperties &properties, int32_t imageMode, int32_t depth, char *error,
                            size_t errorSize);

#endif  // KIVAGLOBE_HOST_PLUGIN_PROPERTIES_H
