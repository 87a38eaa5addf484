// buffered_file.cpp -- a 400-byte write-behind or read-ahead buffer over an open file.
#include "foundation/buffered_file.h"

#include "foundation/binary_io.h"

void BufWriterInit(BufferedFile *bf, FileHandle file) {
  bf->file = file;
  bf->pending = 0;
  bf->available = 0;
  bf->readIndex = 0;
  bf->error = kFileOk;
  bf->atEnd = false;
}

// Writes the pending bytes unless an earlier write failed; either way the buffer empties.
static void WritePending(BufferedFile *bf) {
  if (bf->pending > 0 && bf->error == kFileOk) {
    int32_t written = 0;
    if (!WritePlatformFile(bf->file, bf->buffer, bf->pending, &written) || written != bf->pending) {
      bf->error = kFileWriteError;
    }
  }
  bf->pending = 0;
}

void BufWriteU8(uint8_t value, BufferedFile *bf) {
  if (bf->pending < 0 || bf->pending >= kBufferedFileSize) WritePending(bf);
  bf->buffer[bf->pending++] = value;
  if (bf->pending >= kBufferedFileSize) WritePending(bf);
}

void BufWriteU16LE(uint16_t value, BufferedFile *bf) {
  BufWriteU8(uint8_t(value), bf);
  BufWriteU8(uint8_t(value >> 8), bf);
}

void BufWriteU32LE(uint32_t value, BufferedFile *bf) {
  BufWriteU8(uint8_t(value), bf);
  BufWriteU8(uint8_t(value >> 8), bf);
  BufWriteU8(uint8_t(value >> 16), bf);
  BufWriteU8(uint8_t(value >> 24), bf);
}

int16_t BufWriterFlush(BufferedFile *bf) {
  WritePending(bf);
  return bf->error == kFileWriteError ? kFileWriteError : kFileOk;
}

int16_t BufWriterClose(BufferedFile *bf) {
  int16_t result = BufWriterFlush(bf);
  if (!ClosePlatformFile(bf->file)) result = kFileWriteError;
  bf->file = kNoFile;
  return result;
}

uint8_t BufReadU8(BufferedFile *bf) {
  if (bf->available < 1) {
    if (bf->error != kFileOk) return 0;
    int32_t got = 0;
    bool ok = ReadPlatformFile(bf->file, bf->buffer, kBufferedFileSize, &got);
    bf->readIndex = 0;
    bf->available = ok ? got : 0;
    if (bf->available < 1) {
      bf->error = kFileReadError;
      bf->atEnd = ok;
      return 0;
    }
  }
  bf->available--;
  return bf->buffer[bf->readIndex++];
}
