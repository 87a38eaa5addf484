// exact_math.cpp -- transcendental functions from the four operations and the square root.
//
// Sine and cosine reduce the argument by multiples of pi/2 (Cody and Waite: pi/2 split into three
// parts of 33 significant bits, so that k times the first two parts is exact for the k that
// occur) and evaluate Taylor polynomials on -pi/4..pi/4, where the first omitted term is below
// 1e-19. The logarithm splits off the binary exponent and evaluates 2 atanh(s), s = f / (2 + f),
// whose series converges fast because |s| < 0.172. The arctangent reduces to |t| <= tan(pi/8)
// and sums its series. All constants were computed from 60-digit values of pi and ln 2.
#include "foundation/exact_math.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// pi/2 = kPio2a + kPio2b + kPio2c; kPio2a and kPio2b have 33 significant bits.
constexpr double kPio2a = 1.5707963267341256;
constexpr double kPio2b = 6.077100506303966e-11;
constexpr double kPio2c = 2.0222662487959506e-21;
constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kPi = 3.141592653589793;
constexpr double kPio2 = 1.5707963267948966;
constexpr double kPio2Low = 6.123233995736766e-17;   // pi/2 - kPio2
constexpr double kPio4 = 0.7853981633974483;
constexpr double kPio4Low = 3.061616997868383e-17;   // pi/4 - kPio4
constexpr double kTwoPi = 6.283185307179586;

// ln 2 = kLn2High + kLn2Low; kLn2High has 32 significant bits, so k x kLn2High is exact.
constexpr double kLn2High = 0.6931471803691238;
constexpr double kLn2Low = 1.9082149292705877e-10;

// 1/25, 1/23, ..., 1/3: the atanh series of the logarithm, highest term first. Written out
// because a loop that divides at run time spends a dozen divisions on every logarithm (the
// compiler may not fold them), and the shader takes a logarithm per pixel.
constexpr double kAtanhCoefficients[12] = {1.0 / 25.0, 1.0 / 23.0, 1.0 / 21.0, 1.0 / 19.0, 1.0 / 17.0, 1.0 / 15.0,
                                           1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0,  1.0 / 7.0,  1.0 / 5.0,  1.0 / 3.0};

// (-1)^n / (2n + 1) for n = 30 down to 1: the arctangent series, highest term first.
constexpr double kAtanCoefficients[30] = {
    1.0 / 61.0,  -1.0 / 59.0, 1.0 / 57.0,  -1.0 / 55.0, 1.0 / 53.0,  -1.0 / 51.0, 1.0 / 49.0,  -1.0 / 47.0,
    1.0 / 45.0,  -1.0 / 43.0, 1.0 / 41.0,  -1.0 / 39.0, 1.0 / 37.0,  -1.0 / 35.0, 1.0 / 33.0,  -1.0 / 31.0,
    1.0 / 29.0,  -1.0 / 27.0, 1.0 / 25.0,  -1.0 / 23.0, 1.0 / 21.0,  -1.0 / 19.0, 1.0 / 17.0,  -1.0 / 15.0,
    1.0 / 13.0,  -1.0 / 11.0, 1.0 / 9.0,   -1.0 / 7.0,  1.0 / 5.0,   -1.0 / 3.0};

bool IsFiniteDouble(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return (bits & 0x7FF0000000000000ull) != 0x7FF0000000000000ull;
}

// The Taylor coefficients of sin and cos, highest term first, each with its sign: (-1)^n / (2n + 1)!
// for n = 9 down to 1, and (-1)^n / (2n)! for n = 10 down to 2. (Adding a negative coefficient
// is the same IEEE operation as subtracting its magnitude.)
constexpr double kSinCoefficients[9] = {
    -1.0 / 121645100408832000.0, 1.0 / 355687428096000.0, -1.0 / 1307674368000.0,
    1.0 / 6227020800.0,          -1.0 / 39916800.0,       1.0 / 362880.0,
    -1.0 / 5040.0,               1.0 / 120.0,             -1.0 / 6.0};
