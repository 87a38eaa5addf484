// plugin_run.cpp -- see plugin_run.h.
#include "tests/host/plugin_run.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "foundation/clock.h"
#include "tests/host/test_files.h"

PluginRun::PluginRun(std::vector<const char *> args) : reportPath(TempPath("plugin_report.txt")) {
  char plugin[kHostPathSize];
  std::snprintf(plugin, sizeof plugin, "%s", gPluginPath);
  args.insert(args.begin(), {"kivahost", "--plugin", plugin, "--close-dialogs"});
  HostOptions options;
  char text[kHostPathSize + 256] = "";
  EXPECT_TRUE(ParseHostOptions(int(args.size()), args.data(), &options, text, sizeof text)) << text;
  for (char *path : {options.pluginPath, options.inPath, options.outPath, options.maskPath})
    if (path[0] != 0) MapHostPath(path, kHostPathSize);
  loaded = LoadPluginModule(options.pluginPath, &module, text, sizeof text);
  if (!loaded) {
    error = text;
    return;
  }
  FILE *out = std::fopen(reportPath.c_str(), "wb");
  session = new HostSession();
  secondsBefore = CurrentTimeSeconds();
  opened = OpenHostSession(session, options, module, out, text, sizeof text);
  error = text;
  if (opened) {
    status = RunHostSession(session);
    secondsAfter = CurrentTimeSeconds();
    dataSlotAfterRun = session->dataSlot;
    finishStatus = FinishHostSession(session);
  }
  std::fclose(out);
  report = ReadTextFile(reportPath);
}

PluginRun::~PluginRun() {
  if (session != nullptr) {
    CloseHostSession(session);
    delete session;
  }
  UnloadPluginModule(&module);
  std::remove(reportPath.c_str());
}

int16_t PluginRun::ResultOf(int16_t selector) const {
  for (const HostCall &c : session->calls)
    if (c.selector == selector) return c.result;
  return 9999;
}

std::vector<int16_t> PluginRun::Selectors() const {
  std::vector<int16_t> v;
  for (const HostCall &c : session->calls) v.push_back(c.selector);
  return v;
}

const ParameterBlock *PluginRun::Parameters() const {
  HostHandle h = session->record.parameters;
  if (h == nullptr) return nullptr;
  HostBlock *b = FindHandle(&session->memory, h);
  if (b == nullptr || b->size < int32_t(sizeof(ParameterBlock))) return nullptr;
  return reinterpret_cast<const ParameterBlock *>(*h);
}
