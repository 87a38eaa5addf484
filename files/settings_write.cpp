// settings_write.cpp -- the file mode of the settings writer, the safe save, and the writers
// of the picture blocks.
#include <cstring>

#include "files/safe_save.h"
#include "files/jpeg_files.h"
#include "files/settings_fields.h"
#include "files/settings_file.h"
#include "files/thumbnails.h"
#include "foundation/binary_io.h"
#include "plugin/globals.h"
#include "plugin/script_descriptor.h"

// ---- The file mode's put procedures --------------------------------------------------------
//
// Every value is one big-endian word. Write failures are remembered in the writer (the first
// one wins); after a failure the rest of the file is not attempted.

static int16_t PutFileWord(SettingsWriter *writer, uint32_t value) {
  if (writer->writeError != 0) return writer->writeError;
  writer->writeError = WriteU32BE(value, writer->file);
  return writer->writeError;
}

static int16_t PutVersionWord(SettingsWriter *writer, const SettingsField *) {
  return PutFileWord(writer, writer->block->settingsVersion);
}

static int16_t PutColorWord(SettingsWriter *writer, const SettingsField *field) {
  return PutFileWord(writer, SettingsFieldChannel(writer->block, field));
}

static int16_t PutPlainWord(SettingsWriter *writer, const SettingsField *field) {
  return PutFileWord(writer, SettingsFieldWord(writer->block, field));
}

static int16_t PutHundredthsWord(SettingsWriter *writer, const SettingsField *field) {
  return PutFileWord(writer, uint32_t(ScaleToFileWord(SettingsFieldFloat(writer->block, field), 100.0)));
}

static int16_t PutFractionWord(SettingsWriter *writer, const SettingsField *field) {
  return PutFileWord(writer, uint32_t(ScaleToFileWord(SettingsFieldFloat(writer->block, field), 65536.0)));
}

static int16_t PutPictureBlock(SettingsWriter *writer, const SettingsField *) {
  if (writer->writeError != 0) return writer->writeError;
  writer->writeError = WriteEmptyPictureBlock(writer->globals, writer->file);
  return writer->writeError;
}

static int16_t PutThumbnailBlock(SettingsWriter *writer, const SettingsField *) {
  if (writer->writeError != 0) return writer->writeError;
  int16_t result = WriteThumbnailBlock(writer->globals, writer->file, true, kThumbnailSide, kThumbnailSide,
                                       kThumbnailQuality, nullptr, nullptr);
  if (result == kFileWriteError) writer->writeError = result;
  return result;
}

const SettingsPutProcs kSettingsFilePutProcs = {
    {
        PutVersionWord,      // kFieldVersion
        PutColorWord,        // kFieldColor
        PutPlainWord,        // kFieldWord
        PutPlainWord,        // kFieldCheckBox
        PutHundredthsWord,   // kFieldHundredths
        PutFractionWord,     // kFieldFraction
        PutPlainWord,        // kFieldOutputMode
        PutVersionWord,      // kFieldMarker
        PutPictureBlock,     // kFieldPictureBlock
        PutThumbnailBlock,   // kFieldThumbnail
    },
    false,
};

// ---- The writer ------------------------------------------------------------------------------

// Writes with the file procedures; *writeError receives the first failed write.
static int16_t WriteSettingsFileMode(PluginGlobals *globals, FileHandle file, int16_t *writeError) {
  ParameterBlock *block = GetParameterBlock(globals);
  if (block == nullptr) {
    *writeError = kFileNullArgument;
    return kFileNullArgument;
  }
  SettingsWriter writer = {globals, block, file, nullptr, 0};
  int16_t result = WriteSettingsWith(&writer, block, &kSettingsFilePutProcs);
  *writeError = writer.writeError;
  return result;
}

// ---- The descriptor mode's put procedures -------------------------------------------------
//
// Only the keyed entries, each through the host's write procedures: colours as the high byte
// of the channel, words as integers, check boxes as the low byte of their word, floats widened
// to double, the output mode as an 'LGty' enumeration.

static const HostWriteDescriptorProcs *WriteProcs(SettingsWriter *writer) {
  return writer->globals->filterRecord->descriptorParameters->writeDescriptorProcs;
}

