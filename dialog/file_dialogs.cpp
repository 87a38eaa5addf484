// file_dialogs.cpp -- the parts of the common dialogs that need no window: filters, default
// extensions, the remembered folder, the host's colour picker and the folder chooser (see
// file_dialogs.h).
#include "dialog/file_dialogs.h"

#include <cstring>

#include "foundation/strings.h"
#include "plugin/globals.h"

FileDialogProcs gFileDialogProcs = {ChooseSaveFile, ChooseOpenFile, PickColorWindowsDialog, TellUser};

namespace {

struct FilterPair {
  const char *description;
  const char *pattern;
};

constexpr FilterPair kFilters[] = {
    {"Bitmap files (*.bmp)", "*.bmp"},     {"Kivaglobe presets (*.q1q)", "*.q1q"},
    {"Photoshop files (*.psd)", "*.psd"},  {"HTML files (*.html)", "*.html"},
    {"LDraw files (*.ldr)", "*.ldr"},      {"All files (*.*)", "*.*"},
    {"Wavefront files (*.obj)", "*.obj"},
};

const FilterPair *FilterOf(int32_t kind, bool forSave) {
  if (kind < 0 || kind > kFileKindWavefront) return nullptr;
  // The save dialog offers no "all files" entry; the open dialog only bitmaps, presets and
  // all files.
  if (forSave && kind == kFileKindAll) return nullptr;
  if (!forSave && kind != kFileKindBitmap && kind != kFileKindPreset && kind != kFileKindAll) return nullptr;
  return &kFilters[kind];
}

}  // namespace

size_t BuildFileFilter(int32_t kind, bool forSave, char *filter, size_t size) {
  if (filter == nullptr || size < 2) return 0;
  const FilterPair *pair = FilterOf(kind, forSave);
  const size_t d = pair != nullptr ? std::strlen(pair->description) : 0;
  const size_t p = pair != nullptr ? std::strlen(pair->pattern) : 0;
  if (pair == nullptr || d + p + 3 > size) {
    filter[0] = filter[1] = 0;
    return 2;
  }
  std::memcpy(filter, pair->description, d + 1);
  std::memcpy(filter + d + 1, pair->pattern, p + 1);
  filter[d + p + 2] = 0;
  return d + p + 3;
}

const char *DefaultExtension(int32_t kind, bool forSave) {
  const FilterPair *pair = FilterOf(kind, forSave);
  if (pair == nullptr || std::strcmp(pair->pattern, "*.*") == 0) return nullptr;
  return pair->pattern + 2;
}

void RememberFolder(const char *path, char *folder) {
  if (path == nullptr || folder == nullptr) return;
  // Cut after the last separator, whether or not the dialog told us the file's name: the whole
  // path would make the next dialog start in a "folder" that is a file.
  size_t cut = 0;
  for (size_t i = 0; path[i] != 0 && i < size_t(kFilePathSize) - 1; i++)
    if (path[i] == '\\' || path[i] == '/') cut = i + 1;
  std::memmove(folder, path, cut);
  folder[cut] = 0;
}

bool PickColor(PluginGlobals *globals, const char *prompt, uint16_t rgb[3]) {
  FilterRecord *record = globals != nullptr ? globals->filterRecord : nullptr;
  if (record == nullptr || record->colorServices == nullptr) {
    return gFileDialogProcs.pickColorWindows != nullptr && gFileDialogProcs.pickColorWindows(rgb);
  }
  unsigned char pascalPrompt[256] = {};
  if (prompt != nullptr) {
    std::strncpy(reinterpret_cast<char *>(pascalPrompt), prompt, 255);
    CToPascalString(pascalPrompt);
  }
  HostColorServicesInfo info;
  std::memset(&info, 0, sizeof info);
  info.infoSize = int32_t(sizeof info);
  info.selector = kColorServicesChooseColor;
  info.sourceSpace = kColorSpaceRGB;
  info.resultSpace = kColorSpaceRGB;
  for (int i = 0; i < 3; i++) info.colorComponents[i] = int16_t(rgb[i] >> 8);
  info.colorComponents[3] = 0;
  info.selectorParameter.pickerPrompt = pascalPrompt;
  // A host answers an error when its picker was cancelled: the colour stays as it was, and the
  // swatch neither changes nor pushes an undo step.
  if (record->colorServices(&info) != 0) return false;
  for (int i = 0; i < 3; i++) {
    int32_t c = info.colorComponents[i];
    c = c < 0 ? 0 : c > 255 ? 255 : c;
    rgb[i] = uint16_t(c << 8);
  }
  return true;
}

bool ChooseSourceFolder(PluginGlobals *globals, char *folder, int32_t kind) {
  if (folder == nullptr || gFileDialogProcs.chooseOpenFile == nullptr) return false;
  char path[kFilePathSize] = "";
  char fileName[kFilePathSize] = "";
  char start[kFilePathSize];
  std::memcpy(start, folder, sizeof start);
  start[kFilePathSize - 1] = 0;
  if (gFileDialogProcs.chooseOpenFile(path, fileName, start, kind, "Choose any file in the source folder",
                                      globals) == 0)
    return false;
  char chosen[kFilePathSize];
  RememberFolder(path, chosen);
  if (chosen[0] == 0) return false;
  std::memcpy(folder, chosen, sizeof chosen);
  return true;
}
