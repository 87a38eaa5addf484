// main_dialog_win32.cpp -- the main dialog: opening and closing, the window procedure, the
// mouse protocol, the delayed preview and the command path (see main_dialog.h).
//
// One dialog runs at a time, inside the host's call of Start; everything here runs on the
// host's thread in the dialog's modal loop. The dialog's values live in the per-id tables
// (control_values.h) and reach the parameter block through the transfer (transfer.h).
//
// The preview timer (8064, one second) is started only by typing into a slider's edit; every
// text the program writes kills it again, and so do all commits, OK and Cancel. Drags of a
// slider, a ball or the preview re-render when the mouse is released; buttons, check boxes and
// the combo at once.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

#include "dialog/control_geometry.h"
#include "dialog/control_paint.h"
#include "dialog/control_table.h"
#include "dialog/control_values.h"
#include "dialog/dialog_hooks.h"
#include "dialog/main_dialog.h"
#include "dialog/popup_items.h"
#include "dialog/preview_area.h"
#include "dialog/preview_zoom.h"
#include "dialog/transfer.h"
#include "plugin/globals.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"
#include "plugin/output_passes.h"
#include "plugin/preview.h"
#include "plugin/rect16.h"
#include "render/composite.h"

namespace {

HWND gMainDialogWindow = nullptr;
CancelSnapshot gCancelSnapshot;
bool gSnapshotTaken = false;   // this run's dialog got as far as taking the Cancel snapshot

HINSTANCE Module() { return static_cast<HINSTANCE>(gModuleInstance); }

// Mouse coordinates are signed: a captured drag past the dialog's left or top edge gives
// negative numbers, not 65000-odd.
int32_t PointX(LPARAM lParam) { return int32_t(int16_t(LOWORD(lParam))); }
int32_t PointY(LPARAM lParam) { return int32_t(int16_t(HIWORD(lParam))); }

void KillPreviewTimer(HWND dialog) { KillTimer(dialog, kPreviewTimerId); }

// ---- Layout ----------------------------------------------------------------------------------

void ApplyDialogLayout(HWND dialog) {
  gMainDialogWindow = dialog;
  RECT outer, client;
  GetWindowRect(dialog, &outer);
  GetClientRect(dialog, &client);
  const LayoutRect area = GetDialogLayoutRect(0);
  const int width = (area.right - area.left) + (outer.right - outer.left) - (client.right - client.left);
  const int height = (area.bottom - area.top) + (outer.bottom - outer.top) - (client.bottom - client.top);
  SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (int id = 1; id <= kControlIdCount; id++) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) continue;
    const LayoutRect r = GetPlacementRect(id);
    // Ids without a row (beyond the table) keep their template place rather than shrink to
    // nothing at the origin.
    if (r.right <= r.left || r.bottom <= r.top) continue;
    RECT w, c;
    GetWindowRect(item, &w);
    GetClientRect(item, &c);
    POINT origin = {0, 0};
    ClientToScreen(item, &origin);
    const int leftBorder = origin.x - w.left, topBorder = origin.y - w.top;
    const int extraWidth = (w.right - w.left) - (c.right - c.left);
    const int extraHeight = (w.bottom - w.top) - (c.bottom - c.top);
    SetWindowPos(item, nullptr, r.left - leftBorder, r.top - topBorder, (r.right - r.left) + extraWidth,
                 (r.bottom - r.top) + extraHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    // The slider edits are 24 pixels wide: with the default margins "100" loses its last digit.
    if (GetControlKind(id) == kKindNumberEdit)
      SendMessageA(item, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(1, 1));
  }
}

// Icons onto the icon buttons (at their own size), whose captions go.
void LoadControlTables(HWND dialog) {
  LoadControlTableEntries();
  for (int id = 0; id < kControlIdCount; id++) {
    if (GetControlKind(id) != kKindIconButton) continue;
    HWND button = GetDlgItem(dialog, id);
    if (button == nullptr) continue;
    HANDLE icon = LoadImageA(Module(), MAKEINTRESOURCEA(gControlTables.buttonIconId[id]), IMAGE_ICON, 0, 0, 0);
    if (icon != nullptr) {
      HANDLE old = reinterpret_cast<HANDLE>(SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
      (void)old;   // the template's buttons carry no image of their own
      KeepDialogIcon(icon);
    }
    SetWindowTextA(button, "");
  }
}

void FillMapModeCombo(HWND dialog) {
  FillMapModeItems();
  HWND combo = GetDlgItem(dialog, kIdMapMode);
  if (combo == nullptr) return;
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (int32_t mode = 1; mode <= 14; mode++)
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(OutputModeName(uint32_t(mode))));
}

