// gallery_pages.cpp -- the presets and memory-dots pages and their commands (see
// gallery_pages.h).
#include "files/gallery_pages.h"

#include <cstdio>
#include <cstring>

#include "files/batch_refresh.h"
#include "files/folder_listing.h"
#include "files/jpeg_files.h"
#include "files/settings_file.h"
#include "files/temp_files.h"
#include "files/thumbnails.h"
#include "foundation/code_page.h"
#include "foundation/strings.h"
#include "foundation/vector_math.h"
#include "plugin/globals.h"
#include "plugin/host_memory.h"
#include "plugin/host_dialogs.h"
#include "plugin/output_passes.h"
#include "plugin/preview.h"

GalleryDialogProcs gGalleryDialogProcs = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, OpenInBrowser};

const char kPageNotWrittenMessage[] =
    "The page could not be written. Check that the folder exists and that you may write in it:";
const char kNamesTooLongMessage[] =
    "The page was not written: the paths of its pictures would be longer than Windows allows. "
    "Save the page in a folder with a shorter path, or give the presets shorter names.";

const char kOnePresetNotShownNote[] =
    "1 preset of this folder is not shown: its file could not be opened. A name with characters that "
    "this system's code page cannot write cannot be opened here; renaming the file helps.";
const char kPresetsNotShownNote[] =
    "%d presets of this folder are not shown: their files could not be opened. A name with characters "
    "that this system's code page cannot write cannot be opened here; renaming the files helps.";
constexpr int32_t kPresetColumns = 5;
constexpr int32_t kMemoryDotColumns = 4;
constexpr int32_t kPresetCellSide = 88;
constexpr int32_t kDotPictureSide = 300;
constexpr int32_t kWhichMemoryDots = 14;

static void WaitCursor() {
  if (gGalleryDialogProcs.waitCursor != nullptr) gGalleryDialogProcs.waitCursor();
}

static void ArrowCursor() {
  if (gGalleryDialogProcs.arrowCursor != nullptr) gGalleryDialogProcs.arrowCursor();
}

// ---- Names ---------------------------------------------------------------------------------

// The picture's file name of a preset: the name without its extension, ".jpg" appended, made
// safe for a file name. False when it does not fit.
static bool PresetPictureName(const char *fileName, char picture[kPathCapacity]) {
  StrCopy(picture, fileName, kPathCapacity);
  StripExtension(picture);
  if (!AppendJpgExtension(picture, kPathCapacity)) return false;
  MakeFileNameSafe(picture);
  return true;
}

// The picture folder beside a page, as HtmlBeginPage will make it (nothing is created here).
static void PictureFolderOf(const FileSpec *pageSpec, FileSpec *folder) {
  FileSpec pageFolder{};
  SpecFolderPart(pageSpec, &pageFolder);
  *folder = FileSpec{};
  JoinFileSpecPath(folder, pageFolder.path, kWebImagesFolder, kPathCapacity);
  if (folder->path[0] != 0) StrAppendChar(folder->path, '\\', kPathCapacity);
}

// True when web_images\<name> beside the page fits the path field.
static bool PictureFits(const FileSpec *pictureFolder, const char *name) {
  if (pictureFolder->path[0] == 0) return false;
  FileSpec spec{};
  JoinFileSpecPath(&spec, pictureFolder->path, name, kPathCapacity);
  return spec.path[0] != 0;
}

static bool IsPresetEntry(const FolderEntry &entry) {
  return !entry.isFolder && FindSubstring(".q1q", entry.name, true) >= 0;
}

// The lower-case partner of a character, for the letters the Windows code pages of Europe can
// put into a name (Latin, Greek, Cyrillic): the file system finds "Da.jpg" when asked for
// "da.jpg", and "Š" for "š", so two pictures may not take names that differ only so.
static uint32_t FoldCase(uint32_t u) {
  if (u >= 'A' && u <= 'Z') return u + 32;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return u + 32;
  if (u == 0x178) return 0xFF;
  if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) return u | 1;
  if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return (u & 1) != 0 ? u + 1 : u;
  if (u >= 0x391 && u <= 0x3AB && u != 0x3A2) return u + 32;
  if (u >= 0x410 && u <= 0x42F) return u + 32;
  if (u >= 0x400 && u <= 0x40F) return u + 80;
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF)) return u | 1;
  return u;
}

