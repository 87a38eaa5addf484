// script_descriptor.cpp -- the key table, the descriptor reader and the descriptor routines
// shared with Finish's writer (see script_descriptor.h).
#include "plugin/script_descriptor.h"

#include <cfloat>
#include <cstddef>
#include <cstring>

#include "plugin/file_hooks.h"
#include "plugin/host_memory.h"
#include "plugin/host_utils.h"

#define KV_CHANNEL(key, field, channel)                                                      \
  {key, kScriptChannel,                                                                      \
   static_cast<uint16_t>(offsetof(ParameterBlock, field) + offsetof(ParameterColor, channel))}
#define KV_FIELD(key, kind, field) {key, kind, static_cast<uint16_t>(offsetof(ParameterBlock, field))}
#define KV_ELEMENT(key, field, i) \
  {key, kScriptFloat, static_cast<uint16_t>(offsetof(ParameterBlock, field) + (i) * sizeof(float))}
#define KV_KEY(a, b, c, d) FourCC(a, b, c, d)

const ScriptKey kScriptKeys[kScriptKeyCount] = {
    KV_CHANNEL(KV_KEY('0', '0', '0', '1'), landColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '0', '2'), landColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '0', '3'), landColor, blue),
    KV_CHANNEL(KV_KEY('0', '0', '0', '4'), airColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '0', '5'), airColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '0', '6'), airColor, blue),
    KV_CHANNEL(KV_KEY('0', '0', '0', '7'), seaColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '0', '8'), seaColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '0', '9'), seaColor, blue),
    KV_FIELD(KV_KEY('0', '0', '1', '0'), kScriptInteger, airDepth),
    KV_FIELD(KV_KEY('0', '0', '1', '1'), kScriptInteger, cloudHeight),
    KV_FIELD(KV_KEY('0', '0', '1', '2'), kScriptInteger, cloudShadows),
    KV_FIELD(KV_KEY('0', '0', '1', '3'), kScriptInteger, sunset),
    KV_FIELD(KV_KEY('0', '0', '1', '4'), kScriptInteger, planetSize),
    KV_FIELD(KV_KEY('0', '0', '1', '5'), kScriptInteger, landComplexity),
    KV_FIELD(KV_KEY('0', '0', '1', '6'), kScriptInteger, stormSize),
    KV_FIELD(KV_KEY('0', '0', '1', '7'), kScriptInteger, stormCount),
    KV_FIELD(KV_KEY('0', '0', '1', '8'), kScriptInteger, stormSwirl),
    KV_FIELD(KV_KEY('0', '0', '1', '9'), kScriptInteger, airBrightness),
    KV_FIELD(KV_KEY('0', '0', '2', '0'), kScriptBoolean, realClouds),
    KV_FIELD(KV_KEY('0', '0', '2', '1'), kScriptBoolean, backlighting),
    KV_FIELD(KV_KEY('0', '0', '2', '2'), kScriptInteger, seaLevel),
    KV_FIELD(KV_KEY('0', '0', '2', '3'), kScriptInteger, desert),
    KV_FIELD(KV_KEY('0', '0', '2', '4'), kScriptInteger, craterCount),
    KV_FIELD(KV_KEY('2', '4', 'p', '5'), kScriptInteger, craterSize),
    KV_FIELD(KV_KEY('0', '0', '2', '5'), kScriptInteger, craterTexture),
    KV_FIELD(KV_KEY('0', '0', '2', '6'), kScriptInteger, cloudEdges),
    KV_CHANNEL(KV_KEY('0', '0', '2', '7'), cloudColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '2', '8'), cloudColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '2', '9'), cloudColor, blue),
    KV_FIELD(KV_KEY('0', '0', '3', '0'), kScriptInteger, landTexture),
    KV_FIELD(KV_KEY('0', '0', '3', '1'), kScriptInteger, cloudCoverage),
    KV_FIELD(KV_KEY('0', '0', '3', '2'), kScriptBoolean, realLuna),
    KV_FIELD(KV_KEY('L', 'G', 'k', 'y'), kScriptMode, outputMode),
    KV_FIELD(KV_KEY('0', '0', '3', '4'), kScriptInteger, cities),
    KV_FIELD(KV_KEY('0', '0', '3', '5'), kScriptInteger, cloudViscosity),
    KV_FIELD(KV_KEY('0', '0', '3', '6'), kScriptBoolean, lunarClimate),
    KV_FIELD(KV_KEY('0', '0', '3', '7'), kScriptInteger, ice),
    KV_FIELD(KV_KEY('0', '0', '3', '8'), kScriptInteger, cloudTexture),
    KV_ELEMENT(KV_KEY('0', '0', '3', '9'), lightVector, 0),
    KV_ELEMENT(KV_KEY('0', '0', '4', '0'), lightVector, 1),
    KV_ELEMENT(KV_KEY('0', '0', '4', '1'), lightVector, 2),
    KV_ELEMENT(KV_KEY('0', '0', '4', '2'), axisVector, 0),
    KV_ELEMENT(KV_KEY('0', '0', '4', '3'), axisVector, 1),
    KV_ELEMENT(KV_KEY('0', '0', '4', '4'), axisVector, 2),
    KV_FIELD(KV_KEY('0', '0', '4', '5'), kScriptInteger, randomSeed),
    KV_FIELD(KV_KEY('0', '0', '4', '6'), kScriptInteger, cloudCoriolis),
    KV_FIELD(KV_KEY('0', '0', '4', '7'), kScriptInteger, cloudImage),
    KV_CHANNEL(KV_KEY('0', '0', '4', '8'), desertColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '4', '9'), desertColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '5', '0'), desertColor, blue),
    KV_CHANNEL(KV_KEY('0', '0', '5', '1'), iceColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '5', '2'), iceColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '5', '3'), iceColor, blue),
    KV_CHANNEL(KV_KEY('0', '0', '5', '4'), cityColor, red),
    KV_CHANNEL(KV_KEY('0', '0', '5', '5'), cityColor, green),
    KV_CHANNEL(KV_KEY('0', '0', '5', '6'), cityColor, blue),
    KV_FIELD(KV_KEY('0', '0', '5', '7'), kScriptFloat, centerX),
    KV_FIELD(KV_KEY('0', '0', '5', '8'), kScriptFloat, centerY),
};