void ApplyControlEnabled(int id, HWND dialog, PluginGlobals *globals) {
  const int32_t kind = GetControlKind(id);
  const bool windowed = kind == kKindPushButton || kind == kKindReserved6 || kind == kKindCheckBox ||
                        id == kIdZoomIn || id == kIdZoomOut || id == kIdZoomLabel || kind == kKindComboBox;
  if (windowed) {
    HWND item = GetDlgItem(dialog, id);
    if (item != nullptr) EnableWindow(item, IsControlEnabled(globals, id) ? TRUE : FALSE);
  } else {
    RepaintControl(dialog, id);
  }
}

void SyncMapModeCombo(HWND dialog, PluginGlobals *globals) {
  const FilterRecord *r = globals->filterRecord;
  if (!MapModeComboDisabled(r->imageMode, r->depth)) return;
  SetControlEnabledFlag(globals, kIdMapMode, false);
  ApplyControlEnabled(kIdMapMode, dialog, globals);
}

void UpdateZoomControls(HWND dialog, PluginGlobals *globals) {
  UpdateZoomFlags(globals);
  ApplyControlEnabled(kIdZoomOut, dialog, globals);
  ApplyControlEnabled(kIdZoomIn, dialog, globals);
  ApplyControlEnabled(kIdZoomLabel, dialog, globals);
  const ParameterBlock *p = GetParameterBlock(globals);
  char label[16];
  FormatZoomLabel(p != nullptr ? p->zoomDivisor : 1, label, sizeof label);
  SetDlgItemTextA(dialog, kIdZoomLabel, label);
  RepaintControl(dialog, kIdZoomLabel);
  RepaintControl(dialog, kIdZoomOut);
  RepaintControl(dialog, kIdZoomIn);
}

// ---- Preview ---------------------------------------------------------------------------------

// The painter the row loop uses while a preview renders: the same frame and placement as
// after the render.
void PaintPreviewDuringRender(PluginGlobals *globals) {
  if (gMainDialogWindow != nullptr) DrawPreviewFrame(globals, gMainDialogWindow, false, nullptr);
}

void RefreshPreview(HWND dialog, PluginGlobals *globals) {
  DialogToParameters(dialog, globals);
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr || !p->livePreview) return;
  SetWaitCursor();
  RenderPreviewOrNotice(globals);
  RestoreArrowCursor();
  DrawPreviewFrame(globals, dialog, false, nullptr);
}

void SetUpPreview(HWND dialog, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  FilterRecord *record = globals->filterRecord;
  Rect16 control;
  GetPreviewItemRect(dialog, &control);
  globals->previewFrame = control;
  InsetRect16(&globals->previewFrame, 2, 2);
  InsetAndLimitRect(nullptr, &record->filterRect, &control, &globals->previewArea);
  globals->previewWindow = dialog;
  Rect16 sampled = globals->previewArea;
  int32_t factor = 1;
  ComputeSampleFactor(&record->filterRect, &sampled, &factor, globals);
  globals->fitZoomDivisor = factor;
  p->zoomDivisor = uint32_t(factor);
  ZoomPreviewAt(globals, factor, 1);
  p->panX = 0;
  p->panY = 0;
  RequestPreviewArea(globals, factor);
  SetWaitCursor();
  if (GetResult(globals) != kResultOk) {
    // The host could not deliver the first preview: the dialog goes on without one.
    p->livePreview = 0;
    SetResult(globals, kResultOk);
  } else {
    RenderPreviewOrNotice(globals);
  }
  RestoreArrowCursor();
  globals->fitZoomDivisor = int32_t(p->zoomDivisor);
}

