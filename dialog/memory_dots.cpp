// memory_dots.cpp -- the memory dots' slot model, click rules and thumbnail (see
// memory_dots.h). Painting is memory_dots_win32.cpp's; everything here also runs without
// windows, the controls reached through the control back end.
#include "dialog/memory_dots.h"

#include <cstring>

#include "dialog/control_ids.h"
#include "dialog/control_table.h"
#include "dialog/control_values.h"
#include "dialog/transfer.h"
#include "files/batch_refresh.h"
#include "files/gallery_pages.h"
#include "files/thumbnails.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"

MemoryDots gMemoryDots;

// The dots' files (files/temp_files.h, whose dot count shares its name with the dialog's).
int16_t MemoryDotSpec(FileSpec *spec, int32_t n, bool forWrite);
int16_t SaveMemoryDot(PluginGlobals *globals, int32_t n);
int16_t LoadMemoryDot(PluginGlobals *globals, int32_t n);

namespace {

// Kivaglobe32 has neither the memory-dots page nor the batch refresh: every click on the
// thumbnail recalls the shown dot.
constexpr bool kThumbnailRecallsOnly = sizeof(void *) == 4;

bool ValidSlot(int32_t slot) { return slot >= 0 && slot < kDotSlots; }

uint32_t *DotFlags(PluginGlobals *globals) {
  return globals != nullptr && globals->runState != nullptr ? globals->runState->dotHasData : nullptr;
}

void Repaint(void *dialog, int id) {
  if (gControlBackend.repaint != nullptr) gControlBackend.repaint(dialog, id);
}

void RepaintDot(void *dialog, int32_t slot) { Repaint(dialog, kIdFirstMemoryDot + slot); }

// The ramp of an empty thumbnail: white at the top, one grey step darker per row.
void FillPreviewRamp() {
  for (int32_t y = 0; y < kDotPreviewSide; y++) {
    const uint8_t grey = uint8_t(255 - y);
    std::memset(gMemoryDots.preview + size_t(y) * kDotPreviewSide * 3, grey, size_t(kDotPreviewSide) * 3);
  }
}

}  // namespace

bool FindMemoryDot(int id, bool *filled, int32_t *slot) {
  if (id < kIdFirstMemoryDot || id > kIdLastMemoryDot) return false;
  const int32_t s = id - kIdFirstMemoryDot;
  if (slot != nullptr) *slot = s;
  if (filled != nullptr) *filled = gMemoryDots.state[s] == kDotFilled || gMemoryDots.state[s] == kDotSelected;
  return true;
}

void InitMemoryDotSlots(PluginGlobals *globals, void *dialog) {
  for (int32_t s = 0; s < kDotSlots; s++) {
    gMemoryDots.controlId[s] = uint16_t(kIdFirstMemoryDot + s);
    gMemoryDots.state[s] = kDotEmpty;
  }
  gMemoryDots.hoveredDot = -1;
  gMemoryDots.shownDot = -1;
  gMemoryDots.previewShown = false;
  FillPreviewRamp();
  RedrawMemoryDots(dialog, globals);
}

void RedrawMemoryDots(void *dialog, PluginGlobals *globals) {
  const uint32_t *flags = DotFlags(globals);
  for (int32_t s = 0; s < kDotSlots; s++) {
    if (flags != nullptr && flags[s] != 0) gMemoryDots.state[s] = kDotFilled;
    RepaintDot(dialog, s);
  }
}

int32_t FirstDotWithoutData(const PluginGlobals *globals) {
  if (globals == nullptr || globals->runState == nullptr) return -1;
  for (int32_t s = 0; s < kDotSlots; s++)
    if (globals->runState->dotHasData[s] == 0) return s;
  return -1;
}

void StoreMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot) {
  if (!ValidSlot(slot)) return;
  CaptureOutputThumbnail(globals);
  SaveMemoryDot(globals, slot);
  SelectMemoryDot(globals, dialog, slot);
  gMemoryDots.hoveredDot = -1;
  HoverMemoryDot(globals, dialog, true, slot);
}

void RecallMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot, bool *changed) {
  if (!ValidSlot(slot)) return;
  LoadMemoryDot(globals, slot);
  DeselectMemoryDots(globals, dialog);
  SelectMemoryDot(globals, dialog, slot);
  ParametersToDialog(globals, dialog);
  if (changed != nullptr) *changed = true;
}

void AddMemoryDot(PluginGlobals *globals, void *dialog) {
  const int32_t slot = FirstDotWithoutData(globals);
  if (slot < 0) return;
  StoreMemoryDot(globals, dialog, slot);
  ShowDotPreview(globals, dialog, slot);
}

void SelectMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot) {
  DeselectMemoryDots(globals, dialog);
  if (!ValidSlot(slot)) return;
  gMemoryDots.state[slot] = kDotSelected;
  RepaintDot(dialog, slot);
}

void DeselectMemoryDots(PluginGlobals *, void *dialog) {
  for (int32_t s = 0; s < kDotSlots; s++) {
    if (gMemoryDots.state[s] != kDotSelected) continue;
    gMemoryDots.state[s] = kDotFilled;
    RepaintDot(dialog, s);
  }
}

