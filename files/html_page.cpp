// html_page.cpp -- the gallery pages' HTML (see html_page.h).
#include "files/html_page.h"

#include <cstdio>
#include <cstring>

#include "files/frame_gifs.h"
#include "foundation/binary_io.h"
#include "foundation/code_page.h"
#include "foundation/strings.h"

const char kWebImagesFolder[] = "web_images";

static const char kCellStart[] = "<td align=\"center\" valign=\"top\" width=\"20%\">";

// ---- Characters ------------------------------------------------------------------------------

// Appends text to out (of `capacity`) at *length; false when it does not fit.
static bool Put(char *out, int32_t capacity, int32_t *length, const char *text) {
  int32_t n = int32_t(std::strlen(text));
  if (*length + n >= capacity) return false;
  std::memcpy(out + *length, text, size_t(n) + 1);
  *length += n;
  return true;
}

// The characters of a name or path, read in the system's code page (code_page.h).
static uint32_t gPoints[kDecodeTextLimit];

// A character a page may refer to by number: HTML has no use for the C1 controls (0x80..0x9F,
// the undefined bytes of a code page), surrogates or non-characters, and tidy calls such a
// reference invalid. They are shown as the replacement character.
static uint32_t ReferableCharacter(uint32_t u) {
  if ((u >= 0x7F && u < 0xA0) || (u >= 0xD800 && u < 0xE000) || (u & 0xFFFE) == 0xFFFE || u > 0x10FFFF ||
      (u >= 0xFDD0 && u < 0xFDF0))
    return 0xFFFD;
  return u;
}

bool EscapeHtmlText(const char *text, char *out, int32_t capacity) {
  if (out == nullptr || capacity < 1) return false;
  out[0] = 0;
  const int32_t count = DecodeSystemText(text, gPoints, kDecodeTextLimit);
  if (count < 0) return false;
  int32_t length = 0;
  for (int32_t i = 0; i < count; i++) {
    const uint32_t c = gPoints[i];
    char piece[16];
    switch (c) {
      case '&': std::strcpy(piece, "&amp;"); break;
      case '<': std::strcpy(piece, "&lt;"); break;
      case '>': std::strcpy(piece, "&gt;"); break;
      case '"': std::strcpy(piece, "&quot;"); break;
      default:
        if (c > 126) {
          std::snprintf(piece, sizeof piece, "&#%u;", unsigned(ReferableCharacter(c)));
        } else {
          // Control characters have no place in a page's text.
          piece[0] = c < 32 ? ' ' : char(c);
          piece[1] = 0;
        }
    }
    if (!Put(out, capacity, &length, piece)) {
      out[0] = 0;
      return false;
    }
  }
  return true;
}

static bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

bool EscapeUrlText(const char *text, char *out, int32_t capacity) {
  if (out == nullptr || capacity < 1) return false;
  out[0] = 0;
  const int32_t count = DecodeSystemText(text, gPoints, kDecodeTextLimit);
  if (count < 0) return false;
  int32_t length = 0;
  for (int32_t i = 0; i < count; i++) {
    const uint32_t u = gPoints[i];
    char piece[16];
    if (u < 0x80 && IsUnreserved(uint8_t(u))) {
      piece[0] = char(u);
      piece[1] = 0;
    } else {
      // The character in UTF-8, each byte as %XX.
      unsigned char bytes[4];
      int n;
      if (u < 0x80) {
        bytes[0] = uint8_t(u);
        n = 1;
      } else if (u < 0x800) {
        bytes[0] = uint8_t(0xC0 | (u >> 6));
        bytes[1] = uint8_t(0x80 | (u & 0x3F));
        n = 2;
      } else if (u < 0x10000) {
        bytes[0] = uint8_t(0xE0 | (u >> 12));
        bytes[1] = uint8_t(0x80 | ((u >> 6) & 0x3F));
        bytes[2] = uint8_t(0x80 | (u & 0x3F));
        n = 3;
      } else {
        bytes[0] = uint8_t(0xF0 | (u >> 18));
        bytes[1] = uint8_t(0x80 | ((u >> 12) & 0x3F));
        bytes[2] = uint8_t(0x80 | ((u >> 6) & 0x3F));
        bytes[3] = uint8_t(0x80 | (u & 0x3F));
        n = 4;
      }
      int32_t k = 0;
      for (int j = 0; j < n; j++) k += std::snprintf(piece + k, sizeof piece - size_t(k), "%%%02X", bytes[j]);
    }
    if (!Put(out, capacity, &length, piece)) {
      out[0] = 0;
      return false;
    }
  }
  return true;
}

// ---- Text pieces -----------------------------------------------------------------------------

void HtmlText(HtmlPage *page, const char *text) {
  if (page == nullptr || page->file == kNoFile || text == nullptr) return;
  if (WriteCString(text, page->file) != kFileOk && page->result == 0) page->result = kFileWriteError;
}

void HtmlLineEnd(HtmlPage *page) { HtmlText(page, "\r\n"); }