// True when the two picture names would be one file.
static bool SamePictureName(const char *a, const char *b) {
  uint32_t x[kPathCapacity], y[kPathCapacity];
  const int32_t n = DecodeSystemText(a, x, kPathCapacity);
  const int32_t m = DecodeSystemText(b, y, kPathCapacity);
  if (n < 0 || m < 0) return std::strcmp(a, b) == 0;
  if (n != m) return false;
  for (int32_t i = 0; i < n; i++)
    if (FoldCase(x[i]) != FoldCase(y[i])) return false;
  return true;
}

// What a presets page shows: per entry of the listing the name of its picture, empty for an
// entry that is no preset or whose file cannot be opened by the name the listing gave. (A name
// with characters outside the system's code page is listed with '?' or look-alike letters in
// their place, and no ANSI call opens it; such presets are counted and named in the page
// instead of showing whatever thumbnail was left from the preset before.)
struct PresetPlan {
  char (*pictures)[kPathCapacity];
  int32_t unreadable;
};

static void FreePresetPlan(PresetPlan *plan) {
  if (plan->pictures != nullptr) DisposePointer(plan->pictures);
  plan->pictures = nullptr;
}

// Names every preset's picture: its safe name, and when an earlier preset of the page took
// that name already, the same with " 2", " 3"... before the extension, so each preset shows
// its own thumbnail. 0, kGalleryNamesTooLong when a path would not fit the path field, or
// kLoadNoMemory.
static int16_t PlanPresetPictures(const FolderListing &listing, const FileSpec *folder, const FileSpec *pictureFolder,
                                  PresetPlan *plan) {
  plan->unreadable = 0;
  plan->pictures = nullptr;
  if (!PictureFits(pictureFolder, "bottom.gif")) return kGalleryNamesTooLong;
  if (listing.count == 0) return 0;
  plan->pictures = static_cast<char (*)[kPathCapacity]>(NewPointer(size_t(listing.count) * kPathCapacity));
  if (plan->pictures == nullptr) return kLoadNoMemory;
  for (int32_t i = 0; i < listing.count; i++) {
    char *picture = plan->pictures[i];
    picture[0] = 0;
    if (!IsPresetEntry(listing.entries[i])) continue;
    FileSpec preset{};
    JoinFileSpecPath(&preset, folder->path, listing.entries[i].name, kPathCapacity);
    char base[kPathCapacity];
    if (preset.path[0] == 0 || !PresetPictureName(listing.entries[i].name, base)) return kGalleryNamesTooLong;
    FileHandle file = kNoFile;
    if (OpenFileSpec(&preset, &file, kOpenForRead) != kSpecOk) {
      plan->unreadable++;
      continue;
    }
    ClosePlatformFile(file);
    StrCopy(picture, base, kPathCapacity);
    for (int32_t number = 2;; number++) {
      bool taken = false;
      for (int32_t j = 0; j < i && !taken; j++) taken = SamePictureName(plan->pictures[j], picture);
      if (!taken) break;
      char stem[kPathCapacity];
      StrCopy(stem, base, kPathCapacity);
      StripExtension(stem);
      if (std::snprintf(picture, kPathCapacity, "%s %d.jpg", stem, int(number)) >= kPathCapacity)
        return kGalleryNamesTooLong;
    }
    if (!PictureFits(pictureFolder, picture)) return kGalleryNamesTooLong;
  }
  return 0;
}

// The row above the cells that names the presets the page leaves out.
static void WriteUnreadableNote(HtmlPage *page, int32_t count) {
  char text[400];
  if (count == 1) {
    StrCopy(text, kOnePresetNotShownNote, sizeof text);
  } else {
    std::snprintf(text, sizeof text, kPresetsNotShownNote, int(count));
  }
  HtmlText(page, "<tr><td colspan=");
  WriteQuotedInt(page, page->columnsPerRow);
  HtmlText(page, "><font size=\"2\" face=\"Gill Sans,Verdana,Helvetica,Arial\">");
  WriteEscapedText(page, text);
  HtmlText(page, "</font></td></tr>\r\n");
}

// ---- Presets page ------------------------------------------------------------------------------

