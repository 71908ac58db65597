// The real vemo program on a virtual display of its own, against a real VNC
// desktop (TigerVNC's Xvnc, on loopback): what the window shows, that closing
// it ends the program, and signing in with a vncpasswd password file.
#include "e2e_servers.h"
#include "shell_e2e_x11.h"
#include "shell_process.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
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
    void cleanup();
    void windowShowsTheRemoteDesktopAndClosesQuickly();
    void passwordFileSignsIn();
    void fullScreenCoversTheScreenWithoutAWindowManager();
    void aLostConnectionIsToldOverThePicture();

private:
    // Each test's set-up: a remote desktop showing the test pattern, with
    // 'security' as Xvnc's security arguments; a local display; vemo on it,
    // started with 'arguments' before the URL and quality 1 (lossless, so
    // the pixels match exactly) after it. Returns once vemo's window shows
    // the remote screen; fails the test if it does not.
    void showRemoteDesktop(const QStringList &security, const QStringList &arguments);
    void startDesktop(const QStringList &security);
    void startVemo(const QStringList &arguments);
    void waitForRemoteScreen();

    const QSize desktop{320, 240};
    QString xvnc;
    QString xvfb;
    std::unique_ptr<XServer> vncDesktop;
    std::unique_ptr<XConnection> remote;
    std::unique_ptr<XServer> localDisplay;
    std::unique_ptr<XConnection> local;
    std::unique_ptr<QProcess> vemo;
    QTemporaryDir runtimeDir; // a session's private XDG_RUNTIME_DIR
    QString address; // host:port of the remote desktop
    unsigned long window = 0;
};

void ShellE2eTest::initTestCase()
{
    xvnc = QStandardPaths::findExecutable(QStringLiteral("Xvnc"));
    xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
    QVERIFY2(!xvfb.isEmpty(), "Xvfb is missing: run scripts/install-deps.sh");
}

void ShellE2eTest::cleanup()
{
    if (vemo)
        stopProcess(*vemo);
    vemo.reset();
    local.reset();
    localDisplay.reset();
    remote.reset();
    vncDesktop.reset();
    window = 0;
}

void ShellE2eTest::showRemoteDesktop(const QStringList &security, const QStringList &arguments)
{
    startDesktop(security);
    if (!QTest::currentTestFailed())
        startVemo(arguments);
    if (!QTest::currentTestFailed())
        waitForRemoteScreen();
}

