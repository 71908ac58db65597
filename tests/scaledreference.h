// The whole remote screen scaled at once, as a scaled view must show it.
#pragma once

#include "gridscaler.h"
#include "handover.h"

#include <QImage>

// QImage's smooth scaling. Qt splits a large picture across its thread
// pool, whose hand-overs the race detector cannot see (Debian's Qt is not
// built for it); under the detector the same filter runs at once through
// GridScaler, which gridscaler_test holds within two levels of QImage's.
inline QImage scaledAtOnce(const QImage &picture, const QSize &size)
{
#ifdef VEMO_TSAN
    GridScaler scaler;
    scaler.setSizes(picture.size(), size);
    QImage out;
    const QRect done = scaler.scale(picture.convertToFormat(QImage::Format_RGB32), QRect(QPoint(), size), out);
    return out.copy(QRect(QPoint(), done.size()));
#else
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
#endif
}