#undef KV_CHANNEL
#undef KV_FIELD
#undef KV_ELEMENT

#define KV_K(i) kScriptKeys[i].key
DescriptorKeyID gScriptKeyList[kScriptKeyCount + 1] = {
    KV_K(0),  KV_K(1),  KV_K(2),  KV_K(3),  KV_K(4),  KV_K(5),  KV_K(6),  KV_K(7),  KV_K(8),  KV_K(9),
    KV_K(10), KV_K(11), KV_K(12), KV_K(13), KV_K(14), KV_K(15), KV_K(16), KV_K(17), KV_K(18), KV_K(19),
    KV_K(20), KV_K(21), KV_K(22), KV_K(23), KV_K(24), KV_K(25), KV_K(26), KV_K(27), KV_K(28), KV_K(29),
    KV_K(30), KV_K(31), KV_K(32), KV_K(33), KV_K(34), KV_K(35), KV_K(36), KV_K(37), KV_K(38), KV_K(39),
    KV_K(40), KV_K(41), KV_K(42), KV_K(43), KV_K(44), KV_K(45), KV_K(46), KV_K(47), KV_K(48), KV_K(49),
    KV_K(50), KV_K(51), KV_K(52), KV_K(53), KV_K(54), KV_K(55), KV_K(56), KV_K(57), KV_K(58), 0,
};
#undef KV_K
#undef KV_KEY

const ScriptKey *FindScriptKey(DescriptorKeyID key) {
  for (int32_t i = 0; i < kScriptKeyCount; i++) {
    if (kScriptKeys[i].key == key) return &kScriptKeys[i];
  }
  return nullptr;
}

