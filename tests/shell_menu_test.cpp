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
#include <QScroller>
#include <QToolButton>
#include <QtTest>

using namespace shellwindow;

class ShellMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void keyBarSendsKeys_data();
    void keyBarSendsKeys();
    void keyBarTakesItsSpaceAndKeepsItsKeys();
    void keyBarScrollsUnderTheFinger();
    void menuSendsKeys_data();
    void menuSendsKeys();
    void reconnectUsesTheTypedPassword_data();
    void reconnectUsesTheTypedPassword();
    void remoteDesktopIsAskedToFitTheWindow_data();
    void remoteDesktopIsAskedToFitTheWindow();
    void zoomAndScroll_data();
    void zoomAndScroll();
    void viewOnlyIsInTheTitle_data();
    void viewOnlyIsInTheTitle();
};

void ShellMenuTest::initTestCase()
{
    // The key bar's choice goes to a configuration of the tests' own.
    QStandardPaths::setTestModeEnabled(true);
}

void ShellMenuTest::init()
{
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/vemo/vemo.conf");
}

// Keys tapped on the bar reach the server as these keysyms; the sticky
// ones wrap the next key and show pressed until it comes.
void ShellMenuTest::keyBarSendsKeys_data()
{
    QTest::addColumn<QStringList>("taps");
    QTest::addColumn<QStringList>("expected");
    const struct { const char *id; uint keysym; } plain[] = {
        {"esc", XK_Escape}, {"tab", XK_Tab}, {"left", XK_Left}, {"up", XK_Up}, {"down", XK_Down},
        {"right", XK_Right}, {"home", XK_Home}, {"end", XK_End}, {"pageUp", XK_Page_Up},
        {"pageDown", XK_Page_Down}, {"f1", XK_F1}, {"f2", XK_F2}, {"f3", XK_F3}, {"f4", XK_F4}, {"f5", XK_F5},
        {"f6", XK_F6}, {"f7", XK_F7}, {"f8", XK_F8}, {"f9", XK_F9}, {"f10", XK_F10}, {"f11", XK_F11},
        {"f12", XK_F12}, {"menu", XK_Menu}};
    for (const auto &key : plain)
        QTest::newRow(key.id) << QStringList{key.id}
                              << QStringList{QString("d:%1").arg(key.keysym, 0, 16), QString("u:%1").arg(key.keysym, 0, 16)};
    QTest::newRow("Ctrl wraps the next key only") << QStringList{"ctrl", "esc", "tab"}
                                                  << QStringList{"d:ffe3", "d:ff1b", "u:ff1b", "u:ffe3", "d:ff09", "u:ff09"};
    QTest::newRow("Ctrl, Alt and F4") << QStringList{"ctrl", "alt", "f4"}
                                      << QStringList{"d:ffe3", "d:ffe9", "d:ffc1", "u:ffc1", "u:ffe9", "u:ffe3"};
    QTest::newRow("Super and Left") << QStringList{"super", "left"}
                                    << QStringList{"d:ffeb", "d:ff51", "u:ff51", "u:ffeb"};
}

void ShellMenuTest::keyBarSendsKeys()
{
    QFETCH(QStringList, taps);
    QFETCH(QStringList, expected);
    Session s;
    QVERIFY(s.connect());
    s.action("keyBar")->setChecked(true);
    s.server.clearMessages();
    for (const QString &id : taps) {
        auto *key = s.window->findChild<QToolButton *>(id);
        QVERIFY2(key && key->isVisible(), qPrintable(id));
        // The narrow window shows part of the bar: scrolled to the key.
        s.window->findChild<QScrollArea *>("keyBar")->ensureWidgetVisible(key);
        QTest::mouseClick(key, Qt::LeftButton);
        QTRY_COMPARE(key->isChecked(), key->isCheckable());
    }
    QTRY_VERIFY2_WITH_TIMEOUT(s.keys() == expected, qPrintable(s.keys().join(' ')), 5000);
    for (const char *sticky : {"ctrl", "alt", "super"})
        QVERIFY(!s.window->findChild<QToolButton *>(sticky)->isChecked());
    QVERIFY(s.view->hasFocus());
}

