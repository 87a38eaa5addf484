// ui_driver_win32_test.cpp -- the host's dialog driver against a dialog of this program
// (ui_test_dialog.rc) that a fake plug-in opens at Parameters. The dialog procedure records
// what reaches it; the picture the driver takes is read back with stb_image, an independent
// PNG reader. Windows trees; needs a display, and checks nothing without one.
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>
#include <stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_platform.h"
#include "dialog/control_table.h"
#include "host/host_session.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"
#include "tests/support/need_display.h"

extern const char *gPluginPath;

namespace {

// Where the test dialog puts its items, in client pixels.
constexpr int kClientW = 300, kClientH = 160;
constexpr RECT kPainted = {20, 40, 120, 80};   // item 103, painted red by the dialog
constexpr int kShownRow = 10, kShownCol = 200;  // where the plug-in shows its green pixels
constexpr int kShownSide = 8;

struct Seen {
  bool opened, colourChosen;
  INT_PTR ended;
  int changes, goClicks, leftDowns, rightDowns, moves, selection, selectionChanges;
  char text[64];
  POINT leftDown, rightDown, lastMove, leftUp;
  COLORREF colour;
};
Seen gSeen;
FilterRecord *gRecord = nullptr;

POINT PointOf(LPARAM lp) { return POINT{int16_t(LOWORD(lp)), int16_t(HIWORD(lp))}; }

// The plug-in shows an 8 x 8 green square through the host, as its preview does.
void ShowGreen(HDC dc) {
  static uint8_t pixels[kShownSide * kShownSide * 3];
  for (int i = 0; i < kShownSide * kShownSide; i++) pixels[i * 3 + 1] = 200;
  HostPixelMap map = {};
  map.version = 1;
  map.bounds = HostVRect{0, 0, kShownSide, kShownSide};
  map.imageMode = kModeRGB;
  map.rowBytes = kShownSide * 3;
  map.colBytes = 3;
  map.planeBytes = 1;
  map.baseAddr = pixels;
  gRecord->displayPixels(&map, &map.bounds, kShownRow, kShownCol, dc);
}

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_INITDIALOG: {
      gSeen.opened = true;
      RECT frame = {0, 0, kClientW, kClientH};
      AdjustWindowRectEx(&frame, DWORD(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                         DWORD(GetWindowLongA(dialog, GWL_EXSTYLE)));
      SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER);
      SetWindowPos(GetDlgItem(dialog, 103), nullptr, kPainted.left, kPainted.top, kPainted.right - kPainted.left,
                   kPainted.bottom - kPainted.top, SWP_NOZORDER);
      HWND combo = GetDlgItem(dialog, 104);
      for (const char *entry : {"first", "second", "third"}) SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(entry));
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      return INT_PTR(GetStockObject(NULL_BRUSH));
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dialog, &ps);
      HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
      FillRect(dc, &kPainted, red);
      DeleteObject(red);
      ShowGreen(dc);
      EndPaint(dialog, &ps);
      return TRUE;
    }
    case WM_LBUTTONDOWN: gSeen.leftDowns++, gSeen.leftDown = PointOf(lp); return TRUE;
    case WM_RBUTTONDOWN: gSeen.rightDowns++, gSeen.rightDown = PointOf(lp); return TRUE;
    case WM_MOUSEMOVE:
      if (wp & MK_LBUTTON) gSeen.moves++, gSeen.lastMove = PointOf(lp);
      return TRUE;
    case WM_LBUTTONUP: gSeen.leftUp = PointOf(lp); return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wp), code = HIWORD(wp);
      if (id == 101 && code == EN_CHANGE) {
        gSeen.changes++, GetDlgItemTextA(dialog, 101, gSeen.text, sizeof gSeen.text);
      } else if (id == 102 && code == BN_CLICKED) {
        gSeen.goClicks++;
      } else if (id == 104 && code == CBN_SELCHANGE) {
        gSeen.selectionChanges++, gSeen.selection = int(SendMessageA(HWND(lp), CB_GETCURSEL, 0, 0));
      } else if (id == 105 && code == BN_CLICKED) {
        // A modal dialog over the dialog: the steps that follow must go to it.
        static COLORREF custom[16];
        CHOOSECOLORA choose = {sizeof choose, dialog, nullptr, RGB(10, 20, 30), custom, CC_RGBINIT | CC_FULLOPEN};
        gSeen.colourChosen = ChooseColorA(&choose) != 0;
        gSeen.colour = choose.rgbResult;
      } else if (id == IDOK || id == IDCANCEL) {
        EndDialog(dialog, id);
      }
      return TRUE;
    }
  }
  return FALSE;
}

