// host_scripting.cpp -- recorded actions in a session: what the host hands the plug-in as its
// scripting descriptor, and what it keeps of the one Finish writes.
//
// Like an editor, the host always offers its descriptor procedures. playInfo is 1 (show the
// dialog) when --dialog asks for the plug-in's dialog, else 2 (silent), as for an action
// replayed without its dialog. A descriptor is handed over only when --play, --set or --mode
// give one; --play's entries come first, then --set and --mode replace or add theirs.
#include <cstdio>
#include <cstring>

#include "host/host_session.h"

bool OpenSessionScripting(HostSession *s, char *error, size_t errorSize) {
  const HostOptions &o = s->options;
  InitDescriptorStore(&s->scripting, &s->handleProcs, o.dialog ? kPlayDisplay : kPlaySilent);
  s->record.descriptorParameters = &s->scripting.parameters;

  const bool needNames = o.listParameters || o.setCount > 0 || o.modeName != nullptr;
  if (needNames &&
      !ReadTerminology(s->module.terminology, s->module.terminologySize, &s->terminology, error, errorSize))
    return false;
  if (o.listParameters) {
    std::fputs(ListParameters(s->terminology).c_str(), s->out);
    return true;
  }

  HostDescriptorEntries entries;
  bool play = false;
  if (o.playPath[0] != 0) {
    if (!LoadDescriptorFile(o.playPath, &entries, error, errorSize)) return false;
    play = true;
  }
  for (int32_t i = 0; i < o.setCount; i++) {
    if (!ApplySetting(s->terminology, o.sets[i], &entries, error, errorSize)) return false;
    play = true;
  }
  if (o.modeName != nullptr) {
    if (!ApplyModeName(s->terminology, o.modeName, &entries, error, errorSize)) return false;
    play = true;
  }
  if (play) SetPlayDescriptor(&s->scripting, entries);
  return true;
}

int CloseSessionScripting(HostSession *s) {
  int status = kHostStatusOk;
  if (s->record.descriptorParameters != &s->scripting.parameters) return status;
  HostDescriptorEntries recorded;
  bool haveRecord = GetRecordedDescriptor(&s->scripting, &recorded);
  LogBegin(&s->log, "descriptor");
  LogInt(&s->log, "recordInfo", s->scripting.parameters.recordInfo);
  LogInt(&s->log, "recordedKeys", haveRecord ? int64_t(recorded.size()) : -1);
  LogEnd(&s->log);
  for (const std::string &line : s->scripting.log) {
    LogBegin(&s->log, "descriptorCall");
    LogString(&s->log, "call", line.c_str());
    LogEnd(&s->log);
  }
  if (s->options.recordPath[0] != 0) {
    char error[kHostPathSize + 64];
    if (!haveRecord) {
      std::fprintf(s->out, "Record: the plug-in wrote no descriptor\n");
      status = kHostStatusPluginError;
    } else if (!SaveDescriptorFile(s->options.recordPath, recorded, error, sizeof error)) {
      std::fprintf(stderr, "kivahost: %s\n", error);
      status = kHostStatusCannotRun;
    } else {
      std::fprintf(s->out, "Recorded: %zu keys, recordInfo %d\n", recorded.size(),
                   int(s->scripting.parameters.recordInfo));
    }
  }
  ReleaseDescriptorStore(&s->scripting);
  s->record.descriptorParameters = nullptr;
  return status;
}
