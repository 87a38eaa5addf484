// temp_files.cpp -- the cached settings, undo files, memory dots and the memory-dot map.
#include "files/temp_files.h"

#include <cstdio>

#include "files/settings_file.h"
#include "foundation/binary_io.h"
#include "plugin/globals.h"

const char kCachedSettingsName[] = "Kivaglobe cached settings C";
const char kMemoryDotMapName[] = "Kivaglobe memdot map 3";
static const char kUndoFileNames[2][20] = {"Kivaglobe undo 0", "Kivaglobe undo 1"};

// The answer of a spec routine for a file that is not there. Our temporary-folder specs never
// look at the file, so it never comes; the file's open then fails and changes nothing.
constexpr int16_t kFileNotFound = -43;

int16_t SaveCachedSettings(PluginGlobals *globals) {
  FileSpec spec;
  TempFileSpecForWrite(&spec, kCachedSettingsName);
  return SaveSettingsFile(globals, &spec);
}

int16_t LoadCachedSettings(PluginGlobals *globals) {
  FileSpec spec;
  TempFileSpecForRead(&spec, kCachedSettingsName);
  return ReadSettingsApply(globals, &spec);
}

int16_t MemoryDotSpec(FileSpec *spec, int32_t n, bool forWrite) {
  char name[64];
  std::snprintf(name, sizeof name, "%s memory dot %d%s", "Kivaglobe", int(n), ".q1q");
  return forWrite ? TempFileSpecForWrite(spec, name) : TempFileSpecForRead(spec, name);
}

int16_t SaveMemoryDot(PluginGlobals *globals, int32_t n) {
  FileSpec spec;
  MemoryDotSpec(&spec, n, true);
  SaveSettingsFile(globals, &spec);
  return 0;
}

int16_t LoadMemoryDot(PluginGlobals *globals, int32_t n) {
  FileSpec spec;
  if (MemoryDotSpec(&spec, n, false) == kFileNotFound) return kFileNotFound;
  ReloadSettingsFile(globals, &spec);
  return 0;
}

int16_t WriteDotFlags(const uint32_t flags[kMemoryDotCount], FileHandle file) {
  for (int32_t i = 0; i < kMemoryDotCount; i++) {
    int16_t result = WriteU32BE(flags[i], file);
    if (result != 0) return result;
  }
  return 0;
}

int16_t ReadDotFlags(uint32_t flags[kMemoryDotCount], FileHandle file) {
  for (int32_t i = 0; i < kMemoryDotCount; i++) {
    int16_t result = ReadU32BE(&flags[i], file);
    if (result != 0) return result;
  }
  return 0;
}

void SaveMemoryDotMap(PluginGlobals *globals) {
  if (globals == nullptr || globals->runState == nullptr) return;
  FileSpec spec;
  TempFileSpecForWrite(&spec, kMemoryDotMapName);
  FileHandle file = kNoFile;
  if (OpenFileSpec(&spec, &file, kOpenForWrite) != 0) return;
  if (WriteU32BE(kMemoryDotMapVersion, file) == 0) WriteDotFlags(globals->runState->dotHasData, file);
  ClosePlatformFile(file);
}

void LoadMemoryDotMap(PluginGlobals *globals) {
  if (globals == nullptr || globals->runState == nullptr) return;
  FileSpec spec;
  if (TempFileSpecForRead(&spec, kMemoryDotMapName) == kFileNotFound) return;
  FileHandle file = kNoFile;
  if (OpenFileSpec(&spec, &file, kOpenForRead) != 0) return;
  uint32_t version = 0;
  ReadU32BE(&version, file);
  ReadDotFlags(globals->runState->dotHasData, file);
  ClosePlatformFile(file);
}

int16_t SaveUndoFile(PluginGlobals *globals, int32_t slot) {
  FileSpec spec;
  TempFileSpecForWrite(&spec, kUndoFileNames[slot & 1]);
  return SaveSettingsFile(globals, &spec);
}

int16_t ReloadUndoFile(PluginGlobals *globals, int32_t slot) {
  FileSpec spec;
  TempFileSpecForRead(&spec, kUndoFileNames[slot & 1]);
  return ReloadSettingsFile(globals, &spec);
}
