// Pointer and key input of the VNC view, checked as the server receives it.
#include "keytable.h"
#include "debugcapture.h"
#include "hostileserver.h"
#include "vncview_input_support.h"
#include "viewharness.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include <X11/keysym.h> // the X11 names, independent of the view's table

#include <memory>

namespace
{
struct KeyStep
{
    bool press;
    int key;
    QString text;
};
using KeySteps = QList<KeyStep>;
} // namespace

using namespace inputtest;

Q_DECLARE_METATYPE(KeySteps)

class VncViewInputTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Rig> keys; // one session shared by the key rows

    QPoint mapped(VncView *v, QPointF p) { return v->toFramebuffer(p); }

    // Plays the steps and returns the key messages they caused.
    QStringList play(const KeySteps &steps)
    {
        keys->server.clearMessages();
        Qt::KeyboardModifiers mods;
        for (const KeyStep &s : steps) {
            const Qt::KeyboardModifier m = s.key == Qt::Key_Shift ? Qt::ShiftModifier
                : s.key == Qt::Key_Control                       ? Qt::ControlModifier
                : s.key == Qt::Key_Meta                          ? Qt::MetaModifier
                                                                 : Qt::NoModifier;
            mods.setFlag(m, s.press);
            sendKey(keys->view, s.press ? QEvent::KeyPress : QEvent::KeyRelease, s.key, s.text, mods);
        }
        return keysOf(beforeSentinel(*keys));
    }

