// host_interface.h -- the image editor's filter plug-in interface, as this plug-in and our
// stand-in host (host/) see it.
//
// These declarations are our own: they were written from the published descriptions of the
// filter record, its callbacks and the procedure records (field names, order, widths and
// meanings), not copied from any vendor header. Only what the plug-in and the stand-in host
// use is named; the rest of the record keeps its place as reserved space so that the field
// offsets stay where a host expects them. The whole interface is little-endian. The filter
// record is packed to 4 bytes, as hosts on Windows lay it out in both widths: in the 64-bit
// build its pointers sit at offsets that are multiples of 4, not 8 (imageSize at 28, inData at
// 88). The procedure records, the descriptor parameters and the pixel map keep their natural
// alignment. The native build packs the record the same way, so that its fake hosts see the
// 64-bit layout. The static_asserts at the end pin the offsets we rely on; the plug-in's tests
// check them again against the published numbers.
//
// Portable: this header needs no Windows header, so the native build and its fake hosts use it too.
#ifndef KIVAGLOBE_PLUGIN_HOST_INTERFACE_H
#define KIVAGLOBE_PLUGIN_HOST_INTERFACE_H

#include <cstddef>
#include <cstdint>

// Calling convention of the host's callbacks and of the plug-in entry: the C convention.
#if defined(_WIN32) && !defined(_WIN64)
#define KV_HOSTAPI __cdecl
#else
#define KV_HOSTAPI
#endif

typedef int16_t OSErr16;    // host result code: 0 success, negative errors
typedef uint32_t OSType4;   // four-character code, 'abcd' as a little-endian word
typedef int32_t Fixed32;    // 16.16 fixed point
typedef unsigned char HostBool;

// A handle: a pointer to a master pointer to the block.
typedef char **HostHandle;
// A host buffer identifier (opaque).
typedef struct HostBufferOpaque *HostBufferID;
// An open scripting descriptor (opaque, returned by the open procedures).
typedef struct HostDescriptorOpaque *HostDescriptorRef;

// Four-character code as the host stores it: 'PSP9' -> 0x50535039.
constexpr OSType4 FourCC(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) |
         uint32_t(uint8_t(d));
}

// Selectors passed to the entry.
enum : int16_t {
  kSelectorAbout = 0,
  kSelectorParameters = 1,
  kSelectorPrepare = 2,
  kSelectorStart = 3,
  kSelectorContinue = 4,
  kSelectorFinish = 5,
};

// Result codes that reach the host.
enum : int16_t {
  kResultOk = 0,
  kResultAlreadyShown = 1,      // refusal or failure already shown to the user
  kResultRunFailed = 3,         // internal: run buffers missing (Start turns it into -108)
  kResultNoWorkImage = 999,     // no memory for the run's image set
  kResultUserCanceled = -128,
  kResultMemFull = -108,
  kResultNilHandle = -109,
  kResultNilHandleSetSize = -111,
  kResultBadSelector = -30100,
  kResultParamNotFound = -1715, // a missing descriptor parameter: not an error for us
};

// Image modes of the filter record.
enum : int16_t {
  kModeBitmap = 0,
  kModeGrayScale = 1,
  kModeIndexed = 2,
  kModeRGB = 3,
  kModeCMYK = 4,
  kModeHSL = 5,
  kModeHSB = 6,
  kModeMultichannel = 7,
  kModeDuotone = 8,
  kModeLab = 9,
  kModeGray16 = 10,
  kModeRGB48 = 11,
  kModeLab48 = 12,
  kModeCMYK64 = 13,
  kModeDeepMultichannel = 14,
  kModeDuotone16 = 15,
  kModeRGB96 = 16,
  kModeGray32 = 17,
};

// Filter cases (filterCase field; 0 means the host does not say).
enum : int16_t {
  kFilterCaseUnsupported = -1,
  kFilterCaseFlatImageNoSelection = 1,
  kFilterCaseFlatImageWithSelection = 2,
  kFilterCaseFloatingSelection = 3,
  kFilterCaseEditableTransparencyNoSelection = 4,
  kFilterCaseEditableTransparencyWithSelection = 5,
  kFilterCaseProtectedTransparencyNoSelection = 6,
  kFilterCaseProtectedTransparencyWithSelection = 7,
};

