// The real vemo program on a virtual display of its own, against QEMU's VNC
// server on loopback (a machine without disk, held before its first
// instruction): QEMU acknowledges extended key events, so a key goes with
// its place on the keyboard, an XT scan code, unless the user turned that
// off. QEMU's trace of its key events shows what it received.
#include "e2e_servers.h"
#include "shell_e2e_x11.h"

#include <QStandardPaths>
#include <QtTest>

class PhysicalKeysE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keysGoWithTheirPlace_data();
    void keysGoWithTheirPlace();

private:
    XServer localDisplay;
    QString qemu;
};

void PhysicalKeysE2eTest::initTestCase()
{
    qemu = QStandardPaths::findExecutable(QStringLiteral("qemu-system-x86_64"));
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!qemu.isEmpty(), "qemu-system-x86_64 is missing: run scripts/install-deps.sh");
    QVERIFY2(!xvfb.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
             "Xvfb or xdotool is missing: run scripts/install-deps.sh");
    QVERIFY(localDisplay.start(xvfb, {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                                      QStringLiteral("-nolisten"), QStringLiteral("tcp")}));
}

void PhysicalKeysE2eTest::keysGoWithTheirPlace_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("trace"); // what QEMU reports, in order
    // a is XT 0x1e; keypad Enter is 0xE0 0x1C, sent as 0x9c.
    QTest::newRow("acknowledged: with the scan code")
        << QStringList{} << QStringList{"vnc_key_event_ext down 1, sym 0x61, keycode 0x1e [a]",
                                        "vnc_key_event_ext down 0, sym 0x61, keycode 0x1e [a]",
                                        "vnc_key_event_ext down 1, sym 0xff8d, keycode 0x9c [kp_enter]",
                                        "vnc_key_event_ext down 0, sym 0xff8d, keycode 0x9c [kp_enter]"};
    QTest::newRow("--keysyms-only: plain key events")
        << QStringList{"--keysyms-only"}
        << QStringList{"vnc_key_event_map down 1, sym 0x61 -> keycode 0x1e [a]",
                       "vnc_key_event_map down 0, sym 0x61 -> keycode 0x1e [a]",
                       "vnc_key_event_map down 1, sym 0xff8d -> keycode 0x9c [kp_enter]",
                       "vnc_key_event_map down 0, sym 0xff8d -> keycode 0x9c [kp_enter]"};
}

void PhysicalKeysE2eTest::keysGoWithTheirPlace()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, trace);
    const quint16 port = freePort();
    QVERIFY(port > 5900);
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    // -S: no instruction runs; the VNC server and the keyboard work all the same.
    server.start(qemu, {QStringLiteral("-S"), QStringLiteral("-m"), QStringLiteral("32"), QStringLiteral("-display"),
                        QStringLiteral("none"), QStringLiteral("-vnc"),
                        QStringLiteral("127.0.0.1:%1").arg(port - 5900), QStringLiteral("-trace"),
                        QStringLiteral("vnc_key_event_*")});
    QVERIFY(server.waitForStarted());

    QProcess vemo;
    QProcessEnvironment env = displayEnvironment(localDisplay.display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    vemo.setProcessEnvironment(env);
    vemo.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    // QEMU may take a moment to listen: vemo retries by itself.
    vemo.start(QStringLiteral(VEMO_BINARY), options + QStringList{QStringLiteral("--reconnect"),
                                                                  QStringLiteral("vnc://") + address});
    QVERIFY(vemo.waitForStarted());
    XConnection local(localDisplay.display);
    unsigned long window = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (window = local.findWindow(vemo.processId(), address + QStringLiteral(" (not encrypted) - vemo"))), 30000);
    ToolRun run = runTool(localDisplay.display, QStringLiteral("xdotool"),
                          {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    run = runTool(localDisplay.display, QStringLiteral("xdotool"),
                  {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"), QStringLiteral("a"),
                   QStringLiteral("KP_Enter")});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());

    QStringList lines;
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT(
        (out += server.readAll(), lines = QString::fromLatin1(out).split('\n').filter("vnc_key_event"),
         lines.size() >= trace.size()),
        10000);
    stopProcess(vemo);
    stopProcess(server);
    QCOMPARE(lines, trace);
}

QTEST_GUILESS_MAIN(PhysicalKeysE2eTest)

#include "physicalkeys_e2e_test.moc"
