// fake_descriptor.cpp -- the in-memory scripting descriptor (see fake_descriptor.h).
#include "tests/plugin/fake_descriptor.h"

#include <cstring>

namespace {

FakeDescriptor *gFake = nullptr;

struct Reader {
  std::vector<FakeDescriptorEntry> entries;
  size_t next;
  const FakeDescriptorEntry *current;
};

HostHandle NewDescriptorHandle() {
  if (gFake->handleProcs != nullptr) return gFake->handleProcs->newProc(16);
  return reinterpret_cast<HostHandle>(new char *[1]());
}

HostDescriptorRef KV_HOSTAPI OpenRead(HostDescriptorHandle handle, DescriptorKeyIDArray) {
  if (gFake->refuseOpen || handle == nullptr) return nullptr;
  gFake->opens++;
  auto *reader = new Reader{gFake->contents[handle], 0, nullptr};
  return reinterpret_cast<HostDescriptorRef>(reader);
}

OSErr16 KV_HOSTAPI CloseRead(HostDescriptorRef token) {
  gFake->closes++;
  delete reinterpret_cast<Reader *>(token);
  return gFake->closeResult;
}

HostBool KV_HOSTAPI GetKey(HostDescriptorRef token, DescriptorKeyID *key, DescriptorTypeID *type, int32_t *flags) {
  auto *reader = reinterpret_cast<Reader *>(token);
  if (reader->next >= reader->entries.size()) return 0;
  reader->current = &reader->entries[reader->next++];
  *key = reader->current->key;
  *type = reader->current->type;
  *flags = 0;
  return 1;
}

const FakeDescriptorEntry *Current(HostDescriptorRef token, DescriptorTypeID type) {
  const FakeDescriptorEntry *entry = reinterpret_cast<Reader *>(token)->current;
  if (entry == nullptr) return nullptr;
  bool isEnum = type == 0;
  bool plain = entry->type == kTypeInteger || entry->type == kTypeFloat || entry->type == kTypeBoolean;
  if (isEnum ? plain : entry->type != type) return nullptr;
  return entry;
}

OSErr16 KV_HOSTAPI GetInteger(HostDescriptorRef token, int32_t *value) {
  const FakeDescriptorEntry *entry = Current(token, kTypeInteger);
  if (entry == nullptr) return kFakeWrongType;
  *value = entry->integer;
  return 0;
}

OSErr16 KV_HOSTAPI GetFloat(HostDescriptorRef token, double *value) {
  const FakeDescriptorEntry *entry = Current(token, kTypeFloat);
  if (entry == nullptr) return kFakeWrongType;
  *value = entry->real;
  return 0;
}

OSErr16 KV_HOSTAPI GetBoolean(HostDescriptorRef token, HostBool *value) {
  const FakeDescriptorEntry *entry = Current(token, kTypeBoolean);
  if (entry == nullptr) return kFakeWrongType;
  *value = HostBool(entry->integer != 0);
  return 0;
}

OSErr16 KV_HOSTAPI GetEnumerated(HostDescriptorRef token, DescriptorEnumID *value) {
  const FakeDescriptorEntry *entry = Current(token, 0);
  if (entry == nullptr) return kFakeWrongType;
  *value = DescriptorEnumID(entry->integer);
  return 0;
}

OSErr16 KV_HOSTAPI Unused() { return kFakeWrongType; }

HostDescriptorRef KV_HOSTAPI OpenWrite() {
  gFake->writerOpens++;
  gFake->written.clear();
  return reinterpret_cast<HostDescriptorRef>(gFake);
}

OSErr16 KV_HOSTAPI CloseWrite(HostDescriptorRef, HostDescriptorHandle *handle) {
  *handle = NewDescriptorHandle();
  gFake->contents[*handle] = gFake->written;
  return 0;
}

OSErr16 KV_HOSTAPI PutInteger(HostDescriptorRef, DescriptorKeyID key, int32_t value) {
  gFake->written.push_back({key, kTypeInteger, value, 0.0, kPutInteger});
  return 0;
}

OSErr16 KV_HOSTAPI PutFloat(HostDescriptorRef, DescriptorKeyID key, const double *value) {
  gFake->written.push_back({key, kTypeFloat, 0, *value, kPutFloat});
  return 0;
}

OSErr16 KV_HOSTAPI PutBoolean(HostDescriptorRef, DescriptorKeyID key, HostBool value) {
  gFake->written.push_back({key, kTypeBoolean, value != 0 ? 1 : 0, 0.0, kPutBoolean});
  return 0;
}

OSErr16 KV_HOSTAPI PutEnumerated(HostDescriptorRef, DescriptorKeyID key, DescriptorTypeID type,
                                 DescriptorEnumID value) {
  gFake->written.push_back({key, type, int32_t(value), 0.0, kPutEnumerated});
  return 0;
}

template <typename Proc>
Proc Stub() {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(Unused));
}

}  // namespace