void MainDialogInit(HWND dialog, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  globals->dialogWindow = dialog;
  SetMessageArgs(nullptr, nullptr, nullptr, nullptr);
  ApplyDialogLayout(dialog);
  CenterDialog(dialog);
  ResetControlEnables(globals);
  p->renderTarget = 1;
  p->dragControlId = uint32_t(-1);
  SaveCancelSnapshot(&gCancelSnapshot, globals);
  gSnapshotTaken = true;
  LoadControlTables(dialog);
  ResetPopupItems();
  FillMapModeCombo(dialog);
  ApplySliderRanges();
  ParametersToDialog(globals, dialog);
  DialogToParameters(dialog, globals);
  if (gDialogHooks.initMemoryDots != nullptr) gDialogHooks.initMemoryDots(globals, dialog);
  SyncMapModeCombo(dialog, globals);
  if (p->livePreview) SetUpPreview(dialog, globals);
  UpdateZoomControls(dialog, globals);
  globals->dialogOutcome = 0;
  if (gDialogHooks.addMemoryDot != nullptr) gDialogHooks.addMemoryDot(globals, dialog);
  // Nothing typed yet: the program's own edit texts leave no preview waiting.
  KillPreviewTimer(dialog);
}

void PaintDialog(HWND dialog, HDC dc, PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p != nullptr && p->livePreview) DrawPreviewFrame(globals, dialog, true, dc);
  PaintAllControls(dc, dialog, globals);
}

// ---- Closing ---------------------------------------------------------------------------------

bool CloseParameterDialog(PluginGlobals *globals, int id, CancelSnapshot *snapshot, HWND dialog) {
  if (id != kIdOk && id != kIdCancel) return false;
  // A long job's progress box or a file dialog is open over the dialog: it must not end under
  // the running command.
  if (gProgressBoxOpen || gFileDialogOpen) return false;
  KillPreviewTimer(dialog);
  if (id == kIdOk) {
    DialogToParameters(dialog, globals);
    gMainDialogWindow = nullptr;
    CloseToolWindows();
    SetResult(globals, kResultOk);
    EndDialog(dialog, kIdOk);
    globals->dialogOutcome = 1;
  } else {
    RestoreCancelSnapshot(snapshot, globals);
    SetResult(globals, kResultUserCanceled);
    gMainDialogWindow = nullptr;
    CloseToolWindows();
    EndDialog(dialog, kIdCancel);
    globals->dialogOutcome = 2;
  }
  return true;
}

// ---- Mouse -----------------------------------------------------------------------------------

// OK or Cancel has ended the dialog: its values are in the block, or the block is as it was.
bool DialogEnded(const PluginGlobals *globals) { return globals->dialogOutcome != 0; }

bool CloudImageLoaded(const PluginGlobals *globals) {
  return globals->runState != nullptr && globals->runState->cloudHeader.loaded != 0;
}

int MainDialogMouseDown(HWND dialog, WPARAM, LPARAM lParam, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  const int32_t x = PointX(lParam), y = PointY(lParam);
  const int id = HitTestControls(dialog, x, y, globals, GetControlClientRect);
  if (id == kIdPreview) {
    p->dragPoint[0] = int16_t(y);
    p->dragPoint[1] = int16_t(x);
    // At the divisor the host's sampling chose (the whole image shown) a click moves the
    // planet's centre; zoomed in, a press starts a pan. (The divisor is compared with the
    // sample factor, not with fitZoomDivisor: the two differ only for a host that cannot
    // sample, whose preview is then panned.)
    if (int32_t(p->zoomDivisor) == globals->sampleFactor) {
      SetCentreFromPoint(globals, x, y);
      KillPreviewTimer(dialog);
      RefreshPreview(dialog, globals);
    } else {
      p->dragControlId = kIdPreview;
      SetCapture(dialog);
      SetPanCursor();
    }
  }
  p->dragMoved = 0;
  return id;
}

void DragSlider(HWND dialog, PluginGlobals *globals, LPARAM lParam, int id) {
  ParameterBlock *p = GetParameterBlock(globals);
  const int32_t x = PointX(lParam), y = PointY(lParam);
  if (p->dragPoint[1] == x && p->dragPoint[0] == y) return;
  LayoutRect r;
  if (!GetControlClientRect(dialog, id, &r)) return;
  const int32_t value = SliderValueAt(r, x, y, gControlTables.minValue[id], gControlTables.maxValue[id]);
  gControlTables.value[id] = value;
  RepaintControl(dialog, id);
  ControlInfo info;
  DescribeControl(id, &info);
  SetEditNumber(dialog, info.partnerEditId, float(value));
  p->dragPoint[0] = int16_t(y);
  p->dragPoint[1] = int16_t(x);
}

