// temp_files.h -- the files the plug-in keeps in the system's temporary folder between runs:
//
//     "Kivaglobe cached settings C"       the planet of the last run that ended with OK
//     "Kivaglobe undo 0", "... undo 1"    the two undo steps, for the fields a snapshot lacks
//     "Kivaglobe memory dot N.q1q"        the memory dots 0..24, and 25 as a scratch slot
//     "Kivaglobe memdot map 3"            which memory dots hold settings
//
// All but the map are settings files (settings_file.h). The map is 26 big-endian words, 104
// bytes: the format word 40 and the 25 flags of dotHasData, as stored. The files are never
// deleted. A file that cannot be opened or read changes nothing.
#ifndef KIVAGLOBE_FILES_TEMP_FILES_H
#define KIVAGLOBE_FILES_TEMP_FILES_H

#include <cstdint>

#include "foundation/file_locations.h"

struct PluginGlobals;

constexpr int32_t kMemoryDotCount = 25;       // dots 0..24 of the dialog
constexpr int32_t kMemoryDotScratch = 25;     // the slot that exports park the settings in
constexpr uint32_t kMemoryDotMapVersion = 40;

extern const char kCachedSettingsName[];
extern const char kMemoryDotMapName[];

// The cached settings: saved after the dialog closes with OK, read at Start when the host
// passes no scripting descriptor (no defaults first: what the file lacks keeps its value).
int16_t SaveCachedSettings(PluginGlobals *globals);
int16_t LoadCachedSettings(PluginGlobals *globals);

// The spec of memory dot n in the temporary folder, for writing or reading; what
// TempFileSpecForWrite / TempFileSpecForRead return.
int16_t MemoryDotSpec(FileSpec *spec, int32_t n, bool forWrite);

// The current settings into dot n's file; 0.
int16_t SaveMemoryDot(PluginGlobals *globals, int32_t n);

// Dot n's file applied to the parameters; -43 when its spec reports the file missing, else 0
// (a file that cannot be read changes nothing).
int16_t LoadMemoryDot(PluginGlobals *globals, int32_t n);

// The map: the format word and the 25 flags of the RunState. The loader does not look at the
// format word; a flag the file does not hold completely stays as it was.
void SaveMemoryDotMap(PluginGlobals *globals);
void LoadMemoryDotMap(PluginGlobals *globals);
int16_t WriteDotFlags(const uint32_t flags[kMemoryDotCount], FileHandle file);
int16_t ReadDotFlags(uint32_t flags[kMemoryDotCount], FileHandle file);

// The undo file of slot 0 or 1: the current settings written, or read back and applied.
int16_t SaveUndoFile(PluginGlobals *globals, int32_t slot);
int16_t ReloadUndoFile(PluginGlobals *globals, int32_t slot);

#endif  // KIVAGLOBE_FILES_TEMP_FILES_H
