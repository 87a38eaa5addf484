// terminology.h -- the plug-in's scripting terminology as the stand-in host reads it.
//
// The terminology resource (16000, type 'AETE'; layout in resources/make_aete.py) names every
// parameter of the plug-in's event with its key and type, and every item of its
// enumerations. The host reads it to turn "--set name=value" and "--mode name" into the
// descriptor it plays, and to list the parameters.
#ifndef KIVAGLOBE_HOST_TERMINOLOGY_H
#define KIVAGLOBE_HOST_TERMINOLOGY_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin/host_interface.h"

constexpr int32_t kTerminologyResourceId = 16000;

struct TerminologyParameter {
  char name[256];
  DescriptorKeyID key;
  DescriptorTypeID type;     // 'long', 'doub', or an enumeration's type
};

struct TerminologyEnumItem {
  char name[256];
  DescriptorTypeID type;     // the enumeration
  DescriptorEnumID value;
};

struct Terminology {
  char eventName[256];
  std::vector<TerminologyParameter> parameters;
  std::vector<TerminologyEnumItem> items;
};

// Reads the resource bytes; false with a reason when they run short or do not parse.
bool ReadTerminology(const uint8_t *data, size_t size, Terminology *terminology, char *error, size_t errorSize);

// The parameter or item of that name (case-insensitive), or null.
const TerminologyParameter *FindTerminologyParameter(const Terminology &terminology, const char *name);
const TerminologyEnumItem *FindTerminologyItem(const Terminology &terminology, const char *name);

// A four-character code as text (5 bytes with the terminator).
void FourCCText(OSType4 code, char text[5]);

#endif  // KIVAGLOBE_HOST_TERMINOLOGY_H
