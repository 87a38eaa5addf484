// settings_fields.h -- the planet's parameters in the order in which they are saved, and the
// table of put procedures through which one writer serves every destination.
//
// A settings file and the host's scripting descriptor carry the same parameters in the same
// order; the file also carries a few words that have no key (the version and marker words,
// two parameters without a control, a second copy of the cloud colour, the spare colour and
// the picture blocks). So the writer is one walk over kSettingsFields that hands each entry to
// the put procedure of its kind in a SettingsPutProcs table:
//
//     file mode         every entry, each value a big-endian 32-bit word (settings_write.cpp)
//     descriptor mode   only the entries with a key, each value through the host's procedures
//                       (a second table, built with the scripting descriptor)
//
// An entry whose kind has no procedure in a table is not written in that mode.
#ifndef KIVAGLOBE_FILES_SETTINGS_FIELDS_H
#define KIVAGLOBE_FILES_SETTINGS_FIELDS_H

#include <cstdint>

#include "foundation/file_io.h"
#include "plugin/host_interface.h"
#include "plugin/parameters.h"

struct PluginGlobals;

enum SettingsFieldKind : uint8_t {
  kFieldVersion,        // settingsVersion := 40, then the version word
  kFieldColor,          // one 16-bit colour channel (a file widens it to 32 bits)
  kFieldWord,           // a 32-bit slider or number
  kFieldCheckBox,       // a 32-bit check box, 0 or 1 (a descriptor takes its low byte)
  kFieldHundredths,     // a float, as a file stores it: x 100 truncated toward zero
  kFieldFraction,       // a float, as a file stores it: x 65536 truncated toward zero
  kFieldOutputMode,     // outputMode 1..14
  kFieldMarker,         // settingsVersion := 1, then the marker word
  kFieldPictureBlock,   // the legacy picture block, written empty
  kFieldThumbnail,      // the thumbnail block
  kFieldKindCount
};

struct SettingsField {
  SettingsFieldKind kind;
  uint16_t offset;        // of the value in the ParameterBlock (unused by the blocks)
  DescriptorKeyID key;    // the descriptor key; 0 for entries that only files carry
};

extern const SettingsField kSettingsFields[];
extern const int32_t kSettingsFieldCount;

// Where the values go while one writer runs.
struct SettingsWriter {
  PluginGlobals *globals;
  const ParameterBlock *block;
  FileHandle file;                 // file mode
  HostDescriptorRef descriptor;    // descriptor mode
  int16_t writeError;              // the first failed write of the file mode, else 0
};

typedef int16_t (*SettingsPutProc)(SettingsWriter *writer, const SettingsField *field);

struct SettingsPutProcs {
  SettingsPutProc put[kFieldKindCount];
  bool keyedOnly;   // skip the entries without a key
};

// The file mode's table.
extern const SettingsPutProcs kSettingsFilePutProcs;

// The values of an entry in the block.
uint32_t SettingsFieldWord(const ParameterBlock *block, const SettingsField *field);
uint16_t SettingsFieldChannel(const ParameterBlock *block, const SettingsField *field);
float SettingsFieldFloat(const ParameterBlock *block, const SettingsField *field);

// Walks the table: sets settingsVersion at the version and marker entries (so the block holds
// 1 after any write, in every mode) and puts every entry through `procs`. Returns what the
// thumbnail entry's procedure returned (0 when the table has none).
int16_t WriteSettingsWith(SettingsWriter *writer, ParameterBlock *block, const SettingsPutProcs *procs);

// A float as a file stores it: widened to double, times scale, truncated toward zero to a
// signed 32-bit value. NaN gives 0 and values beyond the range the nearest end of it, so a
// damaged block can never make the conversion undefined.
int32_t ScaleToFileWord(float value, double scale);

// Copies every value that a settings file carries (the entries with an offset) from one block
// to another.
void CopySettingsFields(ParameterBlock *to, const ParameterBlock *from);

#endif  // KIVAGLOBE_FILES_SETTINGS_FIELDS_H
