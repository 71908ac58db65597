// Piecewise smooth scaling: any rectangle of the result equals the same
// pixels of the whole picture scaled at once, which is QImage's smooth
// scaling within a level or two.
#include "gridscaler.h"
#include "samepixels.h"

#include <QRandomGenerator>
#include <QTest>

namespace
{
QImage noise(const QSize &size, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffff);
    }
    return image;
}

QImage scaledPart(GridScaler &scaler, const QImage &source, const QRect &area)
{
    QImage out;
    const QRect done = scaler.scale(source, area, out);
    return out.copy(QRect(QPoint(), done.size()));
}

// Rectangles at every edge and corner, and some anywhere.
QList<QRect> testAreas(const QSize &size, QRandomGenerator &random)
{
    const int w = size.width();
    const int h = size.height();
    QList<QRect> areas{QRect(0, 0, w, 1), QRect(0, h - 1, w, 1), QRect(0, 0, 1, h), QRect(w - 1, 0, 1, h),
                       QRect(0, 0, 2, 2), QRect(w - 2, h - 2, 2, 2), QRect(w / 3, h / 3, 1, 1)};
    for (int i = 0; i < 30; ++i) {
        const int x = random.bounded(w);
        const int y = random.bounded(h);
        areas << QRect(x, y, 1 + random.bounded(w - x), 1 + random.bounded(h - y));
    }
    for (QRect &area : areas)
        area &= QRect(QPoint(), size);
    return areas;
}
} // namespace

class GridScalerTest : public QObject
{
    Q_OBJECT

private slots:
    void partsEqualTheWhole_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::newRow("1000x750 into 640x480") << QSize(1000, 750) << QSize(640, 480);
        QTest::newRow("1920x1080 into 1280x720") << QSize(1920, 1080) << QSize(1280, 720);
        QTest::newRow("odd shrink") << QSize(301, 171) << QSize(211, 119);
        QTest::newRow("slight shrink") << QSize(1366, 768) << QSize(1279, 719);
        QTest::newRow("strong shrink") << QSize(4000, 300) << QSize(37, 11);
        QTest::newRow("to one pixel") << QSize(64, 48) << QSize(1, 1);
        QTest::newRow("double") << QSize(200, 150) << QSize(400, 300);
        QTest::newRow("odd enlargement") << QSize(17, 13) << QSize(100, 77);
        QTest::newRow("one side unchanged") << QSize(100, 100) << QSize(100, 61);
        QTest::newRow("from one pixel") << QSize(1, 1) << QSize(5, 3);
    }
    void partsEqualTheWhole()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        const QImage picture = noise(source, 7);
        GridScaler scaler;
        scaler.setSizes(source, target);
        const QImage whole = scaledPart(scaler, picture, QRect(QPoint(), target));
        QPoint at;
        const int off = channelDifference(whole, picture.scaled(target, Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation), &at);
        QVERIFY2(off <= 2, qPrintable(QStringLiteral("%1 levels off at %2,%3").arg(off).arg(at.x()).arg(at.y())));

        QRandomGenerator random(11);
        for (const QRect &area : testAreas(target, random)) {
            QVERIFY2(samePixels(scaledPart(scaler, picture, area), whole.copy(area)),
                     qPrintable(QStringLiteral("%1,%2 %3x%4").arg(area.x()).arg(area.y())
                                    .arg(area.width()).arg(area.height())));
        }
    }

    // No sample falls outside the picture, so edges keep their colour.
    void aPlainPictureStaysPlain()
    {
        QImage picture(333, 222, QImage::Format_RGB32);
        picture.fill(QColor(0xc0, 0x80, 0x01));
        for (const QSize target : {QSize(200, 133), QSize(332, 221), QSize(700, 450), QSize(3, 2)}) {
            GridScaler scaler;
            scaler.setSizes(picture.size(), target);
            QImage expected(target, QImage::Format_RGB32);
            expected.fill(QColor(0xc0, 0x80, 0x01));
            QVERIFY(samePixels(scaledPart(scaler, picture, QRect(QPoint(), target)), expected));
            QVERIFY(samePixels(scaledPart(scaler, picture, QRect(target.width() - 1, 0, 1, target.height())),
                               expected.copy(target.width() - 1, 0, 1, target.height())));
        }
    }

    // Changing source pixels changes target pixels only within targetsOf(),
    // which reaches no further than the filter does: a pixel beyond the
    // area's own scaled bounds, or half a source pixel when enlarging.
    void changesStayInTheirTargets_data() { partsEqualTheWhole_data(); }
    void changesStayInTheirTargets()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QImage picture = noise(source, 3);
        GridScaler scaler;
        scaler.setSizes(source, target);
        const QRect all(QPoint(), target);
        QRandomGenerator random(5);
        for (const QRect &area : testAreas(source, random)) {
            const QImage before = scaledPart(scaler, picture, all);
            QImage changed = picture;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x)
                    changed.setPixel(x, y, ~picture.pixel(x, y) | 0xff000000u);
            }
            const QImage after = scaledPart(scaler, changed, all);
            const QRect targets = scaler.targetsOf(area);
            QRect differs;
            for (int y = 0; y < target.height(); ++y) {
                for (int x = 0; x < target.width(); ++x) {
                    if (before.pixel(x, y) != after.pixel(x, y))
                        differs |= QRect(x, y, 1, 1);
                }
            }
            QVERIFY(targets.contains(differs) || differs.isEmpty());
            const double fx = double(target.width()) / source.width();
            const double fy = double(target.height()) / source.height();
            const int mx = 1 + int(fx / 2);
            const int my = 1 + int(fy / 2);
            const QRect bounds = QRect(QPoint(int(area.left() * fx) - mx, int(area.top() * fy) - my),
                                       QPoint(int((area.right() + 1) * fx) + mx, int((area.bottom() + 1) * fy) + my));
            QVERIFY(bounds.contains(targets));
        }
    }

    void areasAreClippedToThePictures()
    {
        GridScaler scaler;
        scaler.setSizes(QSize(100, 80), QSize(50, 40));
        const QImage picture = noise(QSize(100, 80), 1);
        QImage out;
        QCOMPARE(scaler.scale(picture, QRect(40, 30, 100, 100), out), QRect(40, 30, 10, 10));
        QCOMPARE(scaler.scale(picture, QRect(60, 0, 5, 5), out), QRect());
        QCOMPARE(scaler.targetsOf(QRect(100, 0, 10, 10)), QRect());
        QCOMPARE(scaler.targetsOf(QRect(-5, -5, 6, 6)), QRect(0, 0, 1, 1));
        // A picture of another size is not scaled.
        QCOMPARE(scaler.scale(noise(QSize(99, 80), 1), QRect(0, 0, 10, 10), out), QRect());
        scaler.setSizes(QSize(), QSize(50, 40));
        QCOMPARE(scaler.targetsOf(QRect(0, 0, 10, 10)), QRect());
    }

    void theOutputBufferIsReused()
    {
        GridScaler scaler;
        scaler.setSizes(QSize(200, 200), QSize(100, 100));
        const QImage picture = noise(QSize(200, 200), 2);
        QImage out;
        scaler.scale(picture, QRect(0, 0, 60, 60), out);
        const uchar *bits = out.constBits();
        scaler.scale(picture, QRect(10, 10, 60, 30), out);
        scaler.scale(picture, QRect(10, 10, 30, 60), out);
        QCOMPARE(out.constBits(), bits);
    }
};

QTEST_APPLESS_MAIN(GridScalerTest)
#include "gridscaler_test.moc"
