// host_colour.cpp -- the stand-in host's colour picker (see host_colour.h).
#include "host/host_colour.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HostColourAnswer gAnswer;
HostColourCall gLastCall;

OSErr16 KV_HOSTAPI ColourServices(HostColorServicesInfo *info) {
  if (info == nullptr || info->selector != kColorServicesChooseColor) return -1;
  gLastCall.calls++;
  std::memcpy(gLastCall.sent, info->colorComponents, sizeof gLastCall.sent);
  gLastCall.prompt[0] = 0;
  const unsigned char *prompt = info->selectorParameter.pickerPrompt;
  if (prompt != nullptr) {
    std::memcpy(gLastCall.prompt, prompt + 1, prompt[0]);
    gLastCall.prompt[prompt[0]] = 0;
  }
  if (gAnswer.cancel) return kResultUserCanceled;
  for (int i = 0; i < 3; i++) info->colorComponents[i] = gAnswer.rgb[i];
  return kResultOk;
}

}  // namespace

bool ParseHostColour(const char *value, HostColourAnswer *answer) {
  *answer = HostColourAnswer{};
  if (value == nullptr) return false;
  if (std::strcmp(value, "cancel") == 0) {
    answer->offered = answer->cancel = true;
    return true;
  }
  const char *p = value;
  for (int i = 0; i < 3; i++) {
    char *end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p || v < 0 || v > 255) return false;
    if (*end != (i < 2 ? ',' : 0)) return false;
    answer->rgb[i] = int16_t(v);
    p = end + 1;
  }
  answer->offered = true;
  return true;
}

void SetHostColourAnswer(const HostColourAnswer &answer) { gAnswer = answer; }

HostColorServicesProc HostColourServices(const HostColourAnswer &answer) {
  SetHostColourAnswer(answer);
  return answer.offered ? ColourServices : nullptr;
}

const HostColourCall &LastHostColourCall() { return gLastCall; }
