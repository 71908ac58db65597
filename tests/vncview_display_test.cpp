// What the VNC view shows, against a real libvncserver server on the
// offscreen platform: scaled updates anywhere on the desktop look as the
// whole desktop scaled at once, no paint leaves stale pixels, a paint
// shows the last update decoded even before the view took its change, and
// the rectangles of one update show as one picture.
#include "hostileserver.h"
#include "samepixels.h"
#include "scaledreference.h"
#include "testserver.h"
#include "vncview_input_support.h"
#include "viewharness.h"

#include <QApplication>
#include <QBackingStore>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace
{
// What the window's surface holds where the view is, without repainting.
QImage shown(const ViewHarness &h)
{
    auto *surface = dynamic_cast<QImage *>(h.window.backingStore()->paintDevice());
    return surface ? surface->copy(h.view->geometry()) : QImage();
}

// The server's desktop as the view should show it: scaled at once to the
// view's size when scaling, else as it is.
QImage expected(const TestServer &server, const VncView *view)
{
    const QImage desktop = server.framebuffer();
    if (!view->isScaling())
        return desktop;
    return scaledAtOnce(desktop, view->size());
}

// Waits until the view shows the server's desktop within `levels`; else
// says where it differs most.
QString waitShown(const ViewHarness &h, const TestServer &server, int levels)
{
    QPoint at;
    int off = 0;
    const bool ok = QTest::qWaitFor([&] { return (off = channelDifference(shown(h), expected(server, h.view), &at)) <= levels; },
                                    5000);
    return ok ? QString() : QStringLiteral("%1 levels off at %2,%3").arg(off).arg(at.x()).arg(at.y());
}

} // namespace

Q_DECLARE_METATYPE(QList<QPoint>)

class VncViewDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(dropViewDebug); }

    // A scroll and its new line, or any rectangles of one update, reach the
    // screen together: one paint with all of them, not one per rectangle.
    void oneUpdateIsOnePicture()
    {
        using namespace HostileRfb;
        QList<QByteArray> rects;
        for (int i = 0; i < 8; ++i)
            rects << rawRect(QRect(i * 8, i % 2 * 24, 6, 6), 0x203040u + 0x100010u * quint32(i));
        ScriptedView h(session(64, 48, {framebufferUpdate({rawRect(QRect(0, 0, 64, 48), 0)})})
                       << RawServer::Step::pause(700) << RawServer::Step::send(framebufferUpdate(rects)));
        QVERIFY(h.started);
        QVERIFY(h.waitConnected());
        QTest::qWait(300); // the first picture settles
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        h.view->installEventFilter(&counter);
        QTRY_COMPARE_WITH_TIMEOUT(shown(h).pixel(56, 24) & 0xffffff, 0x203040u + 0x100010u * 7, 3000);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(shown(h).pixel(i * 8, i % 2 * 24) & 0xffffff, 0x203040u + 0x100010u * quint32(i));
        QCOMPARE(counter.paints, 1);
    }

    // Each update is painted on its own; together they must still form the
    // whole desktop scaled at once, edges included.
    void scaledUpdatesMatchTheWholeDesktopScaledAtOnce()
    {
        TestServer server(1000, 750);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()), QSize(640, 480));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->enableScaling(true);
        QCOMPARE(h.view->size(), QSize(640, 480));
        QString problem = waitShown(h, server, 2);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        const QList<QRect> updates{
            QRect(0, 0, 7, 5),       QRect(993, 0, 7, 9),    QRect(0, 745, 13, 5),  QRect(995, 743, 5, 7),
            QRect(999, 0, 1, 750),   QRect(0, 749, 1000, 1), QRect(0, 0, 1, 750),   QRect(0, 0, 1000, 1),
            QRect(1, 1, 3, 3),       QRect(333, 257, 17, 11), QRect(499, 374, 1, 1), QRect(777, 101, 31, 3),
            QRect(997, 311, 3, 129), QRect(51, 747, 201, 3), QRect(123, 456, 1, 77), QRect(3, 3, 994, 744)};
        quint32 colour = 0x2080f0;
        for (const QRect &r : updates) {
            colour = (colour * 2654435761u) & 0xffffff;
            server.fillRect(r, colour);
            problem = waitShown(h, server, 2);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after %1,%2 %3x%4: %5")
                                                       .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())
                                                       .arg(problem)));
        }
    }

    // The window changes size, and scaling goes on and off as the main
    // window does it, while updates keep coming. An update that arrives
    // while the resize's own repaint is pending paints that too.
    void resizingWhileUpdatesStreamLeavesNoStalePixels()
    {
        TestServer server(640, 480);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()), QSize(700, 500));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QRandomGenerator random(17);
        for (int i = 0; i < 30; ++i) {
            const QSize size(200 + random.bounded(500), 150 + random.bounded(380));
            h.window.resize(size);
            const bool fits = size.width() >= 640 && size.height() >= 480;
            h.view->enableScaling(!fits);
            server.fillRect(QRect(random.bounded(600), random.bounded(440), 40, 40), random.generate() & 0xffffff);
            // The update's hand-over is queued ahead of the resize's repaint.
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
        server.fillRect(QRect(0, 0, 1, 1), 0xffffff);
        const QString problem = waitShown(h, server, 2);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // A paint that Qt raises while the view has not yet taken an update
    // shows it: the connection thread put it in the picture without
    // waiting for this thread.
    void aPaintBeforeTheChangeIsTakenShowsTheLatestUpdate()
    {
        TestServer server(320, 240);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QVERIFY(waitShown(h, server, 0).isEmpty());

        server.fillRect(QRect(0, 0, 320, 240), 0x00ff00);
        QThread::msleep(300); // decoded by now; no event handled here
        h.view->repaint();
        QVERIFY(samePixels(shown(h), server.framebuffer()));
    }

    // On a screen of more device pixels than logical ones (QT_SCALE_FACTOR
    // on an X server of its own), the window shows the desktop scaled to
    // the device pixels, parts updated on their own included; a click on a
    // device pixel reaches the server as the remote pixel whose middle it
    // shows (pixels chosen where one device pixel's middle falls inside).
    void devicePixelsShownAndClicked_data()
    {
        QTest::addColumn<QString>("sizing");
        QTest::addColumn<QList<QPoint>>("clicks");
        const QList<QPoint> anywhere{{0, 0}, {798, 598}, {1, 597}, {417, 233}};
        QTest::newRow("fitted") << "fit" << anywhere;
        QTest::newRow("zoomed out") << "zoomOut" << QList<QPoint>{{10, 10}, {798, 598}, {418, 234}};
        QTest::newRow("1:1") << "actual" << anywhere;
        // Qt's own enlargement, pixel for pixel where the ratio is whole.
        const qreal ratio = qGuiApp->devicePixelRatio();
        if (ratio == std::floor(ratio))
            QTest::newRow("1:1 logical") << "logical" << QList<QPoint>{{151, 126}, {417, 233}, {648, 472}};
    }
    void devicePixelsShownAndClicked()
    {
        QFETCH(QString, sizing);
        QFETCH(QList<QPoint>, clicks);
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("run on an X server by the vncview_display_ratio tests");
        TestServer server(800, 600);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()), QSize(600, 450));
        h.window.move(0, 0);
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->setLogicalPixels(sizing == "logical");
        h.view->enableScaling(true);
        if (sizing != "fit")
            h.view->showActualSize();
        if (sizing == "zoomOut")
            h.view->zoomOut();
        const qreal ratio = h.window.devicePixelRatioF();
        const qreal scale = h.view->deviceScale();
        // The part of the picture the window shows, in the picture.
        const QPoint origin = h.view->pos() * ratio;
        const QSize whole(qRound(800 * scale), qRound(600 * scale));
        const QRect device = QRect(origin, whole) & QRect(QPoint(), h.window.size() * ratio);
        for (const QRect &r : {QRect(3, 5, 7, 3), QRect(401, 299, 1, 1), QRect(777, 1, 23, 598)})
            server.fillRect(r, 0x20f040 ^ quint32(r.x()));
        const auto screenShows = [&] { return h.window.screen()->grabWindow(h.window.winId()).toImage().copy(device); };
        const auto reference = [&] {
            const QImage desktop = server.framebuffer();
            return (sizing == "logical" ? desktop.scaled(whole, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                        : scaledAtOnce(desktop, whole)).copy(device.translated(-origin));
        };
        QTRY_VERIFY(channelDifference(screenShows(), reference()) <= 2);

        for (const QPoint &r : clicks) {
            const QPoint onScreen = h.view->mapToGlobal(QPoint()) * ratio
                                    + QPoint(int((r.x() + 0.5) * scale), int((r.y() + 0.5) * scale));
            server.clearMessages();
            QCOMPARE(QProcess::execute("xdotool", {"mousemove", QString::number(onScreen.x()),
                                                   QString::number(onScreen.y()), "click", "1"}), 0);
            // The press, and no other, at the pixel.
            QTRY_COMPARE(inputtest::pointerOf(server.messages()).filter(" 1"),
                         QStringList{QStringLiteral("%1,%2 1").arg(r.x()).arg(r.y())});
        }
    }

    // Moved to a screen of twice the pixels (the second of
    // support/twoscreens.json), the view keeps its zoom in device pixels.
    void zoomFollowsTheScreensRatio()
    {
        QVERIFY2(QGuiApplication::screens().size() == 2, "run with support/twoscreens.json");
        TestServer server(800, 600);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->showActualSize();
        h.view->zoomOut();
        const qreal scale = h.view->deviceScale();
        const QSize size = h.view->size();
        h.window.windowHandle()->setScreen(QGuiApplication::screens().at(1));
        QTRY_COMPARE(h.view->devicePixelRatioF(), 2.0);
        QCOMPARE(h.view->deviceScale(), scale);
        QCOMPARE(h.view->size(), size / 2);
    }
};

VEMO_VIEW_TEST_MAIN(VncViewDisplayTest)
#include "vncview_display_test.moc"
