// The built DLL of this tree, as a host loads it: its exports, its property list resource, and
// its entry driven through the fake host (Windows builds only).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dialog/control_ids.h"
#include "plugin/dispatch.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"
#include "plugin/pipl_layout.h"
#include "tests/plugin/fake_host.h"
#include "tests/plugin/pipl_check.h"
#include "tests/support/need_display.h"

namespace {

// <tree>/tests/plugin/plugin_tests.exe -> <tree>/plugin/<dll>
std::string DllPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, length);
  std::string folder = exe.substr(0, exe.find_last_of("\\/"));
  return folder + "\\..\\..\\plugin\\" KV_DLL_NAME;
}

// The plug-in's boxes (About, the refusals) are modal. While the test calls the entry, a thread
// timer, which their modal loops dispatch, ends every dialog of this thread with Cancel.
int gBoxesEnded = 0;

// The main dialog is answered with OK, as a person accepting the planet would (a Cancel would
// end the run with -128); every other box with Cancel.
BOOL CALLBACK EndBox(HWND window, LPARAM) {
  char className[16];
  if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) > 0 &&
      std::strcmp(className, "#32770") == 0) {
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, "Kivaglobe") == 0) {
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return TRUE;
    }
    gBoxesEnded++;
    EndDialog(window, IDCANCEL);
  }
  return TRUE;
}

void CALLBACK EndBoxes(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), EndBox, 0); }

// Every test of this program that runs Start after Parameters gets the main dialog: a thread
// timer for the whole program accepts it with the standard IDOK command, as a host or a
// person pressing Enter would, unless a test plays steps of its own into it.
std::vector<std::function<void(HWND)>> gOwnSteps;
size_t gNextOwnStep = 0;

// A dialog still open ten seconds after it appeared is ended from outside, so that a dialog
// that does not close fails its test (Start then answers -128) instead of hanging the program.
HWND gWatchedDialog = nullptr;
int gWatchedTicks = 0;

BOOL CALLBACK AcceptMainDialog(HWND window, LPARAM) {
  char className[16] = "", title[64] = "";
  if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) > 0 &&
      std::strcmp(className, "#32770") == 0 && GetWindowTextA(window, title, sizeof title) > 0 &&
      std::strcmp(title, "Kivaglobe") == 0) {
    gWatchedTicks = window == gWatchedDialog ? gWatchedTicks + 1 : 0;
    gWatchedDialog = window;
    if (gWatchedTicks >= 200) {
      ADD_FAILURE() << "the main dialog did not close when asked";
      EndDialog(window, IDCANCEL);
    } else if (gNextOwnStep < gOwnSteps.size())
      gOwnSteps[gNextOwnStep++](window);
    else if (gOwnSteps.empty())
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  return TRUE;
}

void CALLBACK AcceptMainDialogs(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), AcceptMainDialog, 0);
}

class AcceptMainDialogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SetTimer(nullptr, 0, 50, AcceptMainDialogs); }
};

::testing::Environment *const gAcceptMainDialog = ::testing::AddGlobalTestEnvironment(new AcceptMainDialogEnvironment);

class DllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(module, nullptr) << DllPath() << " error " << GetLastError();
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  HMODULE module = nullptr;
};

TEST_F(DllTest, ExportsTheEntryThatItsPropertyListNames) {
  EXPECT_NE(GetProcAddress(module, KV_DLL_ENTRY), nullptr);
  if (sizeof(void *) == 8) {
    EXPECT_EQ(GetProcAddress(module, "ENTRYPOINT"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "ZuvederuProc"), nullptr);
  } else {
    EXPECT_EQ(GetProcAddress(module, "PluginMain"), nullptr);
    EXPECT_NE(GetProcAddress(module, "ZuvederuProc"), nullptr);
  }
  EXPECT_EQ(GetProcAddress(module, "DispatchSelector"), nullptr);
}

TEST_F(DllTest, CarriesItsPropertyList) {
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kPiplResourceId), kPiplResourceType);
  ASSERT_NE(resource, nullptr);
  HGLOBAL loaded = LoadResource(module, resource);
  ASSERT_NE(loaded, nullptr);
  const auto *list = static_cast<const uint8_t *>(LockResource(loaded));
  CheckPropertyList(list, SizeofResource(module, resource), int(sizeof(void *) * 8));
}

