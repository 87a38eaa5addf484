// transfer.h -- moving the look settings between the main dialog's controls and the
// ParameterBlock, and the commit that records an undo step after a change.
//
// One fixed list of (control, field) pairs is walked in both directions; every change made in
// the dialog (timer, mouse release, buttons, popup items, file loads) ends in
// CommitControlChange, which reads the whole dialog into the block and then pushes undo as the
// id that caused the change asks.
#ifndef KIVAGLOBE_DIALOG_TRANSFER_H
#define KIVAGLOBE_DIALOG_TRANSFER_H

#include <cstdint>

#include "plugin/parameters.h"

struct PluginGlobals;

// Undo steps: none, a snapshot in memory, a snapshot in memory and in its temp file.
enum UndoPolicy : int32_t { kUndoNone = 0, kUndoMemory = 1, kUndoWithFile = 2 };

// direction 1: every control of the list into its field; 0: every field into its control.
void TransferParameters(void *dialog, PluginGlobals *globals, int direction);
void ParametersToDialog(PluginGlobals *globals, void *dialog);
void DialogToParameters(void *dialog, PluginGlobals *globals);

// DialogToParameters, then the undo step UndoPolicyFor(id) asks for.
void CommitControlChange(PluginGlobals *globals, int id, void *dialog);

UndoPolicy UndoPolicyFor(int id, const PluginGlobals *globals);
bool IsUndoableControl(int id);

// What the memory dots tell the undo policy: the state of a slot (0 empty, 1 filled,
// 2 selected) and the dot shown in the thumbnail (-1 none). Null procedures: every slot empty,
// no dot shown (the dialog without its memory dots).
struct MemoryDotQueries {
  int32_t (*slotState)(const PluginGlobals *globals, int slot);
  int32_t (*shownDot)(const PluginGlobals *globals);
};
extern MemoryDotQueries gMemoryDotQueries;

// What Cancel puts back: the look fields of the block as they were when the dialog opened,
// and with them the planet's centre and the chosen cloud image, which preview clicks and the
// cloud chooser change outside the look fields (a cancelled dialog must leave the host's block
// as it found it).
struct CancelSnapshot {
  ParameterBlock look;
  float centerX;
  float centerY;
  uint32_t halfWidth;
  uint32_t halfHeight;
  uint32_t cloudImage;
};

void SaveCancelSnapshot(CancelSnapshot *snapshot, PluginGlobals *globals);
void RestoreCancelSnapshot(CancelSnapshot *snapshot, PluginGlobals *globals);

#endif  // KIVAGLOBE_DIALOG_TRANSFER_H
