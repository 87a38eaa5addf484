// ui_driver.cpp -- the steps of a dialog script: parsing, reading --ui and --ui-step, and the
// verdict at the end of the session. Running them needs windows (ui_driver_win32.cpp).
#include "host/ui_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host_platform.h"
#include "host/host_session.h"

UiDriverState &CurrentUiDriver() {
  static UiDriverState state;
  return state;
}

struct UiStepName {
  const char *name;
  UiStepKind kind;
  int32_t numbers;    // decimal numbers after the name (the id first)
  bool text;          // the rest of the line is text
};

static const UiStepName kUiStepNames[] = {
    {"type", kUiType, 1, true},        {"click", kUiClick, 1, false}, {"rclick", kUiRightClick, 1, false},
    {"drag", kUiDrag, 3, false},       {"press", kUiPress, 1, false}, {"select", kUiSelect, 2, false},
    {"wait-preview", kUiWaitPreview, 0, false}, {"sleep", kUiSleep, 1, false},
    {"shot", kUiShot, 0, true},        {"ok", kUiOk, 0, false},       {"cancel", kUiCancel, 0, false},
    {"file", kUiFile, 0, true},        {"file-cancel", kUiFileCancel, 0, false},
    {"colour", kUiColour, 3, false},   {"colour-cancel", kUiColourCancel, 0, false},
    {"file-select", kUiFileSelect, 0, true},
    {"hold", kUiHold, 3, false},       {"release", kUiRelease, 0, false}, {"read", kUiRead, 1, false},
    {"wait-for", kUiWaitFor, 1, false},
    {"cclick", kUiCtrlClick, 1, false},
};

