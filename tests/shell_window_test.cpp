// The main window: what it builds, what it shows while connecting or after a
// failure, and how it fits the remote screen. Real connections on loopback.
#include "qtopiaapplication.h"
#include "shell_window_support.h"
#include "translations.h"

#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QPointer>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

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

} // namespace

using namespace shellwindow;

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
    void windowTakesTheRemoteSizeAndFollowsIt();
    void largerRemoteScreenIsScaledToFit();
    void passwordConnectsButIsNeverShown();
    void qtDialogButtonsSpeakVemosLanguage_data();
    void qtDialogButtonsSpeakVemosLanguage();
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
    QCOMPARE(view->window(), &window);
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
    // Update requests may come after it: the release is looked for, not last.
    QVERIFY(server.waitForMessages([](const QList<ClientMessage> &m) {
        return std::any_of(m.begin(), m.end(), [](const ClientMessage &c) {
            return c.type == ClientMessage::Key && !c.down;
        });
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

void ShellWindowTest::windowTakesTheRemoteSizeAndFollowsIt()
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
    // The server's name for its desktop first.
    QCOMPARE(window->windowTitle(),
             QStringLiteral("vemo test server - 127.0.0.1:%1 (not encrypted) - vemo").arg(server.port()));
    // Pixel for pixel (quality 1 is lossless).
    QTRY_COMPARE(view->grab().toImage().convertToFormat(QImage::Format_RGB32), server.framebuffer());

    // Smaller, then larger again: no black margins, pixel for pixel.
    for (const QSize size : {QSize(200, 150), QSize(400, 300)}) {
        server.resize(size.width(), size.height());
        QTRY_COMPARE(window->size(), size);
        QTRY_COMPARE(view->geometry(), QRect(QPoint(), size));
        QVERIFY(!view->isScaling());
        QTRY_COMPARE(view->grab().toImage().convertToFormat(QImage::Format_RGB32), server.framebuffer());
    }

    // Larger than the screen: the window keeps its size and shows it all, scaled.
    const QSize huge = QGuiApplication::primaryScreen()->availableSize() * 2;
    server.resize(huge.width(), huge.height());
    QTRY_VERIFY(view->isScaling());
    QTRY_VERIFY2(showsAllOf(view->size(), window->size(), huge), qPrintable(describe(view, window.get())));
    QCOMPARE(window->size(), QSize(400, 300));
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

void ShellWindowTest::qtDialogButtonsSpeakVemosLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("German") << "de_DE" << "Abbrechen";
    // Qt has French, vemo not: no dialog in two languages.
    QTest::newRow("French, which vemo does not speak") << "fr_FR" << "Cancel";
}

void ShellWindowTest::qtDialogButtonsSpeakVemosLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, cancel);
    const auto restore = qScopeGuard([] {
        qDeleteAll(qApp->findChildren<QTranslator *>()); // which uninstalls them
        QLocale::setDefault(QLocale::system());
    });
    QLocale::setDefault(QLocale(locale));
    installTranslations(qApp);
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), cancel);
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
