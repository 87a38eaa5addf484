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

#include "host/host_session.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"

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

Outcome RunWithSteps(const std::vector<std::string> &steps) {
  gSeen = Seen{};
  gSeen.ended = -5;
  std::vector<uint8_t> pipl = FilterPipl(HostCodePropertyKey(), "DialogMain").Bytes();
  PluginModule module = {nullptr, pipl.data(), pipl.size(), DialogExport, nullptr, nullptr, 0};
  std::vector<const char *> args = {"kivahost", "--plugin", "dialog.8bf", "--dialog", "--size", "8x8"};
  for (const std::string &step : steps) {
    args.push_back("--ui-step");
    args.push_back(step.c_str());
  }
  HostOptions options;
  char error[512];
  Outcome outcome;
  EXPECT_TRUE(ParseHostOptions(int(args.size()), args.data(), &options, error, sizeof error)) << error;
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

bool NoDisplay() {
  if (gSeen.opened) return false;
  // Without a display no dialog opens. (A skip would be the natural report, but a skipped
  // test crashes the 32-bit program under emulated Wine.)
  const char *display = std::getenv("DISPLAY");
  EXPECT_TRUE(display == nullptr || display[0] == 0) << "the dialog did not open on display " << display;
  std::printf("no display: the dialog could not be opened, nothing to check\n");
  return true;
}

TEST(UiDriver, StepsReachTheDialogAsAPersonsWouldAndThePictureShowsIt) {
  const std::string shot = TempPath("ui_driver_shot.png");
  std::remove(shot.c_str());
  Outcome run = RunWithSteps({"type 101 -3 x", "press 102", "click 102", "click 103", "rclick 103",
                              "drag 103 -100 10", "select 104 2", "wait-preview", "shot " + shot, "ok"});
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
  EXPECT_NE(run.report.find("UI 10: ok"), std::string::npos) << run.report;

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

TEST(UiDriver, StepsAfterAClickThatOpensAPickerGoToThePicker) {
  Outcome run = RunWithSteps({"click 105", "type 706 255", "type 707 128", "type 708 0", "press 1", "ok"});
  if (NoDisplay()) return;
  EXPECT_EQ(run.status, kHostStatusOk) << run.report;
  EXPECT_TRUE(gSeen.colourChosen);
  EXPECT_EQ(gSeen.colour, RGB(255, 128, 0));
  // The last "ok" reached the test dialog once the picker had gone.
  EXPECT_EQ(gSeen.ended, IDOK);
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

}  // namespace
