// shade_air_lanes.cpp -- the air and the output (stages 10 and 11) of many pixels, four at a
// time.
//
// Each SSE2 lane shades one pixel with exactly the operations of ShadeAir, in its order, so the
// bits are the same: packed add, multiply, divide and square root round like the scalar ones,
// and nothing here is fused or reassociated. Every branch of the scalar form becomes a mask:
// both sides are computed and the lane takes the side its own test chose. A lane the scalar
// form would leave alone (off the shell, or no light direction) is computed too and then not
// written back, so a pixel sees either the scalar form's full effect or none.
//
// The pixels' inputs are gathered from their records into lanes and the results scattered back;
// the arithmetic between costs a quarter of the scalar form's.
#include <emmintrin.h>

#include "foundation/colour.h"
#include "foundation/fast_math.h"
#include "render/lanes_sse2.h"
#include "render/shade_internal.h"

namespace {

// int32 acc + x, through float, truncated: TruncateFloatToInt32(float(acc) + x).
inline __m128i AddToAcc4(__m128i acc, __m128 x) { return TruncateLanes(_mm_add_ps(_mm_cvtepi32_ps(acc), x)); }

// AirLambda: 1 on the lit side (e > 0), 1 - frontLight beyond the limb (e < limbCos), the ramp
// between; a NaN e takes the ramp, as the scalar tests fall through to it.
inline __m128 AirLambda4(__m128 e, __m128 frontLight, __m128 limbCos) {
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 ramp = _mm_sub_ps(one, _mm_div_ps(_mm_mul_ps(e, frontLight), limbCos));
  const __m128 beyond = _mm_sub_ps(one, frontLight);
  const __m128 inner = SelectLanes(_mm_cmplt_ps(e, limbCos), beyond, ramp);
  return SelectLanes(_mm_cmpgt_ps(e, _mm_setzero_ps()), one, inner);
}

// (3 - 2 l) l l
inline __m128 Smooth4(__m128 l) {
  return _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_set1_ps(2.0f), l)), l), l);
}

inline __m128 Fourth4(__m128 v) { return _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(v, v), v), v); }

// One float field of four pixels, as lanes.
#define KV_LANES(field) _mm_setr_ps(p0->field, p1->field, p2->field, p3->field)

struct AirLanes {
  __m128i acc[3];     // in: the disc's channels; out: the air's, in the lanes of `write`
  __m128 airAlpha;    // in: the coverage; out: the air's alpha, in the lanes of `write`
  __m128 depthTerm;   // globe: tau, for the record's slot
  int32_t write;      // lanes to write back (bit k: lane k)
  int32_t slotWrite;  // lanes whose record slot takes tau
};

