// Our JPEGs as independent readers see them (native build only; the tools come with
// ./kivaglobe setup): djpeg decodes them and reports our quantisation tables and sampling,
// exiftool finds the program name, the comment and the IPTC datasets, and ImageMagick finds
// the ICC profile and the picture sizes. A missing tool is a failure, not a skip.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "files/jpeg_codec.h"
#include "files/jpeg_files.h"
#include "files/settings_file.h"
#include "foundation/binary_io.h"
#include "tests/files/files_fixture.h"

namespace files_test {
namespace {

class JpegTools : public FilesTest {
 protected:
  // Runs a shell command in the scratch folder; its exit status.
  int Run(const std::string &command) {
    std::string line = "cd '" + SystemPath(folder_) + "' && " + command;
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Text(const std::string &name) {
    std::ifstream in(SystemPath(In(name)));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // A profile with a plausible header (size, class, colour space, signature) and no tags.
  std::vector<uint8_t> Profile(size_t size) {
    std::vector<uint8_t> p(size, 0);
    for (int i = 0; i < 4; i++) p[size_t(i)] = uint8_t(size >> (24 - 8 * i));
    const char *fields[] = {"mntr", "RGB ", "XYZ ", "acsp"};
    const size_t offsets[] = {12, 16, 20, 36};
    for (int f = 0; f < 4; f++) std::memcpy(&p[offsets[f]], fields[f], 4);
    p[8] = 0x02;
    p[9] = 0x10;
    for (size_t i = 132; i < size; i++) p[i] = uint8_t(i * 13);
    return p;
  }
  // The picture written with its metadata (and the host's profile, when given) to `name`.
  void WriteWithMetadata(const std::string &name, const std::vector<uint8_t> &profile) {
    TiledMipImage image;
    Bind(&image);
    MakePattern(&image, 128, 96, 6);
    char *master = profile.empty() ? nullptr : reinterpret_cast<char *>(const_cast<uint8_t *>(profile.data()));
    record_.iCCprofileData = profile.empty() ? nullptr : &master;
    record_.iCCprofileSize = int32_t(profile.size());
    FileSpec spec = Spec(name);
    FileHandle file = kNoFile;
    ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForWrite), 0);
    ASSERT_EQ(WriteJpegWithMetadata(&image, file, 1, true), 0);
    record_.iCCprofileData = nullptr;
    record_.iCCprofileSize = 0;
    FreeImageTiles(&image);
  }
  void WritePlain(const std::string &name, int32_t width, int32_t height, int32_t quality, IptcBuilder *iptc) {
    TiledMipImage image;
    Bind(&image);
    MakePattern(&image, width, height, 6);
    std::vector<uint8_t> block(size_t(width) * size_t(height) * 6 + 100000);
    Rect16 all = {0, 0, int16_t(height), int16_t(width)};
    int32_t count = 0;
    ASSERT_EQ(EncodeImageToJpeg(&image, &all, block.data(), int32_t(block.size()), quality, &count, nullptr, 0, iptc,
                                nullptr),
              kJpegOk);
    block.resize(size_t(count));
    WriteWholeFile(In(name), block);
    FreeImageTiles(&image);
  }
};

TEST_F(JpegTools, DjpegDecodesAndSeesOurTables) {
  WriteWithMetadata("meta.jpg", {});
  ASSERT_EQ(Run("djpeg -verbose -verbose meta.jpg > meta.ppm 2> djpeg.log"), 0) << Text("djpeg.log");
  EXPECT_EQ(Text("meta.ppm").substr(0, 14), "P6\n128 96\n255\n");
  std::string log = Text("djpeg.log");
  // The decile-8 luminance table, row by row in natural order as djpeg prints it.
  const char *rows[8] = {"2    2    2    2    3    4    5    6",   "2    2    2    2    3    4    5    6",
                         "2    2    2    2    4    5    7    9",   "2    2    2    4    5    7    9   12",
                         "3    3    4    5    8   13   12   12",   "4    4    5    7   13   12   12   12",
                         "5    5    7    9   12   12   12   12",   "6    6    9   12   12   12   12   12"};
  size_t at = log.find("Define Quantization Table 0");
  ASSERT_NE(at, std::string::npos) << log;
  for (const char *row : rows) {
    size_t next = log.find(row, at);
    EXPECT_NE(next, std::string::npos) << row;
    if (next != std::string::npos) at = next;
  }
  EXPECT_NE(log.find("Define Quantization Table 1"), std::string::npos);
  EXPECT_NE(log.find("Component 1: 1hx1v q=0"), std::string::npos) << log;
}

TEST_F(JpegTools, ExiftoolSeesProgramCommentAndIptc) {
  WriteWithMetadata("meta.jpg", {});
  ASSERT_EQ(Run("exiftool -a -G1 -s meta.jpg > exif.txt 2>&1"), 0) << Text("exif.txt");
  std::string t = Text("exif.txt");
  EXPECT_NE(t.find("Software                        : Kivaglobe"), std::string::npos) << t;
  EXPECT_NE(t.find("Comment                         : http://www.example.com/kvg/"), std::string::npos) << t;
  EXPECT_NE(t.find("Keywords                        : Kivaglobe"), std::string::npos) << t;
  EXPECT_NE(t.find("Caption-Abstract                : Made with Kivaglobe"), std::string::npos) << t;
  EXPECT_NE(t.find("Source                          : http://www.example.com/kvg/"), std::string::npos) << t;
  EXPECT_NE(t.find("ApplicationRecordVersion        : 2"), std::string::npos) << t;
  EXPECT_NE(t.find("DateCreated"), std::string::npos) << t;
  EXPECT_EQ(t.find("Warning"), std::string::npos) << t;

  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  AddIptcKeyword(&iptc, "Cloud mask");
  AddIptcKeyword(&iptc, "cities");
  WritePlain("keywords.jpg", 32, 32, 80, &iptc);
  FreeIptcBuffer(&iptc);
  ASSERT_EQ(Run("exiftool -s -Keywords keywords.jpg > keywords.txt 2>&1"), 0);
  EXPECT_NE(Text("keywords.txt").find("Keywords                        : Kivaglobe, Cloud mask, cities"),
            std::string::npos)
      << Text("keywords.txt");
}

TEST_F(JpegTools, HostProfileReachesTheReaders) {
  for (size_t size : {size_t(3000), size_t(65520)}) {
    std::vector<uint8_t> profile = Profile(size);
    WriteWithMetadata("icc.jpg", profile);
    ASSERT_EQ(Run("identify -verbose icc.jpg > identify.txt 2>&1"), 0) << Text("identify.txt");
    EXPECT_NE(Text("identify.txt").find("Profile-icc: " + std::to_string(size) + " bytes"), std::string::npos)
        << Text("identify.txt");
    ASSERT_EQ(Run("exiftool -b -icc_profile icc.jpg > extracted.icc 2> extract.log"), 0);
    EXPECT_EQ(ReadWholeFile(In("extracted.icc")), profile) << size;
  }
}

TEST_F(JpegTools, SizesAndSampling) {
  WritePlain("thin.jpg", 10, 300, 80, nullptr);
  ASSERT_EQ(Run("identify -format '%w %h %[jpeg:sampling-factor]' thin.jpg > thin.txt"), 0);
  EXPECT_EQ(Text("thin.txt"), "16 300 1x1,1x1,1x1");
  WritePlain("q45.jpg", 64, 64, 45, nullptr);
  ASSERT_EQ(Run("identify -format '%[jpeg:sampling-factor]' q45.jpg > q45.txt"), 0);
  EXPECT_EQ(Text("q45.txt"), "2x2,1x1,1x1");
}

// The thumbnail block of a preset is a JPEG any reader takes.
TEST_F(JpegTools, PresetThumbnailIsAJpeg) {
  PaintThumbnail(4);
  FileSpec spec = Spec("preset.q1q");
  ASSERT_EQ(SaveSettingsFile(&globals_, &spec), 0);
  std::vector<uint8_t> f = ReadWholeFile(In("preset.q1q"));
  ASSERT_GT(f.size(), 300u);
  uint32_t n = WordAt(f, 74);
  ASSERT_EQ(f.size(), 300u + n);
  WriteWholeFile(In("thumb.jpg"), std::vector<uint8_t>(f.begin() + 300, f.end()));
  ASSERT_EQ(Run("identify -format '%w %h' thumb.jpg > thumb.txt"), 0);
  EXPECT_EQ(Text("thumb.txt"), "128 128");
  EXPECT_EQ(Run("djpeg thumb.jpg > /dev/null"), 0);
}

}  // namespace
}  // namespace files_test
