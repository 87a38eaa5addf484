// pipl_builder.h -- property lists as byte arrays for the host's tests, laid out as
// plugin/pipl_layout.h describes: reserved word, version, count, then the properties.
#ifndef KIVAGLOBE_TESTS_HOST_PIPL_BUILDER_H
#define KIVAGLOBE_TESTS_HOST_PIPL_BUILDER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/pipl_layout.h"

struct PiplBuilder {
  std::vector<uint8_t> properties;
  uint32_t count = 0;

  static void PutU32(std::vector<uint8_t> *out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back(uint8_t(v >> (8 * i)));
  }

  // A property with `data`, padded to 4 bytes (the length counts the padding).
  PiplBuilder &Add(OSType4 key, const std::vector<uint8_t> &data, OSType4 vendor = kPiplVendor) {
    std::vector<uint8_t> padded = data;
    while (padded.size() % 4 != 0) padded.push_back(0);
    PutU32(&properties, vendor);
    PutU32(&properties, key);
    PutU32(&properties, 0);
    PutU32(&properties, uint32_t(padded.size()));
    properties.insert(properties.end(), padded.begin(), padded.end());
    count++;
    return *this;
  }
  PiplBuilder &AddCode(OSType4 key, uint32_t code, OSType4 vendor = kPiplVendor) {
    std::vector<uint8_t> d;
    PutU32(&d, code);
    return Add(key, d, vendor);
  }
  PiplBuilder &AddCString(OSType4 key, const std::string &text) {
    std::vector<uint8_t> d(text.begin(), text.end());
    d.push_back(0);
    return Add(key, d);
  }
  PiplBuilder &AddPascal(OSType4 key, const std::string &text) {
    std::vector<uint8_t> d;
    d.push_back(uint8_t(text.size()));
    d.insert(d.end(), text.begin(), text.end());
    return Add(key, d);
  }
  PiplBuilder &AddModes(uint16_t modes) { return Add(kPiplKeyModes, {uint8_t(modes >> 8), uint8_t(modes)}); }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = {uint8_t(kPiplReservedWord), 0};
    PutU32(&out, uint32_t(kPiplListVersion));
    PutU32(&out, count);
    out.insert(out.end(), properties.begin(), properties.end());
    return out;
  }
};

// A property list like Kivaglobe's, with the code property of the width under test.
inline PiplBuilder FilterPipl(OSType4 codeKey, const std::string &entry) {
  PiplBuilder b;
  b.AddCode(kPiplKeyKind, kPiplKindFilter)
      .AddPascal(kPiplKeyName, kPiplName)
      .AddPascal(kPiplKeyCategory, kPiplCategory)
      .AddCode(kPiplKeyVersion, kPiplFilterVersion)
      .AddCString(codeKey, entry)
      .AddModes(kPiplSupportedModes)
      .AddCString(kPiplKeyEnable, kPiplEnableExpression);
  return b;
}

#endif  // KIVAGLOBE_TESTS_HOST_PIPL_BUILDER_H
