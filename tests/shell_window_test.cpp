// The main window: what it builds, what it shows while connecting or after a
// failure, and how it fits the remote screen. Real connections on loopback.
#include "qsoftmenubar.h"
#include "qtopiaapplication.h"
#include "testserver.h"
#include "commandline.h"
#include "vemo.h"
#include "vncview.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

VncView *viewOf(QWidget *window)
{
    return window->findChild<VncView *>();
}

QLabel *noticeOf(QWidget *window)
{
    return window->findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
}

// The window for the given server, shown.
std::unique_ptr<Vemo> openWindow(const QUrl &url)
{
    Vemo::setServerUrl(url);
    auto window = std::make_unique<Vemo>(nullptr, Qt::WindowFlags());
    window->show();
    return window;
}

QUrl urlOf(const TestServer &server, const QString &password = QString())
{
    QUrl url;
    url.setScheme(QStringLiteral("vnc"));
    url.setHost(server.host());
    url.setPort(server.port());
    if (!password.isEmpty())
        url.setPassword(password);
    return url;
}

// Accepts connections on loopback and closes each at once.
class SlammingServer : public QTcpServer
{
public:
    int accepted = 0;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        ++accepted;
        QTcpSocket socket;
        socket.setSocketDescriptor(descriptor);
        socket.abort();
    }
};

// The view fills the window in one direction (to the pixel) and shows the
// remote screen's shape.
bool showsAllOf(const QSize &view, const QSize &window, const QSize &remote)
{
    if (view.width() > window.width() || view.height() > window.height())
        return false;
    if (window.width() - view.width() > 1 && window.height() - view.height() > 1)
        return false;
    const qint64 skew = qAbs(qint64(view.width()) * remote.height() - qint64(view.height()) * remote.width());
    return skew <= qMax(remote.width(), remote.height());
}

QString describe(const QWidget *view, const QWidget *window)
{
    return QStringLiteral("view %1x%2 in window %3x%4")
        .arg(view->width()).arg(view->height()).arg(window->width()).arg(window->height());
}

bool connectedWithin(VncView *view, int ms)
{
    return QTest::qWaitFor([view] { return view->currentStatus() == RemoteView::Connected; }, ms);
}

// A window with the given options on a test server of its own; 'typed'
// answers each password dialog, which are counted.
struct Session {
    explicit Session(const WindowOptions &options = {}, const QByteArray &password = {})
        : server(320, 240, password)
    {
        started = server.start();
        Vemo::setWindowOptions(options);
        window = openWindow(urlOf(server));
        Vemo::setWindowOptions({});
        view = viewOf(window.get());
    }

    bool connect(const QString &typed = QString())
    {
        return started && QTest::qWaitFor([&] {
            auto *dialog = window->findChild<QDialog *>(QStringLiteral("passwordDialog"));
            if (dialog && dialog->isVisible() && !typed.isEmpty()) {
                ++dialogs;
                QTest::keyClicks(dialog->findChild<QLineEdit *>(), typed);
                QTest::keyClick(dialog->findChild<QLineEdit *>(), Qt::Key_Return);
            }
            return view->currentStatus() == RemoteView::Connected;
        }, 10000);
    }

    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }

    QStringList keys() const
    {
        QStringList out;
        for (const ClientMessage &m : server.messages()) {
            if (m.type == ClientMessage::Key)
                out << QStringLiteral("%1:%2").arg(m.down ? "d" : "u").arg(m.key, 0, 16);
        }
        return out;
    }

    TestServer server;
    std::unique_ptr<Vemo> window;
    VncView *view = nullptr;
    bool started = false;
    int dialogs = 0;
};

} // namespace

class ShellWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultServerIsTheFirstLocalDisplay();
    void viewIsShownAndConnectingStartsOnce();
    void failureIsShownInTheWindow();
    void openDocumentActionDoesNothing();
    void softKeyMenuOpensFromTheView();
    void deletingTheWindowDeletesViewAndAction();
    void windowTakesTheRemoteSize();
    void largerRemoteScreenIsScaledToFit();
    void passwordConnectsButIsNeverShown();
    void menuSendsKeys_data();
    void menuSendsKeys();
    void reconnectUsesTheTypedPassword_data();
    void reconnectUsesTheTypedPassword();
    void remoteDesktopIsAskedToFitTheWindow_data();
    void remoteDesktopIsAskedToFitTheWindow();
};

void ShellWindowTest::defaultServerIsTheFirstLocalDisplay()
{
    QCOMPARE(Vemo::serverUrl(), QUrl(QStringLiteral("vnc://localhost:0")));
    Vemo window(nullptr, Qt::WindowFlags());
    VncView *view = viewOf(&window);
    QVERIFY(view);
    QCOMPARE(view->serverUrl(), QUrl(QStringLiteral("vnc://localhost:0")));
    QCOMPARE(view->hostName(), QStringLiteral("localhost"));
    QCOMPARE(view->portNumber(), 0);
    QCOMPARE(view->parentWidget(), &window);
    QCOMPARE(int(QtopiaApplication::inputMethodHint(&window)), 2);
    QVERIFY(QSoftMenuBar::isInputMethodEnabled(&window));
}

void ShellWindowTest::viewIsShownAndConnectingStartsOnce()
{
    SlammingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    Vemo::setServerUrl(QUrl(QStringLiteral("vnc://127.0.0.1:%1").arg(server.serverPort())));
    Vemo window(nullptr, Qt::WindowFlags());
    VncView *view = viewOf(&window);
    QVERIFY(view);
    // Before main shows the window, the view is already shown within it and
    // the connection attempt is under way.
    QVERIFY(!view->isHidden());
    QCOMPARE(view->currentStatus(), RemoteView::Connecting);
    QCOMPARE(view->pos(), QPoint(0, 0));
    QLabel *notice = noticeOf(&window);
    QVERIFY(notice && !notice->isHidden());
    QCOMPARE(notice->text(), QStringLiteral("Connecting to 127.0.0.1:%1…").arg(server.serverPort()));

    window.show();
    QVERIFY(view->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(server.accepted, 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(view->isShuttingDown(), 10000);
    // Nothing tries again.
    QTest::qWait(1500);
    QCOMPARE(server.accepted, 1);
}

void ShellWindowTest::failureIsShownInTheWindow()
{
    SlammingServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    auto window = openWindow(QUrl(QStringLiteral("vnc://127.0.0.1:%1").arg(server.serverPort())));
    VncView *view = viewOf(window.get());
    QSignalSpy errors(view, &RemoteView::errorMessage);
    QVERIFY(errors.wait(10000));
    const QString title = errors.first().at(0).toString();
    const QString message = errors.first().at(1).toString();
    QVERIFY(!message.isEmpty());

    QLabel *notice = noticeOf(window.get());
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), title + QLatin1Char('\n') + message);
    QCOMPARE(window->windowTitle(),
             QStringLiteral("127.0.0.1:%1 (%2) - vemo").arg(server.serverPort()).arg(title));
    // The failure stays; later status changes do not cover it.
    QTest::qWait(700);
    QCOMPARE(notice->text(), title + QLatin1Char('\n') + message);
    QCOMPARE(view->currentStatus(), RemoteView::Disconnected);
}

void ShellWindowTest::openDocumentActionDoesNothing()
{
    TestServer server(64, 48);
    QVERIFY(server.start());
    auto window = openWindow(urlOf(server));
    VncView *view = viewOf(window.get());
    QVERIFY(connectedWithin(view, 10000));

    const QList<QAction *> actions = window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(actions.size(), 1);
    QAction *open = actions.first();
    QCOMPARE(open->text(), QStringLiteral("Open Document"));
    QMenu *menu = QSoftMenuBar::menuFor(window.get(), QSoftMenuBar::AnyFocus);
    QCOMPARE(menu->actions().value(0), open);
    QVERIFY(view->actions().isEmpty());

    const auto snapshot = [&] {
        return QVariantList{window->windowTitle(), window->size(), window->isVisible(),
                            int(view->currentStatus()), view->geometry(), view->isScaling(),
                            QVariant::fromValue(window->children().size()),
                            QVariant::fromValue(menu->actions().size()),
                            server.connectionCount()};
    };
    const QVariantList before = snapshot();
    QSignalSpy triggered(open, &QAction::triggered);
    open->trigger();
    QCOMPARE(triggered.size(), 1);
    QTest::qWait(200);
    QCOMPARE(snapshot(), before);
}

