// The VNC view against servers that misbehave: absurd sizes, rectangles
// outside the desktop, oversized or malformed cut text, handshakes that
// stall or break off, a rectangle held back, garbage, resize storms. Each
// case ends with the view Disconnected and a message for the user, or keeps
// working.
#include "clientmessage.h"
#include "hostileserver.h"
#include "rawserver.h"
#include "testserver.h"
#include "viewharness.h"

#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>

using Step = RawServer::Step;
Q_DECLARE_METATYPE(RawServer::Step)
using namespace HostileRfb;

namespace
{
constexpr quint32 firstColour = 0x2040e0;
constexpr quint32 laterColour = 0xe08010;
const QSize desktop(64, 48);

QRgb shownAt(VncView *view, int x, int y) { return view->grab().toImage().pixel(x, y) & 0xffffff; }

// The last messages the client sent on its first connection (all when
// 'last' is 0): keys as "a down", cut text as its size, update requests as
// "request", what broke the stream as "?".
QStringList clientSent(const RawServer &server, qsizetype last = 0)
{
    const QByteArray sent = server.received().value(0);
    QList<ClientMessage> messages;
    ClientStreamParser(1, false).feed(sent.constData(), size_t(sent.size()), &messages);
    QStringList lines;
    for (const ClientMessage &m : std::as_const(messages)) {
        if (m.type == ClientMessage::Key)
            lines << QStringLiteral("%1 %2").arg(QChar(char(m.key))).arg(m.down ? "down" : "up");
        else if (m.type == ClientMessage::CutText)
            lines << QString::number(m.text.size());
        else if (m.type == ClientMessage::UpdateRequest || m.type == ClientMessage::Other)
            lines << (m.type == ClientMessage::Other ? "?" : "request");
    }
    return lines.mid(last ? qMax<qsizetype>(0, lines.size() - last) : 0);
}

// A connected session (a first update painted), then `hostile`, then an
// update that shows whether the connection survived.
QList<Step> afterFirstUpdate(const QList<QByteArray> &hostile)
{
    QList<QByteArray> messages{framebufferUpdate({rawRect(QRect(QPoint(), desktop), firstColour)})};
    messages += hostile;
    messages << framebufferUpdate({rawRect(QRect(QPoint(), desktop), laterColour)});
    return session(quint16(desktop.width()), quint16(desktop.height()), messages);
}

// The outcomes a case may have: the view ends with a message, or the
// update after the hostile input shows.
void expectOutcome(ViewHarness &h, bool ends)
{
    if (ends) {
        QVERIFY2(h.waitFailed(), qPrintable(h.log.join(' ')));
        QVERIFY(!h.errors.first().isEmpty());
        QCOMPARE(h.errors.size(), 1);
        return;
    }
    QVERIFY(h.waitConnected());
    QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 1, 1), QRgb(laterColour), 5000);
    QVERIFY(h.errors.isEmpty());
    QCOMPARE(h.view->currentStatus(), RemoteView::Connected);
}

// A view against a server playing `script`, then expectOutcome; when it
// ends, its one message must contain `says` (any message if empty).
void expectScriptOutcome(const QList<Step> &script, bool ends, const QString &says = QString())
{
    ScriptedView h(script);
    QVERIFY(h.started);
    expectOutcome(h, ends);
    if (ends && !QTest::currentTestFailed())
        QVERIFY2(h.errors.first().contains(says), qPrintable(h.errors.first()));
}
} // namespace

class VncViewHostileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(dropViewDebug); }

    void absurdSizeAtInitIsRefused_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("65535 x 65535") << 65535 << 65535;
        QTest::newRow("16385 x 10") << 16385 << 10;
        QTest::newRow("10 x 16385") << 10 << 16385;
    }
    void absurdSizeAtInitIsRefused()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        ScriptedView h(handshake(quint16(width), quint16(height)));
        QVERIFY(h.started);
        QVERIFY(h.waitFailed());
        QVERIFY2(h.errors.first().contains(QStringLiteral("%1 x %2").arg(width).arg(height)),
                 qPrintable(h.errors.first()));
        QVERIFY(!h.log.contains("status:Connected"));
    }

    void emptyDesktopAtInitThenARealOne()
    {
        ScriptedView h(session(0, 0,
                               {framebufferUpdate({desktopSizeRect(desktop.width(), desktop.height())}),
                                framebufferUpdate({rawRect(QRect(QPoint(), desktop), laterColour)})}));
        QVERIFY(h.started);
        expectOutcome(h, false);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(h.view->remoteScreenSize(), desktop);
    }

    void sizeChangeLater_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("ends");
        const auto resize = [](int w, int h) { return framebufferUpdate({desktopSizeRect(w, h)}); };
        QTest::newRow("65535 x 65535") << resize(65535, 65535) << true;
        QTest::newRow("16385 x 10") << resize(16385, 10) << true;
        QTest::newRow("10 x 16385") << resize(10, 16385) << true;
        // An empty desktop is harmless; the real one that follows shows.
        QTest::newRow("0 x 0, then back") << resize(0, 0) + resize(64, 48) << false;
    }
    void sizeChangeLater()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, ends);
        expectScriptOutcome(afterFirstUpdate({message}), ends);
    }

    void rectanglesOutsideTheDesktop_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("ends");
        QTest::newRow("raw past the right edge") << framebufferUpdate({rawRect(QRect(60, 0, 10, 10), 0xff)}) << true;
        QTest::newRow("raw past the bottom edge") << framebufferUpdate({rawRect(QRect(0, 40, 10, 10), 0xff)})
                                                  << true;
        QTest::newRow("raw whose end wraps at 16 bits")
            << framebufferUpdate({rawRect(QRect(65530, 0, 10, 1), 0xff)}) << true;
        QTest::newRow("copy to outside") << framebufferUpdate({copyRect(QRect(60, 40, 10, 10), 0, 0)}) << true;
        // The library skips a copy from outside; nothing is read there.
        QTest::newRow("copy from outside") << framebufferUpdate({copyRect(QRect(0, 0, 10, 10), 60, 40)}) << false;
        QTest::newRow("copy from far outside")
            << framebufferUpdate({copyRect(QRect(0, 0, 10, 10), 65000, 65000)}) << false;
        QTest::newRow("empty rectangle far outside")
            << framebufferUpdate({rectHeader(65535, 65535, 0, 0, rawEncoding)}) << true;
    }
    void rectanglesOutsideTheDesktop()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, ends);
        expectScriptOutcome(afterFirstUpdate({message}), ends,
                            QStringLiteral("The VNC server sent an image that lies outside its screen."));
    }

    void cutText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("clipboard"); // null: left as it was
        QTest::addColumn<bool>("ends");
        const QByteArray mebibyte(1 << 20, 'x');
        const QByteArray invalidUtf8("caf\xe9 \xc3( \xff\xfe end");
        QTest::newRow("empty") << QByteArray() << QString() << false;
        QTest::newRow("exactly 1 MiB") << mebibyte << QString::fromLatin1(mebibyte) << false;
        QTest::newRow("invalid UTF-8 as Latin-1") << invalidUtf8 << QString::fromLatin1(invalidUtf8) << false;
        QTest::newRow("one byte over 1 MiB") << mebibyte + 'y' << QString() << true;
    }
    void cutText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, clipboard);
        QFETCH(bool, ends);
        const QString before = QStringLiteral("before %1").arg(QTest::currentDataTag());
        QApplication::clipboard()->setText(before);
        expectScriptOutcome(afterFirstUpdate({HostileRfb::cutText(bytes)}), ends,
                            QStringLiteral("The VNC server sent more clipboard text than this viewer accepts (1 MiB)."));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(QApplication::clipboard()->text(), clipboard.isNull() ? before : clipboard);
    }

    void cutTextLongerThanItsMessage()
    {
        // Announces 1 MiB, sends three bytes and closes.
        QList<Step> script = afterFirstUpdate({cutTextHeader(1 << 20) + "abc"});
        script.removeLast();
        script << Step::close();
        expectScriptOutcome(script, true);
    }

    void garbage_data()
    {
        QTest::addColumn<QList<Step>>("script");
        QTest::addColumn<QString>("says"); // part of the message, or any message
        const QString notUnderstood = "does not understand";
        QList<Step> early = handshake(64, 48);
        early << Step::send(QByteArray(64, '\xab'));
        QTest::newRow("unknown message type at once") << early << notUnderstood;
        QTest::newRow("unknown message type later")
            << afterFirstUpdate({QByteArray("\xab\x00\x01\x02", 4)}) << notUnderstood;
        QList<Step> longName = handshake(64, 48);
        longName.last() = Step::send(serverInit(64, 48).chopped(4 + 7) + QByteArray("\xff\xff\xff\xff", 4));
        QTest::newRow("desktop name of 4 GiB") << longName << QString();
        QList<Step> badVersion{Step::send("RFB 00x.zzz\n")};
        QTest::newRow("not a version") << badVersion << QString();
        QList<Step> noTypes = handshake(64, 48).mid(0, 2);
        noTypes << Step::send(QByteArray("\x00\x00\x00\x00\x05oops!", 10));
        QTest::newRow("no security types, a reason") << noTypes << QString();
    }
    void garbage()
    {
        QFETCH(QList<Step>, script);
        QFETCH(QString, says);
        expectScriptOutcome(script, true, says);
    }

    void handshakeBreaksOff_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("ending"); // Step::Close or Step::Reset
        for (int steps = 0; steps <= handshake(64, 48).size(); ++steps) {
            QTest::addRow("close after %d steps", steps) << steps << int(Step::Close);
            QTest::addRow("reset after %d steps", steps) << steps << int(Step::Reset);
        }
    }
    void handshakeBreaksOff()
    {
        QFETCH(int, steps);
        QFETCH(int, ending);
        QList<Step> script = handshake(64, 48).mid(0, steps);
        script << (ending == Step::Close ? Step::close() : Step::reset());
        ScriptedView h(script);
        QVERIFY(h.started);
        QVERIFY(h.waitFailed());
        QVERIFY(!h.errors.first().isEmpty());
        QVERIFY(!h.log.contains("status:Connected"));
    }

    void handshakeStallsThenTheViewGoes_data()
    {
        QTest::addColumn<int>("steps");
        for (int steps = 0; steps <= handshake(64, 48).size(); ++steps)
            QTest::addRow("stall after %d steps", steps) << steps;
    }
    void handshakeStallsThenTheViewGoes()
    {
        QFETCH(int, steps);
        const QList<Step> script = handshake(64, 48).mid(0, steps);
        RawServer server(script);
        QVERIFY(server.start());
        auto h = std::make_unique<ViewHarness>(loopbackUrl(server.port()));
        h->view->startConnecting();
        // The client has answered every step the server played.
        int expected = 0;
        for (const Step &s : script)
            expected += s.kind == Step::Expect ? s.count : 0;
        QTRY_VERIFY_WITH_TIMEOUT(server.acceptedCount() == 1 && server.received().first().size() >= expected, 3000);
        QTest::qWait(50);
        QVERIFY(h->errors.isEmpty());
        QCOMPARE(h->view->currentStatus(), RemoteView::Connecting);
        QVERIFY(timeToDestroy(h) < 1000);
    }

    // A server that holds back the rest of a rectangle for longer than the
    // keys may take: keys pressed meanwhile leave at once, in order, and the
    // rectangle still arrives whole. With requests, and with continuous
    // updates (confirmed first).
    void rectangleHeldBack_data()
    {
        QTest::addColumn<QList<QByteArray>>("before");
        QTest::newRow("requests") << QList<QByteArray>{};
        QTest::newRow("continuous updates") << QList<QByteArray>{QByteArray(1, char(150))};
    }
    void rectangleHeldBack()
    {
        QFETCH(QList<QByteArray>, before);
        const QRect all(QPoint(), desktop);
        const QByteArray later = framebufferUpdate({rawRect(all, laterColour)});
        QList<Step> script = session(quint16(desktop.width()), quint16(desktop.height()),
                                     before << framebufferUpdate({rawRect(all, firstColour)}));
        script << Step::send(later.left(later.size() / 2)) << Step::pause(4000)
               << Step::send(later.mid(later.size() / 2));
        ScriptedView h(script);
        QVERIFY(h.started);
        QVERIFY(h.waitConnected());
        QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 1, 1), QRgb(firstColour), 2000);
        QTest::qWait(100); // into the held-back rectangle
        QTest::keyClicks(h.view, "ab");
        QTRY_COMPARE_WITH_TIMEOUT(clientSent(h.server).filter(" "), (QStringList{"a down", "a up", "b down", "b up"}),
                                  2000);
        expectOutcome(h, false);
    }

    // Input written past the connection thread while a rectangle arrives
    // and the server reads nothing (a clipboard more than the socket takes,
    // then a key) is finished before the library writes again, also when a
    // SupportedMessages rectangle after the real one lets the library's
    // own update request go: the stream stays whole, plain and over TLS.
    void inputWhileTheServerStopsReading_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("plain") << false;
        QTest::newRow("TLS") << true;
    }
    void inputWhileTheServerStopsReading()
    {
        QFETCH(bool, tls);
        const QRect all(QPoint(), desktop);
        const QByteArray held = framebufferUpdate({rawRect(all, laterColour), supportedMessagesRect()});
        QList<Step> script = session(quint16(desktop.width()), quint16(desktop.height()),
                                     {framebufferUpdate({rawRect(all, firstColour)})}, tls);
        script << Step::send(held.left(5000)) << Step::pauseReading(2000) << Step::send(held.mid(5000));
        const QString clipboard(4 << 20, 'x');
        ScriptedView h(script);
        QVERIFY(h.started);
        QVERIFY(h.waitConnected());
        QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 1, 1), QRgb(firstColour), 2000);
        QTest::qWait(100); // into the rectangle held back
        QApplication::clipboard()->setText(clipboard);
        QTest::keyClick(h.view, 'a');
        const QStringList expected{QString::number(clipboard.size()), "request", "a down", "a up"};
        QTRY_COMPARE_WITH_TIMEOUT(clientSent(h.server, 4), expected, 10000);
        expectOutcome(h, false);
    }

    void resizeStorm_data()
    {
        QTest::addColumn<bool>("scaling");
        QTest::newRow("unscaled") << false;
        QTest::newRow("scaled") << true;
    }
    void resizeStorm()
    {
        QFETCH(bool, scaling);
        TestServer server(320, 240);
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()), QSize(400, 300));
        h.view->startConnecting();
        QVERIFY(h.waitConnected());
        h.view->enableScaling(scaling);
        QRandomGenerator random(scaling ? 7 : 11);
        for (int i = 0; i < 300; ++i) {
            server.resize(1 + random.bounded(i % 50 == 0 ? 4 : 700), 1 + random.bounded(i % 70 == 0 ? 4 : 500));
            if (i % 3 == 0)
                server.fillRect(QRect(0, 0, 3, 3), 0x123456);
            QCoreApplication::processEvents();
            h.view->repaint();
        }
        server.resize(200, 150);
        QTRY_COMPARE_WITH_TIMEOUT(h.view->remoteScreenSize(), QSize(200, 150), 10000);
        QVERIFY(h.errors.isEmpty());
        QCOMPARE(h.view->currentStatus(), RemoteView::Connected);
        if (scaling) {
            QTRY_COMPARE_WITH_TIMEOUT(h.view->size(), QSize(400, 300), 5000);
            QCOMPARE(h.view->horizontalScale(), 2.0f);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(h.view->size(), QSize(200, 150), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(h.view->grab().toImage().convertToFormat(QImage::Format_RGB32),
                                      server.framebuffer(), 5000);
        }
    }
};

VEMO_VIEW_TEST_MAIN(VncViewHostileTest)
#include "vncview_hostile_test.moc"
