// private_temp_win32.cpp -- gives a Windows test program a temporary folder of its own.
//
// The plug-in keeps state between runs in the temporary folder (the cached settings of the
// last accepted planet, the undo files, the memory-dot map), as it should for a user. For
// tests that state is cross-talk: a program that runs the plug-in with its dialog leaves
// cached settings behind, and the next program's run without a recorded action starts from
// them. Linking this file in points TMP and TEMP of the process (which GetTempPathA reads, in
// the plug-in as well, since it runs in the same process) at a fresh folder for the program's
// lifetime, and removes the folder at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

void RemoveFolder(const std::string &folder) {
  WIN32_FIND_DATAA entry;
  HANDLE scan = FindFirstFileA((folder + "*").c_str(), &entry);
  if (scan != INVALID_HANDLE_VALUE) {
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) DeleteFileA((folder + entry.cFileName).c_str());
    } while (FindNextFileA(scan, &entry));
    FindClose(scan);
  }
  RemoveDirectoryA(folder.c_str());
}

class PrivateTempFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    char base[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof base, base);
    ASSERT_TRUE(length > 0 && length < sizeof base);
    char name[64];
    std::snprintf(name, sizeof name, "kivaglobe-test-%lu\\", static_cast<unsigned long>(GetCurrentProcessId()));
    folder_ = std::string(base) + name;
    RemoveFolder(folder_);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
    SetEnvironmentVariableA("TMP", folder_.c_str());
    SetEnvironmentVariableA("TEMP", folder_.c_str());
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveFolder(folder_);
  }

 private:
  std::string folder_;
};

const ::testing::Environment *const gPrivateTemp = ::testing::AddGlobalTestEnvironment(new PrivateTempFolder);

}  // namespace