void WriteIntText(HtmlPage *page, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", int(value));
  HtmlText(page, text);
}

void WriteQuotedInt(HtmlPage *page, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "\"%d\"", int(value));
  HtmlText(page, text);
}

// Texts escaped here are names and paths of at most 260 bytes; the longest escape of a byte
// is 9 characters ("&#65533;", "%E2%80%9A").
constexpr int32_t kEscapedCapacity = 260 * 9 + 1;

void WriteEscapedText(HtmlPage *page, const char *text) {
  static char escaped[kEscapedCapacity];
  if (EscapeHtmlText(text, escaped, kEscapedCapacity)) HtmlText(page, escaped);
}

void WriteUrlEscapedText(HtmlPage *page, const char *text) {
  static char escaped[kEscapedCapacity];
  if (EscapeUrlText(text, escaped, kEscapedCapacity)) HtmlText(page, escaped);
}

// ---- The page --------------------------------------------------------------------------------

// Writes the four frame images into the picture folder. 0 or the failure.
static int16_t WriteFrameImages(const FileSpec *folder) {
  for (int32_t i = 0; i < kFrameGifCount; i++) {
    FileSpec spec{};
    JoinFileSpecPath(&spec, folder->path, kFrameGifs[i].name, kPathCapacity);
    SafeSave save;
    if (!BeginSafeSave(&spec, &save)) return kPageOpenFailed;
    int32_t count = kFrameGifs[i].size;
    int16_t result = WriteBytes(save.file, &count, kFrameGifs[i].bytes);
    if (!EndSafeSave(&save, result == kFileOk) && result == kFileOk) result = kFileWriteError;
    if (result != kFileOk) return result;
  }
  return kPageOk;
}

static const char *KindTitle(uint32_t kind) {
  switch (kind) {
    case kPagePresets: return " presets";
    case kPageImages: return " images";
    case kPageOutputModes: return " output modes";
    case kPageMemoryDots: return " memory dots";
    default: return "";
  }
}

