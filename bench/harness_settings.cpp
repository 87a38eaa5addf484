// harness_settings.cpp -- the parameter block's fields by name.
#include "bench/harness_settings.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct WordField {
  const char *name;
  size_t offset;
};

#define KV_WORD(f) {#f, offsetof(ParameterBlock, f)}
const WordField kWordFields[] = {
    KV_WORD(outputMode),    KV_WORD(randomSeed),     KV_WORD(airDepth),       KV_WORD(cloudHeight),
    KV_WORD(cloudShadows),  KV_WORD(sunset),         KV_WORD(planetSize),     KV_WORD(landComplexity),
    KV_WORD(stormSize),     KV_WORD(stormCount),     KV_WORD(stormSwirl),     KV_WORD(airBrightness),
    KV_WORD(realClouds),    KV_WORD(backlighting),   KV_WORD(realLuna),       KV_WORD(seaLevel),
    KV_WORD(desert),        KV_WORD(craterCount),    KV_WORD(craterSize),     KV_WORD(craterTexture),
    KV_WORD(landTexture),   KV_WORD(cloudCoverage),  KV_WORD(cloudEdges),     KV_WORD(cities),
    KV_WORD(cloudViscosity), KV_WORD(cloudCoriolis), KV_WORD(lunarClimate),   KV_WORD(ice),
    KV_WORD(cloudTexture),  KV_WORD(zoomDivisor),    KV_WORD(renderTarget),
};
#undef KV_WORD

}  // namespace

const char *const kHarnessSettingNames[] = {
    "outputMode",   "randomSeed",    "airDepth",    "cloudHeight",  "cloudShadows", "sunset",
    "planetSize",   "landComplexity", "stormSize",  "stormCount",   "stormSwirl",   "airBrightness",
    "realClouds",   "backlighting",  "realLuna",    "seaLevel",     "desert",       "craterCount",
    "craterSize",   "craterTexture", "landTexture", "cloudCoverage", "cloudEdges",  "cities",
    "cloudViscosity", "cloudCoriolis", "lunarClimate", "ice",       "cloudTexture", "zoomDivisor",
    "renderTarget", "panX",          "panY",        "centerX",      "centerY",      "light",
    "axis",         nullptr};

bool ApplyHarnessSetting(ParameterBlock *p, const char *setting) {
  const char *equals = std::strchr(setting, '=');
  if (equals == nullptr) return false;
  const size_t nameLength = size_t(equals - setting);
  const char *value = equals + 1;
  auto is = [&](const char *name) { return std::strlen(name) == nameLength && std::strncmp(setting, name, nameLength) == 0; };
  for (const WordField &f : kWordFields) {
    if (is(f.name)) {
      char *end = nullptr;
      const unsigned long long v = std::strtoull(value, &end, 0);
      if (end == value || *end != 0) return false;
      uint32_t word = uint32_t(v);
      std::memcpy(reinterpret_cast<char *>(p) + f.offset, &word, sizeof word);
      return true;
    }
  }
  if (is("panX") || is("panY")) {
    const int32_t v = int32_t(std::strtol(value, nullptr, 0));
    (is("panX") ? p->panX : p->panY) = v;
    return true;
  }
  if (is("centerX") || is("centerY")) {
    const float v = std::strtof(value, nullptr);
    (is("centerX") ? p->centerX : p->centerY) = v;
    return true;
  }
  if (is("light") || is("axis")) {
    float v[3];
    if (std::sscanf(value, "%f,%f,%f", &v[0], &v[1], &v[2]) != 3) return false;
    float *target = is("light") ? p->lightVector : p->axisVector;
    for (int k = 0; k < 3; k++) target[k] = v[k];
    return true;
  }
  return false;
}
