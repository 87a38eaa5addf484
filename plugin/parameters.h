// parameters.h -- the planet's parameter record, kept by the host in the filter record's
// parameters handle between uses of the filter.
//
// The block is one fixed-layout record: every user setting of the planet (colours, sliders,
// check boxes, light and axis directions, seed, output mode, map centre, chosen cloud image)
// and the few run values that must survive between host calls (show-dialog flag, preview zoom
// and pan, render target, file-name fields). The plug-in makes it once, in a host handle of
// sizeof(ParameterBlock) bytes, and never frees it; the host may keep it across runs, so the
// layout below is part of what a host stores and must not be reordered.
//
// Layout rules: natural alignment, little-endian, the same field order in both widths; only
// the `globals` back pointer differs in width (4 or 8 bytes), which moves every later field
// by 4 bytes in the 32-bit build. The static_asserts at the end pin the offsets that the
// stand-in host's dump relies on.
//
// Slider values are 0..100; colours are three 16-bit channels R, G, B in 0..65535.
#ifndef KIVAGLOBE_PLUGIN_PARAMETERS_H
#define KIVAGLOBE_PLUGIN_PARAMETERS_H

#include <cstddef>
#include <cstdint>

struct PluginGlobals;

// Length of every file-name and text field of the block, terminator included.
constexpr int kParameterTextSize = 260;

// One colour of the block: 16-bit channels.
struct ParameterColor {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

struct ParameterBlock {
  uint32_t showDialog;          // 1: the next Start shows the main dialog
  uint16_t formatFlag;          // 1 at creation; not read
  PluginGlobals *globals;       // the globals that made the block
  uint8_t optionFlagA;          // 1 at creation; not read
  uint8_t optionFlagB;          // 1 at creation; not read
  uint8_t livePreview;          // the host can show a live preview (set at every Start)
  uint8_t previewOff;           // preview switched off; only ever cleared
  float lightVector[3];         // light direction x, y, z (unit length)
  float axisVector[3];          // planet axis x, y, z
  uint32_t settingsVersion;     // version word of the settings writer
  uint32_t outputMode;          // 1..14
  uint32_t zoomDivisor;         // preview shows the image at 100 / n percent
  uint32_t renderTarget;        // 0 host image, 1 dialog preview, 2 export image
  uint32_t spareSetting;        // 1 at creation; not read
  int32_t panX;                 // preview pan in image pixels
  int32_t panY;
  int32_t spareWordA;           // -1 at creation; not read
  int32_t spareWordB;           // -1 at creation; not read
  uint32_t randomSeed;          // planet seed, 0..2047 from the dialog
  uint32_t halfWidth;           // planet centre in pixels of the filter rectangle
  uint32_t halfHeight;
  float centerX;                // map centre, fractions of the image
  float centerY;

  // The eight colours, in this order (the snapshot copies them as one run).
  ParameterColor landColor;
  ParameterColor airColor;
  ParameterColor seaColor;
  ParameterColor desertColor;
  ParameterColor iceColor;
  ParameterColor cloudColor;
  ParameterColor cityColor;
  ParameterColor spareColor;    // no default; kept in snapshots and settings files

  // The 29 look words from airDepth to cloudTexture (the snapshot copies them as one run).
  uint32_t airDepth;
  uint32_t cloudHeight;
  uint32_t cloudShadows;
  uint32_t sunset;
  uint32_t planetSize;
  uint32_t landComplexity;
  uint32_t reliefSetting;       // no control and no key
  uint32_t stormSize;
  uint32_t stormCount;
  uint32_t stormSwirl;
  uint32_t airBrightness;
  uint32_t realClouds;          // check box 0/1
  uint32_t backlighting;        // check box 0/1
  uint32_t realLuna;            // check box 0/1
  uint32_t seaLevel;
  uint32_t desert;
  uint32_t craterCount;
  uint32_t craterSize;
  uint32_t craterTexture;
  uint32_t landTexture;
  uint32_t cloudCoverage;
  uint32_t cloudEdges;
  uint32_t cloudSetting;        // no control and no key
  uint32_t cities;
  uint32_t cloudViscosity;
  uint32_t cloudCoriolis;
  uint32_t lunarClimate;        // check box 0/1
  uint32_t ice;
  uint32_t cloudTexture;

  uint32_t cloudImage;          // chosen satellite cloud image
  int32_t cloudImageOverride;   // cloud image in force for this run, -1 none

