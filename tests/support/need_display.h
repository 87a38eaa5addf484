// need_display.h -- the verdict of a Windows test that opens windows when there is no display.
//
// Such a test cannot check anything without X, and passing it quietly would report work that
// was never done. It is not skipped either: a skipped test has crashed the 32-bit program under
// emulated Wine. It fails with a sentence that says why and how to give it a display.
#ifndef KIVAGLOBE_TESTS_SUPPORT_NEED_DISPLAY_H
#define KIVAGLOBE_TESTS_SUPPORT_NEED_DISPLAY_H

#include <gtest/gtest.h>

#include <cstdlib>

inline bool DisplayAvailable() {
  const char *display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != 0;
}

constexpr const char *kNoDisplaySentence =
    "no display: this test opens windows and checks what they do, which needs an X server "
    "(DISPLAY is unset; ./kivaglobe test starts Xvfb, or run it under xvfb-run)";

// True when the test can go on; otherwise the test has failed with the reason. (A fixture's
// SetUp uses `if (!DisplayAvailable()) GTEST_FAIL() << kNoDisplaySentence;`, so that the body
// does not run.)
inline bool NeedDisplay() {
  if (DisplayAvailable()) return true;
  ADD_FAILURE() << kNoDisplaySentence;
  return false;
}

#endif  // KIVAGLOBE_TESTS_SUPPORT_NEED_DISPLAY_H
