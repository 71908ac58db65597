// Continuous updates and fences: the exact answers against a scripted
// server, and TigerVNC's Xvnc on loopback streaming to the view with no
// request outstanding, seen through a relay that records what the view sends.
#include "e2e_servers.h"
#include "hostileserver.h"
#include "rawserver.h"
#include "relay.h"
#include "viewharness.h"

#include <QMutex>
#include <QStandardPaths>
#include <QtEndian>

using namespace HostileRfb;

namespace
{
constexpr quint32 blockBefore = 1, blockAfter = 2, syncNext = 4, request = 0x80000000;

QByteArray fence(quint32 flags, const QByteArray &payload)
{
    QByteArray m(9, '\0');
    m[0] = char(248);
    qToBigEndian(flags, m.data() + 4);
    m[8] = char(payload.size());
    return m + payload;
}

const QByteArray endOfContinuousUpdates(1, char(150));

// The view's continuous-update and fence messages, one line each.
QStringList described(const QList<ClientMessage> &sent)
{
    QStringList lines;
    for (const ClientMessage &m : sent) {
        if (m.type == ClientMessage::Fence)
            lines << QStringLiteral("fence %1 %2").arg(m.flags).arg(QString::fromLatin1(m.text));
        else if (m.type == ClientMessage::EnableContinuousUpdates)
            lines << QStringLiteral("enable %1 %2,%3 %4x%5")
                         .arg(m.enable)
                         .arg(m.area.x())
                         .arg(m.area.y())
                         .arg(m.area.width())
                         .arg(m.area.height());
    }
    return lines;
}

QList<ClientMessage> parsed(const QByteArray &bytes)
{
    QList<ClientMessage> out;
    ClientStreamParser(1, false).feed(bytes.constData(), size_t(bytes.size()), &out);
    return out;
}

QRgb shownAt(VncView *view, int x, int y) { return view->grab().toImage().pixel(x, y) & 0xffffff; }
} // namespace

class ContinuousUpdatesTest : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QList<QByteArray>>("messages");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("ends");
        const QByteArray longest(64, 'p');
        QTest::newRow("the flags we honour stay, SyncNext goes")
            << QList<QByteArray>{fence(request | blockBefore | blockAfter | syncNext, "abc")}
            << QStringList{"fence 3 abc"} << false;
        QTest::newRow("no flags, no payload") << QList<QByteArray>{fence(request, "")} << QStringList{"fence 0 "}
                                              << false;
        QTest::newRow("unknown flags go, the longest payload stays")
            << QList<QByteArray>{fence(request | 1u << 30 | 1u << 5 | blockBefore, longest)}
            << QStringList{"fence 1 " + QString::fromLatin1(longest)} << false;
        QTest::newRow("each answered, in order")
            << QList<QByteArray>{fence(request | blockBefore, "1"), fence(request | blockAfter, "2"),
                                 fence(request, "3")}
            << QStringList{"fence 1 1", "fence 2 2", "fence 0 3"} << false;
        QTest::newRow("an answer is not answered")
            << QList<QByteArray>{fence(blockBefore, "r"), fence(request, "q")} << QStringList{"fence 0 q"} << false;
        QTest::newRow("confirmed: the whole desktop, unasked")
            << QList<QByteArray>{endOfContinuousUpdates} << QStringList{"enable 1 0,0 64x48"} << false;
        QTest::newRow("a payload over 64 bytes ends the connection")
            << QList<QByteArray>{fence(request, QByteArray(65, 'x'))} << QStringList{} << true;
    }
    void answers()
    {
        QFETCH(QList<QByteArray>, messages);
        QFETCH(QStringList, expected);
        QFETCH(bool, ends);
        ScriptedView h(session(64, 48, messages));
        QVERIFY(h.started);
        auto sent = [&] { return described(parsed(h.server.received().value(0))); };
        if (ends) {
            QVERIFY2(h.waitFailed(), qPrintable(h.log.join(' ')));
            QCOMPARE(h.errors, QStringList{"The VNC server sent a message this viewer does not understand."});
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(sent().size(), expected.size(), 5000);
        }
        QTest::qWait(100); // nothing more follows
        QCOMPARE(sent(), expected);
    }

    void xvncStreamsWithoutRequests_data()
    {
        QTest::addColumn<QSize>("resizedTo");
        QTest::newRow("as started") << QSize();
        QTest::newRow("after a resize") << QSize(640, 480);
    }
    void xvncStreamsWithoutRequests()
    {
        QFETCH(QSize, resizedTo);
        const QString xvnc = QStandardPaths::findExecutable("Xvnc");
        QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
        XServer desktop;
        const quint16 port = freePort();
        QVERIFY(port && desktop.start(xvnc, {"-rfbport", QString::number(port), "-localhost", "-geometry", "320x240",
                                             "-SecurityTypes", "None"}));
        QMutex lock;
        QList<ClientMessage> sent;
        vemotest::Relay relay(port, [&](const QList<ClientMessage> &m) {
            QMutexLocker locker(&lock);
            sent += m;
        });
        QVERIFY(relay.start());
        auto record = [&] {
            QMutexLocker locker(&lock);
            return sent;
        };
        ViewHarness h(loopbackUrl(relay.port()));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        QSize size(320, 240);
        if (resizedTo.isValid()) {
            const QString mode = QStringLiteral("%1x%2").arg(resizedTo.width()).arg(resizedTo.height());
            QVERIFY(runTool(desktop.display, "xrandr", {"-s", mode}).finished);
            size = resizedTo;
            QTRY_COMPARE_WITH_TIMEOUT(h.view->remoteScreenSize(), size, 5000);
        }
        // Each change reaches the screen, near the desktop's far corner too.
        for (const quint32 colour : {0xd02010u, 0x10c040u, 0x3050e0u}) {
            const QString name = QStringLiteral("#%1").arg(colour, 6, 16, QChar('0'));
            QVERIFY(runTool(desktop.display, "xsetroot", {"-solid", name}).finished);
            QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 2, 2), QRgb(colour), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, size.width() - 3, size.height() - 3), QRgb(colour), 5000);
        }
        // One request, the first, for the whole desktop: everything since
        // came unasked, for the desktop's current area.
        const QList<ClientMessage> all = record();
        QList<ClientMessage> requests;
        std::copy_if(all.begin(), all.end(), std::back_inserter(requests),
                     [](const ClientMessage &m) { return m.type == ClientMessage::UpdateRequest; });
        QCOMPARE(requests.size(), 1);
        QVERIFY(!requests.first().incremental);
        const QStringList flow = described(all);
        QVERIFY2(flow.filter("fence").size() >= 1, qPrintable(flow.join('\n')));
        const QStringList enables = flow.filter("enable");
        QVERIFY(!enables.isEmpty());
        QCOMPARE(enables.filter("enable 1").size(), enables.size());
        QCOMPARE(enables.last(), QStringLiteral("enable 1 0,0 %1x%2").arg(size.width()).arg(size.height()));
    }
};

QTEST_MAIN(ContinuousUpdatesTest)
#include "continuousupdates_test.moc"