constexpr double kCosCoefficients[9] = {
    1.0 / 2432902008176640000.0, -1.0 / 6402373705728000.0, 1.0 / 20922789888000.0,
    -1.0 / 87178291200.0,        1.0 / 479001600.0,         -1.0 / 3628800.0,
    1.0 / 40320.0,               -1.0 / 720.0,              1.0 / 24.0};

// sin x on -pi/4..pi/4: x - x^3/3! + ... - x^19/19!.
double SinPoly(double x) {
  const double z = x * x;
  double p = kSinCoefficients[0];
  for (int i = 1; i < 9; i++) p = p * z + kSinCoefficients[i];
  return x + x * z * p;
}

// cos x on -pi/4..pi/4: 1 - x^2/2! + ... + x^20/20!.
double CosPoly(double x) {
  const double z = x * x;
  double p = kCosCoefficients[0];
  for (int i = 1; i < 9; i++) p = p * z + kCosCoefficients[i];
  const double half = 0.5 * z;
  return (1.0 - half) + z * z * p;
}

// x - k pi/2 in -pi/4..pi/4 (about), and k mod 4.
double ReduceQuadrant(double x, int32_t *quadrant) {
  // Only unchecked parameters get here: fold by whole turns in plain arithmetic. Each fold
  // leaves at most the rounding error of the product, about 2^-52 of the magnitude, so a few
  // folds bring any finite argument into range. The result is deterministic, though not
  // accurate to the last bits.
  while (std::fabs(x) > 1.0e6) x = x - kTwoPi * std::floor(x / kTwoPi);
  const double k = std::floor(x * kTwoOverPi + 0.5);
  const double r = ((x - k * kPio2a) - k * kPio2b) - k * kPio2c;
  *quadrant = int32_t(int64_t(k) & 3);
  return r;
}

// atan of 0 <= t <= tan(pi/8) (about 0.4142): the alternating series.
double AtanSeries(double t) {
  const double z = t * t;
  double p = 0.0;
  for (int n = 0; n < 30; n++) p = p * z + kAtanCoefficients[n];
  return t + t * z * p;
}

}  // namespace

void ExactSinCos(double x, double *sine, double *cosine) {
  if (!IsFiniteDouble(x)) {
    *sine = x - x;   // NaN
    *cosine = x - x;
    return;
  }
  int32_t quadrant;
  const double r = ReduceQuadrant(x, &quadrant);
  const double s = SinPoly(r);
  const double c = CosPoly(r);
  switch (quadrant) {
    case 0: *sine = s; *cosine = c; break;
    case 1: *sine = c; *cosine = -s; break;
    case 2: *sine = -s; *cosine = -c; break;
    default: *sine = -c; *cosine = s; break;
  }
}

double ExactSin(double x) {
  double s, c;
  ExactSinCos(x, &s, &c);
  return s;
}

double ExactCos(double x) {
  double s, c;
  ExactSinCos(x, &s, &c);
  return c;
}

double ExactLog(double x) {
  if (x != x) return x;
  if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0.0) return -HUGE_VAL;
  if (!IsFiniteDouble(x)) return x;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  int32_t exponent = int32_t((bits >> 52) & 0x7FF);
  int32_t k = 0;
  if (exponent == 0) {
    // Subnormal: scale into the normal range first.
    x *= 18014398509481984.0;   // 2^54
    std::memcpy(&bits, &x, sizeof bits);
    exponent = int32_t((bits >> 52) & 0x7FF);
    k = -54;
  }
  k += exponent - 1023;
  // The mantissa m in 1..2, then in sqrt(1/2)..sqrt(2).
  bits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
  double m;
  std::memcpy(&m, &bits, sizeof m);
  if (m > 1.4142135623730951) {
    m *= 0.5;
    k += 1;
  }
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double z = s * s;
  double p = kAtanhCoefficients[0];
  for (int n = 1; n <= 11; n++) p = p * z + kAtanhCoefficients[n];
  // log m = 2 atanh s = 2s + 2s z p.
  const double logM = 2.0 * s + 2.0 * s * z * p;
  const double kd = double(k);
  return kd * kLn2High + (logM + kd * kLn2Low);
}

