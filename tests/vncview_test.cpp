// The VNC view against a real libvncserver server, on the offscreen platform.
#include "hungaddress.h"
#include "debugcapture.h"
#include "rawserver.h"
#include "socketutil.h"
#include "samepixels.h"
#include "scaledreference.h"
#include "testserver.h"
#include "viewharness.h"

#include <QApplication>
#include <QBackingStore>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <memory>

#include <unistd.h>

// The view reads its quality from the process arguments: the suite runs
// at quality 1 (lossless) so pixels can be compared exactly, and single
// tests change the arguments while they run.
namespace
{
char programName[] = "vncview_test";
char placeholder[] = "vnc://unused";
char qualityText[8] = "1";
char *appArgv[] = {programName, placeholder, qualityText, nullptr};
int appArgc = 3;
} // namespace

namespace
{
using Harness = ViewHarness;
QUrl urlFor(quint16 port, const QString &password = QString(), bool emptyPassword = false)
{
    return loopbackUrl(port, password, emptyPassword);
}

// Context switches so far of the GUI thread and the connection threads
// (the test server's threads, in this process too, are not counted).
int viewSwitches()
{
    int sum = 0;
    const QString tasks = QStringLiteral("/proc/self/task/");
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + tid + "/comm");
        if (tid.toInt() != getpid() && !(comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "VncClientThread"))
            continue;
        QFile status(tasks + tid + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                sum += line.mid(line.indexOf(':') + 1).trimmed().toInt();
        }
    }
    return sum;
}
} // namespace

class VncViewTest : public QObject
{
    Q_OBJECT

    VncClientThread &threadOf(VncView *view) { return view->clientThread; }

private slots:
    void initTestCase() { DebugCapture::install(); }
    void init() { DebugCapture::clear(); }

    void firstUpdateConnectsAndConfigures()
    {
        TestServer server(320, 200);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        QCOMPARE(h.view->portNumber(), int(server.port()));
        QCOMPARE(h.view->hostName(), QString("127.0.0.1"));
        QCOMPARE(h.view->focusPolicy(), Qt::NoFocus);
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());