void KV_HOSTAPI DialogEntry(int16_t selector, FilterRecord *record, intptr_t *, int16_t *result) {
  *result = 0;
  if (selector == kSelectorParameters) {
    gRecord = record;
    gSeen.ended = DialogBoxParamA(GetModuleHandleA(nullptr), "UI_TEST", nullptr, TestDialogProc, 0);
  }
  record->inRect = record->outRect = record->maskRect = Rect16{};
}

void *DialogExport(void *, const char *name) {
  return std::string(name) == "DialogMain" ? reinterpret_cast<void *>(DialogEntry) : nullptr;
}

struct Outcome {
  int status = -1;
  std::string report;
};

// A whole session of kivahost with `args` (after the program name) on `module`.
Outcome RunSession(const PluginModule &module, const std::vector<std::string> &args) {
  gSeen = Seen{};
  gSeen.ended = -5;
  std::vector<const char *> argv = {"kivahost", "--plugin", "dialog.8bf"};
  for (const std::string &arg : args) argv.push_back(arg.c_str());
  HostOptions options;
  char error[512];
  Outcome outcome;
  EXPECT_TRUE(ParseHostOptions(int(argv.size()), argv.data(), &options, error, sizeof error)) << error;
  const std::string reportPath = TempPath("ui_driver_report.txt");
  FILE *out = std::fopen(reportPath.c_str(), "wb");
  HostSession *session = new HostSession();
  EXPECT_TRUE(OpenHostSession(session, options, module, out, error, sizeof error)) << error;
  RunHostSession(session);
  outcome.status = FinishHostSession(session);
  CloseHostSession(session);
  delete session;
  std::fclose(out);
  outcome.report = ReadTextFile(reportPath);
  return outcome;
}

// The test dialog's fake plug-in driven by `steps`.
Outcome RunWithSteps(const std::vector<std::string> &steps) {
  std::vector<uint8_t> pipl = FilterPipl(HostCodePropertyKey(), "DialogMain").Bytes();
  PluginModule module = {nullptr, pipl.data(), pipl.size(), DialogExport, nullptr, nullptr, 0};
  std::vector<std::string> args = {"--dialog", "--size", "8x8"};
  for (const std::string &step : steps) args.insert(args.end(), {"--ui-step", step});
  return RunSession(module, args);
}

// True when the dialog never opened: without a display the test has failed with the reason,
// with one the dialog should have opened.
bool NoDisplay() {
  if (gSeen.opened) return false;
  if (NeedDisplay()) ADD_FAILURE() << "the dialog did not open on display " << std::getenv("DISPLAY");
  return true;
}

// The tree's plug-in and a display to show its dialog on; otherwise the test has failed.
bool HavePluginAndDisplay() {
  if (gPluginPath == nullptr) {
    ADD_FAILURE() << "no plug-in: the test program takes the path of the tree's .8bf as its argument";
    return false;
  }
  return NeedDisplay();
}

