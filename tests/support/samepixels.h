// Pixel comparison for tests: colours only, since the fourth byte of a
// 32-bit framebuffer pixel carries nothing.
#pragma once

#include <QImage>
#include <QPoint>

#include <algorithm>
#include <cstdlib>

// The largest difference of one colour channel between two pictures of the
// same size, and where it is; 256 when the sizes differ or both are null.
inline int channelDifference(const QImage &a, const QImage &b, QPoint *where = nullptr)
{
    if (a.size() != b.size() || a.isNull())
        return 256;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
            if (d > largest) {
                largest = d;
                if (where)
                    *where = QPoint(x, y);
            }
        }
    }
    return largest;
}

// No colour channel differs by more than `levels`.
inline bool closePixels(const QImage &a, const QImage &b, int levels)
{
    return channelDifference(a, b) <= levels;
}

inline bool samePixels(const QImage &a, const QImage &b)
{
    return closePixels(a, b, 0);
}
