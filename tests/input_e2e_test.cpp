// The real vemo program on a virtual display of its own, against TigerVNC's
// Xvnc on loopback: keys typed and buttons clicked in vemo's window reach an
// X client on the server as the right keysyms and positions, and the
// clipboard travels both ways, any script and 100 kB of it included (Xvnc
// offers the extended clipboard).
#include "e2e_servers.h"
#include "shell_e2e_x11.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QtTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

// One line of the recorder's output.
struct Recorded
{
    QString kind; // press, release or button
    uint keycode = 0;
    uint keysym = 0;
    uint state = 0;
    int button = 0;
    QPoint pos;
};

const uint shiftMask = 1 << 0;
const uint controlMask = 1 << 2;

// Shift, Control, Alt and the other keys that only modify the next key:
// the server may press and release them around a character as it likes.
bool isModifierKeysym(uint keysym)
{
    return (keysym >= 0xffe1 && keysym <= 0xffee) || (keysym >= 0xfe01 && keysym <= 0xfe13)
        || keysym == 0xff7e || keysym == 0xff7f;
}

// 100 kB of Latin, Cyrillic, Greek, CJK and emoji, in lines.
QString mixedScripts()
{
    QString text;
    for (int line = 0; text.toUtf8().size() < 100000; ++line)
        text += QStringLiteral("%1 naïve Привет Γειά 你好 😀 €\n").arg(line);
    return text;
}

bool poll(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class InputE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typedKeysArriveAsKeysyms();
    void clickLandsAtTheServerPosition();
    void serverClipboardReachesBothLocalSelections_data();
    void serverClipboardReachesBothLocalSelections();
    void localClipboardReachesTheServer_data();
    void localClipboardReachesTheServer();

private:
    void readRecorder();
    QList<Recorded> recordedSince(int first, const QString &kind) const;
    ToolRun local(const QStringList &args, const QByteArray &input = QByteArray());
    ToolRun remote(const QStringList &args);
    bool startClipboardOwner(int display, const QString &selection, const QString &text);

    const QSize desktop{320, 240};
    const QString desktopName = QStringLiteral("Рабочий стол");
    XServer vncDesktop;
    XServer localDisplay;
    QProcess recorder;
    QProcess vemo;
    std::vector<std::unique_ptr<QProcess>> clipboardOwners;
    std::unique_ptr<XConnection> remoteConnection;
    unsigned long window = 0;
    QByteArray recorderOut;
    QList<Recorded> recorded;
};

