// descriptor_procs.cpp -- the stand-in host's scripting descriptors (see descriptor_procs.h).
//
// Like an editor, the host coerces between the simple kinds when the plug-in asks for a value
// as another kind than it was stored: an integer reads as a float or a boolean, a boolean as
// an integer. Anything else (a float read as an integer, an enumeration read as a number) is
// refused with -1716, which a plug-in sees as a value it cannot have.
#include "host/descriptor_procs.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr OSErr16 kWrongType = -1716;
constexpr DescriptorTypeID kTypeLong = FourCC('l', 'o', 'n', 'g');
constexpr DescriptorTypeID kTypeDouble = FourCC('d', 'o', 'u', 'b');
constexpr DescriptorTypeID kTypeBool = FourCC('b', 'o', 'o', 'l');

HostDescriptorStore *gStore = nullptr;

struct Reader {
  HostDescriptorEntries entries;
  size_t next;
  const HostDescriptorEntry *current;
};

std::string Code(OSType4 code) {
  char text[5];
  FourCCText(code, text);
  return text;
}

// "0014 long 40" and the like: the text of one entry (without the line end).
std::string EntryText(const HostDescriptorEntry &e) {
  char value[64];
  switch (e.kind) {
    case kValueInteger: std::snprintf(value, sizeof value, "long %d", e.integer); break;
    case kValueFloat: std::snprintf(value, sizeof value, "doub %.17g", e.real); break;
    case kValueBoolean: std::snprintf(value, sizeof value, "bool %d", e.integer != 0 ? 1 : 0); break;
    case kValueEnum:
      std::snprintf(value, sizeof value, "enum %s %s", Code(e.enumType).c_str(), Code(uint32_t(e.integer)).c_str());
      break;
  }
  return Code(e.key) + " " + value;
}

void Log(const char *what, const std::string &text) {
  if (gStore != nullptr) gStore->log.push_back(std::string(what) + " " + text);
}

DescriptorTypeID TypeOf(const HostDescriptorEntry &e) {
  switch (e.kind) {
    case kValueInteger: return kTypeLong;
    case kValueFloat: return kTypeDouble;
    case kValueBoolean: return kTypeBool;
    case kValueEnum: return e.enumType;
  }
  return 0;
}

HostHandle NewDescriptorHandle(HostDescriptorStore *store) { return store->handleProcs->newProc(16); }

// ---- Read procedures ---------------------------------------------------------------------------

HostDescriptorRef KV_HOSTAPI OpenRead(HostDescriptorHandle handle, DescriptorKeyIDArray) {
  if (handle == nullptr) return nullptr;
  auto found = gStore->contents.find(handle);
  if (found == gStore->contents.end()) return nullptr;
  Log("open-read", std::to_string(found->second.size()) + " entries");
  return reinterpret_cast<HostDescriptorRef>(new Reader{found->second, 0, nullptr});
}

OSErr16 KV_HOSTAPI CloseRead(HostDescriptorRef token) {
  auto *reader = reinterpret_cast<Reader *>(token);
  // Keys that the plug-in did not reach count as parameters not read, as an editor reports.
  OSErr16 result = reader->next < reader->entries.size() ? kResultParamNotFound : kResultOk;
  delete reader;
  Log("close-read", std::to_string(result));
  return result;
}

HostBool KV_HOSTAPI GetKey(HostDescriptorRef token, DescriptorKeyID *key, DescriptorTypeID *type, int32_t *flags) {
  auto *reader = reinterpret_cast<Reader *>(token);
  if (reader->next >= reader->entries.size()) return 0;
  reader->current = &reader->entries[reader->next++];
  *key = reader->current->key;
  *type = TypeOf(*reader->current);
  *flags = 0;
  return 1;
}

const HostDescriptorEntry *Current(HostDescriptorRef token) { return reinterpret_cast<Reader *>(token)->current; }

