// host_colour.h -- the stand-in host's colour services: the picker an editor offers its
// plug-ins (the choose-colour selector of the colour-services procedure).
//
//   --host-colour R,G,B     the picker answers with this colour (each 0..255)
//   --host-colour cancel    the picker is cancelled (the procedure answers -128)
//
// Without the option the filter record offers no colour services, and a plug-in uses its own
// picker. Every call is logged with the colour and prompt the plug-in sent.
#ifndef KIVAGLOBE_HOST_HOST_COLOUR_H
#define KIVAGLOBE_HOST_HOST_COLOUR_H

#include <cstdint>

#include "plugin/host_interface.h"

struct HostColourAnswer {
  bool offered;        // the option was given
  bool cancel;
  int16_t rgb[3];
};

// Parses the option's value. False for anything but "cancel" or three numbers 0..255.
bool ParseHostColour(const char *value, HostColourAnswer *answer);

// The answer the procedure gives from now on; the procedure itself (null when not offered).
void SetHostColourAnswer(const HostColourAnswer &answer);
HostColorServicesProc HostColourServices(const HostColourAnswer &answer);

// What the last call was handed: the components and the prompt (a C string); calls so far.
struct HostColourCall {
  int32_t calls;
  int16_t sent[4];
  char prompt[256];
};
const HostColourCall &LastHostColourCall();

#endif  // KIVAGLOBE_HOST_HOST_COLOUR_H
