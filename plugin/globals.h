// globals.h -- the two working records of the plug-in: PluginGlobals, kept by the host in the
// data slot for as long as it keeps the plug-in loaded, and RunState, the large work record of
// one run, allocated through the host's buffer procedures at Start and freed at the end of it.
//
// Only the members that the plug-in frame owns are declared here so far; the members of the
// image store (the work image and the image set of the globals, the export image of the run),
// of the renderer and of the dialog are added by their owners, each next to the comment that
// marks its place.
//
// Both records are zero-filled when they are made (a host's handles and buffers are not), and
// the frame then writes the initial values that it specifies; nothing relies on what a fresh
// host block happens to hold.
#ifndef KIVAGLOBE_PLUGIN_GLOBALS_H
#define KIVAGLOBE_PLUGIN_GLOBALS_H

#include <cstdint>

#include "plugin/host_interface.h"
#include "plugin/parameters.h"
#include "imagestore/image_store.h"
#include "imagestore/kernel_table.h"
#include "render/noise_tables.h"
#include "render/render_types.h"
#include "clouds/cloud_source.h"

// ---- The run's buffers ---------------------------------------------------------------------

// Byte sizes of the run buffers (bufferSizes), by index.
constexpr int kBufferSizeCount = 10;
constexpr int kRowBufferSizeIndex = 4;
constexpr int32_t kSmallBufferSize = 16;
constexpr int32_t kUnallocatedBufferSize = 49152;   // bufferSizes[1]: never allocated
constexpr int32_t kRowBufferBytesPerColumn = 216;
constexpr int32_t kBufferSpaceExtra = 1112;

// The buffer slots of PluginGlobals: the row buffer and the small work buffers, named after
// the bufferSizes entry that sizes them. Slot kBufferWork1 stays empty: its size (49152) is
// reserved in bufferSizes but never allocated.
enum RunBufferSlot {
  kBufferRow = 0,     // bufferSizes[4] bytes
  kBufferWork32,      // 2 x bufferSizes[3] bytes
  kBufferWork0,
  kBufferWork1,
  kBufferWork2,
  kBufferWork5,
  kBufferWork6,
  kBufferWork7,
  kBufferWork8,
  kRunBufferSlotCount
};

// ---- RunState --------------------------------------------------------------------------------

constexpr int kLookupTableSize = 256;

struct RunState {
  // Cadence counters of progress and abort (both used modulo 32).
  uint32_t abortCounter;
  uint32_t progressCounter;
  int32_t lastProgress;

  // Lookup tables of the renderer, built by BuildRunLookupTables.
  uint32_t tentTable[kLookupTableSize];   // 0, 2, ..., 254, 255, 253, ..., 1
  float oddsTable[kLookupTableSize];      // x / (1 - x) for x = i / 255

  // The two undo slots: snapshot images of the ParameterBlock; slotValid and slotInFile live
  // in each image.
  ParameterBlock undoSlots[2];

  // The seeded noise tables of the renderer (render/noise.h), refilled before every render.
  NoiseTables noiseTables;

  // ---- Renderer: the values of one render (render/render_setup.cpp, row_renderer.cpp) ----
  // Rewritten by every render set-up; the shader reads them per pixel.
  float seaLevelValue;                // terrain height of the water line, -0.4..0.4
  float seaLevelCopy;
  float shallowSeaColour[3];          // in output channel units
  float deepSeaColour[3];
  StormTable storms;                  // PluginGlobals::stormsPlaced entries
  CraterRecord craters[kCraterCapacity];   // PluginGlobals::cratersPlaced entries
  float craterDepthFactor;            // crater texture x 0.00004
  float cloudLog2Radius;
  int32_t cloudOctaves;
  int32_t cloudOctavesMinusOne;
  int32_t cloudExtraOctaves;
  float cloudExtraFrequency;          // 2.0987 ^ cloudOctaves
  float cloudBase;
  float cloudImageOffset;
  float cloudEdgeGain;
  float cloudShadowStrength;
  float cloudShellScale;
  float airShellThickness;
  float modelAxis[3];                 // (-axis x, -axis y, axis z)
  float craterLevelBias;              // ln(2 x radius) - ln 384, set with the view
  float reliefGain;                   // gain of the relief's fractal sum, set with the view
  // Per crater texture and mip level: how far from the texture's centre (in texture units) a
  // sample must lie for its whole 5 x 5 window to read the neutral value 128, so that the decal
  // adds exactly nothing and the sample can be skipped. Set with the texture maps.
  float craterFlatRadius[4][kMaxImageLevelsForRender];
  // Per-pixel values that the shader's routines hand on through the run state.
  float sideSum;                      // alternating-sign sum of the last fractal sum
  float axisDot;                      // modelAxis . n of the pixel being shaded
  float axisSin2;                     // 1 - axisDot^2
  // The city lights' own generator, seeded from the planet seed by every render set-up: their
  // brightness is part of the planet, not of the clock or of what drew numbers before.
  uint32_t cityLightState;
  CloudHeader cloudHeader;            // the cloud image's disc box (cloud import)
  TiledMipImage *renderTargetImage;   // the export image while a pass renders into it
  // ---- end of the renderer's members ----