OSErr16 KV_HOSTAPI GetInteger(HostDescriptorRef token, int32_t *value) {
  const HostDescriptorEntry *e = Current(token);
  if (e == nullptr || (e->kind != kValueInteger && e->kind != kValueBoolean)) return kWrongType;
  *value = e->integer;
  Log("get", EntryText(*e));
  return 0;
}

OSErr16 KV_HOSTAPI GetFloat(HostDescriptorRef token, double *value) {
  const HostDescriptorEntry *e = Current(token);
  if (e == nullptr || (e->kind != kValueFloat && e->kind != kValueInteger)) return kWrongType;
  *value = e->kind == kValueFloat ? e->real : double(e->integer);
  Log("get", EntryText(*e));
  return 0;
}

OSErr16 KV_HOSTAPI GetBoolean(HostDescriptorRef token, HostBool *value) {
  const HostDescriptorEntry *e = Current(token);
  if (e == nullptr || (e->kind != kValueBoolean && e->kind != kValueInteger)) return kWrongType;
  *value = HostBool(e->integer != 0);
  Log("get", EntryText(*e));
  return 0;
}

OSErr16 KV_HOSTAPI GetEnumerated(HostDescriptorRef token, DescriptorEnumID *value) {
  const HostDescriptorEntry *e = Current(token);
  if (e == nullptr || e->kind != kValueEnum) return kWrongType;
  *value = DescriptorEnumID(e->integer);
  Log("get", EntryText(*e));
  return 0;
}

OSErr16 KV_HOSTAPI NotOffered() { return kWrongType; }

template <typename Proc>
Proc Refusing() {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(NotOffered));
}

// ---- Write procedures --------------------------------------------------------------------------

HostDescriptorRef KV_HOSTAPI OpenWrite() {
  gStore->writing.clear();
  gStore->writerOpen = true;
  Log("open-write", "");
  return reinterpret_cast<HostDescriptorRef>(gStore);
}

OSErr16 KV_HOSTAPI CloseWrite(HostDescriptorRef token, HostDescriptorHandle *handle) {
  if (token != reinterpret_cast<HostDescriptorRef>(gStore) || !gStore->writerOpen) return kWrongType;
  *handle = NewDescriptorHandle(gStore);
  if (*handle != nullptr) gStore->contents[*handle] = gStore->writing;
  gStore->lastWritten = *handle;
  gStore->writerOpen = false;
  Log("close-write", std::to_string(gStore->writing.size()) + " entries");
  return 0;
}

OSErr16 Put(HostDescriptorRef token, const HostDescriptorEntry &e) {
  if (token != reinterpret_cast<HostDescriptorRef>(gStore) || !gStore->writerOpen) return kWrongType;
  gStore->writing.push_back(e);
  Log("put", EntryText(e));
  return 0;
}

OSErr16 KV_HOSTAPI PutInteger(HostDescriptorRef token, DescriptorKeyID key, int32_t value) {
  return Put(token, {key, kValueInteger, 0, value, 0.0});
}

OSErr16 KV_HOSTAPI PutFloat(HostDescriptorRef token, DescriptorKeyID key, const double *value) {
  return Put(token, {key, kValueFloat, 0, 0, *value});
}

OSErr16 KV_HOSTAPI PutBoolean(HostDescriptorRef token, DescriptorKeyID key, HostBool value) {
  return Put(token, {key, kValueBoolean, 0, value != 0 ? 1 : 0, 0.0});
}

OSErr16 KV_HOSTAPI PutEnumerated(HostDescriptorRef token, DescriptorKeyID key, DescriptorTypeID type,
                                 DescriptorEnumID value) {
  return Put(token, {key, kValueEnum, type, int32_t(value), 0.0});
}

bool ParseCode(const char *text, size_t length, OSType4 *code) {
  if (length != 4) return false;
  *code = FourCC(text[0], text[1], text[2], text[3]);
  return true;
}

// A whole-text integer or number.
bool ParseInteger(const char *text, int32_t *value) {
  errno = 0;
  char *end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != 0 || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *value = int32_t(v);
  return true;
}

