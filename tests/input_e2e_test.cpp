// The real vemo program on a virtual display of its own, against TigerVNC's
// Xvnc on loopback: keys typed and buttons clicked in vemo's window reach an
// X client on the server as the right keysyms and positions, and the
// clipboard travels both ways, any script and 100 kB of it included (Xvnc
// offers the extended clipboard). Against QEMU's VNC server, keys go with
// their place on the keyboard.
#include "e2e_servers.h"
#include "shell_e2e_x11.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QtTest>

#include <xkbcommon/xkbcommon.h>

#include <array>

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
const uint lockMask = 1 << 1;
const uint controlMask = 1 << 2;

// Shift, Control, Alt and the other keys that only modify the next key:
// the server may press and release them around a character as it likes.
// Super is not among them: it is pressed on its own here.
bool isModifierKeysym(uint keysym)
{
    return (keysym >= 0xffe1 && keysym <= 0xffea) || (keysym >= 0xfe01 && keysym <= 0xfe13)
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
    void keysArriveAsTyped_data();
    void keysArriveAsTyped();
    void serverCapsLockFollowsTheLocalOne_data();
    void serverCapsLockFollowsTheLocalOne();
    void sidewaysWheelArrivesAsButtons6And7();
    void clickLandsAtTheServerPosition();
    void keysKeepTheirPlaceAmongClicks();
    void typedTextArrivesAsText();
    void serverClipboardReachesBothLocalSelections_data();
    void serverClipboardReachesBothLocalSelections();
    void localClipboardReachesTheServer_data();
    void localClipboardReachesTheServer();
    // Last: its window takes the focus.
    void keysGoWithTheirPlaceToQemu_data();
    void keysGoWithTheirPlaceToQemu();

private:
    void readRecorder();
    // The keysyms of the first 'count' presses since 'first' that are no
    // modifiers, waiting for them.
    QList<Recorded> characterPresses(int first, qsizetype count);
    ToolRun typeIntoVemo(const QStringList &xdotoolArgs, int delayMs = 30);
    // Its window, once connected to the server on 'port'; 0 if it did not.
    unsigned long startVemo(QProcess &process, const QStringList &args, quint16 port);
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

    // Quality 1 is lossless and unscaled: widget and server positions agree.
    QVERIFY((window = startVemo(vemo, {QStringLiteral("1")}, rfbPort)));
    // The server's UTF-8 name leads the title.
    QVERIFY(localConnection.findWindow(vemo.processId(), QStringLiteral("%1 - 127.0.0.1:%2 (not encrypted) - vemo")
                                                             .arg(desktopName).arg(rfbPort)));
    QTRY_COMPARE_WITH_TIMEOUT(localConnection.windowSize(window), desktop, 10000);
}

