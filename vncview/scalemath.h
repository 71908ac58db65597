#ifndef SCALEMATH_H
#define SCALEMATH_H

#include <cmath>

// The source pixel a scaled picture shows at target pixel `pixel`, when
// `scale` target pixels make one source pixel: the one whose span holds
// the target pixel's middle, as the scaler samples it. Floors, so that
// pixels left of the picture map left of it too.
inline int sourcePixel(double pixel, double scale)
{
    return int(std::floor((pixel + 0.5) / scale));
}

#endif
