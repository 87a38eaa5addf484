// host_dialogs.cpp -- the open flags of the About and info boxes and the message texts'
// substitution (see host_dialogs.h); the boxes themselves are in host_dialogs_win32.cpp and
// host_dialogs_posix.cpp.
#include "plugin/host_dialogs.h"

#include <cstring>

bool aboutBoxOpen = false;
bool infoBoxOpen = false;

static void *gToolWindows[kToolWindowCount];

void NoteToolWindow(ToolWindow which, void *window) { gToolWindows[which] = window; }

void *OpenToolWindow(ToolWindow which) { return gToolWindows[which]; }

// Each box ends itself on WM_CLOSE, clearing its own flag there too; the flags are cleared here
// as well, so that a box whose close is still in the queue is not taken for open meanwhile.
void CloseToolWindows() {
  for (void *&window : gToolWindows) {
    if (window != nullptr) PostWindowClose(window);
    window = nullptr;
  }
  aboutBoxOpen = false;
  infoBoxOpen = false;
}

// The four substitution strings, kept while the module is loaded.
static char gMessageArgs[4][kMessageTextSize];

void SetMessageArgs(const char *s0, const char *s1, const char *s2, const char *s3) {
  const char *args[4] = {s0, s1, s2, s3};
  for (int i = 0; i < 4; i++) {
    gMessageArgs[i][0] = 0;
    if (args[i] == nullptr) continue;
    size_t length = strnlen(args[i], kMessageTextSize - 1);
    std::memcpy(gMessageArgs[i], args[i], length);
    gMessageArgs[i][length] = 0;
  }
}

// The text is rebuilt into a scratch buffer and copied back, so that a substituted string that
// itself holds "^1" is not substituted again, and the result never outgrows the buffer.
void SubstituteMessageArgs(char *text) {
  char work[kMessageTextSize];
  size_t in = 0, out = 0;
  const size_t limit = kMessageTextSize - 1;
  size_t length = strnlen(text, limit);
  while (in < length && out < limit) {
    char c = text[in];
    char next = in + 1 < length ? text[in + 1] : 0;
    if (c == '^' && next >= '0' && next <= '3' && gMessageArgs[next - '0'][0] != 0) {
      const char *arg = gMessageArgs[next - '0'];
      size_t n = std::strlen(arg);
      if (n > limit - out) n = limit - out;
      std::memcpy(work + out, arg, n);
      out += n;
      in += 2;
      continue;
    }
    work[out++] = c;
    in++;
  }
  work[out] = 0;
  std::memcpy(text, work, out + 1);
}
