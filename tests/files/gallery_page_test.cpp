// The gallery pages' HTML and the batch refresh's file rules, on the files fixture's host
// (no preview: thumbnails keep their empty look). The expected markup is written out here from
// the page's layout, piece by piece, not taken from the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/batch_refresh.h"
#include "files/gallery_pages.h"
#include "files/settings_file.h"
#include "tests/files/files_fixture.h"
#include "tests/files/gallery_test_support.h"

namespace files_test {
namespace {

size_t Count(const std::string &text, const std::string &piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
  return n;
}

class GalleryPageTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    saved_ = gGalleryDialogProcs;
    RecordGalleryCalls(&calls_);
  }
  void TearDown() override {
    gGalleryDialogProcs = saved_;
    FilesTest::TearDown();
  }
  // A folder of the scratch folder holding a preset of each name.
  FileSpec PresetFolder(const std::string &name, const std::vector<std::string> &presets) {
    FileSpec made{}, scratch = Spec("");
    EXPECT_EQ(MakeSubFolder(&scratch, name.c_str(), &made), 0);
    for (const std::string &preset : presets) {
      FileSpec spec{};
      JoinFileSpecPath(&spec, made.path, preset.c_str(), kPathCapacity);
      EXPECT_EQ(SaveSettingsFile(&globals_, &spec), 0) << preset;
    }
    return made;
  }
  std::string Page(const FileSpec &page) {
    std::vector<uint8_t> bytes = ReadWholeFile(page.path);
    return std::string(bytes.begin(), bytes.end());
  }

  GalleryDialogProcs saved_;
  GalleryCalls calls_;
};

// The head of a presets page, as the layout lists its pieces.
std::string ExpectedHead(const std::string &escapedFolder) {
  return "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n<html>\r\n<head>\r\n"
         "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n"
         "<meta name=\"generator\" content=\"Corvalane Kivaglobe\"><title>Kivaglobe presets</title>\r\n"
         "</head>\r\n\r\n<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n"
         "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Kivaglobe presets from " +
         escapedFolder +
         "<br>\r\n</b></font></p><table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" "
         "align=\"center\">";
}

const char kFiller[] =
    "<td align=\"center\" valign=\"top\" width=\"20%\"><p></p>\r\n<div align=\"center\">\r\n<p><font "
    "face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p>\r\n</div>\r\n</td>\r\n\r\n";
const char kSpacerCell[] = "<td align=\"center\" valign=\"top\" width=\"20%\"><p>&nbsp;</p></td>";

