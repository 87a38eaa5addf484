// export_state_test.cpp -- the layered document depends on the settings and the document only.
// The plug-in, linked in, runs in a host session as in preview_road_test.cpp, and the dialog's
// own zoom and pan routines drive its previews: an export after a fitted preview, two zoom
// steps, a pan, a switch to a map mode, another pan and a zoom out is compared byte for byte
// with one made before any preview, and with the document of the render harness, the road of
// psd_export_tool (no host session, no preview ever), for the same settings. 32-bit documents
// come to this host only as a mode switched on around the exports: its previews are 16-bit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/render_harness.h"
#include "dialog/control_ids.h"
#include "dialog/preview_zoom.h"
#include "files/progress_box.h"
#include "foundation/random.h"
#include "plugin/preview.h"
#include "tests/host/linked_plugin.h"
#include "tests/host/test_files.h"

namespace {

// The preview area of the main dialog (496 x 382): a 1000-pixel-wide document fits it at 1/3.
constexpr Rect16 kDialogPreviewArea = {0, 0, 382, 496};
constexpr int kWidth = 1000, kHeight = 64;
constexpr uint32_t kMapMode = 3;   // "lit map": a map mode, lit
constexpr uint32_t kCities = 80;   // city lights on the night side of the lit layers

// The document the export writes into `path`, read back; empty when the export failed.
std::string ExportDocument(PluginGlobals *g, const std::string &path) {
  std::remove(path.c_str());
  FileSpec spec{};
  SetFileSpecText(&spec, path.c_str(), int32_t(path.size() + 1));
  uint8_t cancelled = 1;
  const int16_t result = RunProgressDialog(g, &spec, &cancelled, kJobLayeredDocument);
  std::string document = result == 0 && cancelled == 0 ? ReadTextFile(path) : std::string();
  std::remove(path.c_str());
  return document;
}

// A 32-bit document for the length of one export; the host goes on delivering 16-bit pixels.
std::string ExportAtDepth(PluginGlobals *g, FilterRecord *r, int depth, const std::string &path) {
  if (depth != 32) return ExportDocument(g, path);
  const int16_t mode = r->imageMode, bits = r->depth;
  r->imageMode = kModeRGB96;
  r->depth = 32;
  std::string document = ExportDocument(g, path);
  r->imageMode = mode;
  r->depth = bits;
  return document;
}

// The offset of the first byte where two documents differ, or -1.
long FirstDifference(const std::string &a, const std::string &b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; i++)
    if (a[i] != b[i]) return long(i);
  return a.size() == b.size() ? -1 : long(n);
}

class ExportStateTest : public ::testing::TestWithParam<int>, protected LinkedRun {
 protected:
  void Open(int depth) {
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const std::string bits = std::to_string(depth == 8 ? 8 : 16);
    ASSERT_EQ(Start({"--size", size.c_str(), "--depth", bits.c_str()}, "export_state_report.txt"), "");
    // The harness's planet: the defaults, whatever settings an earlier run cached.
    SetDefaultParameters(g);
    p->outputMode = kMapMode;
    p->cities = kCities;
  }

  void TearDown() override { Close(); }

  // One preview as the dialog renders it after a committed change, zoom or pan.
  void Preview() {
    UpdatePreviewImage(g);
    ASSERT_EQ(result, 0);
  }

  void Zoom(int id) {
    bool changed = false;
    HandleZoomCommand(g, id, &changed);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(changed) << id;
    Preview();
  }

  // A drag on the preview by (dx, dy) screen pixels, released: the pan, then the render.
  void Pan(int32_t dx, int32_t dy) {
    p->dragPoint[0] = 100;
    p->dragPoint[1] = 100;
    ASSERT_TRUE(PanStep(g, 100 + dx, 100 + dy));
    RequestPreviewArea(g, int32_t(p->zoomDivisor));
    ASSERT_EQ(result, 0);
    Preview();
  }
};

// Oracles: the document made before any preview (a property: the dialog's view is no setting),
// and the harness's document, made on a road without host or preview.
TEST_P(ExportStateTest, AnExportAfterZoomPanMapModeAndPreviewsEqualsOneBeforeAnyAndTheHarnesss) {
  const int depth = GetParam();
  Open(depth);
  FilterRecord &r = session->record;
  const std::string path = TempPath("export_state_" + std::to_string(depth) + ".psd");
  const std::string before = ExportAtDepth(g, &r, depth, path);
  ASSERT_FALSE(before.empty());

  // The dialog's opening: the area, the fitting divisor, the first preview.
  g->previewArea = kDialogPreviewArea;
  Rect16 scaled = g->previewArea;
  int32_t factor = 0;
  ComputeSampleFactor(&r.filterRect, &scaled, &factor, g);
  ASSERT_EQ(factor, 3);
  g->fitZoomDivisor = factor;
  p->outputMode = 1;
  p->renderTarget = 1;
  g->previewWindow = session;
  RequestPreviewArea(g, factor);
  ASSERT_EQ(result, 0);
  Preview();
  // Two steps in, a pan, the map mode, a pan back, one step out.
  Zoom(kIdZoomIn);
  Zoom(kIdZoomIn);
  ASSERT_EQ(p->zoomDivisor, 1u);
  Pan(-60, -40);
  EXPECT_GT(p->panX, 0);
  p->outputMode = kMapMode;
  Preview();
  Pan(25, 10);
  Zoom(kIdZoomOut);
  ASSERT_EQ(p->zoomDivisor, 2u);
  const int32_t panX = p->panX, panY = p->panY;

  const std::string after = ExportAtDepth(g, &r, depth, path);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(FirstDifference(after, before), -1) << "after the previews";
  // The dialog's view is as the export found it.
  EXPECT_EQ(p->zoomDivisor, 2u);
  EXPECT_EQ(p->panX, panX);
  EXPECT_EQ(p->panY, panY);
  EXPECT_EQ(p->renderTarget, 1u);
  EXPECT_EQ(p->outputMode, kMapMode);

  RenderHarness harness;
  HarnessOptions options;
  options.width = kWidth;
  options.height = kHeight;
  options.depth = depth == 8 ? 8 : 16;
  ASSERT_TRUE(OpenHarness(&harness, options));
  if (depth == 32) {
    harness.record.imageMode = kModeRGB96;
    harness.record.depth = 32;
  }
  HarnessParameters(&harness)->outputMode = kMapMode;
  HarnessParameters(&harness)->cities = kCities;
  // The shared generator at another state than the session's: the lights must not care.
  SeedRandom(77);
  InitImageRecord(&harness.globals->runState->exportImage, nullptr, harness.globals,
                  &harness.globals->runState->kernelTable);
  const std::string tool = ExportDocument(harness.globals, path);
  CloseHarness(&harness);
  ASSERT_FALSE(tool.empty());
  EXPECT_EQ(tool.size(), before.size());
  EXPECT_EQ(FirstDifference(tool, before), -1) << "against the harness";
}

INSTANTIATE_TEST_SUITE_P(Depths, ExportStateTest, ::testing::Values(8, 16, 32));

}  // namespace
