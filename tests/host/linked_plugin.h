// linked_plugin.h -- a host session on the plug-in linked into the test program: the host's
// own filter record, sampling, delivery and displayPixels, the plug-in's DispatchSelector as
// the module's entry, with the property list a built plug-in would carry.
#ifndef KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H
#define KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"

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

// A run of the linked plug-in as the tests keep it: the session, its report file, and after
// Prepare and Start the plug-in's globals and parameter block, with the plug-in's result word
// kept here between the host's calls (the host's own is gone once a call returns).
struct LinkedRun {
  HostSession *session = nullptr;
  FILE *report = nullptr;
  std::string reportPath;
  PluginGlobals *g = nullptr;
  ParameterBlock *p = nullptr;
  int16_t result = 0;

  // Opens the session on `args`, reporting into the temporary file `reportName`; `fill` (when
  // given) paints the document first. "" when Prepare and Start succeeded, else the reason.
  std::string Start(const std::vector<const char *> &args, const std::string &reportName,
                    void (*fill)(HostSession *) = nullptr) {
    char error[1024] = "";
    reportPath = TempPath(reportName);
    report = std::fopen(reportPath.c_str(), "wb");
    session = new HostSession();
    if (!OpenLinkedPluginSession(session, args, report, error, sizeof error)) return error;
    if (fill != nullptr) fill(session);
    if (CallSelector(session, kSelectorPrepare) != 0) return "Prepare failed";
    if (CallSelector(session, kSelectorStart) != 0) return "Start failed";
    g = reinterpret_cast<PluginGlobals *>(*reinterpret_cast<HostHandle>(session->dataSlot));
    g->resultPtr = &result;
    p = GetParameterBlock(g);
    return p != nullptr ? "" : "no parameter block";
  }

  void Close() {
    if (session != nullptr) {
      CloseHostSession(session);
      delete session;
    }
    if (report != nullptr) std::fclose(report);
    if (!reportPath.empty()) std::remove(reportPath.c_str());
    session = nullptr;
    report = nullptr;
  }
};

#endif  // KIVAGLOBE_TESTS_HOST_LINKED_PLUGIN_H