static void WritePageHead(HtmlPage *page, const FileSpec *folder) {
  HtmlText(page, "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n<html>\r\n<head>\r\n");
  HtmlText(page, "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n");
  HtmlText(page, "<meta name=\"generator\" content=\"Corvalane Kivaglobe\">");
  HtmlText(page, "<title>Kivaglobe");
  HtmlText(page, KindTitle(page->kind));
  HtmlText(page, "</title>\r\n</head>\r\n\r\n");
  HtmlText(page, "<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n");
  HtmlText(page, "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Kivaglobe");
  if (folder != nullptr) {
    HtmlText(page, page->kind == kPagePresets ? " presets from " : " images from ");
    WriteEscapedText(page, folder->path);
  }
  if (page->kind == kPageOutputModes) HtmlText(page, " output modes ");
  if (page->kind == kPageMemoryDots) HtmlText(page, " memory dots ");
  HtmlText(page, "<br>\r\n</b></font></p>");
  HtmlText(page, "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">");
}

int16_t HtmlBeginPage(const FileSpec *pageSpec, const FileSpec *folder, HtmlPage *page, uint32_t kind, int32_t columns) {
  std::memset(page, 0, sizeof *page);
  page->file = kNoFile;
  FileSpec pageFolder{};
  SpecFolderPart(pageSpec, &pageFolder);
  MakeSubFolder(&pageFolder, kWebImagesFolder, &page->webImageFolder);
  // The longest frame image name must fit after the folder; the pictures are checked by the
  // callers, who know their names.
  if (page->webImageFolder.path[0] == 0 ||
      StrLength(page->webImageFolder.path) + StrLength("bottom.gif") >= kPathCapacity)
    return kPageNoFolder;
  int16_t result = WriteFrameImages(&page->webImageFolder);
  if (result != kPageOk) return result;
  if (!BeginSafeSave(pageSpec, &page->save)) return kPageOpenFailed;
  page->file = page->save.file;
  page->column = 1;
  page->row = 1;
  page->columnsPerRow = columns;
  page->columns = columns;
  page->kind = kind;
  page->spare = 1;
  WritePageHead(page, folder);
  if (page->result != 0) {
    result = page->result;
    EndSafeSave(&page->save, false);
    page->file = kNoFile;
    return result;
  }
  return kPageOk;
}

int16_t HtmlEndPage(HtmlPage *page) {
  if (page->file == kNoFile) return kFileWriteError;
  // Fillers only complete a row that is open: a page whose cells filled their last row, or
  // that has none, gets no empty row.
  while (page->column > 1) HtmlWriteFillerCell(page);
  HtmlText(page, "</table><br>\r\n</body></html>");
  if (!EndSafeSave(&page->save, page->result == 0) && page->result == 0) page->result = kFileWriteError;
  page->file = kNoFile;
  return page->result;
}

void HtmlOpenRowAtFirstColumn(HtmlPage *page) {
  if (page->column != 1) return;
  HtmlText(page, "<tr>");
  for (int32_t i = 0; i < kPageCaptionCount; i++) page->captions[i][0] = 0;
  page->captionIndex = 0;
}

void HtmlStoreCaption(HtmlPage *page, const char *caption) {
  StrCopy(page->captions[page->captionIndex], caption, kPageCaptionSize);
  page->captionIndex = (page->captionIndex + 1) % kPageCaptionCount;
}

void HtmlWriteImg(HtmlPage *page, const char *file, int32_t width, int32_t height, bool alt) {
  HtmlText(page, "<img src=\"");
  HtmlText(page, kWebImagesFolder);
  HtmlText(page, "/");
  WriteUrlEscapedText(page, file);
  HtmlText(page, "\"");
  if (alt) {
    HtmlText(page, " alt=\"");
    WriteEscapedText(page, file);
    HtmlText(page, "\"");
  }
  HtmlText(page, " width=");
  WriteQuotedInt(page, width);
  HtmlText(page, " height=");
  WriteQuotedInt(page, height);
  HtmlText(page, " border=\"0\">");
}

void HtmlBeginImageFrame(HtmlPage *page, int32_t width, int32_t height) {
  HtmlText(page, "<table id=\"Table_01\" width=");
  WriteQuotedInt(page, width + 6);
  HtmlText(page, " border=\"0\" cellspacing=\"0\" cellpadding=\"0\" height=");
  WriteQuotedInt(page, height + 7);
  HtmlText(page, ">\r\n<tr>\r\n<td colspan=\"3\">");
  HtmlWriteImg(page, "top.gif", width + 6, 2, false);
  HtmlText(page, "</td>\r\n</tr>\r\n<tr>\r\n<td>");
  HtmlWriteImg(page, "left.gif", 3, height, false);
  HtmlText(page, "</td>\r\n<td>");
}

void HtmlEndImageFrame(HtmlPage *page, int32_t width, int32_t height) {
  HtmlText(page, "</td>\r\n<td>");
  HtmlWriteImg(page, "right.gif", 3, height, false);
  HtmlText(page, "</td>\r\n</tr>\r\n<tr>\r\n<td colspan=\"3\">");
  HtmlWriteImg(page, "bottom.gif", width + 6, 5, false);
  HtmlText(page, "</td>\r\n</tr>\r\n</table>\r\n");
}

void HtmlWriteImageCell(HtmlPage *page, const char *caption, const char *pictureFile, int32_t width, int32_t height) {
  HtmlText(page, kCellStart);
  HtmlLineEnd(page);
  HtmlBeginImageFrame(page, width, height);
  if (pictureFile != nullptr) HtmlWriteImg(page, pictureFile, width, height, true);
  HtmlEndImageFrame(page, width, height);
  HtmlText(page, "<div align=\"center\">\r\n<br><font  size=\"3\" face=\"Gill Sans,Verdana,Helvetica,Arial\">");
  if (page->boldCaptions) HtmlText(page, "<b>");
  WriteEscapedText(page, caption);
  if (page->boldCaptions) HtmlText(page, "</b>");
  HtmlText(page, "</font></div></td>\r\n\r\n");
  HtmlStoreCaption(page, caption);
  HtmlAdvanceColumn(page);
}

void HtmlEndRow(HtmlPage *page) {
  if (page->captionRow) {
    HtmlText(page, "<tr>");
    for (int32_t i = 0; i < page->columns; i++) {
      HtmlText(page, "<td align=\"center\" valign=\"top\" width=\"20%\"><i><font size=\"-1\" color=\"#a6a6a6\" "
                     "face=\"Hoefler Text, Times New Roman,Georgia,Times\">");
      WriteEscapedText(page, page->captions[(2 * i) % kPageCaptionCount]);
      HtmlText(page, "<br>\r\n\r\n");
      WriteEscapedText(page, page->captions[(2 * i + 1) % kPageCaptionCount]);
      HtmlText(page, "</font></i></td>");
    }
    HtmlText(page, "</tr>");
  }
  HtmlLineEnd(page);
  HtmlText(page, "<tr>");
  for (int32_t i = 0; i < page->columns; i++)
    HtmlText(page, "<td align=\"center\" valign=\"top\" width=\"20%\"><p>&nbsp;</p></td>");
  HtmlText(page, "</tr>");
}

void HtmlAdvanceColumn(HtmlPage *page) {
  page->column++;
  if (page->column <= page->columnsPerRow) return;
  HtmlText(page, "</tr>");
  HtmlEndRow(page);
  page->row++;
  page->column = 1;
}

void HtmlNextColumn(HtmlPage *page) {
  page->column++;
  if (page->column <= page->columnsPerRow) return;
  HtmlText(page, "</tr>");
  page->row++;
  page->column = 1;
}

void HtmlWriteFillerCell(HtmlPage *page) {
  HtmlText(page, kCellStart);
  HtmlText(page, "<p></p>\r\n<div align=\"center\">\r\n");
  HtmlText(page, "<p><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p>\r\n</div>\r\n</td>\r\n\r\n");
  HtmlStoreCaption(page, "");
  HtmlStoreCaption(page, "");
  HtmlAdvanceColumn(page);
}