// Stage 10 of four pixels (p3 may repeat p2 and so on for a short group), their channels and
// alpha in `out` on entry.
void ShadeAir4(const ShadeRow *row, const ShadePixel *p0, const ShadePixel *p1, const ShadePixel *p2,
               const ShadePixel *p3, AirLanes *out) {
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 zero = _mm_setzero_ps();
  out->write = 0;
  out->slotWrite = 0;
  __m128 q0, q1, zs, rho2 = zero;
  __m128 active = _mm_castsi128_ps(_mm_set1_epi32(-1));
  if (row->isMap) {
    q0 = KV_LANES(n[0]);
    q1 = KV_LANES(n[1]);
    zs = KV_LANES(n[2]);
  } else {
    const __m128 offsetX = _mm_setr_ps(p0->slot[kSlotOffsetX], p1->slot[kSlotOffsetX], p2->slot[kSlotOffsetX],
                                       p3->slot[kSlotOffsetX]);
    q0 = _mm_div_ps(offsetX, _mm_set1_ps(row->shellRadius));
    q1 = _mm_set1_ps(row->airRowY);
    rho2 = _mm_add_ps(_mm_mul_ps(q0, q0), _mm_set1_ps(row->airRowY2));
    zs = _mm_sub_ps(one, rho2);
    active = _mm_cmpge_ps(zs, zero);
    // The corners beyond the shell are most of what lies off the disc: nothing to do there.
    if (_mm_movemask_ps(active) == 0) return;
    zs = _mm_sqrt_ps(zs);
  }
  const __m128 a = _mm_set1_ps(row->airShell);
  const __m128 frontLight = _mm_set1_ps(row->frontLight);
  const __m128 limbCos = _mm_set1_ps(row->limbCos);
  const __m128 sunset = _mm_set1_ps(row->sunsetAmount);
  const __m128 L0 = KV_LANES(light[0]), L1 = KV_LANES(light[1]), L2 = KV_LANES(light[2]);

  const __m128 across = _mm_add_ps(_mm_mul_ps(q0, L0), _mm_mul_ps(q1, L1));
  const __m128 e = _mm_add_ps(across, _mm_mul_ps(zs, L2));
  const __m128 sigma = Smooth4(AirLambda4(e, frontLight, limbCos));
  const __m128 t1 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(sigma, one), sunset), one);
  const __m128 frontTint[3] = {one, t1, _mm_mul_ps(t1, t1)};
  const __m128 eBack = _mm_sub_ps(across, _mm_mul_ps(zs, L2));
  const __m128 sigmaBack = Smooth4(AirLambda4(eBack, frontLight, limbCos));
  const __m128 t2 =
      _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_mul_ps(_mm_set1_ps(row->backDim), sigmaBack), one), sunset), one);
  const __m128 backTint[3] = {one, t2, _mm_mul_ps(t2, t2)};
  const __m128 sigma4 = Fourth4(sigma);

  if (row->isMap) {
    const __m128 alpha = _mm_sqrt_ps(_mm_mul_ps(sigma4, a));
    for (int k = 0; k < 3; k++) {
      const __m128i acc = row->mode == 8 ? _mm_setzero_si128() : out->acc[k];
      const __m128 light = _mm_set1_ps(row->airLight[k]);
      out->acc[k] = AddToAcc4(acc, _mm_mul_ps(_mm_mul_ps(light, frontTint[k]), alpha));
    }
    out->airAlpha = zero;
    out->write = 15;
    return;
  }

  // The globe.
  const __m128 n0 = KV_LANES(n[0]), n1 = KV_LANES(n[1]), depth = KV_LANES(depth);
  const __m128 ll = _mm_add_ps(_mm_add_ps(_mm_mul_ps(L0, L0), _mm_mul_ps(L1, L1)), _mm_mul_ps(L2, L2));
  active = _mm_andnot_ps(_mm_cmpeq_ps(ll, zero), active);
  const __m128 nl = _mm_add_ps(_mm_add_ps(_mm_mul_ps(n0, L0), _mm_mul_ps(n1, L1)), _mm_mul_ps(depth, L2));
  const __m128 tau = _mm_div_ps(nl, ll);
  out->depthTerm = tau;
  const __m128 cx = _mm_sub_ps(n0, _mm_mul_ps(tau, L0));
  const __m128 cy = _mm_sub_ps(n1, _mm_mul_ps(tau, L1));
  const __m128 tz = _mm_mul_ps(tau, L2);
  const __m128 bq = _mm_mul_ps(_mm_set1_ps(-2.0f), tz);
  const __m128 cq =
      _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, cx), _mm_mul_ps(cy, cy)), _mm_mul_ps(tz, tz)), one);
  const __m128 disc = _mm_sub_ps(_mm_mul_ps(bq, bq), _mm_mul_ps(_mm_set1_ps(4.0f), cq));
  const __m128 meets = _mm_cmpge_ps(disc, zero);
  const __m128 root = _mm_sqrt_ps(disc);
  const __m128 minusBq = _mm_xor_ps(bq, _mm_set1_ps(-0.0f));
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 s1 = _mm_and_ps(meets, _mm_mul_ps(_mm_sub_ps(minusBq, root), half));
  const __m128 s2 = _mm_and_ps(meets, _mm_mul_ps(_mm_add_ps(minusBq, root), half));

  __m128 g = _mm_sub_ps(one, _mm_div_ps(_mm_sub_ps(_mm_sqrt_ps(rho2), _mm_set1_ps(row->airInnerRim)), a));
  g = SelectLanes(_mm_cmpgt_ps(g, one), one, g);
  const __m128 mu = Fourth4(g);

  const __m128 f = _mm_mul_ps(zs, _mm_add_ps(one, a));
  const __m128 behind =
      _mm_cmplt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(n1, L1), _mm_mul_ps(n0, L0)), _mm_mul_ps(s2, L2)), zero);
  const __m128 raise = _mm_and_ps(behind, _mm_and_ps(_mm_cmpgt_ps(s2, zero), _mm_cmpgt_ps(s2, depth)));
  const __m128 zp = SelectLanes(raise, s2, depth);
  const __m128 fs1 = _mm_add_ps(f, s1);
  __m128 cut = SelectLanes(_mm_cmpgt_ps(fs1, zero), fs1, zero);
  cut = SelectLanes(_mm_cmpneq_ps(f, zero), _mm_div_ps(_mm_mul_ps(cut, cut), f), cut);
  const __m128 beta = SelectLanes(_mm_and_ps(behind, _mm_cmplt_ps(s1, zero)), cut, f);
  const __m128 fz = _mm_sub_ps(f, zp);
  __m128 front = SelectLanes(_mm_cmpgt_ps(fz, zero), fz, zero);
  const __m128 fd = _mm_sub_ps(f, depth);
  front = SelectLanes(_mm_cmpneq_ps(fd, zero), _mm_div_ps(_mm_mul_ps(front, front), fd), front);

  const __m128 cover = KV_LANES(cover);
  const __m128 open = _mm_sub_ps(one, cover);
  __m128 frontAmount = _mm_mul_ps(_mm_mul_ps(sigma4, mu), front);
  __m128 backAmount = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(beta, mu), open), Fourth4(sigmaBack)),
                                 _mm_set1_ps(row->haloGain));
  const __m128 total = _mm_add_ps(frontAmount, backAmount);
  const __m128 some = _mm_cmpneq_ps(total, zero);
  const __m128 totalRoot = _mm_sqrt_ps(total);
  frontAmount = SelectLanes(some, _mm_div_ps(frontAmount, totalRoot), frontAmount);
  backAmount = SelectLanes(some, _mm_div_ps(backAmount, totalRoot), backAmount);
  backAmount = _mm_andnot_ps(_mm_set1_ps(-0.0f), backAmount);
  const __m128 j = _mm_mul_ps(open, _mm_set1_ps(0.75f));
  const __m128 weight = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.25f), j), _mm_set1_ps(1.3f));
  const __m128 af = _mm_mul_ps(frontAmount, weight);
  const __m128 ab = _mm_mul_ps(backAmount, weight);

  if (row->mode == 2 && row->transparentLayer) {
    __m128 air[3];
    for (int k = 0; k < 3; k++) {
      air[k] = _mm_mul_ps(_mm_set1_ps(row->airLight[k]),
                          _mm_add_ps(_mm_mul_ps(af, frontTint[k]), _mm_mul_ps(ab, backTint[k])));
    }
    const __m128 luma = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.3f), air[0]), _mm_mul_ps(_mm_set1_ps(0.59f), air[1])),
                                   _mm_mul_ps(_mm_set1_ps(0.11f), air[2]));
    __m128 alpha = _mm_div_ps(_mm_mul_ps(_mm_mul_ps(luma, _mm_set1_ps(0.03f)), _mm_set1_ps(0.2f)),
                              _mm_set1_ps(row->glintScale));
    // ClampF(v, 0, 1): below 0 is 0, else above 1 is 1, else v (NaN included).
    alpha = SelectLanes(_mm_cmplt_ps(alpha, zero), zero, SelectLanes(_mm_cmpgt_ps(alpha, one), one, alpha));
    const __m128 alpha2 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(one, alpha), cover), alpha);
    const __m128 divide = _mm_cmpneq_ps(alpha2, zero);
    for (int k = 0; k < 3; k++) {
      air[k] = SelectLanes(divide, _mm_div_ps(air[k], alpha2), air[k]);
      out->acc[k] = AddToAcc4(out->acc[k], air[k]);
    }
    out->airAlpha = alpha2;
  } else {
    for (int k = 0; k < 3; k++) {
      const __m128 light = _mm_set1_ps(row->airLight[k]);
      const __m128i lit = AddToAcc4(out->acc[k], _mm_mul_ps(_mm_mul_ps(light, af), frontTint[k]));
      out->acc[k] = AddToAcc4(lit, _mm_mul_ps(_mm_mul_ps(light, ab), backTint[k]));
    }
    out->airAlpha = zero;
  }
  out->write = _mm_movemask_ps(active);
  out->slotWrite = out->write;
}

