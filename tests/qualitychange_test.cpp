// The quality changed while connected: the new pixel format and encodings
// reach the server on the same connection, with continuous updates (Xvnc)
// and without (libvncserver); no picture handed over is ever black or
// mis-coloured. The connection-information figures match the server's.
#include "e2e_servers.h"
#include "relay.h"
#include "socketutil.h"
#include "updatemeter.h"
#include "threadharness.h"

#include <QElapsedTimer>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <functional>

#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// A colour as the 8-bit BGR233 format rounds it, shown again in 32 bits.
QRgb quantised(QRgb c)
{
    const auto level = [](int v, int max) { return (v * max + 127) / 255 * 255 / max; };
    return qRgb(level(qRed(c), 7), level(qGreen(c), 7), level(qBlue(c), 3)) & 0xffffff;
}

// None is black, and no colour's 8-bit form is another's.
const QRgb colours[] = {0xd02010, 0x10c040, 0x3050e0, 0xe0c020, 0x20c0c0, 0xc040b0};

int pixelsOutside(const QImage &picture, const QSet<QRgb> &allowed)
{
    int outside = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            outside += !allowed.contains(picture.pixel(x, y) & 0xffffff);
    }
    return outside;
}

bool allOf(const QImage &picture, QRgb colour)
{
    return !picture.isNull() && pixelsOutside(picture, {colour}) == 0;
}

// A desktop painted one colour at a time, behind a relay that records what
// the viewer sends: Xvnc (continuous updates) or libvncserver (requests).
struct Desktop
{
    bool xvnc;
    XServer x;
    // The record outlives the relay that fills it.
    mutable std::mutex lock; // seen by the race detector, as Qt's is not
    QList<ClientMessage> sent;
    std::unique_ptr<TestServer> server;
    std::unique_ptr<vemotest::Relay> relay;
    // Told of each message as the relay passes it, on the relay's thread.
    std::function<void(const ClientMessage &)> onMessage;

    explicit Desktop(bool xvnc) : xvnc(xvnc) {}
    bool start(QSize size)
    {
        quint16 upstream = freePort();
        if (xvnc) {
            const QString program = QStandardPaths::findExecutable("Xvnc");
            const QString geometry = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            if (program.isEmpty() || !x.start(program, {"-rfbport", QString::number(upstream), "-localhost",
                                                        "-geometry", geometry, "-SecurityTypes", "None"}))
                return false;
        } else {
            server = std::make_unique<TestServer>(size.width(), size.height());
            if (!server->start())
                return false;
            upstream = server->port();
        }
        relay = std::make_unique<vemotest::Relay>(upstream, [this](const QList<ClientMessage> &m) {
            if (onMessage)
                std::for_each(m.begin(), m.end(), onMessage);
            std::lock_guard locker(lock);
            sent += m;
        });
        return relay->start();
    }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return relay->port(); }
    void paint(QRgb colour)
    {
        if (xvnc)
            runTool(x.display, "xsetroot", {"-solid", QStringLiteral("#%1").arg(colour, 6, 16, QChar('0'))});
        else
            server->fillRect(QRect(QPoint(), server->size()), colour);
    }
    QList<ClientMessage> messages() const
    {
        std::lock_guard locker(lock);
        return sent;
    }
};

// A socket pair, one end for the viewer, the other carried to 'port' on
// loopback as a tunnel carries it.
struct Bridge
{
    int pair[2] = {-1, -1};
    vemotest::UniqueFd tcp;
    std::thread there, back;
    explicit Bridge(quint16 port) : tcp(vemotest::connectToLoopback(port))
    {
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
        fcntl(tcp.get(), F_SETFL, 0);
        there = std::thread(copy, pair[1], tcp.get());
        back = std::thread(copy, tcp.get(), pair[1]);
    }
    ~Bridge()
    {
        shutdown(tcp.get(), SHUT_RDWR);
        shutdown(pair[1], SHUT_RDWR);
        there.join();
        back.join();
        close(pair[1]);
    }
    static void copy(int from, int to)
    {
        char buffer[65536];
        ssize_t n;
        while ((n = read(from, buffer, sizeof buffer)) > 0) {
            for (ssize_t sent = 0, m; sent < n; sent += m) {
                if ((m = send(to, buffer + sent, size_t(n - sent), MSG_NOSIGNAL)) <= 0)
                    return;
            }
        }
        shutdown(to, SHUT_WR);
    }
};

