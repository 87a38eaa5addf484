// gif_decoder.cpp -- the GIF reader of the cloud import: blocks, colour tables, extensions and
// the LZW pixel stream.
//
// The LZW decoder is the classic one (prefix and suffix tables of 4096 entries, a stack of
// strings being unwound), with three deliberate departures from the naive form, because the
// input is untrusted:
//   - codes are gathered by a bit accumulator that pulls as many data sub-blocks as a code needs:
//     a legal file may split a 12-bit code over three 1-byte sub-blocks;
//   - a code above the next free entry, or a first code after a clear that is no literal, ends
//     the data: it would otherwise link the prefix chains into a cycle or index past the palette;
//   - every prefix entry is below its own code, so no chain is longer than the table; the stack
//     is still checked on every push.
#include "clouds/gif_decoder.h"

#include <cstdlib>
#include <cstring>

#include "foundation/file_io.h"

namespace {

constexpr int32_t kLzwTableSize = 4096;
constexpr int32_t kLzwStackSize = 8192;
constexpr int32_t kDataEnded = -1;    // the sub-blocks ran out (a zero-length block)
constexpr int32_t kEndCode = -2;      // the end-of-information code
constexpr int32_t kBadCode = -3;      // a code that names no string

struct GifReader {
  const GifByteSource *source;
  bool failed;                        // a read could not deliver its bytes: no picture

  // The data sub-blocks of one image.
  int32_t blockLeft;                  // bytes not yet taken from the current sub-block
  bool dataEnded;                     // the zero-length terminator was read
  uint32_t bitBuffer;
  int32_t bitCount;

