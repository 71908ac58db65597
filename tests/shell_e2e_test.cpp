// The real vemo program on a virtual display of its own, against a real VNC
// desktop (TigerVNC's Xvnc, on loopback): what the window shows, and that
// closing it ends the program.
#include "e2e_servers.h"
#include "shell_e2e_x11.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

// Content that shows any shift, flip or scaling: no two neighbours alike.
QImage testPattern(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * 3) & 0xff, ((x * 13) ^ (y * 5)) & 0xff, (y * 11 + x) & 0xff));
    }
    return image;
}

} // namespace

class ShellE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowShowsTheRemoteDesktopAndClosesQuickly();

private:
    QString xvnc;
    QString xvfb;
};

void ShellE2eTest::initTestCase()
{
    xvnc = QStandardPaths::findExecutable(QStringLiteral("Xvnc"));
    xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
    QVERIFY2(!xvfb.isEmpty(), "Xvfb is missing: run scripts/install-deps.sh");
}

void ShellE2eTest::windowShowsTheRemoteDesktopAndClosesQuickly()
{
    const QSize desktop(320, 240);
    const quint16 rfbPort = freePort();
    QVERIFY(rfbPort);
    XServer vncDesktop;
    QVERIFY(vncDesktop.start(xvnc, {QStringLiteral("-rfbport"), QString::number(rfbPort),
                                    QStringLiteral("-localhost"), QStringLiteral("-SecurityTypes"),
                                    QStringLiteral("None"), QStringLiteral("-geometry"),
                                    QStringLiteral("%1x%2").arg(desktop.width()).arg(desktop.height()),
                                    QStringLiteral("-depth"), QStringLiteral("24"),
                                    QStringLiteral("-nolisten"), QStringLiteral("tcp")}));
    XConnection remote(vncDesktop.display);
    QVERIFY(remote.isOpen());
    remote.setRootImage(testPattern(desktop.width(), desktop.height()));
    const QImage remoteScreen = remote.grabRoot();
    QCOMPARE(remoteScreen, testPattern(desktop.width(), desktop.height()));

    XServer localDisplay;
    QVERIFY(localDisplay.start(xvfb, {QStringLiteral("-screen"), QStringLiteral("0"),
                                      QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                                      QStringLiteral("tcp")}));
    XConnection local(localDisplay.display);
    QVERIFY(local.isOpen());

    QProcess vemo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(localDisplay.display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vemo.performance.info=true"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // In sanitizer builds: leaks of the system's libraries are not ours.
    const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
    env.insert(QStringLiteral("LSAN_OPTIONS"), (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                                                   + QStringLiteral("suppressions=" SHELL_LSAN_SUPPRESSIONS));
    vemo.setProcessEnvironment(env);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(rfbPort);
    // Quality 1 is lossless, so the pixels must match exactly.
    vemo.start(QStringLiteral(VEMO_BINARY), {QStringLiteral("vnc://") + address, QStringLiteral("1")});
    QVERIFY(vemo.waitForStarted());
    auto stopVemo = qScopeGuard([&] {
        if (vemo.state() != QProcess::NotRunning) {
            vemo.kill();
            vemo.waitForFinished();
        }
    });

    // The title says the connection stands.
    unsigned long window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = local.findWindow(vemo.processId(), address + QStringLiteral(" (not encrypted) - vemo"))),
                             20000);
    QTRY_COMPARE_WITH_TIMEOUT(local.windowSize(window), desktop, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(local.grab(window), remoteScreen, 10000);

    // Changes on the remote desktop follow.
    QImage changed = testPattern(desktop.width(), desktop.height()).mirrored(true, false);
    remote.setRootImage(changed);
    QTRY_COMPARE_WITH_TIMEOUT(local.grab(window), remote.grabRoot(), 10000);

    local.requestClose(window);
    // The close request has reached the X server's queue for vemo.
    QElapsedTimer sinceClose;
    sinceClose.start();
    QVERIFY(vemo.waitForFinished(10000));
    const qint64 closeTook = sinceClose.elapsed();
    QCOMPARE(vemo.exitStatus(), QProcess::NormalExit);
    const QByteArray log = vemo.readAllStandardError();
    QVERIFY2(vemo.exitCode() == 0, log.constData());
    QVERIFY2(log.contains("Exited event loop") && log.contains("Exiting main"), log.constData());
    qInfo("closing took %lld ms", closeTook);
    QVERIFY2(closeTook < 1000, qPrintable(QStringLiteral("closing took %1 ms").arg(closeTook)));
}

QTEST_GUILESS_MAIN(ShellE2eTest)

#include "shell_e2e_test.moc"
