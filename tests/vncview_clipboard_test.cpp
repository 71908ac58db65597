// Clipboard exchange of the VNC view, against the real X clipboard of the
// test's own Xvfb; other applications' copies come from xclip.
#include "debugcapture.h"
#include "hostileserver.h"
#include "testserver.h"
#include "viewharness.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace
{
const QString cafe = QString::fromUtf8("caf\xc3\xa9");

// Holds the client's connection until open() and then relays it to the
// server, so the view can be kept in Connecting for as long as needed.
class Gate : public QObject
{
public:
    bool listen()
    {
        QObject::connect(&listener, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = listener.nextPendingConnection()) {
                client = s;
                QObject::connect(s, &QTcpSocket::readyRead, this, [this] { pump(); });
            }
        });
        return listener.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return listener.serverPort(); }
    bool held() const { return client != nullptr; }
    void open(quint16 serverPort)
    {
        upstream = new QTcpSocket(this);
        QObject::connect(upstream, &QTcpSocket::readyRead, this, [this] {
            if (client)
                client->write(upstream->readAll());
        });
        QObject::connect(upstream, &QTcpSocket::connected, this, [this] { pump(); });
        upstream->connectToHost(QHostAddress::LocalHost, serverPort);
    }

private:
    void pump()
    {
        if (client && upstream && upstream->state() == QAbstractSocket::ConnectedState)
            upstream->write(client->readAll());
    }
    QTcpServer listener;
    QTcpSocket *client = nullptr;
    QTcpSocket *upstream = nullptr;
};

// The view in a small window, on the loopback server at 'port'.
struct Harness : ViewHarness
{
    explicit Harness(quint16 port) : ViewHarness(loopbackUrl(port), QSize(400, 300)) {}
};

QList<QByteArray> cutTexts(const QList<ClientMessage> &all)
{
    QList<QByteArray> out;
    for (const ClientMessage &m : all) {
        if (m.carriesText())
            out << m.text;
    }
    return out;
}

int keyCount(const TestServer &server)
{
    int n = 0;
    for (const ClientMessage &m : server.messages())
        n += m.type == ClientMessage::Key ? 1 : 0;
    return n;
}

// Polls with the event loop running: the connection thread waits on the
// GUI thread while it hands over server cut text.
bool waitForCut(const TestServer &server, const QByteArray &text)
{
    return QTest::qWaitFor([&] { return cutTexts(server.messages()).contains(text); }, 5000);
}

// Lets late clipboard notifications arrive, then taps space: whatever the
// view sent before reaches the server first.
QList<QByteArray> cutsBeforeSentinel(const TestServer &server, QWidget *view)
{
    QTest::qWait(500);
    const int before = keyCount(server);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    QApplication::sendEvent(view, &release);
    if (!QTest::qWaitFor([&] { return keyCount(server) >= before + 2; }, 5000))
        return {"<sentinel missing>"};
    return cutTexts(server.messages());
}
} // namespace

class VncViewClipboardTest : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<QProcess>> copiers;

    // Another application copies: xclip owns the selection until replaced.
    // Returns once this application has been told of the change.
    bool otherAppCopies(const QString &text, QClipboard::Mode mode)
    {
        QClipboard *cb = QApplication::clipboard();
        QSignalSpy spy(cb, mode == QClipboard::Clipboard ? &QClipboard::dataChanged : &QClipboard::selectionChanged);
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        p->setProcessEnvironment(env);
        p->start("xclip", {"-quiet", "-selection", mode == QClipboard::Clipboard ? "clipboard" : "primary"});
        if (!p->waitForStarted(5000))
            return false;
        p->write(text.toUtf8());
        p->closeWriteChannel();
        copiers.push_back(std::move(p));
        return QTest::qWaitFor([&] { return !spy.isEmpty() && cb->text(mode) == text; }, 5000);
    }

