// The property lists that the build writes for both deliverables (native build: read from the
// files; the Windows builds read them from the DLL instead).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/plugin/pipl_check.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PropertyListTest, Kivaglobe64) {
  std::vector<uint8_t> list = ReadFile(std::string(KV_PIPL_DIR) + "/pipl64.bin");
  ASSERT_FALSE(list.empty());
  CheckPropertyList(list.data(), list.size(), 64);
}

TEST(PropertyListTest, Kivaglobe32) {
  std::vector<uint8_t> list = ReadFile(std::string(KV_PIPL_DIR) + "/pipl32.bin");
  ASSERT_FALSE(list.empty());
  CheckPropertyList(list.data(), list.size(), 32);
}

}  // namespace
