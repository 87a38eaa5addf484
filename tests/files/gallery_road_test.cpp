// The gallery pages and the batch refresh on the whole road: the plug-in's code, linked into
// this program, runs in a session of the stand-in host, whose filter record, preview delivery
// and displayPixels are the host's own. The main dialog would start these commands between
// Start and the end of the run; here the test does, on the plug-in's globals, with a recording
// stand-in for the dialog's choosers and the browser.
//
// When KV_GALLERY_OUT names a folder, the pages are written there (one folder per page) for
// the page check, which reads them with tidy and a headless browser.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "files/batch_refresh.h"
#include "files/gallery_pages.h"
#include "files/settings_file.h"
#include "files/temp_files.h"
#include "foundation/code_page.h"
#include "host/host_session.h"
#include "plugin/dispatch.h"
#include "plugin/preview.h"
#include "plugin/row_loop.h"
#include "tests/files/files_fixture.h"
#include "tests/files/gallery_test_support.h"
#include "tests/host/pipl_builder.h"

#define STBI_ONLY_JPEG
#include <stb_image.h>   // the host's decoder (host/stb_image_impl.cpp): a second reader

namespace files_test {
namespace {

void KV_HOSTAPI LinkedEntry(int16_t selector, FilterRecord *record, intptr_t *data, int16_t *result) {
  DispatchSelector(selector, record, data, result);
}

void *FindLinkedEntry(void *, const char *name) {
  return std::strcmp(name, "PluginMain") == 0 ? reinterpret_cast<void *>(LinkedEntry) : nullptr;
}

std::vector<uint8_t> gLinkedPipl;
HostSession *gSession = nullptr;
PluginGlobals *gGlobals = nullptr;
std::vector<HostImage> gShown;   // the preview the host showed after each batch render

// The dialog's repaint after a preview render: the preview is drawn through the host.
void RepaintAfterPreview(PluginGlobals *globals, void *) {
  DrawPreview(globals, 0, kPreviewItem);
  gShown.push_back(gSession->display.image);
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

Picture Decode(const std::vector<uint8_t> &bytes) {
  Picture p;
  int n = 0;
  unsigned char *data = stbi_load_from_memory(bytes.data(), int(bytes.size()), &p.width, &p.height, &n, 3);
  if (data != nullptr) {
    p.rgb.assign(data, data + size_t(p.width) * size_t(p.height) * 3);
    stbi_image_free(data);
  }
  return p;
}

// The thumbnail of a settings file: the JPEG stream of its thumbnail block at byte 284.
Picture ThumbnailOf(const std::vector<uint8_t> &file) {
  if (file.size() < 300 || WordAt(file, 71) != 1) return Picture{};
  return Decode(std::vector<uint8_t>(file.begin() + 300, file.end()));
}

// The largest difference, over a 4 x 4 grid of blocks and the three channels, between block
// means of the thumbnail and of the centred square of a shown preview.
int BlockDifference(const Picture &thumb, const HostImage &shown) {
  const int side = std::min(shown.width, shown.height);
  const int left = (shown.width - side) / 2, top = (shown.height - side) / 2;
  int worst = 0;
  for (int by = 0; by < 4; by++)
    for (int bx = 0; bx < 4; bx++)
      for (int c = 0; c < 3; c++) {
        long a = 0, b = 0, na = 0, nb = 0;
        for (int y = by * thumb.height / 4; y < (by + 1) * thumb.height / 4; y++)
          for (int x = bx * thumb.width / 4; x < (bx + 1) * thumb.width / 4; x++, na++)
            a += thumb.rgb[(size_t(y) * thumb.width + x) * 3 + c];
        for (int y = by * side / 4; y < (by + 1) * side / 4; y++)
          for (int x = bx * side / 4; x < (bx + 1) * side / 4; x++, nb++)
            b += HostImagePixel(shown, left + x, top + y)[c];
        worst = std::max(worst, int(std::labs(a / na - b / nb)));
      }
  return worst;
}

class GalleryRoadTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    saved_ = gGalleryDialogProcs;
    RecordGalleryCalls(&calls_);
    gGalleryDialogProcs.repaintAfterPreview = RepaintAfterPreview;
    gShown.clear();

    std::vector<const char *> args = {"kivahost", "--plugin", "linked", "--size", "160x120"};
    HostOptions options;
    char error[1024] = "";
    ASSERT_TRUE(ParseHostOptions(int(args.size()), args.data(), &options, error, sizeof error)) << error;
    gLinkedPipl = FilterPipl(HostCodePropertyKey(), "PluginMain").Bytes();
    PluginModule module = {};
    module.properties = gLinkedPipl.data();
    module.propertiesSize = gLinkedPipl.size();
    module.findExport = FindLinkedEntry;
    reportPath_ = In("session.txt");
    report_ = std::fopen(SystemPath(reportPath_).c_str(), "wb");
    session_ = new HostSession();
    gSession = session_;
    ASSERT_TRUE(OpenHostSession(session_, options, module, report_, error, sizeof error)) << error;
    ASSERT_EQ(CallSelector(session_, kSelectorPrepare), 0);
    ASSERT_EQ(CallSelector(session_, kSelectorStart), 0);
    g_ = reinterpret_cast<PluginGlobals *>(*reinterpret_cast<HostHandle>(session_->dataSlot));
    gGlobals = g_;
    g_->resultPtr = &hostResult_;
    p_ = GetParameterBlock(g_);
    ASSERT_NE(p_, nullptr);
    // The dialog's live preview, as the dialog sets it up.
    g_->previewArea = Rect16{0, 0, 300, 300};
    Rect16 scaled = g_->previewArea;
    int32_t factor = 0;
    ComputeSampleFactor(&session_->record.filterRect, &scaled, &factor, g_);
    RequestPreviewArea(g_, factor);
    ASSERT_EQ(hostResult_, 0);
    p_->renderTarget = 1;
    g_->previewWindow = session_;
  }