namespace {

// The series of ExactLog, log m + k ln 2, for two reduced arguments in the lanes of packed
// doubles, which round every operation as the scalar ones do.
inline __m128d LogSeriesPair(__m128d m, __m128d k) {
  const __m128d f = _mm_sub_pd(m, _mm_set1_pd(1.0));
  const __m128d s = _mm_div_pd(f, _mm_add_pd(_mm_set1_pd(2.0), f));
  const __m128d z = _mm_mul_pd(s, s);
  __m128d p = _mm_set1_pd(kAtanhCoefficients[0]);
#pragma GCC unroll 11
  for (int j = 1; j <= 11; j++) p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(kAtanhCoefficients[j]));
  const __m128d twoS = _mm_mul_pd(_mm_set1_pd(2.0), s);
  const __m128d logM = _mm_add_pd(twoS, _mm_mul_pd(_mm_mul_pd(twoS, z), p));
  return _mm_add_pd(_mm_mul_pd(k, _mm_set1_pd(kLn2High)), _mm_add_pd(logM, _mm_mul_pd(k, _mm_set1_pd(kLn2Low))));
}

// ExactLog's reduction of two floats' mantissas m (1 to 2) and exponents k: above the square root
// of 2 the mantissa is halved and the exponent counts one more, both exactly.
inline void ReduceLogPair(__m128 m, __m128i k, __m128d *mOut, __m128d *kOut) {
  const __m128d md = _mm_cvtps_pd(m);
  const __m128d big = _mm_cmpgt_pd(md, _mm_set1_pd(1.4142135623730951));
  *mOut = _mm_or_pd(_mm_and_pd(big, _mm_mul_pd(md, _mm_set1_pd(0.5))), _mm_andnot_pd(big, md));
  *kOut = _mm_add_pd(_mm_cvtepi32_pd(k), _mm_and_pd(big, _mm_set1_pd(1.0)));
}

}  // namespace

// ExactLogF of floats four at a time. A normal positive float's double has the float's exponent
// and its mantissa widened with zeros, so the reduction is read from the float's bits in integer
// lanes; the series then runs two arguments in each of two registers, whose chains of a dozen
// dependent steps overlap. A group holding anything but normal positive finite floats (zero,
// subnormals, negatives, infinities, NaNs), and the last few arguments, take the scalar routine.
void ExactLogFMany(const float *x, float *out, int32_t count) {
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i *>(x + i));
    const __m128i normal = _mm_and_si128(_mm_cmpgt_epi32(bits, _mm_set1_epi32(0x007FFFFF)),
                                         _mm_cmplt_epi32(bits, _mm_set1_epi32(0x7F800000)));
    if (_mm_movemask_epi8(normal) != 0xFFFF) {
      for (int32_t j = 0; j < 4; j++) out[i + j] = ExactLogF(x[i + j]);
      continue;
    }
    const __m128i k = _mm_sub_epi32(_mm_srli_epi32(bits, 23), _mm_set1_epi32(127));
    const __m128 m = _mm_castsi128_ps(
        _mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)), _mm_set1_epi32(0x3F800000)));
    __m128d mLow, kLow, mHigh, kHigh;
    ReduceLogPair(m, k, &mLow, &kLow);
    ReduceLogPair(_mm_movehl_ps(m, m), _mm_shuffle_epi32(k, _MM_SHUFFLE(3, 2, 3, 2)), &mHigh, &kHigh);
    const __m128d low = LogSeriesPair(mLow, kLow), high = LogSeriesPair(mHigh, kHigh);
    _mm_storeu_ps(out + i, _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)));
  }
  for (; i < count; i++) out[i] = ExactLogF(x[i]);
}

double ExactAtan(double x) {
  if (x != x) return x;
  const bool negative = x < 0.0;
  double t = negative ? -x : x;
  double result;
  if (!IsFiniteDouble(t)) {
    result = kPio2;
  } else {
    bool inverted = false;
    if (t > 1.0) {
      t = 1.0 / t;
      inverted = true;
    }
    double a;
    if (t > 0.41421356237309503) {
      // atan t = pi/4 + atan((t - 1) / (t + 1)).
      const double u = (t - 1.0) / (t + 1.0);
      const double au = u < 0.0 ? -AtanSeries(-u) : AtanSeries(u);
      a = kPio4 + (au + kPio4Low);
    } else {
      a = AtanSeries(t);
    }
    result = inverted ? kPio2 - (a - kPio2Low) : a;
  }
  return negative ? -result : result;
}

