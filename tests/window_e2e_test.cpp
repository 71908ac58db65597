// The window against TigerVNC's Xvnc on loopback: the server's screen
// follows the window, a cancelled sign-in can be retried, a lost session is
// reconnected to with the password typed once, and servers that connect
// to a listening window (vncconfig -connect) are shown, each asked for its
// own password.
#include "commandline.h"
#include "e2e_servers.h"
#include "relay.h"
#include "vemo.h"
#include "vncview.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{
// A window with these options on this server, shown; password dialogs are
// answered with 'typed' and counted.
struct Window
{
    Window(const QUrl &url, const WindowOptions &options)
    {
        Vemo::setServerUrl(url);
        Vemo::setWindowOptions(options);
        window = std::make_unique<Vemo>(nullptr, Qt::WindowFlags());
        Vemo::setWindowOptions({});
        window->show();
        view = window->findChild<VncView *>();
        QObject::connect(view, &RemoteView::errorMessage, [this](const QString &, const QString &m) { errors << m; });
    }

    // Waits for 'done', answering password dialogs with 'typed' (empty:
    // Cancel); the dialog's text is kept in 'asked'.
    template<typename Done>
    bool waitFor(Done done, const QString &typed = QString(), int ms = 20000)
    {
        return QTest::qWaitFor([&] {
            auto *dialog = window->findChild<QDialog *>(QStringLiteral("passwordDialog"));
            if (dialog && dialog->isVisible()) {
                ++dialogs;
                asked = dialog->findChild<QLabel *>()->text();
                auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("password"));
                QTest::keyClicks(field, typed);
                QTest::keyClick(field, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
            }
            return done();
        }, ms);
    }
    bool connected(const QString &typed = QString(), int ms = 20000)
    {
        return waitFor([this] { return view->currentStatus() == RemoteView::Connected; }, typed, ms);
    }
    bool failed(const QString &typed, const QString &says)
    {
        return waitFor([&] { return !errors.isEmpty() && errors.last().contains(says); }, typed);
    }
    QString notice() const { return window->findChild<QLabel *>(QStringLiteral("notice"))->text(); }
    // Whether the picture shows the colour (the server's root window), give or take JPEG.
    bool shows(QColor c) const
    {
        const QColor p = view->grab().toImage().pixelColor(4, 4);
        return qAbs(p.red() - c.red()) + qAbs(p.green() - c.green()) + qAbs(p.blue() - c.blue()) < 60;
    }

    std::unique_ptr<Vemo> window;
    VncView *view = nullptr;
    int dialogs = 0;
    QString asked;
    QStringList errors;
};

QUrl loopback(quint16 port)
{
    return QUrl(QStringLiteral("vnc://127.0.0.1:%1").arg(port));
}

// The screen size the X server itself reports.
QSize screenOf(const XServer &server)
{
    const ToolRun run = runTool(server.display, QStringLiteral("xdpyinfo"), {});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("dimensions:\\s+(\\d+)x(\\d+) pixels")).match(QString::fromLatin1(run.out));
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

bool paintRoot(const XServer &server, const QString &colour)
{
    const ToolRun run = runTool(server.display, QStringLiteral("xsetroot"), {"-solid", colour});
    return run.finished && run.exitCode == 0;
}

enum Ending { Stopped, Killed, Reset };

const char lost[] = "The connection to the VNC server was lost.";
const char waiting[] = "Waiting for a VNC server to connect on port";
} // namespace

