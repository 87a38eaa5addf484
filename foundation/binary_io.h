// binary_io.h -- typed fields of the program's own files, on an open file handle.
//
// Every file the plug-in writes or reads itself goes through these primitives: 32- and 16-bit
// integers big-endian, single bytes, a fixed-point form of floats, strings with and without
// their terminator, counted strings, skipping and raw blocks. Each typed field is one system
// call. Bulk byte streams go through the BufferedFile of buffered_file.h.
//
// Result codes (16-bit): 0 done, -19 read failed, -20 write failed, 99 a null string or buffer.
//
// A read that cannot deliver every byte it was asked for -- a failing system call, or the end
// of the file inside the field -- is a read error: the reader returns -19 and leaves its
// destination as it was, so a short or damaged file never plants half-read or byte-swapped
// values in the caller's fields. A reader that meets the end of the file moves to the end, so
// that every later field of that file fails too.
//
// No operation closes the file: the caller closes the handle (ClosePlatformFile).
#ifndef KIVAGLOBE_FOUNDATION_BINARY_IO_H
#define KIVAGLOBE_FOUNDATION_BINARY_IO_H

#include <cstdint>

#include "foundation/file_io.h"

enum : int16_t {
  kFileOk = 0,
  kFileReadError = -19,
  kFileWriteError = -20,
  kFileNullArgument = 99,
};

// Modes of ReadCounted.
enum : int16_t {
  kCountedRead = 0,
  kCountedNoRead = 2,   // empty the buffer and answer 99 without reading
};

// ---- Raw transfers -----------------------------------------------------------------------

// Writes *count bytes; *count receives the number written. 0 or -20.
int16_t WriteBytes(FileHandle file, int32_t *count, const void *buffer);

// Reads *count bytes; *count receives the number read (0 after a refused short read). 0 or
// -19; on -19 the buffer is unchanged unless the system call itself failed midway.
int16_t ReadBytes(FileHandle file, int32_t *count, void *buffer);

// ReadBytes of exactly count bytes. 0 or -19.
int16_t ReadBlock(FileHandle file, void *buffer, int32_t count);

uint32_t ByteSwap32(uint32_t value);
uint16_t ByteSwap16(uint16_t value);

// ---- Typed fields ------------------------------------------------------------------------

int16_t WriteU32BE(uint32_t value, FileHandle file);
int16_t WriteU16BE(uint16_t value, FileHandle file);
int16_t WriteU8(uint8_t value, FileHandle file);

// Writes count zero bytes, one byte per system call; 0 when count < 1. Stops at the first
// failure (-20).
int16_t WriteZeros(int16_t count, FileHandle file);

// The fixed-point form of a float: value x 100000 in single precision, truncated toward zero to
// a signed 32-bit integer, big-endian. NaN is written as 0 and values beyond about +-21474.8 as
// the nearest end of the range. Both deliverables use this one formula, so they write the same
// bytes.
int16_t WriteFixed5(float value, FileHandle file);

// The string's bytes followed by its NUL (WriteCStringNul) or without it (WriteCString).
// 99 for a null string, else 0 or -20.
int16_t WriteCStringNul(const char *s, FileHandle file);
int16_t WriteCString(const char *s, FileHandle file);

int16_t ReadU32BE(uint32_t *value, FileHandle file);
int16_t ReadU8(uint8_t *value, FileHandle file);

// The next byte, 0..255, or -1 when none could be read (failure or end of file).
int32_t ReadU8OrEOF(FileHandle file);

// Reads the fixed-point form: the integer times 0.00001 in double precision, rounded to float.
int16_t ReadFixed5(float *value, FileHandle file);

// The counted-string reader of the cloud-source list. A null buffer gives 99. Otherwise the
// buffer's first byte is set to 0; in mode kCountedNoRead the answer is then 99 and nothing is
// read. In any other mode the count is checked against the buffer's capacity: a count below 0
// or one whose n + 1 bytes do not fit gives -19 and nothing is read. Else n + 1 bytes (the
// string and the terminator the file carries) are read, and the buffer is terminated at n
// whatever byte the file held there. 0 or -19.
int16_t ReadCounted(char *buffer, int32_t n, int32_t capacity, FileHandle file, int16_t mode);

// Reads and discards n bytes (nothing for n <= 0): up to 256 as single bytes; more as 256-byte
// blocks followed by 1..256 single bytes. Stops at the end of the file or at a failure with -19.
int16_t SkipBytes(int32_t n, FileHandle file);

// Does nothing and returns 0: the settings reader's stand-in for a field it walks past.
int16_t ReadNothing(void *destination, FileHandle file);

#endif  // KIVAGLOBE_FOUNDATION_BINARY_IO_H