double ExactAcos(double x) {
  if (x != x || x > 1.0 || x < -1.0) return std::numeric_limits<double>::quiet_NaN();
  if (x == -1.0) return kPi;
  // acos x = 2 atan(sqrt((1 - x) / (1 + x))).
  return 2.0 * ExactAtan(std::sqrt((1.0 - x) / (1.0 + x)));
}

void ExactRotationMatrix(const float axis[3], float angle, float m[16]) {
  double s, w;
  ExactSinCos(double(angle) / 2.0, &s, &w);
  const double x = s * double(axis[0]), y = s * double(axis[1]), z = s * double(axis[2]);
  const double d[12] = {1.0 - 2.0 * (y * y + z * z), 2.0 * x * y - 2.0 * z * w, 2.0 * x * z + 2.0 * y * w, 0.0,
                        2.0 * x * y + 2.0 * z * w, 1.0 - 2.0 * (x * x + z * z), 2.0 * y * z - 2.0 * x * w, 0.0,
                        2.0 * x * z - 2.0 * y * w, 2.0 * y * z + 2.0 * x * w, 1.0 - 2.0 * (x * x + y * y), 0.0};
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) m[4 * r + c] = float(d[4 * r + c]);
  }
  m[12] = 0.0f;
  m[13] = 0.0f;
  m[14] = 0.0f;
}