// ---- Output mode codes ---------------------------------------------------------------------
//
// 'LG01'..'LG14': the two last characters are the mode's decimal digits.

bool ReadOutputModeCode(OSType4 type, OSType4 value, uint32_t *mode) {
  *mode = 0;
  if (type != kOutputModeType) return false;
  if ((value >> 16) != (kOutputModeType >> 16)) return false;
  uint32_t tens = (value >> 8) & 0xFF, units = value & 0xFF;
  if (tens < '0' || tens > '9' || units < '0' || units > '9') return false;
  uint32_t number = (tens - '0') * 10 + (units - '0');
  if (number < 1 || number > 14) return false;
  *mode = number;
  return true;
}

void WriteOutputModeCode(uint32_t mode, OSType4 type, OSType4 *value) {
  if (type != kOutputModeType || mode < 1 || mode > 14) {
    *value = kNoOutputModeCode;
    return;
  }
  *value = FourCC('L', 'G', char('0' + mode / 10), char('0' + mode % 10));
}

// ---- Host tests ------------------------------------------------------------------------------

bool HostIsPsp(const PluginGlobals *globals) {
  OSType4 signature = globals->filterRecord->hostSig;
  return signature == FourCC('P', 'S', 'P', '8') || signature == FourCC('P', 'S', 'P', '9');
}

bool HostPlayDialog(const HostDescriptorParameters *parameters) { return parameters->playInfo == kPlayDisplay; }

HostDescriptorRef OpenReadDescriptor(PluginGlobals *globals, DescriptorKeyID *keys) {
  HostDescriptorParameters *parameters = globals->filterRecord->descriptorParameters;
  return parameters->readDescriptorProcs->openReadDescriptorProc(parameters->descriptor, keys);
}

bool HasScriptDescriptor(PluginGlobals *globals) {
  if (HostIsPsp(globals)) return false;
  HostDescriptorParameters *parameters = globals->filterRecord->descriptorParameters;
  if (!HostDescriptorAvailable(parameters, nullptr)) return false;
  HostDescriptorRef token = OpenReadDescriptor(globals, gScriptKeyList);
  if (token == nullptr) return false;
  (void)parameters->readDescriptorProcs->closeReadDescriptorProc(token);
  return true;
}

// ---- The reader --------------------------------------------------------------------------------

// A double as the block's float. Values beyond the float range become the largest float of
// their sign rather than an undefined conversion; NaN stays NaN.
static float NarrowToFloat(double value) {
  if (value > double(FLT_MAX)) return FLT_MAX;
  if (value < -double(FLT_MAX)) return -FLT_MAX;
  return float(value);
}

// Stores the value under the current key. A value that the host does not deliver (its get
// procedure fails, for instance for a value of another type) leaves the field as it was.
static void ReadScriptValue(const HostReadDescriptorProcs *procs, HostDescriptorRef token, const ScriptKey *entry,
                            DescriptorTypeID type, ParameterBlock *block) {
  char *field = reinterpret_cast<char *>(block) + entry->offset;
  switch (entry->kind) {
    case kScriptInteger: {
      int32_t value = 0;
      if (procs->getIntegerProc(token, &value) != 0) return;
      uint32_t word = uint32_t(value);
      std::memcpy(field, &word, sizeof word);
      return;
    }
    case kScriptChannel: {
      int32_t value = 0;
      if (procs->getIntegerProc(token, &value) != 0) return;
      uint16_t channel = uint16_t(uint32_t(value) << 8);
      std::memcpy(field, &channel, sizeof channel);
      return;
    }
    case kScriptBoolean: {
      HostBool value = 0;
      if (procs->getBooleanProc(token, &value) != 0) return;
      uint32_t word = value != 0 ? 1 : 0;
      std::memcpy(field, &word, sizeof word);
      return;
    }
    case kScriptFloat: {
      double value = 0.0;
      if (procs->getFloatProc(token, &value) != 0) return;
      float narrow = NarrowToFloat(value);
      std::memcpy(field, &narrow, sizeof narrow);
      return;
    }
    case kScriptMode: {
      DescriptorEnumID value = 0;
      if (procs->getEnumeratedProc(token, &value) != 0) return;
      uint32_t mode = 0;
      ReadOutputModeCode(type, value, &mode);
      std::memcpy(field, &mode, sizeof mode);
      return;
    }
  }
}