  void TearDown() override {
    if (session_ != nullptr) {
      // The dialog's OK: the real render starts and the host aborts it at once.
      if (g_ != nullptr) {
        p_->renderTarget = 0;
        g_->previewWindow = nullptr;
        hostResult_ = 0;
        StartRender(g_);
        session_->options.abortAtRow = 0;
        CallSelector(session_, kSelectorContinue);
        EXPECT_EQ(FinishHostSession(session_), kHostStatusOk);
      }
      CloseHostSession(session_);
      delete session_;
    }
    if (report_ != nullptr) std::fclose(report_);
    gSession = nullptr;
    gGalleryDialogProcs = saved_;
    FilesTest::TearDown();
  }

  // The folder a page is written in: KV_GALLERY_OUT/<name>\ when given, else the scratch folder.
  std::string PageFolder(const std::string &name) {
    const char *out = std::getenv("KV_GALLERY_OUT");
    std::string base = out != nullptr && out[0] != 0 ? out : folder_;
#ifdef _WIN32
    if (!base.empty() && base[0] == '/') base = "Z:" + base;
    for (char &c : base)
      if (c == '/') c = '\\';
#endif
    if (base.back() != '\\' && base.back() != '/') base += '\\';
    std::string folder = base + name + "\\";
    std::error_code ec;
    std::filesystem::remove_all(SystemPath(folder), ec);
    std::filesystem::create_directories(SystemPath(folder), ec);
    return folder;
  }

  // Queued presets with distinct planets, refreshed by the batch, then given the preset
  // extension: presets with real thumbnails, as a user makes them.
  FileSpec RenderedPresets(const std::string &name, const std::vector<std::string> &names) {
    FileSpec scratch = Spec(""), folder{};
    EXPECT_EQ(MakeSubFolder(&scratch, name.c_str(), &folder), 0);
    uint32_t keep = p_->planetSize;
    for (size_t i = 0; i < names.size(); i++) {
      p_->planetSize = uint32_t(25 + 12 * i);
      p_->randomSeed = uint32_t(100 + i);
      FileSpec spec{};
      JoinFileSpecPath(&spec, folder.path, (names[i] + ".q9q").c_str(), kPathCapacity);
      EXPECT_EQ(SaveSettingsFile(g_, &spec), 0);
    }
    p_->planetSize = keep;
    calls_.folder = folder.path;
    BatchReport report{};
    EXPECT_EQ(BatchRenderFolder(g_, nullptr, &report), kBatchDone);
    EXPECT_EQ(report.renamed, int32_t(names.size()));
    // The batch's closing message is its only one.
    EXPECT_EQ(calls_.messages.size(), 1u);
    calls_.messages.clear();
    for (const std::string &n : names) {
      std::error_code ec;
      std::filesystem::rename(SystemPath(std::string(folder.path) + n + ".q5q"),
                              SystemPath(std::string(folder.path) + n + ".q1q"), ec);
      EXPECT_FALSE(ec) << n;
    }
    return folder;
  }

