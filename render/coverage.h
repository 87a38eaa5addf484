// coverage.h -- how much of a pixel lies above a threshold, for anti-aliased boundaries.
//
// Coastlines, sea-ice edges and the like are smoothed by treating each pixel as the unit square
// between four sample values at its corners and measuring the part of the square where the
// value, interpolated linearly along the edges, lies above the threshold. It is the area
// estimate of marching squares over the 16 corner cases:
//
//     a (0,0) ----- b (1,0)        case code = 1 (a above) + 2 (b above)
//       |             |                      + 4 (c above) + 8 (d above)
//       |             |
//     c (0,1) ----- d (1,1)        "above" means strictly greater than the threshold
//
// Where a boundary crosses an edge, the crossing is placed by linear interpolation between the
// edge's two corners; the covered region is then a corner triangle, a trapezoid, a square minus a
// corner triangle, or (for the two saddle cases) two separate corner triangles, never a band
// joining opposite corners.
//
// The shader keeps the previous row's values in its row buffer; on the first row of a render
// they do not exist and carry the mark kMissingCorner (-2.0). Each of a, b and c that equals the
// mark exactly stands in for d + 0.00001; d itself is always a real value.
#ifndef KIVAGLOBE_RENDER_COVERAGE_H
#define KIVAGLOBE_RENDER_COVERAGE_H

#include <cstdint>

// The mark of a corner that has no value yet (the row above the first row).
constexpr float kMissingCorner = -2.0f;

// The last step of every coverage: a NaN fraction, or one below 0, is 0; one above 1 is 1 (a
// full cell must never read as empty).
inline float ClampCoverage(float fraction) {
  if (!(fraction >= 0.0f)) return 0.0f;
  return fraction > 1.0f ? 1.0f : fraction;
}

// The fraction 0..1 of the cell above `threshold`; *caseCode receives the case 0..15 (may be
// null). The result goes through ClampCoverage.
float CellCoverage(float a, float b, float c, float d, float threshold, int32_t *caseCode);

// The same without the case code.
float CellCoverageFraction(float a, float b, float c, float d, float threshold);

// CellCoverageFraction with its two commonest answers first, inline: a cell wholly above the
// threshold (open land, open ice) covers 1, and one wholly at or below it with no missing corner
// covers 0, as the general form finds. A missing corner above the threshold may take the quick
// answer (its stand-in d + 0.00001 is then above too); one at or below may not (its stand-in can
// rise above when d lies just under the threshold). Any other cell, a NaN corner included, goes
// to the general form.
inline float CellCoverageQuick(float a, float b, float c, float d, float threshold) {
  if (a > threshold && b > threshold && c > threshold && d > threshold) return 1.0f;
  if (a <= threshold && b <= threshold && c <= threshold && d <= threshold && a != kMissingCorner &&
      b != kMissingCorner && c != kMissingCorner) {
    return 0.0f;
  }
  return CellCoverageFraction(a, b, c, d, threshold);
}

#endif  // KIVAGLOBE_RENDER_COVERAGE_H
