// coverage.cpp -- marching-squares coverage of one cell.
//
// With every corner taken relative to the threshold (value minus threshold, so "above" means
// positive), the boundary crosses an edge whose corners have opposite signs where the linear
// interpolation between them is 0. EdgeAbove gives the length of the part of such an edge that
// lies above, measured from its upper corner: for corners p > 0 >= q that is p / (p - q). The
// formula is symmetric in its arguments, so callers need not care which corner is which.
//
// The covered area is then built from two shapes:
//
//   T(x; y, z)  the triangle at an upper corner x, with legs along its edges to y and z:
//               EdgeAbove(x, y) x EdgeAbove(x, z) / 2
//   S(x; y, z)  the same triangle at a lower corner x, measured as the part below:
//               (1 - EdgeAbove(x, y)) x (1 - EdgeAbove(x, z)) / 2
//
// one upper corner is a T, three upper corners are 1 - S at the lower one, two adjacent upper
// corners a trapezoid (the mean of the two crossing lengths on the other edges), and two
// opposite upper corners (a saddle) two separate T's: the cell's centre is never tested, so
// diagonal features do not join through a cell.
#include "render/coverage.h"

namespace {

// Length of the upper part of the edge between p and q (both relative to the threshold).
inline float EdgeAbove(float p, float q) {
  if (p > q) return p / (p - q);
  if (q > p) return q / (q - p);
  return 0.0f;
}

inline float UpperTriangle(float x, float y, float z) { return EdgeAbove(x, y) * EdgeAbove(x, z) / 2.0f; }

inline float LowerTriangle(float x, float y, float z) {
  return (1.0f - EdgeAbove(x, y)) * (1.0f - EdgeAbove(x, z)) / 2.0f;
}

// A missing corner of the first row stands in for d + 0.00001 (added in double precision).
inline float FillMissing(float corner, float d) {
  return corner == kMissingCorner ? float(double(d) + 0.00001) : corner;
}

}  // namespace

float CellCoverage(float a, float b, float c, float d, float threshold, int32_t *caseCode) {
  a = FillMissing(a, d);
  b = FillMissing(b, d);
  c = FillMissing(c, d);

  const int32_t code = (a > threshold ? 1 : 0) + (b > threshold ? 2 : 0) + (c > threshold ? 4 : 0) +
                       (d > threshold ? 8 : 0);
  if (caseCode != nullptr) *caseCode = code;
  a -= threshold;
  b -= threshold;
  c -= threshold;
  d -= threshold;

  // Neighbours: a (b, c), b (a, d), c (a, d), d (b, c).
  float covered = 0.0f;
  switch (code) {
    case 0: covered = 0.0f; break;
    case 15: covered = 1.0f; break;
    case 1: covered = UpperTriangle(a, b, c); break;
    case 2: covered = UpperTriangle(b, a, d); break;
    case 4: covered = UpperTriangle(c, a, d); break;
    case 8: covered = UpperTriangle(d, b, c); break;
    case 3:   // a and b: the boundary runs from edge a-c to edge b-d
    case 12:  // c and d
      covered = (EdgeAbove(a, c) + EdgeAbove(b, d)) / 2.0f;
      break;
    case 5:   // a and c: from edge a-b to edge c-d
    case 10:  // b and d
      covered = (EdgeAbove(a, b) + EdgeAbove(c, d)) / 2.0f;
      break;
    case 6: covered = UpperTriangle(b, a, d) + UpperTriangle(c, a, d); break;
    case 9: covered = UpperTriangle(a, b, c) + UpperTriangle(d, b, c); break;
    case 7: covered = 1.0f - LowerTriangle(d, b, c); break;
    case 11: covered = 1.0f - LowerTriangle(c, a, d); break;
    case 13: covered = 1.0f - LowerTriangle(b, a, d); break;
    case 14: covered = 1.0f - LowerTriangle(a, b, c); break;
    default: break;
  }

  // The case formulas stay within 0..1 for finite corners; infinities can give NaN.
  return ClampCoverage(covered);
}

float CellCoverageFraction(float a, float b, float c, float d, float threshold) {
  return CellCoverage(a, b, c, d, threshold, nullptr);
}
