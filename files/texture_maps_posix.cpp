// texture_maps_posix.cpp -- the raw resources of a native build: the arrays generated from the
// committed texture files.
#include "files/embedded_resources.h"
#include "files/texture_maps.h"

bool FindRawResource(int32_t resourceId, const uint8_t **bytes, uint32_t *byteCount) {
  *bytes = nullptr;
  *byteCount = 0;
  for (int32_t k = 0; k < kEmbeddedRawResourceCount; ++k) {
    if (kEmbeddedRawResources[k].id == resourceId) {
      *bytes = kEmbeddedRawResources[k].bytes;
      *byteCount = kEmbeddedRawResources[k].byteCount;
      return true;
    }
  }
  return false;
}
