// texture_maps_win32.cpp -- the raw resources of the plug-in module (RT_RCDATA), found through the
// module instance that the dispatcher keeps. A null instance searches the program's own module,
// which is how the Windows tests carry the maps.
#include <windows.h>

#include "files/texture_maps.h"
#include "plugin/host_utils.h"

bool FindRawResource(int32_t resourceId, const uint8_t **bytes, uint32_t *byteCount) {
  *bytes = nullptr;
  *byteCount = 0;
  HMODULE module = static_cast<HMODULE>(gModuleInstance);
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10));
  if (info == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, info);
  if (loaded == nullptr) return false;
  const void *data = LockResource(loaded);
  if (data == nullptr) return false;
  *bytes = static_cast<const uint8_t *>(data);
  *byteCount = SizeofResource(module, info);
  return true;
}
