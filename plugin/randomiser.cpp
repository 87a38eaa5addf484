// randomiser.cpp -- the random planet of the dice button (see randomiser.h).
#include "plugin/randomiser.h"

#include "foundation/random.h"
#include "plugin/globals.h"

static const char kRandomSettingsName[] = "random settings.q1q";

void NameRandomPreset(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  static_assert(sizeof kRandomSettingsName <= sizeof p->settingsName);
  for (size_t i = 0; i < sizeof kRandomSettingsName; i++) p->settingsName[i] = kRandomSettingsName[i];
}

void RandomColor(ParameterColor *color) {
  color->red = uint16_t(CallRand() * 256);
  color->green = uint16_t(CallRand() * 256);
  color->blue = uint16_t(CallRand() * 256);
}

static uint16_t TintChannel(int32_t channel, int32_t grey, int32_t weight) {
  int32_t value = ((256 - weight) * channel + grey * weight) >> 8;
  if (value < 0) value = 0;
  if (value > 65535) value = 65535;
  return uint16_t(value);
}

void RandomTint(ParameterColor *color, int32_t weight) {
  ParameterColor base;
  RandomColor(&base);
  int32_t grey = (77 * int32_t(base.red) + 150 * int32_t(base.green) + 28 * int32_t(base.blue)) >> 8;
  color->red = TintChannel(base.red, grey, weight);
  color->green = TintChannel(base.green, grey, weight);
  color->blue = TintChannel(base.blue, grey, weight);
}

// One channel of the city colour: a warm light around the base value k, drawn twice.
static uint16_t CityChannel(double k) {
  int32_t a = 225 + RandomInRange(0, 30);
  int32_t b = 225 + RandomInRange(0, 30);
  return uint16_t(int32_t((double(b) + (k - double(a)) * 0.6) * 257.0));
}

void RandomiseSettings(PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;

  (void)RandomInRange(0, 100);
  // A deep and bright atmosphere washes the planet out: keep their product modest.
  do {
    p->airDepth = uint32_t(RandomInRange(0, 100));
    p->airBrightness = uint32_t(RandomInRange(25, 75));
  } while (p->airDepth * p->airBrightness > 725);

  p->cloudHeight = uint32_t(RandomInRange(25, 100));
  p->cloudShadows = uint32_t(RandomInRange(70, 100));
  p->sunset = uint32_t(RandomInRange(0, 100));
  p->landComplexity = uint32_t(RandomInRange(40, 70));
  p->reliefSetting = uint32_t(RandomInRange(0, 30));
  p->stormSize = uint32_t(RandomInRange(5, 50));
  p->stormCount = uint32_t(RandomInRange(0, 30));
  p->stormSwirl = uint32_t(RandomInRange(30, 70));
  p->realClouds = uint32_t(RandomInRange(0, 1));

  RandomColor(&p->landColor);
  RandomTint(&p->airColor, 192);
  if (RandomInRange(0, 100) > 90) RandomTint(&p->airColor, 128);
  RandomColor(&p->seaColor);

  p->seaLevel = uint32_t(RandomInRange(0, 100));
  p->desert = uint32_t(RandomInRange(30, 70));
  p->craterCount = uint32_t(RandomInRange(10, 35));
  if (RandomInRange(0, 100) < 70) p->craterCount = 0;
  // Few craters may be large, many must be small.
  p->craterSize = 35;
  if (p->craterCount != 0) {
    uint32_t size = 1750 / p->craterCount;
    p->craterSize = size > 100 ? 100 : size;
  }

  p->craterTexture = uint32_t(RandomInRange(30, 60));
  p->cities = uint32_t(RandomInRange(25, 37));   // drawn to keep the sequence; replaced below
  p->cloudViscosity = 25;
  p->cloudCoriolis = uint32_t(50 + RandomInRange(0, 50));
  p->cloudEdges = uint32_t(RandomInRange(0, 100));
  p->cloudSetting = uint32_t(RandomInRange(0, 20));
  p->ice = uint32_t(RandomInRange(0, 100));
  p->cloudTexture = uint32_t(RandomInRange(20, 80));

  p->randomSeed = uint32_t(CallRand()) & 0x7FF;

  p->cloudColor.red = uint16_t((225 + RandomInRange(0, 30)) * 255);
  p->cloudColor.green = uint16_t((225 + RandomInRange(0, 30)) * 255);
  p->cloudColor.blue = uint16_t((225 + RandomInRange(0, 30)) * 255);

  // The tint's draws are spent, but its values are replaced by sodium-lamp colours.
  RandomTint(&p->cityColor, 220);
  p->cityColor.red = CityChannel(112.2);
  p->cityColor.green = CityChannel(96.9);
  p->cityColor.blue = CityChannel(51.0);

  p->cities = 0;
  if (RandomInRange(0, 100) > 85) p->cities = uint32_t(30 + RandomInRange(0, 50));

  RandomColor(&p->spareColor);
  RandomTint(&p->desertColor, 200);
  RandomTint(&p->iceColor, 220);

  p->realLuna = 0;
  if (RandomInRange(0, 100) > 95) p->realLuna = 1;

  p->landTexture = uint32_t(RandomInRange(10, 60));
  p->cloudCoverage = uint32_t(RandomInRange(0, 50));
}
