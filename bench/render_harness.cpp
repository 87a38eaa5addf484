// render_harness.cpp -- the in-memory host of the native renders.
#include "bench/render_harness.h"

#include <cstdlib>
#include <cstring>

#include "foundation/random.h"
#include "host/png_writer.h"
#include "imagestore/image_store.h"
#include "plugin/host_memory.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"

namespace {

int32_t PlanesOf(const HarnessOptions &o) { return (o.grey ? 1 : 3) + (o.transparentLayer ? 1 : 0); }
int32_t BytesPerSample(const HarnessOptions &o) { return o.depth == 16 ? 2 : 1; }

}  // namespace

static void DefaultBlock(PluginGlobals *g);

bool OpenHarness(RenderHarness *harness, const HarnessOptions &options) {
  harness->options = options;
  FilterRecord &r = harness->record;
  std::memset(&r, 0, sizeof r);
  const int32_t planes = PlanesOf(options);
  r.imageMode = options.grey ? (options.depth == 16 ? kModeGray16 : kModeGrayScale)
                             : (options.depth == 16 ? kModeRGB48 : kModeRGB);
  r.depth = options.depth;
  r.planes = int16_t(planes);
  r.filterRect = {0, 0, int16_t(options.height), int16_t(options.width)};
  r.inRect = r.filterRect;
  r.outRect = r.filterRect;
  r.imageSize = {int16_t(options.height), int16_t(options.width)};
  r.filterCase = options.transparentLayer ? kFilterCaseEditableTransparencyNoSelection
                                          : kFilterCaseFlatImageNoSelection;
  r.outLayerPlanes = int16_t(options.grey ? 1 : 3);
  r.inLayerPlanes = r.outLayerPlanes;
  r.outTransparencyMask = options.transparentLayer ? 1 : 0;
  r.inHiPlane = int16_t(planes - 1);
  r.outHiPlane = int16_t(planes - 1);

  harness->globals = static_cast<PluginGlobals *>(std::calloc(1, sizeof(PluginGlobals)));
  if (harness->globals == nullptr) return false;
  PluginGlobals *g = harness->globals;
  harness->result = 0;
  g->resultPtr = &harness->result;
  g->filterRecord = &r;
  r.parameters = HostNewHandle(nullptr, int32_t(sizeof(ParameterBlock)));
  if (r.parameters == nullptr) return false;
  DefaultBlock(g);
  harness->openedWidth = options.width;
  harness->openedHeight = options.height;

  RecordRectSize(g, &r.filterRect, 1);
  ComputeRowSizes(g);
  SetBufferSizes(g);
  if (!AllocateRunBuffers(g)) return false;
  for (TiledMipImage &image : g->imageSet) InitImageRecord(&image, nullptr, g, &g->runState->kernelTable);

  const size_t rowBytes = size_t(planes) * size_t(options.width) * size_t(BytesPerSample(options));
  harness->inRow.assign(rowBytes, 0);
  harness->outRow.assign(rowBytes, 0);
  r.inRowBytes = int32_t(rowBytes);
  r.outRowBytes = int32_t(rowBytes);
  return true;
}

// The parameter block as the plug-in makes it on first use: cleared, the run fields set, the
// planet's defaults written.
static void DefaultBlock(PluginGlobals *g) {
  ParameterBlock *p = GetParameterBlock(g);
  std::memset(p, 0, sizeof *p);
  p->globals = g;
  p->zoomDivisor = 1;
  p->renderTarget = 0;
  p->outputMode = 1;
  SetDefaultParameters(g);
}

bool ResetHarness(RenderHarness *harness, int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > harness->openedWidth || height > harness->openedHeight) return false;
  harness->options.width = width;
  harness->options.height = height;
  harness->record.filterRect = {0, 0, int16_t(height), int16_t(width)};
  harness->background.clear();
  DefaultBlock(harness->globals);
  return true;
}

ParameterBlock *HarnessParameters(RenderHarness *harness) { return GetParameterBlock(harness->globals); }

