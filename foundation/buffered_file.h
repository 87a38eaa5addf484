// buffered_file.h -- a 400-byte write-behind or read-ahead buffer over an open file.
//
// Bulk pixel data (the layered document's channels, the cloud cache) is produced and consumed a
// byte at a time; a BufferedFile turns that into system calls of 400 bytes. Multi-byte values go
// low byte first; a caller that wants big-endian bytes in the file swaps the value first
// (ByteSwap16, ByteSwap32).
//
// A record is used for writing or for reading, never both. Errors are sticky: the first failed
// write is remembered (error = -20), later bytes are dropped without further system calls, and
// BufWriterFlush and BufWriterClose report it. A reader that runs past the end of the file or
// meets a failing read sets error to -19 (and atEnd at the end of the file) and hands out 0
// from then on; its caller tests the error after the bytes it read.
#ifndef KIVAGLOBE_FOUNDATION_BUFFERED_FILE_H
#define KIVAGLOBE_FOUNDATION_BUFFERED_FILE_H

#include <cstdint>

#include "foundation/file_io.h"

constexpr int32_t kBufferedFileSize = 400;

struct BufferedFile {
  uint8_t buffer[kBufferedFileSize];  // bytes waiting to be written, or bytes read ahead
  int32_t pending;                    // bytes in the buffer waiting to be written
  int32_t available;                  // read-ahead bytes not yet handed out
  int32_t readIndex;                  // index of the next read-ahead byte
  FileHandle file;
  int16_t error;                      // 0, or the first failure: -19 (read, or past the end), -20 (write)
  bool atEnd;                         // the reader asked for a byte past the end of the file
};

// Binds the record to an open file and clears its counters and error. Used for readers too.
void BufWriterInit(BufferedFile *bf, FileHandle file);

void BufWriteU8(uint8_t value, BufferedFile *bf);
void BufWriteU16LE(uint16_t value, BufferedFile *bf);
void BufWriteU32LE(uint32_t value, BufferedFile *bf);

// Writes the pending bytes. Returns 0, or -20 when this or any earlier write of the record
// failed.
int16_t BufWriterFlush(BufferedFile *bf);

// Flushes, closes the file and returns 0, or -20 when any write (or the close) failed.
int16_t BufWriterClose(BufferedFile *bf);

// The next byte of the file, 0..255; 0 past the end or after a failed read (see error).
uint8_t BufReadU8(BufferedFile *bf);

#endif  // KIVAGLOBE_FOUNDATION_BUFFERED_FILE_H