  std::string PageText(const std::string &path) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  }

  GalleryDialogProcs saved_{};
  GalleryCalls calls_;
  HostSession *session_ = nullptr;
  FILE *report_ = nullptr;
  std::string reportPath_;
  PluginGlobals *g_ = nullptr;
  ParameterBlock *p_ = nullptr;
  int16_t hostResult_ = 0;
};

// Each refreshed preset carries the picture the host showed for its own settings, and the
// settings before the batch are back afterwards.
TEST_F(GalleryRoadTest, TheBatchStoresThePreviewTheHostShowedForEachPreset) {
  p_->planetSize = 61;
  FileSpec scratch = Spec(""), folder{};
  ASSERT_EQ(MakeSubFolder(&scratch, "queue", &folder), 0);
  const std::string f = folder.path;
  const uint32_t sizes[2] = {22, 90};
  const char *names[2] = {"small.q9q", "large.Q5Q"};
  for (int i = 0; i < 2; i++) {
    p_->planetSize = sizes[i];
    FileSpec spec{};
    JoinFileSpecPath(&spec, folder.path, names[i], kPathCapacity);
    ASSERT_EQ(SaveSettingsFile(g_, &spec), 0);
  }
  p_->planetSize = 61;
  calls_.folder = f;
  BatchReport report{};
  ASSERT_EQ(BatchRenderFolder(g_, nullptr, &report), kBatchDone);
  EXPECT_EQ(report.refreshed, 2);
  EXPECT_EQ(calls_.folderKinds.back(), kChooseQueuedFiles);
  EXPECT_EQ(p_->planetSize, 61u);
  EXPECT_EQ(FolderNames(f), (std::vector<std::string>{"large.Q5Q", "small.q5q"}));
  ASSERT_EQ(gShown.size(), 2u);   // large first: name order

  std::vector<uint8_t> large = ReadWholeFile(f + "large.Q5Q"), small = ReadWholeFile(f + "small.q5q");
  EXPECT_EQ(PlanetSizeOf(large), 90u);
  EXPECT_EQ(PlanetSizeOf(small), 22u);
  Picture largeThumb = ThumbnailOf(large), smallThumb = ThumbnailOf(small);
  ASSERT_EQ(largeThumb.width, 128);
  ASSERT_EQ(smallThumb.height, 128);
  ASSERT_EQ(gShown[0].width, 160);
  EXPECT_LE(BlockDifference(largeThumb, gShown[0]), 12);
  EXPECT_LE(BlockDifference(smallThumb, gShown[1]), 12);
  // The comparison tells the two planets apart.
  EXPECT_GT(BlockDifference(largeThumb, gShown[1]), 30);
}

// Set by the batch's repaint to stand for a Cancel that arrives while the first file renders.
bool gCancelDuringRender = false;
void RepaintAndCancel(PluginGlobals *globals, void *dialog) {
  RepaintAfterPreview(globals, dialog);
  if (gCancelDuringRender) GetParameterBlock(globals)->batchCancel = 1;
}

