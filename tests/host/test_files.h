// test_files.h -- scratch files for the host's tests, in the platform's temporary folder.
#ifndef KIVAGLOBE_TESTS_HOST_TEST_FILES_H
#define KIVAGLOBE_TESTS_HOST_TEST_FILES_H

#include <cstdio>
#include <filesystem>
#include <string>

inline std::string TempPath(const std::string &name) {
  return (std::filesystem::temp_directory_path() / ("kv_host_" + name)).string();
}

inline std::string ReadTextFile(const std::string &path) {
  std::string text;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  return text;
}

#endif  // KIVAGLOBE_TESTS_HOST_TEST_FILES_H
