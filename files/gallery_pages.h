// gallery_pages.h -- the two gallery pages a user opens in a browser, and the dialog's parts
// that the page and batch commands call.
//
//   presets page       every preset (".q1q") of a chosen folder with its stored thumbnail,
//                      five to a row, at 88 x 88
//   memory-dots page   every memory dot that holds settings, rendered at 300 pixels on the
//                      longer side, four to a row
//
// The pictures and the frame images go into "web_images" beside the page (html_page.h). The
// folder is listed in name order. Before anything is written the names are measured: a page
// whose picture paths would not fit the 260-byte path field is refused as a whole, with a
// message, rather than written with pictures missing. A page that was not written completely
// is not opened in the browser; the user is told instead.
//
// The commands run inside the main dialog, which owns the file choosers, the controls, the
// cursor and the message boxes. The dialog fills GalleryDialogProcs when it starts; a
// procedure left null is skipped (a chooser left null answers "cancelled"), which is how the
// tests drive the page writers and the batch refresh without a dialog.
#ifndef KIVAGLOBE_FILES_GALLERY_PAGES_H
#define KIVAGLOBE_FILES_GALLERY_PAGES_H

#include <cstdint>

#include "files/html_page.h"
#include "foundation/file_locations.h"

struct PluginGlobals;

// File kinds of the folder chooser, as the dialog's file dialogs number them.
constexpr int32_t kChoosePresetFiles = 1;   // .q1q, with the preset preview
constexpr int32_t kChooseQueuedFiles = 5;   // any file (queued presets are not .q1q)
constexpr int32_t kSaveHtmlPage = 3;        // the save dialog's kind for a page

struct GalleryDialogProcs {
  // Asks for any file in a folder; the folder (ending in a backslash) replaces the 260-byte
  // buffer's contents. False when cancelled.
  bool (*chooseSourceFolder)(PluginGlobals *globals, char *folder, int32_t kind);
  // The save dialog: `spec` receives the chosen path. False when cancelled.
  bool (*chooseSaveFile)(PluginGlobals *globals, void *dialog, int32_t kind, const char *title,
                         const char *defaultName, FileSpec *spec);
  // Tells the user something went wrong (a message box over the dialog).
  void (*tellUser)(PluginGlobals *globals, void *dialog, const char *text);
  void (*waitCursor)();
  void (*arrowCursor)();
  // The batch refresh: parameters into the controls and back, the dialog repainted (preview
  // frame and controls) after the preview was rendered, and a repaint requested.
  void (*parametersToDialog)(PluginGlobals *globals, void *dialog);
  void (*dialogToParameters)(PluginGlobals *globals, void *dialog);
  void (*repaintAfterPreview)(PluginGlobals *globals, void *dialog);
  void (*invalidateDialog)(void *dialog);
  // Opens a written page; OpenInBrowser unless replaced.
  void (*openInBrowser)(const char *path);
};

extern GalleryDialogProcs gGalleryDialogProcs;

// Results of the page writers, beside those of HtmlBeginPage and the file routines.
enum : int16_t {
  kGalleryNamesTooLong = 96,   // a page, picture or preset path would not fit 260 bytes
  kGalleryNoFolder = 95,       // the preset folder cannot be listed
  kGalleryNoRun = 94,          // the memory-dots page needs a run to render in
};

// Messages of the commands.
extern const char kPageNotWrittenMessage[];
extern const char kNamesTooLongMessage[];
// The row a presets page opens with when some presets could not be opened (the count in %d).
extern const char kOnePresetNotShownNote[];
extern const char kPresetsNotShownNote[];

// The presets page of `folder` into `pageSpec`: 5 columns, kind 0; a page of another kind
// (`how`) lists nothing. 0 or the first failure.
int16_t WritePresetsPage(PluginGlobals *globals, const FileSpec *pageSpec, const FileSpec *folder, uint32_t how);

// One preset cell: the thumbnail in `globals` (read just before) written as the picture
// web_images/<picture>, and the cell at 88 x 88 captioned with the preset's name. The page
// names each preset's picture: its base name with ".jpg", made safe for a file name, and
// numbered (" 2.jpg") when an earlier preset of the page took that name.
void WritePresetCell(PluginGlobals *globals, HtmlPage *page, const char *fileName, const char *picture);

// The memory-dots page into `pageSpec` (which 14): 4 columns, kind 3. 0 or the first failure.
int16_t WriteMemoryDotsPage(PluginGlobals *globals, const FileSpec *pageSpec, int32_t which);

// Renders memory dot `dot` (which 14; the current settings otherwise) into the run's export
// image at the filter rectangle's shape, 300 pixels on the longer side, and writes it as a
// JPEG. The current settings are parked in the scratch dot and loaded back; the host request
// is restored. *width and *height receive the picture's size. 0, -108 (no image), or the open
// or write failure.
int16_t RenderPreviewJpeg(int32_t dot, PluginGlobals *globals, const FileSpec *jpegSpec, uint8_t *cancel,
                          int32_t *width, int32_t *height, int32_t which);

// The dialog commands: choose the folder and the page file, write the page, open it. A second
// start of the presets page while one is being written is ignored; its end also clears the
// batch refresh's running flag.
void ExportPresetsHtml(PluginGlobals *globals, void *dialog, uint32_t kind);
void ExportMemoryDotsHtml(PluginGlobals *globals, void *dialog);

// The message box of the platform (Windows: MessageBoxA over the dialog; elsewhere nothing):
// what the commands use when the dialog gives no tellUser.
void ShowGalleryMessage(void *dialog, const char *text);

#endif  // KIVAGLOBE_FILES_GALLERY_PAGES_H
