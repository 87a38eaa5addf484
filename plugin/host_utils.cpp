// host_utils.cpp -- the portable part of the host utilities (see host_utils.h); the tick count
// and the dialog-item helper are in host_utils_win32.cpp and host_utils_posix.cpp.
#include "plugin/host_utils.h"

#include <cstring>

#include "plugin/globals.h"

static void *gDllInstance = nullptr;
void *gModuleInstance = nullptr;

void SetDllInstance(void *instance) { gDllInstance = instance; }

void *GetDLLInstance(void *) { return gDllInstance; }

bool HostAdvanceStateAvailable(HostAdvanceStateProc proc) { return proc != nullptr; }

bool HostDisplayPixelsAvailable(HostDisplayPixelsProc proc) { return proc != nullptr; }

int16_t CallHostProc(HostAdvanceStateProc proc) { return proc(); }

bool HostDescriptorAvailable(const HostDescriptorParameters *parameters, bool *newerVersion) {
  if (newerVersion != nullptr) *newerVersion = false;
  if (parameters == nullptr) return false;
  bool newer = parameters->descriptorParametersVersion > 0;
  bool usable = parameters->descriptorParametersVersion == 0;
  const HostReadDescriptorProcs *read = parameters->readDescriptorProcs;
  const HostWriteDescriptorProcs *write = parameters->writeDescriptorProcs;
  if (read == nullptr || write == nullptr) {
    usable = false;
  } else {
    newer = newer || read->readDescriptorProcsVersion > 0 || write->writeDescriptorProcsVersion > 0;
    usable = usable && read->readDescriptorProcsVersion == kCurrentReadDescriptorProcsVersion &&
             read->numReadDescriptorProcs >= kCurrentReadDescriptorProcsCount &&
             write->writeDescriptorProcsVersion == kCurrentWriteDescriptorProcsVersion &&
             write->numWriteDescriptorProcs >= kCurrentWriteDescriptorProcsCount;
    usable = usable && read->openReadDescriptorProc && read->closeReadDescriptorProc && read->getKeyProc &&
             read->getIntegerProc && read->getFloatProc && read->getUnitFloatProc && read->getBooleanProc &&
             read->getTextProc && read->getAliasProc && read->getEnumeratedProc && read->getClassProc &&
             read->getSimpleReferenceProc && read->getObjectProc && read->getCountProc && read->getStringProc &&
             read->getPinnedIntegerProc && read->getPinnedFloatProc && read->getPinnedUnitFloatProc;
  }
  if (newerVersion != nullptr) *newerVersion = newer;
  return usable;
}

int32_t AppendCString(char *destination, size_t capacity, const char *source) {
  if (capacity == 0) return 0;
  size_t limit = capacity - 1;
  if (limit > size_t(kMaxCStringLength)) limit = kMaxCStringLength;
  size_t length = strnlen(destination, limit);
  size_t room = limit - length;
  size_t add = strnlen(source, room);
  std::memcpy(destination + length, source, add);
  destination[length + add] = 0;
  return int32_t(length + add);
}

int32_t ChannelDepthClass(const PluginGlobals *globals) {
  const FilterRecord *record = globals->filterRecord;
  if (record->imageMode == kModeRGB96 || record->imageMode == kModeGray32 || record->depth == 32) return 9;
  if ((record->imageMode == kModeGray16 || record->imageMode == kModeRGB48) && record->depth == 16) return 4;
  return 3;
}
