// ui_driver_test.cpp -- the dialog script's steps as text, and what the host makes of a script
// that never ran (all trees).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/ui_driver.h"
#include "tests/host/test_files.h"

namespace {

TEST(UiSteps, StepsAreReadWithTheirNumbersAndTextAndBadOnesRefusedWithAReason) {
  struct Good { const char *line; int32_t kind, id, dx, dy; const char *text; };
  // Typing keeps its text as written; a file name loses the blanks at its end.
  const Good good[] = {
      {"type 86 -3 and more ", kUiType, 86, 0, 0, "-3 and more "}, {"type 86", kUiType, 86, 0, 0, ""},
      {"  drag 55 -120 7\r", kUiDrag, 55, -120, 7, ""}, {"select 73 13", kUiSelect, 73, 13, 0, ""},
      {"sleep 250", kUiSleep, 0, 250, 0, ""}, {"rclick 121", kUiRightClick, 121, 0, 0, ""},
      {"shot out dir/open.png  \r\n", kUiShot, 0, 0, 0, "out dir/open.png"}, {"wait-preview", kUiWaitPreview, 0, 0, 0, ""},
      {"ok", kUiOk, 0, 0, 0, ""}, {"cancel", kUiCancel, 0, 0, 0, ""},
      {"hold 18 -40 25", kUiHold, 18, -40, 25, ""}, {"release", kUiRelease, 0, 0, 0, ""},
      {"read 34", kUiRead, 34, 0, 0, ""}, {"wait-for 34", kUiWaitFor, 34, 0, 0, ""}};
  for (const Good &g : good) {
    UiStep s;
    char error[256] = "";
    ASSERT_TRUE(ParseUiStep(g.line, &s, error, sizeof error)) << g.line << ": " << error;
    EXPECT_EQ(s.kind, g.kind) << g.line;
    EXPECT_EQ(s.id, g.id) << g.line;
    EXPECT_EQ(s.dx, g.dx) << g.line;
    EXPECT_EQ(s.dy, g.dy) << g.line;
    EXPECT_STREQ(s.text, g.text) << g.line;
  }
  const std::string tooLong = "type 1 " + std::string(kUiTextSize, 'a');
  const char *const bad[][2] = {{"okay", "unknown step"}, {"click 7x", "number"}, {"drag 55 10", "number"},
                                {"ok now", "unexpected"}, {"click 65536", "out of range"}, {"select 73 -1", "negative"},
                                {"shot  ", "file name"}, {"hold 18 5", "number"}, {"release 18", "unexpected"}, {"read", "number"}, {"wait-for", "number"}, {tooLong.c_str(), "too long"}};
  for (const auto &b : bad) {
    UiStep s;
    char error[256] = "";
    EXPECT_FALSE(ParseUiStep(b[0], &s, error, sizeof error)) << b[0];
    EXPECT_NE(std::string(error).find(b[1]), std::string::npos) << b[0] << ": " << error;
  }
  // A script skips comments and blank lines, and names the line of a bad step.
  std::vector<UiStep> steps;
  char error[256] = "";
  ASSERT_TRUE(ParseUiScript("# sea level\n\ntype 90 70\r\n   \nclick 7\nok", &steps, error, sizeof error)) << error;
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_STREQ(steps[0].text, "70");
  EXPECT_EQ(steps[2].kind, kUiOk);
  EXPECT_FALSE(ParseUiScript("ok\n# fine\nclick seven\n", &steps, error, sizeof error));
  EXPECT_EQ(std::string(error).rfind("line 3:", 0), 0u) << error;
}

TEST(UiSteps, AScriptThatNeverRanFailsTheSession) {
  // No dialog opened (natively none can): the steps are reported as not done, and the host
  // does not claim success. Without steps there is nothing to fail.
  const char *args[] = {"kivahost", "--plugin", "p.8bf", "--dialog", "--ui-step", "type 90 70", "--ui-step", "ok"};
  HostSession *session = new HostSession();
  char error[256];
  ASSERT_TRUE(ParseHostOptions(8, args, &session->options, error, sizeof error)) << error;
  const std::string reportPath = TempPath("ui_report.txt");
  session->out = std::fopen(reportPath.c_str(), "wb");
  ASSERT_NE(session->out, nullptr);
  ASSERT_TRUE(PrepareUiDriver(session, error, sizeof error)) << error;
  EXPECT_EQ(FinishUiDriver(session), kHostStatusCannotRun);
  std::fclose(session->out);
  const std::string report = ReadTextFile(reportPath);
  std::remove(reportPath.c_str());
  EXPECT_NE(report.find("0 of 2 steps done; the dialog was gone before \"type 90 70\""), std::string::npos) << report;
  session->options.uiStepCount = 0;
  ASSERT_TRUE(PrepareUiDriver(session, error, sizeof error));
  EXPECT_EQ(FinishUiDriver(session), kHostStatusOk);
  delete session;
}

}  // namespace
