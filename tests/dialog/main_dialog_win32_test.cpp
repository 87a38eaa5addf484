// The main dialog under Windows (Wine), run through Start with a fake host and the program's
// own stand-in template: a thread timer, which the dialog's modal loop dispatches, plays the
// user's part one step per tick, as the stand-in host's dialog driver does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "dialog/control_ids.h"
#include "dialog/control_table.h"
#include "dialog/control_values.h"
#include "dialog/main_dialog.h"
#include "plugin/dispatch.h"
#include "plugin/host_memory.h"
#include "plugin/host_utils.h"
#include "tests/plugin/fake_host.h"
#include "tests/support/need_display.h"

namespace {

typedef std::function<void(HWND)> Step;
std::vector<Step> gSteps;
size_t gNextStep = 0;
int gIdleTicks = 0;

BOOL CALLBACK FindKivaglobe(HWND window, LPARAM found) {
  char title[64] = "";
  char className[16] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(className, "#32770") == 0 && std::strcmp(title, kMainDialogTitle) == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// One step per tick; a dialog still open long after its last step is cancelled, so a fault
// cannot hang the test.
void CALLBACK StepTimer(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindKivaglobe, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  if (gNextStep < gSteps.size()) {
    gSteps[gNextStep++](dialog);
    return;
  }
  if (++gIdleTicks == 100) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0);
  if (gIdleTicks == 200) EndDialog(dialog, kIdCancel);
}

// Live GDI objects of the process: the system's count where it keeps one, else the objects
// that answer to their table index (Wine accepts a handle without its generation word).
int CountGdiObjects() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return int(counted);
  int live = 0;
  for (uintptr_t index = 1; index < 0x10000; index++)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) live++;
  return live;
}

// A display procedure that keeps what it was handed.
struct ShownPicture {
  int calls = 0;
  int unusable = 0;   // null pixels or an empty rectangle
  int32_t imageMode = -1;
  int32_t rowBytes = 0;
  int32_t colBytes = 0;
  int32_t row = 0, col = 0;
  uint8_t first[6] = {};
};
ShownPicture gShown;

OSErr16 KV_HOSTAPI RecordDisplay(const HostPixelMap *map, const HostVRect *rect, int32_t row, int32_t col, void *) {
  gShown.calls++;
  if (map->baseAddr == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
    gShown.unusable++;
    return kResultOk;
  }
  gShown.imageMode = map->imageMode;
  gShown.rowBytes = map->rowBytes;
  gShown.colBytes = map->colBytes;
  gShown.row = row;
  gShown.col = col;
  std::memcpy(gShown.first, map->baseAddr, sizeof gShown.first);
  return kResultOk;
}

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// The dialog's client area as the program painted it, into a 24-bit BMP file (for a person
// to look at: KV_DIALOG_SHOT names the file).
void SaveDialogPicture(HWND dialog, const char *path) {
  RECT client;
  GetClientRect(dialog, &client);
  const int w = client.right, h = client.bottom;
  HDC window = GetDC(dialog);
  HDC memory = CreateCompatibleDC(window);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void *bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = DWORD((w * 3 + 3) & ~3);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + rowBytes * DWORD(h);
  FILE *out = std::fopen(path, "wb");
  if (out != nullptr) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, rowBytes, size_t(h), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(dialog, window);
}

void Post(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { PostMessageA(dialog, message, wParam, lParam); }

class MainDialogWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_FAIL() << kNoDisplaySentence;
    SetDllInstance(GetModuleHandleA(nullptr));
    FakeHostInit(&host, 300, 200);
    ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
    ASSERT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  }
  void TearDown() override { FakeHostRelease(&host); }

  // Start with the dialog, the steps played into it; the result word of Start.
  int16_t StartWithSteps(std::vector<Step> steps) {
    gSteps = std::move(steps);
    gNextStep = 0;
    gIdleTicks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 40, StepTimer);
    const int16_t result = FakeHostCall(&host, kSelectorStart);
    KillTimer(nullptr, timer);
    EXPECT_EQ(gNextStep, gSteps.size()) << "the dialog closed before every step ran";
    EXPECT_LT(gIdleTicks, 100) << "the dialog did not close when asked";
    // Finish the run the host started.
    while (result == kResultOk && !IsEmptyRequest(host.record.inRect) && FakeHostCall(&host, kSelectorContinue) == kResultOk) {
    }
    return result;
  }

  ParameterBlock *Params() { return FakeHostParameters(&host); }
  FakeHost host;
};