class WindowE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        xvnc = QStandardPaths::findExecutable("Xvnc");
        QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
        QVERIFY(dir.isValid());
    }

    void serverScreenFollowsTheWindow()
    {
        XServer desktop;
        const quint16 port = freePort();
        QVERIFY(desktop.start(xvnc, {"-rfbport", QString::number(port), "-localhost", "-SecurityTypes", "None",
                                     "-geometry", "640x480"}));
        WindowOptions options;
        options.remoteResize = true;
        Window w(loopback(port), options);
        QVERIFY(w.connected());
        QTRY_VERIFY_WITH_TIMEOUT(w.view->canResizeRemote(), 10000);
        w.window->resize(500, 376);
        QTRY_COMPARE_WITH_TIMEOUT(w.view->remoteScreenSize(), QSize(500, 376), 10000);
        QCOMPARE(screenOf(desktop), QSize(500, 376));
        // Pixel for pixel again: nothing left to scale.
        QTRY_VERIFY(!w.view->isScaling());
    }

    // The new server shows another colour: a new picture, not the last one
    // frozen.
    void lostSessionIsReconnected_data()
    {
        QTest::addColumn<QString>("types");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QString>("says");
        QTest::newRow("VncAuth, server stopped") << "VncAuth" << int(Stopped) << "VNC server closed connection.";
        QTest::newRow("TLSVnc, server killed") << "TLSVnc,VncAuth" << int(Killed) << lost;
        QTest::newRow("VncAuth, connection reset") << "VncAuth" << int(Reset) << lost;
    }
    void lostSessionIsReconnected()
    {
        QFETCH(QString, types);
        QFETCH(int, ending);
        QFETCH(QString, says);
        const quint16 port = freePort();
        const QStringList args{"-rfbport", QString::number(port), "-localhost", "-SecurityTypes", types,
                               "-PasswordFile", passwordFile("restart1"), "-geometry", "320x240"};
        auto desktop = std::make_unique<XServer>();
        QVERIFY(desktop->start(xvnc, args) && paintRoot(*desktop, "red"));
        vemotest::Relay relay(port, [](const QList<ClientMessage> &) {});
        QVERIFY(ending != Reset || relay.start());
        WindowOptions options;
        options.reconnect = true;
        const quint16 viewed = ending == Reset ? relay.port() : port;
        Window w(loopback(viewed), options);
        // A cancelled sign-in says so and offers Reconnect, which asks again.
        QVERIFY(w.failed(QString(), "Sign-in was cancelled"));
        QVERIFY(w.asked.contains(QStringLiteral("127.0.0.1:%1").arg(viewed)));
        auto *button = w.window->findChild<QPushButton *>("reconnectButton");
        QTRY_VERIFY(button->isVisible());
        button->click();
        QVERIFY(w.connected("restart1"));
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(Qt::red), 10000);

        if (ending == Reset)
            relay.dropAll(true);
        if (ending == Killed) {
            desktop->process.kill();
            QVERIFY(desktop->process.waitForFinished());
            // What a killed X server leaves behind.
            QFile::remove(QStringLiteral("/tmp/.X%1-lock").arg(desktop->display));
            QFile::remove(QStringLiteral("/tmp/.X11-unix/X%1").arg(desktop->display));
        }
        if (ending != Reset) {
            desktop = std::make_unique<XServer>(); // the old one is stopped first
            QVERIFY(desktop->start(xvnc, args));
        }
        QTRY_VERIFY_WITH_TIMEOUT(w.errors.size() == 2, 10000);
        QVERIFY2(w.errors.last().startsWith(says), qPrintable(w.errors.last()));
        QVERIFY(w.view->connectionLost());
        QVERIFY(paintRoot(*desktop, "lime"));
        // Tries 1, 2, 4 ... seconds apart: within a minute it is back.
        QVERIFY(w.connected(QString(), 60000));
        QTRY_VERIFY_WITH_TIMEOUT(w.shows(Qt::green), 10000);
        QCOMPARE(w.dialogs, 2);
    }

    // A password typed for one server is never offered to the next one,
    // and between sessions the window says that it waits.
    void listeningWindowAsksEachServer()
    {
        XServer first;
        XServer second;
        QVERIFY(first.start(xvnc, {"-rfbport", "-1", "-SecurityTypes", "VncAuth", "-PasswordFile",
                                   passwordFile("alpha1"), "-geometry", "300x200"}));
        QVERIFY(second.start(xvnc, {"-rfbport", "-1", "-SecurityTypes", "VncAuth", "-PasswordFile",
                                    passwordFile("bravo2", "second")}));
        WindowOptions options;
        options.listenPort = freePort();
        Window w(loopback(1), options);
        const QString here = QStringLiteral("127.0.0.1:%1").arg(options.listenPort);
        const auto connectFrom = [&](const XServer &server) {
            const ToolRun run = runTool(server.display, "vncconfig", {"-connect", here});
            return run.finished && run.exitCode == 0;
        };
        QVERIFY(connectFrom(first));
        QCOMPARE(w.window->listeningPort(), quint16(options.listenPort));
        QVERIFY(w.connected("alpha1"));
        QCOMPARE(w.view->remoteScreenSize(), QSize(300, 200));
        stopProcess(first.process);
        QTRY_VERIFY_WITH_TIMEOUT(w.notice().contains(waiting), 10000);

        QVERIFY(connectFrom(second));
        QVERIFY(w.failed("wrong", "VNC authentication failed."));
        QCOMPARE(w.dialogs, 2);
        QVERIFY2(w.notice().contains(waiting), qPrintable(w.notice()));
        QVERIFY(connectFrom(second));
        QVERIFY(w.connected("bravo2"));
        QCOMPARE(w.dialogs, 3);
    }

private:
    QString passwordFile(const QByteArray &password, const QString &name = "passwd")
    {
        return writeVncPasswordFile(dir.filePath(name), password);
    }

    QString xvnc;
    QTemporaryDir dir;
};

QTEST_MAIN(WindowE2eTest)
#include "window_e2e_test.moc"
