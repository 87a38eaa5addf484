// terminology.cpp -- reading the terminology resource (see terminology.h).
//
// The reader walks the bytes with a cursor that refuses to move past the end, so a damaged
// resource ends the walk with a reason instead of a read out of bounds. It reads the Windows
// form as an editor on Windows does: a reserved word 1 before the version bytes, and no
// padding after odd-length strings. A resource that does not end where its last item ends
// was written for another layout, and is refused rather than half believed.
#include "host/terminology.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

struct Cursor {
  const uint8_t *data;
  size_t size;
  size_t at;
  bool failed;
};

bool Need(Cursor *c, size_t n) {
  if (c->failed || c->size - c->at < n) {
    c->failed = true;
    return false;
  }
  return true;
}

uint32_t U8(Cursor *c) {
  if (!Need(c, 1)) return 0;
  return c->data[c->at++];
}

uint32_t U16(Cursor *c) {
  if (!Need(c, 2)) return 0;
  uint32_t v = uint32_t(c->data[c->at]) | uint32_t(c->data[c->at + 1]) << 8;
  c->at += 2;
  return v;
}

uint32_t U32(Cursor *c) {
  if (!Need(c, 4)) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; i--) v = v << 8 | c->data[c->at + i];
  c->at += 4;
  return v;
}

void PString(Cursor *c, char out[256]) {
  out[0] = 0;
  uint32_t n = U8(c);
  if (!Need(c, n)) return;
  std::memcpy(out, c->data + c->at, n);
  out[n] = 0;
  c->at += n;
}

bool SameName(const char *a, const char *b) {
  for (; *a != 0 && *b != 0; a++, b++) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

}  // namespace

void FourCCText(OSType4 code, char text[5]) {
  for (int i = 0; i < 4; i++) {
    char ch = char((code >> (24 - 8 * i)) & 0xFF);
    text[i] = std::isprint(static_cast<unsigned char>(ch)) ? ch : '?';
  }
  text[4] = 0;
}

bool ReadTerminology(const uint8_t *data, size_t size, Terminology *terminology, char *error, size_t errorSize) {
  terminology->eventName[0] = 0;
  terminology->parameters.clear();
  terminology->items.clear();
  if (data == nullptr) {
    std::snprintf(error, errorSize, "the plug-in has no terminology resource");
    return false;
  }
  Cursor c = {data, size, 0, false};
  char scratch[256];
  const uint32_t reserved = U16(&c);
  const uint32_t major = U8(&c);
  const uint32_t minor = U8(&c);
  if (!c.failed && (reserved != 1 || major != 1 || minor != 0)) {
    std::snprintf(error, errorSize,
                  "the terminology is not in the Windows form: reserved word %u, version %u.%u (expected 1, 1.0)",
                  reserved, major, minor);
    return false;
  }
  U16(&c);  // language
  U16(&c);  // script
  uint32_t suites = U16(&c);
  for (uint32_t s = 0; s < suites && !c.failed; s++) {
    PString(&c, scratch);
    PString(&c, scratch);
    U32(&c);
    U16(&c);
    U16(&c);
    uint32_t events = U16(&c);
    for (uint32_t e = 0; e < events && !c.failed; e++) {
      PString(&c, scratch);
      if (terminology->eventName[0] == 0) std::memcpy(terminology->eventName, scratch, sizeof scratch);
      PString(&c, scratch);
      U32(&c);  // class
      U32(&c);  // ID
      U32(&c);  // reply type
      PString(&c, scratch);
      U16(&c);
      U32(&c);  // direct parameter type
      PString(&c, scratch);
      U16(&c);
      uint32_t count = U16(&c);
      for (uint32_t i = 0; i < count && !c.failed; i++) {
        TerminologyParameter parameter;
        PString(&c, parameter.name);
        parameter.key = U32(&c);
        parameter.type = U32(&c);
        PString(&c, scratch);
        U16(&c);
        if (!c.failed) terminology->parameters.push_back(parameter);
      }
    }
    if (U16(&c) != 0 || U16(&c) != 0) {
      std::snprintf(error, errorSize, "the terminology has classes or comparison operators this host does not read");
      return false;
    }
    uint32_t enumerations = U16(&c);
    for (uint32_t n = 0; n < enumerations && !c.failed; n++) {
      DescriptorTypeID type = U32(&c);
      uint32_t count = U16(&c);
      for (uint32_t i = 0; i < count && !c.failed; i++) {
        TerminologyEnumItem item;
        item.type = type;
        PString(&c, item.name);
        item.value = U32(&c);
        PString(&c, scratch);
        if (!c.failed) terminology->items.push_back(item);
      }
    }
  }
  if (c.failed) {
    std::snprintf(error, errorSize, "the terminology resource is cut short at byte %zu", c.at);
    return false;
  }
  if (c.at != size) {
    std::snprintf(error, errorSize, "the terminology resource ends at byte %zu but holds %zu bytes", c.at, size);
    return false;
  }
  return true;
}

const TerminologyParameter *FindTerminologyParameter(const Terminology &terminology, const char *name) {
  for (const TerminologyParameter &p : terminology.parameters) {
    if (SameName(p.name, name)) return &p;
  }
  return nullptr;
}

const TerminologyEnumItem *FindTerminologyItem(const Terminology &terminology, const char *name) {
  for (const TerminologyEnumItem &item : terminology.items) {
    if (SameName(item.name, name)) return &item;
  }
  return nullptr;
}