// What the batch leaves alone and how it ends: a file that is no whole preset (the 400-byte
// binary whose first word is 7, a preset with one byte too many) is skipped; a preset that could
// not be rendered stores no stale thumbnail and is not marked done; a Cancel stops the batch after the current file. In
// every case the settings parked before the batch come back and one closing message tells the
// counts. Oracles: the files' bytes and names on disk; the worked counts of each case.
TEST_F(GalleryRoadTest, TheBatchSkipsNonPresetsKeepsFailedRendersAndStopsOnCancel) {
  struct Case {
    const char *name;
    bool failRender, cancel;
    int refreshed, skipped, failed;
    std::vector<std::string> after;   // the folder's names afterwards
  } cases[] = {
      {"not presets", false, false, 2, 2, 0, {"a.q5q", "b.q5q", "notes.q9q", "tail.q9q"}},
      {"no render", true, false, 0, 2, 2, {"a.q9q", "b.q9q", "notes.q9q", "tail.q9q"}},
      {"cancel", false, true, 1, 0, 0, {"a.q5q", "b.q9q", "notes.q9q", "tail.q9q"}},
  };
  gGalleryDialogProcs.repaintAfterPreview = RepaintAndCancel;
  int index = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    FileSpec scratch = Spec(""), folder{};
    ASSERT_EQ(MakeSubFolder(&scratch, ("batch" + std::to_string(index++)).c_str(), &folder), 0);
    const std::string f = folder.path;
    for (const char *name : {"a.q9q", "b.q9q", "tail.q9q"}) {
      p_->planetSize = 40;
      FileSpec spec{};
      JoinFileSpecPath(&spec, folder.path, name, kPathCapacity);
      ASSERT_EQ(SaveSettingsFile(g_, &spec), 0);
    }
    std::vector<uint8_t> tail = ReadWholeFile(f + "tail.q9q");
    tail.push_back(0);
    WriteWholeFile(f + "tail.q9q", tail);
    std::vector<uint8_t> notes(400, 0x5A);
    notes[0] = notes[1] = notes[2] = 0;
    notes[3] = 7;
    WriteWholeFile(f + "notes.q9q", notes);
    const std::vector<uint8_t> a = ReadWholeFile(f + "a.q9q"), b = ReadWholeFile(f + "b.q9q");

    p_->planetSize = 61;
    calls_.folder = f;
    calls_.messages.clear();
    gCancelDuringRender = c.cancel;
    // A host that stops showing previews: nothing renders the presets' planets.
    const auto display = session_->record.displayPixels;
    if (c.failRender) session_->record.displayPixels = nullptr;
    BatchReport report{};
    EXPECT_EQ(BatchRenderFolder(g_, nullptr, &report), c.cancel ? kBatchCancelled : kBatchDone);
    session_->record.displayPixels = display;
    gCancelDuringRender = false;
    hostResult_ = 0;

    EXPECT_EQ(report.refreshed, c.refreshed);
    EXPECT_EQ(report.skipped, c.skipped);
    EXPECT_EQ(report.failed, c.failed);
    EXPECT_EQ(FolderNames(f), c.after);
    EXPECT_EQ(ReadWholeFile(f + "notes.q9q"), notes);
    EXPECT_EQ(ReadWholeFile(f + "tail.q9q"), tail);
    if (c.failRender) {
      EXPECT_EQ(ReadWholeFile(f + "a.q9q"), a) << "no stale thumbnail stored";
    }
    if (c.cancel) {
      EXPECT_EQ(ReadWholeFile(f + "b.q9q"), b) << "the file after the Cancel is untouched";
    }
    EXPECT_EQ(p_->planetSize, 61u);
    EXPECT_EQ(p_->batchCancel, 0);
    char counts[160];
    std::snprintf(counts, sizeof counts, "\r\n%d refreshed, %d skipped (read-only, unreadable or not a preset), %d failed.",
                  c.refreshed, c.skipped, c.failed);
    ASSERT_EQ(calls_.messages.size(), 1u);
    EXPECT_EQ(calls_.messages[0], std::string(c.cancel ? kBatchStoppedMessage : kBatchDoneMessage) + counts);
  }
}

