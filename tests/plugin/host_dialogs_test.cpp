// host_dialogs_test.cpp -- the message texts' substitution of "^0".."^3".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "plugin/host_dialogs.h"

static std::string Substituted(const char *text) {
  char buffer[kMessageTextSize];
  std::snprintf(buffer, sizeof buffer, "%s", text);
  SubstituteMessageArgs(buffer);
  return buffer;
}

TEST(MessageArgsTest, StoredStringsReplaceTheirMarks) {
  SetMessageArgs("zero", "one", "", nullptr);
  EXPECT_EQ(Substituted("a ^1 b ^0^0"), "a one b zerozero");
  // An empty string leaves its mark, and so does a mark that is not 0..3.
  EXPECT_EQ(Substituted("^2 ^3 ^4 ^x ^"), "^2 ^3 ^4 ^x ^");
  // What was put in is not looked at again.
  SetMessageArgs("^1", "loop", "", "");
  EXPECT_EQ(Substituted("[^0]"), "[^1]");
  SetMessageArgs("", "", "", "");
  EXPECT_EQ(Substituted("^0"), "^0");
}

TEST(MessageArgsTest, TheTextStaysInsideItsBuffer) {
  std::string longArg(kMessageTextSize + 200, 'x');
  SetMessageArgs(longArg.c_str(), "", "", "");
  std::string result = Substituted("ab^0^0");
  EXPECT_EQ(result.size(), size_t(kMessageTextSize - 1));
  EXPECT_EQ(result.substr(0, 3), "abx");
  SetMessageArgs("", "", "", "");
}
