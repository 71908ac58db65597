#include "gridscaler.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace
{
// The weights of one target pixel add up to this.
constexpr int whole = 1 << 14;

// Calls add(sourcePixel, weight) for each sample of target pixel i when
// `source` pixels become `target` ones. Positions are 16.16 fixed point,
// advanced by the same truncated step from pixel to pixel as QImage's
// smooth scaling does, so both land on the same grid.
template<typename Add>
void samples(int source, int target, int i, Add add)
{
    const qint64 step = (qint64(source) << 16) / target;
    if (target >= source) {
        // Enlarging: the target pixel's centre, between two source pixels.
        const qint64 centre = 0x8000 * qint64(source) / target - 0x8000 + step * i;
        if (centre < 0) {
            add(0, whole);
            return;
        }
        const int left = int(centre >> 16);
        const int fraction = left < source - 1 ? int((centre >> 8) & 0xff) : 0;
        add(left, (256 - fraction) << 6);
        add(left + 1, fraction << 6);
        return;
    }
    // Shrinking: the mean over the target pixel's span, where a source pixel
    // that lies wholly inside weighs `inside`.
    const int inside = int(((qint64(target) << 14) + source - 1) / source);
    const qint64 start = step * i;
    int pixel = int(start >> 16);
    const int head = int(((0x10000 - (start & 0xffff)) * inside) >> 16);
    add(pixel, head);
    int rest = whole - head;
    for (; rest > inside; rest -= inside)
        add(++pixel, inside);
    add(++pixel, rest);
}

#ifdef __SSE2__
// Four 16-bit lanes from `low` and four from `high`.
inline __m128i pair(const uint16_t *low, const uint16_t *high)
{
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(low)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i *>(high)));
}
#endif

// First index in [0, n) for which `past` holds (false then true).
template<typename Past>
int firstWhere(int n, Past past)
{
    int low = 0;
    while (low < n) {
        const int middle = low + (n - low) / 2;
        if (past(middle))
            n = middle;
        else
            low = middle + 1;
    }
    return low;
}
} // namespace

void GridScaler::Axis::build(int source, int target)
{
    first.assign(size_t(target), 0);
    count.assign(size_t(target), 0);
    std::vector<int> sums;
    // Samples are contiguous from the first one with a weight; one past the
    // last source pixel (a rounding remainder) counts for the last.
    taps = 1;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < target; ++i) {
            int n = 0;
            samples(source, target, i, [&](int pixel, int w) {
                if (w == 0)
                    return;
                pixel = std::min(pixel, source - 1);
                if (n == 0)
                    first[size_t(i)] = pixel;
                const int k = pixel - first[size_t(i)];
                if (pass == 1)
                    sums[size_t(i) * size_t(taps) + size_t(k)] += w;
                n = std::max(n, k + 1);
            });
            count[size_t(i)] = n;
            taps = std::max(taps, n);
        }
        if (pass == 0)
            sums.assign(size_t(target) * size_t(taps), 0);
    }
    // As 16-bit fractions of one; a lone whole sample stays just below it.
    weight.resize(sums.size());
    for (size_t n = 0; n < sums.size(); ++n)
        weight[n] = uint16_t(std::min(sums[n] << 2, 0xffff));
}

void GridScaler::Axis::targetsOf(int begin, int end, int *from, int *to) const
{
    const int n = int(first.size());
    *from = firstWhere(n, [&](int i) { return lastRead(i) >= begin; });
    *to = firstWhere(n, [&](int i) { return first[size_t(i)] >= end; });
}

void GridScaler::setSizes(const QSize &source, const QSize &target)
{
    if (source == sourceExtent && target == targetExtent)
        return;
    sourceExtent = source;
    targetExtent = target;
    if (source.isEmpty() || target.isEmpty()) {
        columns = Axis();
        rows = Axis();
        return;
    }
    columns.build(source.width(), target.width());
    rows.build(source.height(), target.height());
    rowStarts.resize(size_t(rows.taps));
    // Each column weight four times over, one for each channel of a pixel.
    columnLanes.resize(4 * columns.weight.size());
    for (size_t n = 0; n < columns.weight.size(); ++n)
        std::fill_n(columnLanes.begin() + long(4 * n), 4, columns.weight[n]);
}

QRect GridScaler::targetsOf(const QRect &area) const
{
    const QRect inside = area & QRect(QPoint(), sourceExtent);
    if (inside.isEmpty() || targetExtent.isEmpty())
        return QRect();
    int left, right, top, bottom;
    columns.targetsOf(inside.left(), inside.right() + 1, &left, &right);
    rows.targetsOf(inside.top(), inside.bottom() + 1, &top, &bottom);
    return QRect(left, top, right - left, bottom - top);
}