// Playback and recording modes of the descriptor parameters.
enum : int16_t {
  kPlayDontDisplay = 0,      // play without the dialog unless it is needed
  kPlayDisplay = 1,          // show the dialog
  kPlaySilent = 2,           // never show the dialog
  kRecordDialogOptional = 0,
  kRecordDialogRequired = 1,
  kRecordDialogNone = 2,
};

// A rectangle of the interface: top, left, bottom, right; bottom and right exclusive.
struct Rect16 {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

// A point of the interface: v (vertical) first, h second.
struct HostPoint {
  int16_t v;
  int16_t h;
};

// A rectangle of 32-bit coordinates (pixel maps).
struct HostVRect {
  int32_t top;
  int32_t left;
  int32_t bottom;
  int32_t right;
};

struct HostRGBColor {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

// Monitor description handed to plug-ins (ten 16.16 values).
struct HostMonitor {
  Fixed32 gamma;
  Fixed32 redX, redY;
  Fixed32 greenX, greenY;
  Fixed32 blueX, blueY;
  Fixed32 whiteX, whiteY;
  Fixed32 ambient;
};

// Platform data: the host's main window.
struct HostPlatformData {
  intptr_t hwnd;
};

// ---- Callbacks --------------------------------------------------------------------------

typedef HostBool(KV_HOSTAPI *HostTestAbortProc)(void);
typedef void(KV_HOSTAPI *HostProgressProc)(int32_t done, int32_t total);
typedef OSErr16(KV_HOSTAPI *HostAdvanceStateProc)(void);
typedef void(KV_HOSTAPI *HostGenericProc)(int16_t selector, intptr_t *data);
typedef HostBool(KV_HOSTAPI *HostProcessEventProc)(void *event);

// ---- Buffer procedures (version 2, at least 5 procedures) --------------------------------

typedef OSErr16(KV_HOSTAPI *HostAllocateBufferProc)(int32_t size, HostBufferID *bufferID);
typedef char *(KV_HOSTAPI *HostLockBufferProc)(HostBufferID bufferID, HostBool moveHigh);
typedef void(KV_HOSTAPI *HostUnlockBufferProc)(HostBufferID bufferID);
typedef void(KV_HOSTAPI *HostFreeBufferProc)(HostBufferID bufferID);
typedef int32_t(KV_HOSTAPI *HostBufferSpaceProc)(void);

struct HostBufferProcs {
  int16_t bufferProcsVersion;
  int16_t numBufferProcs;
  HostAllocateBufferProc allocateProc;
  HostLockBufferProc lockProc;
  HostUnlockBufferProc unlockProc;
  HostFreeBufferProc freeProc;
  HostBufferSpaceProc spaceProc;
};
constexpr int16_t kCurrentBufferProcsVersion = 2;
constexpr int16_t kCurrentBufferProcsCount = 5;

// ---- Handle procedures (version 1, at least 8 procedures) --------------------------------

typedef HostHandle(KV_HOSTAPI *HostNewHandleProc)(int32_t size);
typedef void(KV_HOSTAPI *HostDisposeHandleProc)(HostHandle h);
typedef int32_t(KV_HOSTAPI *HostGetHandleSizeProc)(HostHandle h);
typedef OSErr16(KV_HOSTAPI *HostSetHandleSizeProc)(HostHandle h, int32_t newSize);
typedef char *(KV_HOSTAPI *HostLockHandleProc)(HostHandle h, HostBool moveHigh);
typedef void(KV_HOSTAPI *HostUnlockHandleProc)(HostHandle h);
typedef void(KV_HOSTAPI *HostRecoverSpaceProc)(int32_t size);
typedef void(KV_HOSTAPI *HostDisposeRegularHandleProc)(HostHandle h);

struct HostHandleProcs {
  int16_t handleProcsVersion;
  int16_t numHandleProcs;
  HostNewHandleProc newProc;
  HostDisposeHandleProc disposeProc;
  HostGetHandleSizeProc getSizeProc;
  HostSetHandleSizeProc setSizeProc;
  HostLockHandleProc lockProc;
  HostUnlockHandleProc unlockProc;
  HostRecoverSpaceProc recoverSpaceProc;
  HostDisposeRegularHandleProc disposeRegularHandleProc;
};
constexpr int16_t kCurrentHandleProcsVersion = 1;
constexpr int16_t kCurrentHandleProcsCount = 8;

// ---- Scripting descriptors ---------------------------------------------------------------

typedef OSType4 DescriptorKeyID;
typedef OSType4 DescriptorTypeID;
typedef OSType4 DescriptorEnumID;
typedef OSType4 DescriptorEnumTypeID;
typedef OSType4 DescriptorClassID;
typedef OSType4 DescriptorUnitID;
typedef HostHandle HostDescriptorHandle;   // the serialised descriptor, owned by the host
typedef DescriptorKeyID DescriptorKeyIDArray[];

// Read procedures (version 0, at least 18 procedures).
typedef HostDescriptorRef(KV_HOSTAPI *OpenReadDescriptorProc)(HostDescriptorHandle, DescriptorKeyIDArray);
typedef OSErr16(KV_HOSTAPI *CloseReadDescriptorProc)(HostDescriptorRef);
typedef HostBool(KV_HOSTAPI *GetKeyProc)(HostDescriptorRef, DescriptorKeyID *key, DescriptorTypeID *type,
                                         int32_t *flags);
typedef OSErr16(KV_HOSTAPI *GetIntegerProc)(HostDescriptorRef, int32_t *);
typedef OSErr16(KV_HOSTAPI *GetFloatProc)(HostDescriptorRef, double *);
typedef OSErr16(KV_HOSTAPI *GetUnitFloatProc)(HostDescriptorRef, DescriptorUnitID *, double *);
typedef OSErr16(KV_HOSTAPI *GetBooleanProc)(HostDescriptorRef, HostBool *);
typedef OSErr16(KV_HOSTAPI *GetTextProc)(HostDescriptorRef, HostHandle *);
typedef OSErr16(KV_HOSTAPI *GetAliasProc)(HostDescriptorRef, HostHandle *);
typedef OSErr16(KV_HOSTAPI *GetEnumeratedProc)(HostDescriptorRef, DescriptorEnumID *);
typedef OSErr16(KV_HOSTAPI *GetClassProc)(HostDescriptorRef, DescriptorClassID *);
typedef OSErr16(KV_HOSTAPI *GetSimpleReferenceProc)(HostDescriptorRef, void *);
typedef OSErr16(KV_HOSTAPI *GetObjectProc)(HostDescriptorRef, DescriptorClassID *, HostDescriptorHandle *);
typedef OSErr16(KV_HOSTAPI *GetCountProc)(HostDescriptorRef, uint32_t *);
typedef OSErr16(KV_HOSTAPI *GetStringProc)(HostDescriptorRef, unsigned char *str255);
typedef OSErr16(KV_HOSTAPI *GetPinnedIntegerProc)(HostDescriptorRef, int32_t min, int32_t max, int32_t *);
typedef OSErr16(KV_HOSTAPI *GetPinnedFloatProc)(HostDescriptorRef, const double *min, const double *max,
                                                 double *);
typedef OSErr16(KV_HOSTAPI *GetPinnedUnitFloatProc)(HostDescriptorRef, const double *min, const double *max,
                                                     DescriptorUnitID *, double *);

struct HostReadDescriptorProcs {
  int16_t readDescriptorProcsVersion;
  int16_t numReadDescriptorProcs;
  OpenReadDescriptorProc openReadDescriptorProc;
  CloseReadDescriptorProc closeReadDescriptorProc;
  GetKeyProc getKeyProc;
  GetIntegerProc getIntegerProc;
  GetFloatProc getFloatProc;
  GetUnitFloatProc getUnitFloatProc;
  GetBooleanProc getBooleanProc;
  GetTextProc getTextProc;
  GetAliasProc getAliasProc;
  GetEnumeratedProc getEnumeratedProc;
  GetClassProc getClassProc;
  GetSimpleReferenceProc getSimpleReferenceProc;
  GetObjectProc getObjectProc;
  GetCountProc getCountProc;
  GetStringProc getStringProc;
  GetPinnedIntegerProc getPinnedIntegerProc;
  GetPinnedFloatProc getPinnedFloatProc;
  GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};
constexpr int16_t kCurrentReadDescriptorProcsVersion = 0;
constexpr int16_t kCurrentReadDescriptorProcsCount = 18;

// Write procedures (version 0, at least 16 procedures).
typedef HostDescriptorRef(KV_HOSTAPI *OpenWriteDescriptorProc)(void);
typedef OSErr16(KV_HOSTAPI *CloseWriteDescriptorProc)(HostDescriptorRef, HostDescriptorHandle *);
typedef OSErr16(KV_HOSTAPI *PutIntegerProc)(HostDescriptorRef, DescriptorKeyID, int32_t);
typedef OSErr16(KV_HOSTAPI *PutFloatProc)(HostDescriptorRef, DescriptorKeyID, const double *);
typedef OSErr16(KV_HOSTAPI *PutUnitFloatProc)(HostDescriptorRef, DescriptorKeyID, DescriptorUnitID,
                                              const double *);
typedef OSErr16(KV_HOSTAPI *PutBooleanProc)(HostDescriptorRef, DescriptorKeyID, HostBool);
typedef OSErr16(KV_HOSTAPI *PutTextProc)(HostDescriptorRef, DescriptorKeyID, HostHandle);
typedef OSErr16(KV_HOSTAPI *PutAliasProc)(HostDescriptorRef, DescriptorKeyID, HostHandle);
typedef OSErr16(KV_HOSTAPI *PutEnumeratedProc)(HostDescriptorRef, DescriptorKeyID, DescriptorTypeID,
                                               DescriptorEnumID);
typedef OSErr16(KV_HOSTAPI *PutClassProc)(HostDescriptorRef, DescriptorKeyID, DescriptorTypeID);
typedef OSErr16(KV_HOSTAPI *PutSimpleReferenceProc)(HostDescriptorRef, DescriptorKeyID, const void *);
typedef OSErr16(KV_HOSTAPI *PutObjectProc)(HostDescriptorRef, DescriptorKeyID, DescriptorClassID,
                                           HostDescriptorHandle);
typedef OSErr16(KV_HOSTAPI *PutCountProc)(HostDescriptorRef, DescriptorKeyID, uint32_t);
typedef OSErr16(KV_HOSTAPI *PutStringProc)(HostDescriptorRef, DescriptorKeyID, const unsigned char *str255);
typedef OSErr16(KV_HOSTAPI *PutScopedClassProc)(HostDescriptorRef, DescriptorKeyID, DescriptorTypeID);
typedef OSErr16(KV_HOSTAPI *PutScopedObjectProc)(HostDescriptorRef, DescriptorKeyID, DescriptorClassID,
                                                 HostDescriptorHandle);

struct HostWriteDescriptorProcs {
  int16_t writeDescriptorProcsVersion;
  int16_t numWriteDescriptorProcs;
  OpenWriteDescriptorProc openWriteDescriptorProc;
  CloseWriteDescriptorProc closeWriteDescriptorProc;
  PutIntegerProc putIntegerProc;
  PutFloatProc putFloatProc;
  PutUnitFloatProc putUnitFloatProc;
  PutBooleanProc putBooleanProc;
  PutTextProc putTextProc;
  PutAliasProc putAliasProc;
  PutEnumeratedProc putEnumeratedProc;
  PutClassProc putClassProc;
  PutSimpleReferenceProc putSimpleReferenceProc;
  PutObjectProc putObjectProc;
  PutCountProc putCountProc;
  PutStringProc putStringProc;
  PutScopedClassProc putScopedClassProc;
  PutScopedObjectProc putScopedObjectProc;
};
constexpr int16_t kCurrentWriteDescriptorProcsVersion = 0;
constexpr int16_t kCurrentWriteDescriptorProcsCount = 16;

struct HostDescriptorParameters {
  int16_t descriptorParametersVersion;
  int16_t playInfo;     // kPlayDontDisplay, kPlayDisplay, kPlaySilent
  int16_t recordInfo;   // kRecordDialogOptional, ...
  HostDescriptorHandle descriptor;
  HostWriteDescriptorProcs *writeDescriptorProcs;
  HostReadDescriptorProcs *readDescriptorProcs;
};

// ---- Pixel map for displayPixels ---------------------------------------------------------

struct HostPixelMap {
  int32_t version;      // 1
  HostVRect bounds;
  int32_t imageMode;
  int32_t rowBytes;
  int32_t colBytes;
  int32_t planeBytes;
  void *baseAddr;
  // version 1 and later
  void *mat;
  void *masks;
  int32_t maskPhaseRow;
  int32_t maskPhaseCol;
};

typedef OSErr16(KV_HOSTAPI *HostDisplayPixelsProc)(const HostPixelMap *source, const HostVRect *srcRect,
                                                   int32_t dstRow, int32_t dstCol, void *platformContext);

// ---- Colour services ---------------------------------------------------------------------

enum : int16_t {
  kColorServicesChooseColor = 0,
  kColorServicesConvertColor = 1,
  kColorServicesSamplePoint = 2,
  kColorServicesGetSpecialColor = 3,
};
enum : int16_t { kColorSpaceRGB = 0 };

struct HostColorServicesInfo {
  int32_t infoSize;
  int16_t selector;
  int16_t sourceSpace;
  int16_t resultSpace;
  HostBool resultGamutInfoValid;
  HostBool resultInGamut;
  void *reservedSourceSpaceInfo;
  void *reservedResultSpaceInfo;
  int16_t colorComponents[4];
  void *reserved;
  union {
    unsigned char *pickerPrompt;   // length-prefixed string
    HostPoint *globalSamplePoint;
    int32_t specialColorID;
  } selectorParameter;
};

typedef OSErr16(KV_HOSTAPI *HostColorServicesProc)(HostColorServicesInfo *info);

// ---- The filter record -------------------------------------------------------------------

// Packed to 4 bytes (see the top of this file); only this record.
#pragma pack(push, 4)
struct FilterRecord {
  int32_t serialNumber;
  HostTestAbortProc abortProc;
  HostProgressProc progressProc;
  HostHandle parameters;          // the plug-in's parameter block; null until the plug-in makes it
  HostPoint imageSize;
  int16_t planes;
  Rect16 filterRect;
  HostRGBColor background;
  HostRGBColor foreground;
  int32_t maxSpace;
  int32_t bufferSpace;            // written by the plug-in at Prepare

