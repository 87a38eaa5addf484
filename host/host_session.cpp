// host_session.cpp -- the filter record, its callbacks and the sequence of selector calls.
#include "host/host_session.h"

#include <cstring>
#include <utility>

#include "host/ui_driver.h"

// The session the callbacks work on (see the header).
static HostSession *gSession = nullptr;

const char *SelectorName(int16_t selector) {
  static const char *const kNames[] = {"About", "Parameters", "Prepare", "Start", "Continue", "Finish"};
  return selector >= 0 && selector <= 5 ? kNames[selector] : nullptr;
}

// ---- Delivery ---------------------------------------------------------------------------------

// Copies what the plug-in wrote into the last output buffer back into the destination. The
// output of a sampled request is a preview, drawn through displayPixels at most: the document
// does not change until the real run writes it. With --store-preview-output the host behaves
// as editors do that store any non-empty output rectangle, a preview's included: the plug-in's
// real run must then write over it.
static void WriteBackOutput(HostSession *s) {
  if (!s->outputIsPreview || s->options.storePreviewOutput) StorePlaneBuffer(s->outBuffer, &s->destination);
}

// Drops what the last request delivered (after its output went back).
static void DropDelivery(HostSession *s) {
  s->inBuffer = PlaneBuffer();
  s->outBuffer = PlaneBuffer();
  s->maskBuffer = PlaneBuffer();
  s->outputIsPreview = false;
  s->record.inData = nullptr;
  s->record.outData = nullptr;
  s->record.maskData = nullptr;
}

// `rect` clamped to the document as seen at sampling step `step` (see delivery.h).
static Rect16 ClampSampled(const Rect16 &rect, const HostImage &image, int32_t step) {
  return ClampRectToImage(rect, (image.width + step - 1) / step, (image.height + step - 1) / step);
}

// Hands the plug-in the rectangles and planes it asked for: the output of the last request
// goes back first, then each request is clamped to the document and copied into a buffer. The
// input and the mask are sampled at their rates; the output never is.
static void DeliverRequest(HostSession *s) {
  FilterRecord &r = s->record;
  WriteBackOutput(s);
  const int32_t w = s->source.width, h = s->source.height;
  const int32_t sample = s->source.bytesPerSample;
  const int32_t inStep = SampleStep(r.inputRate);
  const int32_t maskStep = SampleStep(r.maskRate);

  r.inRect = ClampSampled(r.inRect, s->source, inStep);
  FillPlaneBuffer(s->source, r.inRect, r.inLoPlane, r.inHiPlane, &s->inBuffer, inStep);
  r.inData = s->inBuffer.bytes.empty() ? nullptr : s->inBuffer.bytes.data();
  r.inRowBytes = s->inBuffer.rowBytes;
  r.inColumnBytes = (s->inBuffer.hiPlane - s->inBuffer.loPlane + 1) * sample;
  r.inPlaneBytes = sample;

  r.outRect = ClampRectToImage(r.outRect, w, h);
  FillPlaneBuffer(s->destination, r.outRect, r.outLoPlane, r.outHiPlane, &s->outBuffer);
  s->outputIsPreview = inStep > 1;
  r.outData = s->outBuffer.bytes.empty() ? nullptr : s->outBuffer.bytes.data();
  r.outRowBytes = s->outBuffer.rowBytes;
  r.outColumnBytes = (s->outBuffer.hiPlane - s->outBuffer.loPlane + 1) * sample;
  r.outPlaneBytes = sample;

  r.maskRect = ClampSampled(r.maskRect, s->source, maskStep);
  if (s->haveMask) {
    FillPlaneBuffer(s->mask, r.maskRect, 0, 0, &s->maskBuffer, maskStep);
  } else {
    s->maskBuffer.bytes.clear();
    s->maskBuffer.rowBytes = 0;
  }
  r.maskData = s->maskBuffer.bytes.empty() ? nullptr : s->maskBuffer.bytes.data();
  r.maskRowBytes = s->maskBuffer.rowBytes;

  // The abort test (--abort-at) follows the rows of the run; a preview's rows are not the run's.
  if (s->outputIsPreview) return;
  if (!HostRectEmpty(r.inRect) && r.inRect.bottom - 1 > s->highestRowRequested)
    s->highestRowRequested = r.inRect.bottom - 1;
  if (!HostRectEmpty(r.outRect) && r.outRect.bottom - 1 > s->highestRowRequested)
    s->highestRowRequested = r.outRect.bottom - 1;
}