void WritePresetCell(PluginGlobals *globals, HtmlPage *page, const char *fileName, const char *picture) {
  HtmlOpenRowAtFirstColumn(page);
  page->boldCaptions = 0;
  page->captionRow = 0;
  char caption[kPathCapacity];
  StrCopy(caption, fileName, kPathCapacity);
  StripExtension(caption);

  // The picture first, so that the cell links it only when it was written: a link to a
  // missing file would show as a broken image.
  bool written = false;
  FileSpec spec{};
  JoinFileSpecPath(&spec, page->webImageFolder.path, picture, kPathCapacity);
  TiledMipImage *thumbnail = ThumbnailImage(globals);
  if (thumbnail != nullptr && spec.path[0] != 0) {
    // A preset without a picture shows the thumbnail's empty look at its full size.
    int32_t width = globals->thumbnailWidth > 0 ? globals->thumbnailWidth : kThumbnailSide;
    int32_t height = globals->thumbnailHeight > 0 ? globals->thumbnailHeight : kThumbnailSide;
    TiledMipImage scratch;
    BindScratchImage(globals, &scratch);
    const ParameterBlock *p = GetParameterBlock(globals);
    if (CreateImage(&scratch, width, height, kFormatPacked8, 0)) {
      CopyThumbnailTo(globals, &scratch);
      written = WriteJpegFileWithMetadata(&scratch, &spec, p != nullptr ? p->outputMode : 1) == 0;
      FreeImageTiles(&scratch);
    }
  }
  HtmlWriteImageCell(page, caption, written ? picture : nullptr, kPresetCellSide, kPresetCellSide);
}

int16_t WritePresetsPage(PluginGlobals *globals, const FileSpec *pageSpec, const FileSpec *folder, uint32_t how) {
  FolderListing listing{};
  if (!ListFolderSorted(folder->path, &listing)) return kGalleryNoFolder;

  // Every name is measured, and every picture named, before anything is written.
  FileSpec pictureFolder{};
  PictureFolderOf(pageSpec, &pictureFolder);
  PresetPlan plan{};
  int16_t result = PlanPresetPictures(listing, folder, &pictureFolder, &plan);
  if (result != 0) {
    FreePresetPlan(&plan);
    FreeFolderListing(&listing);
    return result;
  }

  HtmlPage page;
  result = HtmlBeginPage(pageSpec, folder, &page, kPagePresets, kPresetColumns);
  if (result != kPageOk) {
    FreePresetPlan(&plan);
    FreeFolderListing(&listing);
    return result;
  }
  WaitCursor();
  if (how == kPagePresets && plan.unreadable > 0) WriteUnreadableNote(&page, plan.unreadable);
  for (int32_t i = 0; how == kPagePresets && i < listing.count; i++) {
    if (plan.pictures[i][0] == 0) continue;
    FileSpec preset{};
    JoinFileSpecPath(&preset, folder->path, listing.entries[i].name, kPathCapacity);
    FillThumbnailGradient(globals);
    ReadSettingsFile(globals, &preset, kReadSettingsThumbnail, nullptr);
    WritePresetCell(globals, &page, listing.entries[i].name, plan.pictures[i]);
  }
  FreePresetPlan(&plan);
  FreeFolderListing(&listing);
  result = HtmlEndPage(&page);
  ArrowCursor();
  return result;
}

// ---- Memory-dots page --------------------------------------------------------------------------

int16_t RenderPreviewJpeg(int32_t dot, PluginGlobals *globals, const FileSpec *jpegSpec, uint8_t *cancel,
                          int32_t *width, int32_t *height, int32_t which) {
  ParameterBlock *p = GetParameterBlock(globals);
  RunState *run = globals->runState;
  *width = *height = 0;
  if (p == nullptr || run == nullptr) return kGalleryNoRun;
  HostRequestRecord saved;
  SaveHostRequest(&saved, globals);
  p->renderTarget = 2;
  p->exportSizeMode = 3;
  const Rect16 &filter = globals->filterRecord->filterRect;
  int32_t w = filter.right - filter.left;
  int32_t h = filter.bottom - filter.top;
  FitSizeToLongSide(&w, &h, kDotPictureSide);
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  TiledMipImage *image = &run->exportImage;
  if (!CreateImage(image, w, h, kFormatPacked8, 0)) {
    RestoreHostRequest(&saved, globals);
    return kLoadNoMemory;
  }
  if (which == kWhichMemoryDots) {
    SaveMemoryDot(globals, kMemoryDotScratch);
    LoadMemoryDot(globals, dot);
  }
  RenderWholeImage(globals, image, 0, cancel);
  int16_t result = WriteJpegFileWithMetadata(image, jpegSpec, p->outputMode);
  if (which == kWhichMemoryDots) LoadMemoryDot(globals, kMemoryDotScratch);
  RestoreHostRequest(&saved, globals);
  FreeImageTiles(image);
  if (result == 0) {
    *width = w;
    *height = h;
  }
  return result;
}

