// The host's colour picker option as the command line gives it.
#include <gtest/gtest.h>

#include "host/host_colour.h"

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