bool RenderHarnessImage(RenderHarness *harness, HarnessImage *image) {
  PluginGlobals *g = harness->globals;
  FilterRecord &r = harness->record;
  const HarnessOptions &o = harness->options;
  const int32_t planes = PlanesOf(o);
  const int32_t bytes = BytesPerSample(o);
  ParameterBlock *p = GetParameterBlock(g);
  p->renderTarget = 0;
  SeedRandom(o.randSeed);

  // As at the start of a run: the whole filter rectangle recorded and requested.
  r.inRect = r.filterRect;
  r.outRect = r.filterRect;
  RecordRectSize(g, &r.filterRect, 1);
  harness->result = 0;
  PrepareRenderConstants(g);
  if (harness->result != 0) return false;

  image->width = o.width;
  image->height = o.height;
  image->channels = planes;
  image->depth = o.depth;
  // Every sample is written below, row by row: no need to clear them first.
  image->samples.resize(size_t(planes) * size_t(o.width) * size_t(o.height));
  const size_t rowSamples = size_t(planes) * size_t(o.width);
  for (int32_t row = 0; row < o.height; row++) {
    r.inRect = {int16_t(row), 0, int16_t(row + 1), int16_t(o.width)};
    r.outRect = r.inRect;
    // The underlying picture (zeros unless a background was given).
    if (harness->background.empty()) {
      std::memset(harness->inRow.data(), 0, harness->inRow.size());
    } else {
      const uint16_t *under = harness->background.data() + size_t(row) * rowSamples;
      for (size_t k = 0; k < rowSamples; k++) {
        if (bytes == 1) {
          harness->inRow[k] = uint8_t(under[k]);
        } else {
          std::memcpy(&harness->inRow[2 * k], &under[k], 2);
        }
      }
    }
    std::memset(harness->outRow.data(), 0, harness->outRow.size());
    r.inData = harness->inRow.data();
    r.outData = harness->outRow.data();
    g->currentRow = row;
    g->currentRowCopy = row;
    RenderRow(g);
    uint16_t *out = image->samples.data() + size_t(row) * rowSamples;
    if (bytes == 1) {
      for (size_t k = 0; k < rowSamples; k++) out[k] = harness->outRow[k];
    } else {
      std::memcpy(out, harness->outRow.data(), 2 * rowSamples);
    }
  }
  r.inData = nullptr;
  r.outData = nullptr;
  return harness->result == 0;
}

void CloseHarness(RenderHarness *harness) {
  PluginGlobals *g = harness->globals;
  if (g == nullptr) return;
  if (g->runState != nullptr) FreeRunBuffers(g);
  if (harness->record.parameters != nullptr) HostDisposeHandle(nullptr, harness->record.parameters);
  std::free(g);
  harness->globals = nullptr;
}

bool WriteHarnessPng(const char *path, const HarnessImage &image) {
  const size_t count = image.samples.size();
  if (image.depth == 16) {
    std::vector<uint16_t> wide(count);
    for (size_t k = 0; k < count; k++) {
      const uint32_t v = uint32_t(image.samples[k]) * 2u;
      wide[k] = uint16_t(v > 65535u ? 65535u : v);
    }
    return WritePngFile(path, wide.data(), image.width, image.height, image.channels, 16);
  }
  std::vector<uint8_t> narrow(count);
  for (size_t k = 0; k < count; k++) narrow[k] = uint8_t(image.samples[k]);
  return WritePngFile(path, narrow.data(), image.width, image.height, image.channels, 8);
}

uint64_t HarnessImageHash(const HarnessImage &image) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint32_t v) {
    for (int k = 0; k < 4; k++) {
      h ^= (v >> (8 * k)) & 255u;
      h *= 1099511628211ull;
    }
  };
  mix(uint32_t(image.width));
  mix(uint32_t(image.height));
  mix(uint32_t(image.channels));
  for (uint16_t s : image.samples) mix(s);
  return h;
}