#undef KV_LANES

}  // namespace

namespace {

// The output modes in which ShadeOutputChannels leaves the channels as the stages made them and
// only rolls off the highlights.
bool RollOffOnly(const ShadeRow *row) {
  switch (row->mode) {
    case 6: case 7: case 9: case 10: case 11: case 14: return false;
    case 8: return row->airOn;
    default: return true;
  }
}

// One channel of four pixels, scaled in and clamped below at 0; `over` gains the lanes above 1.
inline __m128 ScaledIn4(__m128i acc, __m128 in, int32_t *over) {
  __m128 c = _mm_mul_ps(_mm_cvtepi32_ps(acc), in);
  c = _mm_andnot_ps(_mm_cmplt_ps(c, _mm_setzero_ps()), c);
  *over |= _mm_movemask_ps(_mm_cmpgt_ps(c, _mm_set1_ps(1.0f)));
  return c;
}

// RollOffHighlightsScaled of four pixels' channels acc[0..2], a channel per register and a pixel
// per lane, stored to out[k][0..3]. The common colour, no channel above white once scaled in,
// needs only the scale out and the truncation, which the lanes do with the scalar form's
// operations; a pixel with a channel above white goes through RollOffHighlightsScaled itself.
void RollOffFour(const ShadeRow *row, const __m128i acc[3], int32_t *out0, int32_t *out1, int32_t *out2) {
  const __m128 in = _mm_set1_ps(row->channelMaxInverse);
  const __m128 outScale = _mm_set1_ps(row->channelMaxF);
  int32_t over = 0;
  const __m128 c0 = ScaledIn4(acc[0], in, &over);
  const __m128 c1 = ScaledIn4(acc[1], in, &over);
  const __m128 c2 = ScaledIn4(acc[2], in, &over);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out0), TruncateLanes(_mm_mul_ps(c0, outScale)));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out1), TruncateLanes(_mm_mul_ps(c1, outScale)));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out2), TruncateLanes(_mm_mul_ps(c2, outScale)));
  if (over == 0) return;
  alignas(16) int32_t v[3][4];
  for (int k = 0; k < 3; k++) _mm_store_si128(reinterpret_cast<__m128i *>(v[k]), acc[k]);
  for (int32_t j = 0; over != 0; j++, over >>= 1) {
    if ((over & 1) == 0) continue;
    RollOffHighlightsScaled(&v[0][j], &v[1][j], &v[2][j], row->channelMaxF, row->channelMaxInverse);
    out0[j] = v[0][j];
    out1[j] = v[1][j];
    out2[j] = v[2][j];
  }
}

}  // namespace