TEST_F(MainDialogWindows, OkKeepsWhatWasTypedDraggedAndChosen) {
  int gdiOpen = 0, gdiAfter = 0;
  int32_t seaSliderAfterTyping = -1;
  bool timerRanFromTyping = false;
  const int16_t result = StartWithSteps({
      // Counted after a first round of painting and hovering: the cursors the dialog loads
      // are kept by the system for the module once loaded (not a leak of each message).
      [&](HWND d) {
        for (int i = 0; i < 10; i++) {
          InvalidateRect(d, nullptr, TRUE);
          UpdateWindow(d);
          SendMessageA(d, WM_MOUSEMOVE, 0, Point(500 + i, 100));
          SendMessageA(d, WM_MOUSEMOVE, 0, Point(20, 20));
        }
        gdiOpen = CountGdiObjects();
      },
      // Typing moves the slider at once.
      [&](HWND d) {
        SetDlgItemTextA(d, kIdSeaLevelEdit, "70");
        seaSliderAfterTyping = GetControlValue(kIdSeaLevel);
        // The delayed preview is waiting: killing it reports that it was set.
        timerRanFromTyping = KillTimer(d, kPreviewTimerId) != FALSE;
        Post(d, WM_TIMER, kPreviewTimerId, 0);
      },
      // The map mode: the fourth entry.
      [&](HWND d) {
        SendDlgItemMessageA(d, kIdMapMode, CB_SETCURSEL, 3, 0);
        Post(d, WM_COMMAND, MAKEWPARAM(kIdMapMode, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, kIdMapMode)));
      },
      // A drag of the size slider past the dialog's left edge. The window system's own move
      // of the pointer, with no button down, drags nothing.
      [&](HWND d) {
        Post(d, WM_LBUTTONDOWN, MK_LBUTTON, Point(200, 25));
        Post(d, WM_MOUSEMOVE, MK_LBUTTON, Point(-40, 25));
        Post(d, WM_MOUSEMOVE, 0, Point(900, 25));
        Post(d, WM_LBUTTONUP, 0, Point(-40, 25));
      },
      // The complexity slider past its right end; the drag before wrote the size edit and
      // left no delayed preview behind.
      [&](HWND d) {
        EXPECT_FALSE(KillTimer(d, kPreviewTimerId));
        char size[16] = "";
        GetDlgItemTextA(d, kIdPlanetSizeEdit, size, sizeof size);
        EXPECT_STREQ(size, "0");
        Post(d, WM_LBUTTONDOWN, MK_LBUTTON, Point(150, 48));
        Post(d, WM_MOUSEMOVE, MK_LBUTTON, Point(900, 48));
        Post(d, WM_LBUTTONUP, 0, Point(900, 48));
      },
      // The light ball with Ctrl: straight at the viewer.
      [&](HWND d) {
        Post(d, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, Point(360, 30));
        Post(d, WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, Point(365, 35));
        Post(d, WM_LBUTTONUP, MK_CONTROL, Point(365, 35));
      },
      // A thousand messages of painting and hovering leave no GDI object behind.
      [&](HWND d) {
        for (int i = 0; i < 500; i++) {
          InvalidateRect(d, nullptr, TRUE);
          UpdateWindow(d);
          SendMessageA(d, WM_MOUSEMOVE, 0, Point(500 + i % 300, 100));
          SendMessageA(d, WM_MOUSEMOVE, 0, Point(20 + i % 100, 20));
        }
        gdiAfter = CountGdiObjects();
      },
      // Typed, and OK before the delayed preview fires.
      [&](HWND d) {
        SetDlgItemTextA(d, kIdDesertEdit, "33");
        Post(d, WM_COMMAND, MAKEWPARAM(kIdOk, BN_CLICKED), 0);
      },
  });
  EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(seaSliderAfterTyping, 70);
  EXPECT_TRUE(timerRanFromTyping);
  // A leak grows the count with the messages; a picture the first round held (the hovered
  // dot's thumbnail) may have been let go since.
  EXPECT_LE(gdiAfter, gdiOpen);
  EXPECT_GE(gdiAfter, gdiOpen - 2);
  ParameterBlock *p = Params();
  EXPECT_EQ(p->seaLevel, 70u);
  EXPECT_EQ(p->outputMode, 4u);
  EXPECT_EQ(p->planetSize, 0u);
  EXPECT_EQ(p->landComplexity, 100u);
  EXPECT_EQ(p->desert, 33u);
  EXPECT_EQ(p->lightVector[0], 0.0f);
  EXPECT_EQ(p->lightVector[1], 0.0f);
  EXPECT_EQ(p->lightVector[2], 1.0f);
  EXPECT_EQ(p->renderTarget, 0u);
  EXPECT_EQ(MainDialogWindow(), nullptr);
}