// The presets pages for 0, 5 and 6 presets, and the memory-dots pages for 1 and 25 dots.
TEST_F(GalleryRoadTest, PresetAndMemoryDotPagesAreWrittenWithEveryPicture) {
  const std::vector<std::string> six = {"a&b", "dot 2", "caf\xe9", "it's", "Planet 5", "zeta"};
  FileSpec sixFolder = RenderedPresets("Planets & moons", six);
  FileSpec fiveFolder = RenderedPresets("five", {"one", "two", "three", "four", "five"});
  FileSpec noFolder = RenderedPresets("none", {});
  struct {
    const char *name;
    FileSpec *folder;
    size_t count;
  } pages[] = {{"presets 6", &sixFolder, 6}, {"presets 5", &fiveFolder, 5}, {"presets 0", &noFolder, 0}};
  for (auto &page : pages) {
    calls_.folder = page.folder->path;
    calls_.pageFile = PageFolder(page.name) + "Kivaglobe presets.html";
    const size_t opened = calls_.opened.size();
    ExportPresetsHtml(g_, nullptr, 0);
    ASSERT_EQ(calls_.opened.size(), opened + 1) << page.name;
    const std::string html = PageText(calls_.pageFile);
    size_t pictures = 0;
    for (size_t at = html.find("alt=\""); at != std::string::npos; at = html.find("alt=\"", at + 1)) pictures++;
    EXPECT_EQ(pictures, page.count) << page.name;
  }
  EXPECT_TRUE(calls_.messages.empty());

  // Memory dots: one filled dot, then all 25, each with settings of its own.
  const uint32_t keep = p_->planetSize;
  for (int dot = 0; dot < kMemoryDotCount; dot++) {
    p_->planetSize = uint32_t(20 + 3 * dot);
    p_->randomSeed = uint32_t(500 + dot);
    SaveMemoryDot(g_, dot);
  }
  p_->planetSize = keep;
  for (int dot = 0; dot < kMemoryDotCount; dot++) g_->runState->dotHasData[dot] = dot == 6;
  calls_.pageFile = PageFolder("dots 1") + "Kivaglobe memory dots.html";
  ExportMemoryDotsHtml(g_, nullptr);
  ASSERT_EQ(calls_.opened.back(), calls_.pageFile);
  std::string html = PageText(calls_.pageFile);
  EXPECT_NE(html.find("src=\"web_images/dot%207.jpg\" alt=\"dot 7.jpg\" width=\"300\" height=\"225\""),
            std::string::npos);
  EXPECT_NE(html.find(">dot 7</font>"), std::string::npos);
  Picture seven = Decode(ReadWholeFile(calls_.pageFile.substr(0, calls_.pageFile.rfind('\\') + 1) + "web_images\\dot 7.jpg"));
  EXPECT_EQ(seven.width, 300);
  EXPECT_EQ(seven.height, 225);

  for (int dot = 0; dot < kMemoryDotCount; dot++) g_->runState->dotHasData[dot] = 1;
  calls_.pageFile = PageFolder("dots 25") + "Kivaglobe memory dots.html";
  ExportMemoryDotsHtml(g_, nullptr);
  ASSERT_EQ(calls_.opened.back(), calls_.pageFile);
  html = PageText(calls_.pageFile);
  size_t last = 0;
  for (int dot = 1; dot <= 25; dot++) {
    const size_t at = html.find(">dot " + std::to_string(dot) + "</font>");
    ASSERT_NE(at, std::string::npos) << dot;
    EXPECT_GT(at, last) << dot;
    last = at;
  }
  // Each dot shows its own planet; the same dot gives the same picture on both pages.
  const std::string dots = calls_.pageFile.substr(0, calls_.pageFile.rfind('\\') + 1) + "web_images\\dot ";
  EXPECT_NE(Decode(ReadWholeFile(dots + "1.jpg")).rgb, seven.rgb);
  EXPECT_EQ(Decode(ReadWholeFile(dots + "7.jpg")).rgb, seven.rgb);
  EXPECT_EQ(p_->planetSize, keep);
  EXPECT_EQ(p_->renderTarget, 1u);
  EXPECT_TRUE(calls_.messages.empty());
}

// Preset names in the script of a code page: UTF-8, the code page's bytes (from its chart),
// and the picture each gets (the safe-name rule worked by hand, numbered where a name falls
// together with an earlier one: "Äa" with "da", "а" with "р" as Ђ and ђ). `foreign` is a name
// the code page cannot write.
struct ScriptName {
  const char *utf8, *ansi, *picture;
};
struct Script {
  uint32_t codePage;
  std::vector<ScriptName> names;   // in name order
  const char8_t *foreign;
};
const Script kScripts[] = {
    {1252,
     {{"café", "caf\xE9", "caf\x89.jpg"}, {"da", "da", "da.jpg"}, {"œuvre", "\x9C" "uvre", "_uvre.jpg"},
      {"Äa", "\xC4" "a", "da 2.jpg"}, {"Ægir", "\xC6" "gir", "fgir.jpg"}, {"Über", "\xDC" "ber", "_ber.jpg"},
      {"á", "\xE1", "\x81.jpg"}},
     u8"Луна.q1q"},
    {1250,
     {{"da", "da", "da.jpg"}, {"Księżyc", "Ksi\xEA\xBF" "yc", "Ksi\x8A_yc.jpg"},
      {"Žluťoučký kůň", "\x8E" "lu\x9D" "ou\xE8k\xFD k\xF9\xF2", "_lu=ou\x88k\x9D k\x99\x92.jpg"},
      {"Łódź", "\xA3\xF3" "d\x9F", "C\x93" "d_.jpg"}},
     u8"Луна.q1q"},
    {1251,
     {{"Луна", "\xCB\xF3\xED\xE0", "k\x93\x8D\x80.jpg"}, {"Марс", "\xCC\xE0\xF0\xF1", "l\x80\x90\x91.jpg"},
      {"а", "\xE0", "\x80.jpg"}, {"р", "\xF0", "\x90 2.jpg"}},
     u8"Księżyc.q1q"},
};