  Rect16 inRect;                  // requested by the plug-in, delivered by advanceState
  int16_t inLoPlane;
  int16_t inHiPlane;
  Rect16 outRect;
  int16_t outLoPlane;
  int16_t outHiPlane;
  void *inData;
  int32_t inRowBytes;
  void *outData;
  int32_t outRowBytes;

  HostBool isFloating;
  HostBool haveMask;
  HostBool autoMask;
  Rect16 maskRect;
  void *maskData;
  int32_t maskRowBytes;

  uint8_t backColor[4];
  uint8_t foreColor[4];
  OSType4 hostSig;
  HostGenericProc hostProc;
  int16_t imageMode;
  Fixed32 imageHRes;
  Fixed32 imageVRes;
  HostPoint floatCoord;
  HostPoint wholeSize;
  HostMonitor monitor;

  HostPlatformData *platformData;
  HostBufferProcs *bufferProcs;
  void *resourceProcs;
  HostProcessEventProc processEvent;
  HostDisplayPixelsProc displayPixels;
  HostHandleProcs *handleProcs;

  HostBool supportsDummyChannels;
  HostBool supportsAlternateLayouts;
  int16_t wantLayout;
  int16_t filterCase;
  int16_t dummyPlaneValue;
  void *premiereHook;
  HostAdvanceStateProc advanceState;