TEST_F(MainDialogWindows, CancelPutsBackEverythingTheDialogChanged) {
  ParameterBlock entry;
  std::memcpy(&entry, Params(), sizeof entry);
  int32_t centreMoved = 0;
  const int16_t result = StartWithSteps({
      [&](HWND d) {
        SetDlgItemTextA(d, kIdSeaLevelEdit, "5");
        Post(d, WM_TIMER, kPreviewTimerId, 0);
      },
      [&](HWND d) {
        CheckDlgButton(d, kIdBacklighting, BST_CHECKED);
        Post(d, WM_COMMAND, MAKEWPARAM(kIdBacklighting, BN_CLICKED), 0);
      },
      // A click on the whole-image preview moves the planet's centre.
      [&](HWND d) {
        Post(d, WM_LBUTTONDOWN, MK_LBUTTON, Point(620, 150));
        Post(d, WM_LBUTTONUP, 0, Point(620, 150));
      },
      [&](HWND d) {
        centreMoved = Params()->centerX != entry.centerX || Params()->centerY != entry.centerY;
        SendDlgItemMessageA(d, kIdMapMode, CB_SETCURSEL, 9, 0);
        Post(d, WM_COMMAND, MAKEWPARAM(kIdMapMode, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(d, kIdMapMode)));
      },
      // Ticking real clouds without a cloud image leaves it unticked.
      [&](HWND d) {
        CheckDlgButton(d, kIdRealClouds, BST_CHECKED);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(kIdRealClouds, BN_CLICKED), 0);
        EXPECT_EQ(IsDlgButtonChecked(d, kIdRealClouds), 0u);
        Post(d, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0);
      },
  });
  EXPECT_EQ(result, kResultUserCanceled);
  EXPECT_TRUE(centreMoved);
  const ParameterBlock *p = Params();
  // Every setting of the planet as the dialog found it: the colours and look words, seed,
  // directions, mode, name, centre and cloud image.
  EXPECT_EQ(std::memcmp(&p->landColor, &entry.landColor,
                        offsetof(ParameterBlock, cloudImageOverride) - offsetof(ParameterBlock, landColor)), 0);
  EXPECT_EQ(std::memcmp(&p->randomSeed, &entry.randomSeed,
                        offsetof(ParameterBlock, landColor) - offsetof(ParameterBlock, randomSeed)), 0);
  EXPECT_EQ(std::memcmp(p->lightVector, entry.lightVector, sizeof entry.lightVector), 0);
  EXPECT_EQ(std::memcmp(p->axisVector, entry.axisVector, sizeof entry.axisVector), 0);
  EXPECT_EQ(p->outputMode, entry.outputMode);
  EXPECT_STREQ(p->settingsName, entry.settingsName);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
}

TEST_F(MainDialogWindows, PreviewShowsOnlyAPictureThatExistsAndSixteenBitsAsBytes) {
  // A 16-bit RGB document: the output buffer holds two-byte samples 0..32768.
  static uint16_t samples[200][300 * 3];
  for (auto &row : samples)
    for (int i = 0; i < 300 * 3; i++) row[i] = uint16_t(i % 3 == 0 ? 32768 : (i % 3 == 1 ? 32767 : 256));
  host.record.imageMode = kModeRGB48;
  host.record.depth = 16;
  host.record.displayPixels = RecordDisplay;
  gShown = ShownPicture{};
  int callsWithout = -1;
  const int16_t result = StartWithSteps({
      [&](HWND d) {
        // The host has delivered nothing yet: nothing may be handed to its display.
        host.record.outData = nullptr;
        InvalidateRect(d, nullptr, TRUE);
        UpdateWindow(d);
        callsWithout = gShown.calls;
      },
      [&](HWND d) {
        host.record.outData = samples;
        host.record.outRowBytes = int32_t(sizeof samples[0]);
        host.record.outLoPlane = 0;
        host.record.outHiPlane = 2;
        host.record.outRect = Rect16{0, 0, 200, 300};
        InvalidateRect(d, nullptr, TRUE);
        UpdateWindow(d);
      },
      [&](HWND d) {
        host.record.outRect = Rect16{0, 0, 0, 0};   // empty: nothing shown
        InvalidateRect(d, nullptr, TRUE);
        UpdateWindow(d);
        host.record.outData = nullptr;
        Post(d, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0);
      },
  });
  EXPECT_EQ(result, kResultUserCanceled);
  EXPECT_EQ(callsWithout, 0);
  EXPECT_GE(gShown.calls, 1);
  EXPECT_EQ(gShown.unusable, 0);
  EXPECT_EQ(gShown.imageMode, kModeRGB);
  EXPECT_EQ(gShown.rowBytes, 900);
  EXPECT_EQ(gShown.colBytes, 3);
  const uint8_t bytes[6] = {255, 255, 2, 255, 255, 2};
  EXPECT_EQ(std::memcmp(gShown.first, bytes, 6), 0);
  // Centred in the preview: (452 + 948 - 300) / 2 across, (4 + 386 - 200) / 2 down.
  EXPECT_EQ(gShown.col, 550);
  EXPECT_EQ(gShown.row, 95);
}

