// settings_fields.cpp -- the order of the saved parameters and the writer's walk over it.
#include "files/settings_fields.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#define KV_COLOR(field, channel) static_cast<uint16_t>(offsetof(ParameterBlock, field) + offsetof(ParameterColor, channel))
#define KV_WORD(field) static_cast<uint16_t>(offsetof(ParameterBlock, field))
#define KV_ELEMENT(field, i) static_cast<uint16_t>(offsetof(ParameterBlock, field) + (i) * sizeof(float))

// The file layout of version 40 is this table in order, one word per entry, with the picture
// blocks where they stand; the descriptor's 59 keys are the entries with a key, in the same
// order. There is no key '0033': the output mode went to 'LGky' long ago.
const SettingsField kSettingsFields[] = {
    {kFieldVersion, 0, 0},
    {kFieldColor, KV_COLOR(landColor, red), FourCC('0', '0', '0', '1')},
    {kFieldColor, KV_COLOR(landColor, green), FourCC('0', '0', '0', '2')},
    {kFieldColor, KV_COLOR(landColor, blue), FourCC('0', '0', '0', '3')},
    {kFieldColor, KV_COLOR(airColor, red), FourCC('0', '0', '0', '4')},
    {kFieldColor, KV_COLOR(airColor, green), FourCC('0', '0', '0', '5')},
    {kFieldColor, KV_COLOR(airColor, blue), FourCC('0', '0', '0', '6')},
    {kFieldColor, KV_COLOR(seaColor, red), FourCC('0', '0', '0', '7')},
    {kFieldColor, KV_COLOR(seaColor, green), FourCC('0', '0', '0', '8')},
    {kFieldColor, KV_COLOR(seaColor, blue), FourCC('0', '0', '0', '9')},
    {kFieldWord, KV_WORD(airDepth), FourCC('0', '0', '1', '0')},
    {kFieldWord, KV_WORD(cloudHeight), FourCC('0', '0', '1', '1')},
    {kFieldWord, KV_WORD(cloudShadows), FourCC('0', '0', '1', '2')},
    {kFieldWord, KV_WORD(sunset), FourCC('0', '0', '1', '3')},
    {kFieldWord, KV_WORD(planetSize), FourCC('0', '0', '1', '4')},
    {kFieldWord, KV_WORD(landComplexity), FourCC('0', '0', '1', '5')},
    {kFieldWord, KV_WORD(reliefSetting), 0},
    {kFieldWord, KV_WORD(stormSize), FourCC('0', '0', '1', '6')},
    {kFieldWord, KV_WORD(stormCount), FourCC('0', '0', '1', '7')},
    {kFieldWord, KV_WORD(stormSwirl), FourCC('0', '0', '1', '8')},
    {kFieldWord, KV_WORD(airBrightness), FourCC('0', '0', '1', '9')},
    {kFieldCheckBox, KV_WORD(realClouds), FourCC('0', '0', '2', '0')},
    {kFieldCheckBox, KV_WORD(backlighting), FourCC('0', '0', '2', '1')},
    {kFieldWord, KV_WORD(seaLevel), FourCC('0', '0', '2', '2')},
    {kFieldWord, KV_WORD(desert), FourCC('0', '0', '2', '3')},
    {kFieldWord, KV_WORD(craterCount), FourCC('0', '0', '2', '4')},
    {kFieldWord, KV_WORD(craterSize), FourCC('2', '4', 'p', '5')},
    {kFieldWord, KV_WORD(craterTexture), FourCC('0', '0', '2', '5')},
    {kFieldWord, KV_WORD(cloudEdges), FourCC('0', '0', '2', '6')},
    {kFieldWord, KV_WORD(cloudSetting), 0},
    {kFieldColor, KV_COLOR(cloudColor, red), FourCC('0', '0', '2', '7')},
    {kFieldColor, KV_COLOR(cloudColor, green), FourCC('0', '0', '2', '8')},
    {kFieldColor, KV_COLOR(cloudColor, blue), FourCC('0', '0', '2', '9')},
    {kFieldColor, KV_COLOR(cloudColor, red), 0},     // the cloud colour a second time:
    {kFieldColor, KV_COLOR(cloudColor, green), 0},   // old readers took this copy
    {kFieldColor, KV_COLOR(cloudColor, blue), 0},
    {kFieldColor, KV_COLOR(spareColor, red), 0},
    {kFieldColor, KV_COLOR(spareColor, green), 0},
    {kFieldColor, KV_COLOR(spareColor, blue), 0},
    {kFieldWord, KV_WORD(landTexture), FourCC('0', '0', '3', '0')},
    {kFieldWord, KV_WORD(cloudCoverage), FourCC('0', '0', '3', '1')},
    {kFieldCheckBox, KV_WORD(realLuna), FourCC('0', '0', '3', '2')},
    {kFieldOutputMode, KV_WORD(outputMode), FourCC('L', 'G', 'k', 'y')},
    {kFieldMarker, 0, 0},
    {kFieldWord, KV_WORD(cities), FourCC('0', '0', '3', '4')},
    {kFieldWord, KV_WORD(cloudViscosity), FourCC('0', '0', '3', '5')},
    {kFieldCheckBox, KV_WORD(lunarClimate), FourCC('0', '0', '3', '6')},
    {kFieldWord, KV_WORD(ice), FourCC('0', '0', '3', '7')},
    {kFieldWord, KV_WORD(cloudTexture), FourCC('0', '0', '3', '8')},
    {kFieldHundredths, KV_ELEMENT(lightVector, 0), FourCC('0', '0', '3', '9')},
    {kFieldHundredths, KV_ELEMENT(lightVector, 1), FourCC('0', '0', '4', '0')},
    {kFieldHundredths, KV_ELEMENT(lightVector, 2), FourCC('0', '0', '4', '1')},
    {kFieldHundredths, KV_ELEMENT(axisVector, 0), FourCC('0', '0', '4', '2')},
    {kFieldHundredths, KV_ELEMENT(axisVector, 1), FourCC('0', '0', '4', '3')},
    {kFieldHundredths, KV_ELEMENT(axisVector, 2), FourCC('0', '0', '4', '4')},
    {kFieldWord, KV_WORD(randomSeed), FourCC('0', '0', '4', '5')},
    {kFieldWord, KV_WORD(cloudCoriolis), FourCC('0', '0', '4', '6')},
    {kFieldMarker, 0, 0},
    {kFieldWord, KV_WORD(cloudImage), FourCC('0', '0', '4', '7')},
    {kFieldColor, KV_COLOR(desertColor, red), FourCC('0', '0', '4', '8')},
    {kFieldColor, KV_COLOR(desertColor, green), FourCC('0', '0', '4', '9')},
    {kFieldColor, KV_COLOR(desertColor, blue), FourCC('0', '0', '5', '0')},
    {kFieldColor, KV_COLOR(iceColor, red), FourCC('0', '0', '5', '1')},
    {kFieldColor, KV_COLOR(iceColor, green), FourCC('0', '0', '5', '2')},
    {kFieldColor, KV_COLOR(iceColor, blue), FourCC('0', '0', '5', '3')},
    {kFieldPictureBlock, 0, 0},
    {kFieldColor, KV_COLOR(cityColor, red), FourCC('0', '0', '5', '4')},
    {kFieldColor, KV_COLOR(cityColor, green), FourCC('0', '0', '5', '5')},
    {kFieldColor, KV_COLOR(cityColor, blue), FourCC('0', '0', '5', '6')},
    {kFieldFraction, KV_WORD(centerX), FourCC('0', '0', '5', '7')},
    {kFieldFraction, KV_WORD(centerY), FourCC('0', '0', '5', '8')},
    {kFieldThumbnail, 0, 0},
};
const int32_t kSettingsFieldCount = int32_t(sizeof kSettingsFields / sizeof kSettingsFields[0]);

