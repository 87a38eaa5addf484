// dialog_fixture.cpp -- see dialog_fixture.h.
#include "tests/dialog/dialog_fixture.h"

#include <cstdlib>
#include <cstring>

#include "dialog/control_values.h"

FakeWindow gFakeWindow;

static int gDialogToken;

void *FakeDialog() { return &gDialogToken; }

namespace {

void SetText(void *, int id, const char *text) {
  gFakeWindow.texts[id] = text;
  gFakeWindow.textWrites.push_back(id);
}

int GetText(void *, int id, char *buffer, int size) {
  const std::string &t = gFakeWindow.texts[id];
  const int n = int(t.size()) < size - 1 ? int(t.size()) : size - 1;
  std::memcpy(buffer, t.data(), size_t(n));
  buffer[n] = 0;
  return n;
}

void SetCheck(void *, int id, int checked) { gFakeWindow.checks[id] = checked; }
int GetCheck(void *, int id) { return gFakeWindow.checks[id]; }

// A list of 14 entries, as the map combo holds: an index outside it clears the selection.
void SetSelection(void *, int id, int index) { gFakeWindow.selections[id] = index >= 0 && index < 14 ? index : -1; }
int GetSelection(void *, int id) {
  auto it = gFakeWindow.selections.find(id);
  return it == gFakeWindow.selections.end() ? -1 : it->second;
}

void Repaint(void *, int id) { gFakeWindow.repaints.push_back(id); }
void KillTimer(void *) { gFakeWindow.timerKills++; }

}  // namespace

void DialogTest::SetUpHost(int width, int height) {
  if (globals != nullptr) TearDown();   // a test that asks for another document
  gFakeWindow = FakeWindow{};
  gControlBackend = ControlBackend{SetText, GetText, SetCheck, GetCheck, SetSelection, GetSelection, Repaint, KillTimer};
  std::memset(&gControlTables, 0, sizeof gControlTables);
  FakeHostInit(&host, width, height);
  ASSERT_EQ(FakeHostCall(&host, kSelectorParameters), kResultOk);
  globals = FakeHostGlobals(&host);
  ASSERT_NE(globals, nullptr);
  ASSERT_NE(Params(), nullptr);
  globals->filterRecord = &host.record;
  globals->runState = static_cast<RunState *>(std::calloc(1, sizeof(RunState)));
  for (uint32_t &flag : globals->runState->controlEnabled) flag = 1;
  host.record.samplingSupport = 1;
}

void DialogTest::TearDown() {
  if (globals != nullptr) {
    std::free(globals->runState);
    globals->runState = nullptr;
  }
  FakeHostRelease(&host);
  globals = nullptr;
  gControlBackend = ControlBackend{};
}