// Six presets: a first row of five cells, a second of one cell and four fillers, in name order
// whatever order the folder lists them in; names escaped in the text and percent-encoded, from
// the file actually written, in the links.
TEST_F(GalleryPageTest, SixPresetsMakeTwoRowsInNameOrderWithEscapedNamesAndLinks) {
  FileSpec folder = PresetFolder("Planets & moons", {"plain.q1q", "dot 2.q1q", "caf\xe9.q1q", "a&b.q1q", "Zeta.q1q",
                                                     "another.Q1Q"});
  FileSpec sub{};
  ASSERT_EQ(MakeSubFolder(&folder, "folder.q1q", &sub), 0);   // a folder is no preset
  WriteWholeFile(std::string(folder.path) + "notes.txt", {1, 2, 3});
  FileSpec page = Spec("gallery.html");
  ASSERT_EQ(WritePresetsPage(&globals_, &page, &folder, 0), 0);
  const std::string html = Page(page);

  std::string escapedFolder = folder.path;
  escapedFolder.replace(escapedFolder.find("&"), 1, "&amp;");
  EXPECT_EQ(html.compare(0, ExpectedHead(escapedFolder).size(), ExpectedHead(escapedFolder)), 0) << html.substr(0, 900);

  // The first cell in full: an 88 x 88 picture in a 94 x 95 frame.
  const std::string firstCell =
      "<tr><td align=\"center\" valign=\"top\" width=\"20%\">\r\n"
      "<table id=\"Table_01\" width=\"94\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" height=\"95\">\r\n"
      "<tr>\r\n<td colspan=\"3\"><img src=\"web_images/top.gif\" width=\"94\" height=\"2\" border=\"0\"></td>\r\n"
      "</tr>\r\n<tr>\r\n<td><img src=\"web_images/left.gif\" width=\"3\" height=\"88\" border=\"0\"></td>\r\n<td>"
      "<img src=\"web_images/a%26b.jpg\" alt=\"a&amp;b.jpg\" width=\"88\" height=\"88\" border=\"0\"></td>\r\n"
      "<td><img src=\"web_images/right.gif\" width=\"3\" height=\"88\" border=\"0\"></td>\r\n</tr>\r\n<tr>\r\n"
      "<td colspan=\"3\"><img src=\"web_images/bottom.gif\" width=\"94\" height=\"5\" border=\"0\"></td>\r\n"
      "</tr>\r\n</table>\r\n<div align=\"center\">\r\n<br><font  size=\"3\" "
      "face=\"Gill Sans,Verdana,Helvetica,Arial\">a&amp;b</font></div></td>\r\n\r\n";
  EXPECT_NE(html.find(firstCell), std::string::npos);

  // Name order, ignoring case: a&b, another, café, dot 2, plain, Zeta.
  std::vector<size_t> at;
  for (const char *caption : {">a&amp;b</font>", ">another</font>", ">caf&#233;</font>", ">dot 2</font>",
                              ">plain</font>", ">Zeta</font>"})
    at.push_back(html.find(caption));
  for (size_t i = 0; i < at.size(); i++) EXPECT_NE(at[i], std::string::npos) << i;
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  EXPECT_NE(html.find("src=\"web_images/dot%202.jpg\""), std::string::npos);
  // é (0xE9) is written as 0x89 by the file-name rule, which is U+2030 in the ANSI code page.
  EXPECT_NE(html.find("src=\"web_images/caf%E2%80%B0.jpg\""), std::string::npos);
  EXPECT_FALSE(ReadWholeFile(In("web_images\\caf\x89.jpg")).empty());

  // Rows: 5 cells, </tr>, spacer row; 1 cell and 4 fillers, </tr>, spacer row; the end.
  EXPECT_EQ(Count(html, "<tr><td align=\"center\" valign=\"top\" width=\"20%\">\r\n<table"), 2u);
  EXPECT_EQ(Count(html, kFiller), 4u);
  std::string spacerRow = "</tr>\r\n<tr>";
  for (int i = 0; i < 5; i++) spacerRow += kSpacerCell;
  spacerRow += "</tr>";
  EXPECT_EQ(Count(html, spacerRow), 2u);
  const std::string end = std::string(kFiller) + spacerRow + "</table><br>\r\n</body></html>";
  ASSERT_GE(html.size(), end.size());
  EXPECT_EQ(html.substr(html.size() - end.size()), end);

  // The pictures and frame images beside the page; the preset files are untouched.
  for (const char *name : {"a&b.jpg", "another.jpg", "dot 2.jpg", "plain.jpg", "Zeta.jpg", "top.gif", "left.gif",
                           "right.gif", "bottom.gif"})
    EXPECT_TRUE(FileExists(In(std::string("web_images\\") + name))) << name;
  EXPECT_EQ(ReadWholeFile(In("web_images\\top.gif")).size(), 54u);
}

TEST(GalleryEscapes, TextsAndLinksAreEscapedAndBounded) {
  char out[64];
  ASSERT_TRUE(EscapeHtmlText("say \"hi\" <now> & \xe9\x80", out, sizeof out));
  EXPECT_STREQ(out, "say &quot;hi&quot; &lt;now&gt; &amp; &#233;&#8364;");
  ASSERT_TRUE(EscapeUrlText("a&b+c~d_e-f# \xe9", out, sizeof out));
  EXPECT_STREQ(out, "a%26b%2Bc~d_e-f%23%20%C3%A9");
  EXPECT_FALSE(EscapeHtmlText("&&&", out, 12));   // refused whole, never cut
  EXPECT_STREQ(out, "");
}

