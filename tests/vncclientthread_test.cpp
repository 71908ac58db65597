// The connection thread against a real libvncserver server on loopback.
#include "clientmessage.h"
#include "handover.h"
#include "hostileserver.h"
#include "hungaddress.h"
#include "rawserver.h"
#include "socketutil.h"
#include "samepixels.h"
#include "testserver.h"
#include "threadharness.h"
#include "vncclientthread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Mean difference per colour channel between two same-sized images.
double meanChannelError(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 256;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

QList<qint32> encodingsSent(const TestServer &server)
{
    for (const ClientMessage &m : server.messages()) {
        if (m.type == ClientMessage::SetEncodings)
            return m.encodings;
    }
    return {};
}

// A port on which nothing listens.
int closedPort()
{
    quint16 port = 0;
    vemotest::listenOnLoopback(&port);
    return port;
}

// Destroys the thread and returns how long that took.
qint64 destructionTime(std::unique_ptr<VncClientThread> &thread)
{
    QElapsedTimer clock;
    clock.start();
    thread.reset();
    return clock.elapsed();
}
} // namespace

class VncClientThreadTest : public QObject
{
    Q_OBJECT

private slots:
    void qualityChoosesEncodingsAndLevels_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<QList<qint32>>("encodings");
        QTest::addColumn<int>("compressLevel"); // -1: none sent
        QTest::addColumn<int>("qualityLevel");  // -1: none sent
        QTest::addColumn<QList<int>>("format"); // bits per pixel; red, green, blue maximum and shift
        // tight 7, zrle 16, ultra 9, copyrect 1, hextile 5, zlib 6, corre 4, rre 2, raw 0
        const QList<qint32> all{7, 16, 9, 1, 5, 6, 4, 2, 0};
        const QList<int> rgb32{32, 255, 255, 255, 16, 8, 0};
        // Low saves bandwidth with 8-bit BGR233 pixels, which JPEG cannot carry.
        const QList<int> bgr233{8, 7, 7, 3, 0, 3, 6};
        QTest::newRow("high") << int(Quality::High) << QList<qint32>{1, 5, 0} << -1 << -1 << rgb32;
        QTest::newRow("medium") << int(Quality::Medium) << all << 5 << 7 << rgb32;
        QTest::newRow("low") << int(Quality::Low) << all << 6 << -1 << bgr233;
        QTest::newRow("unknown behaves like low") << int(Quality::Unknown) << all << 6 << -1 << bgr233;
        QTest::newRow("out of range behaves like low") << 7 << all << 6 << -1 << bgr233;
    }
    void qualityChoosesEncodingsAndLevels()
    {
        QFETCH(int, quality);
        QFETCH(QList<qint32>, encodings);
        QFETCH(int, compressLevel);
        QFETCH(int, qualityLevel);
        QFETCH(QList<int>, format);
        Connection c(64, 48);
        QVERIFY(c.start(Quality(quality)));
        QVERIFY(c.server.waitForMessages([](const QList<ClientMessage> &m) {
            return std::any_of(m.begin(), m.end(), [](const ClientMessage &c) { return c.type == ClientMessage::SetEncodings; });
        }, 5000));
        const QList<qint32> sent = encodingsSent(c.server);
        QList<qint32> real;
        int compress = -1;
        int level = -1;
        for (qint32 e : sent) {
            // VMware's pseudo-encodings are large positive numbers.
            if (e >= 0 && e < 0x10000)
                real << e;
            else if (e >= -256 && e <= -247)
                compress = e + 256;
            else if (e >= -32 && e <= -23)
                level = e + 32;
        }
        QCOMPARE(real, encodings);
        QCOMPARE(compress, compressLevel);
        QCOMPARE(level, qualityLevel);
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);
        for (const ClientMessage &m : c.server.messages()) {
            if (m.type == ClientMessage::SetPixelFormat)
                QCOMPARE(QList<int>({m.bitsPerPixel, m.redMax, m.greenMax, m.blueMax, m.redShift, m.greenShift,
                                     m.blueShift}),
                         format);
        }
        // Whatever the wire format, the frame shows the server's colours:
        // exact with lossless encodings, close with JPEG or 8 bits.
        if (quality == Quality::High)
            QTRY_VERIFY_WITH_TIMEOUT(samePixels(c.receiver.shown, c.server.framebuffer()), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(meanChannelError(c.receiver.shown, c.server.framebuffer()) < 40,
                                  qPrintable(QString::number(
                                      meanChannelError(c.receiver.shown, c.server.framebuffer()))),
                                  5000);
    }

    // Copies that overlap their source, in every direction (the order of
    // rows and pixels decides), on 32-bit and on 8-bit pixels.
    void copiedAreasArriveExactly_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<QPoint>("by");
        const QPoint moves[] = {QPoint(0, -7), QPoint(0, 7), QPoint(-5, 0), QPoint(5, 0), QPoint(3, 4), QPoint(-3, -4)};
        const std::pair<const char *, Quality> depths[] = {{"32 bits", Quality::High},
                                                                       {"8 bits", Quality::Low}};
        for (const auto &[name, quality] : depths) {
            for (const QPoint by : moves)
                QTest::addRow("%s, by %d,%d", name, by.x(), by.y()) << int(quality) << by;
        }
    }
    void copiedAreasArriveExactly()
    {
        QFETCH(int, quality);
        QFETCH(QPoint, by);
        Connection c(120, 90);
        QVERIFY(c.start(Quality(quality)));
        // On 8 bits, both sides as the server rounds them to BGR233.
        const auto seen = [&](QImage image) {
            const auto level = [](int v, int max) { return (v * max + 127) / 255; };
            for (int y = 0; quality == Quality::Low && y < image.height(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    row[x] = qRgb(level(qRed(row[x]), 7), level(qGreen(row[x]), 7), level(qBlue(row[x]), 3));
            }
            return image;
        };
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(seen(c.receiver.shown), seen(c.server.framebuffer())), 5000);
        c.receiver.updates.clear();
        c.server.copyRect(QRect(20, 20, 60, 40), QPoint(20, 20) + by);
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(seen(c.receiver.shown), seen(c.server.framebuffer())), 5000);
    }

    void serverPixelsReadBackExactly()
    {
        Connection c(200, 120);
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(c.receiver.shown, c.server.framebuffer()), 5000);
        QCOMPARE(c.thread.image().format(), QImage::Format_RGB32);

        c.server.fillRect(QRect(10, 20, 30, 40), 0x123456);
        QTRY_VERIFY_WITH_TIMEOUT(c.receiver.updates.contains(QRect(10, 20, 30, 40)), 5000);
        QVERIFY(samePixels(c.receiver.shown, c.server.framebuffer()));
        // A rectangle copy is a deep copy of just that part.
        const QImage part = c.thread.image(10, 20, 30, 40);
        QCOMPARE(part.size(), QSize(30, 40));
        QCOMPARE(part.pixel(0, 0) & 0xffffff, 0x123456u);
        // Only w selects the whole image.
        QCOMPARE(c.thread.image(5, 5, 0, 7).size(), QSize(200, 120));
    }

    void resizeGivesAZeroedBufferOfTheNewSize()
    {
        TestServer server(640, 480);
        QVERIFY(server.start());
        VncClientThread thread;
        Receiver receiver(thread);
        // Inspect the first rectangle after the resize on the connection
        // thread itself, before the rest of the new desktop is decoded.
        QImage firstAfterResize;
        QRect firstRect;
        std::atomic<bool> armed{false};
        connect(&thread, &VncClientThread::imageUpdated, &thread, [&](int x, int y, int w, int h) {
            // The first rectangle of the new size; updates of the old one
            // may still be on their way when the test arms this.
            if (thread.image().size() == QSize(800, 600) && armed.exchange(false)) {
                firstAfterResize = thread.image().copy();
                firstRect = QRect(x, y, w, h);
            }
        }, Qt::DirectConnection);
        startThread(thread, server);
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(receiver.shown, server.framebuffer()), 5000);
        const QImage before = thread.image();
        auto formatsSent = [&] {
            int n = 0;
            for (const ClientMessage &m : server.messages())
                n += m.type == ClientMessage::SetPixelFormat;
            return n;
        };
        const int formatsBefore = formatsSent();

        armed = true;
        server.resize(800, 600);
        QTRY_COMPARE_WITH_TIMEOUT(thread.image().size(), QSize(800, 600), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(receiver.shown, server.framebuffer()), 5000);
        QCOMPARE(firstAfterResize.size(), QSize(800, 600));
        for (int y = 0; y < 600; y += 7) {
            for (int x = 0; x < 800; x += 7) {
                if (!firstRect.contains(x, y))
                    QCOMPARE(firstAfterResize.pixel(x, y) & 0xffffff, 0u);
            }
        }
        // The image taken before the resize still has its own, intact pixels.
        QCOMPARE(before.size(), QSize(640, 480));
        QCOMPARE(before.pixel(639, 479) & 0xffffff, TestServer::patternPixel(639, 479));
        // The format is the session's: a new size does not send it again.
        QCOMPARE(formatsSent(), formatsBefore);
    }

    void sizeChangeWithinAnUpdateAsksForTheWholeDesktop()
    {
        using namespace HostileRfb;
        // A rectangle, then a new size in the same message: the whole new
        // desktop must still be asked for, besides the next update.
        RawServer server(session(64, 48, {framebufferUpdate({rawRect(QRect(0, 0, 8, 8), 0xff0000),
                                                             desktopSizeRect(100, 80)})}));
        QVERIFY(server.start());
        VncClientThread thread;
        Receiver receiver(thread);
        startThread(thread, server);
        QTRY_COMPARE_WITH_TIMEOUT(thread.image().size(), QSize(100, 80), 5000);
        auto requests = [&] {
            QList<ClientMessage> parsed;
            const QList<QByteArray> received = server.received();
            if (!received.isEmpty())
                ClientStreamParser(1, false).feed(received.first().constData(), size_t(received.first().size()),
                                                  &parsed);
            QList<ClientMessage> out;
            for (const ClientMessage &m : std::as_const(parsed)) {
                if (m.type == ClientMessage::UpdateRequest)
                    out << m;
            }
            return out;
        };
        auto wholeDesktopAsked = [&] {
            const QList<ClientMessage> sent = requests();
            return std::any_of(sent.begin(), sent.end(), [](const ClientMessage &m) {
                return !m.incremental && m.area == QRect(0, 0, 100, 80);
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(wholeDesktopAsked(), 5000);
        // And once the message is over, incremental ones go out again.
        QTRY_VERIFY_WITH_TIMEOUT(!requests().isEmpty() && requests().last().incremental, 5000);
    }

    void oneUpdateRequestPerUpdate()
    {
        Connection c(320, 240);
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(samePixels(c.receiver.shown, c.server.framebuffer()), 5000);
        QTest::qWait(100);
        const QList<qint32> offered = encodingsSent(c.server);
        c.server.clearMessages();
        const qsizetype updatesBefore = c.receiver.updates.size();
        constexpr int changes = 20;
        for (int i = 0; i < changes; ++i) {
            const QRect r(8 * i, 4 * i, 16, 16);
            c.server.fillRect(r, 0x102030 + i);
            QTRY_VERIFY_WITH_TIMEOUT(c.receiver.updates.contains(r), 5000);
        }
        QTest::qWait(100);
        const qsizetype updates = c.receiver.updates.size() - updatesBefore;
        int requests = 0;
        for (const ClientMessage &m : c.server.messages()) {
            if (m.type == ClientMessage::UpdateRequest) {
                QVERIFY(m.incremental);
                ++requests;
            }
            // Continuous updates are offered, but this server never confirms.
            QVERIFY(m.type != ClientMessage::EnableContinuousUpdates && m.type != ClientMessage::Other);
        }
        // So are the lock reports, QEMU's and VMware's.
        QVERIFY(offered.contains(-313) && offered.contains(-312) && offered.contains(-261)
                && offered.contains(0x574D5668));
        // Each update is asked for once, as it starts; asking again after
        // it would double the server's work and our writes.
        QVERIFY2(requests >= updates && requests <= updates + 1,
                 qPrintable(QStringLiteral("%1 requests for %2 updates").arg(requests).arg(updates)));
    }

    // The GUI thread here never waits in its event loop: it only drains
    // posted events, as a busy GUI does. Every update must still arrive
    // whole, and the hand-over must hold without the event loop's wake-up.
    void updatesReachAGuiThatOnlyDrainsPostedEvents()
    {
        Connection c(160, 120);
        QVERIFY(c.start());
        auto drainUntil = [&](auto done) {
            QElapsedTimer clock;
            clock.start();
            while (!done() && clock.elapsed() < 5000)
                QCoreApplication::sendPostedEvents();
            return done();
        };
        QVERIFY(drainUntil([&] { return samePixels(c.receiver.shown, c.server.framebuffer()); }));
        for (int i = 0; i < 30; ++i) {
            const QRect r(4 * i, 3 * i, 8, 8);
            c.server.fillRect(r, 0x405060 + i);
            QVERIFY(drainUntil([&] { return c.receiver.updates.contains(r); }));
        }
        QVERIFY(samePixels(c.receiver.shown, c.server.framebuffer()));
    }

    void serverCutTextArrivesDecoded()
    {
        Connection c(32, 32);
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);

        c.server.sendCutText("abc");
        c.server.sendCutText(QByteArray());
        c.server.sendCutText("gr\xc3\xbc\xc3\x9f \xe2\x82\xac");
        c.server.sendCutText("caf\xe9");
        QTRY_COMPARE_WITH_TIMEOUT(c.receiver.cuts.size(), 3, 5000);
        QCOMPARE(c.receiver.cuts, (QStringList{"abc", QString::fromUtf8("grüß €"), QString::fromUtf8("café")}));
    }

    void rightPasswordConnects()
    {
        Connection c(32, 32, "s3cret", "s3cret");
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);
        QCOMPARE(c.receiver.passwordRequests, 1);
        QVERIFY(samePixels(c.receiver.shown, c.server.framebuffer()));
    }

    void wrongPasswordFailsOnceWithAMessage()
    {
        Connection c(32, 32, "s3cret", "wrong");
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(c.thread.isFinished(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(c.receiver.errors, QStringList{"VNC authentication failed."}, 3000);
        // libvncserver never throttles: the same refused password is not tried again.
        QCOMPARE(c.receiver.passwordRequests, 1);
        QCOMPARE(c.server.connectionCount(), 1);
        QVERIFY(c.receiver.updates.isEmpty());
    }

    void emptyPasswordIsRefusedWithAMessage()
    {
        Connection c(32, 32, "s3cret", QString());
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(c.thread.isFinished(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(c.receiver.errors, QStringList{"VNC authentication failed."}, 3000);
        QCOMPARE(c.server.connectionCount(), 1);
    }

    void inputReachesTheServerInOrder()
    {
        Connection c(64, 64);
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);
        c.server.clearMessages();

        c.thread.mouseEvent(10, 20, 1);
        c.thread.keyEvent(0x61, true);
        c.thread.keyEvent(0x61, false);
        c.thread.clientCut("caf\u00e9");
        c.thread.clientCut(QString());
        c.thread.mouseEvent(11, 21, 0);
        auto input = [](const QList<ClientMessage> &all) {
            QList<ClientMessage> result;
            for (const ClientMessage &m : all) {
                if (m.type == ClientMessage::Key || m.type == ClientMessage::Pointer || m.carriesText())
                    result << m;
            }
            return result;
        };
        QVERIFY(c.server.waitForMessages([&](const QList<ClientMessage> &m) { return input(m).size() >= 6; }, 5000));
        const QList<ClientMessage> got = input(c.server.messages());
        QCOMPARE(got.size(), 6);
        QCOMPARE(got[0].type, ClientMessage::Pointer);
        QCOMPARE(QPoint(got[0].x, got[0].y), QPoint(10, 20));
        QCOMPARE(got[0].buttonMask, 1);
        QCOMPARE(got[1].type, ClientMessage::Key);
        QCOMPARE(got[1].key, 0x61u);
        QVERIFY(got[1].down);
        QCOMPARE(got[2].key, 0x61u);
        QVERIFY(!got[2].down);
        QCOMPARE(got[3].type, ClientMessage::CutText);
        // UTF-8: libvncserver's server offers the extended clipboard.
        QCOMPARE(got[3].text, QByteArray("caf\xc3\xa9"));
        QCOMPARE(got[4].type, ClientMessage::CutText);
        QCOMPARE(got[4].text, QByteArray());
        QCOMPARE(got[5].buttonMask, 0);

        c.thread.stop();
        c.thread.keyEvent(0x62, true);
        c.thread.mouseEvent(1, 1, 4);
        QVERIFY(c.thread.wait(2000));
        QCOMPARE(input(c.server.messages()).size(), 6);
    }

    // Input that waits, behind a clipboard the server does not read yet or
    // for a server still greeting: the motions between two button changes
    // leave as one, the last; every button change and key goes, in order.
    void waitingMotionIsCoalesced_data()
    {
        QTest::addColumn<bool>("behindClipboard"); // else while the server greets
        QTest::newRow("slow socket") << true;
        QTest::newRow("connecting") << false;
    }
    void waitingMotionIsCoalesced()
    {
        QFETCH(bool, behindClipboard);
        using Step = RawServer::Step;
        QList<Step> script = HostileRfb::session(64, 48, {});
        script.insert(behindClipboard ? script.size() : script.size() - 1, Step::pauseReading(1500));
        RawServer server(script);
        QVERIFY(server.start());
        VncClientThread thread;
        startThread(thread, server);
        if (behindClipboard)
            thread.clientCut(QString(8 << 20, 'x')); // more than loopback buffers take unread
        // Keys and button changes as they are; runs of motion reduced to their last.
        const auto significant = [](const QList<ClientMessage> &input, int *motions) {
            QStringList out;
            int buttons = -1;
            for (const ClientMessage &m : input) {
                if (m.type == ClientMessage::Key)
                    out << QStringLiteral("key %1 %2").arg(m.key).arg(m.down);
                else if (m.type == ClientMessage::Pointer && m.buttonMask != buttons)
                    out << QStringLiteral("buttons %1 at %2,%3").arg(m.buttonMask).arg(m.x).arg(m.y);
                else if (m.type == ClientMessage::Pointer)
                    ++*motions;
                if (m.type == ClientMessage::Pointer)
                    buttons = m.buttonMask;
            }
            return out;
        };
        QList<ClientMessage> sent;
        int buttons = 0;
        for (int i = 1; i <= 410; ++i) {
            buttons ^= i % 40 == 0 ? 1 : 0; // presses and releases, dragging between
            ClientMessage pointer;
            pointer.type = ClientMessage::Pointer;
            pointer.x = i;
            pointer.y = i % 48;
            pointer.buttonMask = buttons;
            thread.mouseEvent(pointer.x, pointer.y, buttons);
            sent << pointer;
            for (bool down : {true, false}) {
                if (i % 25 != 0)
                    break;
                ClientMessage key;
                key.type = ClientMessage::Key;
                key.key = 0x61 + i % 26;
                key.down = down;
                thread.keyEvent(int(key.key), down);
                sent << key;
            }
            QThread::usleep(100);
        }
        QList<ClientMessage> received;
        const auto arrived = [&] {
            const QList<QByteArray> bytes = server.received();
            received.clear();
            if (!bytes.isEmpty())
                ClientStreamParser(1, false).feed(bytes.first().constData(), size_t(bytes.first().size()), &received);
            return !received.isEmpty() && received.last().type == ClientMessage::Pointer
                && QPoint(received.last().x, received.last().y) == QPoint(410, 410 % 48);
        };
        QTRY_VERIFY_WITH_TIMEOUT(arrived(), 10000);
        int motionsSent = 0;
        int motionsReceived = 0;
        QCOMPARE(significant(received, &motionsReceived), significant(sent, &motionsSent));
        QVERIFY2(motionsReceived * 4 < motionsSent,
                 qPrintable(QStringLiteral("%1 of %2 motions arrived").arg(motionsReceived).arg(motionsSent)));
    }

    void missingServerIsReported_data()
    {
        QTest::addColumn<bool>("silent"); // a port that accepts and says nothing, else a closed one
        QTest::addColumn<QString>("message");
        QTest::newRow("closed port") << false << "Server not found.";
        QTest::newRow("silent port") << true
                                     << "The program at this address did not answer as a VNC server within 10 "
                                        "seconds. Check the port or display number, and that the VNC server "
                                        "there is running.";
    }
    void missingServerIsReported()
    {
        QFETCH(bool, silent);
        QFETCH(QString, message);
        RawServer server(RawServer::Silent);
        QVERIFY(!silent || server.start());
        VncClientThread thread;
        Receiver receiver(thread);
        thread.setHost("127.0.0.1");
        thread.setPort(silent ? server.port() : closedPort());
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.errors, QStringList{message}, 15000);
        QVERIFY(thread.isFinished());
    }

    // Run in a copy of this program in a directory of its own, where the
    // SSH module lies as each row says: next to it, where the installed
    // layout puts it, a file that is no module, or nowhere.
    void tunnelModuleIsFoundOrReported_data()
    {
        QTest::addColumn<QString>("module"); // relative to the copy's directory; empty: none
        QTest::addColumn<bool>("broken");
        QTest::addColumn<QString>("message"); // a part of the error; %1: the module's place
        const QString layout = VEMO_SSH_MODULE_RELATIVE "/vemo-ssh.so";
        const QString unavailable = "SSH tunnels are unavailable: vemo's SSH module %1 ";
        QTest::newRow("next to the program") << "vemo-ssh.so" << false << "could not be reached";
        QTest::newRow("in the installed layout") << layout << false << "could not be reached";
        QTest::newRow("missing") << "" << false << unavailable + "is missing. Reinstall vemo";
        QTest::newRow("not a module") << "vemo-ssh.so" << true << unavailable + "could not be loaded";
    }
    void tunnelModuleIsFoundOrReported()
    {
        QFETCH(QString, module);
        QFETCH(bool, broken);
        QFETCH(QString, message);
        const QString place = qEnvironmentVariable("VEMO_TEST_COPY_ROOT");
        if (place.isEmpty()) {
            if (QFile::exists(VEMO_SSH_MODULE_INSTALLED))
                QSKIP("an installed SSH module would be found by the copy");
            QTemporaryDir root;
            const QString copy = root.filePath("bin/" + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
            const QString target = root.filePath("bin/" + module);
            QVERIFY(QDir().mkpath(root.filePath("bin")) && QDir().mkpath(QFileInfo(target).path()));
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
            QVERIFY(module.isEmpty() || (broken ? QFile(target).open(QIODevice::WriteOnly)
                                                : QFile::copy(VEMO_SSH_MODULE_BUILT, target)));
            // posix_spawn, not QProcess: ThreadSanitizer stops a process
            // that starts threads after a fork.
            QByteArray program = QFile::encodeName(copy);
            QByteArray function = "tunnelModuleIsFoundOrReported:" + QByteArray(QTest::currentDataTag());
            QByteArray marker = "VEMO_TEST_COPY_ROOT=" + QFile::encodeName(root.path());
            std::vector<char *> env{marker.data()};
            for (char **e = environ; *e; ++e)
                env.push_back(*e);
            env.push_back(nullptr);
            char *argv[] = {program.data(), function.data(), nullptr};
            pid_t pid = 0;
            int status = -1;
            QCOMPARE(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, env.data()), 0);
            QCOMPARE(waitpid(pid, &status, 0), pid);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the copy's check failed (its output is above)");
            return;
        }
        VncClientThread thread;
        Receiver receiver(thread);
        ConnectionOptions options;
        options.via = QStringLiteral("tester@127.0.0.1:%1").arg(closedPort());
        thread.setSignIn(options);
        thread.setHost("127.0.0.1");
        thread.setPort(5900);
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.errors.size(), 1, 15000);
        const QString named = module.isEmpty() ? VEMO_SSH_MODULE_RELATIVE "/vemo-ssh.so" : module;
        QVERIFY2(receiver.errors.first().contains(message.arg(QDir::cleanPath(place + "/bin/" + named))),
                 qPrintable(receiver.errors.first()));
    }

    void lostConnectionIsReported_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("message");
        const QString lost = "The connection to the VNC server was lost. Check the network and that the server "
                             "still runs, then reconnect.";
        QTest::newRow("server closes") << false << QByteArray() << "VNC server closed connection.";
        QTest::newRow("connection reset") << true << QByteArray() << lost;
        // Signed in with a password: still a loss, not a refused password.
        QTest::newRow("connection reset after a password") << true << QByteArray("pw") << lost;
    }
    void lostConnectionIsReported()
    {
        QFETCH(bool, reset);
        QFETCH(QByteArray, password);
        QFETCH(QString, message);
        Connection c(32, 32, password, QString::fromLatin1(password));
        QVERIFY(c.start());
        QTRY_VERIFY_WITH_TIMEOUT(!c.receiver.updates.isEmpty(), 5000);
        c.server.dropConnections(reset);
        QTRY_COMPARE_WITH_TIMEOUT(c.receiver.errors.size(), 1, 3000);
        QCOMPARE(c.receiver.errors.first(), message);
        QTRY_VERIFY_WITH_TIMEOUT(c.thread.isFinished(), 3000);
    }

    void stopBeforeStartConnectsNowhere()
    {
        TestServer server(32, 32);
        QVERIFY(server.start());
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        thread->stop();
        startThread(*thread, server);
        QVERIFY(thread->wait(2000));
        QTest::qWait(100);
        QCOMPARE(server.connectionCount(), 0);
        QVERIFY(receiver.errors.isEmpty());
        QVERIFY(destructionTime(thread) < 1000);
    }

    // A server that never reads, over a socket pair: shutting a full one
    // down does not wake a write that waits for room. The thread still
    // ends at once.
    void destroyedWhileWritingToAServerThatNeverReads()
    {
        int pair[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        const QByteArray greeting =
            QByteArray("RFB 003.008\n\x01\x01\0\0\0\0", 18) + HostileRfb::serverInit(64, 48);
        QCOMPARE(::write(pair[1], greeting.constData(), size_t(greeting.size())), ssize_t(greeting.size()));
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        thread->useSocket(pair[0]);
        thread->clientCut(QString(4 << 20, 'x'));
        thread->start();
        int unread = 0;
        QTRY_VERIFY_WITH_TIMEOUT(ioctl(pair[1], FIONREAD, &unread) == 0 && unread > 65536, 5000);
        QTest::qWait(100);
        // Past the bound, the peer reads: a thread that hangs is freed for
        // the rest of the run.
        std::atomic<bool> destroyed{false};
        std::thread rescue([&] {
            for (int i = 0; i < 500 && !destroyed; ++i)
                QThread::msleep(10);
            fcntl(pair[1], F_SETFL, O_NONBLOCK);
            char sink[65536];
            while (!destroyed) {
                if (::read(pair[1], sink, sizeof sink) <= 0)
                    QThread::msleep(1);
            }
        });
        const qint64 ms = destructionTime(thread);
        destroyed = true;
        rescue.join();
        ::close(pair[1]);
        QVERIFY2(ms < 3000, qPrintable(QString::number(ms)));
    }

    void destroyedBeforeStart()
    {
        auto thread = std::make_unique<VncClientThread>();
        thread->mouseEvent(1, 2, 0);
        QVERIFY(destructionTime(thread) < 1000);
    }

    void destroyedWhileConnectHangs()
    {
        HungAddress hung;
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        thread->setHost("127.0.0.1");
        thread->setPort(hung.port);
        thread->start();
        QTest::qWait(300);
        QVERIFY(thread->isRunning());
        QVERIFY(destructionTime(thread) < 1000);
        QVERIFY(receiver.errors.isEmpty());
    }

    void destroyedDuringHandshake_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("server never speaks") << int(RawServer::Silent);
        QTest::newRow("stalls after the version") << int(RawServer::StallAfterVersion);
        QTest::newRow("stalls after the security types") << int(RawServer::StallAfterSecurity);
    }
    void destroyedDuringHandshake()
    {
        QFETCH(int, mode);
        RawServer server{RawServer::Mode(mode)};
        QVERIFY(server.start());
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        thread->setHost("127.0.0.1");
        thread->setPort(server.port());
        thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(server.acceptedCount(), 1, 3000);
        QTest::qWait(200);
        QVERIFY(thread->isRunning());
        QVERIFY(destructionTime(thread) < 1000);
        QVERIFY(receiver.errors.isEmpty());
    }

    void destroyedWhileConnected()
    {
        TestServer server(64, 64);
        QVERIFY(server.start());
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        startThread(*thread, server);
        QTRY_VERIFY_WITH_TIMEOUT(!receiver.updates.isEmpty(), 5000);
        thread->keyEvent(0x41, true);
        QVERIFY(destructionTime(thread) < 1000);
        QVERIFY(server.waitForClientCount(0, 3000));
    }

    // A receiver on the destroying thread, still connected, holds the
    // connection thread in an emission that waits for this thread.
    void destroyedWhileAReceiverHereHoldsItsEmission()
    {
        TestServer server(64, 64);
        QVERIFY(server.start());
        auto thread = std::make_unique<VncClientThread>();
        Receiver receiver(*thread);
        startThread(*thread, server);
        QTRY_VERIFY_WITH_TIMEOUT(!receiver.updates.isEmpty(), 5000);
        server.fillRect(QRect(0, 0, 8, 8), 0xff0000);
        QThread::msleep(300); // no events handled: the update's emission waits
        QVERIFY(destructionTime(thread) < 1000);
        QVERIFY(server.waitForClientCount(0, 3000));
    }
};

QTEST_MAIN(VncClientThreadTest)
#include "vncclientthread_test.moc"
