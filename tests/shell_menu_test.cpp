// The window's menu and what it starts: keys for the server, reconnecting
// with the password typed once, the server asked to fit its desktop to the
// window, zoom with scroll bars. Real connections on loopback.
#include "scalemath.h"
#include "shell_window_support.h"
#include "vncview_input_support.h"

#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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
    void zoomShowsScrollBars_data();
    void zoomShowsScrollBars();
    void pointerIsExactWhenScrolled_data();
    void pointerIsExactWhenScrolled();
};

namespace {
QString barsOf(QScrollArea *area)
{
    return QString(area->horizontalScrollBar()->isVisible() ? "h" : "") + (area->verticalScrollBar()->isVisible() ? "v" : "");
}
} // namespace

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

// Steps: "action:NAME" triggers a menu action, "window:WxH" resizes the
// window, "remote:WxH" has the server change its desktop size. The
// desktop starts at 320 x 240, in a window of that size.
void ShellMenuTest::zoomShowsScrollBars_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<float>("scale");
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<bool>("fitting");
    QTest::addColumn<QString>("bars");
    QTest::newRow("zoomed in") << QStringList{"action:zoomIn"} << 1.25f << QSize(400, 300) << false << "hv";
    QTest::newRow("zoomed in, fitted again") << QStringList{"action:zoomIn", "action:fit"} << 1.0f << QSize(320, 240)
                                             << true << "";
    QTest::newRow("zoomed out") << QStringList{"action:zoomOut"} << 0.75f << QSize(240, 180) << false << "";
    QTest::newRow("zoomed in a narrow window: across only")
        << QStringList{"window:200x240", "action:zoomIn"} << 0.67f << QSize(214, 160) << false << "h";
    QTest::newRow("1:1 in a smaller window")
        << QStringList{"window:200x150", "action:actualSize"} << 1.0f << QSize(320, 240) << false << "hv";
    QTest::newRow("zoomed in, the desktop grows: the same zoom")
        << QStringList{"action:zoomIn", "remote:400x300"} << 1.25f << QSize(500, 375) << false << "hv";
    QTest::newRow("zoomed in, the desktop shrinks: the same zoom")
        << QStringList{"action:zoomIn", "remote:160x120"} << 1.25f << QSize(200, 150) << false << "hv";
    QTest::newRow("1:1, the desktop grows: still 1:1")
        << QStringList{"window:200x150", "action:actualSize", "remote:400x300"} << 1.0f << QSize(400, 300) << false
        << "";
}

void ShellMenuTest::zoomShowsScrollBars()
{
    QFETCH(QStringList, steps);
    QFETCH(float, scale);
    QFETCH(QSize, viewSize);
    QFETCH(bool, fitting);
    QFETCH(QString, bars);
    Session s;
    QVERIFY(s.connect());
    QTRY_COMPARE(s.window->size(), QSize(320, 240));
    auto *area = s.window->findChild<QScrollArea *>();
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(':'), 1);
        const QStringList size = what.split(QLatin1Char('x'));
        if (step.startsWith("action:")) {
            s.action(qPrintable(what))->trigger();
        } else if (step.startsWith("window:")) {
            s.window->resize(size[0].toInt(), size[1].toInt());
            QTRY_COMPARE(s.window->size(), QSize(size[0].toInt(), size[1].toInt()));
        } else {
            s.server.resize(size[0].toInt(), size[1].toInt());
            QTRY_COMPARE(s.view->remoteScreenSize(), QSize(size[0].toInt(), size[1].toInt()));
        }
    }
    QTRY_COMPARE(barsOf(area), bars);
    QCOMPARE(s.view->horizontalScale(), scale);
    QCOMPARE(s.view->size(), viewSize);
    QCOMPARE(s.view->isFitting(), fitting);
}

// At 200 %, scrolled to (100,60) with the bars, then moved on: a click at
// the window's (30,40) reaches the server at the picture's point there.
void ShellMenuTest::pointerIsExactWhenScrolled_data()
{
    QTest::addColumn<QString>("touches");
    QTest::addColumn<bool>("mouseAtCorner");
    QTest::addColumn<QPoint>("offset"); // (-1,-1): as far as the bars go
    QTest::newRow("with the scroll bars") << QString() << false << QPoint(100, 60);
    QTest::newRow("then two fingers drag the picture left and up")
        << "1+100,100 2+140,100; 1>60,80 2>100,80; 1- 2-" << false << QPoint(140, 80);
    QTest::newRow("then the mouse rests in the lower right corner") << QString() << true << QPoint(-1, -1);
}

void ShellMenuTest::pointerIsExactWhenScrolled()
{
    QFETCH(QString, touches);
    QFETCH(bool, mouseAtCorner);
    QFETCH(QPoint, offset);
    Session s;
    QVERIFY(s.connect());
    QTRY_COMPARE(s.window->size(), QSize(320, 240));
    for (int i = 0; i < 3; ++i)
        s.action("zoomIn")->trigger();
    QCOMPARE(s.view->horizontalScale(), 2.0f);
    auto *area = s.window->findChild<QScrollArea *>();
    QScrollBar *across = area->horizontalScrollBar();
    QScrollBar *down = area->verticalScrollBar();
    QTRY_COMPARE(barsOf(area), QStringLiteral("hv"));
    across->setValue(100);
    down->setValue(60);
    const auto lastPointer = [&] {
        const QStringList sent = inputtest::pointerOf(s.server.messages());
        return sent.isEmpty() ? QString() : sent.last();
    };
    const auto remote = [&](QPoint inWindow, int mask) {
        const QPointF at = QPointF(inWindow + QPoint(across->value(), down->value())) / 2;
        return QStringLiteral("%1,%2 %3").arg(roundHalfUp(at.x())).arg(roundHalfUp(at.y())).arg(mask);
    };
    if (!touches.isEmpty()) {
        static QPointingDevice *device = QTest::createTouchDevice();
        inputtest::playTouches(s.window.get(), s.server, device, touches);
    }
    if (mouseAtCorner) {
        // The pointer rests; the picture scrolls under it, and the server
        // hears where it points now.
        const QPoint corner = QPoint(area->viewport()->width(), area->viewport()->height()) - QPoint(2, 2);
        QTest::mouseMove(s.view, s.view->mapFrom(s.window.get(), corner));
        offset = QPoint(across->maximum(), down->maximum());
        QTRY_COMPARE(QPoint(across->value(), down->value()), offset);
        QTRY_COMPARE(lastPointer(), remote(corner, 0));
    }
    QCOMPARE(QPoint(across->value(), down->value()), offset);
    QCOMPARE(s.view->pos(), -offset);
    QTest::mouseClick(s.view, Qt::LeftButton, {}, s.view->mapFrom(s.window.get(), QPoint(30, 40)));
    QTRY_COMPARE(lastPointer(), remote(QPoint(30, 40), 0));
    const QStringList sent = inputtest::pointerOf(s.server.messages());
    QCOMPARE(sent.at(sent.size() - 2), remote(QPoint(30, 40), 1));
}

QTEST_MAIN(ShellMenuTest)
#include "shell_menu_test.moc"
