// html_page.h -- the gallery pages' HTML: a table of framed pictures with captions, written
// piece by piece into an open file.
//
// A page is HTML 4.01 Transitional in ISO-8859-1 with CRLF line ends. Its pictures live in the
// folder "web_images" beside the page, together with the four frame images (top.gif,
// left.gif, right.gif, bottom.gif) that draw a grey drop shadow around every picture; the page
// refers to them by relative links, so the page and its folder can be moved together.
//
// Texts from the outside (preset names, the folder path) are written escaped: "&", "<", ">"
// and '"' as entities and every character above 126 as a numeric reference, so that the page
// says the same whatever the reader's code page. Their bytes are read in the system's ANSI
// code page, the one the names came in (foundation/code_page.h); a character HTML cannot refer
// to (a C1 control, an undefined byte of the code page) is shown as U+FFFD. Picture links are
// percent-encoded from the name of the file actually written (a space is %20), each character
// in UTF-8, which is how browsers resolve file links.
//
// Rows: a row opens with "<tr>" at its first cell (the callers write it); the cell after the
// last column closes it and writes the row end, a spacer row. The page end fills an open row
// with empty cells.
#ifndef KIVAGLOBE_FILES_HTML_PAGE_H
#define KIVAGLOBE_FILES_HTML_PAGE_H

#include <cstdint>

#include "files/safe_save.h"
#include "foundation/file_locations.h"

// Kinds of page.
enum : uint32_t {
  kPagePresets = 0,
  kPageImages = 1,
  kPageOutputModes = 2,
  kPageMemoryDots = 3,
};

constexpr int32_t kPageCaptionCount = 20;
constexpr int32_t kPageCaptionSize = 256;

// The folder beside the page that holds its pictures.
extern const char kWebImagesFolder[];

struct HtmlPage {
  int32_t column;              // 1-based column of the next cell
  int32_t row;                 // 1-based row
  int32_t columnsPerRow;
  int32_t columns;             // the same count, used by the row end
  FileSpec webImageFolder;     // "web_images\" beside the page
  FileHandle file;             // the page file
  char captions[kPageCaptionCount][kPageCaptionSize];   // captions of the current row
  int32_t captionIndex;        // next caption slot, 0..19
  uint32_t kind;
  uint8_t boldCaptions;
  uint8_t captionRow;          // write a caption row at each row end (no page sets it)
  uint32_t spare;              // 1 at page start
  int16_t result;              // the first failed write (-20), else 0
  SafeSave save;               // the page's side file, which replaces the page when it ends
};

// ---- Text pieces ---------------------------------------------------------------------------
// Each writes to the page's file and remembers the first failure in page->result; a page
// whose file is not open writes nothing.

void HtmlText(HtmlPage *page, const char *text);
void HtmlLineEnd(HtmlPage *page);
// A decimal number (WriteIntText), and the same between double quotes (WriteQuotedInt).
void WriteIntText(HtmlPage *page, int32_t value);
void WriteQuotedInt(HtmlPage *page, int32_t value);
// The text with the HTML specials and bytes above 127 as entities.
void WriteEscapedText(HtmlPage *page, const char *text);
// The text percent-encoded for a link: letters, digits, '-', '.', '_' and '~' stay.
void WriteUrlEscapedText(HtmlPage *page, const char *text);

// The escaped form of a text and the percent-encoded form of a name, into a buffer of
// `capacity` bytes; false (and the buffer empty) when the result would not fit.
bool EscapeHtmlText(const char *text, char *out, int32_t capacity);
bool EscapeUrlText(const char *text, char *out, int32_t capacity);

// ---- The page --------------------------------------------------------------------------------

enum : int16_t {
  kPageOk = 0,
  kPageNoFolder = 97,          // the picture folder's path does not fit
  kPageOpenFailed = 99,        // the page or a frame image could not be opened
};

// Makes "web_images" beside the page, writes the frame images into it, opens the page file,
// sets column 1, row 1, the columns per row and the kind, and writes the page head, with the
// folder's path in the heading when a folder is given. 0, kPageNoFolder, kPageOpenFailed, or
// the write error (-20); on any failure the page file is closed again.
int16_t HtmlBeginPage(const FileSpec *pageSpec, const FileSpec *folder, HtmlPage *page, uint32_t kind, int32_t columns);

// Filler cells while a row is open, the table and page ends; the file is ended and closed.
// 0, or -20 when a write or the close failed.
int16_t HtmlEndPage(HtmlPage *page);

// Opens a row at its first column.
void HtmlOpenRowAtFirstColumn(HtmlPage *page);

// One cell: the framed picture web_images/<pictureFile> at width x height (no picture, only
// the frame, when pictureFile is null) and the caption below it; then the column advance.
void HtmlWriteImageCell(HtmlPage *page, const char *caption, const char *pictureFile, int32_t width, int32_t height);
void HtmlBeginImageFrame(HtmlPage *page, int32_t width, int32_t height);
void HtmlEndImageFrame(HtmlPage *page, int32_t width, int32_t height);

// An image tag for web_images/<file>; with alt text when `alt` is set.
void HtmlWriteImg(HtmlPage *page, const char *file, int32_t width, int32_t height, bool alt);

// The row end: the caption row when asked for, then a spacer row.
void HtmlEndRow(HtmlPage *page);

// The column advance after a cell: past the last column the row is closed and the row end
// written. HtmlNextColumn does the same without the row end.
void HtmlAdvanceColumn(HtmlPage *page);
void HtmlNextColumn(HtmlPage *page);

// An empty cell that fills a row.
void HtmlWriteFillerCell(HtmlPage *page);

// Stores a caption of the current row (cut to fit) in the next slot.
void HtmlStoreCaption(HtmlPage *page, const char *caption);

#endif  // KIVAGLOBE_FILES_HTML_PAGE_H
