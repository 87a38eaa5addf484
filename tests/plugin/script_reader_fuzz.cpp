// script_reader_fuzz.cpp -- random recorded actions through the descriptor reader and a whole
// filter run on a small image: every key in any order, any number of times, with values of
// any kind (integers far outside the sliders' ranges, floats beyond the float range, NaN,
// foreign enumerations, keys that are not ours).
//
// Input: records of 10 bytes -- a key selector, a kind selector and 8 value bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/dispatch.h"
#include "plugin/script_descriptor.h"
#include "tests/plugin/fake_descriptor.h"
#include "tests/plugin/fake_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<FakeDescriptorEntry> entries;
  for (size_t at = 0; at + 10 <= size && entries.size() < 256; at += 10) {
    uint8_t which = data[at];
    DescriptorKeyID key = which < kScriptKeyCount ? gScriptKeyList[which] : FourCC('0', '0', '3', '3');
    uint64_t bits;
    std::memcpy(&bits, data + at + 2, sizeof bits);
    FakeDescriptorEntry e = {key, kTypeInteger, int32_t(bits), 0.0, kPutInteger};
    switch (data[at + 1] % 5) {
      case 0: break;
      case 1: e.type = kTypeBoolean; e.integer &= 1; break;
      case 2: e.type = kTypeFloat; std::memcpy(&e.real, &bits, sizeof e.real); break;
      case 3: e.type = kOutputModeType; break;
      case 4: e.type = kOutputModeType; e.integer = int32_t(FourCC('L', 'G', char('0' + (bits & 1)), char('0' + (bits >> 8) % 10))); break;
    }
    entries.push_back(e);
  }

  FakeHost host;
  FakeHostInit(&host, 8, 6);
  FakeDescriptor fake;
  FakeDescriptorInit(&fake, host.record.handleProcs);
  host.record.descriptorParameters = &fake.parameters;
  FakeDescriptorSet(&fake, entries);
  FakeHostRun(&host);
  if (fake.parameters.descriptor != nullptr) host.record.handleProcs->disposeProc(fake.parameters.descriptor);
  FakeHostRelease(&host);
  return 0;
}
