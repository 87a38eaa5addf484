// jpeg_test_support.cpp -- see jpeg_test_support.h.
#include "tests/files/jpeg_test_support.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace files_test {

namespace {

// Position k of the zigzag sequence -> index in natural order (ITU T.81 figure A.6).
const int kZigzagToNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

std::vector<uint8_t> Compress(int width, int height, int components, J_COLOR_SPACE space, bool progressive = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char *out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(size_t(width * components));
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      for (int c = 0; c < components; c++) row[size_t(x * components + c)] = JSAMPLE((x * 4 + y * 4 + c * 30) & 255);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> stream(out, out + size);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return stream;
}

}  // namespace

std::vector<JpegSegment> JpegSegments(const std::vector<uint8_t> &s) {
  std::vector<JpegSegment> segments;
  size_t i = 0;
  if (s.size() < 2 || s[0] != 0xFF || s[1] != 0xD8) return segments;
  segments.push_back({0xD8, {}});
  i = 2;
  while (i + 4 <= s.size()) {
    if (s[i] != 0xFF) break;
    uint8_t marker = s[i + 1];
    size_t length = size_t(s[i + 2]) << 8 | s[i + 3];
    if (length < 2 || i + 2 + length > s.size()) break;
    segments.push_back({marker, std::vector<uint8_t>(s.begin() + long(i + 4), s.begin() + long(i + 2 + length))});
    i += 2 + length;
    if (marker == 0xDA) break;
  }
  return segments;
}

std::vector<uint16_t> QuantTable(const std::vector<uint8_t> &stream, int id) {
  for (const JpegSegment &segment : JpegSegments(stream)) {
    if (segment.marker != 0xDB) continue;
    size_t i = 0;
    const std::vector<uint8_t> &p = segment.payload;
    while (i < p.size()) {
      int precision = p[i] >> 4, table = p[i] & 15;
      i++;
      std::vector<uint16_t> natural(64);
      for (int k = 0; k < 64; k++) {
        uint16_t value = precision ? uint16_t(p[i] << 8 | p[i + 1]) : p[i];
        i += precision ? 2 : 1;
        natural[size_t(kZigzagToNatural[k])] = value;
      }
      if (table == id) return natural;
    }
  }
  return {};
}

JpegFrame FrameOf(const std::vector<uint8_t> &stream) {
  JpegFrame frame;
  for (const JpegSegment &segment : JpegSegments(stream)) {
    if (segment.marker < 0xC0 || segment.marker > 0xC2) continue;
    const std::vector<uint8_t> &p = segment.payload;
    frame.height = p[1] << 8 | p[2];
    frame.width = p[3] << 8 | p[4];
    frame.components = p[5];
    for (int c = 0; c < frame.components && c < 4; c++) {
      frame.h[c] = p[size_t(7 + 3 * c)] >> 4;
      frame.v[c] = p[size_t(7 + 3 * c)] & 15;
    }
  }
  return frame;
}

std::vector<uint8_t> ReferenceGreyJpeg(int width, int height) { return Compress(width, height, 1, JCS_GRAYSCALE); }

std::vector<uint8_t> ReferenceCmykJpeg(int width, int height) { return Compress(width, height, 4, JCS_CMYK); }

std::vector<uint8_t> ReferenceProgressiveJpeg(int width, int height) {
  return Compress(width, height, 3, JCS_RGB, true);
}

}  // namespace files_test