  // The LZW state.
  int32_t minimumCodeSize;
  int32_t clearCode;
  int32_t endCode;
  int32_t codeSize;
  int32_t codeLimit;
  int32_t nextFree;
  int32_t previousCode;               // -1 right after a clear
  int32_t firstValue;                 // first palette index of the previous string
  uint16_t prefix[kLzwTableSize];
  uint8_t suffix[kLzwTableSize];
  uint8_t stack[kLzwStackSize];
  int32_t stackTop;
};

bool ReadExact(GifReader *r, uint8_t *destination, int32_t n) {
  if (r->failed) return false;
  if (n <= 0) return true;
  if (!r->source->read(r->source->context, destination, n)) {
    r->failed = true;
    return false;
  }
  return true;
}

// The next byte, or -1 (and the reader failed) when the source has none.
int32_t ReadByte(GifReader *r) {
  uint8_t b;
  return ReadExact(r, &b, 1) ? b : -1;
}

// Reads and drops sub-blocks up to the zero-length terminator. False when the file ends first.
bool SkipSubBlocks(GifReader *r) {
  uint8_t block[255];
  for (;;) {
    const int32_t n = ReadByte(r);
    if (n < 0) return false;
    if (n == 0) return true;
    if (!ReadExact(r, block, n)) return false;
  }
}

// Reads n RGB triples into the palette planes; 1 when the read fails.
int32_t ReadGifColorTable(GifReader *r, int32_t n, uint8_t table[3][256]) {
  uint8_t rgb[3 * 256];
  if (!ReadExact(r, rgb, 3 * n)) return 1;
  for (int32_t i = 0; i < n; i++) {
    table[0][i] = rgb[3 * i];
    table[1][i] = rgb[3 * i + 1];
    table[2][i] = rgb[3 * i + 2];
  }
  return 0;
}

// One extension after its label. A graphic control extension gives its transparent index (or
// -1); its first sub-block is taken at its own length, so a short one reads nothing beyond it.
void ReadGifExtension(GifReader *r, int32_t label, int32_t *transparentIndex) {
  if (label == 0xF9) {
    const int32_t n = ReadByte(r);
    if (n <= 0) return;   // failed, or an empty extension already at its terminator
    uint8_t block[255];
    if (!ReadExact(r, block, n)) return;
    *transparentIndex = (n >= 4 && (block[0] & 1) != 0) ? int32_t(block[3]) : -1;
  }
  SkipSubBlocks(r);
}

// ---- The code reader -----------------------------------------------------------------------

// The next code of codeSize bits, least significant bit first; kDataEnded when the sub-blocks
// end before the code is whole.
int32_t ReadCode(GifReader *r) {
  while (r->bitCount < r->codeSize) {
    if (r->dataEnded || r->failed) return kDataEnded;
    if (r->blockLeft == 0) {
      const int32_t n = ReadByte(r);
      if (n <= 0) {
        r->dataEnded = true;
        return kDataEnded;
      }
      r->blockLeft = n;
    }
    const int32_t b = ReadByte(r);
    if (b < 0) return kDataEnded;
    r->blockLeft--;
    r->bitBuffer |= uint32_t(b) << r->bitCount;
    r->bitCount += 8;
  }
  const int32_t code = int32_t(r->bitBuffer & ((1u << r->codeSize) - 1));
  r->bitBuffer >>= r->codeSize;
  r->bitCount -= r->codeSize;
  return code;
}

void ResetLzwTables(GifReader *r) {
  r->codeSize = r->minimumCodeSize + 1;
  r->codeLimit = r->clearCode * 2;
  r->nextFree = r->clearCode + 2;
  r->previousCode = -1;
  r->stackTop = 0;
}

// Sets up the LZW state for a minimum code size; false when it is outside 2..8, the sizes that
// GIF allows (larger ones would index past the tables and the palette).
bool StartLzw(GifReader *r, int32_t minimumCodeSize) {
  if (minimumCodeSize < 2 || minimumCodeSize > 8) return false;
  r->minimumCodeSize = minimumCodeSize;
  r->clearCode = 1 << minimumCodeSize;
  r->endCode = r->clearCode + 1;
  for (int32_t i = 0; i < kLzwTableSize; i++) {
    r->prefix[i] = 0;
    r->suffix[i] = uint8_t(i < r->clearCode ? i : 0);
  }
  r->blockLeft = 0;
  r->dataEnded = false;
  r->bitBuffer = 0;
  r->bitCount = 0;
  ResetLzwTables(r);
  return true;
}

// The next palette index of the pixel stream, or a negative value at its end.
int32_t GifLzwNextIndex(GifReader *r) {
  if (r->stackTop > 0) return r->stack[--r->stackTop];
  int32_t code = ReadCode(r);
  while (code == r->clearCode) {   // a clear, or the first code of the stream
    ResetLzwTables(r);
    code = ReadCode(r);
  }
  if (code < 0) return code;
  if (code == r->endCode) return kEndCode;
  if (r->previousCode < 0) {
    // The first code after a clear must be a literal.
    if (code >= r->clearCode) return kBadCode;
    r->previousCode = code;
    r->firstValue = code;
    return code;
  }
  if (code > r->nextFree) return kBadCode;

  const int32_t incoming = code;
  if (code == r->nextFree) {   // the string of the previous code plus its own first value
    r->stack[r->stackTop++] = uint8_t(r->firstValue);
    code = r->previousCode;
  }
  while (code >= r->clearCode) {
    if (r->stackTop >= kLzwStackSize - 1) return kBadCode;
    r->stack[r->stackTop++] = r->suffix[code];
    code = r->prefix[code];
  }
  r->firstValue = r->suffix[code];
  r->stack[r->stackTop++] = uint8_t(r->firstValue);

  if (r->nextFree < kLzwTableSize) {
    r->prefix[r->nextFree] = uint16_t(r->previousCode);
    r->suffix[r->nextFree] = uint8_t(r->firstValue);
    r->nextFree++;
    if (r->nextFree >= r->codeLimit && r->codeLimit < kLzwTableSize) {
      r->codeLimit *= 2;
      r->codeSize++;
    }
  }
  r->previousCode = incoming;
  return r->stack[--r->stackTop];
}

// After the pixels: the rest of the image's sub-blocks up to the terminator.
void FinishImageData(GifReader *r) {
  if (r->dataEnded || r->failed) return;
  uint8_t block[255];
  if (r->blockLeft > 0 && !ReadExact(r, block, r->blockLeft)) return;
  r->blockLeft = 0;
  SkipSubBlocks(r);
  r->dataEnded = true;
}

// The pixel data of one image into the picture, or (picture null) passed over by its sub-block
// lengths: a later frame is never shown, and decoding it would cost time in proportion to what
// its codes expand to, not to its bytes. False when the minimum code size is out of range.
bool DecodeGifLzw(GifReader *r, GifPicture *picture) {
  const int32_t minimumCodeSize = ReadByte(r);
  if (minimumCodeSize < 0 || !StartLzw(r, minimumCodeSize)) return false;
  if (picture == nullptr) return SkipSubBlocks(r);
  static const int32_t kPassStart[4] = {0, 4, 2, 1};
  static const int32_t kPassStep[4] = {8, 8, 4, 2};
  const int32_t width = picture->width;
  const int32_t height = picture->height;
  int32_t x = 0;
  int32_t y = 0;
  int32_t pass = 0;
  int64_t stored = 0;
  while (y < height) {
    const int32_t index = GifLzwNextIndex(r);
    if (index < 0) break;
    picture->indexFree[index] = 0;
    picture->pixels[size_t(y) * size_t(width) + size_t(x)] = uint8_t(index);
    stored++;
    if (++x < width) continue;
    x = 0;
    if (!picture->interlaced) {
      y++;
      continue;
    }
    y += kPassStep[pass];
    while (y >= height && pass < 3) {
      pass++;
      y = kPassStart[pass];
    }
  }
  // Every row of every pass visits each pixel once: the count tells whether all were set.
  picture->whole = stored == int64_t(width) * int64_t(height) ? 1 : 0;
  FinishImageData(r);
  return true;
}

bool ReadFromMemory(void *context, uint8_t *destination, int32_t n) {
  auto *cursor = static_cast<const uint8_t **>(context);
  // cursor[0] is the next byte, cursor[1] the end.
  if (cursor[1] - cursor[0] < n) {
    cursor[0] = cursor[1];
    return false;
  }
  std::memcpy(destination, cursor[0], size_t(n));
  cursor[0] += n;
  return true;
}

// Files are read through a small read-ahead buffer: the decoder asks for a byte at a time.
struct FileSourceState {
  FileHandle file;
  uint8_t buffer[4096];
  int32_t available;
  int32_t position;
};

bool ReadFromFile(void *context, uint8_t *destination, int32_t n) {
  auto *s = static_cast<FileSourceState *>(context);
  while (n > 0) {
    if (s->position == s->available) {
      int32_t got = 0;
      if (!ReadPlatformFile(s->file, s->buffer, int32_t(sizeof s->buffer), &got) || got <= 0) return false;
      s->available = got;
      s->position = 0;
    }
    int32_t take = s->available - s->position;
    if (take > n) take = n;
    std::memcpy(destination, s->buffer + s->position, size_t(take));
    s->position += take;
    destination += take;
    n -= take;
  }
  return true;
}

}  // namespace