void ShellWindowTest::softKeyMenuOpensFromTheView()
{
    TestServer server(64, 48);
    QVERIFY(server.start());
    auto window = openWindow(urlOf(server));
    VncView *view = viewOf(window.get());
    QVERIFY(connectedWithin(view, 10000));
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    server.clearMessages();

    QMenu *menu = QSoftMenuBar::menuFor(window.get(), QSoftMenuBar::AnyFocus);
    QTest::keyClick(view, Qt::Key_Menu);
    QTRY_VERIFY(menu->isVisible());
    QTest::keyClick(menu, Qt::Key_Menu);
    QTRY_VERIFY(!menu->isVisible());
    // An ordinary key still goes to the server, the menu key never did.
    QTest::keyClick(view, Qt::Key_A);
    QVERIFY(server.waitForMessages([](const QList<ClientMessage> &m) {
        return !m.isEmpty() && m.last().type == ClientMessage::Key && !m.last().down;
    }, 5000));
    QList<quint32> keys;
    for (const ClientMessage &m : server.messages()) {
        if (m.type == ClientMessage::Key)
            keys << m.key;
    }
    QCOMPARE(keys, (QList<quint32>{'a', 'a'}));
}

void ShellWindowTest::deletingTheWindowDeletesViewAndAction()
{
    TestServer server(64, 48);
    QVERIFY(server.start());
    auto window = openWindow(urlOf(server));
    QPointer<VncView> view = viewOf(window.get());
    QVERIFY(connectedWithin(view, 10000));
    QPointer<QAction> action = window->findChild<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    QPointer<QMenu> menu = QSoftMenuBar::menuFor(window.get(), QSoftMenuBar::AnyFocus);
    QVERIFY(view && action && menu);

    window.reset();
    QVERIFY(view.isNull());
    QVERIFY(action.isNull());
    QVERIFY(menu.isNull());
    // The view's shutdown ended the connection.
    QVERIFY(server.waitForClientCount(0, 5000));
}

void ShellWindowTest::windowTakesTheRemoteSize()
{
    TestServer server(320, 240);
    QVERIFY(server.start());
    auto window = openWindow(urlOf(server));
    VncView *view = viewOf(window.get());
    QVERIFY(connectedWithin(view, 10000));
    QTRY_COMPARE(window->size(), QSize(320, 240));
    QCOMPARE(view->geometry(), QRect(0, 0, 320, 240));
    QVERIFY(!view->isScaling());
    QVERIFY(noticeOf(window.get())->isHidden());
    QCOMPARE(window->windowTitle(), QStringLiteral("127.0.0.1:%1 (not encrypted) - vemo").arg(server.port()));
    // Pixel for pixel (quality 1 is lossless).
    QTRY_COMPARE(view->grab().toImage().convertToFormat(QImage::Format_RGB32), server.framebuffer());
}

