// jpeg_test_support.h -- an independent look at JPEG streams for the tests: the segments
// before the first scan, the quantisation tables in natural order, the frame's sampling, and
// reference streams made with libjpeg directly (grey and CMYK pictures our encoder never
// makes).
#ifndef KIVAGLOBE_TESTS_FILES_JPEG_TEST_SUPPORT_H
#define KIVAGLOBE_TESTS_FILES_JPEG_TEST_SUPPORT_H

#include <cstdint>
#include <vector>

namespace files_test {

struct JpegSegment {
  uint8_t marker;                 // 0xD8 for SOI (no payload), 0xE0.., 0xDB, 0xC0, ...
  std::vector<uint8_t> payload;   // without the length field
};

// The segments of a stream from SOI up to and including SOS (whose payload is its header).
std::vector<JpegSegment> JpegSegments(const std::vector<uint8_t> &stream);

// Table `id` of the DQT segments, in natural (row by row) order; empty when absent.
std::vector<uint16_t> QuantTable(const std::vector<uint8_t> &stream, int id);

struct JpegFrame {
  int width = 0, height = 0, components = 0;
  int h[4] = {0, 0, 0, 0};
  int v[4] = {0, 0, 0, 0};
};
JpegFrame FrameOf(const std::vector<uint8_t> &stream);

// A grey (1 component) or CMYK (4 components) stream of width x height made by libjpeg with
// its stock settings; the grey one has sample value (x * 4 + y * 4) & 255 at (x, y).
std::vector<uint8_t> ReferenceGreyJpeg(int width, int height);
std::vector<uint8_t> ReferenceCmykJpeg(int width, int height);
// An RGB stream in libjpeg's standard progressive script (10 scans), the grey one's pattern
// in every channel shifted by 30 per channel.
std::vector<uint8_t> ReferenceProgressiveJpeg(int width, int height);

}  // namespace files_test

#endif  // KIVAGLOBE_TESTS_FILES_JPEG_TEST_SUPPORT_H
