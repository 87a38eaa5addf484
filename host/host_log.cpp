// host_log.cpp -- JSON lines for the stand-in host's log.
#include "host/host_log.h"

#include <cinttypes>

void WriteJsonString(FILE *file, const char *value) {
  std::fputc('"', file);
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value); *p != 0; p++) {
    unsigned char c = *p;
    if (c == '"' || c == '\\') {
      std::fputc('\\', file);
      std::fputc(c, file);
    } else if (c == '\n') {
      std::fputs("\\n", file);
    } else if (c < 0x20 || c >= 0x7F) {
      // Control characters and bytes outside ASCII (titles in the ANSI code page) are escaped
      // one by one, so every line stays valid UTF-8.
      std::fprintf(file, "\\u%04x", c);
    } else {
      std::fputc(c, file);
    }
  }
  std::fputc('"', file);
}

void LogBegin(HostLog *log, const char *event) {
  if (log->file == nullptr) return;
  std::fputs("{\"event\":", log->file);
  WriteJsonString(log->file, event);
}

static void Key(HostLog *log, const char *key) {
  std::fputc(',', log->file);
  WriteJsonString(log->file, key);
  std::fputc(':', log->file);
}

void LogInt(HostLog *log, const char *key, int64_t value) {
  if (log->file == nullptr) return;
  Key(log, key);
  std::fprintf(log->file, "%" PRId64, value);
}

void LogBool(HostLog *log, const char *key, bool value) {
  if (log->file == nullptr) return;
  Key(log, key);
  std::fputs(value ? "true" : "false", log->file);
}

void LogString(HostLog *log, const char *key, const char *value) {
  if (log->file == nullptr) return;
  Key(log, key);
  WriteJsonString(log->file, value != nullptr ? value : "");
}

void LogFourCC(HostLog *log, const char *key, OSType4 code) {
  char text[5];
  for (int i = 0; i < 4; i++) {
    char c = char((code >> (24 - 8 * i)) & 0xFF);
    text[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  text[4] = 0;
  LogString(log, key, text);
}

void LogRect(HostLog *log, const char *key, const Rect16 &rect) {
  if (log->file == nullptr) return;
  Key(log, key);
  std::fprintf(log->file, "[%d,%d,%d,%d]", rect.top, rect.left, rect.bottom, rect.right);
}

void LogEnd(HostLog *log) {
  if (log->file == nullptr) return;
  std::fputs("}\n", log->file);
}