static const char *SkipBlanks(const char *p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

// One signed decimal number ending at a blank or the end of the line.
static bool TakeNumber(const char **cursor, int32_t *value) {
  const char *p = SkipBlanks(*cursor);
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 10);
  if (end == p || errno != 0 || v < -1000000 || v > 1000000) return false;
  if (*end != 0 && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') return false;
  *value = int32_t(v);
  *cursor = end;
  return true;
}

bool ParseUiStep(const char *line, UiStep *step, char *error, size_t errorSize) {
  std::memset(step, 0, sizeof(*step));
  const char *p = SkipBlanks(line);
  size_t n = std::strcspn(p, " \t\r\n");
  const UiStepName *name = nullptr;
  for (const UiStepName &candidate : kUiStepNames)
    if (std::strlen(candidate.name) == n && std::strncmp(candidate.name, p, n) == 0) name = &candidate;
  if (name == nullptr) {
    std::snprintf(error, errorSize, "unknown step \"%.*s\"", int(n < 40 ? n : 40), p);
    return false;
  }
  p += n;
  step->kind = name->kind;
  int32_t numbers[3] = {0, 0, 0};
  for (int32_t i = 0; i < name->numbers; i++) {
    if (!TakeNumber(&p, &numbers[i])) {
      std::snprintf(error, errorSize, "step %s: expected a number", name->name);
      return false;
    }
  }
  if (name->kind == kUiSleep) {
    step->dx = numbers[0];
    if (step->dx < 0 || step->dx > 600000) {
      std::snprintf(error, errorSize, "step sleep: milliseconds out of range");
      return false;
    }
  } else if (name->numbers > 0) {
    step->id = numbers[0];
    step->dx = numbers[1];
    step->dy = numbers[2];
    if (step->id < 0 || step->id > 0xFFFF) {
      std::snprintf(error, errorSize, "step %s: control id out of range", name->name);
      return false;
    }
    if (name->kind == kUiSelect && step->dx < 0) {
      std::snprintf(error, errorSize, "step select: the index must not be negative");
      return false;
    }
  }
  if (name->text) {
    // The text is the rest of the line after one blank, trailing line ends removed; typing
    // keeps inner and trailing blanks, a file name keeps none at its end.
    if (*p == ' ' || *p == '\t') p++;
    size_t length = std::strcspn(p, "\r\n");
    if (name->kind == kUiShot)
      while (length > 0 && (p[length - 1] == ' ' || p[length - 1] == '\t')) length--;
    if (length >= kUiTextSize) {
      std::snprintf(error, errorSize, "step %s: text too long", name->name);
      return false;
    }
    std::memcpy(step->text, p, length);
    step->text[length] = 0;
    if ((name->kind == kUiShot || name->kind == kUiFile || name->kind == kUiFileSelect) && length == 0) {
      std::snprintf(error, errorSize, "step %s: a file name is needed", name->name);
      return false;
    }
    return true;
  }
  p = SkipBlanks(p);
  if (*p != 0 && *p != '\r' && *p != '\n') {
    std::snprintf(error, errorSize, "step %s: unexpected \"%.20s\"", name->name, p);
    return false;
  }
  return true;
}

bool ParseUiScript(const char *text, std::vector<UiStep> *steps, char *error, size_t errorSize) {
  int32_t lineNumber = 0;
  const char *p = text;
  while (*p != 0) {
    lineNumber++;
    size_t n = std::strcspn(p, "\n");
    std::string line(p, n);
    p += n;
    if (*p == '\n') p++;
    const char *start = SkipBlanks(line.c_str());
    if (*start == 0 || *start == '#' || *start == '\r') continue;
    UiStep step;
    char reason[256];
    if (!ParseUiStep(line.c_str(), &step, reason, sizeof reason)) {
      std::snprintf(error, errorSize, "line %d: %s", lineNumber, reason);
      return false;
    }
    steps->push_back(step);
  }
  return true;
}

void FormatUiStep(const UiStep &step, char *out, size_t outSize) {
  const char *name = "?";
  for (const UiStepName &candidate : kUiStepNames)
    if (candidate.kind == step.kind) name = candidate.name;
  switch (step.kind) {
    case kUiType: std::snprintf(out, outSize, "%s %d %s", name, step.id, step.text); break;
    case kUiDrag:
    case kUiHold: std::snprintf(out, outSize, "%s %d %d %d", name, step.id, step.dx, step.dy); break;
    case kUiSelect: std::snprintf(out, outSize, "%s %d %d", name, step.id, step.dx); break;
    case kUiSleep: std::snprintf(out, outSize, "%s %d", name, step.dx); break;
    case kUiShot:
    case kUiFileSelect:
    case kUiFile: std::snprintf(out, outSize, "%s %s", name, step.text); break;
    case kUiColour: std::snprintf(out, outSize, "%s %d %d %d", name, step.id, step.dx, step.dy); break;
    case kUiClick:
    case kUiCtrlClick:
    case kUiRightClick:
    case kUiRead:
    case kUiWaitFor:
    case kUiPress: std::snprintf(out, outSize, "%s %d", name, step.id); break;
    default: std::snprintf(out, outSize, "%s", name); break;
  }
}

bool PrepareUiDriver(HostSession *session, char *error, size_t errorSize) {
  UiDriverState &state = CurrentUiDriver();
  state.steps.clear();
  state.next = 0;
  state.failed = false;
  state.failure[0] = 0;
  const HostOptions &options = session->options;
  if (options.uiPath[0] != 0) {
    char path[kHostPathSize];
    std::snprintf(path, sizeof path, "%s", options.uiPath);
    MapHostPath(path, sizeof path);
    FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
      std::snprintf(error, errorSize, "cannot read the steps file %s", options.uiPath);
      return false;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    std::fclose(file);
    char reason[512];
    if (!ParseUiScript(text.c_str(), &state.steps, reason, sizeof reason)) {
      std::snprintf(error, errorSize, "%s: %s", options.uiPath, reason);
      return false;
    }
  }
  for (int32_t i = 0; i < options.uiStepCount; i++) {
    UiStep step;
    char reason[256];
    if (!ParseUiStep(options.uiSteps[i], &step, reason, sizeof reason)) {
      std::snprintf(error, errorSize, "--ui-step \"%s\": %s", options.uiSteps[i], reason);
      return false;
    }
    state.steps.push_back(step);
  }
  return true;
}

int FinishUiDriver(HostSession *session) {
  UiDriverState &state = CurrentUiDriver();
  if (state.steps.empty()) return kHostStatusOk;
  int status = kHostStatusOk;
  if (state.failed) {
    std::fprintf(session->out, "UI failed: %s\n", state.failure);
    status = kHostStatusCannotRun;
  } else if (state.next < state.steps.size()) {
    char text[kUiTextSize + 64];
    FormatUiStep(state.steps[state.next], text, sizeof text);
    std::fprintf(session->out, "UI failed: %d of %d steps done; the dialog was gone before \"%s\"\n",
                 int(state.next), int(state.steps.size()), text);
    status = kHostStatusCannotRun;
  }
  state.steps.clear();
  state.next = 0;
  return status;
}