void ShellWindowTest::largerRemoteScreenIsScaledToFit()
{
    const QSize available = QGuiApplication::primaryScreen()->availableSize();
    // Twice the screen's width, with an aspect ratio of its own.
    const QSize remote(available.width() * 2, available.width() * 2 * 10 / 16);
    TestServer server(remote.width(), remote.height());
    QVERIFY(server.start());
    auto window = openWindow(urlOf(server));
    VncView *view = viewOf(window.get());
    QVERIFY(connectedWithin(view, 10000));

    // The largest window of that shape that the screen holds, decorations
    // included.
    const QSize decorations = window->frameGeometry().size() - window->size();
    const QSize first = remote.scaled(available - decorations, Qt::KeepAspectRatio);
    QTRY_COMPARE(window->size(), first);
    QVERIFY(view->isScaling());
    QVERIFY2(showsAllOf(view->size(), window->size(), remote), qPrintable(describe(view, window.get())));
    QCOMPARE(view->horizontalScale(), view->verticalScale());

    // Made smaller: still all of it, aspect ratio kept.
    window->resize(300, 300);
    QTRY_VERIFY2(showsAllOf(view->size(), window->size(), remote), qPrintable(describe(view, window.get())));
    QVERIFY(view->isScaling());

    // Made large enough again: pixel for pixel.
    window->resize(remote + QSize(10, 10));
    QTRY_VERIFY(!view->isScaling());
    QCOMPARE(view->size(), remote);
    QCOMPARE(view->horizontalScale(), 1.0f);

    // One pixel short in one direction is enough to scale again.
    window->resize(remote.width() - 1, remote.height());
    QTRY_VERIFY(view->isScaling());
    QVERIFY2(showsAllOf(view->size(), window->size(), remote), qPrintable(describe(view, window.get())));
    window->resize(remote);
    QTRY_VERIFY(!view->isScaling());
    QCOMPARE(view->size(), remote);
    QTRY_COMPARE(view->grab().toImage().convertToFormat(QImage::Format_RGB32), server.framebuffer());
}

void ShellWindowTest::passwordConnectsButIsNeverShown()
{
    const QString password = QStringLiteral("pa55word");
    TestServer server(64, 48, password.toLatin1());
    QVERIFY(server.start());
    Vemo::setServerUrl(urlOf(server, password));
    Vemo window(nullptr, Qt::WindowFlags());
    QStringList shown{window.windowTitle(), noticeOf(&window)->text()};
    connect(&window, &QWidget::windowTitleChanged, this, [&](const QString &t) { shown << t; });
    window.show();
    VncView *view = viewOf(&window);
    // A wrong password would end in a failure, not in a connection.
    QVERIFY(connectedWithin(view, 10000));
    shown << noticeOf(&window)->text();
    QVERIFY(shown.size() >= 3);
    for (const QString &text : shown)
        QVERIFY2(!text.contains(password), qPrintable(text));
}

// Each step: "menu:LETTER" opens the menu with the menu key and picks the
// entry with that mnemonic, "action:NAME" triggers a named action,
// "sendKey:TEXT" an entry of the Send key menu, "key:LETTER" types a key.
void ShellWindowTest::menuSendsKeys_data()
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

void ShellWindowTest::menuSendsKeys()
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

void ShellWindowTest::reconnectUsesTheTypedPassword_data()
{
    QTest::addColumn<bool>("automatic"); // --reconnect
    QTest::addColumn<bool>("ownDisconnect");
    QTest::newRow("lost, the Reconnect button") << false << false;
    QTest::newRow("lost, --reconnect tries by itself") << true << false;
    QTest::newRow("the user's own disconnect, then Reconnect in the menu") << true << true;
}

void ShellWindowTest::reconnectUsesTheTypedPassword()
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

void ShellWindowTest::remoteDesktopIsAskedToFitTheWindow_data()
{
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("--remote-resize, the window resized") << false;
    QTest::newRow("full screen from the menu") << true;
}

void ShellWindowTest::remoteDesktopIsAskedToFitTheWindow()
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

int main(int argc, char **argv)
{
    // The view reads the quality from argument 2, as in "vemo URL 1": run
    // the windows at quality 1, which is lossless, so pixels can be compared.
    int appArgc = 3;
    char url[] = "vnc://unused";
    char quality[] = "1";
    char *appArgv[] = {argv[0], url, quality, nullptr};
    QApplication app(appArgc, appArgv);
    ShellWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "shell_window_test.moc"
