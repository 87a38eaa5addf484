// script_descriptor.h -- the host's scripting descriptor: the key table, the reader that turns
// a recorded action into ParameterBlock fields, and the small descriptor routines that the
// reader and Finish's writer share.
//
// A recorded action carries the planet as 59 keyed values. The key table lists them in the
// order the writer puts them (the settings writer's descriptor mode walks the same order), and
// the host's openReadDescriptor procedure takes it as a zero-terminated array. Each key says
// how its value is stored in the block:
//
//     integer   getInteger straight into a 32-bit field
//     channel   getInteger x 256 into a 16-bit colour channel (the descriptor carries only the
//               high byte, so the low byte of a colour is lost in a round trip)
//     boolean   getBoolean as 0 or 1 into a 32-bit field
//     float     getFloat (a double) narrowed to the block's float
//     mode      getEnumerated of type 'LGty' through ReadOutputModeCode
//
// The terminology resource (resources/make_aete.py) names the same keys for the host.
#ifndef KIVAGLOBE_PLUGIN_SCRIPT_DESCRIPTOR_H
#define KIVAGLOBE_PLUGIN_SCRIPT_DESCRIPTOR_H

#include <cstdint>

#include "plugin/globals.h"
#include "plugin/host_interface.h"

constexpr int32_t kScriptKeyCount = 59;
constexpr OSType4 kOutputModeKey = FourCC('L', 'G', 'k', 'y');
constexpr OSType4 kOutputModeType = FourCC('L', 'G', 't', 'y');
constexpr OSType4 kNoOutputModeCode = FourCC('<', 'N', 'O', '>');

enum ScriptValueKind : uint8_t {
  kScriptInteger,
  kScriptChannel,
  kScriptBoolean,
  kScriptFloat,
  kScriptMode,
};

struct ScriptKey {
  DescriptorKeyID key;
  ScriptValueKind kind;
  uint16_t offset;   // of the field in the ParameterBlock
};

// The 59 keys in writing order.
extern const ScriptKey kScriptKeys[kScriptKeyCount];

// The same keys as the host's openReadDescriptor takes them: 59 keys and a zero word.
extern DescriptorKeyID gScriptKeyList[kScriptKeyCount + 1];

// The entry of a key, or null for a key that is not ours.
const ScriptKey *FindScriptKey(DescriptorKeyID key);

// 'LGty' values and outputMode 1..14. ReadOutputModeCode sets *mode to 0 and returns true with
// 1..14 only for type 'LGty' and a value 'LG01'..'LG14'. WriteOutputModeCode gives
// 'LG01'..'LG14' for mode 1..14 and type 'LGty', '<NO>' for anything else.
bool ReadOutputModeCode(OSType4 type, OSType4 value, uint32_t *mode);
void WriteOutputModeCode(uint32_t mode, OSType4 type, OSType4 *value);

// The host signature is 'PSP8' or 'PSP9': such hosts never get a descriptor read.
bool HostIsPsp(const PluginGlobals *globals);

// The host's openReadDescriptor on the descriptor parameters' descriptor with a key list.
HostDescriptorRef OpenReadDescriptor(PluginGlobals *globals, DescriptorKeyID *keys);

// Whether the host hands us a descriptor that opens. The token it opened is closed again
// (without disposing of the descriptor, which the reader still needs); the close result,
// -1715 for the keys that were not read, is of no interest here.
bool HasScriptDescriptor(PluginGlobals *globals);

// Start's step: when the host passes a usable descriptor, the defaults and then every key of
// it go into the ParameterBlock, and showDialog follows playInfo. A close error other than
// -1715 goes to the result word. Returns showDialog (0 for 'PSP8'/'PSP9' hosts, 1 when the
// descriptor procedures are not usable; nothing is changed in both cases).
int16_t ReadScriptParameters(PluginGlobals *globals);

// Closes the reader, disposes of the descriptor handle, clears the descriptor and the token;
// returns the close procedure's result.
int16_t HostCloseReader(HostDescriptorParameters *parameters, HostHandleProcs *handleProcs,
                        HostDescriptorRef *token);

// Disposes of the old descriptor handle, closes the writer into a new one kept in the
// descriptor parameters, sets recordInfo to 0 (dialog optional) and clears the token. 0.
int16_t HostCloseWriter(HostDescriptorParameters *parameters, HostHandleProcs *handleProcs,
                        HostDescriptorRef *token);

// playInfo asks for the dialog (1).
bool HostPlayDialog(const HostDescriptorParameters *parameters);

// Finish: the parameters under their 59 keys into a new write descriptor, through the
// settings writer (gPluginFileHooks.writeDescriptorSettings). Records nothing when the host
// has no usable descriptor procedures or refuses a write descriptor.
void WriteScriptParameters(PluginGlobals *globals);

#endif  // KIVAGLOBE_PLUGIN_SCRIPT_DESCRIPTOR_H