void MemoryDotBitmaps(int32_t state, bool hasData, bool pressed, int32_t *fallback, int32_t *bitmap) {
  int32_t code, id;
  if (state == kDotFilled) {
    code = hasData ? 471 : 472;
    id = hasData ? (pressed ? 216 : 215) : (pressed ? 214 : 213);
  } else if (state == kDotSelected) {
    code = hasData ? 473 : 474;
    id = hasData ? (pressed ? 212 : 208) : (pressed ? 211 : 202);
  } else {
    code = pressed ? 475 : 470;
    id = pressed ? 210 : 203;
  }
  if (fallback != nullptr) *fallback = code;
  if (bitmap != nullptr) *bitmap = id;
}

void HoverMemoryDot(PluginGlobals *globals, void *dialog, bool filled, int32_t slot) {
  if (filled) {
    if (slot != gMemoryDots.hoveredDot) ShowDotPreview(globals, dialog, slot);
  } else {
    ClearDotPreview(globals, dialog);
  }
}

void HoverMemoryDotAt(PluginGlobals *globals, void *dialog, int32_t x, int32_t y) {
  for (int32_t s = 0; s < kDotSlots; s++) {
    const LayoutRect r = GetDialogLayoutRect(kIdFirstMemoryDot + s);
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) continue;
    bool filled = false;
    FindMemoryDot(kIdFirstMemoryDot + s, &filled, nullptr);
    HoverMemoryDot(globals, dialog, filled, s);
    return;
  }
}

void ShowDotPreview(PluginGlobals *globals, void *dialog, int32_t slot) {
  if (!ValidSlot(slot)) return;
  LoadDotThumbnail(globals, slot, dialog);
  gMemoryDots.shownDot = slot;
  gMemoryDots.hoveredDot = slot;
}

void LoadDotThumbnail(PluginGlobals *globals, int32_t slot, void *dialog) {
  FillPreviewRamp();
  gMemoryDots.previewShown = true;
  FileSpec spec;
  MemoryDotSpec(&spec, slot, false);
  // The file's picture is read through the thumbnail image into a picture of the control's
  // size, then kept as plain bytes: the control owns no host memory, so nothing of it can be
  // left behind when the dialog ends.
  TiledMipImage picture;
  BindScratchImage(globals, &picture);
  if (LoadPresetThumbnail(&spec, &picture, globals, kDotPreviewSide)) {
    for (int32_t y = 0; y < kDotPreviewSide; y++) {
      for (int32_t x = 0; x < kDotPreviewSide; x++) {
        int32_t r, g, b, a;
        GetPixelPacked8(x, y, &picture, 0, &r, &g, &b, &a);
        uint8_t *into = gMemoryDots.preview + (size_t(y) * kDotPreviewSide + size_t(x)) * 3;
        into[0] = uint8_t(r);
        into[1] = uint8_t(g);
        into[2] = uint8_t(b);
      }
    }
  }
  FreeImageTiles(&picture);
  Repaint(dialog, kIdDotThumbnail);
}

void ClearDotPreview(PluginGlobals *, void *dialog) {
  gMemoryDots.previewShown = false;
  FillPreviewRamp();
  Repaint(dialog, kIdDotThumbnail);
  gMemoryDots.shownDot = -1;
  gMemoryDots.hoveredDot = -1;
}

void MemoryDotClicked(PluginGlobals *globals, void *dialog, int id, bool *changed) {
  bool filled = false;
  int32_t slot = -1;
  if (!FindMemoryDot(id, &filled, &slot)) return;
  uint32_t *flags = DotFlags(globals);
  if (flags == nullptr) return;
  const bool right = globals->rightButtonFlag != 0;
  const bool ctrl = !right && globals->ctrlKeyFlag != 0;
  if (!filled) {
    flags[slot] = ctrl ? 0 : 1;
    StoreMemoryDot(globals, dialog, slot);
  } else if (right) {
    gMemoryDots.state[slot] = kDotEmpty;
    flags[slot] = 0;
    RepaintDot(dialog, slot);
    ClearDotPreview(globals, dialog);
  } else if (ctrl) {
    flags[slot] = 0;
    RepaintDot(dialog, slot);
  } else {
    RecallMemoryDot(globals, dialog, slot, changed);
  }
}

void DotThumbnailClicked(PluginGlobals *globals, void *dialog, bool *changed) {
  if (!kThumbnailRecallsOnly && globals->rightButtonFlag != 0) {
    ExportMemoryDotsHtml(globals, dialog);
    return;
  }
  if (!kThumbnailRecallsOnly && globals->ctrlKeyFlag != 0) {
    BatchRenderFolder(globals, dialog, nullptr);
    return;
  }
  if (gMemoryDots.shownDot >= 0) RecallMemoryDot(globals, dialog, gMemoryDots.shownDot, changed);
}

int32_t MemoryDotSlotState(const PluginGlobals *, int slot) { return ValidSlot(slot) ? gMemoryDots.state[slot] : 0; }

int32_t MemoryDotShown(const PluginGlobals *) { return gMemoryDots.shownDot; }
