// cloud_chooser_win32.cpp -- the CHOOSECLOUDS dialog.
#include <windows.h>

#include <cstdio>

#include "clouds/cloud_chooser.h"
#include "clouds/cloud_download.h"
#include "clouds/cloud_fetch.h"
#include "clouds/cloud_files.h"
#include "dialog/main_dialog.h"
#include "plugin/globals.h"
#include "plugin/host_dialogs.h"
#include "plugin/host_utils.h"
#include "plugin/parameters.h"

namespace {

// The open chooser: a second request brings it to the front instead of opening another.
HWND gChooserWindow = nullptr;
bool gChooserOpen = false;
PluginGlobals *gChooserGlobals = nullptr;
int32_t gCheckedId = kChooserFirstRadio;

HINSTANCE ModuleInstance() {
  return gModuleInstance != nullptr ? static_cast<HINSTANCE>(gModuleInstance) : GetModuleHandleA(nullptr);
}

void EndChooser(HWND dialog, int result) {
  gChooserOpen = false;
  NoteToolWindow(kToolCloudChooser, nullptr);
  EndDialog(dialog, result);
}

INT_PTR CALLBACK ChooseCloudsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      gChooserGlobals = reinterpret_cast<PluginGlobals *>(lParam);
      CenterDialog(dialog);
      gChooserWindow = dialog;
      gChooserOpen = true;
      NoteToolWindow(kToolCloudChooser, dialog);
      FillChooseClouds(dialog, &gCheckedId, gChooserGlobals);
      return TRUE;
    case WM_COMMAND: {
      if (HIWORD(wParam) != 0) return TRUE;
      const int32_t id = LOWORD(wParam);
      if (id >= kChooserFirstRadio && id <= kChooserLastRadio) {
        CheckRadioButton(dialog, kChooserFirstRadio, kChooserLastRadio, id);
        gCheckedId = id;
      } else if (id == kChooserUpdateList) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        DownloadCloudSourceList(gChooserGlobals);
        ReadCloudSourceList(gChooserGlobals);
        FillChooseClouds(dialog, &gCheckedId, gChooserGlobals);
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
      } else if (id == kChooserOk || id == kChooserTryCache) {
        EndChooser(dialog, id);
        const int16_t fetched = FetchClouds(gCheckedId - kChooserFirstRadio, id == kChooserTryCache, gChooserGlobals);
        // A fetch that failed says why, once, before the chooser closes.
        if (fetched != 0) {
          char text[300];
          DescribeFetchFailure(fetched, LastDownloadReport(), text, int32_t(sizeof text));
          MessageBoxA(dialog, text, "Kivaglobe", MB_OK | MB_ICONEXCLAMATION);
        }
      } else if (id == kChooserCancel) {
        EndChooser(dialog, kChooserCancel);
      } else if (id == kChooserWriteList) {
        WriteCloudSourceList(gChooserGlobals);
      }
      return TRUE;
    }
    case WM_CLOSE:
      EndChooser(dialog, kChooserCancel);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void FillChooseClouds(void *window, int32_t *checkedId, PluginGlobals *globals) {
  HWND dialog = static_cast<HWND>(window);
  ParameterBlock *p = GetParameterBlock(globals);
  CloudSource source;
  if (ResolveCloudSource(int32_t(p->cloudImage), &source, globals) != kCloudSourceOk) p->cloudImage = 0;
  *checkedId = int32_t(p->cloudImage) + kChooserFirstRadio;
  CheckRadioButton(dialog, kChooserFirstRadio, kChooserLastRadio, *checkedId);
  for (int32_t id = kChooserFirstRadio; id <= kChooserLastRadio; id++) {
    const bool present = ResolveCloudSource(id - kChooserFirstRadio, &source, globals) == kCloudSourceOk;
    if (present) SetDlgItemTextA(dialog, id, source.label);
    EnableWindow(GetDlgItem(dialog, id), present ? TRUE : FALSE);
  }
  char version[32];
  std::snprintf(version, sizeof version, "v. %02d", int(globals->runState->listVersion));
  SetDlgItemTextA(dialog, kChooserVersion, version);
}

bool RunCloudChooser(PluginGlobals *globals) {
  if (gChooserOpen && gChooserWindow != nullptr) {
    BringWindowToTop(gChooserWindow);
    return false;
  }
  // Owned by the main dialog, whose OK and Cancel wait until the chooser is closed.
  const INT_PTR result = DialogBoxParamA(ModuleInstance(), "CHOOSECLOUDS", static_cast<HWND>(MainDialogWindow()),
                                         ChooseCloudsProc, reinterpret_cast<LPARAM>(globals));
  gChooserOpen = false;
  gChooserWindow = nullptr;
  NoteToolWindow(kToolCloudChooser, nullptr);
  return result == kChooserOk || result == kChooserTryCache;
}