bool ParseNumber(const char *text, double *value) {
  errno = 0;
  char *end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != 0 || errno != 0 || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

void Replace(HostDescriptorEntries *entries, const HostDescriptorEntry &entry) {
  for (HostDescriptorEntry &e : *entries) {
    if (e.key == entry.key) {
      e = entry;
      return;
    }
  }
  entries->push_back(entry);
}

std::string ItemNames(const Terminology &terminology, DescriptorTypeID type) {
  std::string names;
  for (const TerminologyEnumItem &item : terminology.items) {
    if (item.type != type) continue;
    if (!names.empty()) names += ", ";
    names += "\"" + std::string(item.name) + "\"";
  }
  return names;
}

}  // namespace

// ---- The store -----------------------------------------------------------------------------------

void InitDescriptorStore(HostDescriptorStore *store, HostHandleProcs *handleProcs, int16_t playInfo) {
  gStore = store;
  store->handleProcs = handleProcs;
  store->contents.clear();
  store->writing.clear();
  store->log.clear();
  store->writerOpen = false;
  store->lastWritten = nullptr;

  HostReadDescriptorProcs &r = store->readProcs;
  r.readDescriptorProcsVersion = kCurrentReadDescriptorProcsVersion;
  r.numReadDescriptorProcs = kCurrentReadDescriptorProcsCount;
  r.openReadDescriptorProc = OpenRead;
  r.closeReadDescriptorProc = CloseRead;
  r.getKeyProc = GetKey;
  r.getIntegerProc = GetInteger;
  r.getFloatProc = GetFloat;
  r.getUnitFloatProc = Refusing<GetUnitFloatProc>();
  r.getBooleanProc = GetBoolean;
  r.getTextProc = Refusing<GetTextProc>();
  r.getAliasProc = Refusing<GetAliasProc>();
  r.getEnumeratedProc = GetEnumerated;
  r.getClassProc = Refusing<GetClassProc>();
  r.getSimpleReferenceProc = Refusing<GetSimpleReferenceProc>();
  r.getObjectProc = Refusing<GetObjectProc>();
  r.getCountProc = Refusing<GetCountProc>();
  r.getStringProc = Refusing<GetStringProc>();
  r.getPinnedIntegerProc = Refusing<GetPinnedIntegerProc>();
  r.getPinnedFloatProc = Refusing<GetPinnedFloatProc>();
  r.getPinnedUnitFloatProc = Refusing<GetPinnedUnitFloatProc>();

  HostWriteDescriptorProcs &w = store->writeProcs;
  w.writeDescriptorProcsVersion = kCurrentWriteDescriptorProcsVersion;
  w.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
  w.openWriteDescriptorProc = OpenWrite;
  w.closeWriteDescriptorProc = CloseWrite;
  w.putIntegerProc = PutInteger;
  w.putFloatProc = PutFloat;
  w.putUnitFloatProc = Refusing<PutUnitFloatProc>();
  w.putBooleanProc = PutBoolean;
  w.putTextProc = Refusing<PutTextProc>();
  w.putAliasProc = Refusing<PutAliasProc>();
  w.putEnumeratedProc = PutEnumerated;
  w.putClassProc = Refusing<PutClassProc>();
  w.putSimpleReferenceProc = Refusing<PutSimpleReferenceProc>();
  w.putObjectProc = Refusing<PutObjectProc>();
  w.putCountProc = Refusing<PutCountProc>();
  w.putStringProc = Refusing<PutStringProc>();
  w.putScopedClassProc = Refusing<PutScopedClassProc>();
  w.putScopedObjectProc = Refusing<PutScopedObjectProc>();

  store->parameters.descriptorParametersVersion = 0;
  store->parameters.playInfo = playInfo;
  store->parameters.recordInfo = kRecordDialogOptional;
  store->parameters.descriptor = nullptr;
  store->parameters.readDescriptorProcs = &store->readProcs;
  store->parameters.writeDescriptorProcs = &store->writeProcs;
}

