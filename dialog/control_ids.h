// control_ids.h -- the numeric ids of the main dialog's controls and the kinds of control.
//
// Every control of the dialog template "ZUVEDERUSANSPARAM" is addressed by one of these ids,
// 0..199, in code and in the template alike; the resource generator and the stand-in host's
// dialog driver use the same numbers. What each id is (its kind, partner edit, pictures, label
// text and place) is answered by DescribeControl and GetDialogLayoutRect (control_table.h).
#ifndef KIVAGLOBE_DIALOG_CONTROL_IDS_H
#define KIVAGLOBE_DIALOG_CONTROL_IDS_H

#include <cstdint>

// The dialog template's name and title.
constexpr const char *kMainDialogTemplate = "ZUVEDERUSANSPARAM";
constexpr const char *kMainDialogTitle = "Kivaglobe";

// The client area of the dialog, in pixels.
constexpr int kDialogClientWidth = 963;
constexpr int kDialogClientHeight = 641;

// Ids run 0..199; the per-id tables have this many entries.
constexpr int kControlIdCount = 200;

// Kinds of control. The values are fixed: the predicates and the undo policy test them, and
// kinds that no row of the table uses stay reserved so that those tests keep their meaning.
enum ControlKind : int32_t {
  kKindNone = -1,           // an id without a description
  kKindSlider = 0,          // owner-drawn horizontal slider with a partner edit
  kKindLabel = 1,           // owner-drawn text
  kKindNumberEdit = 2,      // the partner edit of a slider (no row of its own)
  kKindCheckBox = 3,
  kKindPushButton = 4,
  kKindReserved5 = 5,       // drawn by Windows like a push button
  kKindReserved6 = 6,       // enabled like a push button
  kKindIconButton = 7,      // push button whose face is an icon
  kKindColorSwatch = 8,     // owner-drawn colour button
  kKindDirectionBall = 9,   // owner-drawn trackball editing a unit vector
  kKindReserved10 = 10,
  kKindList11 = 11,         // read and written like a combo box
  kKindList12 = 12,
  kKindComboBox = 13,       // the map-mode drop-down list
  kKindRadioMember = 14,
  kKindBar = 15,            // a black/white bar (no row)
  kKindBackground = 16,     // a patch of the background picture (no row)
  kKindReserved17 = 17,
  kKindAboutPicture = 18,
  kKindReserved19 = 19,
  kKindReserved20 = 20,
  kKindReserved21 = 21,
  kKindReserved22 = 22,
  kKindToggle = 23,         // a bitmap toggle whose value flips on release
  kKindMemoryDot = 25,
  kKindDotThumbnail = 26,
};

// ---- Control ids ---------------------------------------------------------------------------

// Push buttons.
constexpr int kIdCancel = 2;
constexpr int kIdOk = 3;

// Colour swatches.
constexpr int kIdLandColor = 7;
constexpr int kIdAirColor = 8;
constexpr int kIdSeaColor = 9;
constexpr int kIdCloudColor = 14;
constexpr int kIdDesertColor = 19;
constexpr int kIdIceColor = 20;
constexpr int kIdCityColor = 29;

