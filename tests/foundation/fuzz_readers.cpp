// Fuzz target "foundation_readers": the buffered reader, the counted-string reader and the
// typed readers over hostile file contents, the way the cloud-source list and the cloud cache
// read them.
//
// The input is the file. Its bytes are read as a cloud-source list would be: a count word
// decides how many entries follow, each entry carries counted strings for a 260-byte and a
// 24-byte field, fixed-point values and a skip; the rest of the file goes through a
// BufferedFile byte by byte. The sanitizers catch any write past a field; the checks below
// catch a counted string left without its terminator.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/binary_io.h"
#include "foundation/buffered_file.h"

static void Check(bool ok) {
  if (!ok) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static int fd = memfd_create("foundation_readers", 0);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return 0;
  if (size > 0 && write(fd, data, size) != ssize_t(size)) return 0;
  lseek(fd, 0, SEEK_SET);
  FileHandle file = fd;

  uint32_t entries = 0;
  if (ReadU32BE(&entries, file) == 0) {
    if (entries > 64) entries = 64;
    for (uint32_t e = 0; e < entries; e++) {
      char url[260], label[24];
      uint32_t n = 0;
      if (ReadU32BE(&n, file) != 0) break;
      int16_t r = ReadCounted(url, int32_t(n), sizeof url, file, int16_t(n & 3));
      Check(memchr(url, 0, sizeof url) != nullptr);
      if (r == 0) Check(strlen(url) <= n);
      if (ReadU32BE(&n, file) != 0) break;
      r = ReadCounted(label, int32_t(n), sizeof label, file, kCountedRead);
      Check(memchr(label, 0, sizeof label) != nullptr);
      float level = 0;
      ReadFixed5(&level, file);
      uint8_t flag = 0;
      ReadU8(&flag, file);
      if (flag & 1) {
        uint32_t skip = 0;
        if (ReadU32BE(&skip, file) == 0) SkipBytes(int32_t(skip & 0xFFFFF), file);
      }
      if (flag & 2) {
        uint8_t block[300];
        uint8_t len = 0;
        if (ReadU8(&len, file) == 0) ReadBlock(file, block, len);
      }
      if (flag & 4) {
        uint8_t block[300];
        int32_t count = flag;
        ReadBytes(file, &count, block);
        Check(count == 0 || count == flag);
      }
    }
  }

  BufferedFile bf;
  BufWriterInit(&bf, file);
  size_t limit = size + 1000;
  for (size_t i = 0; i < limit; i++) {
    BufReadU8(&bf);
    Check(bf.available >= 0 && bf.available <= kBufferedFileSize);
    Check(bf.readIndex >= 0 && bf.readIndex <= kBufferedFileSize);
    if (bf.error != 0) break;
  }
  Check(bf.error == 0 || bf.error == kFileReadError);
  while (ReadU8OrEOF(file) >= 0) {
  }
  return 0;
}