        QCOMPARE(h.log.mid(0, 3), (QStringList{"status:Disconnected", "status:Disconnecting", "status:Connecting"}));
        const int first = h.log.indexOf("status:Connected");
        QVERIFY(first > 0);
        QCOMPARE(h.log.mid(first, 3), (QStringList{"status:Connected", "changeSize:320x200", "connected"}));
        QCOMPARE(h.view->size(), QSize(320, 200));
        QCOMPARE(h.view->remoteScreenSize(), QSize(320, 200));
        QCOMPARE(h.view->focusPolicy(), Qt::WheelFocus);
        QVERIFY(h.view->testAttribute(Qt::WA_StaticContents));
        QVERIFY(h.view->testAttribute(Qt::WA_OpaquePaintEvent));
        QVERIFY(h.view->hasMouseTracking());
        QCOMPARE(threadOf(h.view).quality(), Quality::High);
        QCOMPARE(h.view->dotCursorMode(), RemoteView::CursorOff);
    }

    void qualityComesFromTheSecondArgument_data()
    {
        QTest::addColumn<int>("argc");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("quality");
        QTest::addColumn<bool>("dotCursor");
        QTest::newRow("no arguments: automatic") << 1 << QByteArray("1") << int(Quality::Auto) << false;
        QTest::newRow("only a URL: automatic") << 2 << QByteArray("1") << int(Quality::Auto) << false;
        QTest::newRow("auto, any letter case") << 3 << QByteArray("Auto") << int(Quality::Auto) << false;
        QTest::newRow("low shows the dot cursor") << 3 << QByteArray("3") << int(Quality::Low) << true;
        QTest::newRow("not a number: unknown") << 3 << QByteArray("abc") << int(Quality::Unknown) << false;
        QTest::newRow("out of range passes unchanged") << 3 << QByteArray("7") << 7 << false;
    }
    void qualityComesFromTheSecondArgument()
    {
        QFETCH(int, argc);
        QFETCH(QByteArray, text);
        QFETCH(int, quality);
        QFETCH(bool, dotCursor);
        TestServer server(16, 16);
        QVERIFY(server.start());
        const int savedArgc = appArgc;
        const QByteArray savedText = qualityText;
        appArgc = argc;
        qstrncpy(qualityText, text.constData(), sizeof(qualityText));
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        appArgc = savedArgc;
        qstrncpy(qualityText, savedText.constData(), sizeof(qualityText));
        QCOMPARE(int(threadOf(h.view).quality()), quality);
        QCOMPARE(h.view->dotCursorMode(), dotCursor ? RemoteView::CursorOn : RemoteView::CursorOff);
        QVERIFY(h.waitConnected());
        // This server sends no cursor shape: the dot shows where it is wanted.
        QCOMPARE(h.view->cursor().pixmap().size(), dotCursor ? QSize(5, 5) : QSize(0, 0));
    }

    void showsTheServerPixelForPixel()
    {
        TestServer server(300, 170);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.view->grab().toImage(), server.framebuffer()), 5000);

        server.fillRect(QRect(40, 30, 50, 20), 0xff8000);
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.surface().copy(h.view->geometry()), server.framebuffer()), 5000);
    }

    // The GUI thread busy for half a second while the server changes its
    // desktop: the connection thread keeps reading (it asks for each next
    // update as one begins), and the view shows the last picture after.
    void busyGuiThreadDoesNotHoldTheDecoder()
    {
        TestServer server(320, 240);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.view->grab().toImage(), server.framebuffer()), 5000);
        server.clearMessages();
        for (int i = 0; i < 25; ++i) {
            server.fillRect(QRect(i * 10, i * 8, 40, 40), 0x0a0b0cu * quint32(i + 1));
            QThread::msleep(20); // no event handled
        }
        int requests = 0;
        for (const ClientMessage &m : server.messages())
            requests += m.type == ClientMessage::UpdateRequest;
        // A decoder waiting for this thread asks for one more at most.
        QVERIFY2(requests >= 10, qPrintable(QString::number(requests)));
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.surface().copy(h.view->geometry()), server.framebuffer()), 5000);
    }

    // Connected, with a server that sends nothing: nothing wakes the GUI
    // or the connection thread. A timer would at each tick; the bound
    // leaves room for this test's own timer and a stray event or two.
    void idleSessionSleeps()
    {
        TestServer server(64, 48);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.view->grab().toImage(), server.framebuffer()), 5000);
        QTest::qWait(300);
        const int before = viewSwitches();
        QEventLoop idle;
        QTimer::singleShot(10000, &idle, &QEventLoop::quit);
        idle.exec();
        const int switches = viewSwitches() - before;
        QVERIFY2(switches <= 8, qPrintable(QString::number(switches)));
    }

    void scaledUpdateRepaintsWhatItAffects()
    {
        TestServer server(640, 480);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()), QSize(320, 240));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->enableScaling(true);
        QCOMPARE(h.view->horizontalScale(), 0.5f);
        QCOMPARE(h.view->size(), QSize(320, 240));
        QCOMPARE(h.view->maximumSize(), QSize(320, 240));
        QTRY_VERIFY_WITH_TIMEOUT(!h.surface().isNull(), 2000);
        // Every update of the first picture shown (a slow build may get two
        // whole ones), so none is painted with the changes below.
        QTRY_VERIFY_WITH_TIMEOUT(closePixels(h.surface().copy(h.view->geometry()),
                                             scaledAtOnce(server.framebuffer(), QSize(320, 240)), 1),
                                 5000);
        QTest::qWait(300);

        QList<QRect> painted;
        struct PaintSpy : QObject
        {
            QList<QRect> *rects;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint)
                    *rects << static_cast<QPaintEvent *>(e)->rect();
                return false;
            }
        } spy;
        spy.rects = &painted;
        h.view->installEventFilter(&spy);
        const auto scaledServer = [&] {
            return scaledAtOnce(server.framebuffer(), QSize(320, 240));
        };

        // At half size widget pixel i shows frame pixels 2i and 2i + 1.
        server.fillRect(QRect(10, 20, 30, 40), 0x00ff00);
        const auto paints = [&] {
            QStringList out;
            for (const QRect &r : painted)
                out << QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
            return out.join(' ');
        };
        QTRY_VERIFY2_WITH_TIMEOUT(painted.contains(QRect(5, 10, 15, 20)), qPrintable(paints()), 5000);
        QVERIFY(closePixels(h.surface().copy(h.view->geometry()), scaledServer(), 1));

        painted.clear();
        server.fillRect(QRect(0, 0, 8, 8), 0x0000ff);
        QTRY_VERIFY_WITH_TIMEOUT(painted.contains(QRect(0, 0, 4, 4)), 5000);

        // A paint from Qt draws the same pixels.
        h.view->repaint(QRect(5, 5, 10, 10));
        h.view->repaint();
        QVERIFY(closePixels(h.surface().copy(h.view->geometry()), scaledServer(), 1));
        h.view->removeEventFilter(&spy);
    }

    void scaleResizeKeepsTheAspectRatio()
    {
        TestServer server(640, 400);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()), QSize(320, 240));
        // Before any frame, scaling changes nothing.
        h.view->enableScaling(true);
        h.view->scaleResize(100, 100);
        QCOMPARE(h.view->horizontalScale(), 1.0f);
        h.view->enableScaling(false);

        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QCOMPARE(h.view->size(), QSize(640, 400));
        h.view->scaleResize(320, 240); // not scaling: only logged
        QCOMPARE(h.view->size(), QSize(640, 400));

        h.view->enableScaling(true);
        QCOMPARE(h.view->horizontalScale(), 0.5f);
        QCOMPARE(h.view->verticalScale(), 0.5f);
        QCOMPARE(h.view->size(), QSize(320, 200));

        h.log.clear();
        h.view->enableScaling(false);
        QCOMPARE(h.view->horizontalScale(), 1.0f);
        QCOMPARE(h.view->size(), QSize(640, 400));
        QCOMPARE(h.view->maximumSize(), QSize(640, 400));
        QCOMPARE(h.log, QStringList{"changeSize:640x400"});
    }

    void serverResizeFollowsOnlyAtTheOrigin()
    {
        TestServer server(640, 480);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        // Let the first frame finish, so the thread is idle.
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.view->grab().toImage(), server.framebuffer()), 5000);
        QTest::qWait(200);
        h.log.clear();

        server.resize(800, 600);
        // Without handling events, the thread has the new picture and the
        // view keeps the old size until it takes the change.
        QElapsedTimer clock;
        clock.start();
        while (threadOf(h.view).image().size() != QSize(800, 600) && clock.elapsed() < 5000)
            QThread::msleep(5);
        QCOMPARE(threadOf(h.view).image().size(), QSize(800, 600));
        QCOMPARE(h.view->size(), QSize(640, 480));
        QVERIFY(h.log.isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(h.view->size(), QSize(800, 600), 5000);
        QVERIFY(h.log.contains("changeSize:800x600"));
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(h.view->grab().toImage(), server.framebuffer()), 5000);
    }

    // Without a password in the URL the view asks in a dialog: typed and
    // confirmed with Enter, or cancelled with Escape.
    void passwordComesFromTheUrlOrTheDialog_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("emptyInUrl");
        QTest::addColumn<QString>("typed"); // null: no dialog; empty: Escape
        QTest::addColumn<QString>("error"); // empty: it connects
        const QString refused = "VNC authentication failed.";
        QTest::newRow("right password") << "pw1234" << false << QString() << "";
        QTest::newRow("wrong password") << "nope" << false << QString() << refused;
        QTest::newRow("no password, typed") << QString() << false << "pw1234" << "";
        QTest::newRow("no password, cancelled")
            << QString() << false << "" << "Sign-in was cancelled; no password was sent. Connect again to sign in.";
        QTest::newRow("empty password, typed wrong") << QString() << true << "nope" << refused;
    }
    void passwordComesFromTheUrlOrTheDialog()
    {
        QFETCH(QString, password);
        QFETCH(bool, emptyInUrl);
        QFETCH(QString, typed);
        QFETCH(QString, error);
        TestServer server(64, 64, "pw1234");
        QVERIFY(server.start());
        Harness h(urlFor(server.port(), password, emptyInUrl));
        h.view->startConnecting();
        QTRY_VERIFY_WITH_TIMEOUT(h.log.contains("status:Authenticating"), 5000);
        if (!typed.isNull()) {
            QDialog *dialog = nullptr;
            QTRY_VERIFY((dialog = h.window.findChild<QDialog *>("passwordDialog")));
            QLineEdit *field = dialog->findChild<QLineEdit *>();
            QVERIFY(field);
            if (typed.isEmpty()) {
                QTest::keyClick(field, Qt::Key_Escape);
            } else {
                QTest::keyClicks(field, typed);
                QTest::keyClick(field, Qt::Key_Return);
            }
        }
        if (error.isEmpty()) {
            QVERIFY(h.waitConnected());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(h.log.contains("error:VNC failure|" + error), 5000);
            QCOMPARE(h.view->currentStatus(), RemoteView::Disconnected);
            QCOMPARE(server.connectionCount(), 1);
        }
    }

    void errorShutsDownThenReports()
    {
        quint16 port = 0;
        vemotest::listenOnLoopback(&port); // closed again at once: nothing listens
        Harness h(urlFor(port));
        h.view->startConnecting();
        QTRY_VERIFY_WITH_TIMEOUT(h.log.contains("error:VNC failure|Server not found."), 3000);
        QCOMPARE(h.log.mid(h.log.size() - 3),
                 (QStringList{"status:Disconnecting", "status:Disconnected", "error:VNC failure|Server not found."}));
        QVERIFY(h.view->isShuttingDown());
        QVERIFY(DebugCapture::contains("about to quit"));
    }

    void compatibilityMarkerChangesNothing()
    {
        TestServer server(32, 32);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.log.clear();
        QMetaObject::invokeMethod(h.view, "outputErrorMessage", Q_ARG(QString, "INTERNAL:APPLE_VNC_COMPATIBILTY"));
        QVERIFY(h.log.isEmpty());
        QVERIFY(!h.view->isShuttingDown());
        QCOMPARE(h.view->currentStatus(), RemoteView::Connected);
    }

    void paintWithoutFrameDrawsNothing()
    {
        Harness h(QUrl("vnc://127.0.0.1:1"));
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        h.view->resize(50, 50);
        h.view->repaint();
        QVERIFY(DebugCapture::contains("no valid image to paint"));
    }

    void destroyedWhileConnectHangs()
    {
        HungAddress hung;
        auto h = std::make_unique<Harness>(urlFor(hung.port));
        h->view->startConnecting();
        QTest::qWait(300);
        QCOMPARE(h->view->currentStatus(), RemoteView::Connecting);
        QVERIFY(timeToDestroy(h) < 1000);
    }

    void destroyedWhileAuthenticating()
    {
        // Asks for VNC authentication, sends the challenge, then never
        // answers the response.
        RawServer server({RawServer::Step::send("RFB 003.008\n"), RawServer::Step::expect(12),
                          RawServer::Step::send(QByteArray("\x01\x02", 2)), RawServer::Step::expect(1),
                          RawServer::Step::send(QByteArray(16, '\x5a')), RawServer::Step::expect(16)});
        QVERIFY(server.start());
        auto h = std::make_unique<Harness>(urlFor(server.port(), "pw"));
        h->view->startConnecting();
        QTRY_COMPARE_WITH_TIMEOUT(h->view->currentStatus(), RemoteView::Authenticating, 3000);
        QTest::qWait(100);
        QVERIFY(timeToDestroy(h) < 1000);
    }

    void destroyedWhileTheThreadWaitsForABusyGuiThread()
    {
        TestServer server(320, 240);
        QVERIFY(server.start());
        auto h = std::make_unique<Harness>(urlFor(server.port()));
        h->view->startConnecting();
        QVERIFY(h->waitConnected());
        // The GUI thread handles no events from here on, so the thread's
        // next update is never taken.
        server.fillRect(QRect(0, 0, 100, 100), 0xabcdef);
        QThread::msleep(300);
        QVERIFY(timeToDestroy(h) < 1000);
    }

    void destroyedWhileStreaming()
    {
        TestServer server(320, 240);
        QVERIFY(server.start());
        auto h = std::make_unique<Harness>(urlFor(server.port()));
        h->view->startConnecting();
        QVERIFY(h->waitConnected());
        for (int i = 0; i < 20; ++i) {
            server.fillRect(QRect(i * 10, i * 5, 40, 40), 0x010101u * quint32(i * 10));
            QTest::qWait(5);
        }
        QVERIFY(timeToDestroy(h) < 1000);
        QVERIFY(server.waitForClientCount(0, 3000));
    }

    void lateUpdateAfterShutdownStaysDisconnected()
    {
        TestServer server(32, 32);
        QVERIFY(server.start());
        Harness h(urlFor(server.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->beginShutdown();
        h.log.clear();
        QMetaObject::invokeMethod(h.view, "updateImageRegion");
        QMetaObject::invokeMethod(h.view, "requestPassword");
        QVERIFY(h.log.isEmpty());
        QCOMPARE(h.view->currentStatus(), RemoteView::Disconnected);
    }

    // The server's cursor shape becomes the view's cursor, scaled with the
    // picture; the picture itself holds no cursor pixels.
    void serverCursorBecomesTheViewsCursor_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<qreal>("factor");
        QTest::newRow("1:1") << QSize(1000, 800) << 1.0;
        QTest::newRow("scaled to half") << QSize(320, 240) << 0.5;
    }
    void serverCursorBecomesTheViewsCursor()
    {
        QFETCH(QSize, windowSize);
        QFETCH(qreal, factor);
        QImage shape(16, 12, QImage::Format_ARGB32);
        shape.fill(Qt::transparent);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x <= y; ++x)
                shape.setPixel(x, y, qRgb(x * 16, 255 - y * 20, 128));
        }
        TestServer server(640, 480);
        QVERIFY(server.start());
        server.setCursor(shape, QPoint(2, 3));
        Harness h(urlFor(server.port()), windowSize);
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QTRY_VERIFY(!h.view->cursor().pixmap().isNull());
        h.view->enableScaling(factor != 1.0);
        QCOMPARE(h.view->horizontalScale(), float(factor));
        const QCursor cursor = h.view->cursor();
        QCOMPARE(cursor.hotSpot(), QPoint(qRound(2 * factor), qRound(3 * factor)));
        const auto premultiplied = [](const QImage &image) {
            return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        const QImage expected = factor == 1.0 ? shape
                                              : shape.scaled(shape.size() * factor, Qt::IgnoreAspectRatio,
                                                             Qt::SmoothTransformation);
        QCOMPARE(premultiplied(cursor.pixmap().toImage()), premultiplied(expected));
        server.fillRect(QRect(0, 0, 40, 40), 0x336699);
        QTRY_VERIFY(samePixels(threadOf(h.view).image(), server.framebuffer()));
    }
};

int main(int, char **)
{
    QApplication app(appArgc, appArgv);
    VncViewTest test;
    char *testArgv[] = {programName, nullptr};
    return QTest::qExec(&test, 1, testArgv);
}
#include "vncview_test.moc"
