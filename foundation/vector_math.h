// vector_math.h -- 3-vectors, rotation matrices, texture coordinates and size fitting.
//
// A 4 x 4 matrix is sixteen values stored row by row: entry (r, c) is element 4r + c. Vectors
// are row vectors multiplied from the left, so the first three entries of row r are the image
// of the r-th basis vector.
#ifndef KIVAGLOBE_FOUNDATION_VECTOR_MATH_H
#define KIVAGLOBE_FOUNDATION_VECTOR_MATH_H

#include <cstdint>

// True when f is a NaN (tested on the bits, so no optimisation can fold it away); infinities
// are not NaNs.
bool IsNanFloat(float f);

// out_j = v_0 M(0,j) + v_1 M(1,j) + v_2 M(2,j), j = 0..2. The fourth row and column of M take
// no part. `out` may not alias `v`.
void VectorTimesMatrix(const float v[3], const float m[16], float out[3]);

// The rotation by `angle` radians about `axis` (not normalised here), built from the half-angle
// quaternion. A row vector multiplied by it turns by -angle about the axis: (1, 0, 0) about
// (0, 0, 1) by pi/2 gives (0, -1, 0).
void AxisAngleMatrix(const double axis[3], double angle, double m[16]);

// AxisAngleMatrix computed in double precision from a float axis and angle, stored as floats
// into rows 0..3, columns 0..2 of m; column 3 keeps what it held.
void RotateVectorAboutAxis(const float axis[3], float angle, float m[16]);

// Scales *width and *height so that the longer becomes n (truncating division, 64-bit
// intermediates); a result below 1 becomes 1. Nothing changes when n <= 0 or neither side is
// positive.
void FitSizeToLongSide(int32_t *width, int32_t *height, int32_t n);

// Texture coordinates of the centre of pixel (i, j) on a level of w x h pixels:
// u = (2i + 1) / 2w, v = (2j + 1) / 2h.
void PixelToTexCoord(int32_t i, int32_t j, float *u, float *v, float w, float h);

// The same for a fractional pixel position.
void PixelToTexCoordF(float x, float y, float *u, float *v, float w, float h);

#endif  // KIVAGLOBE_FOUNDATION_VECTOR_MATH_H