private slots:
    void cleanup()
    {
        for (auto &p : copiers) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        copiers.clear();
    }

    void serverTextLandsInBothModesAndIsNotEchoed()
    {
        TestServer server(64, 48);
        QVERIFY(server.start());
        Harness h(server.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());
        QClipboard *cb = QApplication::clipboard();
        QVERIFY(cb->supportsSelection());
        server.sendCutText("from the server");
        QTRY_COMPARE(cb->text(QClipboard::Clipboard), QString("from the server"));
        QTRY_COMPARE(cb->text(QClipboard::Selection), QString("from the server"));
        QCOMPARE(cutsBeforeSentinel(server, h.view), QList<QByteArray>());
    }

    void otherApplicationCopyReachesTheServerOncePerMode()
    {
        TestServer server(64, 48);
        QVERIFY(server.start());
        Harness h(server.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());
        QVERIFY(otherAppCopies("copied elsewhere", QClipboard::Clipboard));
        QVERIFY(waitForCut(server, "copied elsewhere"));
        QCOMPARE(cutsBeforeSentinel(server, h.view), QList<QByteArray>{"copied elsewhere"});

        QVERIFY(otherAppCopies("selected elsewhere", QClipboard::Selection));
        QVERIFY(waitForCut(server, "selected elsewhere"));
        QCOMPARE(cutsBeforeSentinel(server, h.view), (QList<QByteArray>{"copied elsewhere", "selected elsewhere"}));
    }

    void copyWhileConnectingIsNeverSent()
    {
        TestServer server(64, 48);
        QVERIFY(server.start());
        Gate gate;
        QVERIFY(gate.listen());
        Harness h(gate.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(QTest::qWaitFor([&] { return gate.held(); }, 5000));
        QVERIFY(otherAppCopies("too early", QClipboard::Clipboard));
        QVERIFY(otherAppCopies("too early too", QClipboard::Selection));
        QCOMPARE(h.view->currentStatus(), RemoteView::Connecting);

        gate.open(server.port());
        QVERIFY(h.waitConnected());
        QCOMPARE(cutsBeforeSentinel(server, h.view), QList<QByteArray>());

        // The first change after the connection is up is the first one sent.
        QVERIFY(otherAppCopies("in time", QClipboard::Clipboard));
        QVERIFY(waitForCut(server, "in time"));
        QCOMPARE(cutsBeforeSentinel(server, h.view), QList<QByteArray>{"in time"});
    }

    void ownCopyIsNotSent()
    {
        TestServer server(64, 48);
        QVERIFY(server.start());
        Harness h(server.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());
        QClipboard *cb = QApplication::clipboard();
        QSignalSpy changed(cb, &QClipboard::dataChanged);
        QSignalSpy selected(cb, &QClipboard::selectionChanged);
        cb->setText("copied here", QClipboard::Clipboard);
        cb->setText("selected here", QClipboard::Selection);
        QTRY_VERIFY(!changed.isEmpty() && !selected.isEmpty());
        QCOMPARE(cutsBeforeSentinel(server, h.view), QList<QByteArray>());
    }

    // libvncserver's server offers the extended clipboard: text goes out
    // as UTF-8, whole; none of it reaches the log.
    void textBothWaysStaysOutOfTheLog_data()
    {
        QTest::addColumn<QByteArray>("fromServer");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<QByteArray>("toServer");
        QTest::newRow("Latin-1") << QByteArray("caf\xe9") << cafe << cafe + "!" << (cafe + "!").toUtf8();
        const QString privet = QString::fromUtf8("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82, \xe2\x82\xac");
        QTest::newRow("Cyrillic") << privet.toUtf8() << privet << privet << privet.toUtf8();
    }
    void textBothWaysStaysOutOfTheLog()
    {
        QFETCH(QByteArray, fromServer);
        QFETCH(QString, shown);
        QFETCH(QString, copied);
        QFETCH(QByteArray, toServer);
        DebugCapture::install();
        DebugCapture::clear();
        TestServer server(64, 48);
        QVERIFY(server.start());
        Harness h(server.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());
        server.sendCutText(fromServer);
        QTRY_COMPARE(QApplication::clipboard()->text(QClipboard::Clipboard), shown);

        QVERIFY(otherAppCopies(copied, QClipboard::Clipboard));
        QVERIFY(waitForCut(server, toServer));
        const QStringList log = DebugCapture::lines();
        qInstallMessageHandler(nullptr);
        for (const QString &line : log)
            QVERIFY2(!line.contains(shown) && !line.contains(copied), qPrintable(line));
    }

    // A server that never states its capabilities gets ISO 8859-1, "?" for
    // each character beyond it, never UTF-8 bytes to show as mojibake.
    void serverWithoutExtendedClipboardGetsLatin1()
    {
        using namespace HostileRfb;
        ScriptedServer legacy(session(64, 48, {framebufferUpdate({rawRect(QRect(0, 0, 64, 48), 0x336699)})}));
        QVERIFY(legacy.started);
        Harness h(legacy.server.port());
        QVERIFY(h.view->startConnecting());
        QVERIFY(h.waitConnected());
        QVERIFY(otherAppCopies(QString::fromUtf8("caf\xc3\xa9 \xd0\x9f\xd1\x80\xd0\xb8, \xe2\x82\xac"),
                               QClipboard::Clipboard));
        const QByteArray expected = QByteArray("\x06\0\0\0\0\0\0\x0b", 8) + "caf\xe9 ???, ?";
        QVERIFY(QTest::qWaitFor([&] { return legacy.server.received().value(0).contains(expected); }, 5000));
    }
};

VEMO_VIEW_TEST_MAIN(VncViewClipboardTest)
#include "vncview_clipboard_test.moc"