void ShellE2eTest::startDesktop(const QStringList &security)
{
    const quint16 rfbPort = freePort();
    QVERIFY(rfbPort);
    address = QStringLiteral("127.0.0.1:%1").arg(rfbPort);
    vncDesktop = std::make_unique<XServer>();
    QVERIFY(vncDesktop->start(xvnc, QStringList{QStringLiteral("-rfbport"), QString::number(rfbPort),
                                                QStringLiteral("-localhost"), QStringLiteral("-geometry"),
                                                QStringLiteral("%1x%2").arg(desktop.width()).arg(desktop.height()),
                                                QStringLiteral("-depth"), QStringLiteral("24"),
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp")}
                                        + security));
    remote = std::make_unique<XConnection>(vncDesktop->display);
    QVERIFY(remote->isOpen());
    remote->setRootImage(testPattern(desktop.width(), desktop.height()));
    QCOMPARE(remote->grabRoot(), testPattern(desktop.width(), desktop.height()));
}

void ShellE2eTest::startVemo(const QStringList &arguments)
{
    localDisplay = std::make_unique<XServer>();
    QVERIFY(localDisplay->start(xvfb, {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                                       QStringLiteral("-nolisten"), QStringLiteral("tcp")}));
    local = std::make_unique<XConnection>(localDisplay->display);
    QVERIFY(local->isOpen());

    vemo = std::make_unique<QProcess>();
    QProcessEnvironment env = displayEnvironment(localDisplay->display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vemo.performance.info=true"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    // As a desktop session has it; Qt warns without one.
    if (!env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    // In sanitizer builds: leaks of the system's libraries are not ours.
    const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
    env.insert(QStringLiteral("LSAN_OPTIONS"), (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                                                   + QStringLiteral("suppressions=" SHELL_LSAN_SUPPRESSIONS));
    vemo->setProcessEnvironment(env);
    vemo->start(QStringLiteral(VEMO_BINARY),
                arguments + QStringList{QStringLiteral("vnc://") + address, QStringLiteral("1")});
    QVERIFY(vemo->waitForStarted());
}

void ShellE2eTest::waitForRemoteScreen()
{
    const auto showLog = qScopeGuard([&] {
        if (QTest::currentTestFailed())
            qWarning("vemo's output: %s", vemo->readAllStandardError().constData());
    });
    // The title says the connection stands.
    QTRY_VERIFY_WITH_TIMEOUT((window = local->findWindow(vemo->processId(), address + QStringLiteral(" (not encrypted) - vemo"))),
                             20000);
    QTRY_COMPARE_WITH_TIMEOUT(local->windowSize(window), desktop, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(local->grab(window), remote->grabRoot(), 10000);
}

void ShellE2eTest::windowShowsTheRemoteDesktopAndClosesQuickly()
{
    showRemoteDesktop({QStringLiteral("-SecurityTypes"), QStringLiteral("None")}, {});
    if (QTest::currentTestFailed())
        return;

    // Changes on the remote desktop follow.
    QImage changed = testPattern(desktop.width(), desktop.height()).mirrored(true, false);
    remote->setRootImage(changed);
    QTRY_COMPARE_WITH_TIMEOUT(local->grab(window), remote->grabRoot(), 10000);

    local->requestClose(window);
    // The close request has reached the X server's queue for vemo.
    QElapsedTimer sinceClose;
    sinceClose.start();
    QVERIFY(vemo->waitForFinished(10000));
    const qint64 closeTook = sinceClose.elapsed();
    QCOMPARE(vemo->exitStatus(), QProcess::NormalExit);
    const QByteArray log = vemo->readAllStandardError();
    QVERIFY2(vemo->exitCode() == 0, log.constData());
    QVERIFY2(log.contains("Exited event loop") && log.contains("Exiting main"), log.constData());
    // A normal session prints nothing but the performance lines asked for.
    for (const QByteArray &line : log.split('\n'))
        QVERIFY2(line.isEmpty() || line.startsWith("vemo.performance: "), log.constData());
    qInfo("closing took %lld ms", closeTook);
    QVERIFY2(closeTook < 1000, qPrintable(QStringLiteral("closing took %1 ms").arg(closeTook)));
}

void ShellE2eTest::passwordFileSignsIn()
{
    QTemporaryDir files;
    QVERIFY(files.isValid());
    // One file for both sides, as vncpasswd makes it for the server.
    const QString passwordFile = files.filePath(QStringLiteral("passwd"));
    QVERIFY2(shelltest::makeVncPasswordFile(passwordFile, "e2e-Secret\n"),
             "vncpasswd failed; is it missing? Run scripts/install-deps.sh");

    showRemoteDesktop({QStringLiteral("-SecurityTypes"), QStringLiteral("VncAuth"), QStringLiteral("-PasswordFile"),
                       passwordFile},
                      {QStringLiteral("--passwd"), passwordFile});
}

// Xvfb has no window manager, as a kiosk or a thin client: full screen must
// still cover the screen, and the server's desktop follow it.
void ShellE2eTest::fullScreenCoversTheScreenWithoutAWindowManager()
{
    startDesktop({QStringLiteral("-SecurityTypes"), QStringLiteral("None")});
    if (!QTest::currentTestFailed())
        startVemo({QStringLiteral("--fullscreen"), QStringLiteral("--remote-resize")});
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(
        (window = local->findWindow(vemo->processId(), address + QStringLiteral(" (not encrypted) - vemo"))), 20000);
    const QSize screen = local->grabRoot().size();
    QCOMPARE(screen, QSize(800, 600));
    QTRY_COMPARE_WITH_TIMEOUT(local->windowSize(window), screen, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(remote->grabRoot().size(), screen, 10000);

    // Left from the menu, with the keyboard: the window has its size back.
    for (const char *key : {"Menu", "f"})
        QCOMPARE(runTool(localDisplay->display, QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(key)})
                     .exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(local->windowSize(window), QSize(640, 480), 10000);
}

// The view puts the picture into an X window of its own: the notice of a
// lost connection must still show over it on the screen itself.
void ShellE2eTest::aLostConnectionIsToldOverThePicture()
{
    showRemoteDesktop({QStringLiteral("-SecurityTypes"), QStringLiteral("None")}, {});
    if (QTest::currentTestFailed())
        return;
    remote.reset();
    vncDesktop.reset();
    // The notice's panel: one dark grey, which the test pattern hardly has.
    const auto panelPixels = [&] {
        const QImage shown = local->grab(window);
        int grey = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb p = shown.pixel(x, y);
                grey += qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qRed(p) >= 30 && qRed(p) <= 60;
            }
        }
        return grey;
    };
    QTRY_VERIFY_WITH_TIMEOUT(panelPixels() > 5000, 10000);
}

QTEST_GUILESS_MAIN(ShellE2eTest)

#include "shell_e2e_test.moc"

