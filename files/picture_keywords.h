// picture_keywords.h -- the IPTC keywords that describe what a rendered picture shows, beyond
// the fixed ones every exported picture carries.
#ifndef KIVAGLOBE_FILES_PICTURE_KEYWORDS_H
#define KIVAGLOBE_FILES_PICTURE_KEYWORDS_H

#include "files/jpeg_markers.h"
#include "plugin/globals.h"

// Adds "realclouds" when the planet wears real satellite clouds, then the output mode's name
// ("lit map", ...) unless the mode is the globe (1). The list drops duplicates and overflow.
void AddModeKeywords(IptcBuilder *keywords, PluginGlobals *globals);

// Adds "HDR" and then "high dynamic range" when the layered export writes 4-byte channels.
// Nothing when either is null (the JPEG writer passes no description).
struct LayerExportDescription;
void AddHdrKeywords(IptcBuilder *keywords, const LayerExportDescription *description);

#endif  // KIVAGLOBE_FILES_PICTURE_KEYWORDS_H