// The commands: a page is opened only when it was written; one that could not be written, or
// whose picture names would not fit the path field, is reported to the user instead.
TEST_F(GalleryPageTest, OnlyAWrittenPageIsOpenedAndFailuresAreReported) {
  FileSpec folder = PresetFolder("ok", {"one.q1q"});
  calls_.folder = folder.path;
  calls_.pageFile = In("good.html");
  ExportPresetsHtml(&globals_, nullptr, 0);
  ASSERT_EQ(calls_.opened.size(), 1u);
  EXPECT_EQ(calls_.opened[0], In("good.html"));
  EXPECT_TRUE(calls_.messages.empty());
  EXPECT_EQ(std::string(Block()->psdName), In("good.html"));
  EXPECT_EQ(calls_.saveNames, std::vector<std::string>{"Kivaglobe presets.html"});

  // A page in a folder that does not exist.
  calls_.pageFile = In("missing\\folder\\bad.html");
  ExportPresetsHtml(&globals_, nullptr, 0);
  EXPECT_EQ(calls_.opened.size(), 1u);
  ASSERT_EQ(calls_.messages.size(), 1u);
  EXPECT_EQ(calls_.messages[0].find(kPageNotWrittenMessage), 0u);

  // Preset and page paths that fit, picture paths that would not: refused before anything is
  // written.
  const int32_t room = kPathCapacity - 1 - int32_t(folder_.size());
  std::string deep = std::string(size_t(room - 60), 'd');
  FileSpec scratch = Spec(""), deepFolder{};
  ASSERT_EQ(MakeSubFolder(&scratch, deep.c_str(), &deepFolder), 0);
  ASSERT_NE(deepFolder.path[0], 0);
  const std::string preset = std::string(50, 'p') + ".q1q";   // the preset's path: 255 bytes
  FileSpec presetSpec{};
  JoinFileSpecPath(&presetSpec, deepFolder.path, preset.c_str(), kPathCapacity);
  ASSERT_EQ(SaveSettingsFile(&globals_, &presetSpec), 0);
  calls_.folder = deepFolder.path;
  calls_.pageFile = std::string(deepFolder.path) + "g.html";
  ExportPresetsHtml(&globals_, nullptr, 0);
  EXPECT_EQ(calls_.opened.size(), 1u);
  ASSERT_EQ(calls_.messages.size(), 2u);
  EXPECT_EQ(calls_.messages[1], kNamesTooLongMessage);
  EXPECT_FALSE(FileExists(calls_.pageFile));
  EXPECT_FALSE(FileExists(std::string(deepFolder.path) + "web_images"));
}

// ---- Batch refresh: which files take part -----------------------------------------------------

