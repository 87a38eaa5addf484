// dispatch.h -- the selector dispatcher and the handlers of the six host calls.
//
// The host calls the exported entry once for every step of one use of the filter: About
// (alone, at any time), or Parameters (when the user asks for the dialog), Prepare, Start,
// Continue (until the request rectangles come back empty) and Finish. The entry hands the call
// to DispatchSelector, which keeps the PluginGlobals in a host handle in the data slot, makes
// sure the ParameterBlock exists in the filter record's parameters handle, runs the handler
// and leaves every outcome in the host's 16-bit result word.
#ifndef KIVAGLOBE_PLUGIN_DISPATCH_H
#define KIVAGLOBE_PLUGIN_DISPATCH_H

#include <cstdint>

#include "plugin/globals.h"

// Kivaglobe64 refuses a host without advanceState at Start; Kivaglobe32 lets it through and
// renders one row per Continue call.
constexpr bool kRefusesHostWithoutAdvanceState = sizeof(void *) == 8;

// The dispatcher: every selector's outcome in *result.
void DispatchSelector(int16_t selector, FilterRecord *filterRecord, intptr_t *dataSlot, int16_t *result);

typedef void (*GlobalsInitProc)(PluginGlobals *globals);

// The locked PluginGlobals of the data slot, made (zero-filled, then initProc) when the slot is
// empty; null when it cannot be had. On success the result word is cleared and the first two
// members point at the result word and the filter record.
PluginGlobals *AllocateGlobals(int16_t *result, FilterRecord *filterRecord, HostHandleProcs *handleProcs,
                               int32_t size, intptr_t *dataSlot, GlobalsInitProc initProc);

// The init procedure of a new PluginGlobals block (the block is cleared before it is called).
void InitGlobals(PluginGlobals *globals);

// Makes the ParameterBlock when the filter record has none, or has one too small to be ours;
// -108 when it cannot be made.
void ValidateParameters(PluginGlobals *globals);

void DoParameters(PluginGlobals *globals);
void DoPrepare(PluginGlobals *globals);
void DoStart(PluginGlobals *globals);
void DoContinue(PluginGlobals *globals);
void DoFinish(PluginGlobals *globals);

#endif  // KIVAGLOBE_PLUGIN_DISPATCH_H