TEST_F(DllTest, RunsTheHostsSequenceThroughItsEntry) {
  FakeHost host;
  FakeHostInit(&host, 1, 1);
  host.entry = reinterpret_cast<PluginEntryProc>(reinterpret_cast<void *>(GetProcAddress(module, KV_DLL_ENTRY)));
  ASSERT_NE(host.entry, nullptr);

  gBoxesEnded = 0;
  UINT_PTR boxTimer = SetTimer(nullptr, 0, 50, EndBoxes);
  EXPECT_EQ(FakeHostCall(&host, kSelectorAbout), kResultOk);
  EXPECT_EQ(host.dataSlot, 0);
  EXPECT_EQ(HostHandle(host.record.parameters), nullptr);

  EXPECT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  EXPECT_EQ(FakeHostParameters(&host)->showDialog, 1u);
  // Start shows the main dialog (with a display), which the program's timer accepts.
  EXPECT_EQ(FakeHostRun(&host), (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));
  EXPECT_EQ(host.record.bufferSpace, 473504);
  EXPECT_EQ(FakeHostParameters(&host)->randomSeed, 21u);
  EXPECT_EQ(FakeHostCall(&host, 6), kResultBadSelector);

  host.record.imageMode = kModeMultichannel;
  EXPECT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  EXPECT_EQ(FakeHostCall(&host, kSelectorStart), kResultAlreadyShown);
  EXPECT_TRUE(IsEmptyRequest(host.record.inRect));
  KillTimer(nullptr, boxTimer);
  // The About box and the multichannel refusal, when there is a display to show them on.
  EXPECT_EQ(gBoxesEnded, DisplayAvailable() ? 2 : 0);

  host.record.imageMode = kModeRGB;
  host.refuseBuffersFrom = 1;
  EXPECT_EQ(FakeHostRun(&host), (std::vector<int16_t>{kResultOk, kResultOk, kResultOk, kResultOk}));

  EXPECT_TRUE(host.liveBuffers.empty());
  EXPECT_EQ(host.liveHandles.size(), 2u);
  FakeHostRelease(&host);
}

// One run of Parameters, Prepare and Start on a fresh 64 x 48 host, the steps played into the
// main dialog; Start's result and the bytes of the parameters' handle afterwards.
struct CancelledRun {
  int16_t started = 0;
  size_t stepsRun = 0;
  bool requestEmpty = false;
  float centreSeen = -1;
  std::vector<char> block;
};

CancelledRun RunWithSteps(HMODULE module, std::vector<std::function<void(HWND)>> steps) {
  CancelledRun run;
  FakeHost host;
  FakeHostInit(&host, 64, 48);
  host.entry = reinterpret_cast<PluginEntryProc>(reinterpret_cast<void *>(GetProcAddress(module, KV_DLL_ENTRY)));
  EXPECT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  EXPECT_EQ(FakeHostCall(&host, kSelectorPrepare), kResultOk);
  steps.insert(steps.end() - 1, [&](HWND) { run.centreSeen = FakeHostParameters(&host)->centerX; });
  gOwnSteps = steps;
  gNextOwnStep = 0;
  run.started = FakeHostCall(&host, kSelectorStart);
  run.stepsRun = gNextOwnStep;
  gOwnSteps.clear();
  run.requestEmpty = IsEmptyRequest(host.record.inRect) && IsEmptyRequest(host.record.outRect);
  const int32_t size = host.handleProcs.getSizeProc(host.record.parameters);
  run.block.assign(*host.record.parameters, *host.record.parameters + size);
  FakeHostRelease(&host);
  return run;
}

void Post(HWND d, UINT message, WPARAM w, LPARAM l) { PostMessageA(d, message, w, l); }

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

// `rounds` times the mouse over the preview, a slider, the memory dots and the thumbnail (each
// hover can show a dot's picture), and every 25th time the whole dialog painted again.
void PaintAndHover(HWND d, int rounds) {
  for (int i = 0; i < rounds; i++) {
    if (i % 25 == 0) {
      InvalidateRect(d, nullptr, TRUE);
      UpdateWindow(d);
    }
    const int k = i % 50;
    SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(470 + 9 * k, 100 + 2 * k));
    SendMessageA(d, WM_MOUSEMOVE, 0, MAKELPARAM(425 + k, 390 + 5 * k));
  }
}

