// host_log.h -- the stand-in host's JSON-lines log (--log FILE).
//
// One line per event: every selector call with its result, every callback the plug-in makes
// (advanceState, progress, abort, displayPixels, each handle and buffer procedure, the
// plug-in's global-memory calls) and the final count of what is outstanding. A line is built
// field by field:
//
//     LogBegin(log, "advanceState");  LogRect(log, "inRect", r);  LogInt(log, "result", 0);
//     LogEnd(log);
//
// gives {"event":"advanceState","inRect":[0,0,1,1024],"result":0}. Every routine does nothing
// when the log has no file, so callers need not test.
#ifndef KIVAGLOBE_HOST_HOST_LOG_H
#define KIVAGLOBE_HOST_HOST_LOG_H

#include <cstdint>
#include <cstdio>

#include "plugin/host_interface.h"

struct HostLog {
  FILE *file;   // null: logging off
};

void LogBegin(HostLog *log, const char *event);
void LogInt(HostLog *log, const char *key, int64_t value);
void LogBool(HostLog *log, const char *key, bool value);
void LogString(HostLog *log, const char *key, const char *value);
void LogFourCC(HostLog *log, const char *key, OSType4 code);
void LogRect(HostLog *log, const char *key, const Rect16 &rect);
void LogEnd(HostLog *log);

// Writes `value` as a JSON string (quotes and escapes included) to `file`.
void WriteJsonString(FILE *file, const char *value);

#endif  // KIVAGLOBE_HOST_HOST_LOG_H