TEST(UiDriver, StepsReachTheDialogAsAPersonsWouldAndThePictureShowsIt) {
  const std::string shot = TempPath("ui_driver_shot.png");
  std::remove(shot.c_str());
  // The colour button opens a modal picker over the dialog: the steps after it go to the
  // picker, and once it is gone, to the dialog again.
  Outcome run = RunWithSteps({"type 101 -3 x", "press 102", "click 102", "click 103", "rclick 103",
                              "drag 103 -100 10", "select 104 2", "click 105", "type 706 255", "type 707 128",
                              "type 708 0", "press 1", "wait-preview", "shot " + shot, "ok"});
  if (NoDisplay()) return;
  EXPECT_EQ(run.status, kHostStatusOk) << run.report;
  EXPECT_EQ(gSeen.ended, IDOK);
  // Typing is a text change the dialog hears about, with the text as typed.
  EXPECT_GE(gSeen.changes, 1);
  EXPECT_STREQ(gSeen.text, "-3 x");
  // "press" sends the button's command; "click" clicks the button itself.
  EXPECT_EQ(gSeen.goClicks, 2);
  // The painted item lets the mouse through: the dialog gets the press at the item's centre
  // in its own client pixels, for both buttons.
  const POINT centre = {(kPainted.left + kPainted.right) / 2, (kPainted.top + kPainted.bottom) / 2};
  auto Xy = [](POINT p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
  EXPECT_EQ(gSeen.leftDowns, 2);   // the click and the drag
  EXPECT_EQ(gSeen.rightDowns, 1);
  EXPECT_EQ(Xy(gSeen.rightDown), Xy(centre));
  EXPECT_EQ(Xy(gSeen.leftDown), Xy(centre));
  // A drag left of the dialog arrives with a negative x (sign kept), moving in steps.
  EXPECT_GE(gSeen.moves, 8);
  const POINT end = {centre.x - 100, centre.y + 10};
  EXPECT_EQ(Xy(gSeen.lastMove), Xy(end));
  EXPECT_EQ(Xy(gSeen.leftUp), Xy(end));
  EXPECT_EQ(gSeen.selectionChanges, 1);
  EXPECT_EQ(gSeen.selection, 2);
  EXPECT_TRUE(gSeen.colourChosen);
  EXPECT_EQ(gSeen.colour, RGB(255, 128, 0));
  EXPECT_NE(run.report.find("UI 15: ok"), std::string::npos) << run.report;

  // The picture: the client area, with the dialog's own painting and the host's display.
  int w = 0, h = 0, n = 0;
  unsigned char *pixels = stbi_load(shot.c_str(), &w, &h, &n, 3);
  ASSERT_NE(pixels, nullptr) << "cannot read " << shot;
  EXPECT_EQ(w, kClientW);
  EXPECT_EQ(h, kClientH);
  auto at = [&](int x, int y) {
    const unsigned char *p = pixels + (size_t(y) * size_t(w) + size_t(x)) * 3;
    return (int(p[0]) << 16) | (int(p[1]) << 8) | int(p[2]);
  };
  EXPECT_EQ(at(centre.x, centre.y), 0xFF0000);
  EXPECT_EQ(at(kPainted.left, kPainted.top), 0xFF0000);
  EXPECT_NE(at(kPainted.left - 1, kPainted.top), 0xFF0000);
  EXPECT_EQ(at(kShownCol, kShownRow), 0x00C800);
  EXPECT_EQ(at(kShownCol + kShownSide - 1, kShownRow + kShownSide - 1), 0x00C800);
  EXPECT_NE(at(kShownCol + kShownSide, kShownRow + kShownSide), 0x00C800);
  stbi_image_free(pixels);
  std::remove(shot.c_str());
}

TEST(UiDriver, AStepOnAMissingControlCancelsTheDialogAndFailsTheRun) {
  Outcome run = RunWithSteps({"type 101 7", "click 999", "ok"});
  if (NoDisplay()) return;
  EXPECT_EQ(run.status, kHostStatusCannotRun) << run.report;
  // The dialog was cancelled, not left waiting, and the step after the failure never ran.
  EXPECT_EQ(gSeen.ended, IDCANCEL);
  EXPECT_NE(run.report.find("UI failed: step 2 \"click 999\": the dialog has no control 999"), std::string::npos)
      << run.report;
  EXPECT_EQ(run.report.find("UI 3: ok"), std::string::npos) << run.report;
}

// The plug-in of this tree, driven through its own dialog as a person would use it, renders
// what the same settings played silently as a recorded action render; Cancel leaves the
// document as it was.
TEST(UiDriver, ThePluginsDialogDrivenRendersWhatTheSameSettingsPlayedSilentlyRender) {
  if (!HavePluginAndDisplay()) return;
  PluginModule plugin;
  char error[512];
  ASSERT_TRUE(LoadPluginModule(gPluginPath, &plugin, error, sizeof error)) << error;
  const std::string driven = TempPath("ui_driven.png"), played = TempPath("ui_played.png");
  const std::string record = TempPath("ui_driven.rec"), cancelled = TempPath("ui_cancelled.png");
  // Sea level typed, the land colour through the Windows picker, the second map mode.
  Outcome a = RunSession(plugin, {"--dialog", "--size", "96x64", "--out", driven, "--record", record,
                                  "--ui-step", "type 90 70", "--ui-step", "click 7", "--ui-step", "type 706 200",
                                  "--ui-step", "type 707 60", "--ui-step", "type 708 20", "--ui-step", "press 1",
                                  "--ui-step", "select 73 1", "--ui-step", "wait-preview", "--ui-step", "ok"});
  EXPECT_EQ(a.status, kHostStatusOk) << a.report;
  const std::string keys = ReadTextFile(record);
  for (const char *key : {"0022 long 70\n", "0001 long 200\n", "0002 long 60\n", "0003 long 20\n", "LGky enum LGty LG02\n"})
    EXPECT_NE(keys.find(key), std::string::npos) << key << " not in\n" << keys;
  Outcome b = RunSession(plugin, {"--size", "96x64", "--out", played, "--set", "sea level=70", "--set", "land red=200",
                                  "--set", "land green=60", "--set", "land blue=20", "--mode", "composite"});
  EXPECT_EQ(b.status, kHostStatusOk) << b.report;
  Outcome c = RunSession(plugin, {"--dialog", "--size", "96x64", "--out", cancelled, "--ui-step", "type 90 70",
                                  "--ui-step", "select 73 3", "--ui-step", "cancel"});
  EXPECT_NE(c.report.find("Start: -128\n"), std::string::npos) << c.report;
  int w[3], h[3], n;
  unsigned char *pictures[3] = {stbi_load(driven.c_str(), &w[0], &h[0], &n, 3),
                                stbi_load(played.c_str(), &w[1], &h[1], &n, 3),
                                stbi_load(cancelled.c_str(), &w[2], &h[2], &n, 3)};
  ASSERT_TRUE(pictures[0] != nullptr && pictures[1] != nullptr && pictures[2] != nullptr);
  ASSERT_TRUE(w[0] == 96 && h[0] == 64 && w[1] == 96 && h[1] == 64 && w[2] == 96 && h[2] == 64);
  const size_t bytes = 96 * 64 * 3;
  EXPECT_EQ(std::memcmp(pictures[0], pictures[1], bytes), 0);
  size_t lit = 0, touched = 0;
  for (size_t i = 0; i < bytes; i++) lit += pictures[0][i] != 0, touched += pictures[2][i] != 0;
  EXPECT_GT(lit, bytes / 10);   // a planet, not the black canvas
  EXPECT_EQ(touched, 0u);       // the cancelled run left the canvas black
  for (unsigned char *p : pictures) stbi_image_free(p);
  UnloadPluginModule(&plugin);
}

// The plug-in's own template and pictures against the control table: every control the table
// describes is in the template with the class and styles its kind needs, and the pictures the
// painters use fit the places the layout gives them.
INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(MainDialogResources, TheTemplateHoldsEveryControlOfTheTableAndThePicturesFitTheirPlaces) {
  if (!HavePluginAndDisplay()) return;
  HMODULE dll = LoadLibraryA(gPluginPath);
  HWND dialog = CreateDialogParamA(dll, kMainDialogTemplate, nullptr, QuietProc, 0);
  ASSERT_NE(dialog, nullptr);
  char text[64];
  GetWindowTextA(dialog, text, sizeof text);
  EXPECT_STREQ(text, kMainDialogTitle);
  EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & WS_CLIPCHILDREN, 0);   // painters draw over the items
  auto sizeOf = [](int id) { LayoutRect r = GetDialogLayoutRect(id); return SIZE{r.right - r.left, r.bottom - r.top}; };
  for (int id = 1; id < kControlIdCount; id++) {
    const int32_t kind = GetControlKind(id);
    if (kind == kKindNone && id != 18 && id != 34) continue;
    HWND item = GetDlgItem(dialog, id);
    ASSERT_NE(item, nullptr) << "control " << id;
    GetClassNameA(item, text, sizeof text);
    const LONG style = GetWindowLongA(item, GWL_STYLE), type = style & BS_TYPEMASK;
    std::string want = "Button";
    if (kind == kKindNumberEdit) {
      want = "Edit";
      EXPECT_EQ(style & ES_NUMBER, 0) << id;   // "-3" must be typable
    } else if (kind == kKindComboBox) {
      want = "ComboBox";
      EXPECT_EQ(style & 3, CBS_DROPDOWNLIST) << id;
    } else if (kind == kKindCheckBox) {
      EXPECT_EQ(type, BS_AUTOCHECKBOX) << id;
    } else if (kind == kKindColorSwatch) {
      EXPECT_EQ(type, BS_OWNERDRAW) << id;
    } else if (kind == kKindIconButton || kind == kKindPushButton || id == 34) {
      EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << id;
      EXPECT_EQ((style & BS_ICON) != 0, kind == kKindIconButton) << id;
      if (kind != kKindIconButton) continue;
      ControlInfo info;
      GetControlInfo(id, &info);
      HICON icon = HICON(LoadImageA(dll, MAKEINTRESOURCEA(info.buttonIconId), IMAGE_ICON, 0, 0, 0));
      ICONINFO ii;
      BITMAP bm;
      ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &ii)) << "icon " << info.buttonIconId;
      GetObjectA(ii.hbmColor, sizeof bm, &bm);
      EXPECT_TRUE(bm.bmWidth <= sizeOf(id).cx - 4 && bm.bmHeight <= sizeOf(id).cy - 4) << "icon " << info.buttonIconId;
      DeleteObject(ii.hbmColor), DeleteObject(ii.hbmMask), DestroyIcon(icon);
    } else {
      want = "Static";   // painted by the program: the mouse must reach the dialog
      EXPECT_EQ(style & SS_NOTIFY, 0) << id;
    }
    EXPECT_EQ(lstrcmpiA(text, want.c_str()), 0) << id << " is a " << text;
  }
  // Background, tracks, ball, thumbnail frame: the size of their place; thumb and dots within it.
  const int pictures[][3] = {{239, 0, 0}, {101, 12, 0}, {102, 10, 0}, {180, 100, 0}, {217, 119, 0},
                             {120, 12, 1}, {203, 121, 2}, {208, 121, 2}, {202, 121, 2}, {210, 121, 2}, {211, 121, 2},
                             {212, 121, 2}, {213, 121, 2}, {214, 121, 2}, {215, 121, 2}, {216, 121, 2}};
  for (const auto &p : pictures) {
    HBITMAP bitmap = HBITMAP(LoadImageA(dll, MAKEINTRESOURCEA(p[0]), IMAGE_BITMAP, 0, 0, 0));
    BITMAP bm;
    ASSERT_TRUE(bitmap != nullptr && GetObjectA(bitmap, sizeof bm, &bm) != 0) << "bitmap " << p[0];
    const SIZE place = sizeOf(p[1]);
    if (p[2] == 0) EXPECT_TRUE(bm.bmWidth == place.cx && bm.bmHeight == place.cy) << "bitmap " << p[0];
    // The thumb is 12 wide and at most 10 high; a dot is drawn 2 pixels below its place's top.
    if (p[2] == 1) EXPECT_TRUE(bm.bmWidth == 12 && bm.bmHeight <= 10) << "bitmap " << p[0];
    if (p[2] == 2) EXPECT_TRUE(bm.bmWidth == place.cx && bm.bmHeight <= place.cy - 2) << "bitmap " << p[0];
    DeleteObject(bitmap);
  }
  EXPECT_NE(LoadImageA(dll, MAKEINTRESOURCEA(122), IMAGE_ICON, 0, 0, 0), nullptr);
  EXPECT_NE(LoadCursorA(dll, MAKEINTRESOURCEA(107)), nullptr);
  EXPECT_NE(LoadCursorA(dll, MAKEINTRESOURCEA(109)), nullptr);
  DestroyWindow(dialog);
  FreeLibrary(dll);
}

}  // namespace