// The bar sits below the picture, which is fitted to the rest of the
// window, and gives the space back when hidden; its keys and whether it
// shows are kept for the next window.
void ShellMenuTest::keyBarTakesItsSpaceAndKeepsItsKeys()
{
    auto *s = new Session;
    QVERIFY(s->connect());
    QWidget *picture = s->window->findChild<QScrollArea *>()->viewport();
    QTRY_COMPARE(s->view->verticalScale(), 1.0f);
    const int full = picture->height();
    s->action("keyBar")->trigger();
    auto *bar = s->window->findChild<QWidget *>("keyBar");
    QTRY_VERIFY(bar->isVisible());
    QCOMPARE(picture->height() + bar->height(), full);
    QVERIFY(bar->height() >= 40);
    QTRY_COMPARE(s->view->height(), picture->height());
    QVERIFY(s->view->verticalScale() < 1.0f);
    s->action("keyBarKey_f1")->trigger();
    QVERIFY(!s->window->findChild<QToolButton *>("f1")->isVisibleTo(bar));
    delete s;

    s = new Session;
    QVERIFY(s->connect());
    picture = s->window->findChild<QScrollArea *>()->viewport();
    QVERIFY(s->action("keyBar")->isChecked());
    QVERIFY(!s->action("keyBarKey_f1")->isChecked());
    QVERIFY(!s->window->findChild<QToolButton *>("f1")->isVisibleTo(s->window.get()));
    // The window made room for the bar: the picture is shown 1:1.
    QTRY_COMPARE(picture->height(), full);
    QCOMPARE(s->view->verticalScale(), 1.0f);
    // The second soft key hides it, whatever has the focus.
    QTest::sendKeyEvent(QTest::Click, s->view, Qt::Key_Context2, QString(), Qt::NoModifier);
    QTRY_COMPARE(picture->height(), s->window->height());
    QVERIFY(!s->action("keyBar")->isChecked());
    delete s;
}

// On a narrow screen a finger drags the bar sideways, and a tap on a key
// still sends it.
void ShellMenuTest::keyBarScrollsUnderTheFinger()
{
    Session s;
    QVERIFY(s.connect());
    s.action("keyBar")->setChecked(true);
    auto *bar = s.window->findChild<QScrollArea *>("keyBar");
    QTRY_VERIFY(bar->isVisible());
    static QPointingDevice *device = QTest::createTouchDevice();
    const int y = bar->height() / 2;
    QTest::touchEvent(bar->viewport(), device).press(0, QPoint(300, y));
    for (int x = 280; x >= 40; x -= 20) {
        QTest::qWait(20);
        QTest::touchEvent(bar->viewport(), device).move(0, QPoint(x, y));
    }
    QTest::touchEvent(bar->viewport(), device).release(0, QPoint(40, y));
    QTRY_VERIFY(bar->horizontalScrollBar()->value() > 100);
    // A tap while the row still glides only stops it.
    QTRY_COMPARE_WITH_TIMEOUT(QScroller::scroller(bar->viewport())->state(), QScroller::Inactive, 5000);
    s.server.clearMessages();
    auto *key = s.window->findChild<QToolButton *>("f12");
    bar->ensureWidgetVisible(key);
    const QPoint at = key->mapTo(bar->viewport(), key->rect().center());
    QTest::touchEvent(bar->viewport(), device).press(0, at);
    QTest::touchEvent(bar->viewport(), device).release(0, at);
    QTRY_COMPARE_WITH_TIMEOUT(s.keys(), (QStringList{"d:ffc9", "u:ffc9"}), 5000);
}

// Each step: "menu:LETTER" opens the menu with the menu key and picks the
// entry with that mnemonic, "action:NAME" triggers a named action,
// "sendKey:TEXT" an entry of the Send key menu, "key:LETTER" types a key,
// "windowShortcut:KEYS" gives the window a shortcut.
void ShellMenuTest::menuSendsKeys_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Ctrl+Alt+Del from the keyboard")
        << QStringList{"menu:D"} << QStringList{"d:ffe3", "d:ffe9", "d:ffff", "u:ffff", "u:ffe9", "u:ffe3"};
    QTest::newRow("F5 from Send key") << QStringList{"sendKey:F&5"} << QStringList{"d:ffc2", "u:ffc2"};
    QTest::newRow("the Menu key from Send key") << QStringList{"sendKey:&Menu"} << QStringList{"d:ff67", "u:ff67"};
    QTest::newRow("sticky Ctrl and Alt wrap the next key only")
        << QStringList{"action:stickyControl", "menu:L", "key:A", "key:B"}
        << QStringList{"d:ffe3", "d:ffe9", "d:61", "u:61", "u:ffe9", "u:ffe3", "d:62", "u:62"};
    QTest::newRow("Quit closes the window, as the window manager does") << QStringList{"menu:Q"} << QStringList{};
    QTest::newRow("a key typed into the view is the remote desktop's, not a shortcut")
        << QStringList{"windowShortcut:X", "key:X"} << QStringList{"d:78", "u:78"};
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
        } else if (step.startsWith("windowShortcut:")) {
            auto *shortcut = new QAction(s.window.get());
            shortcut->setShortcut(QKeySequence(what));
            s.window->QWidget::addAction(shortcut);
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
    QTRY_COMPARE(s.window->isVisible(), !steps.contains("menu:Q"));
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
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("keyBar"); // the desktop fits the rest of the window
    QTest::newRow("--remote-resize, the window resized") << "--remote-resize" << false;
    QTest::newRow("full screen from the menu") << "menu" << false;
    QTest::newRow("--fullscreen") << "--fullscreen" << false;
    QTest::newRow("--remote-resize with the key bar") << "--remote-resize" << true;
}

