// linked_plugin.h -- a host session on the plug-in linked into the test program: the host's
// own filter record, sampling, delivery and displayPixels, the plug-in's DispatchSelector as
// the module's entry, with the property list a built plug-in would carry.
#ifndef KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H
#define KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H

#include <cstring>
#include <vector>

#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "tests/host/pipl_builder.h"

inline void KV_HOSTAPI LinkedPluginEntry(int16_t selector, FilterRecord *record, intptr_t *data, int16_t *result) {
  DispatchSelector(selector, record, data, result);
}

inline void *FindLinkedPluginEntry(void *, const char *name) {
  return std::strcmp(name, "PluginMain") == 0 ? reinterpret_cast<void *>(LinkedPluginEntry) : nullptr;
}

// Opens `session` with the host's command line `args` (after the program name and the plug-in,
// which are added here), its report going to `report`. False with the reason in `error`.
inline bool OpenLinkedPluginSession(HostSession *session, std::vector<const char *> args, FILE *report, char *error,
                                    size_t errorSize) {
  static std::vector<uint8_t> pipl;
  args.insert(args.begin(), {"kivahost", "--plugin", "linked"});
  HostOptions options;
  if (!ParseHostOptions(int(args.size()), args.data(), &options, error, errorSize)) return false;
  pipl = FilterPipl(HostCodePropertyKey(), "PluginMain").Bytes();
  PluginModule module = {};
  module.properties = pipl.data();
  module.propertiesSize = pipl.size();
  module.findExport = FindLinkedPluginEntry;
  return OpenHostSession(session, options, module, report, error, errorSize);
}

#endif  // KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H