// ExactSinCos and the quaternion's products for two half angles in the lanes of packed doubles,
// every operation the scalar one in the scalar's order. The reduction's floor is the truncation
// made one smaller where it went up, exact while the quotient fits an int32: arguments beyond
// 1e6 (and NaN and the infinities), which the scalar routine folds first, take that routine.
void ExactRotationMatrixMany(const float axis[3], const float *angles, float *m, int32_t count) {
  const __m128d ax = _mm_set1_pd(double(axis[0])), ay = _mm_set1_pd(double(axis[1])), az = _mm_set1_pd(double(axis[2]));
  const __m128d one = _mm_set1_pd(1.0), two = _mm_set1_pd(2.0);
  const __m128d signBit = _mm_set1_pd(-0.0);
  int32_t k = 0;
  for (; k + 2 <= count; k += 2) {
    const __m128d x = _mm_div_pd(_mm_setr_pd(double(angles[k]), double(angles[k + 1])), two);
    const __m128d magnitude = _mm_andnot_pd(signBit, x);
    if (_mm_movemask_pd(_mm_cmple_pd(magnitude, _mm_set1_pd(1.0e6))) != 3) {
      ExactRotationMatrix(axis, angles[k], m + 16 * k);
      ExactRotationMatrix(axis, angles[k + 1], m + 16 * (k + 1));
      continue;
    }
    // ReduceQuadrant.
    const __m128d v = _mm_add_pd(_mm_mul_pd(x, _mm_set1_pd(kTwoOverPi)), _mm_set1_pd(0.5));
    const __m128i truncated = _mm_cvttpd_epi32(v);
    __m128d q = _mm_cvtepi32_pd(truncated);
    q = _mm_sub_pd(q, _mm_and_pd(_mm_cmpgt_pd(q, v), one));
    const __m128d r = _mm_sub_pd(_mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(q, _mm_set1_pd(kPio2a))),
                                            _mm_mul_pd(q, _mm_set1_pd(kPio2b))),
                                 _mm_mul_pd(q, _mm_set1_pd(kPio2c)));
    // The quadrant's bits, each widened to a whole lane of the doubles.
    const __m128i quadrant = _mm_shuffle_epi32(_mm_cvtpd_epi32(q), _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i bit0 = _mm_and_si128(quadrant, _mm_set1_epi32(1));
    const __m128i bit1 = _mm_and_si128(_mm_srli_epi32(quadrant, 1), _mm_set1_epi32(1));
    const __m128d swap = _mm_castsi128_pd(_mm_cmpeq_epi32(bit0, _mm_set1_epi32(1)));
    const __m128d negateSine = _mm_castsi128_pd(_mm_cmpeq_epi32(bit1, _mm_set1_epi32(1)));
    const __m128d negateCosine = _mm_castsi128_pd(_mm_cmpeq_epi32(_mm_xor_si128(bit0, bit1), _mm_set1_epi32(1)));
    // SinPoly and CosPoly.
    const __m128d z = _mm_mul_pd(r, r);
    // The loops are unrolled so that each coefficient is a constant operand, and the stores'
    // places are constants.
    __m128d ps = _mm_set1_pd(kSinCoefficients[0]);
#pragma GCC unroll 8
    for (int i = 1; i < 9; i++) ps = _mm_add_pd(_mm_mul_pd(ps, z), _mm_set1_pd(kSinCoefficients[i]));
    const __m128d sinR = _mm_add_pd(r, _mm_mul_pd(_mm_mul_pd(r, z), ps));
    __m128d pc = _mm_set1_pd(kCosCoefficients[0]);
#pragma GCC unroll 8
    for (int i = 1; i < 9; i++) pc = _mm_add_pd(_mm_mul_pd(pc, z), _mm_set1_pd(kCosCoefficients[i]));
    const __m128d cosR = _mm_add_pd(_mm_sub_pd(one, _mm_mul_pd(_mm_set1_pd(0.5), z)), _mm_mul_pd(_mm_mul_pd(z, z), pc));
    // The quadrant's swap and signs (a negation flips the sign bit, as the scalar minus does).
    __m128d s = _mm_or_pd(_mm_and_pd(swap, cosR), _mm_andnot_pd(swap, sinR));
    __m128d w = _mm_or_pd(_mm_and_pd(swap, sinR), _mm_andnot_pd(swap, cosR));
    s = _mm_xor_pd(s, _mm_and_pd(negateSine, signBit));
    w = _mm_xor_pd(w, _mm_and_pd(negateCosine, signBit));
    // ExactRotationMatrix's products.
    const __m128d qx = _mm_mul_pd(s, ax), qy = _mm_mul_pd(s, ay), qz = _mm_mul_pd(s, az);
    const __m128d xy = _mm_mul_pd(_mm_mul_pd(two, qx), qy);
    const __m128d xz = _mm_mul_pd(_mm_mul_pd(two, qx), qz);
    const __m128d yz = _mm_mul_pd(_mm_mul_pd(two, qy), qz);
    const __m128d xw = _mm_mul_pd(_mm_mul_pd(two, qx), w);
    const __m128d yw = _mm_mul_pd(_mm_mul_pd(two, qy), w);
    const __m128d zw = _mm_mul_pd(_mm_mul_pd(two, qz), w);
    const __m128d xx = _mm_mul_pd(qx, qx), yy = _mm_mul_pd(qy, qy), zz = _mm_mul_pd(qz, qz);
    const __m128d d[9] = {_mm_sub_pd(one, _mm_mul_pd(two, _mm_add_pd(yy, zz))), _mm_sub_pd(xy, zw), _mm_add_pd(xz, yw),
                          _mm_add_pd(xy, zw), _mm_sub_pd(one, _mm_mul_pd(two, _mm_add_pd(xx, zz))), _mm_sub_pd(yz, xw),
                          _mm_sub_pd(xz, yw), _mm_add_pd(yz, xw), _mm_sub_pd(one, _mm_mul_pd(two, _mm_add_pd(xx, yy)))};
    float *m0 = m + 16 * k, *m1 = m0 + 16;
#pragma GCC unroll 9
    for (int e = 0; e < 9; e++) {
      const __m128 f = _mm_cvtpd_ps(d[e]);
      const int at = 4 * (e / 3) + e % 3;
      m0[at] = _mm_cvtss_f32(f);
      m1[at] = _mm_cvtss_f32(_mm_shuffle_ps(f, f, _MM_SHUFFLE(1, 1, 1, 1)));
    }
    m0[12] = m0[13] = m0[14] = 0.0f;
    m1[12] = m1[13] = m1[14] = 0.0f;
  }
  if (k < count) ExactRotationMatrix(axis, angles[k], m + 16 * k);
}
