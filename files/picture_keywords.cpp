// picture_keywords.cpp -- see picture_keywords.h.
#include "files/picture_keywords.h"

#include "files/psd_export.h"
#include "plugin/output_passes.h"
#include "plugin/parameters.h"

void AddModeKeywords(IptcBuilder *keywords, PluginGlobals *globals) {
  if (keywords == nullptr || globals == nullptr) return;
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  if (p->realClouds != 0) AddIptcKeyword(keywords, "realclouds");
  // OutputModeName gives the empty string for a mode outside 1..14, which the list ignores.
  if (p->outputMode != 1) AddIptcKeyword(keywords, OutputModeName(p->outputMode));
}

void AddHdrKeywords(IptcBuilder *keywords, const LayerExportDescription *description) {
  if (keywords == nullptr || description == nullptr || description->bytesPerChannel != 4) return;
  AddIptcKeyword(keywords, "HDR");
  AddIptcKeyword(keywords, "high dynamic range");
}
