// vector_math.cpp -- 3-vectors, rotation matrices, texture coordinates and size fitting.
#include "foundation/vector_math.h"

#include <cmath>
#include <cstring>

bool IsNanFloat(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
}

void VectorTimesMatrix(const float v[3], const float m[16], float out[3]) {
  for (int j = 0; j < 3; j++) out[j] = v[0] * m[j] + v[1] * m[4 + j] + v[2] * m[8 + j];
}

void AxisAngleMatrix(const double axis[3], double angle, double m[16]) {
  double s = sin(angle / 2.0);
  double w = cos(angle / 2.0);
  double x = s * axis[0], y = s * axis[1], z = s * axis[2];
  m[0] = 1.0 - 2.0 * (y * y + z * z);
  m[1] = 2.0 * x * y - 2.0 * z * w;
  m[2] = 2.0 * x * z + 2.0 * y * w;
  m[3] = 0.0;
  m[4] = 2.0 * x * y + 2.0 * z * w;
  m[5] = 1.0 - 2.0 * (x * x + z * z);
  m[6] = 2.0 * y * z - 2.0 * x * w;
  m[7] = 0.0;
  m[8] = 2.0 * x * z - 2.0 * y * w;
  m[9] = 2.0 * y * z + 2.0 * x * w;
  m[10] = 1.0 - 2.0 * (x * x + y * y);
  m[11] = 0.0;
  m[12] = 0.0;
  m[13] = 0.0;
  m[14] = 0.0;
  m[15] = 1.0;
}

void RotateVectorAboutAxis(const float axis[3], float angle, float m[16]) {
  double a[3] = {axis[0], axis[1], axis[2]};
  double d[16];
  AxisAngleMatrix(a, angle, d);
  for (int r = 0; r < 4; r++) {
    for (int c = 0; c < 3; c++) m[4 * r + c] = float(d[4 * r + c]);
  }
}

// The products w x n and h x n are formed in 64 bits: a side near 2^31 times a long side of a
// few hundred does not fit 32. The quotients never exceed n, so they fit again.
void FitSizeToLongSide(int32_t *width, int32_t *height, int32_t n) {
  if (n <= 0) return;
  int64_t w = *width, h = *height;
  int64_t longer = w > h ? w : h;
  if (longer <= 0) return;
  int64_t nw = w * n / longer;
  int64_t nh = h * n / longer;
  *width = int32_t(nw < 1 ? 1 : nw);
  *height = int32_t(nh < 1 ? 1 : nh);
}

void PixelToTexCoord(int32_t i, int32_t j, float *u, float *v, float w, float h) {
  *u = float(int64_t(i) + 1 + i) / (w + w);
  *v = float(int64_t(j) + 1 + j) / (h + h);
}

void PixelToTexCoordF(float x, float y, float *u, float *v, float w, float h) {
  *u = (x + 1.0f + x) / (w + w);
  *v = (y + 1.0f + y) / (h + h);
}