// Cancel after painting and hovering, typing, the delayed preview, a click that moves the
// planet's centre, a map mode and the dice leaves the parameters' handle, byte for byte, as a
// Cancel at once does.
// Left out: the address of the globals, different in every run, and the dialog's scratch
// words at the end (the last press and its point), which are no setting.
TEST_F(DllTest, CancelThroughTheDialogLeavesTheParametersAsTheyWere) {
  if (!NeedDisplay()) return;
  const CancelledRun plain = RunWithSteps(module, {[](HWND d) { Post(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }});
  int gdiOpen = 0, gdiAfter = 0;
  const CancelledRun busy = RunWithSteps(
      module, {
                  // A first round loads what the dialog keeps for the module (cursors), then
                  // a thousand messages of painting and hovering leave no GDI object behind.
                  [&](HWND d) {
                    PaintAndHover(d, 10);
                    gdiOpen = CountGdiObjects();
                  },
                  [&](HWND d) {
                    PaintAndHover(d, 500);
                    gdiAfter = CountGdiObjects();
                  },
                  [](HWND d) { SetDlgItemTextA(d, kIdSeaLevelEdit, "5"); },
                  [](HWND d) { Post(d, WM_TIMER, kPreviewTimerId, 0); },
                  // Left of the preview's centre: the whole image is shown, so the planet's
                  // centre moves (to the image's left edge, the point being in the margin).
                  [](HWND d) {
                    Post(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 150));
                    Post(d, WM_LBUTTONUP, 0, MAKELPARAM(600, 150));
                  },
                  [](HWND d) {
                    SendDlgItemMessageA(d, kIdMapMode, CB_SETCURSEL, 9, 0);
                    Post(d, WM_COMMAND, MAKEWPARAM(kIdMapMode, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, kIdMapMode)));
                  },
                  [](HWND d) { Post(d, WM_COMMAND, MAKEWPARAM(kIdDice, BN_CLICKED), 0); },
                  [](HWND d) { Post(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); },
              });
  EXPECT_EQ(plain.stepsRun, 2u);
  EXPECT_EQ(busy.stepsRun, 9u);
  EXPECT_GT(gdiOpen, 0);
  EXPECT_LE(gdiAfter, gdiOpen);
  EXPECT_EQ(plain.started, kResultUserCanceled);
  EXPECT_EQ(busy.started, kResultUserCanceled);
  EXPECT_TRUE(busy.requestEmpty);
  const ParameterBlock *entry = reinterpret_cast<const ParameterBlock *>(plain.block.data());
  EXPECT_NE(busy.centreSeen, entry->centerX) << "the click did not move the centre";
  ASSERT_EQ(busy.block.size(), plain.block.size());
  ASSERT_GE(plain.block.size(), sizeof(ParameterBlock));
  const size_t pointer = offsetof(ParameterBlock, globals), scratch = offsetof(ParameterBlock, dragControlId);
  for (size_t i = 0; i < scratch; i++) {
    if (i >= pointer && i < pointer + sizeof(void *)) continue;
    EXPECT_EQ(busy.block[i], plain.block[i]) << "byte " << i;
  }
}

// ---- The boxes the dialog opens ----------------------------------------------------------------

// Ends the thread's shown boxes (dialogs not titled "Kivaglobe") with Cancel, unless `evenUnderMain`
// is false and the main dialog is shown; answers how many it ended.
std::vector<HWND> gShownBoxes;
bool gMainShown = false;
BOOL CALLBACK NoteShown(HWND window, LPARAM) {
  char className[16] = "", title[64] = "";
  if (!IsWindowVisible(window) || GetClassNameA(window, className, sizeof className) == 0 ||
      std::strcmp(className, "#32770") != 0)
    return TRUE;
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(title, "Kivaglobe") == 0) {
    gMainShown = true;
  } else {
    gShownBoxes.push_back(window);
  }
  return TRUE;
}
int EndShownBoxes(bool evenUnderMain) {
  gShownBoxes.clear();
  gMainShown = false;
  EnumThreadWindows(GetCurrentThreadId(), NoteShown, 0);
  if (gMainShown && !evenUnderMain) return 0;
  for (HWND box : gShownBoxes) EndDialog(box, IDCANCEL);
  return int(gShownBoxes.size());
}
// A box still shown once the main dialog has gone outlived it: counted and ended, so that it fails
// its test instead of holding Start's call for ever.
int gBoxesLeft = 0;
void CALLBACK EndLoneBoxes(HWND, UINT, UINT_PTR, DWORD) { gBoxesLeft += EndShownBoxes(false); }

