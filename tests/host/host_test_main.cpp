// host_test_main.cpp -- the host's test program. In the Windows trees its first argument is
// the plug-in of that tree, for the tests that run it (plugin_run_test.cpp).
#include <gtest/gtest.h>

const char *gPluginPath = nullptr;

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) gPluginPath = argv[1];
  return RUN_ALL_TESTS();
}
