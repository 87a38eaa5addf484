// transfer.cpp -- the transfer list, the commit and the undo policy (see transfer.h).
#include "dialog/transfer.h"

#include "dialog/control_table.h"
#include "dialog/control_values.h"
#include "plugin/globals.h"

MemoryDotQueries gMemoryDotQueries = {nullptr, nullptr};

namespace {

enum StepKind { kStepValue, kStepColor, kStepVector };

struct TransferStep {
  int16_t id;
  StepKind kind;
  uint32_t ParameterBlock::*word;
  ParameterColor ParameterBlock::*color;
  float (ParameterBlock::*vector)[3];
};

constexpr TransferStep Value(int16_t id, uint32_t ParameterBlock::*field) {
  return TransferStep{id, kStepValue, field, nullptr, nullptr};
}
constexpr TransferStep Color(int16_t id, ParameterColor ParameterBlock::*field) {
  return TransferStep{id, kStepColor, nullptr, field, nullptr};
}
constexpr TransferStep Vector(int16_t id, float (ParameterBlock::*field)[3]) {
  return TransferStep{id, kStepVector, nullptr, nullptr, field};
}

// The order of the list is kept as it has always been walked (two check boxes twice).
constexpr TransferStep kTransferList[] = {
    Value(48, &ParameterBlock::realClouds),
    Value(52, &ParameterBlock::backlighting),
    Value(105, &ParameterBlock::lunarClimate),
    Color(7, &ParameterBlock::landColor),
    Color(8, &ParameterBlock::airColor),
    Color(9, &ParameterBlock::seaColor),
    Color(19, &ParameterBlock::desertColor),
    Color(20, &ParameterBlock::iceColor),
    Color(14, &ParameterBlock::cloudColor),
    Color(29, &ParameterBlock::cityColor),
    Value(12, &ParameterBlock::airDepth),
    Value(11, &ParameterBlock::cloudHeight),
    Value(10, &ParameterBlock::cloudShadows),
    Value(13, &ParameterBlock::sunset),
    Value(37, &ParameterBlock::planetSize),
    Value(39, &ParameterBlock::landComplexity),
    Value(43, &ParameterBlock::stormSize),
    Value(45, &ParameterBlock::stormCount),
    Value(47, &ParameterBlock::stormSwirl),
    Value(51, &ParameterBlock::airBrightness),
    Value(21, &ParameterBlock::realLuna),
    Value(48, &ParameterBlock::realClouds),
    Value(52, &ParameterBlock::backlighting),
    Value(55, &ParameterBlock::seaLevel),
    Value(57, &ParameterBlock::desert),
    Value(59, &ParameterBlock::craterCount),
    Value(61, &ParameterBlock::craterSize),
    Value(107, &ParameterBlock::cities),
    Value(110, &ParameterBlock::cloudViscosity),
    Value(114, &ParameterBlock::cloudCoriolis),
    Value(63, &ParameterBlock::craterTexture),
    Value(69, &ParameterBlock::cloudEdges),
    Value(65, &ParameterBlock::ice),
    Value(67, &ParameterBlock::cloudTexture),
    Value(103, &ParameterBlock::landTexture),
    Value(98, &ParameterBlock::cloudCoverage),
    Value(73, &ParameterBlock::outputMode),
    Vector(112, &ParameterBlock::lightVector),
    Vector(100, &ParameterBlock::axisVector),
};

}  // namespace

void TransferParameters(void *dialog, PluginGlobals *globals, int direction) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  for (const TransferStep &step : kTransferList) {
    switch (step.kind) {
      case kStepValue:
        if (direction == 1) {
          // Truncated toward zero; the reads are limited (sliders 0..100, boxes 0/1, combo
          // selection + 1), so the conversion is defined.
          const double v = ReadControlValue(dialog, step.id);
          p->*step.word = uint32_t(int32_t(v));
        } else {
          PutControlValue(dialog, step.id, float(p->*step.word));
        }
        break;
      case kStepColor: {
        ParameterColor &c = p->*step.color;
        if (direction == 1) {
          uint16_t rgb[3];
          GetControlColor(step.id, rgb);
          c.red = rgb[0];
          c.green = rgb[1];
          c.blue = rgb[2];
        } else {
          const uint16_t rgb[3] = {c.red, c.green, c.blue};
          SetControlColor(dialog, step.id, rgb);
        }
        break;
      }
      case kStepVector: {
        float *v = p->*step.vector;
        if (direction == 1) {
          GetControlVector(step.id, v);
        } else {
          SetControlVector(dialog, step.id, v);
        }
        break;
      }
    }
  }
}

void ParametersToDialog(PluginGlobals *globals, void *dialog) { TransferParameters(dialog, globals, 0); }

void DialogToParameters(void *dialog, PluginGlobals *globals) { TransferParameters(dialog, globals, 1); }

void CommitControlChange(PluginGlobals *globals, int id, void *dialog) {
  DialogToParameters(dialog, globals);
  const UndoPolicy policy = UndoPolicyFor(id, globals);
  if (policy == kUndoMemory) PushUndo(globals, false);
  if (policy == kUndoWithFile) PushUndo(globals, true);
}

bool IsUndoableControl(int id) {
  if (id == kIdCancel || id == kIdOk || id == kIdLoadSettings || id == kIdSaveSettings) return false;
  switch (GetControlKind(id)) {
    case 0: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 13:
    case 14: case 17: case 20: case 21: case 23:
      return true;
    default:
      return false;
  }
}

UndoPolicy UndoPolicyFor(int id, const PluginGlobals *globals) {
  switch (id) {
    case kIdCancel: case kIdOk: case kIdSaveSettings: case kIdZoomIn: case kIdZoomOut: case kIdZoomLabel:
    case kIdUndo: case kIdGallery:
      return kUndoNone;
    case kIdLoadSettings:
      return kUndoWithFile;   // pushed even when the load was cancelled
    case kIdWholeDialog:
      return kUndoMemory;
    default:
      break;
  }
  if (id >= kIdFirstMemoryDot && id <= kIdLastMemoryDot) {
    const int32_t state =
        gMemoryDotQueries.slotState != nullptr ? gMemoryDotQueries.slotState(globals, id - kIdFirstMemoryDot) : 0;
    if (state == 0) return kUndoNone;
    return globals->ctrlKeyFlag ? kUndoNone : kUndoWithFile;
  }
  if (id == kIdDotThumbnail) {
    const int32_t shown = gMemoryDotQueries.shownDot != nullptr ? gMemoryDotQueries.shownDot(globals) : -1;
    if (shown != -1) return kUndoWithFile;
  }
  return IsUndoableControl(id) ? kUndoMemory : kUndoNone;
}

void SaveCancelSnapshot(CancelSnapshot *snapshot, PluginGlobals *globals) {
  SaveParameterSnapshot(&snapshot->look, globals);
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  snapshot->centerX = p->centerX;
  snapshot->centerY = p->centerY;
  snapshot->halfWidth = p->halfWidth;
  snapshot->halfHeight = p->halfHeight;
  snapshot->cloudImage = p->cloudImage;
}

void RestoreCancelSnapshot(CancelSnapshot *snapshot, PluginGlobals *globals) {
  RestoreParameterSnapshot(&snapshot->look, globals);
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  p->centerX = snapshot->centerX;
  p->centerY = snapshot->centerY;
  p->halfWidth = snapshot->halfWidth;
  p->halfHeight = snapshot->halfHeight;
  p->cloudImage = snapshot->cloudImage;
}