GifPicture *NewGifPicture(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > kMaxCloudPictureSide || height > kMaxCloudPictureSide) return nullptr;
  if (int64_t(width) * int64_t(height) > kMaxCloudPicturePixels) return nullptr;
  auto *picture = static_cast<GifPicture *>(std::calloc(1, sizeof(GifPicture)));
  if (picture == nullptr) return nullptr;
  picture->pixels = static_cast<uint8_t *>(std::calloc(size_t(width) * size_t(height), 1));
  if (picture->pixels == nullptr) {
    std::free(picture);
    return nullptr;
  }
  picture->width = width;
  picture->height = height;
  picture->transparentIndex = -1;
  return picture;
}

void FreeGifPicture(GifPicture *picture) {
  if (picture == nullptr) return;
  std::free(picture->pixels);
  std::free(picture->valueList);
  std::free(picture);
}

int32_t GifPixelIndex(const GifPicture *picture, int32_t x, int32_t y) {
  if (picture == nullptr || x < 0 || y < 0 || x >= picture->width || y >= picture->height) return 0;
  return picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)];
}

void SetGifPixel(GifPicture *picture, int32_t x, int32_t y, int32_t value) {
  if (picture == nullptr) return;
  if (value >= -5 && value <= -2) {
    if (picture->valueList == nullptr || picture->valueCount <= 0) return;
    if (value == -2) {
      const int32_t next = picture->valueList[picture->valuePosition];
      picture->valuePosition = (picture->valuePosition + 1) % picture->valueCount;
      if (next != -6 && !(next >= -5 && next <= -2)) SetGifPixel(picture, x, y, next);
    } else if (value == -4) {
      picture->valuePosition = (picture->valuePosition + 1) % picture->valueCount;
    }
    return;
  }
  if (x < 0 || y < 0 || x >= picture->width || y >= picture->height) return;
  picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)] = uint8_t(value);
}

