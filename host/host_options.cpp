// host_options.cpp -- parsing the stand-in host's command line.
#include "host/host_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kHostUsage[] =
    "usage: kivahost --plugin FILE.8bf [options]\n"
    "\n"
    "Runs a filter plug-in the way an image editor does: About alone (--about), or\n"
    "[Parameters], Prepare, Start, Continue until the plug-in is done, Finish.\n"
    "\n"
    "Document:\n"
    "  --in FILE             start from a PNG or JPEG picture\n"
    "  --size WxH            start from a black canvas (default 1024x1024)\n"
    "  --gray                grey instead of RGB\n"
    "  --depth 8|16          bits per channel (16-bit channels run 0..32768)\n"
    "  --multichannel        a multichannel document of three channels\n"
    "  --mask ellipse|FILE   a selection: an inscribed ellipse or a grey picture\n"
    "Run:\n"
    "  --about               call About only\n"
    "  --dialog              call Parameters first (the plug-in shows its dialog)\n"
    "  --selector N          call selector N once, nothing else\n"
    "  --host-sig XXXX       the host signature handed to the plug-in (default 8BIM)\n"
    "  --abort-at ROW        answer the abort test with yes once row ROW was requested\n"
    "  --advance-error N[:CODE]  the N-th advanceState call (1 is the first) delivers\n"
    "                        nothing and returns CODE, a non-zero host error (default\n"
    "                        -108, out of memory)\n"
    "  --refuse-buffers N    out of memory from the N-th buffer allocation on, also for\n"
    "                        the plug-in's own global memory\n"
    "  --refuse-host-buffers N   refuse the host's buffer procedure only\n"
    "  --close-dialogs       answer every dialog of the plug-in with Cancel\n"
    "  --no-mode-check       run even when the property list does not enable the mode\n"
    "  --no-advance-state    offer no advanceState: the host delivers each request\n"
    "                        before the next Continue\n"
    "As some editors do:\n"
    "  --handle-size-zero    GetHandleSize answers 0 for the host's own handles\n"
    "  --finish-after-error  call Finish after a Continue error or an abort too\n"
    "  --repeat              run the filter a second time on the result, the data slot's\n"
    "                        and the parameters' bytes restored into new handles, the\n"
    "                        recorded descriptor played silently (\"repeat last filter\")\n"
    "  --transparent         the document is a layer with editable transparency: one more\n"
    "                        plane, filter case 4 (5 with --mask); a canvas starts clear\n"
    "  --store-preview-output  store the output of a sampled (preview) request in the\n"
    "                        document at the next advanceState, as editors store any\n"
    "                        output rectangle\n"
    "Recorded actions (names from the plug-in's terminology):\n"
    "  --set \"NAME=VALUE\"    play a descriptor with this parameter (repeatable)\n"
    "  --mode NAME           play a descriptor with this output mode, e.g. \"lit map\"\n"
    "  --play FILE           replay a recorded descriptor (silently; with --dialog, with\n"
    "                        the plug-in's dialog); --set and --mode change it\n"
    "  --record FILE         save the descriptor that Finish writes\n"
    "  --list-parameters     print the parameters' names, keys and types, run nothing\n"
    "Driving the plug-in's dialog (one step a line: type ID TEXT, click ID, rclick ID,\n"
    "drag ID DX DY, press ID, select ID INDEX, wait-preview, sleep MS, shot FILE.png,\n"
    "ok, cancel):\n"
    "  --ui FILE             run the steps of FILE in the dialog the plug-in opens\n"
    "  --ui-step \"STEP\"     one step (repeatable; after the steps of --ui)\n"
    "  --host-colour R,G,B   offer a colour picker that answers R,G,B (or \"cancel\")\n"
    "Output:\n"
    "  --out FILE.png        write the document when done (16-bit PNG for 16-bit documents)\n"
    "  --log FILE            write every callback and result as JSON lines\n"
    "\n"
    "Exit status: 0 success, 1 the plug-in reported an error, 2 the host could not run\n"
    "the plug-in, 3 memory left outstanding at exit.\n";

void DefaultHostOptions(HostOptions *options) {
  std::memset(options, 0, sizeof(*options));
  options->width = 1024;
  options->height = 1024;
  options->depth = 8;
  options->maskKind = kHostMaskNone;
  options->abortAtRow = -1;
  options->advanceErrorCode = -108;
  options->hostSig = FourCC('8', 'B', 'I', 'M');
}