static bool RequestPending(const FilterRecord &r) {
  return !HostRectEmpty(r.inRect) || !HostRectEmpty(r.outRect) || !HostRectEmpty(r.maskRect);
}

// The end of a run, however it ended: the last output goes back, the selection is applied,
// the delivery buffers are dropped.
static void EndDelivery(HostSession *s) {
  WriteBackOutput(s);
  if (s->haveMask) BlendThroughMask(s->source, s->mask, &s->destination);
  DropDelivery(s);
  if (s->progressShown >= 0) {
    std::fputc('\n', stderr);
    s->progressShown = -1;
  }
}

// ---- Callbacks ----------------------------------------------------------------------------------

static OSErr16 KV_HOSTAPI AdvanceStateProc(void) {
  HostSession *s = gSession;
  if (s == nullptr) return kResultBadSelector;
  s->advanceStateCalls++;
  if (s->advanceStateCalls == s->options.advanceErrorAt) {
    // The injected failure (--advance-error): what the plug-in wrote so far stays in the
    // document, and nothing of the new request is delivered.
    WriteBackOutput(s);
    DropDelivery(s);
    LogBegin(&s->log, "advanceState");
    LogInt(&s->log, "call", s->advanceStateCalls);
    LogInt(&s->log, "result", s->options.advanceErrorCode);
    LogEnd(&s->log);
    return s->options.advanceErrorCode;
  }
  DeliverRequest(s);
  const FilterRecord &r = s->record;
  LogBegin(&s->log, "advanceState");
  LogRect(&s->log, "inRect", r.inRect);
  LogInt(&s->log, "inLoPlane", s->inBuffer.loPlane);
  LogInt(&s->log, "inHiPlane", s->inBuffer.hiPlane);
  LogRect(&s->log, "outRect", r.outRect);
  LogInt(&s->log, "outLoPlane", s->outBuffer.loPlane);
  LogInt(&s->log, "outHiPlane", s->outBuffer.hiPlane);
  LogRect(&s->log, "maskRect", r.maskRect);
  LogInt(&s->log, "inputStep", SampleStep(r.inputRate));
  LogInt(&s->log, "result", 0);
  LogEnd(&s->log);
  return kResultOk;
}

static void KV_HOSTAPI ProgressProc(int32_t done, int32_t total) {
  HostSession *s = gSession;
  if (s == nullptr) return;
  s->progressCalls++;
  s->progressDone.push_back(done);
  LogBegin(&s->log, "progress");
  LogInt(&s->log, "done", done);
  LogInt(&s->log, "total", total);
  LogEnd(&s->log);
  int64_t percent = total > 0 ? int64_t(done) * 100 / total : 0;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (percent == s->progressShown) return;
  s->progressShown = int32_t(percent);
  char bar[41];
  int32_t filled = int32_t(percent * 40 / 100);
  for (int32_t i = 0; i < 40; i++) bar[i] = i < filled ? '#' : '.';
  bar[40] = 0;
  char line[64];
  const int length = std::snprintf(line, sizeof line, "\r[%s] %3d%%", bar, int(percent));
  if (length > 0) WriteStandardError(line, size_t(length));
}

static HostBool KV_HOSTAPI AbortProc(void) {
  HostSession *s = gSession;
  if (s == nullptr) return 0;
  s->abortCalls++;
  bool answer = s->options.abortAtRow >= 0 && s->highestRowRequested >= s->options.abortAtRow;
  if (answer) s->abortAnswered = true;
  LogBegin(&s->log, "abort");
  LogInt(&s->log, "highestRow", s->highestRowRequested);
  LogBool(&s->log, "result", answer);
  LogEnd(&s->log);
  return answer ? 1 : 0;
}