// Dark pixels of the dialog's client area in the middle band of the preview's frame (the
// frame inside (452, 4) - (948, 386)), as the window shows them.
int DarkPixelsInPreviewMiddle(HWND dialog) {
  HDC dc = GetDC(dialog);
  int dark = 0;
  for (int y = 185; y < 206; y++)
    for (int x = 456; x < 944; x++) {
      const COLORREF c = GetPixel(dc, x, y);
      if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) dark++;
    }
  ReleaseDC(dialog, dc);
  return dark;
}

// A preview that cannot be rendered for want of memory leaves a line of text in the preview
// area, and the next preview rendered once memory is back takes its place; the dialog still
// ends as the user asks. Oracle: property -- no picture reaches the host's display while the
// memory is refused, the middle of the empty frame holds dark (text) pixels then and none
// after the recovery, and the host gets 0 from OK.
TEST_F(MainDialogWindows, APreviewWithoutMemorySaysSoUntilOneCanBeRendered) {
  // The host's output: a white picture (this host renders nothing into it), which its display
  // paints as such.
  static uint8_t white[200][300 * 3];
  std::memset(white, 255, sizeof white);
  host.record.displayPixels = [](const HostPixelMap *map, const HostVRect *rect, int32_t row, int32_t col,
                                 void *context) -> OSErr16 {
    PatBlt(static_cast<HDC>(context), col, row, rect->right - rect->left, rect->bottom - rect->top, WHITENESS);
    return RecordDisplay(map, rect, row, col, context);
  };
  gShown = ShownPicture{};
  int shownBefore = -1, shownWhileShort = -1, shownAfter = -1, darkWhileShort = -1, darkAfter = -1;
  const int16_t result = StartWithSteps({
      [&](HWND d) {
        host.record.outData = white;
        host.record.outRowBytes = int32_t(sizeof white[0]);
        // Every buffer from now on refused, global memory too; a typed number re-renders.
        host.refuseBuffersFrom = int(host.bufferRequests.size()) + 1;
        SetNewPointerLimit(0);
        shownBefore = gShown.calls;
        SetDlgItemTextA(d, kIdSeaLevelEdit, "30");
        Post(d, WM_TIMER, kPreviewTimerId, 0);
      },
      [&](HWND d) {
        shownWhileShort = gShown.calls;
        darkWhileShort = DarkPixelsInPreviewMiddle(d);
        host.refuseBuffersFrom = 0;
        SetNewPointerLimit(-1);
        // Memory is back, but this render leaves no picture: the notice must go all the same.
        host.record.outData = nullptr;
        SetDlgItemTextA(d, kIdSeaLevelEdit, "40");
        Post(d, WM_TIMER, kPreviewTimerId, 0);
      },
      [&](HWND d) {
        darkAfter = DarkPixelsInPreviewMiddle(d);
        host.record.outData = white;
        InvalidateRect(d, nullptr, TRUE);
        UpdateWindow(d);
        shownAfter = gShown.calls;
        host.record.outData = nullptr;
        Post(d, WM_COMMAND, MAKEWPARAM(kIdOk, BN_CLICKED), 0);
      },
  });
  SetNewPointerLimit(-1);
  EXPECT_EQ(shownWhileShort, shownBefore) << "a picture was shown although none could be rendered";
  EXPECT_GT(shownAfter, shownWhileShort) << "no picture once memory was back";
  EXPECT_GT(darkWhileShort, 40) << "no notice in the preview area";
  EXPECT_EQ(darkAfter, 0) << "the notice stayed after a preview was rendered";
  EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(Params()->seaLevel, 40u);
}