  HostBool supportsAbsolute;
  HostBool wantsAbsolute;
  void *getPropertyObsolete;
  HostBool cannotUndo;
  HostBool supportsPadding;
  int16_t inputPadding;
  int16_t outputPadding;
  int16_t maskPadding;
  char samplingSupport;           // 0 none, 1 integral steps, 2 fractional
  char reservedByte;
  Fixed32 inputRate;              // 16.16 sample rate of the input request
  Fixed32 maskRate;

  HostColorServicesProc colorServices;

  int16_t inLayerPlanes;
  int16_t inTransparencyMask;
  int16_t inLayerMasks;
  int16_t inInvertedLayerMasks;
  int16_t inNonLayerPlanes;
  int16_t outLayerPlanes;
  int16_t outTransparencyMask;
  int16_t outLayerMasks;
  int16_t outInvertedLayerMasks;
  int16_t outNonLayerPlanes;
  int16_t absLayerPlanes;
  int16_t absTransparencyMask;
  int16_t absLayerMasks;
  int16_t absInvertedLayerMasks;
  int16_t absNonLayerPlanes;
  int16_t inPreDummyPlanes;
  int16_t inPostDummyPlanes;
  int16_t outPreDummyPlanes;
  int16_t outPostDummyPlanes;

  int32_t inColumnBytes;
  int32_t inPlaneBytes;
  int32_t outColumnBytes;
  int32_t outPlaneBytes;