// Copies the source rectangle of the pixel map into the capture image. The map describes its
// pixels by row, column and plane strides; RGB modes are captured as three samples, the
// others as one, each of planeBytes (1 or 2) bytes.
static OSErr16 KV_HOSTAPI DisplayPixelsProc(const HostPixelMap *source, const HostVRect *srcRect, int32_t dstRow,
                                            int32_t dstCol, void *platformContext) {
  HostSession *s = gSession;
  if (s == nullptr) return -1;
  s->display.calls++;
  LogBegin(&s->log, "displayPixels");
  OSErr16 result = kResultOk;
  if (source == nullptr || srcRect == nullptr || source->baseAddr == nullptr ||
      (source->planeBytes != 1 && source->planeBytes != 2) || srcRect->bottom <= srcRect->top ||
      srcRect->right <= srcRect->left || srcRect->top < source->bounds.top || srcRect->left < source->bounds.left ||
      srcRect->bottom > source->bounds.bottom || srcRect->right > source->bounds.right) {
    result = -50;   // a bad parameter
  } else {
    const bool rgb = source->imageMode == kModeRGB || source->imageMode == kModeRGB48;
    int32_t samples = rgb ? 3 : 1;
    if (samples * source->planeBytes > source->colBytes) samples = 1;
    HostImage &image = s->display.image;
    MakeHostImage(&image, srcRect->right - srcRect->left, srcRect->bottom - srcRect->top, samples,
                  source->planeBytes);
    const uint8_t *base = static_cast<const uint8_t *>(source->baseAddr);
    for (int32_t y = 0; y < image.height; y++) {
      for (int32_t x = 0; x < image.width; x++) {
        const uint8_t *pixel = base + int64_t(srcRect->top - source->bounds.top + y) * source->rowBytes +
                               int64_t(srcRect->left - source->bounds.left + x) * source->colBytes;
        uint8_t *into = HostImagePixel(&image, x, y);
        for (int32_t c = 0; c < samples; c++)
          std::memcpy(into + c * source->planeBytes, pixel + c * source->planeBytes, size_t(source->planeBytes));
      }
    }
    s->display.sourceRect = *srcRect;
    s->display.destinationRow = dstRow;
    s->display.destinationColumn = dstCol;
    s->display.imageMode = source->imageMode;
    LogInt(&s->log, "width", image.width);
    LogInt(&s->log, "height", image.height);
    LogInt(&s->log, "imageMode", source->imageMode);
    // An editor shows the pixels in the plug-in's window: draw them into its context.
    PaintDisplayedImage(platformContext, image, dstRow, dstCol);
  }
  LogInt(&s->log, "result", result);
  LogEnd(&s->log);
  return result;
}

// ---- Opening --------------------------------------------------------------------------------------

static void SetError(char *error, size_t errorSize, const char *text) { std::snprintf(error, errorSize, "%s", text); }