GifPicture *DecodeGifFromSource(const GifByteSource *source) {
  auto *r = static_cast<GifReader *>(std::calloc(1, sizeof(GifReader)));
  if (r == nullptr) return nullptr;
  r->source = source;
  GifPicture *picture = nullptr;
  uint8_t global[3][256] = {};
  bool trailer = false;

  uint8_t header[13];
  const bool headerOk = ReadExact(r, header, 13) && std::memcmp(header, "GIF", 3) == 0 &&
                        (std::memcmp(header + 3, "87a", 3) == 0 || std::memcmp(header + 3, "89a", 3) == 0);
  if (headerOk && (header[10] & 0x80) != 0) ReadGifColorTable(r, 2 << (header[10] & 7), global);

  int32_t pendingTransparent = -1;
  while (headerOk && !r->failed) {
    const int32_t introducer = ReadByte(r);
    if (introducer < 0) break;
    if (introducer == 0x3B) {
      trailer = true;
      break;
    }
    if (introducer == 0x21) {
      const int32_t label = ReadByte(r);
      if (label >= 0) ReadGifExtension(r, label, &pendingTransparent);
      continue;
    }
    if (introducer != 0x2C) continue;   // stray bytes between blocks are passed over

    uint8_t descriptor[9];
    if (!ReadExact(r, descriptor, 9)) break;
    const int32_t width = descriptor[4] | (descriptor[5] << 8);
    const int32_t height = descriptor[6] | (descriptor[7] << 8);
    const uint8_t flags = descriptor[8];
    uint8_t local[3][256] = {};
    const bool hasLocal = (flags & 0x80) != 0;
    if (hasLocal && ReadGifColorTable(r, 1 << ((flags & 7) + 1), local) != 0) break;
    if (picture != nullptr) {   // a later frame: passed over
      if (!DecodeGifLzw(r, nullptr)) break;
      continue;
    }
    picture = NewGifPicture(width, height);
    if (picture == nullptr) break;   // no sides, sides beyond the cap, or no memory
    const uint8_t(*table)[256] = hasLocal ? local : global;
    for (int32_t i = 0; i < 256; i++) {
      picture->red[i] = table[0][i];
      picture->green[i] = table[1][i];
      picture->blue[i] = table[2][i];
      picture->indexFree[i] = 1;
    }
    picture->colorCount = 256;
    picture->interlaced = (flags & 0x40) != 0 ? 1u : 0u;
    if (!DecodeGifLzw(r, picture)) break;
    if (pendingTransparent >= 0) picture->transparentIndex = pendingTransparent;
  }
  const bool ok = trailer && !r->failed && picture != nullptr;
  std::free(r);
  if (!ok) {
    FreeGifPicture(picture);
    return nullptr;
  }
  while (picture->colorCount > 0 && picture->indexFree[picture->colorCount - 1] != 0) picture->colorCount--;
  return picture;
}

GifPicture *DecodeGifFromMemory(const uint8_t *data, int32_t size) {
  const uint8_t *cursor[2] = {data, data + (size > 0 ? size : 0)};
  const GifByteSource source = {ReadFromMemory, cursor};
  return DecodeGifFromSource(&source);
}

GifPicture *DecodeGif(FileHandle file) {
  auto *state = static_cast<FileSourceState *>(std::calloc(1, sizeof(FileSourceState)));
  if (state == nullptr) return nullptr;
  state->file = file;
  const GifByteSource source = {ReadFromFile, state};
  GifPicture *picture = DecodeGifFromSource(&source);
  std::free(state);
  return picture;
}
