#include "wheelaccumulator.h"

#include <algorithm>

namespace
{
// Adds 'delta' to 'rest' and takes whole steps out: the clicks of
// 'positive' (delta > 0) or 'negative'.
void accumulate(int &rest, int delta, int positive, int negative, QList<int> &clicks)
{
    if (delta == 0)
        return;
    if ((rest > 0 && delta < 0) || (rest < 0 && delta > 0))
        rest = 0;
    // A flick of a fast wheel is many clicks, but not without end.
    const int most = 20 * WheelAccumulator::step;
    rest = std::clamp(rest + std::clamp(delta, -most, most), -most, most);
    while (rest >= WheelAccumulator::step) {
        clicks.append(positive);
        rest -= WheelAccumulator::step;
    }
    while (rest <= -WheelAccumulator::step) {
        clicks.append(negative);
        rest += WheelAccumulator::step;
    }
}
} // namespace

QList<int> WheelAccumulator::add(QPoint angleDelta)
{
    QList<int> clicks;
    // Qt's delta is positive away from the user and to the left.
    accumulate(rest.ry(), angleDelta.y(), 4, 5, clicks);
    accumulate(rest.rx(), angleDelta.x(), 6, 7, clicks);
    return clicks;
}
