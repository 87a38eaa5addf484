// test_files.h -- scratch folders and whole-file helpers for the file tests.
//
// Paths handed to the code under test are the Windows paths the foundation builds (on Linux the
// seam shows /tmp as "\tmp\"). The helpers here look at the files independently, through
// std::filesystem and stdio, after turning such a path into the system's own form.
#ifndef KIVAGLOBE_TESTS_FOUNDATION_TEST_FILES_H
#define KIVAGLOBE_TESTS_FOUNDATION_TEST_FILES_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "foundation/file_io.h"
#include "foundation/file_locations.h"

// The system's form of a path built by the foundation.
inline std::filesystem::path SystemPath(const std::string &path) {
  std::string p = path;
  if (std::filesystem::path::preferred_separator == '/') {
    for (char &c : p) {
      if (c == '\\') c = '/';
    }
  }
  return std::filesystem::path(p);
}

inline std::vector<uint8_t> ReadWholeFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *f = fopen(SystemPath(path).string().c_str(), "rb");
  if (f == nullptr) return bytes;
  int c;
  while ((c = fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  fclose(f);
  return bytes;
}

inline void WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = fopen(SystemPath(path).string().c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline int64_t FileSize(const std::string &path) {
  std::error_code ec;
  auto n = std::filesystem::file_size(SystemPath(path), ec);
  return ec ? -1 : int64_t(n);
}

// Bytes 0, 1, 2, ... 255, 0, 1, ...
inline std::vector<uint8_t> CountingBytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = uint8_t(i);
  return v;
}

// A fixture with a fresh folder inside the temporary folder, removed afterwards.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    FileSpec temp;
    ASSERT_EQ(TempFileSpec(&temp, nullptr), 0);
    std::random_device rd;
    std::string name = "kvfoundation-" + std::to_string(rd()) + "-" + std::to_string(rd());
    FileSpec made;
    ASSERT_EQ(MakeSubFolder(&temp, name.c_str(), &made), 0);
    folder_ = made.path;
    ASSERT_TRUE(std::filesystem::is_directory(SystemPath(folder_))) << folder_;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(SystemPath(folder_), ec);
  }
  // The path of a file in the scratch folder.
  std::string In(const std::string &name) const { return folder_ + name; }

  // Opens a file of the scratch folder for reading or writing through the seam.
  FileHandle Open(const std::string &name, bool forWrite) {
    FileHandle f = kNoFile;
    EXPECT_TRUE(OpenPlatformFile(In(name).c_str(), forWrite, &f)) << name;
    return f;
  }

  std::string folder_;   // ends in a backslash
};

#endif  // KIVAGLOBE_TESTS_FOUNDATION_TEST_FILES_H