  // ---- Settings files (files/temp_files.cpp) ----
  // The 25 flags of the memory dots that hold settings: set and cleared by the dialog's dot
  // commands, read from and saved to the memory-dot map file.
  uint32_t dotHasData[25];
  // ---- end of the settings files' members ----

  // ---- Image store ----
  ResampleKernelTable kernelTable;    // shared by every image of the run that is sampled
  TiledMipImage exportImage;          // off-screen passes and exports render into it
  // ---- end of the image store's members ----

  // ---- Cloud pictures (clouds/) ----
  // The downloaded source list's table (in use while cloudHeader.listLoaded is 1), the list's
  // version word (6 while the built-in table is in use) and whether the list was tried this run.
  CloudSource cloudSources[kCloudSourceCount];
  int32_t listVersion;
  uint8_t cloudListTried;
  // The size and time of the cache file whose picture the cloud image holds (the image is
  // marked with the source's content key). While both still hold, the set-up before a render
  // does not read the picture again.
  uint8_t cloudCacheKnown;
  int64_t cloudCacheSize;
  int64_t cloudCacheTime;
  // ---- end of the cloud pictures' members ----

  // ---- Export progress box (files/progress_box.cpp) ----
  const struct FileSpec *jobSpec;     // the file the box's job writes
  uint32_t jobNumber;                 // 2 layered document, 5 flat JPEG
  uint8_t jobCancel;                  // 1 once the user asked the box's job to stop
  // ---- end of the export progress box's members ----

  // ---- Main dialog (dialog/) ----
  uint32_t controlEnabled[200];       // ControlEnabledFlags: 1 = the control is enabled
  uint32_t controlSpareFlags[200];    // cleared with them; nothing reads it
  // ---- end of the main dialog's members ----

  // The memory-dot slots are added here by their owner.
};

// ---- PluginGlobals ---------------------------------------------------------------------------

struct PluginGlobals {
  int16_t *resultPtr;                 // the host's result word (set on every call)
  FilterRecord *filterRecord;         // the host's filter record (set on every call)
  RunState *runState;                 // null outside a run
  HostBufferID runStateId;

  int32_t progressTotal;
  int32_t progressDone;
  int32_t progressExtra;
  int32_t currentRow;                 // row being rendered, 0-based in the target rectangle
  int32_t currentRowCopy;
  int32_t rowSpare;
  int32_t maskRowFirst;               // requested rows relative to the filter rectangle's top
  int32_t maskRowLast;
  int32_t inRowFirst;
  int32_t inRowLast;

  int32_t rowBufferColumns;           // width of the row buffer in columns
  int32_t rowWidthPlus3;
  int32_t rowWidthPlus3Twice;
  int32_t rowHeightPlus3;
  int32_t rowWidthPlus2178;

  uint8_t runActive;
  uint8_t moreRowsWithoutHost;
  uint8_t maskWanted;

  Rect16 savedFilterRect;             // the filter rectangle at Prepare and at render start

  int32_t rectWidth;                  // size of the rectangle last recorded by RecordRectSize
  int32_t rectHeight;
  int32_t rowFirst;                   // always 0
  int32_t rowLast;                    // rectHeight - 1
  int32_t columnFirst;                // always 0
  int32_t columnLast;                 // rectWidth - 1

  int32_t filterWidth;                // the filter rectangle's size, recorded at Start
  int32_t filterHeight;

  int32_t bufferSizes[kBufferSizeCount];
  HostBufferID bufferIds[kRunBufferSlotCount];   // 0 when the fallback allocation was used
  void *buffers[kRunBufferSlotCount];

  TiledMipImage workImage;            // 128 x 128, four 8-bit channels, made at Start
  TiledMipImage imageSet[kImageSetCount];   // 0 clouds, 1 lunar heights, 2-5 crater heights
  int32_t textureSize;                // 512