void SetPlayDescriptor(HostDescriptorStore *store, const HostDescriptorEntries &entries) {
  HostHandle handle = NewDescriptorHandle(store);
  if (handle == nullptr) return;
  store->contents[handle] = entries;
  store->parameters.descriptor = handle;
}

bool GetRecordedDescriptor(const HostDescriptorStore *store, HostDescriptorEntries *entries) {
  if (store->parameters.descriptor == nullptr || store->parameters.descriptor != store->lastWritten) return false;
  auto found = store->contents.find(store->parameters.descriptor);
  if (found == store->contents.end()) return false;
  *entries = found->second;
  return true;
}

void ReleaseDescriptorStore(HostDescriptorStore *store) {
  // Only the descriptor the parameters hold is still ours: the plug-in disposed of the others.
  if (store->parameters.descriptor != nullptr) store->handleProcs->disposeProc(store->parameters.descriptor);
  store->parameters.descriptor = nullptr;
  store->contents.clear();
  if (gStore == store) gStore = nullptr;
}

// ---- Text form -----------------------------------------------------------------------------------

std::string FormatDescriptor(const HostDescriptorEntries &entries) {
  std::string text = "# kivaglobe descriptor 1\n";
  for (const HostDescriptorEntry &e : entries) text += EntryText(e) + "\n";
  return text;
}

bool ParseDescriptor(const char *text, HostDescriptorEntries *entries, char *error, size_t errorSize) {
  entries->clear();
  int line = 0;
  while (*text != 0) {
    line++;
    const char *end = std::strchr(text, '\n');
    size_t length = end != nullptr ? size_t(end - text) : std::strlen(text);
    std::string row(text, length);
    text += length + (end != nullptr ? 1 : 0);
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (row.empty() || row[0] == '#') continue;

    char key[16] = "", type[16] = "", a[64] = "", b[64] = "";
    int fields = std::sscanf(row.c_str(), "%15s %15s %63s %63s", key, type, a, b);
    HostDescriptorEntry e = {0, kValueInteger, 0, 0, 0.0};
    bool ok = fields >= 3 && ParseCode(key, std::strlen(key), &e.key);
    if (ok && std::strcmp(type, "long") == 0) {
      ok = fields == 3 && ParseInteger(a, &e.integer);
    } else if (ok && std::strcmp(type, "doub") == 0) {
      e.kind = kValueFloat;
      ok = fields == 3 && ParseNumber(a, &e.real);
    } else if (ok && std::strcmp(type, "bool") == 0) {
      e.kind = kValueBoolean;
      ok = fields == 3 && (std::strcmp(a, "0") == 0 || std::strcmp(a, "1") == 0);
      e.integer = a[0] == '1';
    } else if (ok && std::strcmp(type, "enum") == 0) {
      e.kind = kValueEnum;
      OSType4 value = 0;
      ok = fields == 4 && ParseCode(a, std::strlen(a), &e.enumType) && ParseCode(b, std::strlen(b), &value);
      e.integer = int32_t(value);
    } else {
      ok = false;
    }
    if (!ok) {
      std::snprintf(error, errorSize, "line %d: expected \"KEY long|doub|bool VALUE\" or \"KEY enum TYPE VALUE\"",
                    line);
      return false;
    }
    entries->push_back(e);
  }
  return true;
}

bool SaveDescriptorFile(const char *path, const HostDescriptorEntries &entries, char *error, size_t errorSize) {
  FILE *f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::snprintf(error, errorSize, "cannot write the descriptor file %s", path);
    return false;
  }
  std::string text = FormatDescriptor(entries);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::snprintf(error, errorSize, "cannot write the descriptor file %s", path);
  return ok;
}