void ShellMenuTest::remoteDesktopIsAskedToFitTheWindow()
{
    QFETCH(QString, how);
    QFETCH(bool, keyBar);
    const bool fullscreen = how != QLatin1String("--remote-resize");
    WindowOptions options;
    options.remoteResize = !fullscreen;
    options.fullscreen = how == QLatin1String("--fullscreen");
    Session s(options);
    QVERIFY(s.connect());
    s.action("keyBar")->setChecked(keyBar);
    // The test server describes its screen, so it may be asked.
    QTRY_VERIFY(s.view->canResizeRemote());
    QTRY_VERIFY(s.action("remoteResize")->isEnabled());
    QCOMPARE(s.action("remoteResize")->isChecked(), how != QLatin1String("menu"));
    QSize wanted(300, 200);
    if (fullscreen) {
        if (how == QLatin1String("menu"))
            s.action("fullscreen")->trigger();
        QTRY_VERIFY(s.window->isFullScreen());
        QVERIFY(s.action("fullscreen")->isChecked());
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
    const int bar = keyBar ? s.window->findChild<QWidget *>("keyBar")->height() : 0;
    QCOMPARE(asked(), QList<QSize>{wanted - QSize(0, bar)});
    // This server refuses: the picture is scaled instead.
    QTRY_VERIFY(s.view->isScaling() || fullscreen);
}

// From a window of 320 x 240 on a desktop of that size, steps:
// "action:NAME" a menu action, "window:WxH" the window resized,
// "remote:WxH" the server's desktop resized, "scroll:X,Y" the bars moved,
// "touch:SCRIPT" fingers on the window, "rest" the mouse resting in the
// lower right corner until the picture stops scrolling. Then the bars
// shown and their place, the picture in the middle of the window along
// each side where it is smaller, and a click in the middle of the window,
// which must reach the server at the picture's point there.
void ShellMenuTest::zoomAndScroll_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<float>("scale");
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QString>("bars");
    QTest::addColumn<QPoint>("offset"); // (-1,-1): as far as the bars go
    QTest::newRow("zoomed in around the middle") << QStringList{"action:zoomIn"} << 1.25f << QSize(400, 300) << "hv"
                                                 << QPoint(40, 30);
    QTest::newRow("zoomed in, fitted again") << QStringList{"action:zoomIn", "action:fit"} << 1.0f << QSize(320, 240)
                                             << "" << QPoint();
    QTest::newRow("zoomed out") << QStringList{"action:zoomOut"} << 0.75f << QSize(240, 180) << "" << QPoint();
    QTest::newRow("a larger window") << QStringList{"window:400x300"} << 1.0f << QSize(320, 240) << "" << QPoint();
    QTest::newRow("a wide window") << QStringList{"window:480x120"} << 0.5f << QSize(160, 120) << "" << QPoint();
    QTest::newRow("zoomed in a narrow window: across only")
        << QStringList{"window:200x240", "action:zoomIn"} << 0.67f << QSize(214, 160) << "h" << QPoint(7, 0);
    QTest::newRow("1:1 in a smaller window") << QStringList{"window:200x150", "action:actualSize"} << 1.0f
                                             << QSize(320, 240) << "hv" << QPoint(60, 45);
    QTest::newRow("zoomed in, the desktop grows: the same zoom")
        << QStringList{"action:zoomIn", "remote:400x300"} << 1.25f << QSize(500, 375) << "hv" << QPoint(40, 30);
    const QStringList scrolled{"action:zoomIn", "action:zoomIn", "action:zoomIn", "scroll:100,60"};
    QTest::newRow("200 %, scrolled with the bars") << scrolled << 2.0f << QSize(640, 480) << "hv" << QPoint(100, 60);
    QTest::newRow("then two fingers drag the picture left and up")
        << scrolled + QStringList{"touch:1+100,100 2+140,100; 1>60,80 2>100,80; 1- 2-"} << 2.0f << QSize(640, 480)
        << "hv" << QPoint(140, 80);
    QTest::newRow("then the mouse rests in a corner")
        << scrolled + QStringList{"rest"} << 2.0f << QSize(640, 480) << "hv" << QPoint(-1, -1);
}

