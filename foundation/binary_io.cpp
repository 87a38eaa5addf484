// binary_io.cpp -- typed fields of the program's own files.
#include "foundation/binary_io.h"

#include <cstring>

#include "foundation/fast_math.h"
#include "foundation/strings.h"

// Reads exactly count bytes into buffer, or nothing. When the file is known to end before the
// field does, nothing is read into the buffer and the position moves to the end of the file, as
// a real short read would have left it. Files whose length cannot be told (not a disk file) are
// read directly, and a short read there may leave part of the buffer written.
static int16_t ReadExactly(FileHandle file, void *buffer, int32_t count) {
  if (count <= 0) return kFileOk;
  int64_t remaining;
  if (PlatformFileRemaining(file, &remaining) && remaining < count) {
    SeekPlatformFileEnd(file);
    return kFileReadError;
  }
  int32_t got = 0;
  if (!ReadPlatformFile(file, buffer, count, &got) || got != count) return kFileReadError;
  return kFileOk;
}

// A small field goes through a local buffer, so its destination changes only when every byte
// arrived.
static int16_t ReadField(FileHandle file, uint8_t *bytes, int32_t count) {
  int32_t got = 0;
  if (!ReadPlatformFile(file, bytes, count, &got) || got != count) return kFileReadError;
  return kFileOk;
}

static int16_t WriteField(FileHandle file, const void *bytes, int32_t count) {
  int32_t written = 0;
  if (!WritePlatformFile(file, bytes, count, &written) || written != count) return kFileWriteError;
  return kFileOk;
}

int16_t WriteBytes(FileHandle file, int32_t *count, const void *buffer) {
  int32_t written = 0;
  bool ok = *count >= 0 && WritePlatformFile(file, buffer, *count, &written) && written == *count;
  *count = written;
  return ok ? kFileOk : kFileWriteError;
}

int16_t ReadBytes(FileHandle file, int32_t *count, void *buffer) {
  int16_t result = ReadExactly(file, buffer, *count);
  if (result != kFileOk || *count < 0) {
    *count = 0;
    return kFileReadError;
  }
  return kFileOk;
}

int16_t ReadBlock(FileHandle file, void *buffer, int32_t count) {
  if (count < 0) return kFileReadError;
  return ReadExactly(file, buffer, count);
}

uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

uint16_t ByteSwap16(uint16_t value) { return uint16_t((value >> 8) | (value << 8)); }

int16_t WriteU32BE(uint32_t value, FileHandle file) {
  uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  return WriteField(file, b, 4);
}

int16_t WriteU16BE(uint16_t value, FileHandle file) {
  uint8_t b[2] = {uint8_t(value >> 8), uint8_t(value)};
  return WriteField(file, b, 2);
}

int16_t WriteU8(uint8_t value, FileHandle file) { return WriteField(file, &value, 1); }

int16_t WriteZeros(int16_t count, FileHandle file) {
  uint8_t zero = 0;
  for (int16_t i = 0; i < count; i++) {
    if (WriteField(file, &zero, 1) != kFileOk) return kFileWriteError;
  }
  return kFileOk;
}

int16_t WriteFixed5(float value, FileHandle file) {
  float scaled = value * 100000.0f;
  return WriteU32BE(uint32_t(TruncateToInt32(scaled)), file);
}

int16_t WriteCStringNul(const char *s, FileHandle file) {
  if (s == nullptr) return kFileNullArgument;
  int32_t n = StrLength(s);
  // A string cut at 32767 bytes has no NUL of its own behind the counted bytes.
  if (s[n] == '\0') return WriteField(file, s, n + 1);
  int16_t result = WriteField(file, s, n);
  return result != kFileOk ? result : WriteU8(0, file);
}

int16_t WriteCString(const char *s, FileHandle file) {
  if (s == nullptr) return kFileNullArgument;
  return WriteField(file, s, StrLength(s));
}

int16_t ReadU32BE(uint32_t *value, FileHandle file) {
  uint8_t b[4];
  int16_t result = ReadField(file, b, 4);
  if (result == kFileOk) *value = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  return result;
}

int16_t ReadU8(uint8_t *value, FileHandle file) {
  uint8_t b;
  int16_t result = ReadField(file, &b, 1);
  if (result == kFileOk) *value = b;
  return result;
}

int32_t ReadU8OrEOF(FileHandle file) {
  uint8_t b;
  return ReadField(file, &b, 1) == kFileOk ? int32_t(b) : -1;
}

int16_t ReadFixed5(float *value, FileHandle file) {
  uint32_t word;
  int16_t result = ReadU32BE(&word, file);
  if (result == kFileOk) *value = float(double(int32_t(word)) * 0.00001);
  return result;
}

int16_t ReadCounted(char *buffer, int32_t n, int32_t capacity, FileHandle file, int16_t mode) {
  if (buffer == nullptr) return kFileNullArgument;
  if (capacity < 1) return kFileReadError;
  buffer[0] = '\0';
  if (mode == kCountedNoRead) return kFileNullArgument;
  if (n < 0 || n >= capacity) return kFileReadError;
  int16_t result = ReadExactly(file, buffer, n + 1);
  buffer[result == kFileOk ? n : 0] = '\0';
  return result;
}

int16_t SkipBytes(int32_t n, FileHandle file) {
  if (n <= 0) return kFileOk;
  uint8_t block[256];
  int32_t singles = n;
  if (n > 256) {
    int32_t blocks = (n - 257) / 256 + 1;
    singles = n - 256 * blocks;
    for (int32_t i = 0; i < blocks; i++) {
      if (ReadField(file, block, 256) != kFileOk) return kFileReadError;
    }
  }
  for (int32_t i = 0; i < singles; i++) {
    if (ReadField(file, block, 1) != kFileOk) return kFileReadError;
  }
  return kFileOk;
}

int16_t ReadNothing(void *destination, FileHandle file) { return kFileOk; }
