// Pixel comparison for tests: colours only, since the fourth byte of a
// 32-bit framebuffer pixel carries nothing.
#pragma once

#include <QImage>

inline bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if ((a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff))
                return false;
        }
    }
    return true;
}
