// fake_host.h -- an in-process stand-in for the image editor, enough to drive the plug-in's
// entry through every selector: a filter record with handle and buffer procedures that count
// what is outstanding, fill new memory with garbage (hosts do not clear it) and can refuse,
// and an advanceState that counts its calls.
//
// The host's procedures are plain function pointers without a context argument, so one fake
// host is current at a time (the one made last).
#ifndef KIVAGLOBE_TESTS_PLUGIN_FAKE_HOST_H
#define KIVAGLOBE_TESTS_PLUGIN_FAKE_HOST_H

#include <cstdint>
#include <set>
#include <vector>

#include "plugin/globals.h"
#include "plugin/host_interface.h"

constexpr uint8_t kFakeHostGarbage = 0xA5;

struct FakeHost {
  FilterRecord record;
  HostHandleProcs handleProcs;
  HostBufferProcs bufferProcs;
  HostPlatformData platform;
  intptr_t dataSlot;
  int16_t result;
  PluginEntryProc entry;         // DispatchSelector unless a test loads a module

  // Handles: calls to newProc so far, live handles, refusal from the N-th call on (1-based;
  // 0 never).
  int handleCalls;
  int handleDisposals;
  std::set<HostHandle> liveHandles;
  int refuseHandlesFrom;

  // Buffers: sizes asked for, in order; live buffers; refusal from the N-th call on, or of
  // single calls; and locks that fail.
  std::vector<int32_t> bufferRequests;
  std::set<HostBufferID> liveBuffers;
  int refuseBuffersFrom;
  std::set<int> refusedBufferCalls;
  bool refuseBufferLocks;
  int bufferFrees;

  int advanceStateCalls;
};

// A fresh host (and the current one) with an RGB document of width x height, the filter
// rectangle on the whole image, handle and buffer procedures, advanceState and displayPixels.
void FakeHostInit(FakeHost *host, int width, int height);

// Sends one selector through the host's entry and returns the result word.
int16_t FakeHostCall(FakeHost *host, int16_t selector);

// Prepare, Start, Continue while the rectangles are not empty, and Finish after a successful
// run; the results in call order.
std::vector<int16_t> FakeHostRun(FakeHost *host);

// The plug-in's globals in the data slot (the fake host's blocks do not move), or null.
PluginGlobals *FakeHostGlobals(FakeHost *host);

// The ParameterBlock in the parameters handle, or null.
ParameterBlock *FakeHostParameters(FakeHost *host);

// A handle of the fake host's own, as the host would make it (counted like the plug-in's).
HostHandle FakeHostNewHandle(FakeHost *host, int32_t size);

// Disposes of the data slot's and the parameters' handles, as a host does when it unloads the
// plug-in (emulated ones through the plug-in's emulation).
void FakeHostRelease(FakeHost *host);

bool IsEmptyRequest(const Rect16 &r);

#endif  // KIVAGLOBE_TESTS_PLUGIN_FAKE_HOST_H