bool gLastCtrl = false;

void DragDirectionControl(HWND dialog, PluginGlobals *globals, WPARAM wParam, LPARAM lParam, int id) {
  ParameterBlock *p = GetParameterBlock(globals);
  const int32_t x = PointX(lParam), y = PointY(lParam);
  // Ctrl as the move reports it (a test can post it with the message).
  const bool ctrl = (wParam & MK_CONTROL) != 0 || (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  if (p->dragPoint[1] == x && p->dragPoint[0] == y && ctrl == gLastCtrl) return;
  gLastCtrl = ctrl;
  LayoutRect r;
  if (!GetControlClientRect(dialog, id, &r)) return;
  float v[3];
  DirectionBallVectorAt(r, x, y, ctrl, v);
  SetControlVector(dialog, id, v);
  p->dragPoint[0] = int16_t(y);
  p->dragPoint[1] = int16_t(x);
}

void PressFeedback(HWND dialog, LPARAM lParam, int id) {
  LayoutRect r;
  if (!GetControlClientRect(dialog, id, &r)) return;
  const int32_t x = PointX(lParam), y = PointY(lParam);
  const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
  const int32_t old = gControlTables.value[id];
  const int32_t now = inside ? (old | kPressedBit) : (old & ~kPressedBit);
  if (now == old) return;
  gControlTables.value[id] = now;
  RepaintControl(dialog, id);
}

void DragPanPreview(HWND dialog, PluginGlobals *globals, LPARAM lParam) {
  if (!PanStep(globals, PointX(lParam), PointY(lParam))) return;
  ParameterBlock *p = GetParameterBlock(globals);
  // The area is asked for once (the request calls advanceState itself).
  RequestPreviewArea(globals, int32_t(p->zoomDivisor));
  SetPanCursor();
  // The unrendered picture at the new offset; the planet follows on release.
  if (GetResult(globals) == kResultOk && globals->filterRecord->inData != nullptr &&
      globals->filterRecord->outData != nullptr)
    CompositeStoredImage(globals);
  if (p->livePreview) DrawPreviewFrame(globals, dialog, false, nullptr);
}

void MainDialogMouseMove(HWND dialog, WPARAM wParam, LPARAM lParam, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  const int id = int(int32_t(p->dragControlId));
  // A drag follows only moves made with a button down. The window system also reports the
  // pointer's own position (a window above the dialog closing, the pointer entering it), and
  // such a move must not pan the preview or move a slider.
  if (id != -1 && (wParam & (MK_LBUTTON | MK_RBUTTON)) == 0) return;
  if (id == kIdPreview) {
    SetPanCursor();
    DragPanPreview(dialog, globals, lParam);
    return;
  }
  if (id == -1) {
    LayoutRect r;
    const int32_t x = PointX(lParam), y = PointY(lParam);
    if (GetControlClientRect(dialog, kIdPreview, &r) && x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
      SetPreviewCursor();
    } else {
      RestoreArrowCursor();
    }
    if (gDialogHooks.hoverMemoryDot != nullptr) gDialogHooks.hoverMemoryDot(globals, dialog, x, y);
    return;
  }
  const int32_t kind = GetControlKind(id);
  if (kind == kKindDirectionBall) {
    DragDirectionControl(dialog, globals, wParam, lParam, id);
  } else if (kind == kKindSlider) {
    DragSlider(dialog, globals, lParam, id);
  } else if (kind == kKindCheckBox || kind == kKindRadioMember || kind == kKindToggle || kind == kKindMemoryDot) {
    PressFeedback(dialog, lParam, id);
  }
}

void MainDialogMouseUp(HWND dialog, WPARAM, LPARAM lParam, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  ReleaseCapture();
  int id = int(int32_t(p->dragControlId));
  bool refresh = true;
  if (id == kIdPreview && p->dragMoved == 0) {
    // A press on the zoomed preview that never moved centres the planet there.
    SetCentreFromPoint(globals, PointX(lParam), PointY(lParam));
    CommitControlChange(globals, kIdWholeDialog, dialog);
    KillPreviewTimer(dialog);
    RefreshPreview(dialog, globals);
    refresh = false;   // rendered already
  }
  if (id >= 0 && id < kControlIdCount) {
    const int32_t kind = GetControlKind(id);
    if (kind == kKindToggle) {
      if (gControlTables.value[id] & kPressedBit) {
        gControlTables.value[id] &= ~kPressedBit;
        PutControlValue(dialog, id, float(gControlTables.value[id] ? 0 : 1));
        RepaintControl(dialog, id);
      } else {
        refresh = false;
      }
    } else if (kind == kKindMemoryDot && (gControlTables.value[id] & kPressedBit)) {
      gControlTables.value[id] &= ~kPressedBit;
      RepaintControl(dialog, id);
    }
    if (kind == kKindAboutPicture || kind == kKindDotThumbnail || kind == kKindMemoryDot) {
      // The command follows the pressed control, wherever the button was released.
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
      p->dragControlId = uint32_t(-1);
      ReleaseCapture();
      id = -1;
    }
  }
  if (id != -1) {
    CommitControlChange(globals, id, dialog);
    if (refresh) {
      KillPreviewTimer(dialog);
      RefreshPreview(dialog, globals);
    }
  }
  p->dragControlId = uint32_t(-1);
}

void MousePress(HWND dialog, WPARAM wParam, LPARAM lParam, PluginGlobals *globals) {
  ParameterBlock *p = GetParameterBlock(globals);
  const int id = MainDialogMouseDown(dialog, wParam, lParam, globals);
  if (id < 0 || !IsDraggableKind(id)) return;
  SetCapture(dialog);
  p->dragControlId = uint32_t(id);
  p->dragMoved = 0;
  PostMessageA(dialog, WM_MOUSEMOVE, wParam, lParam);
  // The posted move never equals the last point, so the first drag step runs at once.
  p->dragPoint[1] = -999;
}

// ---- Commands --------------------------------------------------------------------------------

void NumericEditChanged(HWND dialog, int editId) {
  ControlInfo info;
  DescribeControl(editId, &info);
  if (info.kind != kKindSlider || info.partnerEditId != editId) return;
  const double typed = GetEditNumber(dialog, editId);
  const double number = ClampSliderNumber(typed, info.minValue, info.maxValue);
  SetControlValue(dialog, info.mainId, int32_t(number));
  SetTimer(dialog, kPreviewTimerId, kPreviewTimerMs, nullptr);
}

// The colour picker of Windows, loaded when first needed (inside the module's activation
// context in the 64-bit build).
bool PickColorWindows(PluginGlobals *, const char *prompt, uint16_t rgb[3]) {
  typedef BOOL(WINAPI * ChooseColorProc)(LPCHOOSECOLORA);
  static COLORREF custom[16];
  HMODULE library = LoadLibraryA("comdlg32.dll");
  if (library == nullptr) return false;
  auto choose = reinterpret_cast<ChooseColorProc>(reinterpret_cast<void *>(GetProcAddress(library, "ChooseColorA")));
  bool accepted = false;
  if (choose != nullptr) {
    CHOOSECOLORA record = {};
    record.lStructSize = sizeof record;
    record.hwndOwner = gMainDialogWindow;
    record.rgbResult = Rgb16ToColorRef(rgb);
    record.lpCustColors = custom;
    record.Flags = CC_RGBINIT | CC_FULLOPEN;
    (void)prompt;   // the Windows picker has no place for a prompt
    gFileDialogOpen = true;
    accepted = choose(&record) != FALSE;
    gFileDialogOpen = false;
    if (accepted) ColorRefToRgb16(record.rgbResult, rgb);
  }
  FreeLibrary(library);
  return accepted;
}

void ColorSwatchClicked(PluginGlobals *globals, HWND dialog, int id, bool *changed) {
  if (GetControlKind(id) != kKindColorSwatch) return;
  uint16_t rgb[3];
  GetControlColor(id, rgb);
  const char *prompt = GetUiString(gControlTables.extra[id]);
  const bool accepted = gDialogHooks.pickColor != nullptr ? gDialogHooks.pickColor(globals, prompt, rgb)
                                                          : PickColorWindows(globals, prompt, rgb);
  if (!accepted) return;
  SetControlColor(dialog, id, rgb);
  *changed = true;
}

void OfferCommand(DialogCommandProc handler, PluginGlobals *globals, HWND dialog, int id, bool *changed) {
  if (handler != nullptr) handler(globals, dialog, id, changed);
}

void MainDialogCommand(HWND dialog, WPARAM wParam, LPARAM, PluginGlobals *globals) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  ParameterBlock *p = GetParameterBlock(globals);
  bool changed = false;
  if (IsCheckBoxControl(id)) {
    KillPreviewTimer(dialog);
    RefreshPreview(dialog, globals);
  }
  if (IsComboControl(id) && code == CBN_SELCHANGE) {
    gControlTables.value[id] = int32_t(ReadControlValue(dialog, id));
    CommitControlChange(globals, id, dialog);
    KillPreviewTimer(dialog);
    RefreshPreview(dialog, globals);
  }
  if (id >= kFirstPopupCommand) {
    const int32_t target = ApplyPopupItem(id);
    DialogToParameters(dialog, globals);
    CommitControlChange(globals, target, dialog);
    KillPreviewTimer(dialog);
    RefreshPreview(dialog, globals);
    return;
  }
  if (code == EN_CHANGE) {
    NumericEditChanged(dialog, id);
    return;
  }
  if (code != 0) return;

  ColorSwatchClicked(globals, dialog, id, &changed);
  HandleZoomCommand(globals, id, &changed);
  UpdateZoomControls(dialog, globals);
  OfferCommand(gDialogHooks.handleFileCommands, globals, dialog, id, &changed);
  if (id == kIdAbout) ShowAboutBox();
  if (id == kIdInfo) ShowInfoBox();
  OfferCommand(gDialogHooks.handleUndo, globals, dialog, id, &changed);
  OfferCommand(gDialogHooks.handleDice, globals, dialog, id, &changed);
  OfferCommand(gDialogHooks.handleRandomSeed, globals, dialog, id, &changed);
  OfferCommand(gDialogHooks.handleDefaults, globals, dialog, id, &changed);
  const bool chosen =
      id == kIdClouds && gDialogHooks.runCloudChooser != nullptr && gDialogHooks.runCloudChooser(globals);
  // A box that the command opened may have outlived the dialog (its OK or Cancel came while the
  // box was up): the parameters are settled then, and the controls must not be copied over them.
  if (DialogEnded(globals)) return;
  if (chosen && CloudImageLoaded(globals)) {
    DialogToParameters(dialog, globals);
    p->realClouds = 1;
    ParametersToDialog(globals, dialog);
    changed = true;
  }
  // The real-clouds box cannot stay on without a cloud image.
  DialogToParameters(dialog, globals);
  if (p->realClouds != 0 && !CloudImageLoaded(globals)) {
    p->realClouds = 0;
    ParametersToDialog(globals, dialog);
    changed = true;
  }
  CommitControlChange(globals, id, dialog);
  KillPreviewTimer(dialog);
  if (changed) RefreshPreview(dialog, globals);
  CloseParameterDialog(globals, id, &gCancelSnapshot, dialog);
}

