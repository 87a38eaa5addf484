// dialog_session_win32_test.cpp -- the plug-in of this tree driven through its main dialog's
// commands by the stand-in host, the common dialogs answered by the script: memory dots, the
// save and open dialogs, both colour pickers, the layered export's save dialog, the cloud
// chooser, a notice. The files the dialog writes are read back here word by word; the pictures of
// the dialogs are left in dialog_shots/ of the test's folder for a person to look at. Needs a
// display, and fails with a sentence without one.
#include <windows.h>

#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/png_writer.h"
#include "plugin/parameters.h"
#include "tests/host/plugin_run.h"
#include "tests/host/test_files.h"
#include "tests/support/need_display.h"

namespace {

struct Session {
  int status = -1;
  std::string report;
  bool haveBlock = false;
  ParameterBlock block{};
  int32_t abortCalls = 0;     // the host's abort callback, asked
  int32_t displayCalls = 0;   // displayPixels, called
};

// The plug-in to drive and a display to drive it on; otherwise the test has failed with the
// reason.
bool HaveDisplay() {
  if (gPluginPath == nullptr) {
    ADD_FAILURE() << "no plug-in: the test program takes the path of the tree's .8bf as its argument";
    return false;
  }
  return NeedDisplay();
}

// One kivahost session on this tree's plug-in with `args`, and the parameter block the host
// keeps at its end.
Session RunKivahost(const std::vector<std::string> &args) {
  std::vector<const char *> argv = {"kivahost", "--plugin", gPluginPath};
  for (const std::string &arg : args) argv.push_back(arg.c_str());
  HostOptions options;
  char error[512];
  Session outcome;
  EXPECT_TRUE(ParseHostOptions(int(argv.size()), argv.data(), &options, error, sizeof error)) << error;
  for (char *path : {options.pluginPath, options.outPath}) if (path[0] != 0) MapHostPath(path, kHostPathSize);
  PluginModule module;
  if (!LoadPluginModule(options.pluginPath, &module, error, sizeof error)) {
    ADD_FAILURE() << error;
    return outcome;
  }
  const std::string reportPath = TempPath("dialog_session_report.txt");
  FILE *out = std::fopen(reportPath.c_str(), "wb");
  HostSession *session = new HostSession();
  EXPECT_TRUE(OpenHostSession(session, options, module, out, error, sizeof error)) << error;
  RunHostSession(session);
  HostHandle h = session->record.parameters;
  if (h != nullptr && *h != nullptr) {
    std::memcpy(&outcome.block, *h, sizeof outcome.block);
    outcome.haveBlock = true;
  }
  outcome.abortCalls = session->abortCalls;
  outcome.displayCalls = session->display.calls;
  outcome.status = FinishHostSession(session);
  CloseHostSession(session);
  delete session;
  std::fclose(out);
  UnloadPluginModule(&module);
  outcome.report = ReadTextFile(reportPath);
  return outcome;
}

std::vector<std::string> Steps(std::vector<std::string> args, const std::vector<std::string> &steps) {
  for (const std::string &step : steps) args.insert(args.end(), {"--ui-step", step});
  return args;
}

std::vector<uint8_t> ReadBytes(const std::string &path) {
  const std::string text = ReadTextFile(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

uint32_t Word(const std::vector<uint8_t> &b, size_t i) {
  return uint32_t(b[i * 4]) << 24 | uint32_t(b[i * 4 + 1]) << 16 | uint32_t(b[i * 4 + 2]) << 8 | b[i * 4 + 3];
}

// The plug-in's own files in the (program's own) temporary folder.
std::string PluginTemp(const std::string &name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

// The test's folder, taken when the program starts: a file dialog moves the process's current
// folder to wherever the user went.
std::string StartFolder() {
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  return folder;
}
const std::string kStartFolder = StartFolder();

std::string Shot(const std::string &name) {
  const std::string folder = kStartFolder + "\\dialog_shots";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\" + name + (sizeof(void *) == 8 ? "64" : "32") + ".png";
}

// A session that ends with OK leaves the planet as the cached settings that the next run
// without a recorded action starts from: the other tests of the program expect a fresh start.
class DialogSession : public ::testing::Test {
 protected:
  void TearDown() override {
    DeleteFileA(PluginTemp("Kivaglobe cached settings C").c_str());
    DeleteFileA(PluginTemp("Kivaglobe memdot map 3").c_str());
  }
};

// Stores three dots, recalls the second, saves a preset, changes the planet, loads the preset
// back through the open dialog with its thumbnail shown, and ends with OK: the planet rendered
// is the one the loaded values render when played as a recorded action.
TEST_F(DialogSession, DotsSaveAndLoadThroughTheFileDialogsRenderTheLoadedPreset) {
  if (!HaveDisplay()) return;
  for (int n = 0; n < 25; n++) DeleteFileA(PluginTemp("Kivaglobe memory dot " + std::to_string(n) + ".q1q").c_str());
  DeleteFileA(PluginTemp("Kivaglobe memdot map 3").c_str());
  const std::string preset = TempPath("session.q1q"), driven = TempPath("session_driven.png");
  const std::string record = TempPath("session.rec"), played = TempPath("session_played.png");
  DeleteFileA(preset.c_str());
  Session a = RunKivahost(Steps({"--dialog", "--size", "120x90", "--out", driven, "--record", record},
                        {"wait-preview", "type 90 20", "wait-preview", "click 122", "type 90 60", "wait-preview",
                         "click 123", "type 90 80", "wait-preview", "click 124", "click 122", "wait-preview",
                         "press 26", "sleep 300", "shot " + Shot("save"), "file " + preset, "sleep 300",
                         "type 90 5", "wait-preview", "press 35", "file-select kv_host_session.q1q", "sleep 800",
                         "shot " + Shot("open"), "file " + preset, "wait-preview", "shot " + Shot("main"), "ok"}));
  EXPECT_EQ(a.status, kHostStatusOk) << a.report;
  ASSERT_TRUE(a.haveBlock);
  EXPECT_EQ(a.block.seaLevel, 20u);   // the preset holds the recalled dot's sea level
  EXPECT_STREQ(a.block.settingsName, "kv_host_session.q1q");

  // The preset file: version 40, the sea level word, and a 128 x 128 thumbnail block.
  const std::vector<uint8_t> file = ReadBytes(preset);
  ASSERT_GE(file.size(), 300u);
  EXPECT_EQ(Word(file, 0), 40u);
  EXPECT_EQ(Word(file, 23), 20u);
  EXPECT_EQ(Word(file, 71), 1u);
  EXPECT_EQ(Word(file, 72), 128u);
  EXPECT_EQ(Word(file, 73), 128u);
  EXPECT_EQ(file.size(), 300u + Word(file, 74));
  int w = 0, h = 0, n = 0;
  unsigned char *thumb = stbi_load_from_memory(file.data() + 300, int(file.size() - 300), &w, &h, &n, 3);
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 128);
  stbi_image_free(thumb);

  // The dots: slot 0 stored when the dialog opened (not kept), 1..3 by plain clicks.
  const std::vector<uint8_t> map = ReadBytes(PluginTemp("Kivaglobe memdot map 3"));
  std::vector<uint8_t> expected(104, 0);
  expected[3] = 40;
  expected[11] = expected[15] = expected[19] = 1;
  EXPECT_EQ(map, expected);

  Session b = RunKivahost({"--size", "120x90", "--out", played, "--play", record});
  EXPECT_EQ(b.status, kHostStatusOk) << b.report;
  int wa, ha, wb, hb;
  unsigned char *pa = stbi_load(driven.c_str(), &wa, &ha, &n, 3);
  unsigned char *pb = stbi_load(played.c_str(), &wb, &hb, &n, 3);
  ASSERT_TRUE(pa != nullptr && pb != nullptr);
  ASSERT_TRUE(wa == 120 && ha == 90 && wb == 120 && hb == 90);
  EXPECT_EQ(std::memcmp(pa, pb, size_t(120) * 90 * 3), 0);
  stbi_image_free(pa);
  stbi_image_free(pb);
}

// The Windows picker's (255, 128, 0) lands in the high bytes; the host's picker is used when
// offered, and its cancel changes nothing.
TEST_F(DialogSession, ColourPickersFillTheHighBytesAndACancelChangesNothing) {
  if (!HaveDisplay()) return;
  Session windows = RunKivahost(Steps({"--dialog", "--size", "40x30"},
                              {"click 7", "sleep 300", "shot " + Shot("colour"), "colour 255 128 0", "ok"}));
  EXPECT_EQ(windows.status, kHostStatusOk) << windows.report;
  EXPECT_EQ(windows.block.landColor.red, 0xFF00);
  EXPECT_EQ(windows.block.landColor.green, 0x8000);
  EXPECT_EQ(windows.block.landColor.blue, 0x0000);

  Session host = RunKivahost(Steps({"--dialog", "--size", "40x30", "--host-colour", "10,20,30"}, {"click 7", "ok"}));
  EXPECT_EQ(host.status, kHostStatusOk) << host.report;
  EXPECT_EQ(host.block.landColor.red, 0x0A00);
  EXPECT_EQ(host.block.landColor.green, 0x1400);
  EXPECT_EQ(host.block.landColor.blue, 0x1E00);

  Session before = RunKivahost(Steps({"--dialog", "--size", "40x30"}, {"click 9", "colour-cancel", "ok"}));
  Session cancelled = RunKivahost(Steps({"--dialog", "--size", "40x30", "--host-colour", "cancel"}, {"click 9", "ok"}));
  EXPECT_EQ(cancelled.status, kHostStatusOk) << cancelled.report;
  EXPECT_EQ(std::memcmp(&cancelled.block.seaColor, &before.block.seaColor, sizeof(ParameterColor)), 0);
}

// Every command of the dialog, the common dialogs cancelled and the notices read, then Cancel:
// the host's block is as a session that cancelled at once leaves it, and no memory is left.
TEST_F(DialogSession, EveryCommandThenCancelLeavesTheBlockAndNothingOutstanding) {
  if (!HaveDisplay()) return;
  Session plain = RunKivahost(Steps({"--dialog", "--size", "48x36"}, {"cancel"}));
  // An empty preset: its load is refused with a notice, and the settings stay.
  const std::string empty = kStartFolder + "\\empty.q1q";
  std::fclose(std::fopen(empty.c_str(), "wb"));
  Session busy = RunKivahost(Steps({"--dialog", "--size", "48x36"},
                           {"press 74", "type 90 30", "wait-preview", "press 74", "press 27", "press 72", "press 75",
                            "click 130", "click 131", "rclick 130", "click 131", "click 119", "press 26", "file-cancel",
                            "press 35", "file-cancel", "press 35", "file " + empty, "sleep 300", "shot " + Shot("notice"),
                            "ok", "press 71", "sleep 300", "shot " + Shot("psd"), "file-cancel", "press 17",
                            "sleep 300", "shot " + Shot("chooser"), "cancel", "press 150", "file-cancel", "click 7", "colour-cancel", "wait-preview",
                            "cancel"}));
  EXPECT_NE(busy.report.find("Start: -128"), std::string::npos) << busy.report;
  EXPECT_NE(busy.report.find("Outstanding buffers: 0\n"), std::string::npos) << busy.report;
  EXPECT_NE(busy.report.find("Outstanding global blocks: 0\n"), std::string::npos) << busy.report;
  EXPECT_EQ(busy.report.find("UI failed"), std::string::npos) << busy.report;
  ASSERT_TRUE(plain.haveBlock && busy.haveBlock);
  const ParameterBlock &p = plain.block, &b = busy.block;
  EXPECT_EQ(std::memcmp(&p.landColor, &b.landColor, offsetof(ParameterBlock, cloudImage) - offsetof(ParameterBlock, landColor)), 0);
  EXPECT_EQ(p.randomSeed, b.randomSeed);
  EXPECT_EQ(std::memcmp(p.lightVector, b.lightVector, sizeof p.lightVector), 0);
  EXPECT_EQ(p.outputMode, b.outputMode);
  EXPECT_EQ(p.centerX, b.centerX);
  EXPECT_STREQ(p.settingsName, b.settingsName);
}

// A picture read back for its pixels.
struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  explicit Picture(const std::string &path) {
    int n = 0;
    unsigned char *p = stbi_load(path.c_str(), &w, &h, &n, 3);
    if (p == nullptr) return;
    rgb.assign(p, p + size_t(w) * size_t(h) * 3);
    stbi_image_free(p);
  }
  bool Empty() const { return rgb.empty(); }
  const uint8_t *At(int x, int y) const { return rgb.data() + (size_t(y) * size_t(w) + size_t(x)) * 3; }
  bool White(int x, int y) const { const uint8_t *p = At(x, y); return p[0] == 255 && p[1] == 255 && p[2] == 255; }
  int Brightest(int x, int y) const { const uint8_t *p = At(x, y); return std::max({p[0], p[1], p[2]}); }
};

// The top-left corner of the lit planet inside the shown picture's rectangle: the first
// column and the first row with a pixel brighter than black space.
POINT PlanetCorner(const Picture &shot, RECT shown) {
  POINT corner = {shown.right, shown.bottom};
  for (int y = shown.top; y < shown.bottom; y++)
    for (int x = shown.left; x < shown.right; x++)
      if (shot.Brightest(x, y) > 60) {
        corner.x = std::min<LONG>(corner.x, x);
        corner.y = std::min<LONG>(corner.y, y);
      }
  return corner;
}

// A document that holds its own coordinates: red is x mod 256, green y mod 256, blue 64 plus
// 16 for every 256 across and 4 for every 256 down. DocumentX and DocumentY read them back.
std::vector<uint8_t> CoordinatePattern(int width, int height) {
  std::vector<uint8_t> pattern(size_t(width) * size_t(height) * 3);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      uint8_t *p = pattern.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
      p[0] = uint8_t(x % 256);
      p[1] = uint8_t(y % 256);
      p[2] = uint8_t(64 + 16 * (x / 256) + 4 * (y / 256));
    }
  return pattern;
}
int DocumentX(const uint8_t *p) { return (p[2] - 64) / 16 * 256 + p[0]; }
int DocumentY(const uint8_t *p) { return (p[2] - 64) % 16 / 4 * 256 + p[1]; }

// The dialog as a person sees it at opening, zoomed in with its own button, in the middle of
// a pan (the button held), and with a map mode, each picture left in dialog_shots/ and checked:
// a 1200 x 600 document fits the 496 x 382 preview at 1/3 (400 x 200 at 500, 95); one zoom
// step shows it at 1/2 about the same centre (992 x 600 document pixels from x 104, drawn
// 496 x 300 at 452, 45); a drag of -40, -40 moves the view 80 document pixels right and none
// down (the height fits). The document
// holds its own coordinates, so the pan's picture of the unrendered document says where it
// is. Then Cancel: the document the host writes is the one it had, and nothing is outstanding.
TEST_F(DialogSession, ShotsAtOpeningZoomedPanningAndAsAMapShowWhatTheViewHolds) {
  if (!HaveDisplay()) return;
  const int W = 1200, H = 600;
  const std::vector<uint8_t> pattern = CoordinatePattern(W, H);
  const std::string in = TempPath("shots_in.png"), out = TempPath("shots_out.png");
  ASSERT_TRUE(WritePngFile(in.c_str(), pattern.data(), W, H, 3, 8));
  DeleteFileA(out.c_str());
  const std::string open = Shot("open"), zoom = Shot("zoom"), pan = Shot("pan"), map = Shot("map");
  Session run = RunKivahost(Steps({"--dialog", "--in", in, "--store-preview-output", "--out", out},
                                  {"wait-preview", "read 34", "shot " + open, "click 32", "wait-preview", "read 34",
                                   "shot " + zoom, "hold 18 -40 -40", "shot " + pan, "release", "wait-preview",
                                   "click 33", "select 73 3", "wait-preview", "read 34", "shot " + map, "cancel"}));
  EXPECT_EQ(run.report.find("UI failed"), std::string::npos) << run.report;
  const size_t first = run.report.find("UI text 34 \"33%\"");
  const size_t second = run.report.find("UI text 34 \"50%\"", first);
  const size_t third = run.report.find("UI text 34 \"33%\"", second);
  EXPECT_TRUE(first != std::string::npos && second != std::string::npos && third != std::string::npos) << run.report;
  EXPECT_NE(run.report.find("Start: -128"), std::string::npos) << run.report;
  for (const char *line : {"Outstanding buffers: 0\n", "Outstanding handles: 1\n", "Outstanding global blocks: 0\n"})
    EXPECT_NE(run.report.find(line), std::string::npos) << line << run.report;

  // The previews were stored in the document; Cancel gives it back as it was.
  const Picture after(out);
  ASSERT_FALSE(after.Empty()) << out;
  ASSERT_TRUE(after.w == W && after.h == H);
  EXPECT_TRUE(after.rgb == pattern) << "the cancelled run changed the document";

  const Picture a(open), b(zoom), c(pan), d(map);
  ASSERT_FALSE(a.Empty() || b.Empty() || c.Empty() || d.Empty());
  ASSERT_TRUE(a.w == 963 && a.h == 641);

  // At opening: white margins just outside the 400 x 200 picture, black space in its corner.
  const RECT fit = {500, 95, 900, 295}, zoomed = {452, 45, 948, 345};
  EXPECT_TRUE(a.White(fit.left - 1, 195) && a.White(fit.right, 195) && a.White(700, fit.top - 1) &&
              a.White(700, fit.bottom));
  EXPECT_EQ(a.Brightest(fit.left, fit.top), 0);
  // Zoomed: the planet's corner lies where a half-size view of the same document puts it.
  const POINT small = PlanetCorner(a, fit), large = PlanetCorner(b, zoomed);
  ASSERT_LT(small.x, fit.right) << "no planet in the opening preview";
  const double docX = (small.x - fit.left) * 3.0, docY = (small.y - fit.top) * 3.0;
  EXPECT_NEAR(large.x, zoomed.left + (docX - 104) / 2, 5.0);
  EXPECT_NEAR(large.y, zoomed.top + docY / 2, 5.0);
  EXPECT_TRUE(b.White(700, zoomed.top - 1) && b.White(700, zoomed.bottom));

  // Panning: the document itself, from 104 + 80 across, every other pixel.
  for (int j : {10, 120, 149})
    for (int k : {20, 100, 200}) {
      const uint8_t *p = c.At(zoomed.left + k, zoomed.top + j);
      EXPECT_NEAR(DocumentX(p), 184 + 2 * k, 2) << k << "," << j;
      EXPECT_NEAR(DocumentY(p), 2 * j, 2) << k << "," << j;
    }

  // The map: back at 1/3, it fills its whole 400 x 200 picture, wider than high, and the
  // larger picture before it leaves nothing in the margin.
  int left = 963, right = -1, top = 641, bottom = -1;
  for (int y = 4; y < 386; y++)
    for (int x = 452; x < 948; x++)
      if (!d.White(x, y)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_EQ(left, fit.left);
  EXPECT_EQ(right + 1, fit.right);
  EXPECT_EQ(top, fit.top);
  EXPECT_EQ(bottom + 1, fit.bottom);
  for (int y = fit.top + 10; y < fit.bottom; y += 45)
    for (int x = fit.left + 10; x < fit.right; x += 45) EXPECT_GT(d.Brightest(x, y), 30) << x << "," << y;
}

// Zoom and pan over a selection that starts at (200, 100), not at the corner, and a click that
// centres the planet there. Oracle: worked numbers. The 900 x 460 selection fits the 496 x 382
// preview at 1/2 (450 x 230); zooming in to 100% keeps the selection's centre (650, 330) in the
// middle, so the view starts 202 across and 39 down the selection (650 - 248 - 200,
// 330 - 191 - 100). A pan of -20, -10 moves it to 222, 49: the picture shown while panning is
// the document from (422, 149). A click at the middle of the preview is then 248 + 222 = 470
// pixels across the selection and 191 + 49 = 240 down: centre 470 / 900 and 240 / 460.
TEST_F(DialogSession, ZoomPanAndCentreOverASelectionAwayFromTheCorner) {
  if (!HaveDisplay()) return;
  const int W = 1200, H = 600;
  const RECT selection = {200, 100, 1100, 560};
  std::vector<uint8_t> mask(size_t(W) * H, 0);
  for (int y = selection.top; y < selection.bottom; y++)
    for (int x = selection.left; x < selection.right; x++) mask[size_t(y) * W + x] = 255;
  const std::string in = TempPath("offset_in.png"), maskPath = TempPath("offset_mask.png");
  ASSERT_TRUE(WritePngFile(in.c_str(), CoordinatePattern(W, H).data(), W, H, 3, 8));
  ASSERT_TRUE(WritePngFile(maskPath.c_str(), mask.data(), W, H, 1, 8));
  const std::string pan = Shot("offset_pan");
  Session run = RunKivahost(Steps({"--dialog", "--in", in, "--mask", maskPath},
                                  {"wait-preview", "read 34", "click 32", "wait-preview", "read 34",
                                   "hold 18 -20 -10", "shot " + pan, "release", "wait-preview", "click 18",
                                   "wait-preview", "ok"}));
  EXPECT_EQ(run.status, kHostStatusOk) << run.report;
  EXPECT_EQ(run.report.find("UI failed"), std::string::npos) << run.report;
  const size_t half = run.report.find("UI text 34 \"50%\"");
  EXPECT_NE(half, std::string::npos) << run.report;
  EXPECT_NE(run.report.find("UI text 34 \"100%\"", half), std::string::npos) << run.report;

  // The 496 x 382 picture at 100% fills the preview's frame, whose corner is at (452, 4).
  const Picture shot(pan);
  ASSERT_FALSE(shot.Empty()) << pan;
  for (int j : {0, 100, 381})
    for (int k : {0, 150, 495}) {
      const uint8_t *p = shot.At(452 + k, 4 + j);
      EXPECT_EQ(DocumentX(p), 422 + k) << k << "," << j;
      EXPECT_EQ(DocumentY(p), 149 + j) << k << "," << j;
    }

  ASSERT_TRUE(run.haveBlock);
  EXPECT_NEAR(run.block.centerX * 900.0, 470.0, 1.0);
  EXPECT_NEAR(run.block.centerY * 460.0, 240.0, 1.0);
}

// Typed edits, once the delayed preview has committed them, read as the value in use.
// Oracle: property -- each edit's text is the decimal of the value the planet is rendered
// with (the parameter block after OK), and the worked values of the slider's rule (the whole
// part of the number, limited to 0..100; no number, 0).
TEST_F(DialogSession, CommittedEditsShowTheValueTheSliderTook) {
  if (!HaveDisplay()) return;
  struct Edit {
    int id;
    const char *typed;
    uint32_t ParameterBlock::*field;
    int worked;   // -1: the runtime's reading of the text decides
  };
  const Edit edits[] = {
      {90, "abc", &ParameterBlock::seaLevel, 0},          {91, "inf", &ParameterBlock::desert, -1},
      {92, "0x1F", &ParameterBlock::craterCount, -1},     {93, "50abc", &ParameterBlock::craterSize, 50},
      {83, "250", &ParameterBlock::airBrightness, 100},   {85, "42.9", &ParameterBlock::landComplexity, 42},
      {86, " 7", &ParameterBlock::planetSize, 7},         {94, "-3", &ParameterBlock::craterTexture, 0},
  };
  std::vector<std::string> steps;
  for (const Edit &e : edits) steps.push_back("type " + std::to_string(e.id) + " " + e.typed);
  steps.push_back("wait-preview");
  for (const Edit &e : edits) steps.push_back("read " + std::to_string(e.id));
  steps.insert(steps.end(), {"shot " + Shot("edits"), "ok"});
  Session run = RunKivahost(Steps({"--dialog", "--size", "64x48"}, steps));
  EXPECT_EQ(run.status, kHostStatusOk) << run.report;
  ASSERT_TRUE(run.haveBlock);
  for (const Edit &e : edits) {
    SCOPED_TRACE(e.typed);
    const uint32_t used = run.block.*e.field;
    if (e.worked >= 0) {
      EXPECT_EQ(used, uint32_t(e.worked));
    }
    const std::string line = "UI text " + std::to_string(e.id) + " \"" + std::to_string(used) + "\"\n";
    EXPECT_NE(run.report.find(line), std::string::npos) << run.report;
  }
}

// Low memory inside the dialog: every buffer refused from the 10th, 60th or 120th request on
// (the run's own nine are granted). The preview area holds a line that says so, not a black
// picture, at opening and after an edit; where the opening preview could still be made (from
// the 120th), the edit's failed preview leaves a notice, not the old picture. OK then ends
// Start out of memory (-108), which the host reports, and nothing is left outstanding. Oracle: property of the picture --
// inside the preview's frame every pixel is white but those of one line of text, in a band
// under 20 rows high about the frame's middle row (195), and there are some.
TEST_F(DialogSession, LowMemoryInTheDialogShowsANoticeInThePreviewArea) {
  if (!HaveDisplay()) return;
  const struct {
    const char *from;
    std::vector<std::string> document;
    bool openedShort;   // the opening preview cannot be made either
  } cases[] = {
      {"10", {"--size", "200x150"}, true},
      {"60", {"--size", "200x150", "--depth", "16"}, true},
      {"120", {"--size", "300x120", "--gray"}, false},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args = {"--dialog", "--refuse-buffers", c.from};
    args.insert(args.end(), c.document.begin(), c.document.end());
    std::string trace;
    for (const std::string &arg : args) trace += arg + " ";
    SCOPED_TRACE(trace);
    const std::string name = std::string("lowmem") + c.from, opened = Shot(name), edited = Shot(name + "_edited");
    Session run = RunKivahost(Steps(args, {"wait-preview", "shot " + opened, "type 90 20", "wait-preview",
                                           "shot " + edited, "ok"}));
    EXPECT_EQ(run.report.find("UI failed"), std::string::npos) << run.report;
    EXPECT_NE(run.report.find("Start: -108"), std::string::npos) << run.report;
    for (const char *line : {"Outstanding buffers: 0\n", "Outstanding handles: 1\n", "Outstanding global blocks: 0\n"})
      EXPECT_NE(run.report.find(line), std::string::npos) << line << run.report;
    for (const std::string &path : {opened, edited}) {
      if (path == opened && !c.openedShort) continue;
      const Picture shot(path);
      ASSERT_FALSE(shot.Empty()) << path;
      int marked = 0, top = 386, bottom = 4;
      for (int y = 4; y < 386; y++)
        for (int x = 452; x < 948; x++)
          if (!shot.White(x, y)) {
            marked++;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
          }
      EXPECT_GT(marked, 40) << path << ": no notice";
      EXPECT_LT(bottom - top, 20) << path << ": more than a line of text in the preview";
      EXPECT_TRUE(top > 175 && bottom < 215) << path << ": rows " << top << ".." << bottom;
    }
  }
}

// The resource balance of dialog sessions: one ended with OK (the planet rendered) and one
// with Cancel leave no buffer and no global block, and no handle but the parameters.
TEST_F(DialogSession, OkAndCancelSessionsLeaveNothingOutstanding) {
  if (!HaveDisplay()) return;
  for (const char *end : {"ok", "cancel"}) {
    SCOPED_TRACE(end);
    // Each session starts from the defaults, not from the settings an OK before it cached.
    DeleteFileA(PluginTemp("Kivaglobe cached settings C").c_str());
    Session run = RunKivahost(Steps({"--dialog", "--size", "64x48"},
                                    {"wait-preview", "type 90 70", "wait-preview", "drag 37 30 0", "press 32", end}));
    const bool ok = std::strcmp(end, "ok") == 0;
    EXPECT_EQ(run.status, kHostStatusOk) << run.report;   // a user's Cancel is no failure
    EXPECT_NE(run.report.find(ok ? "Start: 0" : "Start: -128"), std::string::npos) << run.report;
    for (const char *line : {"Outstanding buffers: 0\n", "Outstanding handles: 1\n", "Outstanding global blocks: 0\n"})
      EXPECT_NE(run.report.find(line), std::string::npos) << line << run.report;
    ASSERT_TRUE(run.haveBlock);
    EXPECT_EQ(run.block.seaLevel, ok ? 70u : 50u);
  }
}

// The host's abort callback is never asked while the dialog's preview renders: a host that
// answers yes from the first row on still gets whole previews, and the dialog its Cancel.
TEST_F(DialogSession, PreviewRendersDoNotAskTheHostsAbort) {
  if (!HaveDisplay()) return;
  Session run = RunKivahost(Steps({"--dialog", "--size", "300x200", "--abort-at", "0"},
                                  {"wait-preview", "type 90 20", "wait-preview", "press 72", "wait-preview", "cancel"}));
  EXPECT_EQ(run.report.find("UI failed"), std::string::npos) << run.report;
  EXPECT_NE(run.report.find("Start: -128"), std::string::npos) << run.report;
  EXPECT_GE(run.displayCalls, 3);
  EXPECT_EQ(run.abortCalls, 0);
}

// A preset no dialog wrote, opened in the dialog: output mode 0, a light of length 1000, an
// axis of no length, a map centre of 32768, sliders at 250 and -7. Oracle: the same session on
// the preset with those words brought into the dialog's ranges by hand (mode 1, light
// (1, 0, 0), the new block's axis (0, -1, 0), centre (1, 1), sliders 100 and 0) records the
// same descriptor, renders the same picture and shows the same map mode.
TEST_F(DialogSession, AMalformedPresetOpensAsTheDialogCanShowIt) {
  if (!HaveDisplay()) return;
  const std::string base = TempPath("plain.q1q");
  DeleteFileA(base.c_str());
  ASSERT_EQ(RunKivahost(Steps({"--dialog", "--size", "64x48"}, {"press 26", "file " + base, "ok"})).status, kHostStatusOk);
  const std::vector<uint8_t> plain = ReadBytes(base);
  ASSERT_GE(plain.size(), 288u);
  const std::vector<std::vector<int32_t>> words = {  // layout word, malformed value, value by hand
      {42, 0, 1}, {49, 100000, 100}, {50, 0, 0}, {51, 0, 0}, {52, 0, 0}, {53, 0, -100}, {54, 0, 0},
      {69, INT32_MAX, 65536}, {70, INT32_MAX, 65536}, {18, 250, 100}, {13, -7, 0}};
  std::string record[2], out[2], combo[2];
  for (int run = 0; run < 2; run++) {
    std::vector<uint8_t> bytes = plain;
    for (const std::vector<int32_t> &w : words)
      for (int b = 0; b < 4; b++) bytes[size_t(w[0]) * 4 + size_t(b)] = uint8_t(uint32_t(w[1 + run]) >> (24 - 8 * b));
    const std::string tag = run == 0 ? "malformed" : "byhand", preset = TempPath(tag + ".q1q");
    std::ofstream(preset, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    Session s = RunKivahost(Steps({"--dialog", "--size", "64x48", "--record", TempPath(tag + ".rec"), "--out", TempPath(tag + ".png")},
                                  {"press 35", "file " + preset, "wait-preview", "read 73", "shot " + Shot("preset_" + tag), "ok"}));
    EXPECT_EQ(s.status, kHostStatusOk) << tag << "\n" << s.report;
    EXPECT_EQ(s.block.outputMode, 1u) << tag;
    record[run] = ReadTextFile(TempPath(tag + ".rec"));
    out[run] = ReadTextFile(TempPath(tag + ".png"));
    const size_t at = s.report.find("UI text 73 \"");
    combo[run] = at == std::string::npos ? "" : s.report.substr(at, s.report.find('\n', at) - at);
  }
  ASSERT_FALSE(record[1].empty() || out[1].empty() || combo[1].size() <= 13) << combo[1];
  EXPECT_EQ(record[0], record[1]);
  EXPECT_TRUE(out[0] == out[1]) << "the malformed preset renders another picture";
  EXPECT_EQ(combo[0], combo[1]);
}

// The memory-dot thumbnail cleared (its dot right-clicked) leaves no strip of its picture below
// the control, and a name too wide for its label starts at the label's left and ends in dots.
// Oracles: ImageMagick reads the background picture (239.bmp) as one colour, (243, 245, 248),
// over x 456..542 of rows 493..497; the dots of "..." are at most 2 pixels high, an "M" is not.
TEST_F(DialogSession, AClearedThumbnailAndALongNameStayInsideTheirControls) {
  if (!HaveDisplay()) return;
  DeleteFileA(PluginTemp("Kivaglobe memdot map 3").c_str());
  const std::string preset = TempPath(std::string(70, 'M') + ".q1q");
  const std::string cleared = Shot("cleared"), named = Shot("long_name");
  Session run = RunKivahost(Steps({"--dialog", "--size", "64x48"},
                                  {"wait-preview", "rclick 121", "sleep 200", "shot " + cleared, "press 26",
                                   "file " + preset, "sleep 300", "shot " + named, "cancel"}));
  EXPECT_EQ(run.report.find("UI failed"), std::string::npos) << run.report;
  const Picture a(cleared), b(named);
  ASSERT_FALSE(a.Empty() || b.Empty());
  int strip = 0;
  for (int x = 456; x <= 542; x++)
    for (int y : {494, 495}) strip += std::memcmp(a.At(x, y), "\xF3\xF5\xF8", 3) != 0;
  EXPECT_EQ(strip, 0);
  // The height of the ink (dark pixels) in each column of the label; the text's first and last.
  int height[948] = {}, first = -1, last = -1;
  for (int x = 589; x < 948; x++) {
    for (int y = 436, top = -1; y < 453; y++) {
      if (b.Brightest(x, y) >= 100) continue;
      if (top < 0) top = y;
      height[x] = y - top + 1;
    }
    if (height[x] == 0) continue;
    if (first < 0) first = x;
    last = x;
  }
  EXPECT_TRUE(first >= 590 && first <= 596) << first;
  for (int x = last - 8; x <= last; x++) EXPECT_LE(height[x], 3) << x;
  DeleteFileA(preset.c_str());
}

}  // namespace

// The layered export over an old document at a 257-byte path, where "<path>.new" does not fit,
// confirmed in the save dialog and cancelled while it runs, then run to its end. Oracle: the file
// system -- the old document and the user's own file of the first same-length side name keep
// their bytes through the Cancel, no other file appears, and the finished export is a document
// ("8BPS") that leaves the user's file alone. Each run waits for the main dialog to come back to the
// front (control 34), that is for the export to end, whatever the machine's speed.
TEST_F(DialogSession, AnExportNeverLosesTheOldDocumentOrTheUsersSideNamedFile) {
  if (!HaveDisplay()) return;
  const std::string folder = TempPath("long_export") + "\\" + std::string(150, 's') + "\\";
  CreateDirectoryA(TempPath("long_export").c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + std::string(257 - folder.size() - 4, 'n') + ".psd";
  ASSERT_EQ(path.size(), 257u);
  const std::string users = path.substr(0, path.size() - 1) + "~";
  for (const auto &[file, text] : {std::pair{path, "the older document"}, std::pair{users, "mine"}}) {
    FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr) << file;
    std::fputs(text, f);
    std::fclose(f);
  }
  auto listing = [&folder] {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName); while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = listing();
  // Cancelled a moment after the box started its job (1 s after it opened).
  Session cancelled = RunKivahost(Steps({"--dialog", "--size", "1600x1200"},
                                        {"wait-preview", "press 71", "file " + path, "sleep 1000", "press 6",
                                         "sleep 1400", "cancel", "sleep 1500", "cancel"}));
  EXPECT_EQ(cancelled.report.find("UI failed"), std::string::npos) << cancelled.report;
  EXPECT_EQ(ReadTextFile(path), "the older document");
  EXPECT_EQ(ReadTextFile(users), "mine");
  EXPECT_EQ(listing(), before);

  Session finished = RunKivahost(Steps({"--dialog", "--size", "64x48"},
                                       {"wait-preview", "press 71", "file " + path, "sleep 1000", "press 6",
                                        "wait-for 34", "cancel"}));
  EXPECT_EQ(finished.report.find("UI failed"), std::string::npos) << finished.report;
  EXPECT_EQ(ReadTextFile(path).substr(0, 4), "8BPS");
  EXPECT_EQ(ReadTextFile(users), "mine");
  EXPECT_EQ(listing(), before);
  DeleteFileA(path.c_str());
  DeleteFileA(users.c_str());

  // On a short path the user's own "NAME.new" is passed over, not written over.
  const std::string shortPath = folder + "short.psd";
  for (const std::string &file : {shortPath, shortPath + ".new"}) {
    FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr) << file;
    std::fputs("mine", f);
    std::fclose(f);
  }
  Session beside = RunKivahost(Steps({"--dialog", "--size", "64x48"},
                                     {"wait-preview", "press 71", "file " + shortPath, "sleep 1000", "press 6",
                                      "wait-for 34", "cancel"}));
  EXPECT_EQ(beside.report.find("UI failed"), std::string::npos) << beside.report;
  EXPECT_EQ(ReadTextFile(shortPath).substr(0, 4), "8BPS");
  EXPECT_EQ(ReadTextFile(shortPath + ".new"), "mine");
  EXPECT_EQ(listing(), (std::vector<std::string>{".", "..", "short.psd", "short.psd.new"}));
  DeleteFileA(shortPath.c_str());
  DeleteFileA((shortPath + ".new").c_str());
  RemoveDirectoryA(folder.c_str());
  RemoveDirectoryA(TempPath("long_export").c_str());
}

