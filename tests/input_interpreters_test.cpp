// The input classes on their own, without a server or a window: what the
// touch interpreter makes of finger movements, how the key translator
// wraps keys in sticky modifiers, where a mouse at an edge scrolls.
#include "earlykeys.h"
#include "edgescroll.h"
#include "keytranslator.h"
#include "locksync.h"
#include "physicalkeys.h"
#include "touchinterpreter.h"
#include "touchpad.h"
#include "touchscript.h"
#include "wheelaccumulator.h"

#include <QtTest>

namespace
{
QString describe(const TouchInterpreter::Output &o)
{
    const QString pos = QStringLiteral("%1,%2").arg(o.pos.x()).arg(o.pos.y());
    switch (o.kind) {
    case TouchInterpreter::Output::Pointer:
        return QStringLiteral("p %1 %2").arg(pos).arg(o.buttons);
    case TouchInterpreter::Output::Zoom:
        return QStringLiteral("zoom %1 at %2").arg(o.factor, 0, 'f', 2).arg(pos);
    case TouchInterpreter::Output::Pan:
        return QStringLiteral("pan %1,%2").arg(o.delta.x()).arg(o.delta.y());
    case TouchInterpreter::Output::Menu:
        break;
    }
    return QStringLiteral("menu");
}

QString describe(const Touchpad::Output &o)
{
    if (o.kind == Touchpad::Output::Zoom)
        return QStringLiteral("zoom %1 at %2,%3").arg(o.factor, 0, 'f', 2).arg(o.pos.x()).arg(o.pos.y());
    return o.kind == Touchpad::Output::Menu ? QStringLiteral("menu")
                                            : QStringLiteral("p %1,%2 %3").arg(o.pos.x()).arg(o.pos.y()).arg(o.buttons);
}

// Plays a touch script on the direct interpreter or the touchpad.
template<typename Interpreter>
QStringList runTouches(Interpreter &interpreter, const QString &script)
{
    QStringList out;
    for (const TouchStep &step : parseTouchScript(script)) {
        decltype(interpreter.cancel()) outputs;
        if (step.kind == TouchStep::Hold) {
            outputs = interpreter.holdExpired();
        } else if (step.kind == TouchStep::Cancel) {
            outputs = interpreter.cancel();
        } else {
            QList<TouchInterpreter::Point> points;
            for (const TouchStep::Point &p : step.points) {
                const auto state = p.change == '+'   ? TouchInterpreter::State::Pressed
                                   : p.change == '-' ? TouchInterpreter::State::Released
                                                     : TouchInterpreter::State::Moved;
                points.append({p.id, p.pos, state});
            }
            outputs = interpreter.touch(points, step.time);
        }
        for (const auto &o : outputs)
            out << describe(o);
    }
    return out;
}

// Key steps: "latch:ctrl" (or alt, shift, super), "press:KEY:text[:kp]
// [:XT]", "release:KEY:text" with KEY a Qt key code in hex, kp for the
// keypad, XT a scan code in hex (also the key's native code), "tap:KEYSYM",
// "chord:KEYSYM,KEYSYM...", "type:TEXT", "releaseAll"; keysyms in hex, the
// scan code after a '@'.
QStringList runKeys(KeyTranslator &keys, const QStringList &steps)
{
    const QHash<QString, KeyTranslator::Sticky> sticky{{"ctrl", KeyTranslator::StickyControl},
                                                       {"alt", KeyTranslator::StickyAlt},
                                                       {"shift", KeyTranslator::StickyShift},
                                                       {"super", KeyTranslator::StickySuper}};
    QStringList out;
    for (const QString &step : steps) {
        const QStringList part = step.split(QLatin1Char(':'));
        QList<KeyTranslator::Record> records;
        if (part[0] == QLatin1String("latch"))
            keys.setLatched(sticky.value(part[1]), true);
        else if (part[0] == QLatin1String("press") || part[0] == QLatin1String("release")) {
            const uint xt = part.value(3 + part.contains("kp")).toUInt(nullptr, 16);
            records = keys.translate(part[1].toInt(nullptr, 16), part[0] == QLatin1String("press"), part.value(2), xt,
                                     nullptr, part.contains("kp"), xt);
        } else if (part[0] == QLatin1String("type"))
            records = keys.typeText(part[1]);
        else if (part[0] == QLatin1String("tap"))
            records = keys.tap(part[1].toUInt(nullptr, 16));
        else if (part[0] == QLatin1String("chord")) {
            QList<uint32_t> keysyms;
            for (const QString &k : part[1].split(QLatin1Char(',')))
                keysyms << k.toUInt(nullptr, 16);
            records = keys.chord(keysyms);
        } else if (part[0] == QLatin1String("releaseAll"))
            records = keys.releaseAll();
        for (const KeyTranslator::Record &r : records)
            out << QStringLiteral("%1:%2").arg(r.down ? "d" : "u").arg(r.keysym, 0, 16)
                       + (r.xt ? QStringLiteral("@%1").arg(r.xt, 0, 16) : QString());
    }
    return out;
}
} // namespace

