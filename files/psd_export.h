// psd_export.h -- the layered export: the planet rendered once per output layer and written,
// with a merged picture and our metadata, into one layered Photoshop document ("8BPS",
// version 1), at the document's depth of 8, 16 or 32 bits per channel.
//
// Every section of the document is written by one routine that either measures (counts the
// bytes it would write, without rendering) or writes; a length field is always the measure of
// the very routine that then writes the section, so the lengths in the file are the lengths of
// what follows them. The document is measured as a whole before anything is made: one whose
// side exceeds 30000 or whose lengths do not fit the format's 32-bit fields is refused.
//
// The document is written beside its final name ("<name>.new") and put in its place only when
// every byte went out; a write failure or the user's cancel leaves no document behind, and an
// older file of the same name is kept.
#ifndef KIVAGLOBE_FILES_PSD_EXPORT_H
#define KIVAGLOBE_FILES_PSD_EXPORT_H

#include <cstdint>

#include "foundation/file_locations.h"
#include "plugin/globals.h"

// What one layered export writes; all 32-bit.
struct LayerExportDescription {
  int32_t channelsPerLayer;   // 4 (1 would make a grey document; nothing asks for one)
  int32_t layerCount;         // 11
  int32_t width;              // the filter rectangle's size
  int32_t height;
  int32_t firstLayer;         // layer index of the first layer, 0
  int32_t outputMode;         // 0: not used by the layered export
  int32_t spare;              // -1
  int32_t bytesPerChannel;    // 1, 2 or 4, from the host image
  int32_t oneFilePerLayer;    // 0: one document holds every layer
  int32_t currentLayer;       // the layer being written (one file per layer)
};

constexpr int32_t kPsdMaxSide = 30000;       // the format's largest side
constexpr uint64_t kPsdMaxLength = 0xFFFFFFFFull;

enum : int16_t {
  kPsdNoImage = -99,         // the export image could not be made
  kPsdStopped = 199,         // cancelled by the user, or refused (the message was shown)
};

// Bytes per channel of the document for the host's image: 1 for grey or RGB of at most 8 bits,
// 2 for Gray16 and RGB48, 4 for the 32-bit modes or a depth of 32, else 1.
int32_t PsdBytesPerChannel(const FilterRecord *record);

// Fills the description for the current filter rectangle and host image.
void DescribeLayerExport(PluginGlobals *globals, LayerExportDescription *d);

// The name of layer 1..11 ("lit map" .. "mural"); "a layer" for any other number.
const char *LayerName(int32_t layer);

// The byte counts of a document, in 64 bits, as the writer would write them.
struct PsdMeasure {
  uint64_t layerInfo;      // L: layer records and channel data
  uint64_t layerSection;   // the layer and mask section's length field
  uint64_t resources;      // the image resources' length field
  uint64_t total;          // the whole file
};

// Measures the document that WritePsdFile would write now (with no metadata beyond the fixed
// resources when globals is null). False when the document cannot be written: a side below 1
// or above kPsdMaxSide, or a length over kPsdMaxLength.
bool MeasurePsdDocument(PluginGlobals *globals, const LayerExportDescription *d, PsdMeasure *m);

// The export of command "Save a PSD file": fills the description, starts the layer counter of
// the progress text and writes the document. Result as WritePsdFile.
int16_t ExportLayersPsd(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag);

// Renders every layer into the run's export image and writes the document. 0 when it was
// written; kPsdStopped when the user cancelled (*cancelFlag is 1) or the document was refused
// for its size (a message says why); kPsdNoImage; the open error (99); or -20 when a write
// failed. Only a 0 leaves a document at the given path.
int16_t WritePsdFile(PluginGlobals *globals, const FileSpec *spec, uint8_t *cancelFlag,
                     LayerExportDescription *d);

// The refusal of a document that is too large; replaced by the tests. Shows the message box.
extern void (*gPsdRefusalProc)(int32_t width, int32_t height, int32_t bytesPerChannel);

#endif  // KIVAGLOBE_FILES_PSD_EXPORT_H
