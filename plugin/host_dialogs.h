// host_dialogs.h -- the boxes that the frame shows to the user on the host's behalf: the About
// box (selector About), the two refusals at Start (a host without advanceState, a
// multichannel image) and the info box; the message dialogs they run through; and the opening
// of web pages in the user's browser.
//
// The boxes are dialog templates of the module (resources/dialogs.rc). Without windows
// (host_dialogs_posix.cpp) nothing is shown and each call answers as if the user had
// dismissed the box at once.
#ifndef KIVAGLOBE_PLUGIN_HOST_DIALOGS_H
#define KIVAGLOBE_PLUGIN_HOST_DIALOGS_H

// The maker's web site, opened by the About box's button.
constexpr const char *kHomePageAddress = "https://www.example.com/";

// The About box's button that opens the web site.
constexpr int kAboutWebButton = 5;

// Runs the About box modally, unless one is already open; owned by the main dialog while that
// runs (which is then disabled under it), else without owner.
void ShowAboutBox();

// "The filter cannot run ..." for a host that lacks advanceState ("REFUSAL2").
void ShowHostRefusal();

// The refusal of a multichannel image ("REFUSAL3").
void ShowModeRefusal();

// Runs the info box ("TOLVO_INFO_BOX") modally unless it is already open, owned like the About
// box; it ends itself with 1 once the main dialog is gone. Answers the box's end code (0 when
// none was shown).
int ShowInfoBox();

// Runs the named dialog template of the module modally, without owner; returns the id of the
// button that ended it, or -1 when the template cannot be shown.
int ShowMessageDialog(const char *templateName);

// The message dialogs' substitution: "^0".."^3" in the texts of items 99, 100 and 101 are
// replaced by the four strings stored here, when the string is not empty. The strings are
// copied (each cut to fit the work buffer); a null pointer stores the empty string.
constexpr int kMessageTextSize = 1500;
constexpr int kMessageTextItems[3] = {99, 100, 101};
void SetMessageArgs(const char *s0, const char *s1, const char *s2, const char *s3);

// Substitutes in place in `text`, a buffer of kMessageTextSize bytes holding a terminated
// string: each "^" followed by 0..3 whose stored string is not empty becomes that string.
// The result is cut to kMessageTextSize - 1 characters.
void SubstituteMessageArgs(char *text);

// Places a dialog over its parent (or the desktop), a third of the free height above it.
void CenterDialog(void *window);

// Opens the maker's web site, or a written page, in the user's browser. When no browser opens
// the web site, Kivaglobe32 shows the box "COMPLAIN_QZ" with its address.
constexpr bool kComplainsWithoutBrowser = sizeof(void *) == 4;
void OpenHomePage();
void OpenInBrowser(const char *path);

// The tool windows that may be up while the main dialog runs, each noted by its dialog
// procedure when it opens (null again when it closes). When the main dialog ends it closes
// whichever are still open (CloseToolWindows), so that none outlives it on the screen.
enum ToolWindow : int {
  kToolAboutBox,
  kToolInfoBox,
  kToolCloudChooser,
  kToolDownloadBox,
  kToolWindowCount,
};
void NoteToolWindow(ToolWindow which, void *window);
void *OpenToolWindow(ToolWindow which);

// Posts WM_CLOSE to every noted tool window, forgets them, and clears the About and info
// boxes' flags. The main dialog calls it as it ends.
void CloseToolWindows();

// Posts WM_CLOSE to the window (nothing without windows).
void PostWindowClose(void *window);

// The module flags of the open About and info boxes; the About selector clears aboutBoxOpen
// before showing the box.
extern bool aboutBoxOpen;
extern bool infoBoxOpen;

#endif  // KIVAGLOBE_PLUGIN_HOST_DIALOGS_H