class InputInterpretersTest : public QObject
{
    Q_OBJECT

private slots:
    void gestures_data()
    {
        QTest::addColumn<QString>("mode"); // "pannable", "classic" or ""
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        const QStringList tap{"p 10,10 1", "p 10,10 0"};
        QTest::newRow("tap is a left click where the finger went down")
            << "" << "1+10,10 @0; 1>13,12 @40; 1- @80" << tap;
        QTest::newRow("double tap clicks twice on the same spot")
            << "" << "1+10,10 @0; 1- @80; 1+14,12 @200; 1- @260" << tap + tap;
        QTest::newRow("a late second tap clicks where it is")
            << "" << "1+10,10 @0; 1- @80; 1+14,12 @600; 1- @660"
            << tap + QStringList{"p 14,12 1", "p 14,12 0"};
        QTest::newRow("drag holds the left button from where it began")
            << "" << "1+10,10 @0; 1>40,10 @40; 1>60,20 @60; 1- @80"
            << QStringList{"p 10,10 1", "p 40,10 1", "p 60,20 1", "p 60,20 0"};
        QTest::newRow("a finger held still right-clicks once")
            << "" << "1+10,10 @0; 1>14,10 @100; hold; 1>50,50 @800; 1- @900"
            << QStringList{"p 10,10 4", "p 10,10 0"};
        QTest::newRow("the hold time passing during a drag changes nothing")
            << "" << "1+10,10 @0; 1>40,10 @40; hold; 1- @900"
            << QStringList{"p 10,10 1", "p 40,10 1", "p 40,10 0"};
        QTest::newRow("a second finger during a drag is ignored")
            << "" << "1+10,10 @0; 1>40,10 @40; 2+80,80 @50; 1- @60; 2- @70"
            << QStringList{"p 10,10 1", "p 40,10 1", "p 40,10 0"};
        QTest::newRow("a cancelled drag lets go of the button")
            << "" << "1+10,10 @0; 1>40,10 @40; cancel"
            << QStringList{"p 10,10 1", "p 40,10 1", "p 40,10 0"};
        const QString twoTap = "1+10,10 @0; 2+50,10 @20; 1- @100; 2- @110";
        const QString threeTap = "1+10,10 2+50,10 3+90,10 @0; 1- 2- 3- @80";
        QTest::newRow("two-finger tap is a right click between them")
            << "" << twoTap << QStringList{"p 30,10 4", "p 30,10 0"};
        QTest::newRow("classic: two-finger tap is a middle click") << "classic" << twoTap
                                                                    << QStringList{"p 30,10 2", "p 30,10 0"};
        QTest::newRow("three-finger tap is a middle click") << "" << threeTap << QStringList{"p 50,10 2", "p 50,10 0"};
        QTest::newRow("classic: three-finger tap opens the menu") << "classic" << threeTap << QStringList{"menu"};
        QTest::newRow("four-finger tap opens the menu")
            << "" << "1+10,10 2+50,10 3+90,10 4+90,50 @0; 1- 2- 3- 4- @80" << QStringList{"menu"};
        QTest::newRow("two fingers moved up turn the wheel down, a step per 40 pixels")
            << "" << "1+10,100 2+50,100 @0; 1>10,55 2>50,55 @30; 1>10,10 2>50,10 @60; 1- 2- @90"
            << QStringList{"p 30,100 16", "p 30,100 0", "p 30,100 16", "p 30,100 0"};
        QTest::newRow("two fingers moved right turn the wheel left")
            << "" << "1+10,100 2+50,100 @0; 1>55,100 2>95,100 @30; 1- 2- @90"
            << QStringList{"p 30,100 32", "p 30,100 0"};
        QTest::newRow("two fingers pan a picture larger than the window")
            << "pannable" << "1+10,100 2+50,100 @0; 1>10,80 2>50,80 @30; 1>10,70 2>50,70 @60; 1- 2- @90"
            << QStringList{"pan 0,-20", "pan 0,-10"};
        QTest::newRow("pinch zooms around the fingers")
            << "" << "1+10,50 2+50,50 @0; 1>-20,50 2>80,50 @30; 1- 2- @90" << QStringList{"zoom 2.50 at 30,50"};
        QTest::newRow("three fingers that move do nothing")
            << "" << "1+10,10 2+50,10 3+90,10 @0; 1>10,90 2>50,90 3>90,90 @40; 1- 2- 3- @80" << QStringList();
    }
    void gestures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        TouchInterpreter interpreter;
        interpreter.setPannable(mode == "pannable");
        interpreter.setClassicTaps(mode == "classic");
        QCOMPARE(runTouches(interpreter, script), expected);
        // Every sequence leaves the interpreter ready for the next: a tap.
        QCOMPARE(runTouches(interpreter, "1+5,5 @5000; 1- @5050"), (QStringList{"p 5,5 1", "p 5,5 0"}));
    }

    // The touchpad on a 200x200 picture, its pointer starting in the middle:
    // slow fingers (0.1 pixel a millisecond) move it as far as they go on
    // the screen, fast ones three times as far; taps click at the pointer.
    void touchpad_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        const QStringList click{"p 100,100 1", "p 100,100 0"};
        QTest::newRow("a slow finger moves the pointer as far, from where it is")
            << 1.0 << "1+10,10 @0; 1>30,10 @200; 1>30,40 @500; 1- @600" << QStringList{"p 120,100 0", "p 120,130 0"};
        QTest::newRow("a fast finger moves it three times as far")
            << 1.0 << "1+10,10 @0; 1>40,10 @10; 1- @20" << QStringList{"p 190,100 0"};
        QTest::newRow("zoomed in twice, half as far") << 2.0 << "1+10,10 @0; 1>30,10 @200; 1- @300"
                                                       << QStringList{"p 110,100 0"};
        QTest::newRow("the pointer stops at the picture's edge")
            << 1.0 << "1+10,10 @0; 1>-290,10 @10; 1- @20" << QStringList{"p 0,100 0"};
        QTest::newRow("a tap clicks at the pointer, not at the finger") << 1.0 << "1+10,10 @0; 1- @80" << click;
        QTest::newRow("two taps are a double click") << 1.0 << "1+10,10 @0; 1- @50; 1+10,10 @150; 1- @200"
                                                     << click + click;
        QTest::newRow("tap, then a finger that moves drags with the button held")
            << 1.0 << "1+10,10 @0; 1- @50; 1+10,10 @150; 1>30,10 @350; 1- @450"
            << click + QStringList{"p 100,100 1", "p 120,100 1", "p 120,100 0"};
        QTest::newRow("a finger down long after a tap only moves")
            << 1.0 << "1+10,10 @0; 1- @50; 1+10,10 @600; 1>30,10 @800; 1- @900" << click + QStringList{"p 120,100 0"};
        QTest::newRow("a cancelled drag lets go of the button")
            << 1.0 << "1+10,10 @0; 1- @50; 1+10,10 @150; 1>30,10 @350; cancel"
            << click + QStringList{"p 100,100 1", "p 120,100 1", "p 120,100 0"};
        QTest::newRow("a finger held still right-clicks at the pointer")
            << 1.0 << "1+10,10 @0; hold; 1>50,50 @800; 1- @900" << QStringList{"p 100,100 4", "p 100,100 0"};
        QTest::newRow("two-finger tap right-clicks at the pointer")
            << 1.0 << "1+10,10 @0; 2+50,10 @20; 1- @100; 2- @110" << QStringList{"p 100,100 4", "p 100,100 0"};
        QTest::newRow("three-finger tap middle-clicks at the pointer")
            << 1.0 << "1+10,10 2+50,10 3+90,10 @0; 1- 2- 3- @80" << QStringList{"p 100,100 2", "p 100,100 0"};
        QTest::newRow("two fingers moved up turn the wheel down at the pointer")
            << 1.0 << "1+10,100 2+50,100 @0; 1>10,55 2>50,55 @300; 1- 2- @400"
            << QStringList{"p 100,100 16", "p 100,100 0"};
        QTest::newRow("pinch zooms around the fingers")
            << 1.0 << "1+10,50 2+50,50 @0; 1>-20,50 2>80,50 @30; 1- 2- @90" << QStringList{"zoom 2.50 at 30,50"};
    }
    void touchpad()
    {
        QFETCH(qreal, scale);
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        Touchpad pad;
        pad.setPicture(QSizeF(200, 200), scale);
        pad.setPointer(QPointF(100, 100));
        QCOMPARE(runTouches(pad, script), expected);
    }

    void stickyModifiers_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("latchedAfter");
        const QString keyA = QString::number(Qt::Key_A, 16);
        const QString keyShift = QString::number(Qt::Key_Shift, 16);
        QTest::newRow("a latch wraps the next key from press to release")
            << QStringList{"latch:ctrl", "latch:alt", "press:" + keyA + ":a", "release:" + keyA + ":a",
                           "press:" + keyA + ":a", "release:" + keyA + ":a"}
            << QStringList{"d:ffe3", "d:ffe9", "d:61", "u:61", "u:ffe9", "u:ffe3", "d:61", "u:61"} << 0;
        QTest::newRow("a modifier key does not spend the latch")
            << QStringList{"latch:super", "press:" + keyShift, "press:" + keyA + ":A", "release:" + keyA + ":A",
                           "release:" + keyShift}
            << QStringList{"d:ffe1", "d:ffeb", "d:41", "u:41", "u:ffeb", "u:ffe1"} << 0;
        QTest::newRow("a tap from the menu is wrapped too")
            << QStringList{"latch:shift", "tap:ffc2"} << QStringList{"d:ffe1", "d:ffc2", "u:ffc2", "u:ffe1"} << 0;
        QTest::newRow("Ctrl+Alt+Del: pressed in order, released in reverse")
            << QStringList{"chord:ffe3,ffe9,ffff"}
            << QStringList{"d:ffe3", "d:ffe9", "d:ffff", "u:ffff", "u:ffe9", "u:ffe3"} << 0;
        QTest::newRow("a latched modifier already held is not sent twice")
            << QStringList{"latch:ctrl", "chord:ffe3,ffe9,ffff"}
            << QStringList{"d:ffe3", "d:ffe9", "d:ffff", "u:ffff", "u:ffe9", "u:ffe3"} << 0;
        QTest::newRow("letting go of everything releases the wrap")
            << QStringList{"latch:ctrl", "latch:shift", "press:" + keyA + ":a", "releaseAll"}
            << QStringList{"d:ffe3", "d:ffe1", "d:61", "u:ffe3", "u:ffe1", "u:61"} << 0;
        QTest::newRow("a latch waits for a key, while the focus comes and goes")
            << QStringList{"latch:alt", "releaseAll"} << QStringList() << int(KeyTranslator::StickyAlt);
    }
    void stickyModifiers()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(int, latchedAfter);
        KeyTranslator keys;
        QCOMPARE(runKeys(keys, steps), expected);
        QCOMPARE(keys.latched(), latchedAfter);
    }

    void keysAndText_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        const auto key = [](int k) { return QString::number(k, 16); };
        QTest::newRow("a character without a legacy keysym as its Unicode keysym")
            << QStringList{"press:1e9e:ẞ", "type:\U0001F600"}
            << QStringList{"d:1001e9e", "d:101f600", "u:101f600"};
        QTest::newRow("a new line without Control is Return, not Control's J")
            << QStringList{"press:" + key(Qt::Key_unknown) + ":\n"} << QStringList{"d:ff0d"};
        QTest::newRow("AltGr's character, not its Qt key")
            << QStringList{"press:" + key(Qt::Key_AltGr), "press:20ac:€", "press:" + key(Qt::Key_Q) + ":@"}
            << QStringList{"d:fe03", "d:20ac", "d:40"};
        QTest::newRow("keypad keys with Num Lock off keep their keysyms too")
            << QStringList{"press:" + key(Qt::Key_Home) + "::kp", "press:" + key(Qt::Key_1) + ":1"}
            << QStringList{"d:ff95", "d:31"};
        QTest::newRow("a physical key comes up where it went down, also when let go of everything")
            << QStringList{"press:" + key(Qt::Key_A) + ":a:1e", "release:" + key(Qt::Key_A) + ":a:1e",
                           "press:" + key(Qt::Key_Shift) + "::2a", "releaseAll"}
            << QStringList{"d:61@1e", "u:61@1e", "d:ffe1@2a", "u:ffe1@2a"};
        QTest::newRow("both Controls, one keysym: each comes up at its own place")
            << QStringList{"press:" + key(Qt::Key_Control) + "::1d", "press:" + key(Qt::Key_Control) + "::9d",
                           "release:" + key(Qt::Key_Control) + "::1d", "releaseAll"}
            << QStringList{"d:ffe3@1d", "d:ffe3@9d", "u:ffe3@1d", "u:ffe3@9d"};
        QTest::newRow("a physical key that never went down here does not come up")
            << QStringList{"release:" + key(Qt::Key_A) + ":a:1e"} << QStringList();
        QTest::newRow("composed text is typed character by character, without position")
            << QStringList{"type:é€"} << QStringList{"d:e9", "u:e9", "d:20ac", "u:20ac"};
    }
    void keysAndText()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        KeyTranslator keys;
        QCOMPARE(runKeys(keys, steps), expected);
    }

    void physicalPositions()
    {
        const struct { uint evdev, xt; } rows[] = {{1, 0x01}, {86, 0x56}, {88, 0x58}, {96, 0x9c}, {100, 0xb8},
                                                  {111, 0xd3}, {125, 0xdb}, {84, 0}, {600, 0}};
        for (const auto &r : rows)
            QVERIFY2(PhysicalKeys::xtFromEvdev(r.evdev) == r.xt, qPrintable(QString::number(r.evdev)));
    }

    void wheelSteps_data()
    {
        QTest::addColumn<QList<QPoint>>("deltas");
        QTest::addColumn<QList<int>>("buttons");
        QTest::newRow("both axes keep their own rest") << QList<QPoint>{{80, 80}, {0, 40}, {40, 0}} << QList<int>{4, 6};
        QTest::newRow("turning back drops the rest") << QList<QPoint>{{0, 100}, {0, -100}, {0, 100}} << QList<int>{};
        QTest::newRow("a flick is many clicks, not without end") << QList<QPoint>{{0, 120000}} << QList<int>(20, 4);
    }
    void wheelSteps()
    {
        QFETCH(QList<QPoint>, deltas);
        QFETCH(QList<int>, buttons);
        WheelAccumulator wheel;
        QList<int> got;
        for (QPoint d : deltas)
            got += wheel.add(d);
        QCOMPARE(got, buttons);
    }

    // Steps: sN the server reports N, lN the local locks are N (- unknown)
    // and the keys to press are noted, k the user's lock key goes out.
    void lockSync_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("pressed"); // per l step
        QTest::newRow("nothing before the server reports") << "l4" << "";
        QTest::newRow("agreeing locks press nothing") << "s6 l6" << "";
        QTest::newRow("Caps Lock pressed once, until the server reports") << "s4 l0 l0 s0 l0" << "ffe5||";
        QTest::newRow("both differ") << "s1 l6" << "ffe5 ff7f";
        QTest::newRow("the user's lock key makes the report stale") << "s0 k l4 s4 l4" << "|";
        QTest::newRow("an unreadable local state presses nothing") << "s4 l-" << "";
    }
    void lockSync()
    {
        QFETCH(QString, steps);
        QFETCH(QString, pressed);
        LockSync locks;
        QStringList got;
        for (const QString &step : steps.split(' ')) {
            if (step[0] == 's')
                locks.serverReported(step.mid(1).toInt());
            else if (step == "k")
                locks.lockKeySent();
            else {
                QStringList keys;
                for (uint32_t k : locks.keysToSync(step == "l-" ? std::nullopt : std::optional(step.mid(1).toInt())))
                    keys << QString::number(k, 16);
                got << keys.join(' ');
            }
        }
        QCOMPARE(got.join('|'), pressed);
    }

    // Steps at X time T: rK@T / r-K@T key code K pressed / released is read
    // (noted early or wait), tK@T the same read by the view's own connection,
    // rp@T other input read, dK@T / d-K@T Qt delivers
    // the key (drop or send; sent keys are learnt), dp@T other input, map a
    // new keymap.
    void earlyKeys_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("outcome");
        const QString learntA = "r38@1 d38@1 r-38@2 d-38@2 ";
        QTest::newRow("a key Qt delivered once goes early; Qt's copy is dropped")
            << learntA + "r38@3 r-38@4 d38@3 d-38@4" << "wait send wait send early early drop drop";
        QTest::newRow("a key waits for a click read before it, in the same millisecond too")
            << learntA + "rp@5 r38@5 dp@5 d38@5 r-38@6" << "wait send wait send wait send early";
        QTest::newRow("after a dead key an input method took, keys wait until a press gets through")
            << learntA + "r20@10 r-20@11 d-20@11 r38@12 r-38@13 d-38@13 r38@14 d38@14 r-38@15"
            << "wait send wait send wait wait send wait wait send wait send early";
        QTest::newRow("a press still with Qt holds keys back, a move delivered after it or not")
            << learntA + "r20@10 rp@11 dp@11 r38@12" << "wait send wait send wait wait";
        QTest::newRow("a key read on two connections counts once, also twice in a millisecond")
            << learntA + "t38@3 r38@3 t-38@3 t38@3 r-38@3 r38@3 d38@3 d-38@3 d38@3"
            << "wait send wait send early wait early early wait wait drop drop drop";
        QTest::newRow("a release Qt keeps for itself holds up no key of its millisecond")
            << learntA + "r-38@5 r38@5 r-38@5 d38@5 d-38@5 r38@6 d38@6" << "wait send wait send early early early drop drop early drop";
        QTest::newRow("a new keymap: nothing learnt, nor from keys read before it")
            << learntA + "r40@20 map d40@20 r40@21 r38@22" << "wait send wait send wait send wait wait";
    }
    void earlyKeys()
    {
        QFETCH(QString, steps);
        QFETCH(QString, outcome);
        EarlyKeys early;
        QStringList got;
        for (const QString &step : steps.split(' ')) {
            const QStringList at = step.mid(1).split('@');
            const quint32 time = at.value(1).toUInt();
            const bool released = at[0].startsWith('-');
            const quint32 keycode = at[0].mid(released).toUInt();
            if (step == "map") {
                early.keymapChanged();
            } else if (at[0] == "p") {
                step[0] == 'r' ? early.inputRead(time) : early.inputDelivered(time);
            } else if (step[0] == 'r' || step[0] == 't') {
                EarlyKeys::Key key;
                key.pressed = !released;
                key.keycode = keycode;
                key.time = time;
                const auto reader = step[0] == 't' ? EarlyKeys::Reader::Tap : EarlyKeys::Reader::Qt;
                got << (early.keyRead(&key, true, reader) ? "early" : "wait");
            } else {
                QKeyEvent event(released ? QEvent::KeyRelease : QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, keycode,
                                'a', 0, "a");
                event.setTimestamp(time);
                const bool sent = !early.wentEarly(&event);
                if (sent) {
                    early.keyDelivered(&event);
                    early.learn(&event);
                }
                got << (sent ? "send" : "drop");
            }
        }
        QCOMPARE(got.join(' '), outcome);
    }

    // Across the band along an edge the picture scrolls faster and faster
    // towards the edge, and not at all beyond the band.
    void edgeScrollingSpeedsUpTowardsTheEdge()
    {
        const EdgeScroll edges;
        int before = 0;
        for (int x = 16; x >= 0; --x) {
            const int speed = -edges.step(QPointF(x, 50), QSize(200, 100), QMargins(50, 50, 50, 50)).x();
            QVERIFY2(x == 16 ? speed == 0 : speed > before, qPrintable(QStringLiteral("%1: %2").arg(x).arg(speed)));
            before = speed;
        }
    }
};

QTEST_GUILESS_MAIN(InputInterpretersTest)
#include "input_interpreters_test.moc"