void ShellMenuTest::zoomAndScroll()
{
    QFETCH(QStringList, steps);
    QFETCH(float, scale);
    QFETCH(QSize, viewSize);
    QFETCH(QString, bars);
    QFETCH(QPoint, offset);
    Session s;
    QVERIFY(s.connect());
    QTRY_COMPARE(s.window->size(), QSize(320, 240));
    auto *area = s.window->findChild<QScrollArea *>();
    QScrollBar *across = area->horizontalScrollBar();
    QScrollBar *down = area->verticalScrollBar();
    const auto scrolledTo = [&] { return QPoint(across->value(), down->value()); };
    // Where the picture's origin lies in the window.
    const auto at = [&] { return s.view->mapTo(s.window.get(), QPoint()); };
    const auto remote = [&](QPoint inWindow, int mask) {
        const QPoint p = inWindow - at();
        return QStringLiteral("%1,%2 %3").arg(sourcePixel(p.x(), scale)).arg(sourcePixel(p.y(), scale)).arg(mask);
    };
    const auto lastPointer = [&] {
        const QStringList sent = inputtest::pointerOf(s.server.messages());
        return sent.value(sent.size() - 1); // empty before the first
    };
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(':'), 1);
        const QStringList xy = what.split(QRegularExpression("[x,]"));
        const QSize size = xy.size() == 2 ? QSize(xy[0].toInt(), xy[1].toInt()) : QSize();
        if (step.startsWith("action:")) {
            s.action(qPrintable(what))->trigger();
        } else if (step.startsWith("window:")) {
            s.window->resize(size);
            QTRY_COMPARE(s.window->size(), size);
        } else if (step.startsWith("remote:")) {
            s.server.resize(size.width(), size.height());
            QTRY_COMPARE(s.view->remoteScreenSize(), size);
        } else if (step.startsWith("scroll:")) {
            across->setValue(size.width());
            down->setValue(size.height());
        } else if (step.startsWith("touch:")) {
            static QPointingDevice *device = QTest::createTouchDevice();
            inputtest::playTouches(s.window.get(), s.server, device, what);
        } else {
            const QPoint corner = QPoint(area->viewport()->width(), area->viewport()->height()) - QPoint(2, 2);
            QTest::mouseMove(s.view, s.view->mapFrom(s.window.get(), corner));
            QTRY_COMPARE(scrolledTo(), QPoint(across->maximum(), down->maximum()));
            // The server hears where the resting pointer points now.
            QTRY_COMPARE(lastPointer(), remote(corner, 0));
        }
    }
    QTRY_COMPARE(QString(across->isVisible() ? "h" : "") + (down->isVisible() ? "v" : ""), bars);
    QCOMPARE(s.view->horizontalScale(), scale);
    QCOMPARE(s.view->size(), viewSize);
    QCOMPARE(scrolledTo(), offset == QPoint(-1, -1) ? QPoint(across->maximum(), down->maximum()) : offset);
    // Scrolled by the bars, or with gaps as wide on either side.
    const QSize gaps = area->viewport()->size() - s.view->size();
    const QPoint place = s.view->mapTo(area->viewport(), QPoint());
    QCOMPARE(place.x(), gaps.width() > 0 ? gaps.width() / 2 : -scrolledTo().x());
    QCOMPARE(place.y(), gaps.height() > 0 ? gaps.height() / 2 : -scrolledTo().y());
    const QPoint middle = area->viewport()->mapTo(s.window.get(), area->viewport()->rect().center());
    QTest::mouseClick(s.view, Qt::LeftButton, {}, s.view->mapFrom(s.window.get(), middle));
    QTRY_COMPARE(lastPointer(), remote(middle, 0));
}

void ShellMenuTest::viewOnlyIsInTheTitle_data()
{
    QTest::addColumn<bool>("started"); // with --view-only
    QTest::addColumn<bool>("toggled"); // the menu entry then triggered
    QTest::newRow("--view-only") << true << false;
    QTest::newRow("turned on from the menu") << false << true;
    QTest::newRow("turned off from the menu") << true << true;
}

void ShellMenuTest::viewOnlyIsInTheTitle()
{
    QFETCH(bool, started);
    QFETCH(bool, toggled);
    WindowOptions options;
    options.viewOnly = started;
    Session s(options);
    QVERIFY(s.connect());
    if (toggled)
        s.action("viewOnly")->trigger();
    QCOMPARE(s.window->windowTitle().endsWith(QLatin1String(", view only) - vemo")), started != toggled);
}

QTEST_MAIN(ShellMenuTest)
#include "shell_menu_test.moc"