// A fixture folder with queued, done, foreign, read-only and unreadable files, in a folder
// whose own name has a dot: only the queued and done presets are refreshed, through the safe
// save, and only the queued ones renamed; everything else keeps its name and bytes.
TEST_F(GalleryPageTest, TheBatchRefreshesOnlyQueuedAndDonePresets) {
  FileSpec scratch = Spec(""), folder{};
  ASSERT_EQ(MakeSubFolder(&scratch, "queue.dir", &folder), 0);
  const std::string f = folder.path;
  FileSpec spec{};
  // Presets with distinct settings and no thumbnail.
  FreeImageTiles(&globals_.workImage);
  int32_t size = 30;
  for (const char *name : {"a.q9q", "b.q5q", "c.q1q", "E.Q9Q", "d.q9q", "d.q5q", "x.q9q"}) {
    Block()->planetSize = uint32_t(size++);
    JoinFileSpecPath(&spec, folder.path, name, kPathCapacity);
    ASSERT_EQ(SaveSettingsFile(&globals_, &spec), 0);
    EXPECT_EQ(ReadWholeFile(f + name).size(), 288u);
  }
  ASSERT_TRUE(CreateImage(&globals_.workImage, 128, 128, kFormatPacked8, 0));
  const std::vector<uint8_t> foreign = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'e', 's', 'e', 't'};
  for (const char *name : {"Q9Q-list.txt", "q9qlist", "y.q9q"}) WriteWholeFile(f + name, foreign);
  FileSpec sub{};
  ASSERT_EQ(MakeSubFolder(&folder, "inner.q9q", &sub), 0);
  MakeReadOnly(f + "x.q9q");

  const char *untouched[] = {"c.q1q", "Q9Q-list.txt", "q9qlist", "x.q9q", "y.q9q"};
  std::vector<std::vector<uint8_t>> bytesBefore;
  for (const char *name : untouched) bytesBefore.push_back(ReadWholeFile(f + name));

  Block()->planetSize = 77;
  std::strcpy(Block()->settingsName, "mine.q1q");
  calls_.folder = f;
  BatchReport report{};
  EXPECT_EQ(BatchRenderFolder(&globals_, nullptr, &report), kBatchDone);
  EXPECT_EQ(report.refreshed, 5);   // a, b, E, d.q9q, d.q5q
  EXPECT_EQ(report.renamed, 2);     // a and E; d.q9q finds d.q5q in its way
  EXPECT_EQ(report.skipped, 2);     // y.q9q does not read; x.q9q is read-only
  EXPECT_EQ(report.failed, 0);
  // The one closing message gives the counts.
  ASSERT_EQ(calls_.messages.size(), 1u);
  EXPECT_EQ(calls_.messages[0], std::string(kBatchDoneMessage) +
                                    "\r\n5 refreshed, 2 skipped (read-only, unreadable or not a preset), 0 failed.");
  calls_.messages.clear();
  EXPECT_EQ(Block()->planetSize, 77u);   // the settings before the batch are back, with their name
  EXPECT_STREQ(Block()->settingsName, "mine.q1q");

  EXPECT_EQ(FolderNames(f), (std::vector<std::string>{"a.q5q", "b.q5q", "c.q1q", "d.q5q", "d.q9q", "E.Q5Q",
                                                      "inner.q9q", "Q9Q-list.txt", "q9qlist", "x.q9q", "y.q9q"}));
  for (size_t i = 0; i < bytesBefore.size(); i++) EXPECT_EQ(ReadWholeFile(f + untouched[i]), bytesBefore[i]) << i;
  // Refreshed: each keeps its own settings and now carries a thumbnail block.
  const std::pair<const char *, uint32_t> refreshed[] = {{"a.q5q", 30}, {"b.q5q", 31}, {"E.Q5Q", 33},
                                                         {"d.q9q", 34}, {"d.q5q", 35}};
  for (const auto &[name, planetSize] : refreshed) {
    std::vector<uint8_t> bytes = ReadWholeFile(f + name);
    ASSERT_GT(bytes.size(), 300u) << name;
    EXPECT_EQ(WordAt(bytes, 0), 40u) << name;
    EXPECT_EQ(WordAt(bytes, 71), 1u) << name;    // thumbnail block version
    EXPECT_EQ(WordAt(bytes, 74), bytes.size() - 300) << name;
    EXPECT_EQ(PlanetSizeOf(bytes), planetSize) << name;
  }
  MakeWritable(f + "x.q9q");

  // A second batch while one runs is refused; a cancelled folder choice starts nothing.
  gBatchRefreshRunning = true;
  EXPECT_EQ(BatchRenderFolder(&globals_, nullptr, &report), kBatchNotStarted);
  gBatchRefreshRunning = false;
  calls_.folder.clear();
  EXPECT_EQ(BatchRenderFolder(&globals_, nullptr, &report), kBatchNotStarted);
  EXPECT_FALSE(gBatchRefreshRunning);
  // A folder that is gone is reported.
  calls_.folder = f + "gone\\";
  EXPECT_EQ(BatchRenderFolder(&globals_, nullptr, &report), kBatchFolderUnreadable);
  ASSERT_EQ(calls_.messages.size(), 1u);
  EXPECT_EQ(calls_.messages[0].find(kFolderUnreadableMessage), 0u);
}

}  // namespace
}  // namespace files_test