INT_PTR ParameterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    PluginGlobals *globals = reinterpret_cast<PluginGlobals *>(lParam);
    SetRunningDialogGlobals(globals);
    MainDialogInit(dialog, globals);
    HDC dc = GetDC(dialog);
    PaintDialog(dialog, dc, globals);
    ReleaseDC(dialog, dc);
    return FALSE;
  }
  PluginGlobals *globals = RunningDialogGlobals();
  if (globals == nullptr || GetParameterBlock(globals) == nullptr) return FALSE;
  // Once ended the dialog only waits for its modal loop to return (a box opened from it may
  // still be closing): commands, timers and the mouse no longer reach the parameters.
  const bool input =
      message == WM_COMMAND || message == WM_TIMER || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
  if (input && DialogEnded(globals)) return TRUE;
  switch (message) {
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      PaintDialog(dialog, dc, globals);
      EndPaint(dialog, &paint);
      return FALSE;
    }
    case WM_ERASEBKGND:
      PaintDialogBackground(dialog, reinterpret_cast<HDC>(wParam), true);
      return TRUE;
    case WM_DRAWITEM: {
      const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
      MainDialogDrawItem(dialog, int(item->CtlID), item, globals);
      return TRUE;
    }
    case WM_COMMAND:
      // The dialog manager's own accept command is id 1 (IDOK): Enter when no button is the
      // default, and how hosts and tools end a dialog they did not make. No control has that
      // id, and left unanswered it would leave the dialog open with nothing able to close it
      // but Cancel: it is the OK button's command.
      if (LOWORD(wParam) == IDOK) wParam = MAKEWPARAM(kIdOk, HIWORD(wParam));
      MainDialogCommand(dialog, wParam, lParam, globals);
      return TRUE;
    case WM_TIMER:
      CommitControlChange(globals, kIdWholeDialog, dialog);
      KillPreviewTimer(dialog);
      RefreshPreview(dialog, globals);
      return TRUE;
    case WM_MOUSEMOVE:
      MainDialogMouseMove(dialog, wParam, lParam, globals);
      return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      globals->ctrlKeyFlag = (wParam & MK_CONTROL) != 0 ? 1 : 0;
      globals->rightButtonFlag = 0;
      MousePress(dialog, wParam, lParam, globals);
      return TRUE;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      globals->ctrlKeyFlag = 0;
      globals->rightButtonFlag = 1;
      MousePress(dialog, wParam, lParam, globals);
      return TRUE;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      MainDialogMouseUp(dialog, wParam, lParam, globals);
      return TRUE;
    default:
      return FALSE;
  }
}

