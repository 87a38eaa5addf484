// parameters.cpp -- the defaults of the planet, the snapshot copy of its look fields, and the
// two-state undo over the RunState's two snapshot slots.
//
// A snapshot is a full-size image of the ParameterBlock of which only the look fields are
// meaningful: the settings name, the eight colours, the 29 look words, the seed, the light
// and axis vectors and the output mode. The map centre, the cloud image, the run fields and
// the file names are not part of it, so restoring a snapshot leaves them as they are.
//
// Undo keeps the state written last in slot undoSlot. Pushing writes the other slot and makes
// it the last; popping restores the other slot (when it holds a state) and makes it the last.
// Two pops without a push in between therefore toggle between the two newest states.
#include "plugin/parameters.h"

#include <cmath>
#include <cstring>

#include "plugin/file_hooks.h"
#include "plugin/globals.h"

const char kDefaultSettingsName[] = "Kivaglobe settings.q1q";
static const char kPlainSettingsName[] = "plain settings.q1q";

ParameterBlock *GetParameterBlock(PluginGlobals *globals) {
  if (globals == nullptr || globals->filterRecord == nullptr) return nullptr;
  HostHandle parameters = globals->filterRecord->parameters;
  if (parameters == nullptr) return nullptr;
  return reinterpret_cast<ParameterBlock *>(*parameters);
}

// Copies a NUL-terminated string between two fields of kParameterTextSize bytes.
static void CopyTextField(char *dst, const char *src) {
  size_t length = strnlen(src, kParameterTextSize - 1);
  std::memmove(dst, src, length);
  dst[length] = 0;
}

void SetDefaultParameters(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p != nullptr) SetDefaultParameterValues(p);
}

void SetDefaultParameterValues(ParameterBlock *p) {
  // The light comes from the upper left, slightly toward the viewer: z makes it unit length.
  const float lightX = -0.68f;
  const float lightY = -0.68f;
  const float lightXSquared = lightX * lightX;
  const float lightYSquared = lightY * lightY;
  p->lightVector[0] = lightX;
  p->lightVector[1] = lightY;
  p->lightVector[2] = float(std::sqrt(1.0 - double(lightXSquared) - double(lightYSquared)));
  p->axisVector[0] = 0.0f;
  p->axisVector[1] = -1.0f;
  p->axisVector[2] = 0.0f;

  p->outputMode = 1;
  p->randomSeed = 21;
  p->centerX = 0.5f;
  p->centerY = 0.5f;

  p->landColor = {0x3B1C, 0x42D1, 0x9CC5};
  p->airColor = {0x6BF0, 0x8311, 0x9CC5};
  p->seaColor = {0x0CD9, 0x1721, 0x47F5};
  p->desertColor = {0xE3E3, 0xC8C8, 0x9191};
  p->iceColor = {0xE1E1, 0xE3E3, 0xEFEF};
  p->cloudColor = {0xFFFF, 0xFFFF, 0xFFFF};
  p->cityColor = {0x70A3, 0x6147, 0x3333};

  p->airDepth = 33;
  p->cloudHeight = 50;
  p->cloudShadows = 80;
  p->sunset = 80;
  p->planetSize = 65;
  p->landComplexity = 57;
  p->reliefSetting = 0;
  p->stormSize = 30;
  p->stormCount = 4;
  p->stormSwirl = 50;
  p->airBrightness = 33;
  p->realClouds = 0;
  p->backlighting = 0;
  p->realLuna = 0;
  p->seaLevel = 50;
  p->desert = 50;
  p->craterCount = 40;
  p->craterSize = 50;
  p->craterTexture = 50;
  p->landTexture = 50;
  p->cloudCoverage = 50;
  p->cloudEdges = 50;
  p->cloudSetting = 4;
  p->cities = 0;
  p->cloudViscosity = 57;
  p->cloudCoriolis = 100;
  p->lunarClimate = 0;
  p->ice = 20;
  p->cloudTexture = 50;

  p->cloudImage = 0;
}

void CopyParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals, int direction) {
  ParameterBlock *live = GetParameterBlock(globals);
  if (live == nullptr || snapshot == nullptr) return;
  ParameterBlock *from = direction == 0 ? live : snapshot;
  ParameterBlock *to = direction == 0 ? snapshot : live;

  CopyTextField(to->settingsName, from->settingsName);
  // The colours from landColor through spareColor, and the 29 words from airDepth through
  // cloudTexture, are two runs of the layout.
  std::memcpy(&to->landColor, &from->landColor,
              offsetof(ParameterBlock, spareColor) + sizeof(ParameterColor) - offsetof(ParameterBlock, landColor));
  std::memcpy(&to->airDepth, &from->airDepth,
              offsetof(ParameterBlock, cloudTexture) + sizeof(uint32_t) - offsetof(ParameterBlock, airDepth));
  to->randomSeed = from->randomSeed;
  std::memcpy(to->lightVector, from->lightVector, sizeof to->lightVector);
  std::memcpy(to->axisVector, from->axisVector, sizeof to->axisVector);
  to->outputMode = from->outputMode;
}

void SaveParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals) {
  CopyParameterSnapshot(snapshot, globals, 0);
}

void RestoreParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals) {
  CopyParameterSnapshot(snapshot, globals, 1);
}

void PushUndo(PluginGlobals *globals, bool withFile) {
  RunState *run = globals->runState;
  if (run == nullptr) return;
  int16_t slot = int16_t((globals->undoSlot ^ 1) & 1);
  globals->undoSlot = slot;
  ParameterBlock *image = &run->undoSlots[slot];
  SaveParameterSnapshot(image, globals);
  // With its file, the slot's state also goes to "Kivaglobe undo 0" or "1", so that undoing
  // brings back the fields a snapshot does not hold. The slot counts as in its file only when
  // the file was written: otherwise an older file of that name would be taken for it.
  image->slotInFile = 0;
  if (withFile && gPluginFileHooks.saveUndoFile != nullptr) {
    image->slotInFile = gPluginFileHooks.saveUndoFile(globals, slot) == 0 ? 1 : 0;
  }
  image->slotValid = 1;
}

void PopUndo(PluginGlobals *globals) {
  RunState *run = globals->runState;
  if (run == nullptr) return;
  int16_t other = int16_t((globals->undoSlot ^ 1) & 1);
  ParameterBlock *image = &run->undoSlots[other];
  if (!image->slotValid) return;
  RestoreParameterSnapshot(image, globals);
  if (image->slotInFile && gPluginFileHooks.reloadUndoFile != nullptr) gPluginFileHooks.reloadUndoFile(globals, other);
  globals->undoSlot = other;
}

void SetPlainSettingsName(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  CopyTextField(p->settingsName, kPlainSettingsName);
}