  void *imageServicesProcs;
  void *propertyProcs;
  int16_t inTileHeight;
  int16_t inTileWidth;
  HostPoint inTileOrigin;
  int16_t absTileHeight;
  int16_t absTileWidth;
  HostPoint absTileOrigin;
  int16_t outTileHeight;
  int16_t outTileWidth;
  HostPoint outTileOrigin;
  int16_t maskTileHeight;
  int16_t maskTileWidth;
  HostPoint maskTileOrigin;

  HostDescriptorParameters *descriptorParameters;
  unsigned char *errorString;     // length-prefixed, 256 bytes
  void *channelPortProcs;
  void *documentInfo;
  void *sSPBasic;
  void *plugInRef;
  int32_t depth;                  // bits per channel: 8, 16 or 32

  HostHandle iCCprofileData;
  int32_t iCCprofileSize;
  int32_t canUseICCProfiles;

  int32_t hasImageScrap;
  void *bigDocumentData;
  void *input3DScene;
  void *output3DScene;
  HostBool createNewLayer;
  HostBool reservedPadding[3];
  void *reservedSpace[16];        // room for later interface revisions
};
#pragma pack(pop)

// The plug-in entry, as both widths export it.
typedef void(KV_HOSTAPI *PluginEntryProc)(int16_t selector, FilterRecord *filterRecord, intptr_t *data,
                                          int16_t *result);

// ---- Layout checks -----------------------------------------------------------------------

static_assert(sizeof(Rect16) == 8);
static_assert(sizeof(HostPoint) == 4);
static_assert(sizeof(HostMonitor) == 40);
static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(HostBufferProcs, allocateProc) == sizeof(void *));
static_assert(offsetof(HostHandleProcs, newProc) == sizeof(void *));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(FilterRecord, parameters) == 12);
static_assert(offsetof(FilterRecord, filterRect) == 22);
static_assert(offsetof(FilterRecord, bufferSpace) == 48);
static_assert(offsetof(FilterRecord, inRect) == 52);
static_assert(offsetof(FilterRecord, inData) == 76);
static_assert(offsetof(FilterRecord, maskRect) == 96);
static_assert(offsetof(FilterRecord, hostSig) == 120);
static_assert(offsetof(FilterRecord, imageMode) == 128);
static_assert(offsetof(FilterRecord, platformData) == 188);
static_assert(offsetof(FilterRecord, advanceState) == 224);
static_assert(offsetof(FilterRecord, inputRate) == 248);
static_assert(offsetof(FilterRecord, descriptorParameters) == 356);
static_assert(sizeof(HostPixelMap) == 56);
#else
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432);
static_assert(sizeof(HostPixelMap) == 72);
static_assert(offsetof(HostDescriptorParameters, descriptor) == 8);
#endif

#endif  // KIVAGLOBE_PLUGIN_HOST_INTERFACE_H