void ShadeDiscAirOutputMany(ShadeRow *row, ShadePixel *pixels, int32_t count) {
  if (count <= 0) return;
  // Four spare columns: the last group of four stores whole registers.
  alignas(16) int32_t channels[3][kRowBatchColumns + 4];
  alignas(16) CompositeWeights weights[kRowBatchColumns + 4];
  const int32_t *const acc[3] = {channels[0], channels[1], channels[2]};
  const bool rollOffOnly = RollOffOnly(row);
  for (int32_t first = 0; first < count; first += kRowBatchColumns) {
    const int32_t n = count - first < kRowBatchColumns ? count - first : kRowBatchColumns;
    for (int32_t i = 0; i < n; i += 4) {
      ShadePixel *p[4];
      const int32_t live = n - i < 4 ? n - i : 4;
      // A short group repeats its last pixel in the lanes left over, and writes back only the
      // real ones; the spare lanes' outputs land in the spare columns.
      for (int32_t k = 0; k < 4; k++) p[k] = &pixels[first + i + (k < live ? k : live - 1)];

      // Stage 9: the colour joins the channels where DiscAddsColour says, then all are scaled
      // by the coverage. The air's alpha starts at the coverage, so that a planet without air
      // still covers a transparent layer.
      const __m128 cover = _mm_setr_ps(p[0]->cover, p[1]->cover, p[2]->cover, p[3]->cover);
      const __m128 adds = _mm_castsi128_ps(_mm_setr_epi32(-int32_t(DiscAddsColour(row, p[0])), -int32_t(DiscAddsColour(row, p[1])),
                                                          -int32_t(DiscAddsColour(row, p[2])), -int32_t(DiscAddsColour(row, p[3]))));
      const bool anyAdds = _mm_movemask_ps(adds) != 0;
      AirLanes lanes;
      for (int k = 0; k < 3; k++) {
        __m128 c = _mm_cvtepi32_ps(_mm_setr_epi32(p[0]->acc[k], p[1]->acc[k], p[2]->acc[k], p[3]->acc[k]));
        if (anyAdds) {
          const __m128 colour = _mm_setr_ps(p[0]->colour[k], p[1]->colour[k], p[2]->colour[k], p[3]->colour[k]);
          c = SelectLanes(adds, _mm_cvtepi32_ps(TruncateLanes(_mm_add_ps(c, colour))), c);
        }
        lanes.acc[k] = TruncateLanes(_mm_mul_ps(c, cover));
      }
      lanes.airAlpha = cover;

      // Stage 10.
      if (row->airOn) {
        const AirLanes disc = lanes;
        ShadeAir4(row, p[0], p[1], p[2], p[3], &lanes);
        alignas(16) static const int32_t kLaneBits[16][4] = {
            {0, 0, 0, 0},   {-1, 0, 0, 0},   {0, -1, 0, 0},   {-1, -1, 0, 0},   {0, 0, -1, 0},   {-1, 0, -1, 0},
            {0, -1, -1, 0}, {-1, -1, -1, 0}, {0, 0, 0, -1},   {-1, 0, 0, -1},   {0, -1, 0, -1},  {-1, -1, 0, -1},
            {0, 0, -1, -1}, {-1, 0, -1, -1}, {0, -1, -1, -1}, {-1, -1, -1, -1}};
        const __m128i write = _mm_load_si128(reinterpret_cast<const __m128i *>(kLaneBits[lanes.write]));
        for (int k = 0; k < 3; k++) {
          lanes.acc[k] = _mm_or_si128(_mm_and_si128(write, lanes.acc[k]), _mm_andnot_si128(write, disc.acc[k]));
        }
        lanes.airAlpha = SelectLanes(_mm_castsi128_ps(write), lanes.airAlpha, disc.airAlpha);
        if (lanes.slotWrite != 0) {
          alignas(16) float depthTerm[4];
          _mm_store_ps(depthTerm, lanes.depthTerm);
          for (int32_t k = 0; k < live; k++) {
            if ((lanes.slotWrite >> k & 1) != 0) p[k]->slot[kSlotDepthTerm] = depthTerm[k];
          }
        }
      }

      if (gOutputTap != nullptr) {
        for (int32_t j = 0; j < live; j++) TapOutput(row, p[j]);
      }

      // Stage 11 up to the composite.
      _mm_storeu_ps(&weights[i].opacity, _mm_unpacklo_ps(lanes.airAlpha, cover));
      _mm_storeu_ps(&weights[i + 2].opacity, _mm_unpackhi_ps(lanes.airAlpha, cover));
      if (rollOffOnly) {
        RollOffFour(row, lanes.acc, channels[0] + i, channels[1] + i, channels[2] + i);
      } else {
        alignas(16) int32_t laneAcc[3][4];
        alignas(16) float airAlpha[4];
        for (int k = 0; k < 3; k++) _mm_store_si128(reinterpret_cast<__m128i *>(laneAcc[k]), lanes.acc[k]);
        _mm_store_ps(airAlpha, lanes.airAlpha);
        for (int32_t j = 0; j < live; j++) {
          for (int k = 0; k < 3; k++) p[j]->acc[k] = laneAcc[k][j];
          p[j]->airAlpha = airAlpha[j];
          ShadeOutputChannels(row, p[j]);
          for (int k = 0; k < 3; k++) channels[k][i + j] = p[j]->acc[k];
        }
      }
    }
    CompositeRunTo(&row->composite, pixels[first].column, row->row, n, acc, weights, row->channelMaxF);
  }
}