static void SetError(char *error, size_t errorSize, const char *format, const char *detail) {
  if (error != nullptr && errorSize > 0) std::snprintf(error, errorSize, format, detail);
}

// A decimal integer in [low, high] with nothing after it.
static bool ParseInteger(const char *text, long low, long high, long *value) {
  if (text == nullptr || *text == 0) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != 0 || v < low || v > high) return false;
  *value = v;
  return true;
}

static bool CopyPath(const char *text, char *out) {
  size_t n = std::strlen(text);
  if (n == 0 || n >= kHostPathSize) return false;
  std::memcpy(out, text, n + 1);
  return true;
}

// "N" or "N:CODE": N >= 1, CODE a non-zero 16-bit result.
static bool ParseAdvanceError(const char *text, int32_t *at, int16_t *code) {
  const char *colon = std::strchr(text, ':');
  char count[16];
  size_t n = colon != nullptr ? size_t(colon - text) : std::strlen(text);
  if (n == 0 || n >= sizeof count) return false;
  std::memcpy(count, text, n);
  count[n] = 0;
  long value = 0;
  if (!ParseInteger(count, 1, 0x7FFFFFFF, &value)) return false;
  *at = int32_t(value);
  if (colon == nullptr) return true;
  long result = 0;
  if (!ParseInteger(colon + 1, -32768, 32767, &result) || result == 0) return false;
  *code = int16_t(result);
  return true;
}

