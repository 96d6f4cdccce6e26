// Gradient fills as cairo patterns in shape twips.
#pragma once

#include <cairo.h>

#include "platform/flash/Shape.h"

namespace flash {

// A new pattern for a gradient fill with the colour transform applied, or
// null when the fill has no stops or its matrix cannot be inverted.
cairo_pattern_t* MakeGradientPattern(const TFillStyle& fill, const TColorTransform& cx);

}  // namespace flash
