// exact_math.h -- sine, cosine, logarithm and arctangent that give the same bits in every build.
//
// The runtime libraries of the three builds disagree in the last bits of sin, cos, log, atan
// and acos: glibc rounds them one way, the Windows runtime of the 64-bit build another, and the
// 32-bit build's x87 instructions a third. The renderer's noise amplifies such a difference into
// visibly different pixels, so every transcendental function the renderer calls goes through
// these routines instead. They use only addition, subtraction, multiplication, division and the
// square root, in double precision, which IEEE 754 defines exactly and which SSE2 carries out
// the same way everywhere (the build forbids contraction into fused multiply-adds).
//
// Accuracy is within a few units in the last place of the double result over the ranges the
// renderer uses; arguments of absurd size (from unchecked parameters) give finite, deterministic
// but inaccurate results rather than undefined behaviour.
#ifndef KIVAGLOBE_FOUNDATION_EXACT_MATH_H
#define KIVAGLOBE_FOUNDATION_EXACT_MATH_H

#include <cstdint>

double ExactSin(double x);
double ExactCos(double x);
void ExactSinCos(double x, double *sine, double *cosine);

// Natural logarithm: -infinity for 0, NaN below 0 and for NaN, +infinity for +infinity.
double ExactLog(double x);

// Arctangent, -pi/2..pi/2.
double ExactAtan(double x);

// Arccosine, 0..pi; NaN outside -1..1.
double ExactAcos(double x);

// Single-precision forms: the double routine of the float argument, rounded once to float.
inline float ExactSinF(float x) { return float(ExactSin(double(x))); }
inline float ExactCosF(float x) { return float(ExactCos(double(x))); }
inline float ExactLogF(float x) { return float(ExactLog(double(x))); }

// ExactLogF of count floats, the same bits, several at a time.
void ExactLogFMany(const float *x, float *out, int32_t count);

// The rotation matrix of the foundation's RotateVectorAboutAxis (vector_math.h): the half-angle
// quaternion of `angle` radians about `axis` (not normalised), computed in double and stored as
// floats into rows 0..3, columns 0..2 of m (column 3 is left as it was). A row vector times the
// matrix turns by -angle about the axis. Only the sine and cosine differ from the foundation's
// routine: they are the exact ones above.
void ExactRotationMatrix(const float axis[3], float angle, float m[16]);

// ExactRotationMatrix for count angles about one axis, the same bits, two at a time; matrix k
// is m + 16 k (its column 3 is left as it was).
void ExactRotationMatrixMany(const float axis[3], const float *angles, float *m, int32_t count);

#endif  // KIVAGLOBE_FOUNDATION_EXACT_MATH_H
