// The window's menu and what it starts: keys for the server, reconnecting
// with the password typed once, the server asked to fit its desktop to the
// window. Real connections on loopback.
#include "shell_window_support.h"

#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace shellwindow;

class ShellMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void menuSendsKeys_data();
    void menuSendsKeys();
    void reconnectUsesTheTypedPassword_data();
    void reconnectUsesTheTypedPassword();
    void remoteDesktopIsAskedToFitTheWindow_data();
    void remoteDesktopIsAskedToFitTheWindow();
};

// Each step: "menu:LETTER" opens the menu with the menu key and picks the
// entry with that mnemonic, "action:NAME" triggers a named action,
// "sendKey:TEXT" an entry of the Send key menu, "key:LETTER" types a key.
void ShellMenuTest::menuSendsKeys_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Ctrl+Alt+Del from the keyboard")
        << QStringList{"menu:D"} << QStringList{"d:ffe3", "d:ffe9", "d:ffff", "u:ffff", "u:ffe9", "u:ffe3"};
    QTest::newRow("F5 from Send key") << QStringList{"sendKey:F&5"} << QStringList{"d:ffc2", "u:ffc2"};
    QTest::newRow("sticky Ctrl and Alt wrap the next key only")
        << QStringList{"action:stickyControl", "menu:L", "key:A", "key:B"}
        << QStringList{"d:ffe3", "d:ffe9", "d:61", "u:61", "u:ffe9", "u:ffe3", "d:62", "u:62"};
}

void ShellMenuTest::menuSendsKeys()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    Session s;
    QVERIFY(s.connect());
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    QMenu *menu = QSoftMenuBar::menuFor(s.window.get(), QSoftMenuBar::AnyFocus);
    s.server.clearMessages();
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(':'), 1);
        if (step.startsWith("menu:")) {
            QTest::keyClick(s.view, Qt::Key_Menu);
            QTRY_VERIFY(menu->isVisible());
            QTest::keyClick(menu, Qt::Key(what.at(0).unicode()));
            QTRY_VERIFY(!menu->isVisible());
        } else if (step.startsWith("action:")) {
            s.action(qPrintable(what))->trigger();
        } else if (step.startsWith("sendKey:")) {
            const QList<QAction *> keys = s.window->findChild<QMenu *>("sendKey")->actions();
            const auto it = std::find_if(keys.begin(), keys.end(), [&](QAction *a) { return a->text() == what; });
            QVERIFY(it != keys.end());
            (*it)->trigger();
        } else {
            QTest::keyClick(s.view, Qt::Key(what.at(0).unicode()));
        }
    }
    QTRY_VERIFY2_WITH_TIMEOUT(s.keys() == expected, qPrintable(s.keys().join(' ')), 5000);
    // The latch is spent and shown as such.
    QVERIFY(!s.action("stickyControl")->isChecked());
    QVERIFY(!s.action("stickyAlt")->isChecked());
}

void ShellMenuTest::reconnectUsesTheTypedPassword_data()
{
    QTest::addColumn<bool>("automatic"); // --reconnect
    QTest::addColumn<bool>("ownDisconnect");
    QTest::newRow("lost, the Reconnect button") << false << false;
    QTest::newRow("lost, --reconnect tries by itself") << true << false;
    QTest::newRow("the user's own disconnect, then Reconnect in the menu") << true << true;
}

void ShellMenuTest::reconnectUsesTheTypedPassword()
{
    QFETCH(bool, automatic);
    QFETCH(bool, ownDisconnect);
    WindowOptions options;
    options.reconnect = automatic;
    Session s(options, "typed-pw");
    QVERIFY(s.connect("typed-pw"));
    QCOMPARE(s.dialogs, 1);
    auto *button = s.window->findChild<QPushButton *>("reconnectButton");
    QVERIFY(!s.action("reconnect")->isEnabled());

    if (ownDisconnect)
        s.action("disconnect")->trigger();
    else
        s.server.dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(s.view->currentStatus(), RemoteView::Disconnected, 5000);
    QLabel *notice = noticeOf(s.window.get());
    if (ownDisconnect) {
        // Nothing tries again unasked, and nothing offers it but the menu.
        QVERIFY(!s.view->connectionLost());
        QVERIFY(button->isHidden());
        QVERIFY(s.action("reconnect")->isEnabled());
        s.action("reconnect")->trigger();
    } else if (automatic) {
        QTRY_VERIFY(notice->text().contains("Reconnecting in 1 s…"));
        QVERIFY(button->isHidden());
    } else {
        QTRY_VERIFY(button->isVisible());
        QVERIFY2(notice->text().contains("VNC server closed connection."), qPrintable(notice->text()));
        QTest::keyClick(button, Qt::Key_Space);
    }
    QVERIFY(s.connect());
    QCOMPARE(s.dialogs, 1);
    QCOMPARE(s.server.connectionCount(), 2);
    QVERIFY(button->isHidden());
    QVERIFY(notice->isHidden());
}

void ShellMenuTest::remoteDesktopIsAskedToFitTheWindow_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("--remote-resize, the window resized") << false;
    QTest::newRow("full screen from the menu") << true;
}

void ShellMenuTest::remoteDesktopIsAskedToFitTheWindow()
{
    QFETCH(bool, fullscreen);
    WindowOptions options;
    options.remoteResize = !fullscreen;
    Session s(options);
    QVERIFY(s.connect());
    // The test server describes its screen, so it may be asked.
    QTRY_VERIFY(s.view->canResizeRemote());
    QTRY_VERIFY(s.action("remoteResize")->isEnabled());
    QCOMPARE(s.action("remoteResize")->isChecked(), !fullscreen);
    QSize wanted(300, 200);
    if (fullscreen) {
        s.action("fullscreen")->trigger();
        QTRY_VERIFY(s.window->isFullScreen());
        QVERIFY(s.action("remoteResize")->isChecked());
        wanted = s.window->screen()->size();
    } else {
        // Several sizes in a row: only where the window settled is asked for.
        s.window->resize(250, 180);
        s.window->resize(280, 190);
        s.window->resize(wanted);
    }
    QTRY_COMPARE(s.window->size(), wanted);
    const auto asked = [&] {
        QList<QSize> sizes;
        for (const ClientMessage &m : s.server.messages()) {
            if (m.type == ClientMessage::DesktopSize)
                sizes << m.area.size();
        }
        return sizes;
    };
    // The event loop runs meanwhile: the request waits for a timer.
    QTRY_VERIFY_WITH_TIMEOUT(!asked().isEmpty(), 5000);
    QCOMPARE(asked(), QList<QSize>{wanted});
    // This server refuses: the picture is scaled instead.
    QTRY_VERIFY(s.view->isScaling() || fullscreen);
}

QTEST_MAIN(ShellMenuTest)
#include "shell_menu_test.moc"
