// texture_maps.h -- the platform seam of the built-in texture maps: where the raw bytes of an
// RT_RCDATA resource of the plug-in module are.
//
//   texture_maps_win32.cpp   FindResourceA / LoadResource / LockResource / SizeofResource in
//                            the module (gModuleInstance), type RT_RCDATA
//   texture_maps_posix.cpp   the same five maps linked into the program as arrays, generated at
//                            build time from the committed files in resources/textures/
#ifndef KIVAGLOBE_FILES_TEXTURE_MAPS_H
#define KIVAGLOBE_FILES_TEXTURE_MAPS_H

#include <cstdint>

// The bytes and byte count of raw resource `resourceId`. False (and null, 0) when the module has
// no such resource. The bytes stay valid for as long as the module is loaded; never write them.
bool FindRawResource(int32_t resourceId, const uint8_t **bytes, uint32_t *byteCount);

#endif  // KIVAGLOBE_FILES_TEXTURE_MAPS_H