// A 16-bit picture without the memory to convert it for the display: the frame says so
// instead of keeping what it showed before. Oracle: property -- nothing reaches the host's
// display, and the middle of the frame holds text.
TEST_F(MainDialogWindows, ASixteenBitPictureWithoutMemoryToShowItSaysSo) {
  static uint16_t samples[200][300 * 3];
  host.record.imageMode = kModeRGB48;
  host.record.depth = 16;
  host.record.displayPixels = RecordDisplay;
  int shown = -1, dark = -1;
  const int16_t result = StartWithSteps({[&](HWND d) {
    host.record.outData = samples;
    host.record.outRowBytes = int32_t(sizeof samples[0]);
    host.record.outRect = Rect16{0, 0, 200, 300};
    host.refuseBuffersFrom = int(host.bufferRequests.size()) + 1;
    SetNewPointerLimit(0);
    const int before = gShown.calls;
    InvalidateRect(d, nullptr, TRUE);
    UpdateWindow(d);
    shown = gShown.calls - before;
    dark = DarkPixelsInPreviewMiddle(d);
    SetNewPointerLimit(-1);
    host.refuseBuffersFrom = 0;
    host.record.outData = nullptr;
    Post(d, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0);
  }});
  EXPECT_EQ(result, kResultUserCanceled);
  EXPECT_EQ(shown, 0);
  EXPECT_GT(dark, 40) << "no notice in the preview area";
}

TEST_F(MainDialogWindows, LayoutPlacesEveryItemAtItsRow) {
  std::vector<std::pair<int, RECT>> placed;
  RECT client = {};
  const int16_t result = StartWithSteps({
      [&](HWND d) {
        GetClientRect(d, &client);
        // The program's own edit texts at opening leave no delayed preview waiting.
        EXPECT_FALSE(KillTimer(d, kPreviewTimerId));
        for (int id : {37, 86, 36, 7, 17, 3, 2, 34, 18, 112, 121, 146, 48}) {
          HWND item = GetDlgItem(d, id);
          RECT r;
          GetClientRect(item, &r);
          MapWindowPoints(item, d, reinterpret_cast<POINT *>(&r), 2);
          placed.push_back({id, r});
        }
        char label[16] = "";
        GetDlgItemTextA(d, kIdZoomLabel, label, sizeof label);
        EXPECT_STREQ(label, "100%");   // 300 x 200 fits at 100%
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kIdZoomIn)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kIdZoomOut)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, kIdZoomLabel)));
        char caption[32] = "x";
        GetDlgItemTextA(d, kIdDice, caption, sizeof caption);
        EXPECT_STREQ(caption, "");   // icon buttons show no caption
        EXPECT_EQ(SendDlgItemMessageA(d, kIdMapMode, CB_GETCOUNT, 0, 0), 14);
        if (const char *shot = std::getenv("KV_DIALOG_SHOT")) SaveDialogPicture(d, shot);
        char mode[32] = "";
        SendDlgItemMessageA(d, kIdMapMode, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(mode));
        EXPECT_STREQ(mode, "lit map");
        Post(d, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0);
      },
  });
  EXPECT_EQ(result, kResultUserCanceled);
  EXPECT_EQ(client.right, 963);
  EXPECT_EQ(client.bottom, 641);
  for (const auto &item : placed) {
    // The rows as the layout gives them, with the buttons' adjustments.
    const int id = item.first;
    LayoutRect want = {};
    switch (id) {
      case 37: want = {130, 20, 265, 32}; break;
      case 86: want = {273, 18, 297, 30}; break;
      case 36: want = {62, 20, 121, 38}; break;
      case 7: want = {308, 16, 328, 36}; break;
      case 17: want = {346, 322, 408, 353}; break;
      case 3: want = {887, 600, 949, 629}; break;
      case 2: want = {587, 600, 649, 629}; break;
      case 34: want = {753, 404, 790, 421}; break;
      case 18: want = {450, 2, 950, 388}; break;
      case 112: want = {335, 11, 420, 96}; break;
      case 121: want = {433, 388, 445, 399}; break;
      case 146: want = {64, 610, 123, 628}; break;
      case 48: want = {130, 524, 144, 538}; break;
    }
    EXPECT_EQ(item.second.left, want.left) << id;
    EXPECT_EQ(item.second.top, want.top) << id;
    EXPECT_EQ(item.second.right, want.right) << id;
    EXPECT_EQ(item.second.bottom, want.bottom) << id;
  }
}

}  // namespace