// The 64-bit module's dialogs use common controls 6 through the activation context of its
// manifest (resource 2); the 32-bit module runs without one.
struct ActivationScope {
  HANDLE context = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie = 0;
  bool active = false;
};

void EnterActivation(ActivationScope *scope) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  char path[MAX_PATH];
  if (GetModuleFileNameA(Module(), path, MAX_PATH) == 0) return;
  ACTCTXA context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = path;
  context.hModule = Module();
  context.lpResourceName = MAKEINTRESOURCEA(2);
  scope->context = CreateActCtxA(&context);
  if (scope->context == INVALID_HANDLE_VALUE) return;
  scope->active = ActivateActCtx(scope->context, &scope->cookie) != FALSE;
#else
  (void)scope;
#endif
}

void LeaveActivation(ActivationScope *scope) {
  if (scope->active) DeactivateActCtx(0, scope->cookie);
  if (scope->context != INVALID_HANDLE_VALUE) ReleaseActCtx(scope->context);
  scope->active = false;
  scope->context = INVALID_HANDLE_VALUE;
}

}  // namespace

extern "C" INT_PTR CALLBACK ZuvederuProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return ParameterDialogProc(dialog, message, wParam, lParam);
}

void *MainDialogWindow() { return gMainDialogWindow; }