private slots:
    void initTestCase()
    {
        DebugCapture::install();
        keys = std::make_unique<Rig>(64, 48);
        QVERIFY(keys->connect());
    }
    void cleanupTestCase() { keys.reset(); }

    void tableKeysSendTheirKeysyms_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<uint>("keysym");
        const struct { int qt; uint xk; const char *name; } rows[] = {
            {Qt::Key_Space, XK_space, "space"}, {Qt::Key_Equal, XK_equal, "equal"},
            {Qt::Key_Escape, XK_Escape, "Escape"}, {Qt::Key_Tab, XK_Tab, "Tab"},
            {Qt::Key_Backtab, XK_Tab, "Backtab"}, {Qt::Key_Backspace, XK_BackSpace, "BackSpace"},
            {Qt::Key_Return, XK_Return, "Return"}, {Qt::Key_Enter, XK_KP_Enter, "KP_Enter"},
            {Qt::Key_Insert, XK_Insert, "Insert"}, {Qt::Key_Delete, XK_Delete, "Delete"},
            {Qt::Key_Pause, XK_Pause, "Pause"}, {Qt::Key_Print, XK_Print, "Print"},
            {Qt::Key_SysReq, XK_Sys_Req, "Sys_Req"}, {Qt::Key_Clear, XK_Clear, "Clear"},
            {Qt::Key_Home, XK_Home, "Home"}, {Qt::Key_End, XK_End, "End"},
            {Qt::Key_Left, XK_Left, "Left"}, {Qt::Key_Up, XK_Up, "Up"},
            {Qt::Key_Right, XK_Right, "Right"}, {Qt::Key_Down, XK_Down, "Down"},
            {Qt::Key_PageUp, XK_Prior, "Prior"}, {Qt::Key_PageDown, XK_Next, "Next"},
            {Qt::Key_Shift, XK_Shift_L, "Shift_L"}, {Qt::Key_Control, XK_Control_L, "Control_L"},
            {Qt::Key_Meta, XK_Meta_L, "Meta_L"}, {Qt::Key_Alt, XK_Alt_L, "Alt_L"},
            {Qt::Key_AltGr, XK_ISO_Level3_Shift, "ISO_Level3_Shift"},
            {Qt::Key_CapsLock, XK_Caps_Lock, "Caps_Lock"}, {Qt::Key_NumLock, XK_Num_Lock, "Num_Lock"},
            {Qt::Key_ScrollLock, XK_Scroll_Lock, "Scroll_Lock"},
            {Qt::Key_F1, XK_F1, "F1"}, {Qt::Key_F2, XK_F2, "F2"}, {Qt::Key_F3, XK_F3, "F3"},
            {Qt::Key_F4, XK_F4, "F4"}, {Qt::Key_F5, XK_F5, "F5"}, {Qt::Key_F6, XK_F6, "F6"},
            {Qt::Key_F7, XK_F7, "F7"}, {Qt::Key_F8, XK_F8, "F8"}, {Qt::Key_F9, XK_F9, "F9"},
            {Qt::Key_F10, XK_F10, "F10"}, {Qt::Key_F11, XK_F11, "F11"}, {Qt::Key_F12, XK_F12, "F12"},
            {Qt::Key_F13, XK_F13, "F13"}, {Qt::Key_F14, XK_F14, "F14"}, {Qt::Key_F15, XK_F15, "F15"},
            {Qt::Key_Help, XK_Help, "Help"}, {Qt::Key_Mode_switch, XK_Mode_switch, "Mode_switch"},
            {Qt::Key_Super_L, XK_Super_L, "Super_L"}, {Qt::Key_Super_R, XK_Super_R, "Super_R"},
            {Qt::Key_Menu, XK_Menu, "Menu"}, {Qt::Key_Multi_key, XK_Multi_key, "Multi_key"},
            {Qt::Key_Dead_Grave, XK_dead_grave, "dead_grave"}, {Qt::Key_Dead_Acute, XK_dead_acute, "dead_acute"},
            {Qt::Key_Dead_Circumflex, XK_dead_circumflex, "dead_circumflex"},
            {Qt::Key_Dead_Tilde, XK_dead_tilde, "dead_tilde"}, {Qt::Key_Dead_Macron, XK_dead_macron, "dead_macron"},
            {Qt::Key_Dead_Breve, XK_dead_breve, "dead_breve"},
            {Qt::Key_Dead_Abovedot, XK_dead_abovedot, "dead_abovedot"},
            {Qt::Key_Dead_Diaeresis, XK_dead_diaeresis, "dead_diaeresis"},
            {Qt::Key_Dead_Abovering, XK_dead_abovering, "dead_abovering"},
            {Qt::Key_Dead_Doubleacute, XK_dead_doubleacute, "dead_doubleacute"},
            {Qt::Key_Dead_Caron, XK_dead_caron, "dead_caron"}, {Qt::Key_Dead_Cedilla, XK_dead_cedilla, "dead_cedilla"},
            {Qt::Key_Dead_Ogonek, XK_dead_ogonek, "dead_ogonek"}, {Qt::Key_Dead_Iota, XK_dead_iota, "dead_iota"},
            {Qt::Key_Dead_Voiced_Sound, XK_dead_voiced_sound, "dead_voiced_sound"},
            {Qt::Key_Dead_Semivoiced_Sound, XK_dead_semivoiced_sound, "dead_semivoiced_sound"},
            {Qt::Key_Dead_Belowdot, XK_dead_belowdot, "dead_belowdot"},
            {Qt::Key_Dead_Hook, XK_dead_hook, "dead_hook"}, {Qt::Key_Dead_Horn, XK_dead_horn, "dead_horn"},
        };
        QCOMPARE(int(std::size(rows)), 70);
        QCOMPARE(KeyTable::size(), 70);
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.qt << r.xk;
    }
    void tableKeysSendTheirKeysyms()
    {
        QFETCH(int, qtKey);
        QFETCH(uint, keysym);
        // The text must not matter for a key of the table.
        const QStringList got = play({{true, qtKey, "q"}, {false, qtKey, "q"}});
        const QString hex = QString::number(keysym, 16);
        QCOMPARE(got, (QStringList{"d:" + hex, "u:" + hex}));
    }

    void modifierRules_data()
    {
        QTest::addColumn<KeySteps>("steps");
        QTest::addColumn<QStringList>("expected");
        const QString ctrlC(QChar(3)), ctrlZ(QChar(26));
        QTest::newRow("Meta while Shift held is Alt_L")
            << KeySteps{{true, Qt::Key_Shift, {}}, {true, Qt::Key_Meta, {}}, {false, Qt::Key_Meta, {}},
                        {false, Qt::Key_Shift, {}}}
            << QStringList{"d:ffe1", "d:ffe9", "u:ffe9", "u:ffe1"};
        // Meta went down as Alt_L, so it comes up as Alt_L, Shift or not.
        QTest::newRow("Meta released after Shift comes up as it went down")
            << KeySteps{{true, Qt::Key_Shift, {}}, {true, Qt::Key_Meta, {}}, {false, Qt::Key_Shift, {}},
                        {false, Qt::Key_Meta, {}}}
            << QStringList{"d:ffe1", "d:ffe9", "u:ffe1", "u:ffe9"};
        QTest::newRow("Ctrl+C")
            << KeySteps{{true, Qt::Key_Control, {}}, {true, Qt::Key_C, ctrlC}, {false, Qt::Key_C, ctrlC},
                        {false, Qt::Key_Control, {}}}
            << QStringList{"d:ffe3", "d:63", "u:63", "u:ffe3"};
        QTest::newRow("Ctrl+Z")
            << KeySteps{{true, Qt::Key_Control, {}}, {true, Qt::Key_Z, ctrlZ}, {false, Qt::Key_Z, ctrlZ},
                        {false, Qt::Key_Control, {}}}
            << QStringList{"d:ffe3", "d:7a", "u:7a", "u:ffe3"};
        QTest::newRow("Ctrl+Shift+C")
            << KeySteps{{true, Qt::Key_Control, {}}, {true, Qt::Key_Shift, {}}, {true, Qt::Key_C, ctrlC},
                        {false, Qt::Key_C, ctrlC}, {false, Qt::Key_Shift, {}}, {false, Qt::Key_Control, {}}}
            << QStringList{"d:ffe3", "d:ffe1", "d:43", "u:43", "u:ffe1", "u:ffe3"};
        QTest::newRow("Ctrl+1")
            << KeySteps{{true, Qt::Key_Control, {}}, {true, Qt::Key_1, "1"}, {false, Qt::Key_1, "1"},
                        {false, Qt::Key_Control, {}}}
            << QStringList{"d:ffe3", "d:31", "u:31", "u:ffe3"};
        // Its Qt code read as a keysym would be the Unicode one of U+00A2.
        QTest::newRow("Ctrl+Launch0 sends no key for Launch0")
            << KeySteps{{true, Qt::Key_Control, {}}, {true, Qt::Key_Launch0, {}}, {false, Qt::Key_Launch0, {}},
                        {false, Qt::Key_Control, {}}}
            << QStringList{"d:ffe3", "u:ffe3"};
        QTest::newRow("Shift+A sends the text")
            << KeySteps{{true, Qt::Key_Shift, {}}, {true, Qt::Key_A, "A"}, {false, Qt::Key_A, "A"},
                        {false, Qt::Key_Shift, {}}}
            << QStringList{"d:ffe1", "d:41", "u:41", "u:ffe1"};
        QTest::newRow("Shift let go first: the capital comes up")
            << KeySteps{{true, Qt::Key_Shift, {}}, {true, Qt::Key_A, "A"}, {false, Qt::Key_Shift, {}},
                        {false, Qt::Key_A, "a"}}
            << QStringList{"d:ffe1", "d:41", "u:ffe1", "u:41"};
        QTest::newRow("Latin-1 text")
            << KeySteps{{true, Qt::Key_Eacute, QString(QChar(0xe9))}, {false, Qt::Key_Eacute, QString(QChar(0xe9))}}
            << QStringList{"d:e9", "u:e9"};
        QTest::newRow("plain letter")
            << KeySteps{{true, Qt::Key_A, "a"}, {false, Qt::Key_A, "a"}} << QStringList{"d:61", "u:61"};
    }
    void modifierRules()
    {
        QFETCH(KeySteps, steps);
        QFETCH(QStringList, expected);
        QCOMPARE(play(steps), expected);
    }

    // The server reports its locks before its first picture; the first key
    // typed brings them in line with the local ones, once.
    void lockKeysFollowTheLocalOnes_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("local");
        QTest::addColumn<QStringList>("expected");
        const QByteArray qemuCaps = HostileRfb::rectHeader(0, 0, 0, 0, -261) + QByteArray(1, 4);
        const QStringList typed{"d:61", "u:61", "d:62", "u:62"};
        QTest::newRow("Caps Lock differs: pressed once") << qemuCaps << 0 << QStringList{"d:ffe5", "u:ffe5"} + typed;
        QTest::newRow("the same locks: nothing pressed") << qemuCaps << 4 << typed;
        QTest::newRow("VMware's report, Num Lock differs")
            << HostileRfb::rectHeader(0, 0, 0, 0, 0x574D5668) + QByteArray::fromHex("00000002") << 0
            << QStringList{"d:ff7f", "u:ff7f"} + typed;
    }
    void lockKeysFollowTheLocalOnes()
    {
        QFETCH(QByteArray, report);
        QFETCH(int, local);
        QFETCH(QStringList, expected);
        using namespace HostileRfb;
        ScriptedView h(session(8, 8, {framebufferUpdate({report}), framebufferUpdate({rawRect(QRect(0, 0, 8, 8), 0)})}));
        h.view->setLocalLockReader([local](const QKeyEvent *) { return std::optional<int>(local); });
        QVERIFY(h.started && h.waitConnected());
        QTest::keyClicks(h.view, "ab");
        const auto keys = [&] {
            const QByteArray sent = h.server.received().value(0);
            QList<ClientMessage> messages;
            ClientStreamParser(1, false).feed(sent.constData(), size_t(sent.size()), &messages);
            return keysOf(messages);
        };
        QTRY_COMPARE_WITH_TIMEOUT(keys(), expected, 5000);
    }

    void keyWithoutKeysymSendsNothingAndIsLogged()
    {
        DebugCapture::clear();
        QCOMPARE(play({{true, Qt::Key_Launch0, {}}, {false, Qt::Key_Launch0, {}}}), QStringList());
        QCOMPARE(DebugCapture::lines().filter("Unknown keysym: 0x10000a2").size(), 2);
    }

    void buttonMasks()
    {
        Rig rig(200, 150);
        QVERIFY(rig.connect());
        rig.server.clearMessages();
        const QPoint p(30, 40);
        QTest::mousePress(rig.view, Qt::LeftButton, {}, p);
        QTest::mousePress(rig.view, Qt::RightButton, {}, p);
        QTest::mouseRelease(rig.view, Qt::LeftButton, {}, p);
        QTest::mouseRelease(rig.view, Qt::RightButton, {}, p);
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 4));
        QCOMPARE(masksOf(rig.server.messages()), (QList<int>{1, 5, 4, 0}));

        rig.server.clearMessages();
        QTest::mousePress(rig.view, Qt::LeftButton, {}, p);
        QTest::mouseRelease(rig.view, Qt::LeftButton, {}, p);
        QTest::mouseDClick(rig.view, Qt::LeftButton, {}, p);
        QTest::mouseRelease(rig.view, Qt::LeftButton, {}, p);
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 4));
        QCOMPARE(masksOf(rig.server.messages()), (QList<int>{1, 0, 1, 0}));
    }

    void wheelClicksAButtonPerStep_data()
    {
        QTest::addColumn<QList<QPoint>>("angles");
        QTest::addColumn<bool>("leftHeld");
        QTest::addColumn<QList<int>>("masks");
        QTest::newRow("away, left held") << QList<QPoint>{{0, 120}} << true << QList<int>{9, 1};
        QTest::newRow("toward, nothing held") << QList<QPoint>{{0, -120}} << false << QList<int>{16, 0};
        QTest::newRow("left is button 6") << QList<QPoint>{{120, 0}} << false << QList<int>{32, 0};
        QTest::newRow("right is button 7") << QList<QPoint>{{-120, 0}} << false << QList<int>{64, 0};
        QTest::newRow("half steps add up to one click") << QList<QPoint>{{0, 60}, {0, 60}} << false
                                                        << QList<int>{8, 0};
        QTest::newRow("a half step alone clicks nothing") << QList<QPoint>{{0, 60}} << false << QList<int>{};
        QTest::newRow("two steps at once click twice") << QList<QPoint>{{0, -240}} << false
                                                       << QList<int>{16, 0, 16, 0};
    }
    void wheelClicksAButtonPerStep()
    {
        QFETCH(QList<QPoint>, angles);
        QFETCH(bool, leftHeld);
        QFETCH(QList<int>, masks);
        Rig rig(200, 150);
        QVERIFY(rig.connect());
        if (leftHeld) {
            QTest::mousePress(rig.view, Qt::LeftButton, {}, QPoint(5, 6));
            QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 1));
        }
        rig.server.clearMessages();
        for (QPoint angle : angles)
            sendWheel(rig.view, QPoint(50, 60), angle, leftHeld ? Qt::LeftButton : Qt::NoButton);
        const QList<ClientMessage> sent = ofType(beforeSentinel(rig), ClientMessage::Pointer);
        QCOMPARE(masksOf(sent), masks);
        for (const ClientMessage &m : sent)
            QCOMPARE(QPoint(m.x, m.y), QPoint(50, 60));
    }

    void positionsFollowTheScale_data()
    {
        QTest::addColumn<QSize>("serverSize");
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QPoint>("widget");
        QTest::addColumn<QPoint>("framebuffer");
        QTest::newRow("1.0") << QSize(200, 150) << QSize(800, 600) << 1.0f << QPoint(10, 20) << QPoint(10, 20);
        QTest::newRow("0.75 x100") << QSize(400, 400) << QSize(300, 300) << 0.75f << QPoint(100, 30) << QPoint(134, 40);
        QTest::newRow("0.75 x101") << QSize(400, 400) << QSize(300, 300) << 0.75f << QPoint(101, 30) << QPoint(135, 40);
        QTest::newRow("2.0 x5") << QSize(100, 100) << QSize(200, 200) << 2.0f << QPoint(5, 7) << QPoint(2, 3);
    }
    void positionsFollowTheScale()
    {
        QFETCH(QSize, serverSize);
        QFETCH(QSize, windowSize);
        QFETCH(float, factor);
        QFETCH(QPoint, widget);
        QFETCH(QPoint, framebuffer);
        Rig rig(serverSize.width(), serverSize.height(), windowSize);
        QVERIFY(rig.connect());
        if (factor != 1.0f)
            rig.view->enableScaling(true);
        QCOMPARE(rig.view->horizontalScale(), factor);
        QCOMPARE(rig.view->verticalScale(), factor);
        rig.server.clearMessages();
        QTest::mousePress(rig.view, Qt::LeftButton, {}, widget);
        QTest::mouseRelease(rig.view, Qt::LeftButton, {}, widget);
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 2));
        for (const ClientMessage &m : ofType(rig.server.messages(), ClientMessage::Pointer))
            QCOMPARE(QPoint(m.x, m.y), framebuffer);
        if (factor == 2.0f) {
            // The library clamps negatives on the wire; the view itself does not.
            QCOMPARE(mapped(rig.view, QPointF(-1, -1)), QPoint(-1, -1));
            QCOMPARE(mapped(rig.view, QPointF(-3, -3)), QPoint(-2, -2));
        }
    }

    void viewOnlySwallowsInputOnly()
    {
        Rig rig(200, 150);
        QVERIFY(rig.connect());
        rig.view->setViewOnly(true);
        rig.server.clearMessages();
        rig.view->seen.clear();
        QTest::mouseClick(rig.view, Qt::LeftButton, {}, QPoint(20, 20));
        tap(rig.view, Qt::Key_A, "a");
        sendWheel(rig.view, QPoint(20, 20), QPoint(0, 120), Qt::NoButton);
        rig.view->repaint();
        rig.view->resize(rig.view->width() - 10, rig.view->height() - 10);
        QFocusEvent in(QEvent::FocusIn), out(QEvent::FocusOut);
        QApplication::sendEvent(rig.view, &in);
        QApplication::sendEvent(rig.view, &out);
        for (const char *kind : {"paint", "resize", "focusIn", "focusOut"})
            QVERIFY2(rig.view->seen.contains(kind), qPrintable(rig.view->seen.join(',')));

        rig.view->setViewOnly(false);
        const QList<ClientMessage> before = beforeSentinel(rig);
        QVERIFY(!ofType(rig.server.messages(), ClientMessage::Key).isEmpty()); // the sentinel came
        QCOMPARE(ofType(before, ClientMessage::Key).size(), 0);
        QCOMPARE(ofType(before, ClientMessage::Pointer).size(), 0);
    }

    void inputBeforeConnectedIsDropped()
    {
        Rig rig(200, 150);
        QVERIFY(rig.started);
        QVERIFY(rig.view->startConnecting());
        // No event processing yet: the view cannot be Connected.
        QVERIFY(rig.view->currentStatus() != RemoteView::Connected);
        tap(rig.view, Qt::Key_X, "x");
        QTest::mouseClick(rig.view, Qt::LeftButton, {}, QPoint(7, 8));
        QVERIFY(QTest::qWaitFor([&] { return rig.view->currentStatus() == RemoteView::Connected; }, 5000));
        const QList<ClientMessage> before = beforeSentinel(rig);
        QVERIFY(!before.isEmpty()); // the handshake messages, at least
        QCOMPARE(keysOf(before), QStringList());
        QCOMPARE(ofType(before, ClientMessage::Pointer).size(), 0);
    }

    void focusLossReleasesWhatIsHeld()
    {
        Rig rig(200, 150);
        auto *other = new QLineEdit(&rig.window);
        other->move(500, 500);
        other->show();
        QVERIFY(rig.connect());
        rig.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        rig.view->setFocus();
        QTRY_VERIFY(rig.view->hasFocus());

        rig.server.clearMessages();
        sendKey(rig.view, QEvent::KeyPress, Qt::Key_Shift, {}, Qt::ShiftModifier);
        QTest::mousePress(rig.view, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 1));
        rig.server.clearMessages();
        other->setFocus();
        QTRY_VERIFY(!rig.view->hasFocus());
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 1));
        const QList<ClientMessage> sent = rig.server.messages();
        QCOMPARE(keysOf(sent), QStringList{"u:ffe1"});
        const QList<ClientMessage> pointer = ofType(sent, ClientMessage::Pointer);
        QCOMPARE(pointer.size(), 1);
        QCOMPARE(pointer[0].buttonMask, 0);
        QCOMPARE(QPoint(pointer[0].x, pointer[0].y), QPoint(30, 40));

        // Local state is cleared too: Meta is no longer taken as Shift+Meta,
        // and a move carries no button.
        rig.server.clearMessages();
        tap(rig.view, Qt::Key_Meta);
        QMouseEvent move(QEvent::MouseMove, QPointF(31, 41), rig.view->mapToGlobal(QPointF(31, 41)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(rig.view, &move);
        QVERIFY(waitFor(rig.server, ClientMessage::Pointer, 1));
        QCOMPARE(masksOf(rig.server.messages()).constLast(), 0);
        QCOMPARE(keysOf(beforeSentinel(rig)), (QStringList{"d:ffe7", "u:ffe7"}));
    }

    // Keys and buttons held when the session ends are released on the
    // server, whether the window shut the view down or it was destroyed.
    void endingReleasesWhatIsHeld_data()
    {
        QTest::addColumn<bool>("destroyed");
        QTest::newRow("shut down") << false;
        QTest::newRow("destroyed") << true;
    }
    void endingReleasesWhatIsHeld()
    {
        QFETCH(bool, destroyed);
        Rig rig(200, 150);
        QVERIFY(rig.connect());
        rig.server.clearMessages();
        sendKey(rig.view, QEvent::KeyPress, Qt::Key_Control, {}, Qt::ControlModifier);
        sendKey(rig.view, QEvent::KeyPress, Qt::Key_Shift, {}, Qt::ControlModifier | Qt::ShiftModifier);
        sendKey(rig.view, QEvent::KeyPress, Qt::Key_A, "A", Qt::ControlModifier | Qt::ShiftModifier);
        QTest::mousePress(rig.view, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier, QPoint(30, 40));
        if (destroyed) {
            delete rig.view;
            rig.view = nullptr;
        } else {
            rig.view->beginShutdown();
        }
        QTRY_COMPARE_WITH_TIMEOUT(keysOf(rig.server.messages()).size(), 6, 5000);
        QStringList ups = keysOf(rig.server.messages()).mid(3);
        ups.sort();
        QCOMPARE(ups, (QStringList{"u:41", "u:ffe1", "u:ffe3"}));
        QCOMPARE(masksOf(rig.server.messages()).constLast(), 0);
    }
};

VEMO_VIEW_TEST_MAIN(VncViewInputTest)
#include "vncview_input_test.moc"