unsigned long InputE2eTest::startVemo(QProcess &process, const QStringList &args, quint16 port)
{
    QProcessEnvironment env = displayEnvironment(localDisplay.display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    // In sanitizer builds: leaks of the system's libraries are not ours.
    const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
    env.insert(QStringLiteral("LSAN_OPTIONS"), (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                                                   + QStringLiteral("suppressions=" E2E_LSAN_SUPPRESSIONS));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    process.start(QStringLiteral(VEMO_BINARY), QStringList{QStringLiteral("vnc://") + address} + args);
    // The title says the connection stands.
    XConnection localConnection(localDisplay.display);
    unsigned long found = 0;
    poll([&] {
        return (found = localConnection.findWindow(process.processId(),
                                                   address + QStringLiteral(" (not encrypted) - vemo")));
    }, 30000);
    return found;
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
    run = typeIntoVemo({QStringLiteral("type"), QStringLiteral("--"), text});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    run = typeIntoVemo({QStringLiteral("key"), QStringLiteral("Return"), QStringLiteral("Tab"),
                        QStringLiteral("BackSpace"), QStringLiteral("Escape"), QStringLiteral("Left"),
                        QStringLiteral("Right"), QStringLiteral("Up"), QStringLiteral("Down"), QStringLiteral("ctrl+c")});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());

    QList<uint> expected;
    for (QChar c : text)
        expected.append(c.unicode()); // printable ASCII keysyms are the codes
    expected << 0xff0d << 0xff09 << 0xff08 << 0xff1b << 0xff51 << 0xff53 << 0xff52 << 0xff54 << 0x63;

    const QList<Recorded> presses = characterPresses(first, expected.size());
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

QList<Recorded> InputE2eTest::characterPresses(int first, qsizetype count)
{
    QList<Recorded> presses;
    poll([&] {
        readRecorder();
        presses.clear();
        for (const Recorded &r : recordedSince(first, QStringLiteral("press"))) {
            if (!isModifierKeysym(r.keysym))
                presses.append(r);
        }
        return presses.size() >= count;
    });
    return presses;
}

ToolRun InputE2eTest::typeIntoVemo(const QStringList &xdotoolArgs, int delayMs)
{
    return local(QStringList{QStringLiteral("xdotool"), xdotoolArgs.first(), QStringLiteral("--delay"),
                             QString::number(delayMs)}
                 + xdotoolArgs.mid(1));
}

// Whatever the local layout, each character arrives as the keysym that
// types it, legacy or Unicode (the server maps it onto a spare keycode);
// a dead key and its letter were made one character here already. Other
// keys arrive as <name>. Slowly: a character beyond both keymaps takes a
// spare keycode, which xdotool and Xvnc hand to the next such character
// soon after, and a reader that lags behind reads that one.
void InputE2eTest::keysArriveAsTyped_data()
{
    QTest::addColumn<QStringList>("xdotool");
    QTest::addColumn<QString>("arrives");
    const QString text = QStringLiteral("äöü ß € Привет Ελλάδα ÿ");
    QTest::newRow("text beyond Latin-1") << QStringList{"type", "--", text} << text;
    QTest::newRow("keypad, Super, a dead key") << QStringList{"key", "KP_1", "KP_Add", "KP_Enter", "Super_L",
                                                             "dead_acute", "e"}
                                               << QStringLiteral("<KP_1><KP_Add><KP_Enter><Super_L>é");
}

void InputE2eTest::keysArriveAsTyped()
{
    QFETCH(QStringList, xdotool);
    QFETCH(QString, arrives);
    const int first = recorded.size();
    const ToolRun run = typeIntoVemo(xdotool, 150);
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    // One press for each character and each <name>.
    const qsizetype presses = QString(arrives).replace(QRegularExpression(QStringLiteral("<[^>]+>")), "k").toUcs4().size();
    QString arrived;
    for (const Recorded &r : characterPresses(first, presses)) {
        char name[64];
        if (r.keysym >= 0xff00 && r.keysym < 0x01000000 && xkb_keysym_get_name(r.keysym, name, sizeof name) > 0)
            arrived += QStringLiteral("<%1>").arg(QLatin1String(name));
        else
            arrived += QString::fromUcs4(std::array<char32_t, 1>{xkb_keysym_to_utf32(r.keysym)}.data(), 1);
    }
    QCOMPARE(arrived, arrives);
}

// The server's Caps Lock changed behind vemo's back (a program there,
// another viewer): the next key typed first brings it in line with the
// local one, as that key's own X event tells it.
void InputE2eTest::serverCapsLockFollowsTheLocalOne_data()
{
    QTest::addColumn<bool>("localCaps");
    QTest::newRow("on here, turned off there") << true;
    QTest::newRow("off here, turned on there") << false;
}

void InputE2eTest::serverCapsLockFollowsTheLocalOne()
{
    QFETCH(bool, localCaps);
    const auto tap = [&](bool here) {
        const QStringList args{QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("Caps_Lock")};
        const ToolRun run = here ? local(args) : remote(args);
        return run.finished && run.exitCode == 0;
    };
    const ToolRun focus = local({QStringLiteral("xdotool"), QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                 QString::number(window)});
    QVERIFY2(focus.finished && focus.exitCode == 0, focus.err.constData());
    QVERIFY(!remoteConnection->capsLocked());
    // The user's own Caps Lock goes out as it is.
    if (localCaps) {
        QVERIFY(tap(true));
        QVERIFY(poll([&] { return remoteConnection->capsLocked(); }));
    }
    QVERIFY(tap(false));
    QVERIFY(poll([&] { return remoteConnection->capsLocked() != localCaps; }));
    // The server reports its new locks with its next update.
    QTest::qWait(1000);

    const int first = recorded.size();
    const ToolRun run = typeIntoVemo({QStringLiteral("key"), QStringLiteral("a")});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    const QList<Recorded> presses = characterPresses(first, 1);
    QCOMPARE(presses.size(), 1);
    QCOMPARE(bool(presses[0].state & lockMask), localCaps);
    QCOMPARE(remoteConnection->capsLocked(), localCaps);
    if (localCaps) {
        QVERIFY(tap(true));
        QVERIFY(poll([&] { return !remoteConnection->capsLocked(); }));
    }
}

void InputE2eTest::sidewaysWheelArrivesAsButtons6And7()
{
    const int first = recorded.size();
    const ToolRun run = local(QStringLiteral("xdotool mousemove --window %1 --sync 40 50 click 6 click 7 click 4")
                                  .arg(window)
                                  .split(QLatin1Char(' ')));
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    QList<int> buttons;
    poll([&] {
        readRecorder();
        buttons.clear();
        for (const Recorded &r : recordedSince(first, QStringLiteral("button")))
            buttons.append(r.button);
        return buttons.size() >= 3;
    });
    QCOMPARE(buttons, (QList<int>{6, 7, 4}));
}

// QEMU's VNC server, for a machine without disk held before its first
// instruction, acknowledges extended key events: a key goes with its place
// on the keyboard, its XT scan code, unless turned off. QEMU's trace of
// its key events shows what it received.
void InputE2eTest::keysGoWithTheirPlaceToQemu_data()
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

void InputE2eTest::keysGoWithTheirPlaceToQemu()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, trace);
    const QString qemu = QStandardPaths::findExecutable(QStringLiteral("qemu-system-x86_64"));
    QVERIFY2(!qemu.isEmpty(), "qemu-system-x86_64 is missing: run scripts/install-deps.sh");
    const quint16 port = freePort();
    QVERIFY(port > 5900);
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    // -S: no instruction runs; the VNC server and the keyboard work all the same.
    server.start(qemu, QStringLiteral("-S -m 32 -display none -trace vnc_key_event_* -vnc 127.0.0.1:%1")
                           .arg(port - 5900)
                           .split(' '));
    QVERIFY(server.waitForStarted());
    // QEMU may take a moment to listen: vemo retries by itself.
    QProcess qemuView;
    const unsigned long qemuWindow = startVemo(qemuView, options << QStringLiteral("--reconnect"), port);
    QVERIFY(qemuWindow);
    for (const QString &args : {QStringLiteral("xdotool windowfocus --sync %1").arg(qemuWindow),
                                QStringLiteral("xdotool key --delay 50 a KP_Enter")}) {
        const ToolRun run = local(args.split(' '));
        QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    }
    QStringList lines;
    QByteArray out;
    poll([&] {
        out += server.readAll();
        // The lock keys that bring QEMU's locks in line with the local ones
        // (an earlier test's xdotool left Num Lock on) are no keys typed here.
        lines = QString::fromLatin1(out).split('\n').filter("vnc_key_event");
        lines.removeIf([](const QString &line) { return line.endsWith(QLatin1String("_lock]")); });
        return lines.size() >= trace.size();
    });
    stopProcess(qemuView);
    stopProcess(server);
    QCOMPARE(lines, trace);
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

// A key sent as soon as it is read never overtakes a click read before
// it, nor goes twice when Qt delivers it after.
void InputE2eTest::keysKeepTheirPlaceAmongClicks()
{
    ToolRun run = local({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"),
                         QString::number(window), QStringLiteral("--sync"), QStringLiteral("40"), QStringLiteral("40"),
                         QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    const int first = recorded.size();
    // Typed once at leisure: then known, they may go early.
    run = typeIntoVemo({QStringLiteral("type"), QStringLiteral("ab")});
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    XConnection(localDisplay.display).burst(QStringLiteral("a1b3aba1b"));
    const QString expected = QStringLiteral("a b a 1 b 3 a b a 1 b");
    QString got;
    poll([&] {
        readRecorder();
        QStringList seen;
        for (int i = first; i < recorded.size(); ++i) {
            const Recorded &r = recorded[i];
            if (r.kind == QLatin1String("button"))
                seen << QString::number(r.button);
            else if (r.kind == QLatin1String("press") && !isModifierKeysym(r.keysym))
                seen << QChar(char16_t(r.keysym));
        }
        got = seen.join(' ');
        return got.size() >= expected.size();
    });
    QCOMPARE(got, expected);
}

// Text put into the menu's field, letters beyond Latin-1 included,
// arrives as that text: the recorder's keysyms read back as characters.
void InputE2eTest::typedTextArrivesAsText()
{
    const int first = recorded.size();
    const QString text = QStringLiteral("Grüße, Привет!");
    const auto xdotool = [&](const QStringList &args) {
        const ToolRun run = local(QStringList{QStringLiteral("xdotool")} + args);
        return run.finished && run.exitCode == 0;
    };
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Menu")}));
    QTest::qWait(300);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("x")}));
    QTest::qWait(300);
    // Pasted into the field: xdotool's typing of letters the local keymap
    // lacks loses one now and then under load.
    QVERIFY(startClipboardOwner(localDisplay.display, QStringLiteral("clipboard"), text));
    QVERIFY(poll([&] {
        return local({QStringLiteral("xclip"), QStringLiteral("-o"), QStringLiteral("-selection"),
                      QStringLiteral("clipboard")}).out == text.toUtf8();
    }));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("300"), QStringLiteral("ctrl+v"),
                     QStringLiteral("Return")}));

    QString arrived;
    poll([&] {
        readRecorder();
        arrived.clear();
        for (const Recorded &r : recordedSince(first, QStringLiteral("press"))) {
            if (isModifierKeysym(r.keysym))
                continue;
            const char32_t c = xkb_keysym_to_utf32(r.keysym);
            arrived += QString::fromUcs4(&c, 1);
        }
        return arrived.size() >= text.size();
    });
    QCOMPARE(arrived, text);
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