// OK and Cancel posted to the main dialog while the About box, the info box or the cloud chooser
// is up (a person cannot click them: the dialog is disabled under its box), one right after the
// other, and the preview timer's tick after them. Oracles: the box goes with the dialog, and the
// first button decides: the block holds the typed sea level after OK, the entry's (a plain Cancel
// run's block) after Cancel.
TEST_F(DllTest, OkAndCancelUnderAToolBoxCloseTheBoxAndSettleTheBlock) {
  if (!NeedDisplay()) return;
  const CancelledRun plain = RunWithSteps(module, {[](HWND d) { Post(d, WM_COMMAND, IDCANCEL, 0); }});
  const uint32_t entry = reinterpret_cast<const ParameterBlock *>(plain.block.data())->seaLevel;
  ASSERT_NE(entry, 7u);
  const UINT_PTR lone = SetTimer(nullptr, 0, 50, EndLoneBoxes);
  gBoxesLeft = 0;
  for (int end : {IDCANCEL, kIdOk})   // Cancel first: an OK leaves 7 as the next run's start
    for (int box : {kIdAbout, kIdInfo, kIdClouds}) {
      SCOPED_TRACE(testing::Message() << "box " << box << ", end " << end);
      BOOL enabledUnderBox = TRUE;
      const CancelledRun run = RunWithSteps(module, {[](HWND d) { SetDlgItemTextA(d, kIdSeaLevelEdit, "7"); },
                                                     [box](HWND d) { Post(d, WM_COMMAND, box, 0); },
                                                     [&, end](HWND d) {
                                                       enabledUnderBox = IsWindowEnabled(d);
                                                       Post(d, WM_COMMAND, end, 0);
                                                       Post(d, WM_COMMAND, end == kIdOk ? IDCANCEL : kIdOk, 0);
                                                       Post(d, WM_TIMER, kPreviewTimerId, 0);
                                                     }});
      EXPECT_FALSE(enabledUnderBox);
      EXPECT_EQ(run.started, end == kIdOk ? kResultOk : kResultUserCanceled);
      EXPECT_EQ(reinterpret_cast<const ParameterBlock *>(run.block.data())->seaLevel, end == kIdOk ? 7u : entry);
    }
  KillTimer(nullptr, lone);
  EXPECT_EQ(gBoxesLeft, 0);
}

// The window system refuses the main dialog: the user is told, in the one "Kivaglobe" window then
// shown, and Start ends as a Cancel does (-128, the host's code for it) instead of rendering.
int gMainDialogsMade = 0;
LRESULT CALLBACK RefuseFirstMainDialog(int code, WPARAM wParam, LPARAM lParam) {
  const CREATESTRUCTA *made = code == HCBT_CREATEWND ? reinterpret_cast<CBT_CREATEWNDA *>(lParam)->lpcs : nullptr;
  if (made != nullptr && !IS_INTRESOURCE(made->lpszName) && std::strcmp(made->lpszName, "Kivaglobe") == 0)
    return gMainDialogsMade++ == 0;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(DllTest, AMainDialogThatCannotBeMadeIsToldAndEndsAsACancel) {
  if (!NeedDisplay()) return;
  HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseFirstMainDialog, nullptr, GetCurrentThreadId());
  char told[256] = "";
  const CancelledRun run = RunWithSteps(module, {[&](HWND box) {
    GetDlgItemTextA(box, 0xFFFF, told, sizeof told);
    Post(box, WM_COMMAND, IDOK, 0);
  }});
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(gMainDialogsMade, 1);
  EXPECT_EQ(run.started, kResultUserCanceled);
  EXPECT_TRUE(run.requestEmpty);
  EXPECT_NE(std::strstr(told, "could not be opened"), nullptr) << told;
}

// Twelve rounds through every box the dialog opens, each cancelled: the About, info and chooser
// boxes, the colour picker and both file dialogs (the layers' and the galleries' are these two).
// Oracle: the process's GDI objects after the twelfth round are no more than after the second,
// but for two: Wine's own dialogs now and then keep an object of theirs from a later round on (a
// cache, once), while a leak of even one object a round shows as ten.
TEST_F(DllTest, TwelveRoundsThroughTheBoxesKeepTheGdiObjectsFlat) {
  if (!NeedDisplay()) return;
  int after[13] = {};
  std::vector<std::function<void(HWND)>> steps;
  for (int round = 1; round <= 12; round++) {
    for (int id : {kIdAbout, kIdInfo, kIdClouds, kIdLandColor, kIdSaveSettings, kIdLoadSettings}) {
      steps.push_back([id](HWND d) { Post(d, WM_COMMAND, id, 0); });
      steps.push_back([](HWND) {
        gWatchedTicks = 0;
        if (EndShownBoxes(true) == 0) gNextOwnStep--;   // not shown yet: this step again next tick
      });
    }
    steps.push_back([&after, round](HWND) { after[round] = CountGdiObjects(); });
  }
  steps.push_back([](HWND d) { Post(d, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(RunWithSteps(module, steps).started, kResultUserCanceled);
  EXPECT_GT(after[2], 0);
  EXPECT_LE(after[12], after[2] + 2);
}

// With no main dialog the info box ends itself, with 1, at its first check a second after it
// opens. Oracle: its end code (a watchdog ends a box still up after 5 seconds with 2).
TEST_F(DllTest, TheInfoBoxEndsItselfOnceTheMainDialogIsGone) {
  if (!NeedDisplay()) return;
  void *own = gModuleInstance;
  gModuleInstance = module;   // the template and the picture of the plug-in
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 5000, EndBoxes);
  EXPECT_EQ(ShowInfoBox(), 1);
  KillTimer(nullptr, watchdog);
  gModuleInstance = own;
  EXPECT_FALSE(infoBoxOpen);
}

}  // namespace
