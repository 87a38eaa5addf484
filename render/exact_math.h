// exact_math.h -- the exact transcendental functions moved to the foundation (the resampling
// kernel table of the image store needs them too); this name keeps older includes working.
#ifndef KIVAGLOBE_RENDER_EXACT_MATH_H
#define KIVAGLOBE_RENDER_EXACT_MATH_H

#include "foundation/exact_math.h"

#endif  // KIVAGLOBE_RENDER_EXACT_MATH_H