int16_t WriteMemoryDotsPage(PluginGlobals *globals, const FileSpec *pageSpec, int32_t which) {
  if (globals->runState == nullptr || GetParameterBlock(globals) == nullptr) return kGalleryNoRun;
  FileSpec pictureFolder{};
  PictureFolderOf(pageSpec, &pictureFolder);
  if (!PictureFits(&pictureFolder, "bottom.gif") || !PictureFits(&pictureFolder, "dot 25.jpg"))
    return kGalleryNamesTooLong;
  HtmlPage page;
  int16_t result = HtmlBeginPage(pageSpec, nullptr, &page, which == kWhichMemoryDots ? kPageMemoryDots : kPageOutputModes,
                                 kMemoryDotColumns);
  if (result != kPageOk) return result;
  WaitCursor();
  uint8_t cancel = 0;
  for (int32_t dot = 0; which == kWhichMemoryDots && dot < kMemoryDotCount && !cancel; dot++) {
    if (globals->runState->dotHasData[dot] == 0) continue;
    char caption[32], picture[40];
    std::snprintf(caption, sizeof caption, "dot %d", int(dot + 1));
    std::snprintf(picture, sizeof picture, "%s.jpg", caption);
    FileSpec spec{};
    JoinFileSpecPath(&spec, page.webImageFolder.path, picture, kPathCapacity);
    int32_t width = 0, height = 0;
    const bool written = RenderPreviewJpeg(dot, globals, &spec, &cancel, &width, &height, which) == 0;
    HtmlOpenRowAtFirstColumn(&page);
    if (!written) width = height = kDotPictureSide;
    HtmlWriteImageCell(&page, caption, written ? picture : nullptr, width, height);
  }
  result = HtmlEndPage(&page);
  ArrowCursor();
  return result;
}

// ---- Commands ------------------------------------------------------------------------------------

static bool gPresetsPageRunning = false;

static void TellUser(PluginGlobals *globals, void *dialog, const char *text) {
  if (gGalleryDialogProcs.tellUser != nullptr)
    gGalleryDialogProcs.tellUser(globals, dialog, text);
  else
    ShowGalleryMessage(dialog, text);
}

// Opens a page that was written; tells the user why one was not.
static void OpenWrittenPage(PluginGlobals *globals, void *dialog, const FileSpec *page, int16_t result) {
  if (result == 0) {
    if (gGalleryDialogProcs.openInBrowser != nullptr) gGalleryDialogProcs.openInBrowser(page->path);
    return;
  }
  if (result == kGalleryNamesTooLong || result == kPageNoFolder) {
    TellUser(globals, dialog, kNamesTooLongMessage);
    return;
  }
  char text[sizeof kPageNotWrittenMessage + kPathCapacity + 4];
  std::snprintf(text, sizeof text, "%s\r\n%s", kPageNotWrittenMessage, page->path);
  TellUser(globals, dialog, text);
}

static bool ChoosePageFile(PluginGlobals *globals, void *dialog, const char *defaultName, FileSpec *page) {
  *page = FileSpec{};
  if (gGalleryDialogProcs.chooseSaveFile == nullptr) return false;
  return gGalleryDialogProcs.chooseSaveFile(globals, dialog, kSaveHtmlPage, "Save an HTML page", defaultName, page);
}

void ExportPresetsHtml(PluginGlobals *globals, void *dialog, uint32_t kind) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (gPresetsPageRunning || p == nullptr) return;
  gPresetsPageRunning = true;
  if (gGalleryDialogProcs.chooseSourceFolder != nullptr &&
      gGalleryDialogProcs.chooseSourceFolder(globals, p->sourceFolder, kChoosePresetFiles)) {
    FileSpec page;
    if (ChoosePageFile(globals, dialog, "Kivaglobe presets.html", &page)) {
      StrCopy(p->psdName, page.path, kParameterTextSize);
      FileSpec folder{};
      StrCopy(folder.path, p->sourceFolder, kPathCapacity);
      OpenWrittenPage(globals, dialog, &page, WritePresetsPage(globals, &page, &folder, kind));
    }
  }
  gPresetsPageRunning = false;
  gBatchRefreshRunning = false;
}

void ExportMemoryDotsHtml(PluginGlobals *globals, void *dialog) {
  ParameterBlock *p = GetParameterBlock(globals);
  if (p == nullptr) return;
  FileSpec page;
  if (!ChoosePageFile(globals, dialog, "Kivaglobe memory dots.html", &page)) return;
  StrCopy(p->psdName, page.path, kParameterTextSize);
  OpenWrittenPage(globals, dialog, &page, WriteMemoryDotsPage(globals, &page, kWhichMemoryDots));
}
