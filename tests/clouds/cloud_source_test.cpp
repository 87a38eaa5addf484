// Cloud sources: the built-in table, the date codes against Python's datetime, the stamps and
// their bound, and the resolution through the source list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "clouds/cloud_files.h"
#include "clouds/cloud_source.h"

namespace {

TEST(CloudSource, BuiltInTableAndFreshRecord) {
  CloudSource s;
  ASSERT_EQ(GetCloudSource(6, &s), 0);
  EXPECT_STREQ(s.label, "GOES-West visible 4 km");
  EXPECT_EQ(s.boxX, 52.0f);
  EXPECT_EQ(s.boxWidth, 2709.0f);
  EXPECT_EQ(s.boxY, 273.0f);
  EXPECT_EQ(s.boxHeight, 2652.0f);
  EXPECT_EQ(s.blackLevel, 0.6f);
  EXPECT_EQ(s.overlayIndex1, 0);
  EXPECT_EQ(s.overlayIndex2, 1);
  EXPECT_EQ(s.variant, 2);
  EXPECT_EQ(s.urlForm, kUrlDateCodes);
  EXPECT_EQ(s.flags, 0);
  EXPECT_EQ(s.present, 1);
  EXPECT_NE(std::strstr(s.url, "/xrit/135.0W/GOES/>c>y/>p/>q/2100/>c>y_>p_>q_2100_GOES11_1_S1.jpeg"), nullptr);
  ASSERT_EQ(GetCloudSource(3, &s), 0);
  EXPECT_STREQ(s.label, "GOES-8 infrared 18 km");
  EXPECT_NE(std::strstr(s.url, "/data/east/latest_eastirhem.gif"), nullptr);
  // Every built-in address is plain HTTP on a reserved example domain.
  for (int32_t i = 0; i < kBuiltInCloudSourceCount; i++) {
    ASSERT_EQ(GetCloudSource(i, &s), 0);
    EXPECT_EQ(std::strncmp(s.url, "http://", 7), 0);
    EXPECT_TRUE(std::strstr(s.url, ".example.org/") != nullptr || std::strstr(s.url, ".example.net/") != nullptr) << s.url;
  }
  for (int32_t bad : {10, 11, -1, 40}) {
    EXPECT_EQ(GetCloudSource(bad, &s), 3);
    EXPECT_STREQ(s.label, "n/a");
    EXPECT_EQ(s.url[0], 0);
    EXPECT_EQ(s.boxWidth, 473.0f);
    EXPECT_EQ(s.present, 0);
  }
}

TEST(CloudSource, DateCodesAgreeWithPythonDatetime) {
  const std::string command = std::string("python3 '") + KV_CLOUDS_TEST_DATA + "/date_codes.py'";
  FILE *pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  int lines = 0;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream words(line);
    UtcDateHour when{};
    std::string expanded, noon, hour;
    words >> when.year >> when.month >> when.day >> when.hour >> expanded >> noon >> hour;
    char url[kCloudTextCapacity] = ">c>y/>m/>d/>h>i>j>k>l>n/>p/>q/>x/>>y>";
    ExpandUrlTemplate(url, when);
    ASSERT_EQ(std::string(url), expanded) << line;
    char stamped[kCloudTextCapacity] = "u";
    ASSERT_TRUE(MakeNoonTimeStamp(stamped, when));
    ASSERT_EQ(std::string(stamped), "u" + noon + ".gif") << line;
    stamped[1] = 0;
    ASSERT_TRUE(MakeHourTimeStamp(stamped, when));
    ASSERT_EQ(std::string(stamped), "u" + hour + ".gif") << line;
    lines++;
  }
  pclose(pipe);
  EXPECT_GT(lines, 4000);
}

TEST(CloudSource, WorkedDates) {
  char url[kCloudTextCapacity] = ">c>y/>p/>q/>h>i";
  ExpandUrlTemplate(url, UtcDateHour{2009, 3, 1, 14});
  EXPECT_STREQ(url, "2009/3/1/1412");
  CloudSource s;
  ASSERT_EQ(GetCloudSource(6, &s), 0);
  ASSERT_TRUE(CompleteCloudUrl(&s, UtcDateHour{2009, 3, 15, 23}));
  EXPECT_NE(std::strstr(s.url, "/xrit/135.0W/GOES/2009/3/14/2100/2009_3_14_2100_GOES11_1_S1.jpeg"), nullptr) << s.url;
}

TEST(CloudSource, StampsThatWouldNotFitAreRefused) {
  // 245 characters take the 14 of a stamp and ".gif" (259 in all); 246 do not.
  CloudSource s;
  GetCloudSource(0, &s);
  s.urlForm = kUrlNoonStamp;
  std::memset(s.url, 'a', 245);
  s.url[245] = 0;
  EXPECT_TRUE(CompleteCloudUrl(&s, UtcDateHour{2009, 3, 15, 23}));
  EXPECT_EQ(std::strlen(s.url), 259u);
  s.urlForm = kUrlHourStamp;
  std::memset(s.url, 'a', 246);
  s.url[246] = 0;
  EXPECT_FALSE(CompleteCloudUrl(&s, UtcDateHour{2009, 3, 15, 23}));
  EXPECT_EQ(std::strlen(s.url), 246u);
  std::memset(s.url, 'b', 259);
  s.url[259] = 0;
  s.urlForm = kUrlNoonStamp;
  EXPECT_FALSE(CompleteCloudUrl(&s, UtcDateHour{2009, 3, 15, 23}));
  EXPECT_EQ(std::strlen(s.url), 259u);
}

}  // namespace
