// dialog_fixture.h -- a fake host with the plug-in's globals, parameter block and run state,
// and a window back end of the tests' own that keeps the items' texts, check marks and combo
// selections in maps and counts what the dialog asks of it.
#ifndef KIVAGLOBE_TESTS_DIALOG_FIXTURE_H
#define KIVAGLOBE_TESTS_DIALOG_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "plugin/globals.h"
#include "tests/plugin/fake_host.h"

struct FakeWindow {
  std::map<int, std::string> texts;
  std::map<int, int> checks;
  std::map<int, int> selections;
  std::vector<int> textWrites;   // ids in the order their texts were set
  std::vector<int> repaints;
  int timerKills = 0;
};

extern FakeWindow gFakeWindow;

// A dialog window pointer for the value operations (any non-null value).
void *FakeDialog();

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUpHost(1000, 600); }
  void TearDown() override;
  void SetUpHost(int width, int height);

  ParameterBlock *Params() { return FakeHostParameters(&host); }

  FakeHost host;
  PluginGlobals *globals = nullptr;
};

#endif  // KIVAGLOBE_TESTS_DIALOG_FIXTURE_H