// The bounds of the selected pixels; false when nothing is selected.
static bool MaskBounds(const HostImage &mask, Rect16 *bounds) {
  int32_t top = mask.height, left = mask.width, bottom = 0, right = 0;
  for (int32_t y = 0; y < mask.height; y++) {
    const uint8_t *row = mask.data.data() + size_t(y) * size_t(mask.width);
    for (int32_t x = 0; x < mask.width; x++) {
      if (row[x] == 0) continue;
      if (y < top) top = y;
      if (y + 1 > bottom) bottom = y + 1;
      if (x < left) left = x;
      if (x + 1 > right) right = x + 1;
    }
  }
  if (bottom <= top) return false;
  *bounds = Rect16{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
  return true;
}

// A layer with editable transparency (--transparent) carries one more plane, its alpha: clear
// on a new canvas, opaque on a picture.
static void AddAlphaPlane(HostImage *image, bool opaque) {
  HostImage layered;
  MakeHostImage(&layered, image->width, image->height, image->channels + 1, image->bytesPerSample);
  const size_t colour = HostImagePixelBytes(*image);
  const uint16_t alpha16 = opaque ? uint16_t(kHost16BitWhite) : 0;
  const uint8_t alpha8 = opaque ? 255 : 0;
  for (int32_t y = 0; y < image->height; y++) {
    for (int32_t x = 0; x < image->width; x++) {
      uint8_t *to = HostImagePixel(&layered, x, y);
      std::memcpy(to, HostImagePixel(*image, x, y), colour);
      if (image->bytesPerSample == 2)
        std::memcpy(to + colour, &alpha16, 2);
      else
        to[colour] = alpha8;
    }
  }
  *image = std::move(layered);
}

static bool MakeDocument(HostSession *s, char *error, size_t errorSize) {
  const HostOptions &o = s->options;
  const int32_t channels = o.gray ? 1 : 3;
  const int32_t bytes = o.depth / 8;
  if (o.inPath[0] != 0) {
    if (!LoadHostImage(o.inPath, channels, bytes, &s->source, error, errorSize)) return false;
  } else {
    MakeHostImage(&s->source, o.width, o.height, channels, bytes);
  }
  if (o.transparent) AddAlphaPlane(&s->source, o.inPath[0] != 0);
  if (o.multichannel)
    s->imageMode = o.depth == 16 ? kModeDeepMultichannel : kModeMultichannel;
  else if (o.gray)
    s->imageMode = o.depth == 16 ? kModeGray16 : kModeGrayScale;
  else
    s->imageMode = o.depth == 16 ? kModeRGB48 : kModeRGB;

  s->filterRect = Rect16{0, 0, int16_t(s->source.height), int16_t(s->source.width)};
  s->haveMask = o.maskKind != kHostMaskNone;
  if (o.maskKind == kHostMaskEllipse) MakeEllipseMask(s->source.width, s->source.height, &s->mask);
  if (o.maskKind == kHostMaskFile &&
      !LoadMaskImage(o.maskPath, s->source.width, s->source.height, &s->mask, error, errorSize))
    return false;
  if (s->haveMask && !MaskBounds(s->mask, &s->filterRect)) {
    SetError(error, errorSize, "the selection is empty");
    return false;
  }
  s->destination = s->source;
  return true;
}

static void FillFilterRecord(HostSession *s) {
  FilterRecord &r = s->record;
  std::memset(&r, 0, sizeof r);
  const int32_t planes = s->source.channels;
  const bool layered = !s->options.multichannel;
  // On a transparent layer the last plane is the transparency, after the colour planes.
  const int16_t transparency = s->options.transparent ? 1 : 0;
  const int16_t colourPlanes = int16_t(planes - transparency);
  r.abortProc = AbortProc;
  r.progressProc = ProgressProc;
  r.parameters = nullptr;
  r.imageSize = HostPoint{int16_t(s->source.height), int16_t(s->source.width)};
  r.planes = int16_t(planes);
  r.filterRect = s->filterRect;
  r.background = HostRGBColor{0xFFFF, 0xFFFF, 0xFFFF};
  r.foreground = HostRGBColor{0, 0, 0};
  r.maxSpace = kHostBufferSpace;
  r.bufferSpace = 0;
  r.haveMask = s->haveMask ? 1 : 0;
  r.backColor[0] = r.backColor[1] = r.backColor[2] = 255;
  r.hostSig = s->options.hostSig;
  r.imageMode = s->imageMode;
  r.imageHRes = r.imageVRes = 72 << 16;
  r.wholeSize = r.imageSize;
  r.monitor.gamma = Fixed32(2.2 * 65536);
  r.platformData = &s->platformData;
  r.bufferProcs = &s->bufferProcs;
  r.handleProcs = &s->handleProcs;
  r.displayPixels = DisplayPixelsProc;
  r.colorServices = HostColourServices(s->options.hostColour);   // --host-colour
  if (s->options.transparent)
    r.filterCase = s->haveMask ? kFilterCaseEditableTransparencyWithSelection
                               : kFilterCaseEditableTransparencyNoSelection;
  else
    r.filterCase = s->haveMask ? kFilterCaseFlatImageWithSelection : kFilterCaseFlatImageNoSelection;
  r.dummyPlaneValue = -1;
  r.advanceState = s->options.noAdvanceState ? nullptr : AdvanceStateProc;
  r.samplingSupport = 1;   // integral steps: a preview request is sampled by whole pixels
  r.inputRate = r.maskRate = 0x10000;
  r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = int16_t(layered ? colourPlanes : 0);
  r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = transparency;
  r.inNonLayerPlanes = r.outNonLayerPlanes = r.absNonLayerPlanes = int16_t(layered ? 0 : planes);
  r.inTileHeight = r.outTileHeight = r.absTileHeight = r.maskTileHeight = int16_t(s->source.height);
  r.inTileWidth = r.outTileWidth = r.absTileWidth = r.maskTileWidth = int16_t(s->source.width);
  r.descriptorParameters = nullptr;
  r.depth = s->options.depth;
  s->platformData.hwnd = s->module.hostWindow != nullptr ? s->module.hostWindow() : 0;
}

bool OpenHostSession(HostSession *s, const HostOptions &options, const PluginModule &module, FILE *out, char *error,
                     size_t errorSize) {
  s->options = options;
  s->out = out;
  s->module = module;
  s->highestRowRequested = -1;
  s->progressShown = -1;
  s->log.file = nullptr;
  InitHostMemory(&s->memory, options.refuseBuffersFrom, options.refuseHostBuffersFrom, &s->log);
  s->memory.handleSizeZero = options.handleSizeZero;
  if (options.logPath[0] != 0) {
    s->log.file = std::fopen(options.logPath, "wb");
    if (s->log.file == nullptr) {
      std::snprintf(error, errorSize, "cannot write the log: %s", options.logPath);
      return false;
    }
  }
  if (!MakeDocument(s, error, errorSize)) return false;

  const OSType4 codeKey = HostCodePropertyKey();
  if (module.properties == nullptr) {
    SetError(error, errorSize, "the plug-in has no property list (resource 16000 of type PIPL)");
    return false;
  }
  if (!ReadPluginProperties(module.properties, module.propertiesSize, codeKey, &s->properties, error, errorSize))
    return false;
  if (!CheckPluginRunnable(s->properties, codeKey, error, errorSize)) return false;
  if (!options.noModeCheck &&
      !CheckPluginEnablesMode(s->properties, s->imageMode, options.depth, error, errorSize))
    return false;
  void *entry = module.findExport != nullptr ? module.findExport(module.module, s->properties.entryName) : nullptr;
  if (entry == nullptr) {
    std::snprintf(error, errorSize, "the plug-in does not export its entry \"%s\"", s->properties.entryName);
    return false;
  }
  s->entry = reinterpret_cast<PluginEntryProc>(entry);

  InstallMemoryProcs(&s->memory, &s->bufferProcs, &s->handleProcs);
  FillFilterRecord(s);
  if (!OpenSessionScripting(s, error, errorSize)) return false;
  if (!PrepareUiDriver(s, error, errorSize)) return false;
  s->continueLimit = (s->filterRect.bottom - s->filterRect.top) + 16;
  gSession = s;
  return true;
}

// ---- Running ----------------------------------------------------------------------------------

void NoteDialogAnswered(HostSession *s, const char *title, bool forced) {
  if (forced) {
    std::fprintf(s->out, "Dialog ended by the host: %s\n", title);
  } else {
    s->dialogsAnswered++;
    std::fprintf(s->out, "Dialog: %s\n", title);
  }
  LogBegin(&s->log, "dialog");
  LogString(&s->log, "title", title);
  LogBool(&s->log, "forced", forced);
  LogEnd(&s->log);
}

int16_t CallSelector(HostSession *s, int16_t selector) {
  int16_t result = 0;
  LogBegin(&s->log, "call");
  LogInt(&s->log, "selector", selector);
  LogEnd(&s->log);
  BeginPluginCall(s);
  s->entry(selector, &s->record, &s->dataSlot, &result);
  EndPluginCall(s);
  WriteBackOutput(s);
  const char *name = SelectorName(selector);
  if (name != nullptr)
    std::fprintf(s->out, "%s: %d\n", name, result);
  else
    std::fprintf(s->out, "Selector %d: %d\n", selector, result);
  std::fflush(s->out);
  LogBegin(&s->log, "selector");
  LogInt(&s->log, "selector", selector);
  if (name != nullptr) LogString(&s->log, "name", name);
  LogInt(&s->log, "result", result);
  LogEnd(&s->log);
  s->calls.push_back(HostCall{selector, result});
  return result;
}

// One use of the filter: [Parameters,] Prepare, Start, Continue while the plug-in asks for
// rectangles, and Finish after success (or, with --finish-after-error, after a Continue that
// failed or was aborted, as some editors call it). Returns the last result that was not 0, or
// 0; *gaveUp is set when the plug-in kept asking for rectangles.
static int16_t RunFilterOnce(HostSession *s, bool withDialog, bool *gaveUp) {
  int16_t r = 0;
  *gaveUp = false;
  if (withDialog) r = CallSelector(s, kSelectorParameters);
  if (r == 0) {
    s->record.bufferSpace = 0;
    r = CallSelector(s, kSelectorPrepare);
    s->bufferSpace = s->record.bufferSpace;
    std::fprintf(s->out, "bufferSpace: %d\n", s->bufferSpace);
  }
  if (r == 0) r = CallSelector(s, kSelectorStart);
  const bool startFailed = r != 0 && !s->calls.empty() && s->calls.back().selector == kSelectorStart;
  int32_t continues = 0;
  bool continueFailed = false;
  while (r == 0 && RequestPending(s->record)) {
    if (continues >= s->continueLimit) {
      // A plug-in that keeps asking for rectangles would hold an editor forever.
      *gaveUp = true;
      std::fprintf(s->out, "Continue: stopped after %d calls: the plug-in keeps asking for rectangles\n", continues);
      break;
    }
    DeliverRequest(s);
    r = CallSelector(s, kSelectorContinue);
    continueFailed = r != 0;
    continues++;
  }
  if (!*gaveUp && (r == 0 || (continueFailed && s->options.finishAfterError))) {
    const int16_t finish = CallSelector(s, kSelectorFinish);
    if (r == 0) r = finish;
  }
  EndDelivery(s);
  // A filter that fails or is cancelled at Start leaves the document as it was, as in an
  // editor: what it wrote before (the previews of its dialog, which at a sample factor of 1
  // are ordinary requests) is dropped.
  if (startFailed) s->destination = s->source;
  return r;
}

// "Repeat last filter": the editor hands the plug-in its data slot and parameters again, here
// as new handles holding the old bytes (so that any pointer the plug-in kept in them is stale),
// and plays the descriptor that Finish recorded without the dialog, on the document as the
// first run left it. False when a handle is not the host's.
static bool PrepareRepeat(HostSession *s) {
  // Copies, not pointers into the filter record: its members are not naturally aligned.
  HostHandle handles[2] = {reinterpret_cast<HostHandle>(s->dataSlot), s->record.parameters};
  bool restored = true;
  for (HostHandle &handle : handles) {
    if (handle == nullptr) continue;
    HostBlock *b = FindHandle(&s->memory, handle);
    if (b == nullptr) {
      restored = false;
      break;
    }
    std::vector<char> bytes(b->block, b->block + b->size);
    DisposeHostHandle(&s->memory, handle, "repeatDispose");
    handle = s->handleProcs.newProc(int32_t(bytes.size()));
    if (handle == nullptr) {
      restored = false;
      break;
    }
    std::memcpy(*handle, bytes.data(), bytes.size());
  }
  s->record.parameters = handles[1];
  s->dataSlot = reinterpret_cast<intptr_t>(handles[0]);
  if (!restored) return false;
  s->scripting.parameters.playInfo = kPlaySilent;
  s->source = s->destination;
  s->highestRowRequested = -1;
  s->abortAnswered = false;
  std::fprintf(s->out, "Repeat:\n");
  LogBegin(&s->log, "repeat");
  LogEnd(&s->log);
  return true;
}

int RunHostSession(HostSession *s) {
  s->ran = true;
  int16_t r = 0;
  if (s->options.about) {
    r = CallSelector(s, kSelectorAbout);
    return r == 0 ? kHostStatusOk : kHostStatusPluginError;
  }
  if (s->options.haveSelector) {
    r = CallSelector(s, s->options.selector);
    EndDelivery(s);
    return r == 0 ? kHostStatusOk : kHostStatusPluginError;
  }

  int status = kHostStatusOk;
  if (s->options.listParameters) return status;
  r = RunFilterOnce(s, s->options.dialog, &s->continueLimitHit);
  if (r == 0 && !s->continueLimitHit && s->options.repeat) {
    if (!PrepareRepeat(s)) {
      std::fprintf(s->out, "Repeat: the plug-in's handles are not the host's\n");
      return kHostStatusPluginError;
    }
    r = RunFilterOnce(s, false, &s->continueLimitHit);
  }
  if (r != 0 || s->continueLimitHit) status = kHostStatusPluginError;
  return status;
}

// ---- Finishing ----------------------------------------------------------------------------------

int FinishHostSession(HostSession *s) {
  int status = CloseSessionScripting(s);
  const int ui = FinishUiDriver(s);
  if (ui != kHostStatusOk) status = ui;
  if (s->dataSlot != 0) {
    // The editor unloads the plug-in: the handle the plug-in keeps in its data slot goes.
    if (DisposeHostHandle(&s->memory, reinterpret_cast<HostHandle>(s->dataSlot), "disposeDataSlot")) {
      s->dataSlot = 0;
    } else {
      std::fprintf(s->out, "Data slot: holds a value the host did not allocate\n");
      status = kHostStatusLeak;
    }
  }
  const bool parametersHeld =
      s->record.parameters != nullptr && FindHandle(&s->memory, s->record.parameters) != nullptr;
  const int32_t buffers = OutstandingBuffers(s->memory);
  const int32_t handles = OutstandingHandles(s->memory);
  const int32_t globals = OutstandingGlobalBlocks(s->memory);
  std::fprintf(s->out, "Outstanding buffers: %d\n", buffers);
  std::fprintf(s->out, "Outstanding handles: %d\n", handles);
  std::fprintf(s->out, "Outstanding global blocks: %d\n", globals);
  if (s->memory.badCalls > 0) std::fprintf(s->out, "Calls with unknown handles or buffers: %d\n", s->memory.badCalls);
  LogBegin(&s->log, "outstanding");
  LogInt(&s->log, "buffers", buffers);
  LogInt(&s->log, "handles", handles);
  LogInt(&s->log, "globalBlocks", globals);
  LogInt(&s->log, "badCalls", s->memory.badCalls);
  LogBool(&s->log, "parametersHeld", parametersHeld);
  LogEnd(&s->log);
  if (buffers > 0 || globals > 0 || handles > (parametersHeld ? 1 : 0) || s->memory.badCalls > 0)
    status = kHostStatusLeak;

  if (s->options.outPath[0] != 0) {
    char error[kHostPathSize + 64];
    if (SaveHostImagePng(s->destination, s->options.outPath, error, sizeof error)) {
      s->outputWritten = true;
    } else {
      std::fprintf(stderr, "kivahost: %s\n", error);
      status = kHostStatusCannotRun;
    }
  }
  std::fflush(s->out);
  return status;
}

void CloseHostSession(HostSession *s) {
  ReleaseHostMemory(&s->memory);
  s->record.parameters = nullptr;
  if (s->log.file != nullptr) std::fclose(s->log.file);
  s->log.file = nullptr;
  if (gSession == s) gSession = nullptr;
}

// ---- The program --------------------------------------------------------------------------------

int RunHost(int argc, const char *const *argv) {
  HostOptions options;
  char error[kHostPathSize + 256];
  if (!ParseHostOptions(argc, argv, &options, error, sizeof error)) {
    std::fprintf(stderr, "kivahost: %s\n\n%s", error, kHostUsage);
    return kHostStatusCannotRun;
  }
  if (options.help) {
    std::fputs(kHostUsage, stdout);
    return kHostStatusOk;
  }
  char *paths[] = {options.pluginPath, options.inPath,     options.outPath,
                   options.logPath,    options.maskPath,   options.recordPath, options.playPath};
  for (char *path : paths)
    if (path[0] != 0) MapHostPath(path, kHostPathSize);

  PluginModule module;
  if (!LoadPluginModule(options.pluginPath, &module, error, sizeof error)) {
    std::fprintf(stderr, "kivahost: %s\n", error);
    return kHostStatusCannotRun;
  }
  HostSession *session = new HostSession();
  int status;
  if (!OpenHostSession(session, options, module, stdout, error, sizeof error)) {
    std::fprintf(stderr, "kivahost: %s\n", error);
    status = kHostStatusCannotRun;
  } else {
    status = RunHostSession(session);
    int finish = FinishHostSession(session);
    if (finish != kHostStatusOk) status = finish;
  }
  CloseHostSession(session);
  delete session;
  UnloadPluginModule(&module);
  return status;
}