// "WxH" with both sides in 1..kHostMaxSide.
static bool ParseSize(const char *text, int32_t *width, int32_t *height) {
  const char *x = std::strchr(text, 'x');
  if (x == nullptr || x == text || std::strlen(text) > 16) return false;
  char left[17];
  std::memcpy(left, text, size_t(x - text));
  left[x - text] = 0;
  long w = 0, h = 0;
  if (!ParseInteger(left, 1, kHostMaxSide, &w) || !ParseInteger(x + 1, 1, kHostMaxSide, &h)) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

bool ParseHostOptions(int argc, const char *const *argv, HostOptions *options, char *error,
                      size_t errorSize) {
  DefaultHostOptions(options);
  for (int i = 1; i < argc; i++) {
    const char *arg = argv[i];
    // Options without a value.
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->help = true;
      continue;
    }
    if (std::strcmp(arg, "--gray") == 0) { options->gray = true; continue; }
    if (std::strcmp(arg, "--multichannel") == 0) { options->multichannel = true; continue; }
    if (std::strcmp(arg, "--about") == 0) { options->about = true; continue; }
    if (std::strcmp(arg, "--dialog") == 0) { options->dialog = true; continue; }
    if (std::strcmp(arg, "--close-dialogs") == 0) { options->closeDialogs = true; continue; }
    if (std::strcmp(arg, "--no-mode-check") == 0) { options->noModeCheck = true; continue; }
    if (std::strcmp(arg, "--list-parameters") == 0) { options->listParameters = true; continue; }
    if (std::strcmp(arg, "--no-advance-state") == 0) { options->noAdvanceState = true; continue; }
    if (std::strcmp(arg, "--handle-size-zero") == 0) { options->handleSizeZero = true; continue; }
    if (std::strcmp(arg, "--finish-after-error") == 0) { options->finishAfterError = true; continue; }
    if (std::strcmp(arg, "--repeat") == 0) { options->repeat = true; continue; }
    if (std::strcmp(arg, "--transparent") == 0) { options->transparent = true; continue; }
    if (std::strcmp(arg, "--store-preview-output") == 0) { options->storePreviewOutput = true; continue; }

    // Options with one value.
    if (i + 1 >= argc) {
      SetError(error, errorSize, "unknown option or missing value: %s", arg);
      return false;
    }
    const char *value = argv[++i];
    long number = 0;
    if (std::strcmp(arg, "--plugin") == 0) {
      if (!CopyPath(value, options->pluginPath)) goto bad_value;
    } else if (std::strcmp(arg, "--in") == 0) {
      if (!CopyPath(value, options->inPath)) goto bad_value;
    } else if (std::strcmp(arg, "--out") == 0) {
      if (!CopyPath(value, options->outPath)) goto bad_value;
    } else if (std::strcmp(arg, "--log") == 0) {
      if (!CopyPath(value, options->logPath)) goto bad_value;
    } else if (std::strcmp(arg, "--mask") == 0) {
      if (std::strcmp(value, "ellipse") == 0) {
        options->maskKind = kHostMaskEllipse;
      } else {
        if (!CopyPath(value, options->maskPath)) goto bad_value;
        options->maskKind = kHostMaskFile;
      }
    } else if (std::strcmp(arg, "--size") == 0) {
      if (!ParseSize(value, &options->width, &options->height)) goto bad_value;
      options->sizeGiven = true;
    } else if (std::strcmp(arg, "--depth") == 0) {
      if (!ParseInteger(value, 8, 16, &number) || (number != 8 && number != 16)) goto bad_value;
      options->depth = int32_t(number);
    } else if (std::strcmp(arg, "--refuse-buffers") == 0) {
      if (!ParseInteger(value, 1, 0x7FFFFFFF, &number)) goto bad_value;
      options->refuseBuffersFrom = int32_t(number);
    } else if (std::strcmp(arg, "--refuse-host-buffers") == 0) {
      if (!ParseInteger(value, 1, 0x7FFFFFFF, &number)) goto bad_value;
      options->refuseHostBuffersFrom = int32_t(number);
    } else if (std::strcmp(arg, "--abort-at") == 0) {
      if (!ParseInteger(value, 0, kHostMaxSide, &number)) goto bad_value;
      options->abortAtRow = int32_t(number);
    } else if (std::strcmp(arg, "--advance-error") == 0) {
      if (!ParseAdvanceError(value, &options->advanceErrorAt, &options->advanceErrorCode)) goto bad_value;
    } else if (std::strcmp(arg, "--selector") == 0) {
      if (!ParseInteger(value, -32768, 32767, &number)) goto bad_value;
      options->selector = int16_t(number);
      options->haveSelector = true;
    } else if (std::strcmp(arg, "--record") == 0) {
      if (!CopyPath(value, options->recordPath)) goto bad_value;
    } else if (std::strcmp(arg, "--play") == 0) {
      if (!CopyPath(value, options->playPath)) goto bad_value;
    } else if (std::strcmp(arg, "--set") == 0) {
      if (options->setCount >= kHostMaxSettings) goto bad_value;
      options->sets[options->setCount++] = value;
    } else if (std::strcmp(arg, "--ui") == 0) {
      if (!CopyPath(value, options->uiPath)) goto bad_value;
    } else if (std::strcmp(arg, "--ui-step") == 0) {
      if (options->uiStepCount >= kHostMaxUiSteps) goto bad_value;
      options->uiSteps[options->uiStepCount++] = value;
    } else if (std::strcmp(arg, "--host-colour") == 0) {
      if (!ParseHostColour(value, &options->hostColour)) goto bad_value;
    } else if (std::strcmp(arg, "--mode") == 0) {
      options->modeName = value;
    } else if (std::strcmp(arg, "--host-sig") == 0) {
      if (std::strlen(value) != 4) goto bad_value;
      options->hostSig = FourCC(value[0], value[1], value[2], value[3]);
    } else {
      SetError(error, errorSize, "unknown option: %s", arg);
      return false;
    }
    continue;
  bad_value:
    SetError(error, errorSize, "bad value for %s", arg);
    return false;
  }

  if (options->help) return true;
  if (options->pluginPath[0] == 0) {
    SetError(error, errorSize, "%s", "--plugin FILE is required");
    return false;
  }
  if (options->inPath[0] != 0 && options->sizeGiven) {
    SetError(error, errorSize, "%s", "--in and --size exclude each other");
    return false;
  }
  if (options->transparent && options->multichannel) {
    SetError(error, errorSize, "%s", "--transparent and --multichannel exclude each other");
    return false;
  }
  if (options->gray && options->multichannel) {
    SetError(error, errorSize, "%s", "--gray and --multichannel exclude each other");
    return false;
  }
  if (int(options->about) + int(options->haveSelector) > 1 ||
      (options->dialog && (options->about || options->haveSelector))) {
    SetError(error, errorSize, "%s", "choose one of --about, --selector and the full run");
    return false;
  }
  return true;
}