int16_t ReadScriptParameters(PluginGlobals *globals) {
  if (HostIsPsp(globals)) return 0;
  FilterRecord *record = globals->filterRecord;
  HostDescriptorParameters *parameters = record->descriptorParameters;
  if (!HostDescriptorAvailable(parameters, nullptr)) return 1;
  ParameterBlock *block = GetParameterBlock(globals);
  if (block == nullptr) return 1;

  HostDescriptorRef token = OpenReadDescriptor(globals, gScriptKeyList);
  if (token != nullptr) {
    const HostReadDescriptorProcs *procs = parameters->readDescriptorProcs;
    SetDefaultParameters(globals);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32_t flags = 0;
    while (procs->getKeyProc(token, &key, &type, &flags)) {
      const ScriptKey *entry = FindScriptKey(key);
      if (entry != nullptr) ReadScriptValue(procs, token, entry, type, block);
    }
    int16_t closeResult = HostCloseReader(parameters, record->handleProcs, &token);
    if (closeResult != 0 && closeResult != kResultParamNotFound) SetResult(globals, closeResult);
  }
  block->showDialog = HostPlayDialog(parameters) ? 1 : 0;
  return int16_t(block->showDialog);
}

int16_t HostCloseReader(HostDescriptorParameters *parameters, HostHandleProcs *handleProcs,
                        HostDescriptorRef *token) {
  int16_t result = parameters->readDescriptorProcs->closeReadDescriptorProc(*token);
  // A descriptor handle the plug-in cannot dispose of (a host that offers no usable handle
  // procedures) stays where the host put it, so that the host can still dispose of it; cleared
  // without disposal it would be lost.
  if (HostCanDisposeHandle(handleProcs, parameters->descriptor)) {
    HostDisposeHandle(handleProcs, parameters->descriptor);
    parameters->descriptor = nullptr;
  }
  *token = nullptr;
  return result;
}

// ---- The writer's ends -------------------------------------------------------------------------

int16_t HostCloseWriter(HostDescriptorParameters *parameters, HostHandleProcs *handleProcs,
                        HostDescriptorRef *token) {
  if (HostCanDisposeHandle(handleProcs, parameters->descriptor)) HostDisposeHandle(handleProcs, parameters->descriptor);
  parameters->descriptor = nullptr;
  HostDescriptorHandle descriptor = nullptr;
  parameters->writeDescriptorProcs->closeWriteDescriptorProc(*token, &descriptor);
  parameters->descriptor = descriptor;
  parameters->recordInfo = kRecordDialogOptional;
  *token = nullptr;
  return 0;
}

// The availability test counts the write procedures but does not look at them: a record that
// claims them and leaves the ones we call empty records nothing instead of calling null.
static bool WriteProceduresPresent(const HostWriteDescriptorProcs *procs) {
  return procs->openWriteDescriptorProc != nullptr && procs->closeWriteDescriptorProc != nullptr &&
         procs->putIntegerProc != nullptr && procs->putFloatProc != nullptr && procs->putBooleanProc != nullptr &&
         procs->putEnumeratedProc != nullptr;
}

void WriteScriptParameters(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  HostDescriptorParameters *parameters = record->descriptorParameters;
  if (!HostDescriptorAvailable(parameters, nullptr)) return;
  if (!WriteProceduresPresent(parameters->writeDescriptorProcs)) return;
  HostDescriptorRef token = parameters->writeDescriptorProcs->openWriteDescriptorProc();
  if (token == nullptr) return;
  if (gPluginFileHooks.writeDescriptorSettings != nullptr) gPluginFileHooks.writeDescriptorSettings(globals, token);
  HostCloseWriter(parameters, record->handleProcs, &token);
}
