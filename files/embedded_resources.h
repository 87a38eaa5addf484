// embedded_resources.h -- raw resources linked into a native program as arrays, the posix stand-in
// for the RT_RCDATA resources of the plug-in module. The table is generated at build time by
// tools/embed_raw_resources.py from the committed files in resources/textures/.
#ifndef KIVAGLOBE_FILES_EMBEDDED_RESOURCES_H
#define KIVAGLOBE_FILES_EMBEDDED_RESOURCES_H

#include <cstdint>

struct EmbeddedRawResource {
  int32_t id;
  const uint8_t *bytes;
  uint32_t byteCount;
};

extern const EmbeddedRawResource kEmbeddedRawResources[];
extern const int32_t kEmbeddedRawResourceCount;

#endif  // KIVAGLOBE_FILES_EMBEDDED_RESOURCES_H
