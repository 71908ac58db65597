// Touch gestures on a real view, as real touch events, checked as the
// server receives them.
#include "scalemath.h"
#include "vncview_input_support.h"

#include <QtTest>

using namespace inputtest;

namespace
{
// What the view shows: on an X server the view's own window as the screen
// has it (the view puts its picture there itself), else its paint.
QColor shownAt(QWidget *view, QPoint at)
{
    const QImage shown = QGuiApplication::platformName() == QLatin1String("xcb")
                             ? view->screen()->grabWindow(view->winId()).toImage()
                             : view->grab().toImage();
    return QColor(shown.pixel(at));
}
} // namespace

class VncViewTouchTest : public QObject
{
    Q_OBJECT

private slots:
    // Touch gestures on a real view, as the server receives them, at each
    // kind of sizing: pixel for pixel, fitted (0.75), and zoomed to 2 with
    // the picture moved so that its point (25,25) is the window's corner.
    void gesturesReachTheServer_data()
    {
        QTest::addColumn<QString>("sizing");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("pointer");
        QTest::addColumn<QPoint>("viewAt");
        const struct Sizing { const char *name; QPoint (*remote)(int, int); } sizings[] = {
            {"1:1", [](int x, int y) { return QPoint(x, y); }},
            {"fit", [](int x, int y) { return QPoint(sourcePixel(x, 0.75), sourcePixel(y, 0.75)); }},
            {"zoom", [](int x, int y) { return QPoint(sourcePixel(x + 50, 2), sourcePixel(y + 50, 2)); }},
        };
        for (const Sizing &s : sizings) {
            const auto at = [&](int x, int y, int mask) {
                const QPoint r = s.remote(x, y);
                return QStringLiteral("%1,%2 %3").arg(r.x()).arg(r.y()).arg(mask);
            };
            const QPoint origin = QString(s.name) == "zoom" ? QPoint(-50, -50) : QPoint(0, 0);
            const auto row = [&](const char *gesture) -> QTestData & {
                return QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(s.name, gesture))) << QString(s.name);
            };
            row("tap") << "1+30,40; 1-" << QStringList{at(30, 40, 1), at(30, 40, 0)} << origin;
            row("double tap") << "1+30,40; 1-; 1+33,42; 1-"
                               << QStringList{at(30, 40, 1), at(30, 40, 0), at(30, 40, 1), at(30, 40, 0)} << origin;
            row("drag") << "1+30,40; 1>60,40; 1>60,70; 1-"
                         << QStringList{at(30, 40, 1), at(60, 40, 1), at(60, 70, 1), at(60, 70, 0)} << origin;
            row("long press") << "1+30,40; hold; 1-" << QStringList{at(30, 40, 4), at(30, 40, 0)} << origin;
            row("two-finger tap") << "1+20,40 2+60,40; 1- 2-" << QStringList{at(40, 40, 4), at(40, 40, 0)} << origin;
        }
        QTest::newRow("1:1, two-finger drag up") << "1:1" << "1+20,100 2+60,100; 1>20,55 2>60,55; 1- 2-"
                                                 << QStringList{"40,100 16", "40,100 0"} << QPoint(0, 0);
        QTest::newRow("fit, two-finger drag left") << "fit" << "1+60,100 2+100,100; 1>15,100 2>55,100; 1- 2-"
                                                   << QStringList{"107,134 64", "107,134 0"} << QPoint(0, 0);
        QTest::newRow("zoom, two-finger drag pans") << "zoom" << "1+20,60 2+60,60; 1>20,40 2>60,40; 1- 2-"
                                                    << QStringList() << QPoint(-50, -70);
    }
    void gesturesReachTheServer()
    {
        QFETCH(QString, sizing);
        QFETCH(QString, script);
        QFETCH(QStringList, pointer);
        QFETCH(QPoint, viewAt);
        const bool fit = sizing == "fit";
        Rig rig(fit ? 400 : 200, fit ? 400 : 150, sizing == "zoom" ? QSize(100, 100) : fit ? QSize(300, 300) : QSize(800, 600));
        QVERIFY(rig.connect());
        if (fit)
            rig.view->enableScaling(true);
        if (sizing == "zoom")
            rig.view->zoomBy(2.0, QPointF(50, 50));
        QCOMPARE(rig.view->horizontalScale(), fit ? 0.75f : sizing == "zoom" ? 2.0f : 1.0f);
        QCOMPARE(rig.view->pos(), sizing == "zoom" ? QPoint(-50, -50) : QPoint(0, 0));
        rig.server.clearMessages();
        static QPointingDevice *device = QTest::createTouchDevice();
        playTouches(&rig.window, rig.server, device, script);
        QCOMPARE(pointerOf(beforeSentinel(rig)), pointer);
        QCOMPARE(rig.view->pos(), viewAt);
    }

    // Touchpad mode: the server's pointer starts in the middle of the
    // picture and moves as far as the finger, slowly moving, on the screen
    // (half as far in picture pixels zoomed in twice, where the picture
    // moves along to keep the pointer a margin inside the window); taps
    // click where it is, not at the finger.
    void touchpadMovesThePointer_data()
    {
        QTest::addColumn<bool>("zoomed");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("pointer");
        QTest::addColumn<QPoint>("viewAt");
        QTest::newRow("a finger moves the pointer from where it was")
            << false << "1+20,20; 1>40,20 @200; 1>40,50 @400; 1-" << QStringList{"120,75 0", "120,105 0"} << QPoint();
        QTest::newRow("a tap clicks at the pointer") << false << "1+20,20; 1-" << QStringList{"100,75 1", "100,75 0"}
                                                     << QPoint();
        QTest::newRow("tap, touch and move drags")
            << false << "1+20,20; 1-; 1+20,20; 1>40,20 @250; 1-"
            << QStringList{"100,75 1", "100,75 0", "100,75 1", "120,75 1", "120,75 0"} << QPoint();
        QTest::newRow("zoomed, the picture follows the pointer")
            << true << "1+20,20; 1>40,20 @200; 1>60,20 @400; 1>80,20 @600; 1-"
            << QStringList{"60,50 0", "70,50 0", "80,50 0"} << QPoint(-93, -50);
    }
    void touchpadMovesThePointer()
    {
        QFETCH(bool, zoomed);
        QFETCH(QString, script);
        QFETCH(QStringList, pointer);
        QFETCH(QPoint, viewAt);
        Rig rig(zoomed ? 100 : 200, zoomed ? 100 : 150, zoomed ? QSize(100, 100) : QSize(200, 150));
        // On before the picture is known, as --touchpad has it.
        rig.view->setTouchpadMode(true);
        QVERIFY(rig.connect());
        if (zoomed)
            rig.view->zoomBy(2.0, QPointF(50, 50));
        rig.server.clearMessages();
        static QPointingDevice *device = QTest::createTouchDevice();
        playTouches(&rig.window, rig.server, device, script);
        QCOMPARE(pointerOf(beforeSentinel(rig)), pointer);
        QCOMPARE(rig.view->pos(), zoomed ? viewAt : QPoint());
        // The view draws the pointer there (white inside), and only in this mode.
        const QPoint inside = (rig.view->touchpadPointer() + QPointF(3, 10)).toPoint();
        QTRY_COMPARE(shownAt(rig.view, inside), QColor(Qt::white));
        rig.view->setTouchpadMode(false);
        QTRY_VERIFY(shownAt(rig.view, inside) != QColor(Qt::white));
    }

    // A pinch in many small steps, faster than frames, around (100,75):
    // the picture is scaled once or twice, not at every step, the server's
    // point between the fingers stays there, and near 1:1 is 1:1.
    void pinchScalesOncePerFrame_data()
    {
        QTest::addColumn<QList<int>>("spreads"); // each finger's distance from the centre
        QTest::addColumn<float>("zoom");
        const QList<int> apart{44, 46, 48, 50, 52, 54, 56, 58, 60};
        QTest::newRow("out, three times as large") << QList<int>{20} + apart << 3.0f;
        QTest::newRow("out and back to 103 %") << QList<int>{30} + apart + QList<int>{40, 31} << 1.0f;
    }
    void pinchScalesOncePerFrame()
    {
        QFETCH(QList<int>, spreads);
        QFETCH(float, zoom);
        Rig rig(200, 150, QSize(200, 150));
        QVERIFY(rig.connect());
        QString script;
        for (int d : spreads)
            script += QStringLiteral("1%1%2,75 2%1%3,75; ").arg(script.isEmpty() ? '+' : '>').arg(100 - d).arg(100 + d);
        rig.view->seen.clear();
        static QPointingDevice *device = QTest::createTouchDevice();
        playTouches(&rig.window, rig.server, device, script + "1- 2-", false);
        QTRY_VERIFY(!rig.view->isFitting());
        QCOMPARE(rig.view->horizontalScale(), zoom);
        QVERIFY2(rig.view->seen.count("resize") <= 2, qPrintable(rig.view->seen.join(' ')));
        playTouches(&rig.window, rig.server, device, "1+100,75; 1-");
        QCOMPARE(pointerOf(beforeSentinel(rig)), (QStringList{"100,75 1", "100,75 0"}));
    }
};

QTEST_MAIN(VncViewTouchTest)
#include "vncview_touch_test.moc"
