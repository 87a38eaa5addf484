// gallery_test_support.h -- what the gallery tests share: a recording stand-in for the
// dialog's choosers, message box and browser, and looks at folders from outside the code.
#ifndef KIVAGLOBE_TESTS_FILES_GALLERY_TEST_SUPPORT_H
#define KIVAGLOBE_TESTS_FILES_GALLERY_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

struct GalleryCalls {
  std::string folder;     // the folder the chooser answers; empty: cancelled
  std::string pageFile;   // the file the save dialog answers; empty: cancelled
  std::vector<std::string> opened;     // pages handed to the browser
  std::vector<std::string> messages;   // texts shown to the user
  std::vector<std::string> saveTitles;
  std::vector<std::string> saveNames;
  std::vector<int32_t> folderKinds;
};

// Points every procedure of gGalleryDialogProcs at recorders of `calls`.
void RecordGalleryCalls(GalleryCalls *calls);

// The names in a folder (Windows form of the path), sorted ignoring case.
std::vector<std::string> FolderNames(const std::string &folder);

void MakeReadOnly(const std::string &path);
void MakeWritable(const std::string &path);

// Word 14 of a settings file: its planet size.
uint32_t PlanetSizeOf(const std::vector<uint8_t> &bytes);

// The picture cells of a page as a reader sees them: the picture's link and alt text and the
// caption under it, in page order.
struct PageCell {
  std::string src, alt, caption;
};
std::vector<PageCell> PageCells(const std::string &html);

// A UTF-8 text as a page's numeric references: ASCII as it is, every other character &#N;.
std::string AsReferences(const std::string &utf8);

// The mean level of a JPEG's samples by stb_image, a decoder of its own; -1000 when it does
// not decode.
double MeanLevel(const std::vector<uint8_t> &jpeg);

#endif  // KIVAGLOBE_TESTS_FILES_GALLERY_TEST_SUPPORT_H
