// render_harness.h -- renders planets natively, without a host, for the tests, the fuzzer and the
// benchmark.
//
// The harness plays the host's part in memory: it makes a filter record for an RGB or grey image
// of 8 or 16 bits per channel, the plug-in's globals and parameter block (with their defaults),
// and the run buffers; then it drives the renderer as the row loop does, one row of the host's
// output buffer at a time, and collects the rows into an image. Nothing here is part of the
// plug-in.
#ifndef KIVAGLOBE_BENCH_RENDER_HARNESS_H
#define KIVAGLOBE_BENCH_RENDER_HARNESS_H

#include <cstdint>
#include <vector>

#include "plugin/globals.h"

struct HarnessOptions {
  int32_t width = 256;
  int32_t height = 256;
  bool grey = false;                 // grey scale (one plane) instead of RGB
  int32_t depth = 8;                 // 8 or 16 bits per channel
  bool transparentLayer = false;     // an editable-transparency layer with its alpha plane
  uint32_t randSeed = 12345;         // the shared generator's seed (the dice and the randomiser draw from it)
};

// The pixels of a render: `channels` samples per pixel (1 grey, 3 RGB, plus 1 with alpha), rows
// from the top. Samples are the host's channel values: 0..255 at 8 bits, 0..32768 at 16.
struct HarnessImage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t channels = 0;
  int32_t depth = 8;
  std::vector<uint16_t> samples;
};

struct RenderHarness {
  HarnessOptions options;
  int32_t openedWidth = 0;
  int32_t openedHeight = 0;
  FilterRecord record;
  PluginGlobals *globals = nullptr;
  int16_t result = 0;
  std::vector<uint8_t> inRow;
  std::vector<uint8_t> outRow;
  std::vector<uint16_t> background;   // optional underlying picture, rows x width x planes
};

// Makes the host side and the plug-in's records; the parameter block holds the defaults. False
// when the run buffers cannot be had.
bool OpenHarness(RenderHarness *harness, const HarnessOptions &options);

// Renders at width x height from now on (at most the size the harness was opened with), and
// puts the parameter block back to the plug-in's defaults. False for a size out of range.
bool ResetHarness(RenderHarness *harness, int32_t width, int32_t height);

// The parameter block, to change before RenderHarnessImage.
ParameterBlock *HarnessParameters(RenderHarness *harness);

// Renders the whole image through PrepareRenderConstants, RenderRow and CompositePixel. False
// when the set-up reports a failure in the result word.
bool RenderHarnessImage(RenderHarness *harness, HarnessImage *image);

// Frees everything OpenHarness made.
void CloseHarness(RenderHarness *harness);

// Writes a PNG (16-bit samples are doubled into 0..65535).
bool WriteHarnessPng(const char *path, const HarnessImage &image);

// FNV-1a of the samples and the size: equal images give equal hashes.
uint64_t HarnessImageHash(const HarnessImage &image);

#endif  // KIVAGLOBE_BENCH_RENDER_HARNESS_H
