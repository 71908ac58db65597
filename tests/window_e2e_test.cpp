// The window against TigerVNC's Xvnc on loopback: the server's screen
// follows the window, a restarted server is reconnected to with the
// password typed once, and a server that connects to a listening window
// (vncconfig -connect) is shown.
#include "commandline.h"
#include "e2e_servers.h"
#include "vemo.h"
#include "vncview.h"

#include <QDialog>
#include <QFile>
#include <QLineEdit>
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
    }

    bool connected(const QString &typed = QString(), int ms = 20000)
    {
        return QTest::qWaitFor([&] {
            auto *dialog = window->findChild<QDialog *>(QStringLiteral("passwordDialog"));
            if (dialog && dialog->isVisible()) {
                ++dialogs;
                QTest::keyClicks(dialog->findChild<QLineEdit *>(), typed);
                QTest::keyClick(dialog->findChild<QLineEdit *>(), Qt::Key_Return);
            }
            return view->currentStatus() == RemoteView::Connected;
        }, ms);
    }

    std::unique_ptr<Vemo> window;
    VncView *view = nullptr;
    int dialogs = 0;
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

    void restartedServerIsReconnectedWithTheTypedPassword()
    {
        QByteArray obfuscated;
        QProcess vncpasswd;
        vncpasswd.start("vncpasswd", {"-f"});
        vncpasswd.write("restart1\n");
        vncpasswd.closeWriteChannel();
        QVERIFY(vncpasswd.waitForFinished(10000));
        QFile file(dir.filePath("passwd"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(vncpasswd.readAllStandardOutput()) > 0);
        file.close();
        const quint16 port = freePort();
        const QStringList args{"-rfbport", QString::number(port), "-localhost", "-SecurityTypes", "VncAuth",
                               "-PasswordFile", file.fileName(), "-geometry", "320x240"};
        auto desktop = std::make_unique<XServer>();
        QVERIFY(desktop->start(xvnc, args));
        WindowOptions options;
        options.reconnect = true;
        Window w(loopback(port), options);
        QVERIFY(w.connected("restart1"));
        QCOMPARE(w.dialogs, 1);

        desktop.reset();
        QTRY_COMPARE_WITH_TIMEOUT(w.view->currentStatus(), RemoteView::Disconnected, 10000);
        QVERIFY(w.view->connectionLost());
        desktop = std::make_unique<XServer>();
        QVERIFY(desktop->start(xvnc, args));
        // Tries 1, 2, 4 ... seconds apart: within a minute it is back.
        QVERIFY(w.connected(QString(), 60000));
        QCOMPARE(w.dialogs, 1);
    }

    void serverConnectingToAListeningWindowIsShown()
    {
        XServer desktop;
        QVERIFY(desktop.start(xvnc, {"-rfbport", "-1", "-SecurityTypes", "None", "-geometry", "300x200"}));
        WindowOptions options;
        options.listenPort = freePort();
        Window w(loopback(1), options);
        QCOMPARE(w.window->listeningPort(), quint16(options.listenPort));
        const ToolRun connect = runTool(desktop.display, "vncconfig",
                                        {"-connect", QStringLiteral("127.0.0.1:%1").arg(options.listenPort)});
        QVERIFY2(connect.finished && connect.exitCode == 0, connect.err.constData());
        QVERIFY(w.connected());
        QCOMPARE(w.view->remoteScreenSize(), QSize(300, 200));
    }

private:
    QString xvnc;
    QTemporaryDir dir;
};

QTEST_MAIN(WindowE2eTest)
#include "window_e2e_test.moc"
