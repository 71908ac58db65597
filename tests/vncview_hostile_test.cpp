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
#include <QtEndian>

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
    // The view paints the newest pixels before it takes the calls posted
    // ahead of them (a clipboard text): those are delivered now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
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
// `messages` after the first update; then the clipboard holds `clipboard`
// (null: what it held before), or the view ends saying what the limit is.
void expectClipboard(const QList<QByteArray> &messages, const QString &clipboard, bool ends)
{
    const QString before = QStringLiteral("before %1").arg(QTest::currentDataTag());
    QApplication::clipboard()->setText(before);
    expectScriptOutcome(afterFirstUpdate(messages), ends,
                        QStringLiteral("The VNC server sent more clipboard text than this viewer accepts (10 MiB)."));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(QApplication::clipboard()->text(), clipboard.isNull() ? before : clipboard);
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

    // libvncserver answers the request for the whole desktop with its size
    // alone, then the pixels: one request, one answer; the request asked
    // ahead as the pixels begin is the only other.
    void sizeAloneAnswersNoRequest()
    {
        const QRect all(QPoint(), desktop);
        ScriptedView h(session(quint16(desktop.width()), quint16(desktop.height()),
                               {framebufferUpdate({extendedDesktopSizeRect(desktop.width(), desktop.height())}),
                                framebufferUpdate({rawRect(all, laterColour)})}));
        QVERIFY(h.started);
        QVERIFY(h.waitConnected());
        QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 1, 1), QRgb(laterColour), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(clientSent(h.server), QStringList({"request", "request"}), 5000);
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

    // Without the extended clipboard's capabilities first: the old form.
    void cutText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("clipboard"); // null: left as it was
        QTest::addColumn<bool>("ends");
        const QByteArray limit(10 << 20, 'x');
        const QByteArray invalidUtf8("caf\xe9 \xc3( \xff\xfe end");
        QTest::newRow("empty") << QByteArray() << QString() << false;
        QTest::newRow("exactly 10 MiB") << limit << QString::fromLatin1(limit) << false;
        QTest::newRow("invalid UTF-8 as Latin-1") << invalidUtf8 << QString::fromLatin1(invalidUtf8) << false;
        QTest::newRow("one byte over 10 MiB") << limit + 'y' << QString() << true;
    }
    void cutText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, clipboard);
        QFETCH(bool, ends);
        expectClipboard({HostileRfb::cutText(bytes)}, clipboard, ends);
    }

    // The extended clipboard after the server's capabilities: good text
    // lands, a broken message is ignored, too much ends the connection.
    void extendedClipboard_data()
    {
        QTest::addColumn<QList<QByteArray>>("messages");
        QTest::addColumn<QString>("clipboard"); // null: left as it was
        QTest::addColumn<bool>("ends");
        QByteArray caps = extendedCutText(clipboardCapsFlag | 1, QByteArray(4, '\0'));
        const QString privet = QString::fromUtf8("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82,\n\xe2\x82\xac");
        const QByteArray wire = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82,\r\n\xe2\x82\xac";
        using L = QList<QByteArray>;
        QTest::newRow("flushed stream, CRLF") << L{caps, clipboardProvide(wire + '\0')} << privet << false;
        QTest::newRow("finished stream") << L{caps, clipboardProvide(wire + '\0', true)} << privet << false;
        QTest::newRow("without capabilities") << L{clipboardProvide(wire + '\0')} << privet << false;
        QTest::newRow("length under 4") << L{caps, cutTextHeader(quint32(-2)) + "ab"} << QString() << false;
        QTest::newRow("not zlib") << L{caps, extendedCutText(clipboardProvideFlag | 1, "no zlib here")} << QString()
                                  << false;
        QTest::newRow("size beyond the data") << L{caps, clipboardProvide("abc", false, 1000)} << QString() << false;
        QTest::newRow("unknown action") << L{caps, extendedCutText(1u << 30, {})} << QString() << false;
        QTest::newRow("inflates past 10 MiB")
            << L{caps, clipboardProvide(QByteArray((10 << 20) + 1, 'z'))} << QString() << true;
        QTest::newRow("length of 2 GiB") << L{caps, cutTextHeader(0x80000000u)} << QString() << true;
    }
    void extendedClipboard()
    {
        QFETCH(QList<QByteArray>, messages);
        QFETCH(QString, clipboard);
        QFETCH(bool, ends);
        expectClipboard(messages, clipboard, ends);
    }

    void cutTextLongerThanItsMessage()
    {
        // Announces 1 MiB, sends three bytes and closes.
        QList<Step> script = afterFirstUpdate({cutTextHeader(1 << 20) + "abc"});
        script.removeLast();
        script << Step::close();
        expectScriptOutcome(script, true);
    }

    // The server asks for our text, and which formats we have: answered,
    // with nothing (nothing was copied here), before the next update.
    void extendedClipboardQuestionsAreAnswered()
    {
        const QByteArray caps = extendedCutText(clipboardCapsFlag | 1, QByteArray(4, '\0'));
        RawServer server(afterFirstUpdate({caps, extendedCutText((1u << 25) | 1, {}), extendedCutText(1u << 26, {})}));
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()));
        QVERIFY(h.view->startConnecting());
        expectOutcome(h, false);
        // The flags of each extended ClientCutText, in order.
        QList<quint32> replies;
        const bool answered = QTest::qWaitFor([&] {
            replies.clear();
            const QByteArray sent = server.received().value(0);
            const QByteArray start("\x06\0\0\0\xff", 5);
            for (qsizetype at = sent.indexOf(start); at >= 0 && at + 12 <= sent.size(); at = sent.indexOf(start, at + 1))
                replies << qFromBigEndian<quint32>(sent.constData() + at + 8);
            return replies.size() >= 3;
        }, 5000);
        QVERIFY(answered);
        const quint32 provide = 1u << 28, notify = 1u << 27;
        QVERIFY(replies.value(0) & clipboardCapsFlag);
        QCOMPARE(replies.mid(1), (QList<quint32>{provide, notify}));
    }

    // What the server says about itself: a new desktop name, its bell, its
    // cursor with alpha; or such a message the view cannot take.
    void serverAnnouncements_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("flash"); // the view's bell flash is on
        QTest::addColumn<QString>("says"); // null: the connection stays
        const QByteArray name = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";
        QByteArray named = rectHeader(0, 0, 0, 0, -307);
        named += QByteArray("\0\0\0", 3) + char(name.size()) + name;
        // 2 x 2 of red at half opacity, pre-multiplied; hot spot (1, 1).
        QByteArray cursor = rectHeader(1, 1, 2, 2, -314) + QByteArray(4, '\0');
        for (int i = 0; i < 4; ++i)
            cursor += QByteArray("\x40\x00\x00\x80", 4);
        QByteArray tightCursor = cursor;
        tightCursor[15] = 7;
        const QString unknown = QStringLiteral("does not understand");
        QTest::newRow("desktop name") << framebufferUpdate({named}) << true << QString();
        QTest::newRow("bell") << QByteArray("\x02") << true << QString();
        QTest::newRow("bell, flash off") << QByteArray("\x02") << false << QString();
        QTest::newRow("cursor with alpha") << framebufferUpdate({cursor}) << true << QString();
        QTest::newRow("cursor with alpha, not raw") << framebufferUpdate({tightCursor}) << true << unknown;
        QTest::newRow("desktop name of 4 GiB")
            << framebufferUpdate({rectHeader(0, 0, 0, 0, -307) + QByteArray(4, '\xff')}) << true
            << QStringLiteral("longer than 1 MiB");
    }
    void serverAnnouncements()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, flash);
        QFETCH(QString, says);
        RawServer server(afterFirstUpdate({message}));
        QVERIFY(server.start());
        ViewHarness h(loopbackUrl(server.port()));
        h.view->setBellFlash(flash);
        QVERIFY(h.view->startConnecting());
        if (message == "\x02")
            QCOMPARE(QTest::qWaitFor([&] { return h.view->isFlashingBell(); }, 1000), flash);
        expectOutcome(h, !says.isNull());
        if (!says.isNull()) {
            QVERIFY2(h.errors.value(0).contains(says), qPrintable(h.errors.value(0)));
            return;
        }
        if (message.contains("\xff\xff\xfe\xcd"))
            QCOMPARE(h.view->desktopName(), QString::fromUtf8("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"));
        if (message.contains("\xff\xff\xfe\xc6")) {
            const QImage shape = h.view->cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY(!shape.isNull());
            const QRgb middle = shape.pixel(shape.width() / 2, shape.height() / 2);
            QVERIFY2(qAbs(qRed(middle) - 0x80) <= 2 && qAlpha(middle) == 0x80 && !qGreen(middle),
                     qPrintable(QString::number(middle, 16)));
        }
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
        // The view paints meanwhile: the decoder holds the picture only
        // while it decodes what came, not while it waits for the rest.
        QCOMPARE(shownAt(h.view, desktop.width() - 1, desktop.height() - 1), QRgb(firstColour));
        expectOutcome(h, false);
    }

    // Input written past the connection thread while a rectangle arrives
    // and the server reads nothing (a clipboard more than the socket takes,
    // then a key) is finished before the library writes again; a
    // SupportedMessages rectangle after the real one, which the library
    // reads over the list of messages it may send, must not let its own
    // update request go: the stream stays whole, plain and over TLS.
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
        // The request asked ahead as the rectangle began goes first; the
        // library's own, held back since then, stays held through the
        // SupportedMessages rectangle: no second request is outstanding.
        const QStringList sent{"request", QString::number(clipboard.size()), "a down", "a up"};
        QTRY_COMPARE_WITH_TIMEOUT(clientSent(h.server, 4), sent, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(shownAt(h.view, 1, 1), QRgb(laterColour), 10000);
        QCOMPARE(clientSent(h.server, 4), sent);
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
