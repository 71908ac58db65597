#ifndef GRIDSCALER_H
#define GRIDSCALER_H

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

// Smooth scaling of a whole picture to a fixed size, computed one
// rectangle of the result at a time. Each target pixel is sampled on the
// whole picture's grid, so a rectangle comes out as the same pixels of the
// whole picture scaled at once, and no sample falls outside the picture.
//
// The filter is QImage::scaled's with Qt::SmoothTransformation, on its
// fixed-point grid: the mean over each target pixel's span when shrinking,
// linear interpolation between the two nearest pixels when enlarging. The
// arithmetic differs in rounding only (a level or two per channel).
class GridScaler
{
public:
    // Scaling from `source` to `target` pixels; cheap when both are unchanged.
    void setSizes(const QSize &source, const QSize &target);
    QSize sourceSize() const { return sourceExtent; }
    QSize targetSize() const { return targetExtent; }

    // The target pixels whose values depend on the source pixels in `area`.
    QRect targetsOf(const QRect &area) const;

    // Computes the pixels `area` of the result (clipped to the target size)
    // from `source`, a 32-bit RGB picture of the source size, into `out`,
    // whose buffer is reused while it is large enough. Returns the area
    // computed, which `out` holds from its top-left corner.
    QRect scale(const QImage &source, const QRect &area, QImage &out);

private:
    // One direction: target pixel i reads source pixels first[i] onwards,
    // weighted by weight[i * taps + k] (k < taps, zero past count[i]), in
    // units of 1 / 65536; the weights of a target pixel add up to one.
    struct Axis
    {
        int taps = 0;
        std::vector<int> first;
        std::vector<int> count;
        std::vector<uint16_t> weight;

        void build(int source, int target);
        // Target pixels [from, to) whose samples meet source pixels [begin, end).
        void targetsOf(int begin, int end, int *from, int *to) const;
        int lastRead(int i) const { return first[size_t(i)] + count[size_t(i)] - 1; }
    };

    void weighRows(const QImage &source, int y, int left, size_t span);
    void weighColumns(int from, int width, int left, uint32_t *target) const;

    QSize sourceExtent;
    QSize targetExtent;
    Axis columns;
    Axis rows;
    std::vector<uint16_t> columnLanes;      // each column weight once per channel
    std::vector<const uint8_t *> rowStarts; // the rows one target row reads
    // One target row between the passes: the source columns it needs, each
    // byte weighted down the rows, 8.8 fixed point (reused between calls).
    std::vector<uint16_t> weighed;
};

#endif
