// memory_dots.h -- the 25 memory dots of the main dialog (controls 121..145, slots 0..24) and
// the dot thumbnail (control 119).
//
// A dot keeps whole settings: a click on an empty dot stores the current settings there (its
// settings file "Kivaglobe memory dot N.q1q" in the temporary folder, with a thumbnail of the
// preview), a click on a filled dot recalls them, and the pointer over a filled dot shows its
// thumbnail in control 119. When the dialog opens, the current settings are stored in the
// first dot the user has not kept, so that they can always be found again.
//
// Per slot: a state (0 empty, 1 filled, 2 selected: the dot whose settings are the current
// ones, at most one) and the RunState's dotHasData flag, which the memory-dot map keeps across
// runs: 1 when the user stored the dot with a plain click; 0 when it was stored with Ctrl held,
// Ctrl-clicked later, emptied or stored automatically. Only a dot with the flag is filled when
// the dialog next opens; the others may be overwritten by the automatic store. Emptying a dot
// leaves its file on disk.
//
// The thumbnail control shows an 88 x 88 copy of the dot's picture that belongs to the dots
// alone: clearing it never touches the thumbnail image that settings files are written from.
#ifndef KIVAGLOBE_DIALOG_MEMORY_DOTS_H
#define KIVAGLOBE_DIALOG_MEMORY_DOTS_H

#include <cstdint>

struct PluginGlobals;

constexpr int32_t kDotSlots = 25;
constexpr int32_t kDotPreviewSide = 88;
constexpr int32_t kDotPreviewInset = 4;       // the picture's top-left inside control 119
constexpr int32_t kDotThumbnailBitmap = 217;  // control 119's background

enum DotState : int16_t { kDotEmpty = 0, kDotFilled = 1, kDotSelected = 2 };

struct MemoryDots {
  uint16_t controlId[kDotSlots];
  int16_t state[kDotSlots];
  int32_t hoveredDot;      // -1 none
  int32_t shownDot;        // the dot in the thumbnail, -1 none
  bool previewShown;       // preview holds a dot's picture
  uint8_t preview[kDotPreviewSide * kDotPreviewSide * 3];   // RGB rows
};

extern MemoryDots gMemoryDots;

// True when `id` is a dot's control; *filled when its state is 1 or 2, *slot its slot.
bool FindMemoryDot(int id, bool *filled, int32_t *slot);

// The dialog opens: slot ids, every state empty, nothing hovered or shown; then the slots whose
// flag is set become filled and every dot is repainted.
void InitMemoryDotSlots(PluginGlobals *globals, void *dialog);
void RedrawMemoryDots(void *dialog, PluginGlobals *globals);

// The first slot whose flag is clear, -1 when all 25 are kept.
int32_t FirstDotWithoutData(const PluginGlobals *globals);

// The current settings into `slot` (0..24): the preview captured as the thumbnail, the dot's
// file written, the dot selected and shown. Other slots are ignored.
void StoreMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot);

// The settings of `slot` (0..24) into the parameter block and the controls; the dot becomes
// the selected one and *changed is set.
void RecallMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot, bool *changed);

// At the end of the dialog's opening: the settings stored in FirstDotWithoutData (no flag),
// selected and shown. Nothing when all 25 are kept.
void AddMemoryDot(PluginGlobals *globals, void *dialog);

void SelectMemoryDot(PluginGlobals *globals, void *dialog, int32_t slot);
// Every selected dot becomes filled.
void DeselectMemoryDots(PluginGlobals *globals, void *dialog);

// The bitmap of a dot by state, flag and pressed bit, beside a fallback code 470..475 that a
// painter without bitmaps could draw.
void MemoryDotBitmaps(int32_t state, bool hasData, bool pressed, int32_t *fallback, int32_t *bitmap);

// The pointer is over dot `slot`: a filled dot other than the one hovered last is shown; an
// empty one clears the thumbnail.
void HoverMemoryDot(PluginGlobals *globals, void *dialog, bool filled, int32_t slot);
// The pointer moved to (x, y) in the dialog's client area, no control pressed.
void HoverMemoryDotAt(PluginGlobals *globals, void *dialog, int32_t x, int32_t y);

void ShowDotPreview(PluginGlobals *globals, void *dialog, int32_t slot);
// The dot's picture into the preview; the grey ramp when its file has none.
void LoadDotThumbnail(PluginGlobals *globals, int32_t slot, void *dialog);
void ClearDotPreview(PluginGlobals *globals, void *dialog);

// A click on a dot (id 121..145), with the right button and Ctrl as the press had them:
//   empty dot, any button: stored, the flag set unless Ctrl was held;
//   filled dot, right button: emptied, flag cleared, thumbnail cleared (the file stays);
//   filled dot, Ctrl: flag cleared (it stays filled until the dialog next opens);
//   filled dot, plain click: recalled.
void MemoryDotClicked(PluginGlobals *globals, void *dialog, int id, bool *changed);

// A click on the thumbnail: right button, the memory-dots gallery page; Ctrl, the batch refresh
// of a folder; plain, the shown dot recalled. In Kivaglobe32 every click recalls.
void DotThumbnailClicked(PluginGlobals *globals, void *dialog, bool *changed);

// The undo policy's questions.
int32_t MemoryDotSlotState(const PluginGlobals *globals, int slot);
int32_t MemoryDotShown(const PluginGlobals *globals);

#endif  // KIVAGLOBE_DIALOG_MEMORY_DOTS_H
