// The host's colour picker option and the common dialogs' steps, as the command line and the
// script give them.
#include <gtest/gtest.h>

#include "host/host_colour.h"
#include "host/ui_driver.h"

TEST(HostColour, TheOptionTakesThreeBytesOrCancelAndNothingElse) {
  HostColourAnswer a;
  ASSERT_TRUE(ParseHostColour("10,20,30", &a));
  EXPECT_TRUE(a.offered && !a.cancel);
  EXPECT_EQ(a.rgb[0], 10);
  EXPECT_EQ(a.rgb[2], 30);
  ASSERT_TRUE(ParseHostColour("cancel", &a));
  EXPECT_TRUE(a.offered && a.cancel);
  for (const char *bad : {"256,0,0", "1,2", "1,2,3,", "-1,0,0", "a,b,c", ""}) EXPECT_FALSE(ParseHostColour(bad, &a)) << bad;
  EXPECT_EQ(HostColourServices(HostColourAnswer{}), nullptr);   // not offered unless asked for
}

TEST(HostColour, CommonDialogStepsAreReadWithTheirValues) {
  UiStep s;
  char error[256];
  ASSERT_TRUE(ParseUiStep("colour 255 128 0", &s, error, sizeof error)) << error;
  EXPECT_EQ(s.kind, kUiColour);
  EXPECT_EQ(s.id, 255);
  EXPECT_EQ(s.dx, 128);
  ASSERT_TRUE(ParseUiStep("file C:\\a b\\x.q1q", &s, error, sizeof error)) << error;
  EXPECT_STREQ(s.text, "C:\\a b\\x.q1q");
  EXPECT_FALSE(ParseUiStep("file", &s, error, sizeof error));
  EXPECT_FALSE(ParseUiStep("colour 1 2", &s, error, sizeof error));
  ASSERT_TRUE(ParseUiStep("file-cancel", &s, error, sizeof error));
  EXPECT_EQ(s.kind, kUiFileCancel);
}