void InputE2eTest::initTestCase()
{
    const QString xvnc = QStandardPaths::findExecutable(QStringLiteral("Xvnc"));
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
    QVERIFY2(!xvfb.isEmpty(), "Xvfb is missing: run scripts/install-deps.sh");
    for (const char *tool : {"xdotool", "xclip"})
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(QLatin1String(tool))));

    const quint16 rfbPort = freePort();
    QVERIFY(rfbPort);
    // The clipboard options are the defaults today; spelled out because the
    // clipboard checks depend on them.
    QVERIFY(vncDesktop.start(xvnc, {QStringLiteral("-rfbport"), QString::number(rfbPort),
                                    QStringLiteral("-localhost"), QStringLiteral("-SecurityTypes"),
                                    QStringLiteral("None"), QStringLiteral("-geometry"),
                                    QStringLiteral("%1x%2").arg(desktop.width()).arg(desktop.height()),
                                    QStringLiteral("-depth"), QStringLiteral("24"),
                                    QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                    QStringLiteral("-SendCutText=1"), QStringLiteral("-AcceptCutText=1"),
                                    QStringLiteral("-SendPrimary=1"), QStringLiteral("-SetPrimary=1"),
                                    QStringLiteral("-desktop"), desktopName}));
    remoteConnection = std::make_unique<XConnection>(vncDesktop.display);
    QVERIFY(remoteConnection->isOpen());

    recorder.setProcessEnvironment(displayEnvironment(vncDesktop.display));
    recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    recorder.start(QStringLiteral(E2E_XRECORDER), {});
    QVERIFY(recorder.waitForStarted());
    QVERIFY(poll([&] {
        recorderOut += recorder.readAllStandardOutput();
        return recorderOut.startsWith("ready\n");
    }));
    recorderOut.remove(0, 6);

    QVERIFY(localDisplay.start(xvfb, {QStringLiteral("-screen"), QStringLiteral("0"),
                                      QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                                      QStringLiteral("tcp")}));
    XConnection localConnection(localDisplay.display);
    QVERIFY(localConnection.isOpen());

    QProcessEnvironment env = displayEnvironment(localDisplay.display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    // In sanitizer builds: leaks of the system's libraries are not ours.
    const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
    env.insert(QStringLiteral("LSAN_OPTIONS"), (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                                                   + QStringLiteral("suppressions=" E2E_LSAN_SUPPRESSIONS));
    vemo.setProcessEnvironment(env);
    vemo.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(rfbPort);
    // Quality 1 is lossless and unscaled: widget and server positions agree.
    vemo.start(QStringLiteral(VEMO_BINARY), {QStringLiteral("vnc://") + address, QStringLiteral("1")});
    QVERIFY(vemo.waitForStarted());
    // The title says the connection stands, after the server's UTF-8 name.
    const QString title = desktopName + QStringLiteral(" - ") + address + QStringLiteral(" (not encrypted) - vemo");
    QTRY_VERIFY_WITH_TIMEOUT((window = localConnection.findWindow(vemo.processId(), title)), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(localConnection.windowSize(window), desktop, 10000);
}

void InputE2eTest::cleanupTestCase()
{
    stopProcess(vemo);
    stopProcess(recorder);
    for (const auto &owner : clipboardOwners)
        stopProcess(*owner);
    remoteConnection.reset();
}

void InputE2eTest::readRecorder()
{
    recorderOut += recorder.readAllStandardOutput();
    int end;
    while ((end = recorderOut.indexOf('\n')) >= 0) {
        const QList<QByteArray> f = recorderOut.left(end).split(' ');
        recorderOut.remove(0, end + 1);
        Recorded r;
        r.kind = QString::fromLatin1(f.value(0));
        if (f.size() == 4 && (r.kind == QLatin1String("press") || r.kind == QLatin1String("release"))) {
            r.keycode = f[1].toUInt();
            r.keysym = f[2].toUInt(nullptr, 16);
            r.state = f[3].toUInt(nullptr, 16);
        } else if (f.size() == 4 && r.kind == QLatin1String("button")) {
            r.button = f[1].toInt();
            r.pos = QPoint(f[2].toInt(), f[3].toInt());
        } else {
            qWarning() << "unexpected recorder line" << f;
            continue;
        }
        recorded.append(r);
    }
}

QList<Recorded> InputE2eTest::recordedSince(int first, const QString &kind) const
{
    QList<Recorded> found;
    for (int i = first; i < recorded.size(); ++i) {
        if (recorded[i].kind == kind)
            found.append(recorded[i]);
    }
    return found;
}

ToolRun InputE2eTest::local(const QStringList &args, const QByteArray &input)
{
    return runTool(localDisplay.display, args.first(), args.mid(1), input);
}

ToolRun InputE2eTest::remote(const QStringList &args)
{
    return runTool(vncDesktop.display, args.first(), args.mid(1));
}

// xclip in the foreground owns the selection until another client takes it.
bool InputE2eTest::startClipboardOwner(int display, const QString &selection, const QString &text)
{
    auto owner = std::make_unique<QProcess>();
    owner->setProcessEnvironment(displayEnvironment(display));
    owner->start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection,
                                           QStringLiteral("-i")});
    if (!owner->waitForStarted())
        return false;
    owner->write(text.toUtf8());
    owner->closeWriteChannel();
    clipboardOwners.push_back(std::move(owner));
    return true;
}

void InputE2eTest::typedKeysArriveAsKeysyms()
{
    const int first = recorded.size();
    // What a window manager does when the user picks the window: no click,
    // so the view must take the keyboard as soon as it connected.
    ToolRun run = local({QStringLiteral("xdotool"), QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                         QString::number(window)});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());

    const QString text = QStringLiteral("Hello, World! 42 -=[]/?;:@#");
    run = local({QStringLiteral("xdotool"), QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                 QStringLiteral("--"), text});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    run = local({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30"),
                 QStringLiteral("Return"), QStringLiteral("Tab"), QStringLiteral("BackSpace"),
                 QStringLiteral("Escape"), QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Up"),
                 QStringLiteral("Down"), QStringLiteral("ctrl+c")});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());

    QList<uint> expected;
    for (QChar c : text)
        expected.append(c.unicode()); // printable ASCII keysyms are the codes
    expected << 0xff0d << 0xff09 << 0xff08 << 0xff1b << 0xff51 << 0xff53 << 0xff52 << 0xff54 << 0x63;

    QList<Recorded> presses;
    const auto characterPresses = [&] {
        readRecorder();
        presses.clear();
        for (const Recorded &r : recordedSince(first, QStringLiteral("press"))) {
            if (!isModifierKeysym(r.keysym))
                presses.append(r);
        }
        return presses.size() >= expected.size();
    };
    poll(characterPresses);
    QList<uint> keysyms;
    for (const Recorded &r : std::as_const(presses))
        keysyms.append(r.keysym);
    QCOMPARE(keysyms, expected);

    // Capitals and shifted punctuation come with Shift, Ctrl+C with Control.
    QVERIFY(presses[0].state & shiftMask); // H
    QVERIFY(!(presses[1].state & shiftMask)); // e
    QVERIFY(presses[12].state & shiftMask); // !
    QCOMPARE(presses.last().state & (controlMask | shiftMask), controlMask);
    for (int i = 0; i < presses.size() - 1; ++i)
        QVERIFY2(!(presses[i].state & controlMask), qPrintable(QString::number(i)));

    // Every key pressed comes up again, modifiers included.
    QStringList held;
    poll([&] {
        readRecorder();
        QList<const Recorded *> down;
        for (int i = first; i < recorded.size(); ++i) {
            if (recorded[i].kind == QLatin1String("press")) {
                down.append(&recorded[i]);
            } else if (recorded[i].kind == QLatin1String("release")) {
                down.removeIf([&](const Recorded *r) { return r->keycode == recorded[i].keycode; });
            }
        }
        held.clear();
        for (const Recorded *r : std::as_const(down))
            held.append(QStringLiteral("0x%1").arg(r->keysym, 0, 16));
        return held.isEmpty() && remoteConnection->pressedKeycodes().isEmpty();
    });
    QVERIFY2(held.isEmpty(), qPrintable(QStringLiteral("still down: ") + held.join(QLatin1Char(' '))));
    QCOMPARE(remoteConnection->pressedKeycodes(), QList<int>());
}