// The viewer's messages that order a change of pixel format, one letter
// each: P SetPixelFormat, E SetEncodings, F a request for the whole
// desktop, n one for a single pixel, 0 and 1 continuous updates off and on.
QString formatFlow(const QList<ClientMessage> &sent)
{
    QString flow;
    for (const ClientMessage &m : sent) {
        if (m.type == ClientMessage::SetPixelFormat)
            flow += 'P';
        else if (m.type == ClientMessage::SetEncodings)
            flow += 'E';
        else if (m.type == ClientMessage::UpdateRequest && !m.incremental)
            flow += m.area.size() == QSize(1, 1) ? 'n' : 'F';
        else if (m.type == ClientMessage::EnableContinuousUpdates)
            flow += m.enable ? '1' : '0';
    }
    return flow;
}
} // namespace

class QualityChangeTest : public QObject
{
    Q_OBJECT

private slots:
    void changedWhileConnectedShowsOnlyServerColours_data()
    {
        QTest::addColumn<bool>("xvnc");
        QTest::addColumn<QString>("switchFlow"); // each format change
        QTest::addColumn<int>("switches"); // the first format too, without continuous updates
        QTest::addColumn<bool>("still"); // the desktop unchanged after the first picture
        QTest::newRow("libvncserver, update requests") << false << "PEF" << 7 << false;
        QTest::newRow("Xvnc, continuous updates") << true << "0PEF1" << 6 << false;
        // Nothing answers the request outstanding but one asked outright.
        QTest::newRow("libvncserver, still desktop") << false << "nPEF" << 6 << true;
        QTest::newRow("Xvnc, still desktop") << true << "0PEF1" << 6 << true;
    }
    void changedWhileConnectedShowsOnlyServerColours()
    {
        QFETCH(bool, xvnc);
        QFETCH(QString, switchFlow);
        QFETCH(int, switches);
        QFETCH(bool, still);
        Desktop desktop(xvnc);
        QVERIFY2(desktop.start(QSize(160, 120)), "Xvnc is missing or did not start: run scripts/install-deps.sh");
        VncClientThread thread;
        Receiver receiver(thread);
        desktop.paint(colours[0]);
        startThread(thread, desktop, Quality::High);
        QTRY_VERIFY_WITH_TIMEOUT(allOf(receiver.shown, colours[0]), 10000);
        // From here on, every picture handed over holds the colours painted
        // so far, as sent in 32 or 8 bits: never black, never garbled.
        QSet<QRgb> allowed{colours[0], quantised(colours[0])};
        int outside = 0;
        connect(&thread, &VncClientThread::imageUpdated, this,
                [&] { outside = std::max(outside, pixelsOutside(thread.image(), allowed)); });
        const Quality steps[] = {Quality::Low,  Quality::Medium, Quality::High, Quality::Low,
                                 Quality::High, Quality::Medium, Quality::Low,  Quality::High};
        for (size_t i = 0; i < std::size(steps); ++i) {
            const QRgb colour = colours[still ? 0 : (i + 1) % std::size(colours)];
            allowed << colour << quantised(colour);
            thread.setQuality(steps[i]);
            const QRgb expected = steps[i] == Quality::Low ? quantised(colour) : colour;
            if (!still)
                desktop.paint(colour);
            QTRY_VERIFY2_WITH_TIMEOUT(allOf(receiver.shown, expected), qPrintable(QString::number(i)), 10000);
        }
        QCOMPARE(outside, 0);
        // One connection; a pixel format for each change, each after the
        // updates in the old one ended, with the whole desktop asked for.
        const QList<ClientMessage> sent = desktop.messages();
        QVERIFY(std::all_of(sent.begin(), sent.end(), [](const ClientMessage &m) { return m.connection == 1; }));
        const QString flow = formatFlow(sent);
        QCOMPARE(flow.count('P'), 7);
        QCOMPARE(flow.count(switchFlow), switches);
        // The last encodings are High's, sent alone when only they changed.
        QList<qint32> lastEncodings;
        for (const ClientMessage &m : sent) {
            if (m.type == ClientMessage::SetEncodings)
                lastEncodings = m.encodings;
        }
        QCOMPARE(lastEncodings.mid(0, 3), (QList<qint32>{1, 5, 0}));
        if (!still)
            QVERIFY(flow.count('E') > flow.count('P'));
    }