#undef KV_COLOR
#undef KV_WORD
#undef KV_ELEMENT

uint32_t SettingsFieldWord(const ParameterBlock *block, const SettingsField *field) {
  uint32_t value;
  std::memcpy(&value, reinterpret_cast<const char *>(block) + field->offset, sizeof value);
  return value;
}

uint16_t SettingsFieldChannel(const ParameterBlock *block, const SettingsField *field) {
  uint16_t value;
  std::memcpy(&value, reinterpret_cast<const char *>(block) + field->offset, sizeof value);
  return value;
}

float SettingsFieldFloat(const ParameterBlock *block, const SettingsField *field) {
  float value;
  std::memcpy(&value, reinterpret_cast<const char *>(block) + field->offset, sizeof value);
  return value;
}

int16_t WriteSettingsWith(SettingsWriter *writer, ParameterBlock *block, const SettingsPutProcs *procs) {
  int16_t result = 0;
  writer->block = block;
  for (int32_t i = 0; i < kSettingsFieldCount; i++) {
    const SettingsField *field = &kSettingsFields[i];
    if (field->kind == kFieldVersion) block->settingsVersion = 40;
    if (field->kind == kFieldMarker) block->settingsVersion = 1;
    if (procs->keyedOnly && field->key == 0) continue;
    SettingsPutProc put = procs->put[field->kind];
    if (put == nullptr) continue;
    int16_t r = put(writer, field);
    if (field->kind == kFieldThumbnail) result = r;
  }
  return result;
}

int32_t ScaleToFileWord(float value, double scale) {
  double scaled = double(value) * scale;
  if (!(scaled == scaled)) return 0;
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return int32_t(scaled);
}

void CopySettingsFields(ParameterBlock *to, const ParameterBlock *from) {
  for (int32_t i = 0; i < kSettingsFieldCount; i++) {
    const SettingsField *field = &kSettingsFields[i];
    size_t size = 0;
    switch (field->kind) {
      case kFieldColor: size = sizeof(uint16_t); break;
      case kFieldWord:
      case kFieldCheckBox:
      case kFieldHundredths:
      case kFieldFraction:
      case kFieldOutputMode: size = sizeof(uint32_t); break;
      default: break;
    }
    if (size == 0) continue;
    std::memcpy(reinterpret_cast<char *>(to) + field->offset, reinterpret_cast<const char *>(from) + field->offset,
                size);
  }
}