bool RunParameterDialog(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  HWND owner = nullptr;
  if (record->platformData != nullptr) owner = reinterpret_cast<HWND>(record->platformData->hwnd);
  ActivationScope scope;
  EnterActivation(&scope);
  LoadDialogPictures();
  gPreviewPainter = PaintPreviewDuringRender;
  globals->dialogOutcome = 0;
  gSnapshotTaken = false;
  const INT_PTR ended = DialogBoxParamA(Module(), kMainDialogTemplate, owner, ZuvederuProc, reinterpret_cast<LPARAM>(globals));
  gFileDialogOpen = false;
  gMainDialogWindow = nullptr;
  globals->dialogWindow = nullptr;
  globals->previewWindow = nullptr;
  gPreviewPainter = nullptr;
  ReleaseDialogPictures();
  SetRunningDialogGlobals(nullptr);
  LeaveActivation(&scope);
  if (ended == -1 || ended == 0) {
    // The dialog could not be made (no window system, a module without its template, an owner
    // that is no window). Rendering now would apply settings the user never saw: the user is
    // told, and the run ends as a Cancel does.
    if (gSnapshotTaken) RestoreCancelSnapshot(&gCancelSnapshot, globals);
    SetResult(globals, kResultUserCanceled);
    globals->dialogOutcome = 2;
    MessageBoxA(owner, kDialogFailedMessage, "Kivaglobe", MB_OK | MB_ICONERROR);
    return false;
  }
  if (ended == kIdCancel && globals->dialogOutcome != 2) {
    // Ended from outside (the window closed by the system): the same as Cancel.
    RestoreCancelSnapshot(&gCancelSnapshot, globals);
    SetResult(globals, kResultUserCanceled);
    globals->dialogOutcome = 2;
  }
  return ended == kIdOk;
}