    // libvncserver answers a request for the whole desktop with its size
    // alone, then the pixels: a change asked for before the last one's
    // answer came waits for the pixels, which are in the last one's format.
    void aChangeAskedBeforeTheLastOnesAnswerWaitsForIt()
    {
        Desktop desktop(false);
        QVERIFY(desktop.start(QSize(320, 240)));
        VncClientThread thread;
        Receiver receiver(thread);
        std::atomic<bool> armed{false};
        desktop.onMessage = [&](const ClientMessage &m) {
            if (m.type == ClientMessage::UpdateRequest && !m.incremental && m.area.width() > 1 && armed.exchange(false))
                thread.setQuality(Quality::Medium);
        };
        startThread(thread, desktop, Quality::High);
        QTRY_VERIFY_WITH_TIMEOUT(!receiver.updates.isEmpty(), 5000);
        // A slow link kept busy: each answer waits behind the pictures sent
        // before it, long after the next change was asked for.
        desktop.relay->setRate(40000);
        armed = true;
        thread.setQuality(Quality::Low);
        int shift = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                desktop.server->paintPattern(QRect(0, 0, 320, 240), ++shift);
                return formatFlow(desktop.messages()).count('P') == 3 || !receiver.errors.isEmpty();
            },
            20000));
        desktop.relay->setRate(0);
        desktop.paint(colours[1]);
        QTRY_VERIFY_WITH_TIMEOUT(allOf(receiver.shown, colours[1]) || !receiver.errors.isEmpty(), 10000);
        QCOMPARE(receiver.errors, QStringList());
        QCOMPARE(thread.connectionInfo().bitsPerPixel, 32);
        QCOMPARE(desktop.server->connectionCount(), 1);
    }

    void connectionInfoMatchesTheServer_data()
    {
        QTest::addColumn<bool>("socketPair"); // as through a tunnel: no TCP counters
        QTest::newRow("TCP") << false;
        QTest::newRow("socket pair") << true;
    }
    void connectionInfoMatchesTheServer()
    {
        QFETCH(bool, socketPair);
        Desktop desktop(false);
        QVERIFY(desktop.start(QSize(200, 120)));
        std::unique_ptr<Bridge> bridge;
        VncClientThread thread;
        if (socketPair) {
            bridge = std::make_unique<Bridge>(desktop.port());
            thread.useSocket(bridge->pair[0]);
        }
        Receiver receiver(thread);
        startThread(thread, desktop, Quality::Medium);
        QTRY_VERIFY_WITH_TIMEOUT(!receiver.updates.isEmpty(), 5000);
        // Updates for longer than the figures' window, the relay's count of
        // the bytes it passed noted beside.
        QElapsedTimer clock;
        clock.start();
        QList<QPair<qint64, qint64>> passed;
        for (int i = 0; clock.elapsed() < 4000; ++i) {
            desktop.server->fillRect(QRect(i * 13 % 180, i * 7 % 100, 20, 20), colours[i % std::size(colours)]);
            passed.append({clock.elapsed(), desktop.relay->bytesToClient()});
            QTest::qWait(20);
        }
        QTest::qWait(300); // the figures are published four times a second
        const ConnectionInfo info = thread.connectionInfo();
        QVERIFY(info.connected);
        QCOMPARE(info.desktopName, QStringLiteral("vemo test server"));
        QCOMPARE(QPoint(info.protocolMajor, info.protocolMinor), QPoint(3, 8));
        QCOMPARE(info.securityType, int(rfbNoAuth));
        QCOMPARE(info.desktopSize, QSize(200, 120));
        QCOMPARE(QPoint(info.bitsPerPixel, info.depth), QPoint(32, 24));
        QVERIFY2(info.encodingsUsed.contains("tight"), qPrintable(info.encodingsUsed.join(' ')));
        QVERIFY(!info.continuousUpdates);
        QCOMPARE(info.quality, Quality::Medium);
        QVERIFY(info.choice == EncodingChoice::forQuality(Quality::Medium));
        // The last window's bytes, as the relay passed them.
        const auto from = std::find_if(passed.begin(), passed.end(), [&](const auto &p) {
            return p.first >= passed.last().first - RecentUpdates::windowMs;
        });
        const double relayed = double(passed.last().second - from->second) * 1000 / RecentUpdates::windowMs;
        QVERIFY2(relayed > 0 && info.bytesPerSecond > relayed * 0.7 && info.bytesPerSecond < relayed * 1.3,
                 qPrintable(QStringLiteral("%1 measured, %2 relayed").arg(info.bytesPerSecond).arg(relayed)));
        QVERIFY(info.updatesPerSecond > 1);
        // A new format shows there once it is in effect.
        thread.setQuality(Quality::Low);
        desktop.paint(colours[0]);
        QTRY_COMPARE_WITH_TIMEOUT(thread.connectionInfo().bitsPerPixel, 8, 5000);
        QVERIFY(thread.connectionInfo().choice.lowColour);
    }

    // The relay between the viewer and the server passes bytes at the rate
    // set; the picture keeps changing, with content that compresses badly.
    void autoFollowsTheLink()
    {
        Desktop desktop(false);
        // Updates of tens of KiB: big enough to measure the link with.
        QVERIFY(desktop.start(QSize(320, 240)));
        VncClientThread thread;
        Receiver receiver(thread);
        startThread(thread, desktop, Quality::Auto);
        int shift = 0;
        const auto settles = [&](const auto &on) {
            return QTest::qWaitFor(
                [&] {
                    desktop.server->paintPattern(QRect(0, 0, 320, 240), ++shift);
                    return on(thread.connectionInfo());
                },
                60000);
        };
        using Reason = AutoQuality::Reason;
        EncodingChoice fast;
        QVERIFY(settles([&](const ConnectionInfo &info) {
            fast = info.choice;
            return info.reason == Reason::FastLink;
        }));
        // The pattern goes as JPEG on the fast row: told from tight's own.
        const QStringList used = thread.connectionInfo().encodingsUsed;
        QVERIFY2(used.contains("JPEG"), qPrintable(used.join(' ')));
        const auto slow = [](Reason r) { return r != Reason::FastLink && r != Reason::NotMeasured; };
        desktop.relay->setRate(24000); // 192 kbit/s
        QVERIFY(settles([&](const ConnectionInfo &info) { return slow(info.reason) && info.choice != fast; }));
        QVERIFY(thread.connectionInfo().lineSpeedKbps < 1000);
        desktop.relay->setRate(0);
        QVERIFY(settles([&](const ConnectionInfo &info) {
            return info.reason == Reason::FastLink && info.choice == fast;
        }));
        QCOMPARE(desktop.server->connectionCount(), 1);
    }
};

QTEST_MAIN(QualityChangeTest)
#include "qualitychange_test.moc"
