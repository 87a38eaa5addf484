// plugin_properties.cpp -- reading and judging a plug-in's property list.
#include "host/plugin_properties.h"

#include <cstdio>
#include <cstring>

#include "host/enable_expression.h"

OSType4 HostCodePropertyKey() { return sizeof(void *) == 8 ? kPiplKeyCodeWin64 : kPiplKeyCodeWin32; }

static void FourCCText(OSType4 code, char text[5]) {
  for (int i = 0; i < 4; i++) {
    char c = char((code >> (24 - 8 * i)) & 0xFF);
    text[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  text[4] = 0;
}

// A NUL-terminated string property copied into `out`; false when it is not terminated inside
// the property or does not fit.
static bool CopyCString(const uint8_t *data, uint32_t length, uint32_t skip, char *out, size_t capacity) {
  const char *text = PiplCString(data, length, skip);
  if (text == nullptr || std::strlen(text) >= capacity) return false;
  std::memcpy(out, text, std::strlen(text) + 1);
  return true;
}

bool ReadPluginProperties(const uint8_t *list, size_t size, OSType4 codeKey, PluginProperties *properties,
                          char *error, size_t errorSize) {
  std::memset(properties, 0, sizeof(*properties));
  auto malformed = [&](const char *why) {
    std::snprintf(error, errorSize, "the plug-in's property list is malformed: %s", why);
    return false;
  };
  if (list == nullptr || size < kPiplHeaderSize) return malformed("shorter than its header");
  if (PiplReadU16(list) != kPiplReservedWord) return malformed("bad first word");
  uint32_t count = PiplReadU32(list + 6);
  size_t at = kPiplHeaderSize;
  for (uint32_t i = 0; i < count; i++) {
    if (size - at < kPiplPropertyHeaderSize) return malformed("a property runs past the end");
    const OSType4 vendor = PiplReadU32(list + at);
    const OSType4 key = PiplReadU32(list + at + 4);
    const uint32_t length = PiplReadU32(list + at + 12);
    at += kPiplPropertyHeaderSize;
    if (length > size - at) return malformed("a property runs past the end");
    const uint8_t *data = list + at;
    at += length;
    // Step over the padding when a writer did not count it in the length.
    size_t padding = (4 - (length & 3)) & 3;
    at += padding <= size - at ? padding : size - at;
    if (vendor != kPiplVendor) continue;

    if (key == kPiplKeyKind) {
      if (length < 4) return malformed("short 'kind'");
      properties->kind = PiplReadU32(data);
      properties->haveKind = true;
    } else if (key == kPiplKeyName) {
      if (!PiplReadPascalString(data, length, properties->name, sizeof properties->name))
        return malformed("bad 'name'");
    } else if (key == kPiplKeyCategory) {
      if (!PiplReadPascalString(data, length, properties->category, sizeof properties->category))
        return malformed("bad 'catg'");
    } else if (key == codeKey) {
      if (!CopyCString(data, length, 0, properties->entryName, sizeof properties->entryName))
        return malformed("bad code property");
      properties->haveEntry = properties->entryName[0] != 0;
    } else if (key == kPiplKeyModes) {
      if (length < 2) return malformed("short 'mode'");
      properties->modes = PiplReadModeFlags(data);
      properties->haveModes = true;
    } else if (key == kPiplKeyEnable) {
      if (!CopyCString(data, length, 0, properties->enableExpression, sizeof properties->enableExpression))
        return malformed("bad 'enbl'");
      properties->haveEnable = true;
    } else if (key == kPiplKeyFilterCases) {
      if (length < sizeof(PiplFilterCaseInfo) * kPiplFilterCaseCount) return malformed("short 'fici'");
      std::memcpy(properties->filterCases, data, sizeof properties->filterCases);
      properties->haveFilterCases = true;
    }
  }
  return true;
}

bool CheckPluginRunnable(const PluginProperties &properties, OSType4 codeKey, char *error, size_t errorSize) {
  char code[5];
  if (!properties.haveKind || properties.kind != kPiplKindFilter) {
    FourCCText(properties.kind, code);
    if (properties.haveKind)
      std::snprintf(error, errorSize, "the plug-in is not a filter: its kind is '%s', not '8BFM'", code);
    else
      std::snprintf(error, errorSize, "the plug-in's property list does not say what kind of plug-in it is");
    return false;
  }
  if (!properties.haveEntry) {
    FourCCText(codeKey, code);
    std::snprintf(error, errorSize, "the plug-in has no code for this host: its property list has no '%s' entry",
                  code);
    return false;
  }
  return true;
}

bool CheckPluginEnablesMode(const PluginProperties &properties, int32_t imageMode, int32_t depth, char *error,
                            size_t errorSize) {
  const char *modeName = ImageModeName(imageMode);
  if (modeName == nullptr) modeName = "unknown mode";
  if (properties.haveEnable) {
    EnableResult r = EvaluateEnableExpression(properties.enableExpression, imageMode, depth);
    if (r == kEnableYes) return true;
    if (r == kEnableUnreadable)
      std::snprintf(error, errorSize, "the plug-in's enable expression cannot be read: \"%s\"",
                    properties.enableExpression);
    else
      std::snprintf(error, errorSize, "the plug-in does not work on %s documents (enable expression \"%s\")",
                    modeName, properties.enableExpression);
    return false;
  }
  if (properties.haveModes) {
    if (imageMode >= 0 && imageMode < 16 && (properties.modes & PiplModeBit(imageMode)) != 0) return true;
    std::snprintf(error, errorSize, "the plug-in does not work on %s documents (supported modes 0x%04X)", modeName,
                  unsigned(properties.modes));
    return false;
  }
  // A property list that names no modes enables the filter everywhere.
  return true;
}
