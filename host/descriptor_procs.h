// descriptor_procs.h -- the stand-in host's scripting descriptors: the read and write
// procedures it hands the plug-in, the files it keeps recorded actions in, and the descriptor
// it builds from --set and --mode.
//
// A descriptor is a list of entries. Kept as a file (--record FILE writes one, --play FILE
// reads one), it is plain text, one entry a line:
//
//     # kivaglobe descriptor 1
//     0014 long 40
//     0039 doub 0.57735026918962573
//     0020 bool 1
//     LGky enum LGty LG03
//
// key, type ('long', 'doub', 'bool', or 'enum' followed by the enumeration's type) and the
// value; blank lines and lines starting with '#' are skipped. Doubles are written with 17
// significant digits, so a file gives back the very double that was recorded.
//
// The procedures work on the current store (the host's procedures take no context). Every
// get and put is logged ("put LGky enum LGty LG03") so that a run's order and types can be
// checked. The descriptor handed to the plug-in is a host handle (from the host's own handle
// procedures) whose entries the store keeps.
#ifndef KIVAGLOBE_HOST_DESCRIPTOR_PROCS_H
#define KIVAGLOBE_HOST_DESCRIPTOR_PROCS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/terminology.h"
#include "plugin/host_interface.h"

enum HostValueKind : uint8_t { kValueInteger, kValueFloat, kValueBoolean, kValueEnum };

struct HostDescriptorEntry {
  DescriptorKeyID key;
  HostValueKind kind;
  DescriptorTypeID enumType;   // kValueEnum
  int32_t integer;             // integers, booleans 0/1, enumeration values
  double real;
};

typedef std::vector<HostDescriptorEntry> HostDescriptorEntries;

struct HostDescriptorStore {
  HostDescriptorParameters parameters;
  HostReadDescriptorProcs readProcs;
  HostWriteDescriptorProcs writeProcs;
  HostHandleProcs *handleProcs;
  std::map<HostHandle, HostDescriptorEntries> contents;
  HostDescriptorEntries writing;       // the open writer's entries
  std::vector<std::string> log;        // "get 0014 long 40", "put ...", "close-read 0"
  bool writerOpen;
  HostHandle lastWritten;              // the handle of the last closed writer, or null
};

// Fills the store's procedures and parameters (version 0, playInfo, recordInfo 0) and makes
// it current. handleProcs are the host's own, from which descriptor handles come.
void InitDescriptorStore(HostDescriptorStore *store, HostHandleProcs *handleProcs, int16_t playInfo);

// Hands the plug-in a descriptor with these entries (a new handle).
void SetPlayDescriptor(HostDescriptorStore *store, const HostDescriptorEntries &entries);

// The entries of the descriptor the parameters hold when it is the one the plug-in wrote
// (Finish's record); false when the plug-in wrote none or did not hand it back.
bool GetRecordedDescriptor(const HostDescriptorStore *store, HostDescriptorEntries *entries);

// Disposes of the descriptor handles the store still holds.
void ReleaseDescriptorStore(HostDescriptorStore *store);

// The text form.
std::string FormatDescriptor(const HostDescriptorEntries &entries);
bool ParseDescriptor(const char *text, HostDescriptorEntries *entries, char *error, size_t errorSize);
bool SaveDescriptorFile(const char *path, const HostDescriptorEntries &entries, char *error, size_t errorSize);
bool LoadDescriptorFile(const char *path, HostDescriptorEntries *entries, char *error, size_t errorSize);

// Adds or replaces the entry that "--set name=value" names: the parameter's terminology type
// decides the value's kind ('long' takes an integer, 'doub' a number; an enumeration parameter
// takes one of its item names). An unknown name, or a value of the wrong kind, is refused with
// a message that names the valid choices.
bool ApplySetting(const Terminology &terminology, const char *assignment, HostDescriptorEntries *entries,
                  char *error, size_t errorSize);

// "--mode name": the output-mode parameter (the one typed by an enumeration) set to that item.
bool ApplyModeName(const Terminology &terminology, const char *name, HostDescriptorEntries *entries, char *error,
                   size_t errorSize);

// The parameter list of --list-parameters: "name<TAB>key<TAB>type" lines, then the
// enumeration's items.
std::string ListParameters(const Terminology &terminology);

#endif  // KIVAGLOBE_HOST_DESCRIPTOR_PROCS_H