  // Derived directions, written by the render set-up.
  int32_t lightAzimuth;         // whole degrees 0..359
  int32_t axisAzimuth;          // whole degrees 0..359
  float lightTilt;
  float axisTilt;

  uint32_t exportOptions[5];    // 0, 0, 1, 100, 100 at the first Start after a first Parameters call
  uint8_t cloudCacheLoaded;     // the cloud cache image is loaded; cleared at Start
  uint32_t exportSizeMode;      // always 3
  char settingsFolder[kParameterTextSize];  // folder of the last preset file
  char psdName[kParameterTextSize];         // last layered-document name
  char sourceFolder[kParameterTextSize];    // folder of the batch render and presets gallery
  uint8_t batchCancel;          // set to stop the batch render of queued presets
  char settingsName[kParameterTextSize];    // name of the current settings (label 76)
  char controlText1[kParameterTextSize];
  char controlText2[kParameterTextSize];
  char controlText3[kParameterTextSize];
  uint32_t spareWordC;          // 0 at creation; not read

  // Scratch fields of the main dialog; no default.
  uint32_t dragControlId;       // the control pressed, -1 none
  uint8_t dragMoved;            // a pan drag has moved
  int16_t dragPoint[2];         // y then x, the last mouse point of a pan drag

  // Used only in the undo snapshot images (the snapshot copy never touches them).
  uint8_t slotValid;            // the slot holds a state
  uint8_t slotInFile;           // the state was also written to the slot's undo file
};

// ---- Layout checks -------------------------------------------------------------------------

static_assert(offsetof(ParameterBlock, formatFlag) == 4);
static_assert(offsetof(ParameterBlock, globals) == 8);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(ParameterBlock, lightVector) == 16);
static_assert(offsetof(ParameterBlock, randomSeed) == 76);
static_assert(offsetof(ParameterBlock, landColor) == 96);
static_assert(offsetof(ParameterBlock, airDepth) == 144);
static_assert(offsetof(ParameterBlock, cloudImage) == 260);
static_assert(offsetof(ParameterBlock, exportOptions) == 284);
static_assert(offsetof(ParameterBlock, settingsFolder) == 312);
static_assert(offsetof(ParameterBlock, settingsName) == 1093);
static_assert(offsetof(ParameterBlock, spareWordC) == 2136);
static_assert(sizeof(ParameterBlock) == 2152);
#else
static_assert(offsetof(ParameterBlock, lightVector) == 20);
static_assert(offsetof(ParameterBlock, randomSeed) == 80);
static_assert(offsetof(ParameterBlock, landColor) == 100);
static_assert(offsetof(ParameterBlock, airDepth) == 148);
static_assert(offsetof(ParameterBlock, cloudImage) == 264);
static_assert(offsetof(ParameterBlock, exportOptions) == 288);
static_assert(offsetof(ParameterBlock, settingsFolder) == 316);
static_assert(offsetof(ParameterBlock, settingsName) == 1097);
static_assert(offsetof(ParameterBlock, spareWordC) == 2140);
static_assert(sizeof(ParameterBlock) == 2160);
#endif

// ---- Routines of the block -----------------------------------------------------------------

// The block in the filter record's parameters handle (used through its master pointer,
// without locking), or null when there is none yet.
ParameterBlock *GetParameterBlock(PluginGlobals *globals);

// Writes the defaults of the planet: the eight colours but the spare one, the 29 look words,
// the light and axis vectors, the seed, the map centre, outputMode and cloudImage.
void SetDefaultParameters(PluginGlobals *globals);
// The same defaults written into any block.
void SetDefaultParameterValues(ParameterBlock *p);

// Copies the look fields between the live block and a snapshot: settingsName, the eight
// colours, the 29 look words, randomSeed, lightVector, axisVector and outputMode.
// direction 0: live -> snapshot; 1: snapshot -> live.
void CopyParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals, int direction);
void SaveParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals);
void RestoreParameterSnapshot(ParameterBlock *snapshot, PluginGlobals *globals);

// The two-state undo over the RunState's two snapshot slots. withFile also writes the slot's
// undo file, which popping the slot reads back (through plugin/file_hooks.h).
void PushUndo(PluginGlobals *globals, bool withFile);
void PopUndo(PluginGlobals *globals);

// settingsName := "plain settings.q1q".
void SetPlainSettingsName(PluginGlobals *globals);

// Name given to the settings of a new block.
extern const char kDefaultSettingsName[];

#endif  // KIVAGLOBE_PLUGIN_PARAMETERS_H