QRect GridScaler::scale(const QImage &source, const QRect &area, QImage &out)
{
    const QRect rect = area & QRect(QPoint(), targetExtent);
    if (rect.isEmpty() || source.size() != sourceExtent || source.depth() != 32)
        return QRect();
    if (out.width() < rect.width() || out.height() < rect.height() || out.format() != QImage::Format_RGB32)
        out = QImage(rect.size().expandedTo(out.size()), QImage::Format_RGB32);

    // The source columns this rectangle reads; the horizontal pass reads
    // `taps` pixels from each target pixel's first, zero past the span.
    const int left = columns.first[size_t(rect.left())];
    const size_t span = size_t(columns.lastRead(rect.right()) + 1 - left);
    const size_t padded = 4 * (span + size_t(columns.taps));
    if (weighed.size() < padded)
        weighed.resize(padded);
    std::fill(weighed.begin() + long(4 * span), weighed.begin() + long(padded), uint16_t(0));

    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        weighRows(source, y, left, span);
        weighColumns(rect.left(), rect.width(), left, reinterpret_cast<uint32_t *>(out.scanLine(y - rect.top())));
    }
    return rect;
}

// Both passes keep the high half of each product, a loss of up to a 256th
// of a level per sample; sums start at half the number of samples, which
// centres that loss, and saturate rather than wrap.

// Down the rows, byte by byte (all four channels alike): each source byte
// as 8.8 fixed point, times its row's weight.
void GridScaler::weighRows(const QImage &source, int y, int left, size_t span)
{
    const int taps = rows.count[size_t(y)];
    const int bias = taps / 2;
    const uint16_t *w = &rows.weight[size_t(y) * size_t(rows.taps)];
    const uint8_t **lines = rowStarts.data();
    for (int k = 0; k < taps; ++k)
        lines[k] = source.constScanLine(rows.first[size_t(y)] + k) + 4 * size_t(left);
    uint16_t *sum = weighed.data();
    const size_t bytes = 4 * span;
    size_t j = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i start = _mm_set1_epi16(short(bias));
    for (; j + 16 <= bytes; j += 16) {
        __m128i low = start;
        __m128i high = start;
        for (int k = 0; k < taps; ++k) {
            const __m128i bytes16 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lines[k] + j));
            const __m128i weight = _mm_set1_epi16(short(w[k]));
            low = _mm_adds_epu16(low, _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, bytes16), weight));
            high = _mm_adds_epu16(high, _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, bytes16), weight));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(sum + j), low);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(sum + j + 8), high);
    }
#endif
    for (; j < bytes; ++j) {
        uint32_t c = uint32_t(bias);
        for (int k = 0; k < taps; ++k)
            c += (uint32_t(lines[k][j] << 8) * w[k]) >> 16;
        sum[j] = uint16_t(std::min(c, 0xffffu));
    }
}

// Across the columns, the four channels of a pixel together; the 8.8
// result rounded to the nearest level.
void GridScaler::weighColumns(int from, int width, int left, uint32_t *target) const
{
    const uint16_t *sum = weighed.data();
    const size_t taps = size_t(columns.taps);
    const uint32_t bias = uint32_t(taps / 2);
#ifdef __SSE2__
    // Two target pixels at a time, one in each half of a register.
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i start = _mm_set1_epi16(short(bias));
    int i = 0;
    for (; i + 2 <= width; i += 2) {
        const size_t tx = size_t(from + i);
        const uint16_t *a = sum + 4 * size_t(columns.first[tx] - left);
        const uint16_t *b = sum + 4 * size_t(columns.first[tx + 1] - left);
        const uint16_t *w = &columnLanes[4 * tx * taps];
        const uint16_t *v = w + 4 * taps;
        __m128i c = start;
        for (size_t k = 0; k < taps; ++k) {
            const __m128i value = pair(a + 4 * k, b + 4 * k);
            c = _mm_adds_epu16(c, _mm_mulhi_epu16(value, pair(w + 4 * k, v + 4 * k)));
        }
        c = _mm_srli_epi16(_mm_adds_epu16(c, half), 8);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(target + i),
                         _mm_or_si128(_mm_packus_epi16(c, c), _mm_set1_epi32(int(0xff000000u))));
    }
    if (i < width) {
        const size_t tx = size_t(from + i);
        const uint16_t *a = sum + 4 * size_t(columns.first[tx] - left);
        const uint16_t *w = &columnLanes[4 * tx * taps];
        __m128i c = start;
        for (size_t k = 0; k < taps; ++k)
            c = _mm_adds_epu16(c, _mm_mulhi_epu16(pair(a + 4 * k, a + 4 * k), pair(w + 4 * k, w + 4 * k)));
        c = _mm_srli_epi16(_mm_adds_epu16(c, half), 8);
        target[i] = 0xff000000u | uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(c, c)));
    }
#else
    for (int i = 0; i < width; ++i) {
        const size_t tx = size_t(from + i);
        const uint16_t *a = sum + 4 * size_t(columns.first[tx] - left);
        const uint16_t *w = &columns.weight[tx * taps];
        uint32_t c[4] = {bias, bias, bias, bias};
        for (size_t k = 0; k < taps; ++k) {
            for (int n = 0; n < 4; ++n)
                c[n] += (uint32_t(a[4 * k + size_t(n)]) * w[k]) >> 16;
        }
        uint32_t pixel = 0xff000000u;
        for (int n = 0; n < 3; ++n)
            pixel |= ((std::min(c[n], 0xffffu) + 0x80) >> 8) << (8 * n);
        target[i] = pixel;
    }
#endif
}