// Sliders (each with its partner edit).
constexpr int kIdCloudShadows = 10, kIdCloudShadowsEdit = 77;
constexpr int kIdCloudHeight = 11, kIdCloudHeightEdit = 78;
constexpr int kIdAirDepth = 12, kIdAirDepthEdit = 79;
constexpr int kIdSunset = 13, kIdSunsetEdit = 80;
constexpr int kIdPlanetSize = 37, kIdPlanetSizeEdit = 86;
constexpr int kIdLandComplexity = 39, kIdLandComplexityEdit = 85;
constexpr int kIdStormSize = 43, kIdStormSizeEdit = 87;
constexpr int kIdStormCount = 45, kIdStormCountEdit = 88;
constexpr int kIdStormSwirl = 47, kIdStormSwirlEdit = 89;
constexpr int kIdAirBrightness = 51, kIdAirBrightnessEdit = 83;
constexpr int kIdSeaLevel = 55, kIdSeaLevelEdit = 90;
constexpr int kIdDesert = 57, kIdDesertEdit = 91;
constexpr int kIdCraterCount = 59, kIdCraterCountEdit = 92;
constexpr int kIdCraterSize = 61, kIdCraterSizeEdit = 93;
constexpr int kIdCraterTexture = 63, kIdCraterTextureEdit = 94;
constexpr int kIdIce = 65, kIdIceEdit = 81;
constexpr int kIdCloudTexture = 67, kIdCloudTextureEdit = 82;
constexpr int kIdCloudEdges = 69, kIdCloudEdgesEdit = 95;
constexpr int kIdCloudCoverage = 98, kIdCloudCoverageEdit = 99;
constexpr int kIdLandTexture = 103, kIdLandTextureEdit = 104;
constexpr int kIdCities = 107, kIdCitiesEdit = 108;
constexpr int kIdCloudViscosity = 110, kIdCloudViscosityEdit = 111;
constexpr int kIdCloudCoriolis = 114, kIdCloudCoriolisEdit = 115;

// Check boxes.
constexpr int kIdRealLuna = 21;
constexpr int kIdRealClouds = 48;
constexpr int kIdBacklighting = 52;
constexpr int kIdLunarClimate = 105;

// Icon buttons.
constexpr int kIdClouds = 17;
constexpr int kIdSaveSettings = 26;
constexpr int kIdDefaults = 27;
constexpr int kIdZoomIn = 32;
constexpr int kIdZoomOut = 33;
constexpr int kIdLoadSettings = 35;
constexpr int kIdLayers = 71;
constexpr int kIdDice = 72;
constexpr int kIdUndo = 74;
constexpr int kIdRandomSeed = 75;
constexpr int kIdInfo = 116;
constexpr int kIdGallery = 150;

// Everything else.
constexpr int kIdPreview = 18;            // the preview area (no row)
constexpr int kIdAbout = 25;              // the About picture
constexpr int kIdZoomLabel = 34;          // plain push button showing the zoom percentage (no row)
constexpr int kIdMapMode = 73;            // the map-mode combo box
constexpr int kIdMapModeLabel = 146;
constexpr int kIdSettingsName = 76;       // label showing settingsName
constexpr int kIdAxis = 100;              // direction ball of the axis
constexpr int kIdLight = 112;             // direction ball of the light
constexpr int kIdAxisLabel = 40;
constexpr int kIdPlainStatic = 101;       // a plain static item without role
constexpr int kIdDotThumbnail = 119;
constexpr int kIdFirstMemoryDot = 121;    // 121..145: slots 0..24 in id order
constexpr int kIdLastMemoryDot = 145;
constexpr int kMemoryDotCount = 25;

// A commit of the whole dialog (the preview timer, a recentring press); no control has it.
constexpr int kIdWholeDialog = 777;

// Command ids of popup items start above this (2001 is the first item).
constexpr int kFirstPopupCommand = 2000;

// Ids of the template items without role; their layout rows lie below the client area.
constexpr int kHiddenItemIds[] = {1, 6, 16, 28, 30, 31, 41, 84, 96, 117, 118, 120, 147, 148, 149};

// The dialog's preview timer: started by typing into a slider's edit, one second.
constexpr unsigned kPreviewTimerId = 8064;
constexpr unsigned kPreviewTimerMs = 1000;

// Cursor resources: panning (a drag in the zoomed preview) and over the preview.
constexpr int kPanCursorId = 107;
constexpr int kPreviewCursorId = 109;

// Bitmap resources the painters draw.
constexpr int kTrackBitmapA = 101;
constexpr int kTrackBitmapB = 102;
constexpr int kThumbBitmap = 120;
constexpr int kBallBitmap = 180;
constexpr int kBackgroundBitmap = 239;
constexpr int kBallTipIcon = 122;

#endif  // KIVAGLOBE_DIALOG_CONTROL_IDS_H