bool LoadDescriptorFile(const char *path, HostDescriptorEntries *entries, char *error, size_t errorSize) {
  FILE *f = std::fopen(path, "rb");
  if (f == nullptr) {
    std::snprintf(error, errorSize, "cannot read the descriptor file %s", path);
    return false;
  }
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  if (text.find('\0') != std::string::npos) {
    std::snprintf(error, errorSize, "%s is not a descriptor file", path);
    return false;
  }
  char reason[256];
  if (!ParseDescriptor(text.c_str(), entries, reason, sizeof reason)) {
    std::snprintf(error, errorSize, "%s: %s", path, reason);
    return false;
  }
  return true;
}

// ---- Settings from the command line --------------------------------------------------------------

bool ApplySetting(const Terminology &terminology, const char *assignment, HostDescriptorEntries *entries,
                  char *error, size_t errorSize) {
  const char *equals = std::strchr(assignment, '=');
  if (equals == nullptr) {
    std::snprintf(error, errorSize, "--set takes \"name=value\", not \"%s\"", assignment);
    return false;
  }
  std::string name(assignment, size_t(equals - assignment));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  const char *value = equals + 1;
  while (*value == ' ') value++;

  const TerminologyParameter *p = FindTerminologyParameter(terminology, name.c_str());
  if (p == nullptr) {
    std::string names;
    for (const TerminologyParameter &q : terminology.parameters) names += (names.empty() ? "" : ", ") + std::string(q.name);
    std::snprintf(error, errorSize, "unknown parameter \"%s\"; the parameters are: %s", name.c_str(), names.c_str());
    return false;
  }
  HostDescriptorEntry e = {p->key, kValueInteger, 0, 0, 0.0};
  if (p->type == kTypeLong || p->type == kTypeDouble) {
    // Numbers declared 'long' whose value has a fraction travel as doubles (the light and axis
    // directions are declared 'long' but carried as doubles).
    if (p->type == kTypeLong && ParseInteger(value, &e.integer)) {
      Replace(entries, e);
      return true;
    }
    e.kind = kValueFloat;
    if (ParseNumber(value, &e.real)) {
      Replace(entries, e);
      return true;
    }
    std::snprintf(error, errorSize, "parameter \"%s\" takes %s, not \"%s\"", p->name,
                  p->type == kTypeLong ? "an integer" : "a number", value);
    return false;
  }
  for (const TerminologyEnumItem &item : terminology.items) {
    if (item.type == p->type && FindTerminologyItem(terminology, value) == &item) {
      Replace(entries, {p->key, kValueEnum, p->type, int32_t(item.value), 0.0});
      return true;
    }
  }
  std::snprintf(error, errorSize, "parameter \"%s\" takes one of %s, not \"%s\"", p->name,
                ItemNames(terminology, p->type).c_str(), value);
  return false;
}

bool ApplyModeName(const Terminology &terminology, const char *name, HostDescriptorEntries *entries, char *error,
                   size_t errorSize) {
  for (const TerminologyParameter &p : terminology.parameters) {
    if (p.type == kTypeLong || p.type == kTypeDouble || p.type == kTypeBool) continue;
    for (const TerminologyEnumItem &item : terminology.items) {
      if (item.type == p.type && FindTerminologyItem(terminology, name) == &item) {
        Replace(entries, {p.key, kValueEnum, p.type, int32_t(item.value), 0.0});
        return true;
      }
    }
    std::snprintf(error, errorSize, "unknown mode \"%s\"; the modes are: %s", name,
                  ItemNames(terminology, p.type).c_str());
    return false;
  }
  std::snprintf(error, errorSize, "the plug-in's terminology has no mode parameter");
  return false;
}

std::string ListParameters(const Terminology &terminology) {
  std::string text;
  for (const TerminologyParameter &p : terminology.parameters) {
    text += std::string(p.name) + "\t" + Code(p.key) + "\t" + Code(p.type) + "\n";
  }
  for (const TerminologyEnumItem &item : terminology.items) {
    text += "  " + Code(item.type) + " " + Code(item.value) + "\t" + item.name + "\n";
  }
  return text;
}