// A presets page of names in the system's code page (KV_EXPECT_CODE_PAGE, when set, says which
// one the run was started under; the page is written for the page check, which loads it in
// tidy and a browser): each preset is captioned with its name, linked to a picture of its own
// that shows its own thumbnail, and a preset whose name the code page cannot write is left out
// with a note rather than shown with another's picture. Oracles: the captions are the UTF-8
// names decoded here; stb_image's mean colour of each picture is nearest that of its own
// preset's stored thumbnail; the page check's tidy and Chromium read the links and references.
TEST_F(GalleryRoadTest, PresetsNamedInTheSystemCodePageEachShowTheirOwnPicture) {
  const uint32_t codePage = SystemCodePage();
  const char *expected = std::getenv("KV_EXPECT_CODE_PAGE");
  if (expected != nullptr && expected[0] != 0) {
    ASSERT_EQ(codePage, uint32_t(std::strtoul(expected, nullptr, 10)))
        << "the run was meant to have this code page; the locale given to Wine did not take";
  }
  const Script *script = nullptr;
  for (const Script &s : kScripts)
    if (s.codePage == codePage) script = &s;
  if (script == nullptr) GTEST_SKIP() << "no preset names are written here for code page " << codePage;

  FileSpec scratch = Spec(""), folder{};
  ASSERT_EQ(MakeSubFolder(&scratch, ("script " + std::to_string(codePage)).c_str(), &folder), 0);
  const std::string f = folder.path;
  for (size_t i = 0; i < script->names.size(); i++) {
    p_->planetSize = uint32_t(20 + 12 * i);
    FileSpec spec{};
    JoinFileSpecPath(&spec, folder.path, (std::string(script->names[i].ansi) + ".q9q").c_str(), kPathCapacity);
    ASSERT_EQ(SaveSettingsFile(g_, &spec), 0) << i;
  }
  calls_.folder = f;
  BatchReport report{};
  ASSERT_EQ(BatchRenderFolder(g_, nullptr, &report), kBatchDone);
  std::vector<double> thumbs;
  for (const ScriptName &n : script->names) {
    ASSERT_TRUE(MovePlatformFile((f + n.ansi + ".q5q").c_str(), (f + n.ansi + ".q1q").c_str())) << n.utf8;
    const std::vector<uint8_t> bytes = ReadWholeFile(f + n.ansi + ".q1q");
    thumbs.push_back(MeanLevel(std::vector<uint8_t>(bytes.begin() + std::min<size_t>(300, bytes.size()), bytes.end())));
  }
#ifdef _WIN32
  // Made through the wide API: an ANSI listing shows it with '?' or look-alike letters.
  const std::vector<uint8_t> bytes = ReadWholeFile(f + script->names[0].ansi + ".q1q");
  std::ofstream(std::filesystem::path(f) / std::u8string(script->foreign), std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
#endif

  calls_.pageFile = PageFolder("presets cp" + std::to_string(codePage)) + "Kivaglobe presets.html";
  ExportPresetsHtml(g_, nullptr, 0);
  ASSERT_EQ(calls_.opened.back(), calls_.pageFile);
  const std::string html = PageText(calls_.pageFile);
  const std::vector<PageCell> cells = PageCells(html);
  ASSERT_EQ(cells.size(), script->names.size()) << html;
  for (size_t i = 0; i < cells.size(); i++) {
    const ScriptName &n = script->names[i];
    EXPECT_EQ(cells[i].caption, AsReferences(n.utf8)) << n.utf8;
    const double level = MeanLevel(ReadWholeFile(calls_.pageFile.substr(0, calls_.pageFile.rfind('\\') + 1) +
                                                 "web_images\\" + n.picture));
    ASSERT_GE(level, 0) << n.utf8 << ": no picture " << n.picture;
    for (size_t k = 0; k < thumbs.size(); k++) {
      if (k == i) continue;
      EXPECT_LT(std::abs(level - thumbs[i]), std::abs(level - thumbs[k])) << n.utf8 << " looks like " << k;
    }
  }
#ifdef _WIN32
  EXPECT_NE(html.find(kOnePresetNotShownNote), std::string::npos);
#endif
}

}  // namespace
}  // namespace files_test
