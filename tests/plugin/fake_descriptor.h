// fake_descriptor.h -- the host's scripting descriptor procedures, in memory, for the
// plug-in's tests and its fuzzer.
//
// A descriptor is a list of entries (key, type, value). The read procedures hand out the
// entries of the descriptor in order and refuse a value asked for as another type (as a host
// does); the write procedures log every put with the procedure that made it and turn the log
// into a new descriptor on close. Handles come from the fake host's handle procedures (or,
// without a fake host, from the heap), so that their disposal can be counted.
//
// One fake descriptor is current at a time (the host's procedures take no context).
#ifndef KIVAGLOBE_TESTS_PLUGIN_FAKE_DESCRIPTOR_H
#define KIVAGLOBE_TESTS_PLUGIN_FAKE_DESCRIPTOR_H

#include <cstdint>
#include <map>
#include <vector>

#include "plugin/host_interface.h"

constexpr DescriptorTypeID kTypeInteger = FourCC('l', 'o', 'n', 'g');
constexpr DescriptorTypeID kTypeFloat = FourCC('d', 'o', 'u', 'b');
constexpr DescriptorTypeID kTypeBoolean = FourCC('b', 'o', 'o', 'l');
constexpr OSErr16 kFakeWrongType = -1716;

enum FakePut : uint8_t { kPutInteger, kPutFloat, kPutBoolean, kPutEnumerated };

struct FakeDescriptorEntry {
  DescriptorKeyID key;
  DescriptorTypeID type;   // kTypeInteger, kTypeFloat, kTypeBoolean, or an enumeration type
  int32_t integer;         // integers, booleans (0/1) and enumeration values
  double real;
  FakePut put;             // the procedure that wrote the entry (writes only)
};

struct FakeDescriptor {
  HostDescriptorParameters parameters;
  HostReadDescriptorProcs readProcs;
  HostWriteDescriptorProcs writeProcs;
  HostHandleProcs *handleProcs;                       // the host's, to make descriptor handles
  std::map<HostHandle, std::vector<FakeDescriptorEntry>> contents;
  std::vector<FakeDescriptorEntry> written;           // the puts of the open writer, in order
  int opens, closes, writerOpens;
  OSErr16 closeResult;                                // what closeReadDescriptor answers
  bool refuseOpen;
};

// A fresh, current descriptor record (version 0, all procedures present, playInfo 2).
void FakeDescriptorInit(FakeDescriptor *fake, HostHandleProcs *handleProcs);

// Makes a descriptor with the given entries and hands it to the plug-in.
void FakeDescriptorSet(FakeDescriptor *fake, const std::vector<FakeDescriptorEntry> &entries);

// The entries of the descriptor the parameters hold now (empty when none).
std::vector<FakeDescriptorEntry> FakeDescriptorGet(FakeDescriptor *fake);

FakeDescriptorEntry IntegerEntry(DescriptorKeyID key, int32_t value);
FakeDescriptorEntry FloatEntry(DescriptorKeyID key, double value);
FakeDescriptorEntry BooleanEntry(DescriptorKeyID key, bool value);
FakeDescriptorEntry EnumEntry(DescriptorKeyID key, DescriptorTypeID type, uint32_t value);

#endif  // KIVAGLOBE_TESTS_PLUGIN_FAKE_DESCRIPTOR_H
