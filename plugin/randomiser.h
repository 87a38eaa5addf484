// randomiser.h -- the dice button's random planet and the random colours it draws.
//
// RandomiseSettings overwrites most look fields of the ParameterBlock with values drawn from
// fixed ranges, some by dependent rules (air depth against air brightness, crater size from
// the crater count, the city colour from a base tint), so that random planets stay plausible.
// Every draw comes from the shared generator of foundation/random.h, in a fixed order: the
// same generator state always gives the same planet.
//
// Left as they were: planetSize, backlighting, lunarClimate, outputMode, the light and axis
// vectors, the map centre, cloudImage and every run field.
#ifndef KIVAGLOBE_PLUGIN_RANDOMISER_H
#define KIVAGLOBE_PLUGIN_RANDOMISER_H

#include <cstdint>

#include "plugin/parameters.h"

// settingsName := "random settings.q1q".
void NameRandomPreset(PluginGlobals *globals);

// Draws a random planet into the ParameterBlock.
void RandomiseSettings(PluginGlobals *globals);

// Three channels, each the low byte of a rand() moved into the high byte.
void RandomColor(ParameterColor *color);

// A RandomColor pulled toward its own grey (77 R + 150 G + 28 B) >> 8 by weight / 256:
// 0 keeps the random colour, 256 gives the grey.
void RandomTint(ParameterColor *color, int32_t weight);

#endif  // KIVAGLOBE_PLUGIN_RANDOMISER_H
