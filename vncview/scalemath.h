#ifndef SCALEMATH_H
#define SCALEMATH_H

#include <cmath>

// Rounds a single-precision value to the nearest integer, halves upward:
// floor(v + 0.5), the addition in double precision. Qt 6's qRound rounds
// negative halves away from zero (-0.5 to -1), which would shift pointer
// positions left of the view by one pixel.
inline int roundHalfUp(float v)
{
    return int(std::floor(double(v) + 0.5));
}

#endif