void InputE2eTest::clickLandsAtTheServerPosition()
{
    const int first = recorded.size();
    // Positions inside vemo's window; x and y differ so a swap shows.
    const QList<QPair<int, QPoint>> clicks{{1, QPoint(123, 77)}, {3, QPoint(251, 190)}, {2, QPoint(5, 230)}};
    for (const auto &click : clicks) {
        const ToolRun run = local({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
                                   QString::number(window), QStringLiteral("--sync"),
                                   QString::number(click.second.x()), QString::number(click.second.y()),
                                   QStringLiteral("click"), QString::number(click.first)});
        QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    }
    poll([&] {
        readRecorder();
        return recordedSince(first, QStringLiteral("button")).size() >= clicks.size();
    });
    const QList<Recorded> buttons = recordedSince(first, QStringLiteral("button"));
    QCOMPARE(buttons.size(), clicks.size());
    for (int i = 0; i < clicks.size(); ++i) {
        QCOMPARE(buttons[i].button, clicks[i].first);
        QCOMPARE(buttons[i].pos, clicks[i].second);
    }
}

void InputE2eTest::serverClipboardReachesBothLocalSelections_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Latin-1") << QStringLiteral("café déjà vu");
    QTest::newRow("beyond Latin-1") << QStringLiteral("Привет, €");
    QTest::newRow("100 kB of scripts") << mixedScripts();
}

void InputE2eTest::serverClipboardReachesBothLocalSelections()
{
    QFETCH(QString, text);
    QVERIFY(startClipboardOwner(vncDesktop.display, QStringLiteral("clipboard"), text));
    for (const QString &selection : {QStringLiteral("clipboard"), QStringLiteral("primary")}) {
        ToolRun run;
        poll([&] {
            run = local({QStringLiteral("xclip"), QStringLiteral("-o"), QStringLiteral("-selection"), selection});
            return run.out == text.toUtf8();
        });
        QVERIFY2(run.finished, qPrintable(selection));
        QCOMPARE(QString::fromUtf8(run.out), text);
    }
}

void InputE2eTest::localClipboardReachesTheServer_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("arrives");
    const QString latin1 = QStringLiteral("naïve façade, Noël à Zürich");
    QTest::newRow("clipboard") << QStringLiteral("clipboard") << latin1 << latin1;
    QTest::newRow("primary") << QStringLiteral("primary") << QStringLiteral("señor Ångström ÿ ß ©")
                             << QStringLiteral("señor Ångström ÿ ß ©");
    QTest::newRow("beyond Latin-1") << QStringLiteral("clipboard") << QStringLiteral("Привет, €")
                                    << QStringLiteral("Привет, €");
    QTest::newRow("100 kB of scripts") << QStringLiteral("clipboard") << mixedScripts() << mixedScripts();
}

void InputE2eTest::localClipboardReachesTheServer()
{
    QFETCH(QString, selection);
    QFETCH(QString, text);
    QFETCH(QString, arrives);
    QVERIFY(startClipboardOwner(localDisplay.display, selection, text));
    // The server makes what it receives its CLIPBOARD (and its PRIMARY).
    ToolRun run;
    poll([&] {
        run = remote({QStringLiteral("xclip"), QStringLiteral("-o"), QStringLiteral("-selection"),
                      QStringLiteral("clipboard")});
        return run.out == arrives.toUtf8();
    });
    QVERIFY(run.finished);
    QCOMPARE(QString::fromUtf8(run.out), arrives);
}

QTEST_GUILESS_MAIN(InputE2eTest)

#include "input_e2e_test.moc"
