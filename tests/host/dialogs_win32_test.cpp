// dialogs_win32_test.cpp -- --close-dialogs answering a modal box that a plug-in opens while
// the host calls it (Windows trees; needs a display, and checks nothing without one).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/host_session.h"
#include "tests/host/pipl_builder.h"
#include "tests/host/test_files.h"
#include "tests/support/need_display.h"

namespace {

int gBoxAnswer = -1;

void KV_HOSTAPI BoxEntry(int16_t selector, FilterRecord *, intptr_t *, int16_t *) {
  if (selector == kSelectorAbout) gBoxAnswer = MessageBoxA(nullptr, "A box of the plug-in", "Test box", MB_OKCANCEL);
}

void *BoxExport(void *, const char *name) {
  return std::string(name) == "BoxMain" ? reinterpret_cast<void *>(BoxEntry) : nullptr;
}

TEST(HostDialogs, CloseDialogsAnswersTheBoxesOfThePlugin) {
  std::vector<uint8_t> pipl = FilterPipl(HostCodePropertyKey(), "BoxMain").Bytes();
  PluginModule module = {};
  module.properties = pipl.data();
  module.propertiesSize = pipl.size();
  module.findExport = BoxExport;
  const char *args[] = {"kivahost", "--plugin", "box.8bf", "--about", "--close-dialogs"};
  HostOptions options;
  char error[512];
  ASSERT_TRUE(ParseHostOptions(5, args, &options, error, sizeof error)) << error;
  std::string reportPath = TempPath("dialog_report.txt");
  FILE *out = std::fopen(reportPath.c_str(), "wb");
  HostSession *session = new HostSession();
  ASSERT_TRUE(OpenHostSession(session, options, module, out, error, sizeof error)) << error;
  EXPECT_EQ(RunHostSession(session), kHostStatusOk);
  CloseHostSession(session);
  delete session;
  std::fclose(out);
  std::string report = ReadTextFile(reportPath);
  std::remove(reportPath.c_str());
  if (gBoxAnswer <= 0) {
    // Without a display no box can open: the test has failed with the reason.
    if (NeedDisplay()) ADD_FAILURE() << "the box did not open on display " << std::getenv("DISPLAY");
    return;
  }
  EXPECT_EQ(gBoxAnswer, IDCANCEL);
  EXPECT_NE(report.find("Dialog: Test box\n"), std::string::npos) << report;
  // Cancel was enough: the host did not have to end the box itself.
  EXPECT_EQ(report.find("Dialog ended by the host"), std::string::npos) << report;
}

}  // namespace
