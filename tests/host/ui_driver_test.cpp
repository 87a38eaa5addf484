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

UiStep Parse(const char *line) {
  UiStep step;
  char error[256] = "";
  EXPECT_TRUE(ParseUiStep(line, &step, error, sizeof error)) << line << ": " << error;
  return step;
}

std::string Refusal(const char *line) {
  UiStep step;
  char error[256] = "";
  EXPECT_FALSE(ParseUiStep(line, &step, error, sizeof error)) << line;
  return error;
}

TEST(UiSteps, EveryStepWithItsNumbersAndText) {
  UiStep s = Parse("type 86 -3 and more ");
  EXPECT_EQ(s.kind, kUiType);
  EXPECT_EQ(s.id, 86);
  // Typing keeps the text as written, inner and trailing blanks too.
  EXPECT_STREQ(s.text, "-3 and more ");
  s = Parse("type 86");
  EXPECT_STREQ(s.text, "");
  s = Parse("  drag 55 -120 7\r");
  EXPECT_EQ(s.kind, kUiDrag);
  EXPECT_EQ(s.id, 55);
  EXPECT_EQ(s.dx, -120);
  EXPECT_EQ(s.dy, 7);
  s = Parse("select 73 13");
  EXPECT_EQ(s.kind, kUiSelect);
  EXPECT_EQ(s.dx, 13);
  s = Parse("sleep 250");
  EXPECT_EQ(s.kind, kUiSleep);
  EXPECT_EQ(s.dx, 250);
  EXPECT_EQ(Parse("rclick 121").kind, kUiRightClick);
  EXPECT_EQ(Parse("press 32").kind, kUiPress);
  EXPECT_EQ(Parse("click 7").kind, kUiClick);
  EXPECT_EQ(Parse("wait-preview").kind, kUiWaitPreview);
  EXPECT_EQ(Parse("ok").kind, kUiOk);
  EXPECT_EQ(Parse("cancel").kind, kUiCancel);
  // A file name loses the blanks at its end, which no one means.
  s = Parse("shot out dir/open.png  \r\n");
  EXPECT_EQ(s.kind, kUiShot);
  EXPECT_STREQ(s.text, "out dir/open.png");
}

TEST(UiSteps, MalformedStepsAreRefusedWithAReason) {
  EXPECT_NE(Refusal("hover 3").find("unknown step"), std::string::npos);
  EXPECT_NE(Refusal("okay").find("unknown step"), std::string::npos);
  EXPECT_NE(Refusal("click").find("number"), std::string::npos);
  EXPECT_NE(Refusal("click 7x").find("number"), std::string::npos);
  EXPECT_NE(Refusal("drag 55 10").find("number"), std::string::npos);
  EXPECT_NE(Refusal("click 7 8").find("unexpected"), std::string::npos);
  EXPECT_NE(Refusal("ok now").find("unexpected"), std::string::npos);
  EXPECT_NE(Refusal("click -1").find("out of range"), std::string::npos);
  EXPECT_NE(Refusal("click 65536").find("out of range"), std::string::npos);
  EXPECT_NE(Refusal("select 73 -1").find("negative"), std::string::npos);
  EXPECT_NE(Refusal("sleep -5").find("range"), std::string::npos);
  EXPECT_NE(Refusal("shot  ").find("file name"), std::string::npos);
  std::string longText = "type 1 " + std::string(kUiTextSize, 'a');
  EXPECT_NE(Refusal(longText.c_str()).find("too long"), std::string::npos);
}

TEST(UiSteps, AScriptSkipsCommentsAndBlankLinesAndNamesTheBadLine) {
  std::vector<UiStep> steps;
  char error[256] = "";
  ASSERT_TRUE(ParseUiScript("# sea level\n\ntype 90 70\r\n   \nclick 7\nok", &steps, error, sizeof error)) << error;
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].kind, kUiType);
  EXPECT_STREQ(steps[0].text, "70");
  EXPECT_EQ(steps[1].kind, kUiClick);
  EXPECT_EQ(steps[2].kind, kUiOk);
  steps.clear();
  EXPECT_FALSE(ParseUiScript("ok\n# fine\nclick seven\n", &steps, error, sizeof error));
  EXPECT_EQ(std::string(error).rfind("line 3:", 0), 0u) << error;
}

TEST(UiSteps, OptionsCollectTheFileAndTheStepsInOrder) {
  const char *args[] = {"kivahost", "--plugin", "p.8bf", "--dialog", "--ui", "steps.txt",
                        "--ui-step", "type 90 70", "--ui-step", "ok"};
  HostOptions options;
  char error[256];
  ASSERT_TRUE(ParseHostOptions(10, args, &options, error, sizeof error)) << error;
  EXPECT_STREQ(options.uiPath, "steps.txt");
  ASSERT_EQ(options.uiStepCount, 2);
  EXPECT_STREQ(options.uiSteps[0], "type 90 70");
  EXPECT_STREQ(options.uiSteps[1], "ok");
}

TEST(UiSteps, AScriptThatNeverRanFailsTheSession) {
  // No dialog opened (or, natively, none can): the steps are reported as not done and the host
  // does not claim success.
  HostSession *session = new HostSession();
  DefaultHostOptions(&session->options);
  const char *steps[] = {"type 90 70", "ok"};
  session->options.uiSteps[0] = steps[0];
  session->options.uiSteps[1] = steps[1];
  session->options.uiStepCount = 2;
  const std::string reportPath = TempPath("ui_report.txt");
  session->out = std::fopen(reportPath.c_str(), "wb");
  ASSERT_NE(session->out, nullptr);
  char error[256];
  ASSERT_TRUE(PrepareUiDriver(session, error, sizeof error)) << error;
  EXPECT_EQ(FinishUiDriver(session), kHostStatusCannotRun);
  std::fclose(session->out);
  const std::string report = ReadTextFile(reportPath);
  std::remove(reportPath.c_str());
  EXPECT_NE(report.find("0 of 2 steps done"), std::string::npos) << report;
  EXPECT_NE(report.find("\"type 90 70\""), std::string::npos) << report;
  // Without steps there is nothing to fail.
  session->options.uiStepCount = 0;
  ASSERT_TRUE(PrepareUiDriver(session, error, sizeof error));
  EXPECT_EQ(FinishUiDriver(session), kHostStatusOk);
  delete session;
}

}  // namespace