  uint8_t firstParametersCall;        // the last Parameters call came with an empty data slot
  int16_t undoSlot;                   // the undo slot written last, 0 or 1

  // ---- Renderer (render/) ----
  int32_t stormsPlaced;               // entries of RunState::storms
  int32_t cratersPlaced;              // entries of RunState::craters
  int32_t planetRadiusPixels;         // radius of the planet disc in output pixels, at least 1
  RenderView renderView;              // filled on the first row of every render
  // ---- end of the renderer's members ----

  // ---- Settings files and thumbnails (files/) ----
  int32_t thumbnailWidth;             // the thumbnail's size as the settings readers found it;
  int32_t thumbnailHeight;            // 0 when the last file read had no picture
  // ---- end of the settings files' members ----

  // ---- Preview (plugin/preview.cpp) ----
  Rect16 previewArea;                 // the preview control's client area, inset by 2, in the dialog
  int32_t sampleFactor;               // the last factor ComputeSampleFactor found
  void *previewWindow;                // the dialog window that shows the preview; null without one
  // ---- end of the preview's members ----

  // ---- Cloud pictures (clouds/) ----
  int32_t overlayReplacementIndex;    // palette index given to repaired overlay pixels
  // ---- end of the cloud pictures' members ----

  // ---- Exports (files/psd_export.cpp) ----
  int32_t progressLayer;              // layers of the export finished so far, for the percentage
  // ---- end of the exports' members ----

  // ---- Main dialog (dialog/) ----
  int32_t dialogOutcome;              // 0 while the dialog runs, 1 OK, 2 Cancel
  uint8_t rightButtonFlag;            // the current press is of the right button
  uint8_t ctrlKeyFlag;                // the current press came with Ctrl
  void *dialogWindow;                 // the main dialog's window while it runs
  int32_t fitZoomDivisor;             // the divisor at which the whole image fits the preview
  Rect16 previewFrame;                // control 18 inset by 2: the preview image is centred in it
  // ---- end of the main dialog's members ----

  // Members of the files are added here by their owners.
};

// ---- Rectangle sizes and buffer sizing -------------------------------------------------------

// zoomDivisor := zoom; rectWidth, rectHeight, the bounds and the last row and column from rect.
void RecordRectSize(PluginGlobals *globals, const Rect16 *rect, int32_t zoom);

// The renderer's sizes and rowBufferColumns from rectWidth and rectHeight.
void ComputeRowSizes(PluginGlobals *globals);

// bufferSizes from rowBufferColumns, and the filter record's bufferSpace.
void SetBufferSizes(PluginGlobals *globals);

// ---- The run ---------------------------------------------------------------------------------

// Allocates the row buffer, the small work buffers and the RunState (zero-filled). On failure
// frees what was allocated, writes 3 and empties the request rectangles (FailRun) and returns
// false.
bool AllocateRunBuffers(PluginGlobals *globals);

// Grows the row buffer to the input width + 4 columns; -128 in the result word when that fails.
void GrowRowBuffer(PluginGlobals *globals);

// Frees everything the run holds. A second call frees nothing.
void FreeRunBuffers(PluginGlobals *globals);

// The end of a run: the run's files are saved, then the run is freed.
void EndRun(PluginGlobals *globals);

// Result 3 and empty request rectangles.
void FailRun(PluginGlobals *globals);

// Clears the buffer slots and the RunState pointer, and binds the image records. A live run
// is ended (EndRun) first; a stale RunState pointer is cleared without being followed.
void ResetGlobalImages(PluginGlobals *globals);

// True when the globals hold the run that this module allocated and has not freed.
bool RunIsLive(const PluginGlobals *globals);

// EndRun when the globals hold a live run; nothing otherwise.
void EndLiveRun(PluginGlobals *globals);

// tentTable and oddsTable of the RunState.
void BuildRunLookupTables(PluginGlobals *globals);

// Creates the run's image set at savedFilterRect's size unless the cloud cache has been loaded;
// 999 in the result word when that fails.
void AllocateWorkImage(PluginGlobals *globals);

// The render set-up's last step; a non-zero value would keep moreRowsWithoutHost set.
int32_t ExtraSetupHook(PluginGlobals *globals);

// ---- Writing the result word -----------------------------------------------------------------

inline void SetResult(PluginGlobals *globals, int16_t code) { *globals->resultPtr = code; }
inline int16_t GetResult(const PluginGlobals *globals) { return *globals->resultPtr; }

#endif  // KIVAGLOBE_PLUGIN_GLOBALS_H
