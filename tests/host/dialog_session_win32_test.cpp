// dialog_session_win32_test.cpp -- the plug-in of this tree driven through its main dialog's
// commands by the stand-in host, the common dialogs answered by the script: memory dots, the
// save and open dialogs, both colour pickers, the layered export's save dialog, the cloud
// chooser, a notice. The files the dialog writes are read back here word by word; the pictures of
// the dialogs are left in dialog_shots/ of the test's folder for a person to look at. Needs a display; checks nothing
// without one (a skipped test would crash the 32-bit program under emulation).
#include <windows.h>

#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/png_writer.h"
#include "plugin/parameters.h"
#include "tests/host/plugin_run.h"
#include "tests/host/test_files.h"

namespace {

struct Session {
  int status = -1;
  std::string report;
  bool haveBlock = false;
  ParameterBlock block{};
  int32_t abortCalls = 0;     // the host's abort callback, asked
  int32_t displayCalls = 0;   // displayPixels, called
};

bool HaveDisplay() {
  const char *display = std::getenv("DISPLAY");
  return gPluginPath != nullptr && display != nullptr && display[0] != 0;
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
  std::vector<uint8_t> pattern(size_t(W) * H * 3);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      uint8_t *p = pattern.data() + (size_t(y) * W + x) * 3;
      p[0] = uint8_t(x % 256);
      p[1] = uint8_t(y % 256);
      p[2] = uint8_t(64 + 16 * (x / 256) + 4 * (y / 256));
    }
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
      const int x = (p[2] - 64) / 16 * 256 + p[0], y = (p[2] - 64) % 16 / 4 * 256 + p[1];
      EXPECT_NEAR(x, 184 + 2 * k, 2) << k << "," << j;
      EXPECT_NEAR(y, 2 * j, 2) << k << "," << j;
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

// The memory-dot thumbnail cleared (its dot right-clicked) leaves no strip of its picture below
// the control, and a name too wide for its label starts at the label's left and ends in dots.
// Oracles: ImageMagick reads the background picture (239.bmp) as one colour, (243, 245, 248),
// over x 456..542 of rows 493..497; the dots of "..." are at most 2 pixels high, an "M" is not.
TEST_F(DialogSession, AClearedThumbnailAndALongNameStayInsideTheirControls) {
  ASSERT_TRUE(HaveDisplay()) << "this test opens windows: run it with a display (DISPLAY is unset)";
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