void FakeDescriptorInit(FakeDescriptor *fake, HostHandleProcs *handleProcs) {
  gFake = fake;
  fake->handleProcs = handleProcs;
  fake->contents.clear();
  fake->written.clear();
  fake->opens = fake->closes = fake->writerOpens = 0;
  fake->closeResult = 0;
  fake->refuseOpen = false;

  HostReadDescriptorProcs &r = fake->readProcs;
  std::memset(&r, 0, sizeof r);
  r.readDescriptorProcsVersion = 0;
  r.numReadDescriptorProcs = kCurrentReadDescriptorProcsCount;
  r.openReadDescriptorProc = OpenRead;
  r.closeReadDescriptorProc = CloseRead;
  r.getKeyProc = GetKey;
  r.getIntegerProc = GetInteger;
  r.getFloatProc = GetFloat;
  r.getUnitFloatProc = Stub<GetUnitFloatProc>();
  r.getBooleanProc = GetBoolean;
  r.getTextProc = Stub<GetTextProc>();
  r.getAliasProc = Stub<GetAliasProc>();
  r.getEnumeratedProc = GetEnumerated;
  r.getClassProc = Stub<GetClassProc>();
  r.getSimpleReferenceProc = Stub<GetSimpleReferenceProc>();
  r.getObjectProc = Stub<GetObjectProc>();
  r.getCountProc = Stub<GetCountProc>();
  r.getStringProc = Stub<GetStringProc>();
  r.getPinnedIntegerProc = Stub<GetPinnedIntegerProc>();
  r.getPinnedFloatProc = Stub<GetPinnedFloatProc>();
  r.getPinnedUnitFloatProc = Stub<GetPinnedUnitFloatProc>();

  HostWriteDescriptorProcs &w = fake->writeProcs;
  std::memset(&w, 0, sizeof w);
  w.writeDescriptorProcsVersion = 0;
  w.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
  w.openWriteDescriptorProc = OpenWrite;
  w.closeWriteDescriptorProc = CloseWrite;
  w.putIntegerProc = PutInteger;
  w.putFloatProc = PutFloat;
  w.putBooleanProc = PutBoolean;
  w.putEnumeratedProc = PutEnumerated;

  fake->parameters.descriptorParametersVersion = 0;
  fake->parameters.playInfo = kPlaySilent;
  fake->parameters.recordInfo = kRecordDialogNone;
  fake->parameters.descriptor = nullptr;
  fake->parameters.readDescriptorProcs = &fake->readProcs;
  fake->parameters.writeDescriptorProcs = &fake->writeProcs;
}

void FakeDescriptorSet(FakeDescriptor *fake, const std::vector<FakeDescriptorEntry> &entries) {
  gFake = fake;
  HostHandle handle = NewDescriptorHandle();
  fake->contents[handle] = entries;
  fake->parameters.descriptor = handle;
}

std::vector<FakeDescriptorEntry> FakeDescriptorGet(FakeDescriptor *fake) {
  auto found = fake->contents.find(fake->parameters.descriptor);
  if (found == fake->contents.end()) return {};
  return found->second;
}

FakeDescriptorEntry IntegerEntry(DescriptorKeyID key, int32_t value) { return {key, kTypeInteger, value, 0.0, kPutInteger}; }
FakeDescriptorEntry FloatEntry(DescriptorKeyID key, double value) { return {key, kTypeFloat, 0, value, kPutFloat}; }
FakeDescriptorEntry BooleanEntry(DescriptorKeyID key, bool value) { return {key, kTypeBoolean, value ? 1 : 0, 0.0, kPutBoolean}; }
FakeDescriptorEntry EnumEntry(DescriptorKeyID key, DescriptorTypeID type, uint32_t value) {
  return {key, type, int32_t(value), 0.0, kPutEnumerated};
}
