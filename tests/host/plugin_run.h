// plugin_run.h -- one host session on this tree's real plug-in, run in-process from a command
// line as kivahost would run it, and kept open for the tests to inspect (Windows trees).
#ifndef KIVAGLOBE_TESTS_HOST_PLUGIN_RUN_H
#define KIVAGLOBE_TESTS_HOST_PLUGIN_RUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "plugin/parameters.h"

// The plug-in of this tree: the test program's first argument.
extern const char *gPluginPath;

struct PluginRun {
  PluginModule module = {};
  HostSession *session = nullptr;
  bool loaded = false;
  bool opened = false;
  intptr_t dataSlotAfterRun = -1;
  int status = -1;
  int finishStatus = -1;
  int64_t secondsBefore = 0;   // the clock around the session (the plug-in seeds its generator
  int64_t secondsAfter = 0;    //   from it at Prepare)
  std::string error;
  std::string report;
  std::string reportPath;

  // Runs kivahost's session with these arguments (after --plugin and --close-dialogs).
  explicit PluginRun(std::vector<const char *> args);
  ~PluginRun();
  PluginRun(const PluginRun &) = delete;
  PluginRun &operator=(const PluginRun &) = delete;

  // The result of the first call of `selector`, 9999 when it was not called.
  int16_t ResultOf(int16_t selector) const;
  std::vector<int16_t> Selectors() const;
  // The block in the host's parameters handle; null when there is none of the right size.
  const ParameterBlock *Parameters() const;
};

#endif  // KIVAGLOBE_TESTS_HOST_PLUGIN_RUN_H