static int16_t PutDescriptorChannel(SettingsWriter *writer, const SettingsField *field) {
  return WriteProcs(writer)->putIntegerProc(writer->descriptor, field->key,
                                            int32_t(SettingsFieldChannel(writer->block, field) >> 8));
}

static int16_t PutDescriptorWord(SettingsWriter *writer, const SettingsField *field) {
  return WriteProcs(writer)->putIntegerProc(writer->descriptor, field->key,
                                            int32_t(SettingsFieldWord(writer->block, field)));
}

static int16_t PutDescriptorBoolean(SettingsWriter *writer, const SettingsField *field) {
  return WriteProcs(writer)->putBooleanProc(writer->descriptor, field->key,
                                            HostBool(SettingsFieldWord(writer->block, field) & 0xFF));
}

static int16_t PutDescriptorFloat(SettingsWriter *writer, const SettingsField *field) {
  const double value = double(SettingsFieldFloat(writer->block, field));
  return WriteProcs(writer)->putFloatProc(writer->descriptor, field->key, &value);
}

static int16_t PutDescriptorMode(SettingsWriter *writer, const SettingsField *field) {
  OSType4 code = 0;
  WriteOutputModeCode(SettingsFieldWord(writer->block, field), kOutputModeType, &code);
  return WriteProcs(writer)->putEnumeratedProc(writer->descriptor, field->key, kOutputModeType, code);
}

const SettingsPutProcs kSettingsDescriptorPutProcs = {
    {
        nullptr,                // kFieldVersion
        PutDescriptorChannel,   // kFieldColor
        PutDescriptorWord,      // kFieldWord
        PutDescriptorBoolean,   // kFieldCheckBox
        PutDescriptorFloat,     // kFieldHundredths
        PutDescriptorFloat,     // kFieldFraction
        PutDescriptorMode,      // kFieldOutputMode
        nullptr,                // kFieldMarker
        nullptr,                // kFieldPictureBlock
        nullptr,                // kFieldThumbnail
    },
    true,
};

int16_t WriteDescriptorSettings(PluginGlobals *globals, HostDescriptorRef descriptor) {
  ParameterBlock *block = GetParameterBlock(globals);
  if (block == nullptr || descriptor == nullptr) return kFileNullArgument;
  SettingsWriter writer = {globals, block, kNoFile, descriptor, 0};
  return WriteSettingsWith(&writer, block, &kSettingsDescriptorPutProcs);
}

int16_t WriteSettings(PluginGlobals *globals, FileHandle file, int16_t mode, HostDescriptorRef descriptor) {
  if (mode == kSettingsDescriptorMode) return WriteDescriptorSettings(globals, descriptor);
  if (mode != kSettingsFileMode) return kFileNullArgument;
  int16_t writeError = 0;
  return WriteSettingsFileMode(globals, file, &writeError);
}

int16_t SaveSettingsFile(PluginGlobals *globals, const FileSpec *spec) {
  if (spec == nullptr || spec->path[0] == 0) return kSettingsOpenFailed;
  SafeSave save;
  if (!BeginSafeSave(spec, &save)) return kSettingsOpenFailed;
  int16_t writeError = 0;
  WriteSettingsFileMode(globals, save.file, &writeError);
  return EndSafeSave(&save, writeError == 0) ? int16_t(0) : int16_t(kSettingsWriteFailed);
}

// ---- Picture blocks --------------------------------------------------------------------------

int16_t WriteEmptyPictureBlock(PluginGlobals *globals, FileHandle file) {
  (void)globals;
  return WriteU32BE(0, file);
}

int16_t WriteThumbnailBlock(PluginGlobals *globals, FileHandle file, bool headerFlag, int32_t width, int32_t height,
                            int32_t quality, IptcBuilder *iptc, ExifBuffer *exif) {
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail != nullptr) {
    TiledMipImage picture;
    BindScratchImage(globals, &picture);
    if (CreateImageForPlanes2(&picture, width, height, 4, 0)) {
      CopyThumbnailTo(globals, &picture);
      int16_t result = WriteImageAsJpeg(&picture, file, headerFlag, quality, nullptr, 0, iptc, exif);
      FreeImageTiles(&picture);
      return result;
    }
  }
  return headerFlag ? WriteU32BE(0, file) : int16_t(0);
}
