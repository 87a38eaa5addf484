// properties_fuzz.cpp -- the host's reading of a plug-in's property list and enable expression,
// on arbitrary bytes: a plug-in file is input the host does not control.
#include <cstdint>
#include <cstring>
#include <string>

#include "host/enable_expression.h"
#include "host/plugin_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  PluginProperties properties;
  char error[512];
  if (ReadPluginProperties(data, size, HostCodePropertyKey(), &properties, error, sizeof error)) {
    CheckPluginRunnable(properties, HostCodePropertyKey(), error, sizeof error);
    CheckPluginEnablesMode(properties, 3, 8, error, sizeof error);
  }
  std::string text(reinterpret_cast<const char *>(data), size);
  EvaluateEnableExpression(text.c_str(), int32_t(size % 18), 8);
  return 0;
}
